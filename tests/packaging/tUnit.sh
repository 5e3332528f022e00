#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The responder's service unit: its limits and its sandbox.
#   tUnit.sh UNIT
# The directives are checked as text (systemd need not run here); where
# systemd-analyze is installed, its offline security check must rate the
# unit's exposure at 2.0 or less.
set -eu
unit=$1
fail() { echo "FAIL: $*" >&2; exit 1; }
[ -f "$unit" ] || fail "no unit $unit"

# One directive, exactly as given (a line of its own).
has() {
    grep -qxF "$1" "$unit" || fail "$unit lacks '$1'"
    echo "ok: $1"
}

exec_start=$(grep '^ExecStart=' "$unit") || fail "no ExecStart="
case $exec_start in
    *"ravelox-cli respond "*"--max-speed 1G"*) ;;
    *) fail "ExecStart does not limit the speed: $exec_start" ;;
esac
case $exec_start in
    *"--max-send-time 600"*) echo "ok: $exec_start" ;;
    *) fail "ExecStart does not limit the send time: $exec_start" ;;
esac

for d in DynamicUser=yes NoNewPrivileges=yes PrivateUsers=yes PrivateTmp=yes \
    PrivateDevices=yes PrivateMounts=yes ProtectSystem=strict ProtectHome=yes \
    ProtectKernelTunables=yes ProtectKernelModules=yes ProtectKernelLogs=yes \
    ProtectControlGroups=yes ProtectClock=yes ProtectHostname=yes ProtectProc=invisible \
    ProcSubset=pid RestrictNamespaces=yes RestrictRealtime=yes RestrictSUIDSGID=yes \
    LockPersonality=yes MemoryDenyWriteExecute=yes SystemCallArchitectures=native \
    SystemCallFilter=@system-service CapabilityBoundingSet= AmbientCapabilities= \
    UMask=0077; do
    has "$d"
done
# The engine needs IPv4 and its own addresses (netlink); nothing else.
has "RestrictAddressFamilies=AF_INET AF_NETLINK AF_UNIX"

if command -v systemd-analyze >/dev/null 2>&1; then
    report=$(systemd-analyze security --offline=true --no-pager "$unit" 2>&1) ||
        fail "systemd-analyze security failed: $report"
    level=$(printf '%s\n' "$report" | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
    [ -n "$level" ] || fail "no exposure level in: $report"
    awk -v l="$level" 'BEGIN { exit !(l <= 2.0) }' ||
        fail "exposure $level is above 2.0: $report"
    echo "ok: systemd-analyze security: exposure $level"
else
    echo "ok: systemd-analyze not installed; the directives were checked as text"
fi
