#!/usr/bin/env bash
# The sums of --checksum sha256, warm cache, best of several runs: 1 GiB in 1,000 files hashed
# by --write against sha256sum over the same files on every core (xargs -P), each run after a
# touch of every file (so that no sum kept by an earlier run stands); then a run with every
# sum kept against a run without --checksum.
# Usage: bench/sums.sh BUILD_DIR
set -euo pipefail
build=$(cd "${1:?usage: bench/sums.sh BUILD_DIR}" && pwd)
work=${DIRWEAVER_BENCH_DIR:-/tmp/dirweaver-bench}/sums-1000
runs=${DIRWEAVER_BENCH_RUNS:-5}
tool=$build/bench/bench_tool
writer=$build/app/dirweaver
cores=$(nproc)
if [ ! -f "$work.done" ]; then
    rm -rf "$work"
    mkdir -p "$work"
    for i in $(seq 1000); do
        head -c 1048576 /dev/urandom >"$work/file-$i.bin"
    done
    touch "$work.done"
fi
cat "$work"/* >/dev/null # warm
cd "$work"
read -r ours_s _ < <("$tool" time "$runs" sh -c 'touch -- *.bin && exec "$0" --write /tmp/sums.htm --checksum sha256 .' "$writer")
read -r theirs_s _ < <("$tool" time "$runs" sh -c 'touch -- *.bin && printf "%s\n" *.bin | xargs -P "$0" -n 32 sha256sum >/dev/null' "$cores")
read -r touch_s _ < <("$tool" time "$runs" sh -c 'touch -- *.bin')
"$writer" --write /tmp/sums.htm --checksum sha256 .
read -r kept_s _ < <("$tool" time "$runs" "$writer" --write /tmp/sums.htm --checksum sha256 .)
read -r plain_s _ < <("$tool" time "$runs" "$writer" --write /tmp/sums.htm .)
printf '%6s %9s %9s %9s %8s %9s %9s %7s\n' cores ours_s sha256sum touch_s speed_x kept_s plain_s kept_x
awk -v c="$cores" -v o="$ours_s" -v t="$theirs_s" -v u="$touch_s" -v k="$kept_s" -v p="$plain_s" \
    'BEGIN { printf "%6d %9.4f %9.4f %9.4f %8.2f %9.4f %9.4f %7.2f\n", c, o, t, u, (t - u) / (o - u), k, p, k / p }'
