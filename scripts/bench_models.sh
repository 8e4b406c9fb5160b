#!/usr/bin/env bash
# Transformer-shaped models for realistic cost: generates BERT-style encoders
# with random weights into build-bench-models/ (kept between runs) and measures
# the worker's in-process extraction on them against a bare ONNX Runtime
# session over the same batches (title, candidates, prompts).
#
#   scripts/bench_models.sh [small|large|all]     default: all
#
#   small  hidden 512, 4 layers; 100 titles; worker / bare ratio (profile auto:
#          first-token rows, as bge-large-zh-v1.5, whose profile wants 1024 wide rows)
#   large  the bge-large-zh-v1.5 shape (1.3 GB of weights); 20 titles, worker only
#          (QUIRVEL_XFMR_LARGE_BASELINE=1 adds the bare session)
#
# Titles: ../shared/data/titles/tw.txt when present, else a built-in list.
# Vocabulary: ../shared/data/tokenizers/bert-base-chinese/vocab.txt when present
# (21128 entries, as the models), else a generated one of the same size.
# Counts: $QUIRVEL_XFMR_SMALL_COUNT, $QUIRVEL_XFMR_LARGE_COUNT. Build folder:
# $QUIRVEL_BENCH_BUILD (default build-release); jobs: $QUIRVEL_JOBS (default 2).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUIRVEL_BENCH_BUILD:-$repo/build-release}
jobs=${QUIRVEL_JOBS:-2}
models=$repo/build-bench-models
which=${1:-all}
case $which in small | large | all) ;; *) echo "usage: $0 [small|large|all]" >&2; exit 2 ;; esac

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUIRVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target quirvel-modelgen quirvel-bench-xfmr
modelgen=$build/tools/modelgen/quirvel-modelgen
bench=$build/bench/xfmr/quirvel-bench-xfmr

vocab=$repo/../shared/data/tokenizers/bert-base-chinese/vocab.txt
[[ -f $vocab ]] || vocab=$models/vocab.txt

# Generates a preset once (delete its folder to generate it again), and the
# vocabulary with it when there is no real one.
ensure_model() {
  local preset=$1 vocab_args=()
  [[ -f $vocab ]] || vocab_args=(--vocab-file "$vocab")
  if [[ ! -f $models/$preset/model.onnx || ${#vocab_args[@]} -gt 0 ]]; then
    mkdir -p "$models/$preset"
    echo "generating the $preset model into $models/$preset"
    "$modelgen" bert "$models/$preset/model.onnx.part" --preset "$preset" --random-state 1 "${vocab_args[@]}"
    mv "$models/$preset/model.onnx.part" "$models/$preset/model.onnx"
  fi
}

if [[ $which != large ]]; then
  ensure_model small
  echo "== small (hidden 512, 4 layers) =="
  "$bench" --model "$models/small/model.onnx" --vocab "$vocab" --profile 0 \
    --count "${QUIRVEL_XFMR_SMALL_COUNT:-100}"
fi
if [[ $which != small ]]; then
  ensure_model large
  baseline=(--no-baseline)
  [[ ${QUIRVEL_XFMR_LARGE_BASELINE:-0} == 1 ]] && baseline=()
  echo "== large (bge-large-zh-v1.5 shape: hidden 1024, 24 layers) =="
  "$bench" --model "$models/large/model.onnx" --vocab "$vocab" --profile 1 \
    --count "${QUIRVEL_XFMR_LARGE_COUNT:-20}" "${baseline[@]}"
fi
