#!/usr/bin/env bash
# Index pages of a bucket on a one-node Ceph gateway (tests/s3/gateway.sh starts it and
# stops it): OBJECTS empty objects in PREFIXES prefixes, uploaded once by rclone, then
# --tree's first run (a page into every prefix) and a second over the unchanged bucket (no
# upload), against rclone lsf -R listing the same bucket; then OBJECTS objects in one prefix
# (listed over OBJECTS / 1,000 answers, one page of them all). Medians of RUNS runs.
# Usage: bench/bucket.sh BUILD_DIR [OBJECTS [PREFIXES]]   (defaults 100000 and 1000)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:?usage: bench/bucket.sh BUILD_DIR [OBJECTS [PREFIXES]]}" && pwd)
objects=${2:-100000}
prefixes=${3:-1000}
runs=${DIRWEAVER_BENCH_RUNS:-3}
if [ -z "${DIRWEAVER_S3_ENDPOINT:-}" ]; then
    exec "$here/../tests/s3/gateway.sh" "$0" "$build" "$objects" "$prefixes"
fi
command -v rclone >/dev/null || { echo "bucket.sh: rclone is not installed" >&2; exit 1; }
work=$(mktemp -d "${TMPDIR:-/tmp}/dirweaver-bucket.XXXXXX")
trap 'rm -rf "$work"' EXIT

make_tree() {
    python3 - "$1" "$objects" "$2" <<'PY'
import os, sys
top, objects, prefixes = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
for i in range(objects):
    folder = os.path.join(top, "prefix-%04d" % (i % prefixes))
    os.makedirs(folder, exist_ok=True)
    open(os.path.join(folder, "object-%06d.bin" % i), "w").close()
PY
}
make_tree "$work/tree" "$prefixes"
make_tree "$work/flat" 1

export RCLONE_CONFIG_GW_TYPE=s3 RCLONE_CONFIG_GW_PROVIDER=Ceph \
    RCLONE_CONFIG_GW_ENDPOINT=$DIRWEAVER_S3_ENDPOINT \
    RCLONE_CONFIG_GW_ACCESS_KEY_ID=$DIRWEAVER_S3_KEY \
    RCLONE_CONFIG_GW_SECRET_ACCESS_KEY=$DIRWEAVER_S3_SECRET RCLONE_CONFIG=/dev/null
for name in $(env | grep -o '^AWS_[A-Z_]*'); do unset "$name"; done
export AWS_ENDPOINT_URL=$DIRWEAVER_S3_ENDPOINT AWS_ACCESS_KEY_ID=$DIRWEAVER_S3_KEY \
    AWS_SECRET_ACCESS_KEY=$DIRWEAVER_S3_SECRET

rclone mkdir gw:bench
started=$(date +%s%N)
rclone copy "$work/tree" gw:bench --transfers 64 --checkers 64 --no-traverse --no-check-dest -q
echo "uploaded $objects objects in $prefixes prefixes with rclone: $(( ($(date +%s%N) - started) / 1000000 )) ms" >&2

# Seconds a command takes, the median of the runs; its standard error in $work/last.err.
median() {
    local times=()
    for _ in $(seq "$runs"); do
        local t0 t1
        t0=$(date +%s%N)
        "$@" >/dev/null 2>"$work/last.err"
        t1=$(date +%s%N)
        times+=("$(( (t1 - t0) / 1000000 ))")
    done
    printf '%s\n' "${times[@]}" | sort -n | sed -n "$(( (runs + 1) / 2 ))p"
}

lsf_ms=$(median rclone lsf -R gw:bench)
t0=$(date +%s%N)
"$build/app/dirweaver" --tree s3://bench 2>"$work/first.err"
first_ms=$(( ($(date +%s%N) - t0) / 1000000 ))
second_ms=$(median "$build/app/dirweaver" --tree s3://bench)
echo "first run:  $(tail -1 "$work/first.err")"
echo "second run: $(tail -1 "$work/last.err")"
printf '%-28s %8s %6s\n' measure ms x_lsf
printf '%-28s %8d %6s\n' "rclone lsf -R" "$lsf_ms" 1.00
printf '%-28s %8d %6.2f\n' "--tree, first (uploads)" "$first_ms" "$(echo "$first_ms / $lsf_ms" | bc -l)"
printf '%-28s %8d %6.2f\n' "--tree, nothing changed" "$second_ms" "$(echo "$second_ms / $lsf_ms" | bc -l)"

rclone mkdir gw:flat
rclone copy "$work/flat" gw:flat --transfers 64 --checkers 64 --no-traverse --no-check-dest -q
flat_lsf_ms=$(median rclone lsf -R gw:flat)
t0=$(date +%s%N)
"$build/app/dirweaver" --tree s3://flat/prefix-0000 2>"$work/flat.err"
flat_ms=$(( ($(date +%s%N) - t0) / 1000000 ))
flat_second_ms=$(median "$build/app/dirweaver" --tree s3://flat/prefix-0000)
echo "one prefix: $(tail -1 "$work/flat.err")"
printf '%-28s %8d %6s\n' "rclone lsf -R, one prefix" "$flat_lsf_ms" 1.00
printf '%-28s %8d %6.2f\n' "--tree, one prefix, first" "$flat_ms" "$(echo "$flat_ms / $flat_lsf_ms" | bc -l)"
printf '%-28s %8d %6.2f\n' "--tree, one prefix, again" "$flat_second_ms" "$(echo "$flat_second_ms / $flat_lsf_ms" | bc -l)"
