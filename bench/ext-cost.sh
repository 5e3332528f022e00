#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# What the delay extension costs: ravelox-cli test -> respond on a
# two-namespace veth link at 1 Gbit/s and at the ceiling (asked 10G), with the
# extension on (the default), with it off (--extension off), and with the
# program of another build that has no extension at all (RAVELOX_CLI_BASE,
# e.g. a build of the commit before it), interleaved in one run: rates, CPU
# per second of test and per datagram, medians of the repetitions.
#
# usage: bench/ext-cost.sh                       (root: network namespaces)
#        RAVELOX_CLI_BASE=/path/to/old/ravelox-cli bench/ext-cost.sh
# Everything runs inside two namespaces made here and deleted at the end.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
CLI=${RAVELOX_CLI:-$ROOT/build/bin/ravelox-cli}
BASE=${RAVELOX_CLI_BASE:-}
TIME=${BENCH_TIME:-8}
REPS=${BENCH_REPS:-3}
RATES=${BENCH_RATES:-"1000M 10G"}
LENGTH=1450
BUF_KB=256
OUT=${BENCH_RESULTS:-$HERE/RESULTS-ext.md}

die() { echo "ext-cost: $*" >&2; exit 1; }
[ "$(id -u)" -eq 0 ] || die "needs root (network namespaces)"
[ -x "$CLI" ] || die "no $CLI; build first"
[ -z "$BASE" ] || [ -x "$BASE" ] || die "RAVELOX_CLI_BASE=$BASE is not a program"
for tool in /usr/bin/time jq; do
    command -v "$tool" >/dev/null 2>&1 ||
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq time jq >/dev/null ||
        die "cannot install time and jq"
done

