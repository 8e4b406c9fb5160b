#!/usr/bin/env bash
# Builds the worker and the benchmark driver (Release) and measures the worker as
# its parent application runs it: start-up, first extract, latency percentiles,
# throughput and peak memory, with the candidate cache off and on.
#
#   scripts/bench.sh                          the demo model (generated into the build folder)
#   scripts/bench.sh default [...]            the default model (scripts/build_default_model.sh);
#                                             without further arguments: titles per second on one
#                                             core (--cache off --worker-arg=--threads=1
#                                             --worker-arg=--reuse-converters), next to jieba
#                                             TF-IDF's on the same titles (python3-jieba, one
#                                             Python thread); further arguments replace that set,
#                                             e.g. --compare-worker-arg=--reuse-converters
#   scripts/bench.sh MODEL TOKENIZER [...]    any model; further arguments go to the driver,
#                                             e.g. --requests 5000 --worker-arg=--profile=bge
#
# Titles: ../shared/data/titles/*.txt when present, else the driver's built-in list.
# Results: a table on the terminal, and bench.json plus latency.svg in $QUIRVEL_BENCH_OUT
# (default build-release/bench-results). Build folder: $QUIRVEL_BENCH_BUILD (default
# build-release); parallel jobs: $QUIRVEL_JOBS (default 2).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$repo/scripts/bench_common.sh"

out=${QUIRVEL_BENCH_OUT:-$build/bench-results}
mkdir -p "$out"
build_benchmark_tools
choose_model "$@"
shift $model_args_used

if [[ $model_args_used == 1 && $# == 0 ]]; then
  set -- --cache off --worker-arg=--threads=1 --worker-arg=--reuse-converters
fi
run_driver --json "$out/bench.json" --svg "$out/latency.svg" "$@"
echo "results: $out/bench.json, $out/latency.svg"
if [[ $model_args_used == 1 ]]; then
  run_jieba_peer "$out" "$@"
fi
