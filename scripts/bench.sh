#!/usr/bin/env bash
# Builds the worker and the benchmark driver (Release) and measures the worker as
# its parent application runs it: start-up, first extract, latency percentiles,
# throughput and peak memory, with the candidate cache off and on.
#
#   scripts/bench.sh                          the demo model (generated into the build folder)
#   scripts/bench.sh default [...]            the default model (scripts/build_default_model.sh); e.g.
#                                             --cache off --worker-arg=--threads=1
#                                             --compare-worker-arg=--reuse-converters: titles per
#                                             second on one core, with and without the switch
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

run_driver --json "$out/bench.json" --svg "$out/latency.svg" "$@"
echo "results: $out/bench.json, $out/latency.svg"
