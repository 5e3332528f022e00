#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs each fuzz target for SECONDS from its seed corpus (copied: the seeds
# in the repository stay as they are) and fails on any crash, leak, undefined
# behaviour or input slower than 10 s; the failing input is kept in OUT.
#   run-fuzz.sh BIN_DIR SECONDS [OUT] [TARGET...]
# Prints each target's executions.
set -eu
bin=$1 seconds=$2 out=${3:-$(mktemp -d /tmp/ravelox-fuzz.XXXXXX)}
shift 2
[ $# -eq 0 ] || shift
here=$(cd "$(dirname "$0")" && pwd)
targets=${*:-"datagram ini lang result_log cli_args"}
mkdir -p "$out"
failed=""
for t in $targets; do
    work="$out/$t"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/artifacts" "$work/tmp"
    cp "$here/corpus/$t/"* "$work/corpus/"
    status=0
    TMPDIR="$work/tmp" ASAN_OPTIONS="detect_leaks=1:abort_on_error=1" UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1" \
        "$bin/fuzz_$t" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -print_final_stats=1 -artifact_prefix="$work/artifacts/" "$work/corpus" \
        >"$work/log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log")
    if [ "$status" -ne 0 ]; then
        failed="$failed $t"
        echo "FAIL: fuzz_$t (exit $status) after ${runs:-?} runs; input kept in $work/artifacts:" >&2
        grep -E "ERROR|runtime error|SUMMARY" "$work/log" | head -5 >&2
    else
        echo "ok: fuzz_$t: ${runs:-?} runs in $seconds s, corpus $(ls "$work/corpus" | wc -l) inputs"
    fi
done
[ -z "$failed" ] || { echo "fuzz targets that failed:$failed" >&2; exit 1; }
