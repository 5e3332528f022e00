#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The desktop program's costs on this machine, all offscreen and inside
# private network namespaces (nothing reaches the real network):
#  1. one view tick with both panels and all graphs full, fed synthetic report
#     streams (bench_ui_tick): default settings, and GraphTime 10000 s with
#     ViewTime 100 ms;
#  2. the program idle (no test) for 30 s: CPU share from /proc;
#  3. the program during a 1 Gbit/s test in both directions driven by
#     `ravelox-cli test` on a second host: the view ticks' times as the
#     program itself logs them (RAVELOX_TICK_LOG).
# usage: bench/ui-tick.sh [BUILD_DIR]   (root; results on stdout)
set -eu
BIN=$(cd "${1:-build}/bin" && pwd)
TMP=$(mktemp -d /tmp/rvbench.XXXXXX)
NEAR=rvbench$$-near
FAR=rvbench$$-far
cleanup() {
    ip netns del "$NEAR" 2>/dev/null || true
    ip netns del "$FAR" 2>/dev/null || true
    rm -rf "$TMP"
}
trap cleanup EXIT

private() { # a command in a loopback-only namespace
    unshare -n sh -c "ip link set lo up && ip route add 255.255.255.255/32 dev lo src 127.0.0.1 && $*"
}

echo "== machine: $(uname -srm), $(nproc) cores; $(date -u '+%Y-%m-%d %H:%M UTC')"
echo "== 1. view tick, synthetic streams (1 Gbit/s each way), graphs full"
export RAVELOX_HOME="$TMP" XDG_CONFIG_HOME="$TMP" XDG_RUNTIME_DIR="$TMP" QT_QPA_PLATFORM=offscreen
private "'$BIN/bench_ui_tick' 1000 200 30 300" 2>/dev/null
private "'$BIN/bench_ui_tick' 100 100 10000 300" 2>/dev/null

ip netns add "$NEAR"
ip netns add "$FAR"
ip link add rvbn$$ netns "$NEAR" type veth peer name rvbf$$ netns "$FAR"
for host in "$NEAR rvbn$$ 198.18.0.1" "$FAR rvbf$$ 198.18.0.2"; do
    set -- $host
    ip -n "$1" link set lo up
    ip -n "$1" addr add "$3/24" dev "$2"
    ip -n "$1" link set "$2" up
    ip -n "$1" route add 255.255.255.255/32 dev "$2" src "$3"
done
printf '[Config]\nSockRecvBuf=262144\nSockSendBuf=262144\n' > "$TMP/ravelox.INI"

cpu() { # utime+stime ticks of a process
    awk '{print $14 + $15}' "/proc/$1/stat"
}

echo "== 2. idle program, 30 s"
ip netns exec "$NEAR" env RAVELOX_TICK_LOG=1 "$BIN/ravelox" 2>"$TMP/idle.err" &
APP=$!
sleep 3 # start-up is not part of the idle figure
c0=$(cpu $APP)
sleep 30
c1=$(cpu $APP)
hz=$(getconf CLK_TCK)
echo "idle: $((c1 - c0)) ticks of 1/$hz s in 30 s = $(awk "BEGIN{printf \"%.2f\", ($c1-$c0)/$hz/30*100}") % of a core"
kill -TERM $APP
wait $APP || true
grep "view ticks" "$TMP/idle.err" || true

echo "== 3. during a 1 Gbit/s test in both directions (15 s)"
ip netns exec "$NEAR" env RAVELOX_TICK_LOG=1 "$BIN/ravelox" 2>"$TMP/busy.err" &
APP=$!
sleep 2
ip netns exec "$FAR" "$BIN/ravelox-cli" test 198.18.0.1 --time 15 --local-speed 1G \
    --remote-speed 1G --local-length 1450 --remote-length 1450 --recv-buf 256 --send-buf 256 \
    >"$TMP/cli.out" 2>&1 || true
tail -4 "$TMP/cli.out"
kill -TERM $APP
wait $APP || true
grep "view ticks" "$TMP/busy.err" || true
