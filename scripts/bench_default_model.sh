#!/usr/bin/env bash
# Titles per second of the worker on the default model, on one core
# (--threads 1), as its parent runs it: one extract request at a time over the
# real titles (../shared/data/titles when present), candidate cache off; once
# as the worker starts by default, once with --reuse-converters (one OpenCC
# converter per configuration for the whole run).
#
#   scripts/bench_default_model.sh [--requests N]     (default 1000)
#
# Build folder: $QUIRVEL_BENCH_BUILD (default build-release). Results: the
# driver's tables on the terminal, and default-<setting>.json in
# $QUIRVEL_BENCH_OUT (default build-release/bench-results).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$repo/scripts/bench_common.sh"

out=${QUIRVEL_BENCH_OUT:-$build/bench-results}
mkdir -p "$out"
build_benchmark_tools
model_dir=$(bash "$repo/scripts/build_default_model.sh" "$build" | tail -1)
model=$model_dir/model.onnx
tokenizer=$model_dir/tokenizer.json

requests=(--requests 1000)
[[ ${1:-} == --requests ]] && requests=(--requests "$2")
for setting in per-call reuse; do
  extra=()
  [[ $setting == reuse ]] && extra=(--worker-arg=--reuse-converters)
  echo "== default model, --threads 1, converters: $setting"
  run_driver --cache off "${requests[@]}" --worker-arg=--threads=1 "${extra[@]}" --json "$out/default-$setting.json"
done
