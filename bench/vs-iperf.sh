#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Ravelox against iperf3 on a two-namespace veth link: achieved send and
# receive rate, loss and CPU per second of test at several rates, medians of
# interleaved repetitions, and the idle CPU of a responder. See README.md here.
#
# Everything runs inside two network namespaces made by this script and
# deleted when it ends; nothing is sent anywhere else.
set -euo pipefail

HERE=$(cd "$(dirname "$0")" && pwd)
ROOT=$(cd "$HERE/.." && pwd)
CLI=${RAVELOX_CLI:-$ROOT/build/bin/ravelox-cli}
TIME=${BENCH_TIME:-10}           # seconds per measurement
REPS=${BENCH_REPS:-3}            # repetitions per tool and rate
RATES=${BENCH_RATES:-"1M 10M 100M 1000M max"}
MAX_RATE=10G                     # "max": ask both tools for 10 Gbit/s
LENGTH=1450                      # datagram length (UDP payload), bytes
BUF_KB=256                       # socket buffers, KB
IDLE_TIME=10                     # seconds of idle responder
RESULTS=${BENCH_RESULTS:-$HERE/RESULTS.md}
IPERF_PORT=5201

die() { echo "vs-iperf: $*" >&2; exit 1; }

[ "$(id -u)" -eq 0 ] || die "needs root (network namespaces)"
[ -x "$CLI" ] || die "no $CLI; build first (make build) or set RAVELOX_CLI"
for tool in iperf3 /usr/bin/time jq; do
    if ! command -v "$tool" >/dev/null 2>&1; then
        DEBIAN_FRONTEND=noninteractive apt-get install -y -qq iperf3 time jq >/dev/null ||
            { apt-get update -qq && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq iperf3 time jq >/dev/null; } ||
            die "cannot install iperf3, time and jq"
        break
    fi
done

# ---------------------------------------------------------------- topology
TAG=rvb$$
NS_C=$TAG-c   # client: ravelox-cli test, iperf3 -c
NS_S=$TAG-s   # server: ravelox-cli respond, iperf3 -s
ADDR_C=198.18.0.1
ADDR_S=198.18.0.2
WORK=$(mktemp -d /tmp/vs-iperf.XXXXXX)
PIDS=()

cleanup() {
    for pid in "${PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
    done
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
for side in C S; do
    ns_var=NS_$side; addr_var=ADDR_$side; ns=${!ns_var}; addr=${!addr_var}
    dev=${TAG}$(echo "$side" | tr CS cs)
    ip -n "$ns" link set lo up
    ip -n "$ns" addr add "$addr/24" broadcast + dev "$dev"
    ip -n "$ns" link set "$dev" up
    # The engine learns its own address from its broadcast: keep it on the link.
    ip -n "$ns" route add 255.255.255.255/32 dev "$dev" src "$addr"
done

# The settings file the programs read: a private folder, compiled-in defaults.
export RAVELOX_HOME=$WORK/home XDG_CONFIG_HOME=$WORK/xdg
mkdir -p "$RAVELOX_HOME" "$XDG_CONFIG_HOME"

# Waits until a file holds a pattern (10 s at most).
wait_for() {
    local file=$1 pattern=$2 i
    for i in $(seq 1 500); do
        grep -q "$pattern" "$file" 2>/dev/null && return 0
        sleep 0.02
    done
    return 1
}

# CPU seconds per second of test from a /usr/bin/time "%U %S" file.
cpu_per_s() { awk -v t="$TIME" '{ printf "%.4f", ($1 + $2) / t }' "$1"; }

# One Ravelox measurement: prints "send_mbps recv_mbps loss_pct cpu_client cpu_server".
run_ravelox() {
    local rate=$1 out=$WORK/rv
    ip netns exec "$NS_S" /usr/bin/time -f "%U %S" -o "$out.srv.time" \
        "$CLI" respond --recv-buf "$BUF_KB" --send-buf "$BUF_KB" --duration $((TIME + 20)) --json \
        >"$out.srv" 2>"$out.srv.err" &
    local server=$!
    PIDS+=("$server")
    wait_for "$out.srv" '"address"' || die "responder did not start: $(cat "$out.srv.err")"
    ip netns exec "$NS_C" /usr/bin/time -f "%U %S" -o "$out.cli.time" \
        "$CLI" test "$ADDR_S" --time "$TIME" --direction local --local-speed "$rate" \
        --local-length "$LENGTH" --recv-buf "$BUF_KB" --send-buf "$BUF_KB" --json \
        >"$out.cli" 2>"$out.cli.err" || die "ravelox-cli test failed: $(cat "$out.cli.err")"
    # The responder is the child of time: stop it by its own id.
    local child
    child=$(pgrep -P "$server" || true)
    [ -n "$child" ] && kill -TERM "$child"
    wait "$server" || die "responder did not end cleanly: $(cat "$out.srv.err")"
    local s
    s=$(tail -n 1 "$out.cli" | jq -c .summary)
    # Loss as the program shows it: 100 - the quality of this host -> peer
    # (received / sent bytes while datagrams were lost, exactly 100 without).
    echo "$(jq -r '[.local_output_kbps / 1000, .remote_input_kbps / 1000,
                    (if .remote_quality_pct != null then 100 - .remote_quality_pct
                     elif .local_output_kbps > 0 and .remote_input_kbps == 0 then 100
                     else 0 end)] | map(tostring) | join(" ")' <<<"$s") \
$(cpu_per_s "$out.cli.time") $(cpu_per_s "$out.srv.time")"
}

