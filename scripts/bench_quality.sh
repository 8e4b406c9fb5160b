#!/usr/bin/env bash
# Measures the quality of the worker's keywords against shopper-labelled titles,
# side by side with peers that need no model: builds the worker and
# quirvel-modelgen (Release), writes the demo model when missing, and runs
# bench/quality/quality.py at max_len 24 and 12 on
#   - the worker on the default model, when BUILD_DIR/default_model/ holds model.onnx
#     and tokenizer.json (scripts/build_default_model.sh, when present, builds it),
#   - the worker on the random demo model,
#   - the title's first max_len characters, and jieba's TF-IDF and TextRank
#     (Debian's python3-jieba, installed by scripts/bootstrap.sh),
# judging each by the words it returns. It prints the five figures as a markdown
# table per part of the labelled file (its first 300 titles, the rest, all) and
# writes core@1 and noise per system to BUILD_DIR/quality/quality.svg (and every
# figure to quality.json).
#
#   scripts/bench_quality.sh [BUILD_DIR] [quality.py options...]
#
# BUILD_DIR defaults to $QUIRVEL_BENCH_BUILD, else build-release. Further options
# go to quality.py, so your own model and labelled titles join the run:
#   scripts/bench_quality.sh build-release \
#       --system mine=/models/m/model.onnx,/models/m/tokenizer.json --gold my_titles.jsonl
# (--gold: one JSON object a line, {"title", "core", "useful", "noise"}, as
# ../shared/data/gold/README.md describes). Without ../shared/data/gold and without
# --gold the benchmark says it is skipped and exits 0. Parallel jobs: $QUIRVEL_JOBS
# (default 2). The benchmark runs on Debian's /usr/bin/python3 (standard library only).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
if [[ $# -gt 0 && $1 != -* ]]; then
  QUIRVEL_BENCH_BUILD=$1
  shift
fi
# shellcheck source=scripts/bench_common.sh
source "$repo/scripts/bench_common.sh"
# shellcheck source=scripts/compiler_cache.sh
source "$repo/scripts/compiler_cache.sh"
quirvel_use_compiler_cache "$repo"

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUIRVEL_BUILD_TESTS=OFF -DQUIRVEL_BUILD_BENCH=ON >/dev/null
# Build messages go to standard error, so standard output is the tables alone.
cmake --build "$build" -j"$jobs" --target quirvel-worker quirvel-modelgen >&2

default_model="$build/default_model"
if [[ ! -f $default_model/model.onnx && -f $repo/scripts/build_default_model.sh ]]; then
  bash "$repo/scripts/build_default_model.sh" "$build" >&2
fi
systems=()
if [[ -f $default_model/model.onnx && -f $default_model/tokenizer.json ]]; then
  systems+=(--system "default model=$default_model/model.onnx,$default_model/tokenizer.json")
else
  echo "no default model in $default_model: its row is left out" >&2
fi
# shellcheck disable=SC2119  # no arguments: the demo model, generated into the build folder when missing
choose_model >&2
systems+=(--system "random demo model=$model,$tokenizer")

out="$build/quality"
mkdir -p "$out"
/usr/bin/python3 "$repo/bench/quality/quality.py" --worker "$build/host/quirvel-worker" "${systems[@]}" \
  --svg "$out/quality.svg" --json "$out/quality.json" "$@"
if [[ -f $out/quality.svg ]]; then echo "chart: $out/quality.svg, figures: $out/quality.json" >&2; fi
