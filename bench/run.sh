#!/usr/bin/env bash
# Speed and memory of the page writer and the window, warm cache, best of several runs:
# - the writer against two floors, plain C++ programs doing what any writer must: the first
#   floor (a full path per statx, strings per line) and the honest one (statx relative to
#   the folder, one reserved buffer, the page's own line shapes);
# - the writer's peak memory over the size of the page it writes;
# - the window (offscreen) from opening a folder to the end of its build, against the
#   writer, its peak memory above an empty window's over the page, and how long "结束程序"
#   takes to end it when
#   clicked while the files are read and the page built;
# - the folder list opening a folder of 100,000 sub-folders;
# - --tree over 1,000 folders (its pages already there and unchanged, as a nightly run finds
#   them) against one folder of as many files, UTF-8 against GBK, and --sort modified
#   against the name order;
# - the pages in Chromium (bench/browser.py): the table page against the classic one and
#   tree -H pages of the same folder: bytes, time to first rows and until the page answers,
#   the table's sort, filter keystrokes and clearing the filter;
# - the catalogue (bench/catalog.py) of the 1,000-folder tree (with --big, of a tree of a
#   million files in 100,000 folders) against --tree and tree -H.
# Usage: bench/run.sh BUILD_DIR [--big|--slow|--cold|--bucket]
# (--slow, --cold and --bucket run the scripts of slow storage, a cold disk and an object
# store; --big adds 1,000,000 files: about 1 GiB of inodes and a 300 MiB page, on disk or a
# tmpfs given as DIRWEAVER_BENCH_DIR)
set -euo pipefail
build=$(cd "${1:?usage: bench/run.sh BUILD_DIR [--big|--slow|--cold|--bucket]}" && pwd)
# The slow-storage and cold-disk figures have scripts of their own.
case "${2:-}" in
--slow) exec "$(dirname "$0")/slow.sh" "$build" ;;
--bucket) exec "$(dirname "$0")/bucket.sh" "$build" ;;
--cold) exec "$(dirname "$0")/cold.sh" "$build" ;;
esac
sizes="32767 100000"
[ "${2:-}" = --big ] && sizes="$sizes 1000000"
work=${DIRWEAVER_BENCH_DIR:-/tmp/dirweaver-bench}
runs=${DIRWEAVER_BENCH_RUNS:-5}
mkdir -p "$work"
tool=$build/bench/bench_tool
writer=$build/app/dirweaver

# What a window holds before any file: the window's memory is counted above it.
mkdir -p "$work/empty"
read -r _ window_base_kib < <(QT_QPA_PLATFORM=offscreen "$build/bench/bench_window" build "$work/empty" 1 2>/dev/null)

printf '%8s %9s %9s %9s %6s %9s %6s %9s %6s %6s %7s\n' files old_floor floor writer ratio \
    page_MiB mem_x window_s win_x win_mem quit_s
for n in $sizes; do
    folder=$work/files-$n
    if [ ! -f "$folder.done" ]; then
        rm -rf "$folder"
        "$tool" make "$folder" "$n"
        touch "$folder.done"
    fi
    # Warm the cache once, then take the best of several runs of each.
    "$build/bench/bench_floor" "$folder" "$work/floor.htm"
    "$writer" --write "$work/page.htm" "$folder"
    read -r old_s _ < <("$tool" time "$runs" "$build/bench/bench_floor_old" "$folder" "$work/floor.htm")
    read -r floor_s _ < <("$tool" time "$runs" "$build/bench/bench_floor" "$folder" "$work/floor.htm")
    read -r writer_s peak_kib < <("$tool" time "$runs" "$writer" --write "$work/page.htm" "$folder")
    page_bytes=$(stat -c %s "$work/page.htm")
    # A million files take seconds a run: three runs, so that one slow run does not stand
    # against the writer's best.
    window_runs=$runs
    [ "$n" -ge 1000000 ] && [ "$runs" -gt 3 ] && window_runs=3
    read -r window_s window_kib < <(QT_QPA_PLATFORM=offscreen \
        "$build/bench/bench_window" build "$folder" "$window_runs" 2>/dev/null)
    read -r quit_s < <(QT_QPA_PLATFORM=offscreen "$build/bench/bench_window" quit "$folder" 2>/dev/null)
    awk -v n="$n" -v o="$old_s" -v f="$floor_s" -v w="$writer_s" -v p="$page_bytes" \
        -v m="$peak_kib" -v g="$window_s" -v wm="$((window_kib - window_base_kib))" -v q="$quit_s" \
        'BEGIN { mib = p / 1048576; printf "%8d %9.4f %9.4f %9.4f %6.2f %9.1f %6.2f %9.4f %6.2f %6.2f %7.4f\n",
                 n, o, f, w, w / f, mib, m / 1024 / mib, g, g / w, wm / 1024 / mib, q }'
done

