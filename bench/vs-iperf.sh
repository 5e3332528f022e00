#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Ravelox against iperf3 on a two-namespace veth link: achieved send and
# receive rate, loss and CPU per second of test at several rates, medians of
# interleaved repetitions; the same with each tool's own defaults (what a new
# user sees), with Ravelox's receive-buffer drops; and the idle CPU of a
# responder. See README.md here.
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
DEFAULT_RATES=${BENCH_DEFAULT_RATES:-"100M 1000M"}
MAX_RATE=10G                     # "max": Ravelox's highest speed; iperf3 unlimited (-b 0)
LENGTH=1450                      # datagram length (UDP payload), bytes
BUF_KB=256                       # socket buffers, KB
IDLE_TIME=${BENCH_IDLE_TIME:-30} # seconds of idle responder
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

# Buffer options of both tools: "set" gives both BUF_KB, "defaults" nothing.
rv_buffers() { [ "$1" = set ] && echo "--recv-buf $BUF_KB --send-buf $BUF_KB" || true; }
ip_buffers() { [ "$1" = set ] && echo "-w ${BUF_KB}K" || true; }

# One Ravelox measurement: prints "send_mbps recv_mbps loss_pct cpu_client
# cpu_server rcvbuf_drops" (the responder's socket drops, as it reported them).
run_ravelox() {
    local rate=$1 buffers=$2 out=$WORK/rv
    # shellcheck disable=SC2046
    ip netns exec "$NS_S" /usr/bin/time -f "%U %S" -o "$out.srv.time" \
        "$CLI" respond $(rv_buffers "$buffers") --duration $((TIME + 20)) --json \
        >"$out.srv" 2>"$out.srv.err" &
    local server=$!
    PIDS+=("$server")
    wait_for "$out.srv" '"address"' || die "responder did not start: $(cat "$out.srv.err")"
    local try
    for try in 1 2; do
        # shellcheck disable=SC2046
        ip netns exec "$NS_C" /usr/bin/time -f "%U %S" -o "$out.cli.time" \
            "$CLI" test "$ADDR_S" --time "$TIME" --direction local --local-speed "$rate" \
            --local-length "$LENGTH" $(rv_buffers "$buffers") --json \
            >"$out.cli" 2>"$out.cli.err" && break
        # A failed run is counted in the report, and tried once more.
        echo "$rate $buffers: $(cat "$out.cli.err")" >>"$WORK/failed-runs"
        [ "$try" = 2 ] && die "ravelox-cli test failed twice: $(cat "$out.cli.err")"
    done
    # The responder is the child of time: stop it by its own id.
    local child
    child=$(pgrep -P "$server" || true)
    [ -n "$child" ] && kill -TERM "$child"
    wait "$server" || die "responder did not end cleanly: $(cat "$out.srv.err")"
    local s
    s=$(tail -n 1 "$out.cli" | jq -c .summary)
    # Loss: the datagrams the responder counted as lost (sequence gaps) per
    # datagram sent; the sent ones from the send rate over the measured time.
    echo "$(jq -r --argjson len "$LENGTH" '[.local_output_kbps / 1000, .remote_input_kbps / 1000,
                    (if .local_output_kbps > 0
                     then 100 * .remote_lost / (.local_output_kbps * .elapsed_ms / 8 / $len)
                     else 0 end)] | map(tostring) | join(" ")' <<<"$s") \
$(cpu_per_s "$out.cli.time") $(cpu_per_s "$out.srv.time") $(jq -r '.remote_rcvbuf_drops // "nan"' <<<"$s") \
$(jq -r '.remote_lost' <<<"$s")"
}

# One iperf3 measurement, the same figures (no drops column: iperf3 does not
# tell them).
run_iperf() {
    local rate=$1 buffers=$2 out=$WORK/ip
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
        iperf3 -c "$ADDR_S" -p "$IPERF_PORT" -u -l "$LENGTH" -b "$rate" $(ip_buffers "$buffers") -t "$TIME" -J \
        >"$out.cli" 2>"$out.cli.err" || die "iperf3 failed: $(cat "$out.cli" "$out.cli.err")"
    wait "$server" || true
    echo "$(jq -r '.end | [.sum_sent.bits_per_second / 1e6, .sum_received.bits_per_second / 1e6,
                           .sum_received.lost_percent] | map(tostring) | join(" ")' "$out.cli") \
$(cpu_per_s "$out.cli.time") $(cpu_per_s "$out.srv.time") nan \
$(jq -r '.end | (.sum_received.lost_packets // .sum.lost_packets // "nan") | tostring' "$out.cli")"
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) print "nan"; else if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# column n of the rows in a file -> median
col_median() { awk -v c="$2" '{ print $c }' "$1" | median; }

