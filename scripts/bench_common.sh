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
