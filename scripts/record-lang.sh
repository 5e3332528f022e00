#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Records the reference language file app/Default/ravelox.lng again from the
# built program: `ravelox -UpLang` runs offscreen in a temporary program
# folder (the shipped Default folder, with the library's exclusion file
# beside it as in the build tree) inside a private network namespace (the
# engine broadcasts as soon as it starts), records every form, and the
# result replaces the file in the source tree. Translators then bring the
# other languages up to date (the test TShippedTest.GermanIsCompleteAndConsistent
# lists what is missing).
#
# usage: record-lang.sh [BIN_DIR]          (needs root: a network namespace)
set -eu

SRC=$(cd "$(dirname "$0")/.." && pwd)
BIN=$(cd "${1:-build/bin}" && pwd)
TMP=$(mktemp -d /tmp/ravelox-uplang.XXXXXX)
trap 'rm -rf "$TMP"' EXIT

mkdir -p "$TMP/bin/Default" "$TMP/Brenlib/Default"
cp "$SRC"/Brenlib/Default/* "$TMP/Brenlib/Default/"
cp "$SRC"/app/Default/ravelox.lng "$SRC"/app/Default/ravelox.hnt "$SRC"/app/Default/LangNone.ini \
   "$SRC"/Brenlib/Default/MsgStr.hnt "$TMP/bin/Default/"
cp "$BIN/ravelox" "$TMP/bin/"

# The program records at its start and says so; then it is closed (SIGTERM
# closes it in order). At most 30 s.
unshare -n sh -c '
    ip link set lo up
    ip route add 255.255.255.255/32 dev lo src 127.0.0.1
    RAVELOX_HOME="$0/bin" XDG_CONFIG_HOME="$0/xdg" QT_QPA_PLATFORM=offscreen \
        "$0/bin/ravelox" -UpLang 2> "$0/log" &
    pid=$!
    n=0
    until grep -q "UpLang: every form recorded" "$0/log"; do
        n=$((n + 1))
        if [ "$n" -gt 300 ] || ! kill -0 "$pid" 2>/dev/null; then
            kill "$pid" 2>/dev/null || true
            cat "$0/log" >&2
            exit 1
        fi
        sleep 0.1
    done
    kill -TERM "$pid"
    wait "$pid" || true' "$TMP"

cp "$TMP/bin/Default/ravelox.lng" "$SRC/app/Default/ravelox.lng"
echo "recorded $SRC/app/Default/ravelox.lng"
