#!/usr/bin/env bash
# Soak run: 100,000 extract requests over the titles, with the candidate cache off
# and then on, sampling the worker's resident memory every 1,000 requests.
# Fails when memory with the cache off keeps growing after warm-up: more than
# $QUIRVEL_SOAK_MAX_GROWTH percent (default 3) between the half-way point of the
# settled part of the run (after 10,000 requests) and its end. With the cache on,
# memory may grow with the number of distinct candidates and is only reported.
#
#   scripts/soak.sh                          the demo model
#   scripts/soak.sh MODEL TOKENIZER [...]    any model; further arguments go to the driver
#
# Results in $QUIRVEL_BENCH_OUT (default build-release/soak-results): rss.csv, rss.svg,
# soak.json, latency.svg.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$repo/scripts/bench_common.sh"

out=${QUIRVEL_BENCH_OUT:-$build/soak-results}
requests=${QUIRVEL_SOAK_REQUESTS:-100000}
mkdir -p "$out"
build_benchmark_tools
choose_model "$@"
shift $model_args_used

"$build/bench/driver/quirvel-bench-driver" \
  --worker "$build/host/quirvel-worker" --model "$model" --tokenizer "$tokenizer" \
  --requests "$requests" --cache both --metrics-every $((requests / 100 > 0 ? requests / 100 : 1)) \
  --warm-up $((requests / 10)) --max-rss-growth "${QUIRVEL_SOAK_MAX_GROWTH:-3}" \
  --json "$out/soak.json" --svg "$out/latency.svg" --rss-csv "$out/rss.csv" --rss-svg "$out/rss.svg" "$@"
echo "memory curve: $out/rss.csv, $out/rss.svg"
