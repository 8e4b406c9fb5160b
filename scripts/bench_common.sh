# Shared by bench.sh and soak.sh (sourced, not run): the Release build of the
# worker, the driver and the model generator, and the choice of model.
build=${QUIRVEL_BENCH_BUILD:-$repo/build-release}
jobs=${QUIRVEL_JOBS:-2}

build_benchmark_tools() {
  cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUIRVEL_BUILD_TESTS=OFF -DQUIRVEL_BUILD_BENCH=ON >/dev/null
  cmake --build "$build" -j"$jobs" --target quirvel-worker quirvel-bench-driver quirvel-modelgen
}

# Sets model, tokenizer and model_args_used (how many arguments it took):
# MODEL TOKENIZER, the word "default" (the default model, built when missing),
# or nothing (the demo model).
choose_model() {
  if [[ ${1:-} == default ]]; then
    local dir
    dir=$(bash "$repo/scripts/build_default_model.sh" "$build" | tail -1)
    model=$dir/model.onnx
    tokenizer=$dir/tokenizer.json
    model_args_used=1
    return
  fi
  if [[ $# -ge 2 && $1 != -* && $2 != -* ]]; then
    model=$1
    tokenizer=$2
    model_args_used=2
    return
  fi
  local demo="$build/demo-model"
  if [[ ! -f $demo/model.onnx || ! -f $demo/vocab.txt ]]; then
    mkdir -p "$demo"
    "$build/tools/modelgen/quirvel-modelgen" demo "$demo" --jieba-dict "$repo/third_party/cppjieba/dict"
  fi
  model=$demo/model.onnx
  tokenizer=$demo/vocab.txt
  model_args_used=0
}

# The benchmark driver on this build's worker and the chosen model; the
# arguments go to the driver.
run_driver() {
  "$build/bench/driver/quirvel-bench-driver" \
    --worker "$build/host/quirvel-worker" --model "$model" --tokenizer "$tokenizer" "$@"
}

# jieba TF-IDF on the titles and request count the driver was given (driver
# arguments follow OUT), timed by bench/driver/jieba_tfidf_speed.py, then one
# table of titles per second beside the worker's first run in OUT/bench.json.
run_jieba_peer() {
  local out=$1 titles=$repo/../shared/data/titles requests=1000 python=/usr/bin/python3
  shift
  while [[ $# -gt 0 ]]; do
    case $1 in
      --titles) titles=$2; shift ;;
      --titles=*) titles=${1#--titles=} ;;
      --requests) requests=$2; shift ;;
      --requests=*) requests=${1#--requests=} ;;
    esac
    shift
  done
  if [[ ! -e $titles ]] || ! "$python" -c 'import jieba.analyse' 2>/dev/null; then
    echo "jieba TF-IDF: left out (needs python3-jieba and a titles file or folder)"
    return
  fi
  "$python" "$repo/bench/driver/jieba_tfidf_speed.py" --titles "$titles" --requests "$requests" \
    --json "$out/jieba_tfidf.json" >/dev/null
  "$python" - "$out/bench.json" "$out/jieba_tfidf.json" <<'PY'
import json, sys
worker = json.load(open(sys.argv[1]))["runs"][0]
peer = json.load(open(sys.argv[2]))
print(f"\n{'system':<28}{'titles/s':>10}{'median ms':>11}{'p99 ms':>9}{'first ms':>10}")
print(f"{'worker':<28}{worker['requests_per_second']:>10.1f}{worker['median_ms']:>11.3f}{worker['p99_ms']:>9.3f}"
      f"{worker['first_extract_ms']:>10.1f}")
print(f"{'jieba TF-IDF (python3-jieba)':<28}{peer['titles_per_second']:>10.1f}{peer['median_ms']:>11.3f}"
      f"{peer['p99_ms']:>9.3f}{peer['first_ms']:>10.1f}")
PY
  echo "results: $out/jieba_tfidf.json"
}
