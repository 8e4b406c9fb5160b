#!/usr/bin/env bash
# Shows the worker doing its job on a fresh machine: installs what is missing,
# builds the worker and the model generator (Release), writes the demo model
# (a small character-level embedding model: a demo of the pipeline, not a
# semantic model), and feeds the worker the requests of examples/demo_requests.jsonl
# as its parent application would, printing each request and its reply.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
bash scripts/bootstrap.sh
# shellcheck source=scripts/compiler_cache.sh
source scripts/compiler_cache.sh
quirvel_use_compiler_cache "$repo"

build=${QUIRVEL_DEMO_BUILD:-$repo/build-release}
cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUIRVEL_BUILD_TESTS=OFF >/dev/null
cmake --build "$build" -j"$(nproc)" --target quirvel-worker quirvel-modelgen

demo="$build/demo-model"
if [[ ! -f $demo/model.onnx || ! -f $demo/vocab.txt ]]; then
  mkdir -p "$demo"
  "$build/tools/modelgen/quirvel-modelgen" demo "$demo" --jieba-dict third_party/cppjieba/dict
fi

requests=${1:-examples/demo_requests.jsonl}
echo "worker: $build/host/quirvel-worker $demo/model.onnx $demo/vocab.txt --reuse-converters"
# Each OpenCC converter opens once, not per conversion: same replies, a millisecond or so each instead of tens.
replies=$("$build/host/quirvel-worker" "$demo/model.onnx" "$demo/vocab.txt" --reuse-converters <"$requests")
paste -d '\n' "$requests" <(printf '%s\n' "$replies") | sed 'n;s/^/  -> /'
