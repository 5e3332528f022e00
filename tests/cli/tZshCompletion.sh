#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The zsh completion of ravelox-cli lists, in each subcommand's branch, every
# option that `ravelox-cli CMD --help` lists (directly or through the shared
# engine, pacing, lengths and direction lists the branch uses), and each
# subcommand. With zsh at hand the file must also parse. Usage:
# tZshCompletion.sh COMPLETION RAVELOX_CLI
set -u
completion=$1
cli=$2
failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}

# The text of one case branch "    CMD)" up to its ";;".
branch() {
    sed -n "/^    $1)\$/,/^        ;;\$/p" "$completion"
}
# The specs of one shared list "    local -a NAME" / "    local NAME=...".
shared() {
    sed -n "/^    local -a $1\$/,/^    )\$/p; /^    local $1=/p" "$completion"
}

for command in respond test search lookup view; do
    grep -q "'$command:" "$completion" || fail "subcommand $command not offered"
    text=$(branch "$command")
    [ -n "$text" ] || { fail "$command: no branch"; continue; }
    for list in engine pacing lengths direction; do
        grep -q "\$$list\b" <<<"$text" && text+=$'\n'$(shared "$list")
    done
    for option in $("$cli" "$command" --help | grep -oE '^\s+(-h,)?--[a-z-]+' | sed 's/.*--/--/'); do
        if [ "$option" = --help ]; then
            grep -q -- '{-h,--help}' <<<"$text" || fail "$command: --help not offered"
        else
            grep -q -- "'$option\[" <<<"$text" || fail "$command: $option not offered"
        fi
    done
done
grep -q "(both local remote)" "$completion" || fail "--direction values"
if command -v zsh >/dev/null; then
    zsh -n "$completion" || fail "zsh cannot parse $completion"
fi
exit $failed
