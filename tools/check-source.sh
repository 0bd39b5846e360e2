#!/usr/bin/env bash
# Fails on a source file that clang-format would change and on an include that runs up a
# floor of src/ (or across between the command line and the window). Run from anywhere.
set -euo pipefail
cd "$(dirname "$0")/.."
status=0

# The floors, lowest first: a folder includes only the folders below it, never one beside
# it on its own floor.
declare -A floor=([text]=1 [selection]=2 [page]=3 [output]=4 [cli]=5 [ui]=5)
for file in src/*/*.cpp src/*/*.h; do
    own=${file#src/}
    own=${own%%/*}
    while IFS= read -r included; do
        target=${included%%/*}
        [ -n "${floor[$target]:-}" ] && [ "$target" != "$own" ] || continue
        if [ "${floor[$target]}" -ge "${floor[$own]}" ]; then
            echo "$file: includes $included, which is not below $own/" >&2
            status=1
        fi
    done < <(sed -n 's|^#include "\([a-z]*/[^"]*\)".*|\1|p' "$file")
done

# Every C++ file as the project's .clang-format lays it out.
mapfile -t sources < <(find src app data tests bench tools -name '*.cpp' -o -name '*.h' | sort)
report=$(mktemp)
if ! clang-format --dry-run --Werror "${sources[@]}" 2>"$report"; then
    grep -o '^[^ :]*\.\(cpp\|h\):[0-9]*' "$report" | sort -u |
        sed 's/$/: not as clang-format lays it out/' >&2
    echo "check-source: clang-format -i the files above" >&2
    status=1
fi
rm -f "$report"
exit $status