# The folder list: a folder of 100,000 sub-folders and no files, opened in the window.
folders=$work/folders-100000
if [ ! -f "$folders.done" ]; then
    rm -rf "$folders"
    "$tool" folders "$folders" 100000
    touch "$folders.done"
fi
read -r list_s _ < <(QT_QPA_PLATFORM=offscreen "$build/bench/bench_window" build "$folders" "$runs" 2>/dev/null)
printf '\n%8s %9s\n' folders list_s
printf '%8d %9.4f\n' 100000 "$list_s"

# The same 100,000 files spread over 1,000 folders, one page each (--tree), against one page
# of them all; and one page in UTF-8 against GBK.
folder=$work/files-100000
tree=$work/tree-100000
if [ ! -f "$tree.done" ]; then
    rm -rf "$tree"
    "$tool" tree "$tree" 1000 100000
    touch "$tree.done"
fi
"$writer" --tree "$tree" 2>/dev/null
read -r write_s _ < <("$tool" time "$runs" "$writer" --write "$work/page.htm" "$folder")
read -r tree_s _ < <("$tool" time "$runs" sh -c 'exec "$0" --tree "$1" 2>/dev/null' "$writer" "$tree")
read -r utf8_s _ < <("$tool" time "$runs" "$writer" --write "$work/page.htm" --encoding utf-8 "$folder")
read -r sorted_s _ < <("$tool" time "$runs" "$writer" --write "$work/page.htm" --sort modified "$folder")
read -r ndjson_s ndjson_kib < <("$tool" time "$runs" "$writer" --write "$work/page.ndjson" --style ndjson "$folder")
printf '\n%8s %9s %9s %6s %9s %6s %9s %6s %9s %6s\n' files write_s tree_s tree_x utf8_s utf8_x \
    sorted_s sort_x ndjson_s ndjson_x
awk -v w="$write_s" -v t="$tree_s" -v u="$utf8_s" -v m="$sorted_s" -v j="$ndjson_s" \
    'BEGIN { printf "%8d %9.4f %9.4f %6.2f %9.4f %6.2f %9.4f %6.2f %9.4f %6.2f\n", 100000, w, t, t / w, u, u / w, m, m / w, j, j / w }'
# --tree --style ndjson: its peak memory, flat in the number of files (one folder's entries
# at a time), against the same tree's HTML pages.
read -r _ tree_kib < <("$tool" time 1 sh -c 'exec "$0" --tree "$1" 2>/dev/null' "$writer" "$tree")
read -r _ tree_ndjson_kib < <("$tool" time 1 sh -c 'exec "$0" --tree --style ndjson "$1" 2>/dev/null' "$writer" "$tree")
printf '%8s %12s %12s %12s\n' files ndjson_kib tree_kib tree_nd_kib
printf '%8d %12d %12d %12d\n' 100000 "$ndjson_kib" "$tree_kib" "$tree_ndjson_kib"

# --tree against tree -H -R -L 1 (one page in every folder, names only) over the same tree,
# in CPU seconds: with its pages unchanged (a nightly run) and with every page new (a new
# footer each run); tree writes 00Tree.html files, which are taken away again.
if command -v tree >/dev/null; then
    read -r _ _ same_cpu < <("$tool" time "$runs" sh -c 'exec "$0" --tree "$1" 2>/dev/null' "$writer" "$tree")
    read -r _ _ new_cpu < <("$tool" time "$runs" sh -c \
        'exec "$0" --tree --footer-title "$(date +%s%N)" "$1" 2>/dev/null' "$writer" "$tree")
    read -r _ _ tree_cpu < <(cd "$tree" && "$tool" time "$runs" tree -H . -R -L 1 -o /dev/null .)
    find "$tree" -name 00Tree.html -delete
    "$writer" --tree "$tree" 2>/dev/null
    printf '\n%8s %9s %9s %9s %7s %7s\n' files tree_cpu same_cpu new_cpu same_x new_x
    awk -v t="$tree_cpu" -v s="$same_cpu" -v n="$new_cpu" \
        'BEGIN { printf "%8d %9.4f %9.4f %9.4f %7.2f %7.2f\n", 100000, t, s, n, s / t, n / t }'
fi

# The pages in a browser: the table page against the classic one and tree -H pages of the
# same folder, at 100,000 files (and 1,000,000 with --big); bench/browser.py says what it
# times and skips itself without chromium.
browser_folders=$work/files-100000
[ "${2:-}" = --big ] && browser_folders="$browser_folders $work/files-1000000"
# shellcheck disable=SC2086 # one word per folder
"$(dirname "$0")/browser.py" "$writer" "$work" $browser_folders

# One page for a whole tree: bench/catalog.py says what it times.
"$(dirname "$0")/catalog.py" "$writer" "$work" "$tree"
if [ "${2:-}" = --big ]; then
    "$(dirname "$0")/catalog.py" "$writer" "$work" "$work/catalog-1000000" --make 100000
fi
