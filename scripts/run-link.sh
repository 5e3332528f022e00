#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# A private two-host link for trying Ravelox: two network namespaces joined by
# a veth pair (near 198.18.0.1, far 198.18.0.2), `ravelox-cli respond` on the
# far host and the desktop program on the near host, with the far host already
# chosen as its peer and its settings in a temporary program folder (the
# user's own settings are untouched). Nothing reaches the real network: the
# namespaces have no route out. Closing the window tears it all down.
# Without a display it says so and runs `ravelox-cli test` for 10 s instead
# (RUN_LINK_TEST_TIME seconds). Everything it started ends with it: when the
# window closes, when the test ends, and on SIGINT (Ctrl+C) or SIGTERM.
#
# usage: run-link.sh [BIN_DIR]           (needs root: namespaces, veth)
#        RUN_LINK_SCREENSHOT=out.png run-link.sh BIN_DIR
#            starts its own Xvfb; the far host runs `ravelox-cli test` against
#            the idle program (both directions), and a screenshot is taken
#            after RUN_LINK_SECONDS (default 14); then everything ends.
#        RUN_LINK_INI='[Section]\nKey=1\n' adds lines to the near settings.
#        RUN_LINK_IMPAIR='--delay-us 10000 --spread-us 3000' puts the
#            impairment bridge (rv_impair, beside the programs) on the link.
set -eu

BIN=$(cd "${1:-build/bin}" && pwd)
NEAR=rvrun$$-near
FAR=rvrun$$-far
TMP=$(mktemp -d /tmp/ravelox-run.XXXXXX)
PIDS=""

