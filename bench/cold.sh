#!/usr/bin/env bash
# The writer against the lean floor on a cold disk: the page cache (and the dentries and
# inodes) dropped before each run, at 100,000 files, median of three runs each. Root only.
# Usage: bench/cold.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: bench/cold.sh BUILD_DIR}" && pwd)
work=${DIRWEAVER_BENCH_DIR:-/tmp/dirweaver-bench}
tool=$build/bench/bench_tool
folder=$work/files-100000
if [ "$(id -u)" -ne 0 ] || ! { sync && echo 3 >/proc/sys/vm/drop_caches; } 2>/dev/null; then
    echo "dropping the page cache needs root and a writable /proc/sys/vm: no cold figures"
    exit 0
fi
if [ ! -f "$folder.done" ]; then
    rm -rf "$folder"
    "$tool" make "$folder" 100000
    touch "$folder.done"
fi
cold() { # CMD...: seconds of one run from a cold cache
    sync
    echo 3 >/proc/sys/vm/drop_caches
    "$tool" time 1 "$@" | cut -d' ' -f1
}
median() { sort -n | sed -n 2p; }
floor_s=$(for _ in 1 2 3; do cold "$build/bench/bench_floor" "$folder" "$work/cold-floor.htm"; done | median)
writer_s=$(for _ in 1 2 3; do cold "$build/app/dirweaver" --write "$work/cold-page.htm" "$folder"; done | median)
printf 'cores %s, cold cache\n%8s %9s %9s %6s\n' "$(nproc)" files floor_s writer_s ratio
awk -v f="$floor_s" -v w="$writer_s" 'BEGIN { printf "%8d %9.3f %9.3f %6.2f\n", 100000, f, w, w / f }'
