#!/usr/bin/env bash
# Transformer-shaped models for realistic cost: generates BERT-style encoders
# with random weights into build-bench-models/ (kept between runs) and measures
# the worker's in-process extraction on them against a bare ONNX Runtime
# session over the same batches (title, candidates, prompts).
#
#   scripts/bench_models.sh [small|large|qwen3|all|memory|pool]     default: all (small and large)
#
# small, large and qwen3 also show, side by side, each engine call as one run
# padded to its longest text and as the engine runs it (texts ordered by length,
# cut into runs that pad little): padded / real tokens and the bare session's
# time per request for both.
#
#   small  hidden 512, 4 layers; 100 titles; worker / bare ratio, and the keyword texts
#          against a worker whose calls run as one padded run each (profile auto:
#          first-token rows, as bge-large-zh-v1.5, whose profile wants 1024 wide rows)
#   large  the bge-large-zh-v1.5 shape (1.3 GB of weights); 20 titles; worker / bare
#          ratio, and the worker on the same encoder dynamically quantised to int8
#          (as the transformers.js model_quantized.onnx files) against float32
#          (QUIRVEL_XFMR_LARGE_BASELINE=0 leaves out the bare session,
#          QUIRVEL_XFMR_LARGE_INT8=0 the int8 model)
#   qwen3  Qwen3-Embedding-0.6B's sizes (hidden 1024, 28 layers, 151669 tokens)
#          with its tokenizer (needs ../shared/data/tokenizers/qwen3); 10 titles
#   pool   throughput on this machine, small model, the first 500 titles
#          ($QUIRVEL_POOL_COUNT) in 5 rounds of 100: in each round one worker
#          with ONNX Runtime's own thread count, two workers with --threads 1 fed
#          by GNU parallel (the README's recipe), two workers with the default
#          threads and one worker with --threads 1 take turns on the same titles,
#          so a change in the machine's load falls on all alike; then the peak
#          memory of one worker on the large model over 20 titles
#   converters
#          the worker's own cost per request, with and without --reuse-converters,
#          through the benchmark driver (one request at a time, candidate cache
#          off, each way in its own worker): mean ms per extract on the demo model
#          ($QUIRVEL_CONVERTERS_DEMO_COUNT titles, default 300), whose run costs
#          microseconds, and the whole request on the small model
#          ($QUIRVEL_CONVERTERS_SMALL_COUNT, default 100)
#   memory the built worker's peak resident memory on the small model: the
#          first 100 titles one by one, against one title made of the first
#          600 titles joined by blanks (about 26,700 characters, a product
#          description sent as a title), each in its own worker process
#
# Titles: ../shared/data/titles/tw.txt when present, else a built-in list.
# Vocabulary: ../shared/data/tokenizers/bert-base-chinese/vocab.txt when present
# (21128 entries, as the models), else a generated one of the same size.
# Counts: $QUIRVEL_XFMR_SMALL_COUNT, $QUIRVEL_XFMR_LARGE_COUNT, $QUIRVEL_XFMR_QWEN3_COUNT. Build folder:
# $QUIRVEL_BENCH_BUILD (default build-release); jobs: $QUIRVEL_JOBS (default 2).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
build=${QUIRVEL_BENCH_BUILD:-$repo/build-release}
jobs=${QUIRVEL_JOBS:-2}
models=$repo/build-bench-models
which=${1:-all}
case $which in
  small | large | qwen3 | all | memory | pool | converters) ;;
  *) echo "usage: $0 [small|large|qwen3|all|memory|pool|converters]" >&2; exit 2 ;;
esac

cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUIRVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$jobs" --target quirvel-modelgen quirvel-bench-xfmr quirvel-worker
# shellcheck source=scripts/bench_common.sh
source "$repo/scripts/bench_common.sh"  # the driver, and the demo model (same build folder)
modelgen=$build/tools/modelgen/quirvel-modelgen
bench=$build/bench/xfmr/quirvel-bench-xfmr

vocab=$repo/../shared/data/tokenizers/bert-base-chinese/vocab.txt
[[ -f $vocab ]] || vocab=$models/vocab.txt