TAG=rvx$$
NS_C=$TAG-c
NS_S=$TAG-s
WORK=$(mktemp -d /tmp/ext-cost.XXXXXX)
SERVER=""
cleanup() {
    [ -z "$SERVER" ] || kill "$SERVER" 2>/dev/null || true
    wait 2>/dev/null || true
    ip netns del "$NS_C" 2>/dev/null || true
    ip netns del "$NS_S" 2>/dev/null || true
    rm -rf "$WORK"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

ip netns add "$NS_C"
ip netns add "$NS_S"
ip link add "${TAG}c" netns "$NS_C" type veth peer name "${TAG}s" netns "$NS_S"
setup() { # namespace device address
    ip -n "$1" link set lo up
    ip -n "$1" addr add "$3/24" broadcast + dev "$2"
    ip -n "$1" link set "$2" up
    ip -n "$1" route add 255.255.255.255/32 dev "$2" src "$3"
}
setup "$NS_C" "${TAG}c" 198.18.0.1
setup "$NS_S" "${TAG}s" 198.18.0.2
export RAVELOX_HOME=$WORK/home XDG_CONFIG_HOME=$WORK/xdg
mkdir -p "$RAVELOX_HOME" "$XDG_CONFIG_HOME"

wait_for() {
    local i
    for i in $(seq 1 500); do
        grep -q "$2" "$1" 2>/dev/null && return 0
        sleep 0.02
    done
    return 1
}
cpu() { awk '{ printf "%.4f", $1 + $2 }' "$1"; }

# run <program> <extra options> <rate>: "send_mbps recv_mbps cpu_c cpu_s"
# (CPU seconds of the whole run per second of test).
run() {
    local program=$1 extra=$2 rate=$3 out=$WORK/run
    # shellcheck disable=SC2086
    ip netns exec "$NS_S" /usr/bin/time -f "%U %S" -o "$out.s.time" "$program" respond \
        --recv-buf "$BUF_KB" --send-buf "$BUF_KB" --duration $((TIME + 20)) --json $extra \
        >"$out.s" 2>"$out.s.err" &
    SERVER=$!
    wait_for "$out.s" '"address"' || die "responder did not start: $(cat "$out.s.err")"
    # shellcheck disable=SC2086
    ip netns exec "$NS_C" /usr/bin/time -f "%U %S" -o "$out.c.time" "$program" test 198.18.0.2 \
        --time "$TIME" --direction local --local-speed "$rate" --local-length "$LENGTH" \
        --recv-buf "$BUF_KB" --send-buf "$BUF_KB" --json $extra >"$out.c" 2>"$out.c.err" ||
        die "test failed: $(cat "$out.c.err")"
    local child
    child=$(pgrep -P "$SERVER" || true)
    [ -n "$child" ] && kill -TERM "$child"
    wait "$SERVER" || true
    SERVER=""
    local s
    s=$(tail -n 1 "$out.c" | jq -c .summary)
    # The whole runs' CPU over the statistics time: start-up and the wait for
    # the peer are in both, alike for every variant.
    echo "$(jq -r '[.local_output_kbps / 1000, .remote_input_kbps / 1000] | map(tostring) | join(" ")' <<<"$s") \
$(awk -v c="$(cpu "$out.c.time")" -v t="$TIME" 'BEGIN { printf "%.4f", c / t }') \
$(awk -v c="$(cpu "$out.s.time")" -v t="$TIME" 'BEGIN { printf "%.4f", c / t }')"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
col() { awk -v c="$2" '{ print $c }' "$1" | median; }

VARIANTS=("on|$CLI|" "off|$CLI|--extension off")
[ -n "$BASE" ] && VARIANTS+=("base|$BASE|")
LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
{
    echo "| rate | program | send Mbit/s | receive Mbit/s | CPU s/s sender | CPU s/s receiver | CPU us per datagram sender | CPU us per datagram receiver |"
    echo "|---|---|---:|---:|---:|---:|---:|---:|"
} >"$WORK/table"
for rate in $RATES; do
    for v in "${VARIANTS[@]}"; do : >"$WORK/rows.${v%%|*}"; done
    for rep in $(seq 1 "$REPS"); do
        for v in "${VARIANTS[@]}"; do
            IFS='|' read -r name program extra <<<"$v"
            echo "ext-cost: $rate $name, repetition $rep" >&2
            run "$program" "$extra" "$rate" >>"$WORK/rows.$name"
        done
    done
    for v in "${VARIANTS[@]}"; do
        IFS='|' read -r name program extra <<<"$v"
        f=$WORK/rows.$name
        s=$(col "$f" 1) r=$(col "$f" 2) cc=$(col "$f" 3) cs=$(col "$f" 4)
        label="extension on"
        [ "$name" = off ] && label="extension off (--extension off)"
        [ "$name" = base ] && label="build without the extension"
        awk -v rate="$rate" -v l="$label" -v s="$s" -v r="$r" -v cc="$cc" -v cs="$cs" -v len="$LENGTH" 'BEGIN {
            ps = s * 1e6 / 8 / len; pr = r * 1e6 / 8 / len
            printf "| %s | %s | %.2f | %.2f | %.3f | %.3f | %.3f | %.3f |\n", rate, l, s, r, cc, cs,
                   (ps > 0 ? cc / ps * 1e6 : 0), (pr > 0 ? cs / pr * 1e6 : 0) }' >>"$WORK/table"
    done
done
{
    echo "# The delay extension's cost"
    echo
    echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC')  "
    echo "Machine: $(nproc) cores, $(uname -sr)  "
    echo "Load average before: $LOAD_BEFORE; after: $(cut -d' ' -f1-3 /proc/loadavg)  "
    echo "Link: two namespaces joined by a veth pair; ravelox-cli test -> respond, one direction,"
    echo "${LENGTH}-byte datagrams, ${BUF_KB} KB buffers, $TIME s per run, median of $REPS interleaved runs."
    echo "CPU: user + system seconds of each whole process per second of test (/usr/bin/time);"
    echo "per datagram: that over the datagrams sent (sender) or received (receiver) per second."
    echo "Made by \`bench/ext-cost.sh\`."
    echo
    cat "$WORK/table"
} >"$OUT"
cat "$OUT"
