#!/usr/bin/env bash
# Run by the completion test: checkcompletion.sh COMPLETION_FILE
# Loads the completion into this bash and completes typed words as bash would, in a scratch
# folder holding two folders and a file.
set -u
# shellcheck source=/dev/null
source "$1"
complete -p dirweaver | grep -q -- '-F _dirweaver' || { echo "dirweaver has no completion"; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && mkdir docs 下载 && touch notes.txt
failed=0
# check EXPECTED WORD...: the words typed, the last being completed, give EXPECTED: each
# name offered as printf %q shows it, sorted, one space after each.
check() {
    local expected=$1 got LC_ALL=C.UTF-8
    shift
    COMP_WORDS=("$@")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMPREPLY=()
    _dirweaver 2>/dev/null
    got=$(for w in "${COMPREPLY[@]}"; do printf '%q\n' "$w"; done | LC_ALL=C sort | tr '\n' ' ')
    if [ "$got" != "$expected" ]; then
        echo "typed '$*': offered '$got', expected '$expected'"
        failed=1
    fi
}
check "--sort " dirweaver --so
check "--date --depth " dirweaver --d
check "created modified name size " dirweaver --write x --sort ""
check "modified " dirweaver --sort mo
check "gbk utf-8 " dirweaver --encoding =
check "table " dirweaver --style = t
check "center " dirweaver --align c
check "en zh-CN " dirweaver --write x --lang ""
check "sha256 " dirweaver --tree --checksum s
check "docs notes.txt 下载 " dirweaver --write ""
check "" dirweaver --depth ""
check "" dirweaver --base ""
check "docs 下载 " dirweaver --tree ""
check "docs " dirweaver --write x d
check "" dirweaver -- --s
# Names that hold spaces, quotes, patterns, a leading '-', a command or a line break are each
# offered as one word, whole, and only when what was typed starts them.
mkdir -- "a b" "我的 文件" "*" "x;touch PWNED" "-dash" "it's" $'new\nline' "a*"
check 'a\ b a\* ' dirweaver --tree a
check 'a\ b ' dirweaver --tree "'a "
check 'a\ b ' dirweaver --tree 'a\ '
check '我的\ 文件 ' dirweaver 我
check '\* ' dirweaver --tree '\*'
check 'x\;touch\ PWNED ' dirweaver --write out x
check '-dash ' dirweaver -- -d
check "it\\'s " dirweaver i
check "$'new\\nline' " dirweaver n
[ -e PWNED ] && { echo "a name ran as a command"; failed=1; }
exit $failed
