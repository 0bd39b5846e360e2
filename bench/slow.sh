#!/usr/bin/env bash
# Speed where each lookup is a round trip: the benchmark folders seen through a mirror
# (bench_slowfs, FUSE) that makes every attribute lookup and directory read wait
# DIRWEAVER_SLOW_DELAY microseconds (default 1000) and answers requests in parallel, as a
# network share does. At 10,000 and 100,000 files: the lean floor (one statx at a time), the
# writer, the window's build, and `tree -H` for reference; then --tree over 1,000 folders
# holding the 100,000 files. With DIRWEAVER_BENCH_OLD set to an older dirweaver, its writer
# is timed too. One run each where a run takes minutes (the floor, tree), else the best of
# three. The mirror is unmounted on every exit.
# Usage: bench/slow.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: bench/slow.sh BUILD_DIR}" && pwd)
work=${DIRWEAVER_BENCH_DIR:-/tmp/dirweaver-bench}
delay=${DIRWEAVER_SLOW_DELAY:-1000}
old=${DIRWEAVER_BENCH_OLD:-}
tool=$build/bench/bench_tool
writer=$build/app/dirweaver
slowfs=$build/bench/bench_slowfs
if [ ! -x "$slowfs" ]; then
    echo "bench_slowfs was not built (libfuse3-dev is missing): no slow figures"
    exit 0
fi
mkdir -p "$work"
for n in 10000 100000; do
    if [ ! -f "$work/files-$n.done" ]; then
        rm -rf "$work/files-$n"
        "$tool" make "$work/files-$n" "$n"
        touch "$work/files-$n.done"
    fi
done
if [ ! -f "$work/tree-100000.done" ]; then
    rm -rf "$work/tree-100000"
    "$tool" tree "$work/tree-100000" 1000 100000
    touch "$work/tree-100000.done"
fi

mount=$(mktemp -d /tmp/dirweaver-slow.XXXXXX)
unmount() {
    fusermount3 -u "$mount" 2>/dev/null || fusermount3 -uz "$mount" 2>/dev/null || true
    rmdir "$mount" 2>/dev/null || true
}
trap unmount EXIT
trap 'exit 130' INT TERM
if ! "$slowfs" "$work" "$mount" "$delay" -o max_threads=64 2>/dev/null; then
    echo "this machine does not allow a FUSE mount: no slow figures"
    exit 0
fi

seconds() { # RUNS CMD...: the best of RUNS runs
    local runs=$1
    shift
    "$tool" time "$runs" "$@" | cut -d' ' -f1
}
printf 'cores %s, %s µs a lookup, requests answered in parallel\n' "$(nproc)" "$delay"
printf '%8s %9s %9s %9s %6s %9s %6s %9s\n' files floor_s old_s writer_s floor_x window_s win_x tree_H_s
for n in 10000 100000; do
    folder=$mount/files-$n
    floor_s=$(seconds 1 "$build/bench/bench_floor" "$folder" "$work/slow-floor.htm")
    old_s=-
    [ -n "$old" ] && old_s=$(seconds 1 "$old" --write "$work/slow-page.htm" "$folder")
    writer_s=$(seconds 3 "$writer" --write "$work/slow-page.htm" "$folder")
    read -r window_s _ < <(QT_QPA_PLATFORM=offscreen "$build/bench/bench_window" build "$folder" 3 \
        2>/dev/null)
    tree_s=-
    if command -v tree >/dev/null; then
        tree_s=$(seconds 1 sh -c 'exec tree -H . -o "$1" "$0" >/dev/null' "$folder" "$work/slow-tree.htm")
    fi
    [ "$n" = 100000 ] && floor_100k=$floor_s && write_100k=$writer_s
    awk -v n="$n" -v f="$floor_s" -v o="$old_s" -v w="$writer_s" -v g="$window_s" -v t="$tree_s" \
        'BEGIN { printf "%8d %9.3f %9s %9.3f %6.1f %9.3f %6.2f %9s\n", n, f, o, w, f / w, g, g / w, t }'
done

# --tree over 1,000 folders: once to write the pages, then timed as a nightly run finds them,
# against the floor and against --write of as many files in one folder.
"$writer" --tree "$mount/tree-100000" 2>/dev/null || true
tree_run_s=$(seconds 3 sh -c 'exec "$0" --tree "$1" 2>/dev/null' "$writer" "$mount/tree-100000")
printf '\n%8s %9s %18s %6s %9s\n' folders tree_s floor_100k_files_s gain_x write_x
awk -v t="$tree_run_s" -v f="$floor_100k" -v w="$write_100k" \
    'BEGIN { printf "%8d %9.3f %18.1f %6.1f %9.2f\n", 1000, t, f, f / t, t / w }'
