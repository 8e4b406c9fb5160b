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
# Then, when ../shared/data/titles is there, every distinct title of its files once on a
# wide generated model ($QUIRVEL_SOAK_WIDTH, default 4096), with the candidate cache off
# and then on with --candidate-cache-capacity 10000: resident memory must stay flat, at
# most $QUIRVEL_SOAK_MAX_MIB_PER_1000 (default 2) MiB per 1,000 distinct titles past the
# first 500 (a worker fed a catalogue meets each title once).
#
# Results in $QUIRVEL_BENCH_OUT (default build-release/soak-results): rss.csv, rss.svg,
# soak.json, latency.svg; distinct-off.csv and distinct-capped.csv.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$repo/scripts/bench_common.sh"

out=${QUIRVEL_BENCH_OUT:-$build/soak-results}
requests=${QUIRVEL_SOAK_REQUESTS:-100000}
mkdir -p "$out"
build_benchmark_tools
choose_model "$@"
shift $model_args_used

run_driver --requests "$requests" --cache both --metrics-every $((requests / 100 > 0 ? requests / 100 : 1)) \
  --warm-up $((requests / 10)) --max-rss-growth "${QUIRVEL_SOAK_MAX_GROWTH:-3}" \
  --json "$out/soak.json" --svg "$out/latency.svg" --rss-csv "$out/rss.csv" --rss-svg "$out/rss.svg" "$@"
echo "memory curve: $out/rss.csv, $out/rss.svg"

titles=${QUIRVEL_SOAK_TITLES:-$repo/../shared/data/titles}
if [[ ! -d $titles ]]; then
  echo "no titles folder at $titles: the distinct-title soak is skipped"
  exit 0
fi
width=${QUIRVEL_SOAK_WIDTH:-4096}
wide="$build/wide-model-$width"
if [[ ! -f $wide/model.onnx || ! -f $wide/vocab.txt ]]; then
  mkdir -p "$wide"
  "$build/tools/modelgen/quirvel-modelgen" demo "$wide" --jieba-dict "$repo/third_party/cppjieba/dict" \
    --width "$width"
fi
model=$wide/model.onnx
tokenizer=$wide/vocab.txt
distinct_soak() {
  local name=$1
  shift
  run_driver --titles "$titles" --distinct --metrics-every 100 --warm-up 500 \
    --max-rss-per-1000 "${QUIRVEL_SOAK_MAX_MIB_PER_1000:-2}" --rss-csv "$out/distinct-$name.csv" "$@"
}
distinct_soak off --cache off
distinct_soak capped --cache on --worker-arg=--candidate-cache-capacity=10000
echo "memory over distinct titles: $out/distinct-off.csv, $out/distinct-capped.csv"
