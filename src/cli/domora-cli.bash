# Bash completion for domora-cli: verbs, their actions and options, the
# values of --format, and file and folder names where a verb takes one.
_domora_cli() {
    local cur prev words cword
    _init_completion || return

    # The verb and its action are the first plain words after the program's own options.
    local i verb="" action="" skip=0
    for ((i = 1; i < cword; i++)); do
        if ((skip)); then skip=0; continue; fi
        case "${words[i]}" in
            --data | --find | --format | --vehicle | --password-fd) skip=1 ;;
            -*) ;;
            *)
                if [[ -z $verb ]]; then verb="${words[i]}"
                elif [[ -z $action ]]; then action="${words[i]}"
                fi
                ;;
        esac
    done

    case "$prev" in
        --data) _filedir -d; return ;;
        --format)
            if [[ $verb == passwords ]]; then COMPREPLY=($(compgen -W "text csv" -- "$cur"))
            elif [[ $action == import ]]; then COMPREPLY=($(compgen -W "vcard csv" -- "$cur"))
            else COMPREPLY=($(compgen -W "vcard csv emails text" -- "$cur"))
            fi
            return
            ;;
        --find | --vehicle | --password-fd) return ;;
    esac

    if [[ -z $verb ]]; then
        if [[ $cur == -* ]]; then COMPREPLY=($(compgen -W "--data --help --version" -- "$cur"))
        else COMPREPLY=($(compgen -W "addresses passwords vehicles backup restore check repair sync" -- "$cur"))
        fi
        return
    fi

    local actions="" options="--help --data"
    case "$verb" in
        addresses)
            actions="list export import"
            case "$action" in
                list) options+=" --find --json" ;;
                export) options+=" --format --find" ;;
                import) options+=" --format" ;;
            esac
            ;;
        passwords)
            actions="list show export"
            options+=" --password-fd"
            [[ $action == export ]] && options+=" --format"
            ;;
        sync) options+=" --password-fd --yes" ;;
        vehicles)
            actions="list export"
            [[ $action == export ]] && options+=" --vehicle"
            ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [[ -n $actions && -z $action ]]; then
        COMPREPLY=($(compgen -W "$actions" -- "$cur"))
    else
        case "$verb" in
            backup | restore) _filedir -d ;;
            addresses | passwords | vehicles) [[ $action == export || $action == import ]] && _filedir ;;
        esac
    fi
}
complete -F _domora_cli domora-cli
