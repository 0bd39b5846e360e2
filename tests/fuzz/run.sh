#!/usr/bin/env bash
# Runs a libFuzzer target for a bounded time.
# Usage: run.sh FUZZER WORK_CORPUS KEPT_CORPUS SECONDS
# New inputs go to WORK_CORPUS; KEPT_CORPUS (in the source tree) is only read. To keep what a
# run found, merge it into the kept corpus:  FUZZER -merge=1 KEPT_CORPUS WORK_CORPUS
set -euo pipefail
fuzzer=$1 work=$2 kept=$3 seconds=$4
mkdir -p "$work"
cd "$work/.."
exec "$fuzzer" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -print_final_stats=1 "$work" "$kept"
