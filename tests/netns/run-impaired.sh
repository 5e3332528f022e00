#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# `ravelox-cli test` across the impairment bridge: rv_impair makes a private
# link (host 0 = 198.18.0.1, host 1 = 198.18.0.2, the bridge in a third
# namespace), `ravelox-cli respond` runs on host 1 and `ravelox-cli test` on
# host 0. Prints the test's output, then the bridge's JSON summary (its
# counters and the figures from its record); with IMPAIR_RECORD=FILE also
# every recorded passage as CSV. Nothing reaches the real network.
#
# usage: run-impaired.sh BIN_DIR SECONDS [rv_impair settings] [-- ravelox-cli test options]
#   run-impaired.sh build/bin 10 --delay-us 20000 --spread-us 2000 -- --local-speed 10M --json
# (needs root). Ends by itself; Ctrl-C ends it early and cleans up.
set -eu

BIN=$(cd "$1" && pwd)
SECONDS_TO_RUN=$2
shift 2
IMPAIR_ARGS=""
while [ $# -gt 0 ] && [ "$1" != "--" ]; do IMPAIR_ARGS="$IMPAIR_ARGS $1"; shift; done
[ $# -gt 0 ] && shift
TMP=$(mktemp -d /tmp/ravelox-impaired.XXXXXX)
IMPAIR=""
RESPOND=""

cleanup() {
    [ -n "$RESPOND" ] && kill "$RESPOND" 2>/dev/null || true
    [ -n "$RESPOND" ] && wait "$RESPOND" 2>/dev/null || true
    [ -n "$IMPAIR" ] && kill "$IMPAIR" 2>/dev/null || true
    [ -n "$IMPAIR" ] && wait "$IMPAIR" 2>/dev/null || true
    rm -rf "$TMP"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ "$(id -u)" -ne 0 ]; then
    echo "run-impaired.sh: needs root for the network namespaces" >&2
    exit 1
fi

RECORD_ARG=""
[ -n "${IMPAIR_RECORD:-}" ] && RECORD_ARG="--record $IMPAIR_RECORD"
# The bridge outlives the test by a margin and is stopped by SIGTERM.
# shellcheck disable=SC2086
"$BIN/rv_impair" --duration $((SECONDS_TO_RUN + 30)) --stats "$TMP/bridge.json" $RECORD_ARG \
    $IMPAIR_ARGS 2>"$TMP/impair.err" &
IMPAIR=$!
i=0
until grep -q '^ready' "$TMP/impair.err" 2>/dev/null; do
    if ! kill -0 "$IMPAIR" 2>/dev/null || [ $i -ge 200 ]; then
        cat "$TMP/impair.err" >&2
        exit 1
    fi
    sleep 0.05
    i=$((i + 1))
done
HOST0=$(awk '/^ready/ {print $2}' "$TMP/impair.err")
HOST1=$(awk '/^ready/ {print $3}' "$TMP/impair.err")

mkdir -p "$TMP/h0" "$TMP/h1"
ip netns exec "$HOST1" env RAVELOX_HOME="$TMP/h1" XDG_CONFIG_HOME="$TMP/h1" \
    "$BIN/ravelox-cli" respond --duration $((SECONDS_TO_RUN + 20)) >"$TMP/respond.log" 2>&1 &
RESPOND=$!
status=0
ip netns exec "$HOST0" env RAVELOX_HOME="$TMP/h0" XDG_CONFIG_HOME="$TMP/h0" \
    "$BIN/ravelox-cli" test 198.18.0.2 --time "$SECONDS_TO_RUN" "$@" || status=$?

kill "$IMPAIR"
wait "$IMPAIR" || status=$?
IMPAIR=""
cat "$TMP/bridge.json"
exit $status
