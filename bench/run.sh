#!/usr/bin/env bash
# Times the headless page writer against the floor program on folders of 1,000 to 100,000
# files (size and date on, warm cache, best of several runs) and compares its peak memory
# with the size of the page it writes; then times the window (offscreen) from opening the
# same folders to the end of its build, against the writer, and how long "退出" clicked during
# that build takes to end the program. Usage: bench/run.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: bench/run.sh BUILD_DIR}" && pwd)
work=${DIRWEAVER_BENCH_DIR:-/tmp/dirweaver-bench}
runs=${DIRWEAVER_BENCH_RUNS:-5}
mkdir -p "$work"
tool=$build/bench/bench_tool
printf '%8s %10s %10s %7s %10s %10s %7s %10s %8s %7s\n' files floor_s writer_s ratio page_KiB peak_KiB \
    mem_x window_s win_x quit_s
for n in 1000 10000 32767 100000; do
    folder=$work/files-$n
    if [ ! -f "$folder.done" ]; then
        rm -rf "$folder"
        "$tool" make "$folder" "$n"
        touch "$folder.done"
    fi
    # Warm the cache once, then take the best of several runs of each.
    "$build/bench/bench_floor" "$folder" "$work/floor.htm"
    "$build/app/dirweaver" --write "$work/page.htm" "$folder"
    read -r floor_s _ < <("$tool" time "$runs" "$build/bench/bench_floor" "$folder" "$work/floor.htm")
    read -r writer_s peak_kib < <("$tool" time "$runs" "$build/app/dirweaver" --write "$work/page.htm" "$folder")
    page_kib=$(( $(stat -c %s "$work/page.htm") / 1024 ))
    read -r window_s quit_s < <(QT_QPA_PLATFORM=offscreen "$build/bench/bench_window" "$folder" "$runs" 2>/dev/null)
    awk -v n="$n" -v f="$floor_s" -v w="$writer_s" -v p="$page_kib" -v m="$peak_kib" -v g="$window_s" \
        -v q="$quit_s" 'BEGIN { printf "%8d %10.4f %10.4f %7.2f %10d %10d %7.2f %10.4f %8.2f %7.4f\n",
                 n, f, w, w / f, p, m, m / p, g, g / w, q }'
done

# The same 100,000 files spread over 1,000 folders, one page each (--tree), against one page
# of them all; and one page in UTF-8 against GBK.
folder=$work/files-100000
tree=$work/tree-100000
if [ ! -f "$tree.done" ]; then
    rm -rf "$tree"
    "$tool" tree "$tree" 1000 100000
    touch "$tree.done"
fi
"$build/app/dirweaver" --tree "$tree" 2>/dev/null
read -r write_s _ < <("$tool" time "$runs" "$build/app/dirweaver" --write "$work/page.htm" "$folder")
read -r tree_s _ < <("$tool" time "$runs" sh -c 'exec "$0" --tree "$1" 2>/dev/null' "$build/app/dirweaver" "$tree")
read -r utf8_s _ < <("$tool" time "$runs" "$build/app/dirweaver" --write "$work/page.htm" --encoding utf-8 "$folder")
printf '\n%8s %10s %10s %7s %10s %7s\n' files write_s tree_s tree_x utf8_s utf8_x
awk -v w="$write_s" -v t="$tree_s" -v u="$utf8_s" \
    'BEGIN { printf "%8d %10.4f %10.4f %7.2f %10.4f %7.2f\n", 100000, w, t, t / w, u, u / w }'