# Generates a preset once (delete its folder to generate it again), and the
# vocabulary with it when there is no real one. A second argument names the
# file and passes generator options: ensure_model large model_quantized.onnx --int8.
ensure_model() {
  local preset=$1 file=${2:-model.onnx} vocab_args=()
  shift $(($# < 2 ? $# : 2))
  [[ -f $vocab ]] || vocab_args=(--vocab-file "$vocab")
  if [[ ! -f $models/$preset/$file || ${#vocab_args[@]} -gt 0 ]]; then
    mkdir -p "$models/$preset"
    echo "generating the $preset model into $models/$preset/$file"
    "$modelgen" bert "$models/$preset/$file.part" --preset "$preset" --random-state 1 "${vocab_args[@]}" "$@"
    mv "$models/$preset/$file.part" "$models/$preset/$file"
  fi
}

titles_file=$repo/../shared/data/titles/tw.txt

# One extract request per input line, JSON-escaped.
extract_requests() {
  sed 's/\\/\\\\/g; s/"/\\"/g; s/\t/\\t/g; s/\r$//' |
    awk '{ printf "{\"id\":\"%d\",\"type\":\"extract\",\"title\":\"%s\",\"max_len\":24}\n", NR, $0 }'
}

# Peak resident set of one worker process answering the requests on standard
# input, on the small model or the preset named.
peak_kib() {
  local out=$models/memory-run.txt
  /usr/bin/time -f '%M %e' -o "$out.time" "$build/host/quirvel-worker" --model "$models/${1:-small}/model.onnx" \
    --tokenizer "$vocab" >"$out" 2>"$out.err"
  if grep -q '"ok":false' "$out"; then echo "a request failed: $(grep -m1 '"ok":false' "$out")" >&2; fi
  echo "$(cat "$out.time") $(wc -l <"$out")"
}

if [[ $which == memory ]]; then
  [[ -f $titles_file ]] || { echo "memory needs $titles_file" >&2; exit 2; }
  ensure_model small
  echo "== memory (small: hidden 512, 4 layers) =="
  read -r ordinary ordinary_s ordinary_n < <(head -100 "$titles_file" | extract_requests | peak_kib)
  long_title=$(head -600 "$titles_file" | tr '\n' ' ' | sed 's/ $//')
  read -r long long_s long_n < <(printf '%s\n' "$long_title" | extract_requests | peak_kib)
  echo "ordinary titles: $ordinary_n replies, peak $((ordinary / 1024)) MiB, ${ordinary_s} s"
  echo "one title of ${#long_title} characters: $long_n reply, peak $((long / 1024)) MiB, ${long_s} s"
  echo "long-title peak above the ordinary peak: $(((long - ordinary) / 1024)) MiB"
  exit 0
fi

# Wall seconds for the requests of the file given through the command after it.
seconds_for() {
  local requests=$1 start end
  shift
  start=$(date +%s.%N)
  "$@" <"$requests" >"$models/pool-run.txt" 2>"$models/pool-run.err"
  end=$(date +%s.%N)
  if [[ $(grep -c '"ok":true' "$models/pool-run.txt") -ne $(wc -l <"$requests") ]]; then
    echo "not every request was answered: $(wc -l <"$models/pool-run.txt") replies" >&2
  fi
  awk -v start="$start" -v end="$end" 'BEGIN { printf "%.1f\n", end - start }'
}

worker_on() {
  "$build/host/quirvel-worker" --model "$models/$1/model.onnx" --tokenizer "$vocab" "${@:2}"
}
pooled() {
  parallel --will-cite --pipe --round-robin -j "$1" --block 4k \
    "$build/host/quirvel-worker" --model "$models/small/model.onnx" --tokenizer "$vocab" "${@:2}"
}

if [[ $which == pool ]]; then
  [[ -f $titles_file ]] || { echo "pool needs $titles_file" >&2; exit 2; }
  command -v parallel >/dev/null || { echo "pool needs GNU parallel (scripts/bootstrap.sh)" >&2; exit 2; }
  ensure_model small
  ensure_model large
  pool_count=${QUIRVEL_POOL_COUNT:-500}
  rounds=5
  requests=$models/pool-requests.jsonl
  configs=("one worker, default threads" "two workers, --threads 1" "two workers, default threads"
    "one worker, --threads 1")
  commands=("worker_on small" "pooled 2 --threads 1" "pooled 2" "worker_on small --threads 1")
  totals=(0 0 0 0)
  echo "== pool on $(nproc) cores: small model, $pool_count titles in $rounds rounds, seconds =="
  for ((round = 0; round < rounds; round++)); do
    head -"$pool_count" "$titles_file" | awk -v r=$round -v n=$rounds 'NR % n == r' | extract_requests >"$requests"
    for i in "${!commands[@]}"; do
      # shellcheck disable=SC2086 # each command is a function and its arguments
      seconds=$(seconds_for "$requests" ${commands[$i]})
      totals[i]=$(awk -v a="${totals[i]}" -v b="$seconds" 'BEGIN { print a + b }')
    done
  done
  for i in "${!configs[@]}"; do printf '%-32s %8.1f\n' "${configs[$i]}:" "${totals[$i]}"; done
  read -r large_kib large_s large_n < <(head -20 "$titles_file" | extract_requests | peak_kib large)
  echo "one worker on the large model, $large_n titles: peak $((large_kib / 1024)) MiB (${large_s} s)"
  exit 0
fi

if [[ $which == converters ]]; then
  [[ -f $titles_file ]] || { echo "converters needs $titles_file" >&2; exit 2; }
  cmake --build "$build" -j"$jobs" --target quirvel-bench-driver
  ensure_model small
  compare=(--titles "$titles_file" --cache off --compare-worker-arg=--reuse-converters)
  # shellcheck disable=SC2119 # no model given: the demo model
  choose_model
  echo "== converters: demo model, ms per extract =="
  run_driver "${compare[@]}" --requests "${QUIRVEL_CONVERTERS_DEMO_COUNT:-300}"
  echo "== converters: small (hidden 512, 4 layers), the whole request =="
  model=$models/small/model.onnx
  tokenizer=$vocab
  run_driver "${compare[@]}" --requests "${QUIRVEL_CONVERTERS_SMALL_COUNT:-100}"
  exit 0
fi

if [[ $which == qwen3 ]]; then
  qwen3_tokenizer=$repo/../shared/data/tokenizers/qwen3/tokenizer.json
  [[ -f $qwen3_tokenizer ]] || { echo "qwen3 needs $qwen3_tokenizer" >&2; exit 2; }
  vocab=$qwen3_tokenizer ensure_model qwen3
  echo "== qwen3 (Qwen3-Embedding-0.6B sizes: hidden 1024, 28 layers) =="
  "$bench" --model "$models/qwen3/model.onnx" --vocab "$qwen3_tokenizer" --profile 6 \
    --count "${QUIRVEL_XFMR_QWEN3_COUNT:-10}"
  exit 0
fi

if [[ $which != large ]]; then
  ensure_model small
  echo "== small (hidden 512, 4 layers) =="
  "$bench" --model "$models/small/model.onnx" --vocab "$vocab" --profile 0 --keyword-check \
    --count "${QUIRVEL_XFMR_SMALL_COUNT:-100}"
fi
if [[ $which != small ]]; then
  ensure_model large
  extra=()
  [[ ${QUIRVEL_XFMR_LARGE_BASELINE:-1} == 1 ]] || extra+=(--no-baseline)
  if [[ ${QUIRVEL_XFMR_LARGE_INT8:-1} == 1 ]]; then
    ensure_model large model_quantized.onnx --int8
    extra+=(--compare "$models/large/model_quantized.onnx")
  fi
  echo "== large (bge-large-zh-v1.5 shape: hidden 1024, 24 layers) =="
  "$bench" --model "$models/large/model.onnx" --vocab "$vocab" --profile 1 \
    --count "${QUIRVEL_XFMR_LARGE_COUNT:-20}" "${extra[@]}"
fi
