#!/usr/bin/env bash
# The bash completion of vemla-cli, as bash-completion runs it: each line typed so far (the
# cursor at its end) and the words it must offer.
set -uo pipefail
cli=$1
script=$2
source /usr/share/bash-completion/bash_completion || exit 1
source "$script"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
touch "$dir/device.txt" "$dir/config.ini"

failed=0
check() { # line, expected words (space separated, sorted)
    local line=${1/vemla-cli/$cli} expected=$2
    COMP_LINE=$line
    COMP_POINT=${#line}
    read -ra COMP_WORDS <<<"$line"
    [[ $line == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _vemla vemla-cli 2>/dev/null
    local got
    got=$(printf '%s\n' "${COMPREPLY[@]}" | grep -v '^$' | sort | tr '\n' ' ' | sed 's/ $//')
    if [[ $got != "$expected" ]]; then
        echo "FAIL: '$line' offered '$got', expected '$expected'"
        failed=1
    fi
}

check "vemla-cli --fl" "--flow"
check "vemla-cli --flow " "none rtscts"
check "vemla-cli --dtr o" "off on"
check "vemla-cli --la" "--lang"
check "vemla-cli --lang " "auto en ru"
check "vemla-cli --frame 7" "7E1 7N1 7O1"
check "vemla-cli -p rf" "rfc2217://"
check "vemla-cli --port pt" "pty:"
check "vemla-cli --bridge pt" "pty:"
check "vemla-cli --ta" "--tap"
check "vemla-cli --triggers $dir/dev" "$dir/device.txt"
check "vemla-cli --che" "--check-session --check-triggers"
check "vemla-cli --hi" ""
check "vemla-cli --send " ""
# The ports vemla lists come first; a machine without serial ports lists none.
listed=$("$cli" --list-ports | cut -d' ' -f1 | grep '^/dev/tty' | head -1)
[[ -n $listed ]] && check "vemla-cli -p $listed" "$listed"
[[ $failed == 0 ]] && echo "all completions as expected"
exit $failed
