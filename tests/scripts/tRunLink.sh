#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# scripts/run-link.sh leaves nothing behind: after the test on the link ends,
# after SIGTERM or SIGINT to the script, and after the window is closed, no
# process is left in either of its namespaces and the namespaces are gone.
# Processes are found by the namespace they are in, never by name.
#   tRunLink.sh SCRIPT BIN_DIR
set -eu
script=$1 bin=$2
fail() { echo "FAIL: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || fail "needs root for the network namespaces"

tmp=$(mktemp -d /tmp/ravelox-runlink.XXXXXX)
XVFB=""
cleanup() {
    [ -z "$XVFB" ] || { kill "$XVFB" 2>/dev/null || true; wait "$XVFB" 2>/dev/null || true; }
    rm -rf "$tmp"
}
trap cleanup EXIT

# Waits up to $1 tenths of a second for the command after it to succeed.
wait_for() {
    n=$1
    shift
    while ! "$@"; do
        n=$((n - 1))
        [ $n -gt 0 ] || return 1
        sleep 0.1
    done
}
has_pids() { [ -n "$(ip netns pids "$1" 2>/dev/null)" ]; }
ended() { ! kill -0 "$1" 2>/dev/null; }

# The pids of all processes whose network namespace is one of $NSIDS.
survivors() {
    for f in /proc/[0-9]*/ns/net; do
        id=$(readlink "$f" 2>/dev/null) || continue
        case " $NSIDS " in *" $id "*) p=${f#/proc/}; echo "${p%%/*}" ;; esac
    done
}

# Starts the script (with SIGINT at its default, as from a terminal: a
# background job of a script would have it ignored) and waits until both
# namespaces hold a process.
launch() { # extra environment...
    env --default-signal=INT "$@" sh "$script" "$bin" >"$tmp/out" 2>&1 &
    PID=$!
    NEAR=rvrun$PID-near FAR=rvrun$PID-far
    wait_for 150 has_pids "$FAR" || fail "no responder in $FAR: $(cat "$tmp/out")"
    wait_for 150 has_pids "$NEAR" || fail "nothing started in $NEAR: $(cat "$tmp/out")"
    NSIDS="net:[$(stat -L -c %i "/run/netns/$NEAR")] net:[$(stat -L -c %i "/run/netns/$FAR")]"
}

# Waits for the script to end with `code`; then nothing of it may be left.
check_end() { # case code
    wait_for 200 ended "$PID" || { kill -KILL "$PID"; fail "$1: the script did not end"; }
    status=0
    wait "$PID" || status=$?
    [ "$status" -eq "$2" ] || fail "$1: exit code $status, not $2: $(cat "$tmp/out")"
    left=$(survivors)
    if [ -n "$left" ]; then
        kill -KILL $left 2>/dev/null || true
        fail "$1: processes $left survived in the link's namespaces"
    fi
    ! ip netns list | grep -q "rvrun$PID-" || fail "$1: a namespace of the link is left"
    echo "ok: $1 (exit $status, nothing left)"
}

# The test on the link ends by itself (no display).
launch -u DISPLAY -u WAYLAND_DISPLAY RUN_LINK_TEST_TIME=2
check_end "no display, test ended" 0

# Ctrl+C and SIGTERM while the test runs.
for sig in INT TERM; do
    launch -u DISPLAY -u WAYLAND_DISPLAY RUN_LINK_TEST_TIME=60
    kill -"$sig" "$PID"
    code=130
    [ "$sig" = INT ] || code=143
    check_end "SIG$sig to the script" "$code"
done

# The window: closing it (the program ends) ends the link.
if [ -x "$bin/ravelox" ] && command -v Xvfb >/dev/null 2>&1; then
    display=$((200 + $$ % 100))
    Xvfb ":$display" -screen 0 1024x640x24 -nolisten tcp >"$tmp/xvfb.log" 2>&1 &
    XVFB=$!
    wait_for 100 test -S "/tmp/.X11-unix/X$display" || fail "Xvfb did not start"
    launch -u WAYLAND_DISPLAY DISPLAY=":$display" QT_QPA_PLATFORM=xcb
    wait_for 100 has_pids "$NEAR" || fail "no program in $NEAR"
    # Every process of the near host: the program, and whatever short-lived
    # helper it may have started (gone by the time it is signalled).
    for p in $(ip netns pids "$NEAR"); do kill "$p" 2>/dev/null || true; done
    check_end "window closed" 0
    launch -u WAYLAND_DISPLAY DISPLAY=":$display" QT_QPA_PLATFORM=xcb
    kill -TERM "$PID"
    check_end "SIGTERM to the script with the window open" 143
else
    echo "ok: window cases not run (no $bin/ravelox or no Xvfb)"
fi