ratio() { awk -v a="$1" -v b="$2" 'BEGIN { if (b + 0 == 0) print "-"; else printf "%.2f", a / b }'; }
fmt() { awk -v v="$1" -v d="$2" 'BEGIN { printf "%.*f", d, v }'; }

LOAD_BEFORE=$(cut -d' ' -f1-3 /proc/loadavg)
echo "vs-iperf: $REPS x $TIME s per tool and rate, ${LENGTH}-byte datagrams, ${BUF_KB} KB buffers" >&2

# measure <buffers> <rates> <table> <ratios>: both tools interleaved, medians.
measure() {
    local buffers=$1 rates=$2 table=$3 ratios=$4 label rate rep tool c name
    {
        echo "| rate | tool | send Mbit/s | receive Mbit/s | loss % | lost datagrams | receive-buffer drops | CPU s/s sender | CPU s/s receiver |"
        echo "|---|---|---:|---:|---:|---:|---:|---:|---:|"
    } >"$table"
    {
        echo "| rate | send | receive | CPU sender | CPU receiver |"
        echo "|---|---:|---:|---:|---:|"
    } >"$ratios"
    for label in $rates; do
        rate=$label
        local iperf_rate=$label
        if [ "$label" = max ]; then
            rate=$MAX_RATE
            iperf_rate=0
        fi
        : >"$WORK/rows.rv"
        : >"$WORK/rows.ip"
        for rep in $(seq 1 "$REPS"); do
            echo "vs-iperf: $buffers $label, repetition $rep" >&2
            run_ravelox "$rate" "$buffers" >>"$WORK/rows.rv"
            run_iperf "$iperf_rate" "$buffers" >>"$WORK/rows.ip"
        done
        declare -A m=()
        for tool in rv ip; do
            for c in 1 2 3 4 5 6 7; do
                m[$tool$c]=$(col_median "$WORK/rows.$tool" "$c")
            done
        done
        name=$label
        [ "$label" = max ] && name="max (Ravelox asked $MAX_RATE, iperf3 -b 0)"
        printf "| %s | Ravelox | %s | %s | %s | %s | %s | %s | %s |\n" "$name" "$(fmt "${m[rv1]}" 2)" \
            "$(fmt "${m[rv2]}" 2)" "$(fmt "${m[rv3]}" 3)" "$(fmt "${m[rv7]}" 0)" "$(fmt "${m[rv6]}" 0)" \
            "$(fmt "${m[rv4]}" 3)" "$(fmt "${m[rv5]}" 3)" >>"$table"
        printf "| %s | iperf3 | %s | %s | %s | %s | - | %s | %s |\n" "$name" "$(fmt "${m[ip1]}" 2)" \
            "$(fmt "${m[ip2]}" 2)" "$(fmt "${m[ip3]}" 3)" "$(fmt "${m[ip7]}" 0)" "$(fmt "${m[ip4]}" 3)" \
            "$(fmt "${m[ip5]}" 3)" >>"$table"
        printf "| %s | %s | %s | %s | %s |\n" "$name" "$(ratio "${m[rv1]}" "${m[ip1]}")" \
            "$(ratio "${m[rv2]}" "${m[ip2]}")" "$(ratio "${m[rv4]}" "${m[ip4]}")" \
            "$(ratio "${m[rv5]}" "${m[ip5]}")" >>"$ratios"
        unset m
    done
}

TABLE=$WORK/table.md
RATIOS=$WORK/ratios.md
measure set "$RATES" "$TABLE" "$RATIOS"
DEF_TABLE=$WORK/defaults.md
DEF_RATIOS=$WORK/defaults-ratios.md
measure defaults "$DEFAULT_RATES" "$DEF_TABLE" "$DEF_RATIOS"

