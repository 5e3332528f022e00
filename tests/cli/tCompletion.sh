#!/bin/bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The bash completion of ravelox-cli: it offers the subcommands, every option
# that `ravelox-cli CMD --help` lists for each of them (an option added to
# the program but not to the completion fails here), and the values of
# --direction. Usage: tCompletion.sh COMPLETION RAVELOX_CLI
set -u
completion=$1
cli=$2
failed=0
fail() {
    echo "FAIL: $*" >&2
    failed=1
}

# shellcheck source=/dev/null
source "$completion" || { echo "FAIL: cannot source $completion" >&2; exit 1; }

complete_line() { # words... (the last is the word being completed)
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _ravelox_cli
    printf '%s\n' "${COMPREPLY[@]}"
}

offered=$(complete_line ravelox-cli "")
for command in respond test search lookup view; do
    grep -qx "$command" <<<"$offered" || fail "subcommand $command not offered"
    options=$(complete_line ravelox-cli "$command" --)
    for option in $("$cli" "$command" --help | grep -oE '^\s+(-h,)?--[a-z-]+' | sed 's/.*--/--/'); do
        grep -qx -- "$option" <<<"$options" || fail "$command: $option not offered"
    done
done
[ "$(complete_line ravelox-cli test --direction "" | sort | tr '\n' ' ')" = "both local remote " ] ||
    fail "--direction values"
[ "$(complete_line ravelox-cli search --direction lo)" = "local" ] || fail "--direction lo"
[ "$(complete_line ravelox-cli te)" = "test" ] || fail "te -> test"
[ -z "$(complete_line ravelox-cli test --port "")" ] || fail "a port is the user's to type"

[ $failed -eq 0 ] && echo "completion offers every subcommand and option"
exit $failed
