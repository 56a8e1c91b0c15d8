#!/bin/bash
# The bash completion written from the command line: what a tab after each word list offers.
# Usage: completion_test.sh COMPLETION
set -u
source "$1"
failed=0
check() {  # check EXPECTED WORD...: the completion of the last word
    local expected=$1
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _velpin_cli
    local got="${COMPREPLY[*]}"
    if [[ $got != "$expected" ]]; then
        echo "${COMP_WORDS[*]}: offered '$got', expected '$expected'"
        failed=1
    fi
}
check "save scan" velpin-cli s
check "sha256 sha1" velpin-cli scan --hash sh
check "sha256 sha1 md5 crc32 xxh128" velpin-cli scan --hash =
check "sha1,xxh128" velpin-cli scan --hash = sha1,x
check "md5,crc32" velpin-cli scan -j 2 --hash md5,c
check "--json" velpin-cli tags --js
exit $failed
