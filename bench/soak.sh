#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Long runs: `ravelox-cli test` both ways at 100 Mbit/s against `ravelox-cli
# respond`, and at the same time the desktop program under Xvfb driven both
# ways at 100 Mbit/s by `ravelox-cli test` on its peer host (nothing presses
# its buttons, so the peer commands it, as `make run`'s picture mode does).
# Every minute: resident memory of each process and the result log's size.
# At the end: the summaries, the log viewed back, the spread of the per-minute
# rates (a counter that wraps must leave no artefact), memory growth after
# the first minute. Writes a Markdown report.
#
#   bench/soak.sh [--minutes N] [--no-desktop]      (root: network namespaces)
#   SOAK_RESULTS=file.md (default bench/RESULTS-soak.md)
#
# Everything runs in four network namespaces made here and deleted at the
# end (two veth links); nothing is sent anywhere else.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
BIN=${RAVELOX_BIN:-$ROOT/build/bin}
MINUTES=60
DESKTOP=1
RATE=100M
LENGTH=1400
RESULTS=${SOAK_RESULTS:-$HERE/RESULTS-soak.md}
while [ $# -gt 0 ]; do
    case $1 in
        --minutes) MINUTES=$2; shift 2 ;;
        --no-desktop) DESKTOP=0; shift ;;
        *) echo "usage: soak.sh [--minutes N] [--no-desktop]" >&2; exit 2 ;;
    esac
done

die() { echo "soak: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || die "needs root (network namespaces)"
[ -x "$BIN/ravelox-cli" ] || die "no $BIN/ravelox-cli; build first"
command -v jq >/dev/null || die "needs jq"
if [ "$DESKTOP" = 1 ]; then
    [ -x "$BIN/ravelox" ] || die "no $BIN/ravelox (or use --no-desktop)"
    command -v Xvfb >/dev/null || die "needs Xvfb (apt-get install xvfb) or --no-desktop"
fi

TAG=rvsk$$
WORK=$(mktemp -d /tmp/ravelox-soak.XXXXXX)
PIDS=()
cleanup() {
    trap '' INT TERM
    for pid in "${PIDS[@]}"; do kill "$pid" 2>/dev/null || true; done
    for pid in "${PIDS[@]}"; do wait "$pid" 2>/dev/null || true; done
    for ns in "$TAG-c" "$TAG-s" "$TAG-n" "$TAG-f"; do
        left=$(ip netns pids "$ns" 2>/dev/null || true)
        [ -z "$left" ] || kill -KILL $left 2>/dev/null || true
        ip netns del "$ns" 2>/dev/null || true
    done
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

link() { # ns1 ns2 dev
    ip netns add "$1"
    ip netns add "$2"
    ip link add "${3}a" netns "$1" type veth peer name "${3}b" netns "$2"
    local ns dev addr
    for side in a b; do
        if [ $side = a ]; then ns=$1 addr=198.18.0.1; else ns=$2 addr=198.18.0.2; fi
        dev=$3$side
        ip -n "$ns" link set lo up
        ip -n "$ns" addr add "$addr/24" broadcast + dev "$dev"
        ip -n "$ns" link set "$dev" up
        ip -n "$ns" route add 255.255.255.255/32 dev "$dev" src "$addr"
    done
}
link "$TAG-c" "$TAG-s" "${TAG}x"
[ "$DESKTOP" = 0 ] || link "$TAG-n" "$TAG-f" "${TAG}y"

# Each program gets a folder of its own (settings, result log).
run() { # ns home out program args...
    local ns=$1 home=$2 out=$3
    shift 3
    mkdir -p "$home/xdg"
    ip netns exec "$ns" env RAVELOX_HOME="$home" XDG_CONFIG_HOME="$home/xdg" XDG_RUNTIME_DIR="$home" \
        "$@" >"$out" 2>"$out.err" &
    PIDS+=("$!")
    LAST=$!
}
wait_for() { # file pattern
    local i
    for i in $(seq 100); do
        grep -q "$2" "$1" 2>/dev/null && return 0
        sleep 0.1
    done
    die "no '$2' in $1: $(cat "$1" "$1.err" 2>/dev/null)"
}

# The tests run 20 s past the last sample, so that it still finds them.
SECONDS_RUN=$((MINUTES * 60 + 20))
LOG=$WORK/test/result.log
BUFS=(--recv-buf 1024 --send-buf 1024)
run "$TAG-s" "$WORK/respond" "$WORK/respond.out" "$BIN/ravelox-cli" respond --json "${BUFS[@]}" \
    --interval 60000
RESPOND=$LAST
wait_for "$WORK/respond.out" '"address"'
run "$TAG-c" "$WORK/test" "$WORK/test.out" "$BIN/ravelox-cli" test 198.18.0.2 --time "$SECONDS_RUN" \
    --local-speed "$RATE" --remote-speed "$RATE" --local-length "$LENGTH" --remote-length "$LENGTH" \
    "${BUFS[@]}" --interval 60000 --log "$LOG" --json
TEST=$LAST

if [ "$DESKTOP" = 1 ]; then
    display=$((100 + $$ % 100))
    Xvfb ":$display" -screen 0 1024x640x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
    PIDS+=("$!")
    for i in $(seq 100); do [ -S "/tmp/.X11-unix/X$display" ] && break; sleep 0.1; done
    mkdir -p "$WORK/desktop"
    printf '[HostAddress]\nL0=198.18.0.2\n[Config]\nSockRecvBuf=262144\nSockSendBuf=262144\n' \
        >"$WORK/desktop/ravelox.INI"
    run "$TAG-n" "$WORK/desktop" "$WORK/desktop.out" env DISPLAY=":$display" QT_QPA_PLATFORM=xcb \
        "$BIN/ravelox"
    DESK=$LAST
    sleep 3
    run "$TAG-f" "$WORK/driver" "$WORK/driver.out" "$BIN/ravelox-cli" test 198.18.0.1 \
        --time "$SECONDS_RUN" --local-speed "$RATE" --remote-speed "$RATE" \
        --local-length "$LENGTH" --remote-length "$LENGTH" "${BUFS[@]}" --interval 60000 --json
    DRIVER=$LAST
fi

rss() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status" 2>/dev/null || echo -; }
SAMPLES=$WORK/samples.tsv
printf 'minute\ttest_kb\trespond_kb\tdesktop_kb\tdriver_kb\tlog_bytes\n' >"$SAMPLES"
start=$(date +%s)
for minute in $(seq 0 "$MINUTES"); do
    while [ $(($(date +%s) - start)) -lt $((minute * 60)) ]; do sleep 1; done
    log_size=$(stat -c %s "$LOG" 2>/dev/null || echo 0)
    if [ "$DESKTOP" = 1 ]; then desk=$(rss "$DESK") drv=$(rss "$DRIVER"); else desk=- drv=-; fi
    printf '%s\t%s\t%s\t%s\t%s\t%s\n' "$minute" "$(rss "$TEST")" "$(rss "$RESPOND")" "$desk" "$drv" \
        "$log_size" >>"$SAMPLES"
    echo "soak: minute $minute: $(tail -1 "$SAMPLES")"
done

# The tests end by themselves (their --time, plus the stop and summary).
for pid in "$TEST" ${DRIVER:+"$DRIVER"}; do
    for i in $(seq 300); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
done
test_rc=0
wait "$TEST" || test_rc=$?
driver_rc=-
if [ "$DESKTOP" = 1 ]; then driver_rc=0; wait "$DRIVER" || driver_rc=$?; fi
final_log=$(stat -c %s "$LOG" 2>/dev/null || echo 0)
"$BIN/ravelox-cli" view "$LOG" --json >"$WORK/view.json" 2>"$WORK/view.err" || true

# Memory growth after the first minute, KB (last sample minus minute 1).
growth() { # column
    awk -F'\t' -v c="$1" 'NR == 3 { first = $c } NR > 1 { last = $c } END {
        if (first == "-" || first == "") print "-"; else print last - first }' "$SAMPLES"
}
# Per-minute rates of one side's field: min and max, kbit/s.
spread() { # out side field
    jq -r "select(.interval) | .interval.$2.$3" "$1" | awk 'NR > 1 {
        if (min == "" || $1 < min) min = $1; if ($1 > max) max = $1 } END { print min " .. " max }'
}