# Ends what runs in one of the namespaces, by pid: a process that is still
# there keeps the namespace alive after `ip netns del`.
end_netns() { # namespace
    pids=$(ip netns pids "$1" 2>/dev/null) || return 0
    [ -n "$pids" ] || return 0
    kill $pids 2>/dev/null || true
    i=0
    while [ -n "$(ip netns pids "$1" 2>/dev/null)" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
    pids=$(ip netns pids "$1" 2>/dev/null) || return 0
    [ -z "$pids" ] || kill -KILL $pids 2>/dev/null || true
}

cleanup() {
    trap '' INT TERM
    if [ -n "${RUN_LINK_LOGS:-}" ]; then mkdir -p "$RUN_LINK_LOGS"; cp "$TMP"/*.log "$RUN_LINK_LOGS"/ 2>/dev/null || true; fi
    for p in $PIDS; do kill "$p" 2>/dev/null || true; done
    for p in $PIDS; do wait "$p" 2>/dev/null || true; done
    end_netns "$NEAR"
    end_netns "$FAR"
    ip netns del "$NEAR" 2>/dev/null || true
    ip netns del "$FAR" 2>/dev/null || true
    rm -rf "$TMP"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# Every program runs in the background and the script waits for it: a
# trapped signal interrupts `wait` at once (not so a foreground command).
# start PROGRAM...: runs it in the background and adds its pid to PIDS. The
# functions far and near end in exec, so the pid is the program's itself,
# not a subshell's.
start() {
    "$@" &
    PIDS="$PIDS $!"
    LAST=$!
}
pause() { # seconds
    sleep "$1" &
    wait $! || true
}

if [ "$(id -u)" -ne 0 ]; then
    echo "run-link.sh: needs root for the network namespaces (make run uses sudo)" >&2
    exit 1
fi

if [ -n "${RUN_LINK_IMPAIR:-}" ]; then
    # The impairment bridge makes the link (and its namespaces, which it
    # removes itself when it ends) and delays, shuffles or drops as told.
    # shellcheck disable=SC2086
    start "$BIN/rv_impair" --duration 600 --stats "$TMP/bridge.json" $RUN_LINK_IMPAIR \
        2>"$TMP/impair.log"
    i=0
    until grep -q '^ready' "$TMP/impair.log" 2>/dev/null; do
        if ! kill -0 "$LAST" 2>/dev/null || [ $i -ge 200 ]; then
            cat "$TMP/impair.log" >&2
            exit 1
        fi
        sleep 0.05
        i=$((i + 1))
    done
    NEAR=$(awk '/^ready/ {print $2}' "$TMP/impair.log")
    FAR=$(awk '/^ready/ {print $3}' "$TMP/impair.log")
else
    ip netns add "$NEAR"
    ip netns add "$FAR"
    ip link add rvnear$$ netns "$NEAR" type veth peer name rvfar$$ netns "$FAR"
    setup() { # namespace interface address
        ip -n "$1" link set lo up
        ip -n "$1" addr add "$3/24" dev "$2"
        ip -n "$1" link set "$2" up
        ip -n "$1" route add 255.255.255.255/32 dev "$2" src "$3"
    }
    setup "$NEAR" rvnear$$ 198.18.0.1
    setup "$FAR" rvfar$$ 198.18.0.2
fi

# Program folders: the near one names the far host as the peer.
mkdir -p "$TMP/near" "$TMP/far" "$TMP/config"
printf '[HostAddress]\nL0=198.18.0.2\n' > "$TMP/near/ravelox.INI"
# RUN_LINK_INI: more lines for it (printf format), e.g. '[DelayWindow]\nVisible=1\n'.
[ -z "${RUN_LINK_INI:-}" ] || printf "$RUN_LINK_INI" >> "$TMP/near/ravelox.INI"

far() {
    exec ip netns exec "$FAR" env RAVELOX_HOME="$TMP/far" XDG_CONFIG_HOME="$TMP/config" "$@"
}

near() {
    exec ip netns exec "$NEAR" env RAVELOX_HOME="$TMP/near" XDG_CONFIG_HOME="$TMP/config" \
        XDG_RUNTIME_DIR="$TMP" "$@"
}

if [ -n "${RUN_LINK_SCREENSHOT:-}" ]; then
    # X over its filesystem socket crosses network namespaces.
    DISPLAY_NO=$((90 + $$ % 100))
    start Xvfb ":$DISPLAY_NO" -screen 0 1024x640x24 -nolisten tcp >"$TMP/xvfb.log" 2>&1
    i=0
    while [ ! -S "/tmp/.X11-unix/X$DISPLAY_NO" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
    start near env DISPLAY=":$DISPLAY_NO" QT_QPA_PLATFORM=xcb "$BIN/ravelox" >"$TMP/near.log" 2>&1
    pause 2
    start far "$BIN/ravelox-cli" test 198.18.0.1 --time 60 --local-speed 20M --remote-speed 50M \
        --local-length 1400 --remote-length 1000 >"$TMP/far.log" 2>&1
    pause "${RUN_LINK_SECONDS:-14}"
    # The root window, cut down to what is not the empty (black) screen.
    DISPLAY=":$DISPLAY_NO" import -window root "$TMP/root.png"
    convert "$TMP/root.png" -bordercolor black -border 1 -trim +repage "$RUN_LINK_SCREENSHOT"
    echo "run-link.sh: screenshot in $RUN_LINK_SCREENSHOT"
    exit 0
fi

start far "$BIN/ravelox-cli" respond >"$TMP/far.log" 2>&1

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    seconds=${RUN_LINK_TEST_TIME:-10}
    echo "make run: no display; running 'ravelox-cli test 198.18.0.2' on the private link for $seconds s instead."
    start near "$BIN/ravelox-cli" test 198.18.0.2 --time "$seconds"
    status=0
    wait "$LAST" || status=$?
    exit $status
fi

echo "make run: ravelox on 198.18.0.1 against 'ravelox-cli respond' on 198.18.0.2 (a private link; nothing reaches the real network). Close the window to end."
start near env DISPLAY="${DISPLAY:-}" XAUTHORITY="${XAUTHORITY:-}" "$BIN/ravelox"
wait "$LAST" || true