echo "vs-iperf: idle responder, $IDLE_TIME s" >&2
# Measured from /proc after start-up (loading libraries and settings is not
# idling): the nanoseconds every thread of the process ran (schedstat), and
# how often they were scheduled, over IDLE_TIME seconds. (The clock ticks of
# /proc/<pid>/stat count in 10 ms steps: three of them are 0.1 % of 30 s.)
ip netns exec "$NS_S" "$CLI" respond --duration $((IDLE_TIME + 3)) >/dev/null 2>"$WORK/idle.err" &
IDLE_PID=$!
sleep 1
cpu_ns() { cat /proc/"$IDLE_PID"/task/*/schedstat | awk '{ ns += $1; runs += $3 } END { print ns, runs }'; }
read -r IDLE_NS0 IDLE_RUNS0 < <(cpu_ns) || die "idle responder failed: $(cat "$WORK/idle.err")"
sleep "$IDLE_TIME"
read -r IDLE_NS1 IDLE_RUNS1 < <(cpu_ns) || die "idle responder failed: $(cat "$WORK/idle.err")"
wait "$IDLE_PID" || die "idle responder failed: $(cat "$WORK/idle.err")"
IDLE=$(awk -v a="$IDLE_NS0" -v b="$IDLE_NS1" -v t="$IDLE_TIME" 'BEGIN { printf "%.6f", (b - a) / 1e9 / t }')
IDLE_PCT=$(awk -v v="$IDLE" 'BEGIN { printf "%.3f", v * 100 }')
IDLE_WAKES=$(awk -v a="$IDLE_RUNS0" -v b="$IDLE_RUNS1" -v t="$IDLE_TIME" 'BEGIN { printf "%.1f", (b - a) / t }')
LOAD_AFTER=$(cut -d' ' -f1-3 /proc/loadavg)

CPU_MODEL=$(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)
REPORT=$WORK/report.md
{
    echo "# Ravelox vs iperf3"
    echo
    echo "Date: $(date -u '+%Y-%m-%d %H:%M UTC')  "
    echo "Machine: ${CPU_MODEL:-unknown CPU}, $(nproc) cores, Linux $(uname -r)  "
    echo "Load average (1, 5, 15 min) before: $LOAD_BEFORE; after: $LOAD_AFTER  "
    echo "Both tools ran interleaved in this one run (Ravelox, then iperf3, per repetition), on the same link."
    echo "Tools: $("$CLI" --version), $(iperf3 --version | head -n 1)  "
    echo "Link: two network namespaces joined by a veth pair; ${LENGTH}-byte datagrams, ${TIME} s per run, median of ${REPS} interleaved runs per tool and rate; one direction (client -> server)."
    echo
    echo "## Both tools with ${BUF_KB} KB socket buffers"
    echo
    echo "Send and receive rates are each tool's own figures: Ravelox's summary averages"
    echo "(local_output_kbps, remote_input_kbps; its statistics skip the first reports), iperf3's"
    echo "sum_sent and sum_received. Lost datagrams: Ravelox remote_lost (the responder's sequence"
    echo "gaps), iperf3 lost_packets; loss %: Ravelox lost / sent datagrams (sent from the send"
    echo "rate over the measured time), iperf3 lost_percent (lost / sent datagrams)."
    echo "CPU: user + system seconds of the whole process (/usr/bin/time) per second of test."
    echo
    cat "$TABLE"
    echo
    echo "Ratios Ravelox / iperf3 (medians):"
    echo
    cat "$RATIOS"
    echo
    echo "## Each tool's defaults"
    echo
    echo "Nothing given but rate and datagram length (Ravelox: its compiled-in socket buffers;"
    echo "iperf3: no -w). Receive-buffer drops: datagrams the responder's own socket dropped,"
    echo "as it reported them (remote_rcvbuf_drops); they are part of the lost datagrams."
    echo
    cat "$DEF_TABLE"
    echo
    cat "$DEF_RATIOS"
    echo
    echo "## Failed runs"
    echo
    if [ -s "$WORK/failed-runs" ]; then
        echo "Ravelox test runs that failed and were repeated once:"
        echo
        sed 's/^/    /' "$WORK/failed-runs"
    else
        echo "None."
    fi
    echo
    echo "## Idle"
    echo
    echo "Idle responder (\`ravelox-cli respond\`, nothing to answer): $IDLE CPU s/s ($IDLE_PCT % of a core) over ${IDLE_TIME} s, measured after start-up from the run time of its threads (/proc/<pid>/task/*/schedstat); its threads were scheduled $IDLE_WAKES times a second."
} >"$REPORT"
cat "$REPORT"
cp "$REPORT" "$RESULTS"
echo "vs-iperf: written to $RESULTS" >&2