{
    echo "# Soak: long runs (bench/soak.sh)"
    echo
    echo "Made by \`bench/soak.sh --minutes $MINUTES\` on $(date -u '+%Y-%m-%d %H:%M UTC'),"
    echo "$(nproc) cores shared with other work, kernel $(uname -r)."
    echo "Rate $RATE both ways, datagram length $LENGTH, socket buffers 1 MB (the desktop: 256 KB)."
    echo
    echo "## Resident memory (KB) and result log size, every minute"
    echo
    echo "| minute | test | respond | desktop | desktop's peer (test) | log bytes |"
    echo "|---|---|---|---|---|---|"
    tail -n +2 "$SAMPLES" | awk -F'\t' '{ printf "| %s | %s | %s | %s | %s | %s |\n", $1, $2, $3, $4, $5, $6 }'
    echo
    echo "Growth after the first minute (last sample minus minute 1), KB: test $(growth 2),"
    echo "respond $(growth 3), desktop $(growth 4), desktop's peer $(growth 5)."
    echo
    echo "## ravelox-cli test against respond"
    echo
    echo "Exit code $test_rc. Result log: $final_log bytes ($((final_log / 16)) records)."
    echo "Per-minute rates after the first line (min .. max, kbit/s):"
    echo "local output $(spread "$WORK/test.out" local output_kbps), local input $(spread "$WORK/test.out" local input_kbps),"
    echo "remote output $(spread "$WORK/test.out" remote output_kbps), remote input $(spread "$WORK/test.out" remote input_kbps)."
    echo
    echo '```json'
    jq -c 'select(.summary)' "$WORK/test.out"
    echo '```'
    echo
    echo "The log viewed back (\`ravelox-cli view --json\`):"
    echo
    echo '```json'
    cat "$WORK/view.json" "$WORK/view.err"
    echo '```'
    if [ "$DESKTOP" = 1 ]; then
        echo
        echo "## The desktop program, driven by ravelox-cli test"
        echo
        echo "The driver's exit code $driver_rc; per-minute rates (min .. max, kbit/s):"
        echo "its output $(spread "$WORK/driver.out" local output_kbps), the desktop's output $(spread "$WORK/driver.out" remote output_kbps)."
        echo
        echo '```json'
        jq -c 'select(.summary)' "$WORK/driver.out"
        echo '```'
        echo
        echo "Desktop program still running at the end: $(kill -0 "$DESK" 2>/dev/null && echo yes || echo no);"
        echo "its stderr ($(wc -l <"$WORK/desktop.out.err") lines, the first three):"
        echo
        echo '```'
        head -3 "$WORK/desktop.out.err"
        echo '```'
    fi
} >"$RESULTS"
echo "soak: results in $RESULTS"