# One iperf3 measurement, the same figures.
run_iperf() {
    local rate=$1 out=$WORK/ip
    ip netns exec "$NS_S" /usr/bin/time -f "%U %S" -o "$out.srv.time" \
        iperf3 -s -1 -p "$IPERF_PORT" >"$out.srv" 2>&1 &
    local server=$!
    PIDS+=("$server")
    local i
    for i in $(seq 1 500); do
        ip netns exec "$NS_S" ss -ltn "sport = :$IPERF_PORT" | grep -q LISTEN && break
        sleep 0.02
    done
    ip netns exec "$NS_C" /usr/bin/time -f "%U %S" -o "$out.cli.time" \
        iperf3 -c "$ADDR_S" -p "$IPERF_PORT" -u -l "$LENGTH" -b "$rate" -w "${BUF_KB}K" -t "$TIME" -J \
        >"$out.cli" 2>"$out.cli.err" || die "iperf3 failed: $(cat "$out.cli" "$out.cli.err")"
    wait "$server" || true
    echo "$(jq -r '.end | [.sum_sent.bits_per_second / 1e6, .sum_received.bits_per_second / 1e6,
                           .sum_received.lost_percent] | map(tostring) | join(" ")' "$out.cli") \
$(cpu_per_s "$out.cli.time") $(cpu_per_s "$out.srv.time")"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# column n of the rows in a file -> median
col_median() { awk -v c="$2" '{ print $c }' "$1" | median; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 == 0) print "-"; else printf "%.2f", a / b }'; }
fmt() { awk -v v="$1" -v d="$2" 'BEGIN { printf "%.*f", d, v }'; }

echo "vs-iperf: $REPS x $TIME s per tool and rate, ${LENGTH}-byte datagrams, ${BUF_KB} KB buffers" >&2
TABLE=$WORK/table.md
{
    echo "| rate | tool | send Mbit/s | receive Mbit/s | loss % | CPU s/s sender | CPU s/s receiver |"
    echo "|---|---|---:|---:|---:|---:|---:|"
} >"$TABLE"
RATIOS=$WORK/ratios.md
{
    echo "| rate | send | receive | CPU sender | CPU receiver |"
    echo "|---|---:|---:|---:|---:|"
} >"$RATIOS"

