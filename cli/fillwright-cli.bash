# bash completion for fillwright-cli                       -*- shell-script -*-
# Installed as share/bash-completion/completions/fillwright-cli, where
# bash-completion loads it the first time the command is completed.
#
# Options complete from this list, the modes after -m/--mode; nothing is
# offered for a seed, a --total or --file-size, or for SIZE (the first
# operand); every later operand, and every word after "--", is a FILE. With
# --fill or --verify the one operand is a DIR, and --report takes a FILE.

_fillwright_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local options='-m --mode -s --seed --allocate -n --no-clobber --check --json -q --quiet -h --help --version
        --fill --verify --total --file-size --no-verify --keep-going --report --allow-system-drive'
    local modes='zero random ascii size noise'
    COMPREPLY=()

    # "--mode=ra": bash splits the word at "=" when "=" is a word break.
    if [[ $cur == --mode=* ]]; then  # "=" is no word break here: the word is replaced whole
        mapfile -t COMPREPLY < <(compgen -P --mode= -W "$modes" -- "${cur#--mode=}")
        return 0
    fi
    if [[ $prev == = && ${COMP_WORDS[COMP_CWORD - 2]} == --mode ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$modes" -- "$cur")
        return 0
    fi
    [[ $cur =~ ^--(seed|total|file-size)= ]] && return 0
    [[ $prev == = && ${COMP_WORDS[COMP_CWORD - 2]} =~ ^--(seed|total|file-size)$ ]] && return 0

    # Count the operands before the word being completed: the first is SIZE.
    local i word operands=0 ended= drive=
    for ((i = 1; i < COMP_CWORD; i++)); do
        word=${COMP_WORDS[i]}
        if [[ -n $ended || $word == - || $word != -* ]]; then
            ((operands++))
        elif [[ $word == -- ]]; then
            ended=1
        elif [[ $word == --fill || $word == --verify ]]; then
            drive=1
        elif [[ $word =~ ^(-[nqh]*[ms]|--mode|--seed|--total|--file-size|--report)$ ]]; then
            ((i++))  # the next word is this option's value, or "=" and then the value
            [[ ${COMP_WORDS[i]} == = ]] && ((i++))
        fi
    done

    if [[ -z $ended ]]; then
        if [[ $prev =~ ^(-[nqh]*m|--mode)$ ]]; then
            mapfile -t COMPREPLY < <(compgen -W "$modes" -- "$cur")
            return 0
        fi
        if [[ $prev =~ ^(-[nqh]*s|--seed|--total|--file-size)$ ]]; then
            return 0
        fi
        if [[ $prev == --report ]]; then  # the page: any file
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return 0
        fi
        if [[ $cur == -* ]]; then
            mapfile -t COMPREPLY < <(compgen -W "$options" -- "$cur")
            return 0
        fi
    fi
    if [[ -n $drive ]]; then  # the folder to test
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -d -- "$cur")
        return 0
    fi
    ((operands == 0)) && return 0  # SIZE
    compopt -o filenames 2>/dev/null
    mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    # Before "--" a name starting with "-" would be read as an option: such
    # files are offered once "./" or "--" is typed.
    if [[ -z $ended && ${#COMPREPLY[@]} -gt 0 ]]; then
        mapfile -t COMPREPLY < <(printf '%s\n' "${COMPREPLY[@]}" | grep -v '^-')
    fi
    return 0
}
complete -F _fillwright_cli fillwright-cli
