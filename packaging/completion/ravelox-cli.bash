# SPDX-License-Identifier: GPL-3.0-or-later
# bash completion for ravelox-cli: subcommands, their options, and the
# values of --direction; files for the options that take a file.

_ravelox_cli() {
    local cur prev words cword
    if declare -F _init_completion >/dev/null 2>&1; then
        _init_completion || return
    else
        cur=${COMP_WORDS[COMP_CWORD]}
        prev=${COMP_WORDS[COMP_CWORD - 1]}
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi

    local commands="respond test search lookup view"
    local command="" i
    for ((i = 1; i < cword; i++)); do
        case ${words[i]} in
        respond | test | search | lookup | view)
            command=${words[i]}
            break
            ;;
        esac
    done

    local engine="--port --recv-buf --send-buf --extension --json --help"
    local options
    case $command in
    respond)
        options="$engine --interval --duration --metrics-file --peer-silence --max-speed
                 --max-send-time --allow"
        ;;
    test)
        options="$engine --time --local-speed --remote-speed --local-length --remote-length
                 --direction --log --csv --max-loss --min-rate --min-rate-local
                 --min-rate-remote --max-rtt --max-jitter --timer-period --info-time --interval"
        ;;
    search)
        options="$engine --direction --max-loss --step-time --min --max --time-limit
                 --local-length --remote-length --timer-period --info-time"
        ;;
    lookup) options="--time --port --extension --json --help" ;;
    view) options="--json --csv --svg --title --help" ;;
    *)
        COMPREPLY=($(compgen -W "$commands --help --version" -- "$cur"))
        return
        ;;
    esac

    case $prev in
    --direction)
        COMPREPLY=($(compgen -W "both local remote" -- "$cur"))
        return
        ;;
    --extension)
        COMPREPLY=($(compgen -W "on off" -- "$cur"))
        return
        ;;
    --log | --svg | --metrics-file)
        COMPREPLY=($(compgen -f -- "$cur"))
        return
        ;;
    --port | --recv-buf | --send-buf | --interval | --duration | --time | --local-speed | \
        --remote-speed | --local-length | --remote-length | --max-loss | --min-rate | \
        --min-rate-local | --min-rate-remote | --max-rtt | --max-jitter | --timer-period | \
        --info-time | --step-time | --min | --max | --time-limit | --title | --peer-silence | \
        --max-speed | --max-send-time | --allow)
        return # a value of the user's
        ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [[ $command == view ]]; then
        COMPREPLY=($(compgen -f -- "$cur"))
    fi
}
complete -F _ravelox_cli ravelox-cli