for label in $RATES; do
    rate=$label
    [ "$label" = max ] && rate=$MAX_RATE
    : >"$WORK/rows.rv"
    : >"$WORK/rows.ip"
    for rep in $(seq 1 "$REPS"); do
        echo "vs-iperf: $label, repetition $rep" >&2
        run_ravelox "$rate" >>"$WORK/rows.rv"
        run_iperf "$rate" >>"$WORK/rows.ip"
    done
    declare -A m=()
    for tool in rv ip; do
        for c in 1 2 3 4 5; do
            m[$tool$c]=$(col_median "$WORK/rows.$tool" "$c")
        done
    done
    name=$label
    [ "$label" = max ] && name="max (asked $MAX_RATE)"
    printf "| %s | Ravelox | %s | %s | %s | %s | %s |\n" "$name" "$(fmt "${m[rv1]}" 2)" \
        "$(fmt "${m[rv2]}" 2)" "$(fmt "${m[rv3]}" 2)" "$(fmt "${m[rv4]}" 3)" "$(fmt "${m[rv5]}" 3)" >>"$TABLE"
    printf "| %s | iperf3 | %s | %s | %s | %s | %s |\n" "$name" "$(fmt "${m[ip1]}" 2)" \
        "$(fmt "${m[ip2]}" 2)" "$(fmt "${m[ip3]}" 2)" "$(fmt "${m[ip4]}" 3)" "$(fmt "${m[ip5]}" 3)" >>"$TABLE"
    printf "| %s | %s | %s | %s | %s |\n" "$name" "$(ratio "${m[rv1]}" "${m[ip1]}")" \
        "$(ratio "${m[rv2]}" "${m[ip2]}")" "$(ratio "${m[rv4]}" "${m[ip4]}")" \
        "$(ratio "${m[rv5]}" "${m[ip5]}")" >>"$RATIOS"
    unset m
done

echo "vs-iperf: idle responder, $IDLE_TIME s" >&2
# Measured from /proc after start-up (loading libraries and settings is not
# idling): CPU clock ticks of the whole process over IDLE_TIME seconds.
ip netns exec "$NS_S" "$CLI" respond --duration $((IDLE_TIME + 3)) >/dev/null 2>"$WORK/idle.err" &
IDLE_PID=$!
sleep 1
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$IDLE_PID/stat"; }
IDLE_T0=$(cpu_ticks) || die "idle responder failed: $(cat "$WORK/idle.err")"
sleep "$IDLE_TIME"
IDLE_T1=$(cpu_ticks) || die "idle responder failed: $(cat "$WORK/idle.err")"
wait "$IDLE_PID" || die "idle responder failed: $(cat "$WORK/idle.err")"
IDLE=$(awk -v a="$IDLE_T0" -v b="$IDLE_T1" -v hz="$(getconf CLK_TCK)" -v t="$IDLE_TIME" \
    'BEGIN { printf "%.5f", (b - a) / hz / t }')

CPU_MODEL=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
REPORT=$WORK/report.md
{
    echo "# Ravelox vs iperf3"
    echo
    echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC')  "
    echo "Machine: ${CPU_MODEL:-unknown CPU}, $(nproc) cores, Linux $(uname -r)  "
    echo "Tools: $("$CLI" --version), $(iperf3 --version | head -n 1)  "
    echo "Link: two network namespaces joined by a veth pair; ${LENGTH}-byte datagrams, ${BUF_KB} KB socket buffers, ${TIME} s per run, median of ${REPS} interleaved runs per tool and rate; one direction (client -> server)."
    echo
    echo "Send and receive rates are each tool's own figures: Ravelox's summary averages"
    echo "(local_output_kbps, remote_input_kbps; its statistics skip the first reports), iperf3's"
    echo "sum_sent and sum_received. Loss: Ravelox 100 - remote_quality_pct (received / sent bytes"
    echo "while datagrams were lost), iperf3 lost_percent (lost / sent datagrams)."
    echo "CPU: user + system seconds of the whole process (/usr/bin/time) per second of test."
    echo
    cat "$TABLE"
    echo
    echo "Ratios Ravelox / iperf3 (medians):"
    echo
    cat "$RATIOS"
    echo
    echo "Idle responder (\`ravelox-cli respond\`, nothing to answer): $IDLE CPU s/s over ${IDLE_TIME} s."
} >"$REPORT"
cat "$REPORT"
cp "$REPORT" "$RESULTS"
echo "vs-iperf: written to $RESULTS" >&2
