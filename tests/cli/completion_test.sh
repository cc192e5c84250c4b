#!/usr/bin/env bash
# The bash completion of fillwright-cli, run by a real bash:
#   completion_test.sh COMPLETION-FILE PROGRAM
# Each row is a command line typed up to the cursor (words split at spaces; a
# trailing space starts an empty word) and what the completion offers there
# (each offer as %q prints it, so an empty offer shows as '').
set -u
export LC_ALL=C
completion=$1
program=$2
source "$completion" || exit 1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch" || exit 1
touch a.bin b.txt -- -x.bin
mkdir dir

offered() {  # line -> the offers, sorted, on one line
    local line=$1
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    _fillwright_cli
    ((${#COMPREPLY[@]})) && printf '%q\n' "${COMPREPLY[@]}" | sort | tr '\n' ' ' | sed 's/ $//'
}

failures=0
while IFS='|' read -r line expected; do
    got=$(offered "$line")
    if [[ $got != "$expected" ]]; then
        echo "FAILED: '$line' offers '$got', expected '$expected'"
        failures=$((failures + 1))
    fi
done <<'EOF'
fillwright-cli -m |ascii noise random size zero
fillwright-cli --mode r|random
fillwright-cli --mode = n|noise
fillwright-cli --mode=s|--mode=size
fillwright-cli -qm |ascii noise random size zero
fillwright-cli -s |
fillwright-cli --seed = |
fillwright-cli --ch|--check
fillwright-cli 1G a.bin --no|--no-clobber --no-verify
fillwright-cli --fill |dir
fillwright-cli --fill --total |
fillwright-cli --fill --file-size = |
fillwright-cli --verify d|dir
fillwright-cli --fill --ke|--keep-going
fillwright-cli --fill --rep|--report
fillwright-cli --fill --report |-x.bin a.bin b.txt dir
fillwright-cli --verify --report a.bin d|dir
fillwright-cli --fill --allow|--allow-system-drive
fillwright-cli |
fillwright-cli -m random |
fillwright-cli -m random -s 5 |
fillwright-cli 1G |a.bin b.txt dir
fillwright-cli 1G ./-|./-x.bin
fillwright-cli 1G zzz|
fillwright-cli 1G -- -|-x.bin
fillwright-cli -m random -s 5 1G a|a.bin
fillwright-cli --mode = random |
fillwright-cli --mode = random 1G b|b.txt
fillwright-cli -- |
fillwright-cli -- 1G -|-x.bin
fillwright-cli -- 1G a.bin -m |-x.bin a.bin b.txt dir
EOF

# Every option --help lists is offered after "-", and nothing more.
from_help=$("$program" --help | grep -o -E '^ +(-[a-z], )?--[a-z-]+' | tr ', ' '\n\n' | grep . | sort | tr '\n' ' ' | sed 's/ $//')
from_completion=$(offered "fillwright-cli -" | tr ' ' '\n' | sort | tr '\n' ' ' | sed 's/ $//')
if [[ -z $from_help || $from_help != "$from_completion" ]]; then
    echo "FAILED: --help lists '$from_help', the completion offers '$from_completion'"
    failures=$((failures + 1))
fi

[[ $failures -eq 0 ]] && echo "ok: every completion as expected"
exit $((failures > 0))
