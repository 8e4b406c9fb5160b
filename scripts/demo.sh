#!/usr/bin/env bash
# Shows the worker doing its job on a fresh machine: installs what is missing,
# builds the worker and the model generator (Release), builds the default model
# once (static word vectors from CC-CEDICT's glosses and the Jieba dictionary,
# scripts/build_default_model.sh; cached, so later runs only copy it), and feeds
# the worker the requests of examples/demo_requests.jsonl as its parent
# application would, printing each request and its reply.
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

model=$(bash scripts/build_default_model.sh "$build" | tail -1)

requests=${1:-examples/demo_requests.jsonl}
echo "worker: $build/host/quirvel-worker $model/model.onnx $model/tokenizer.json --reuse-converters"
# Each OpenCC converter opens once, not per conversion: same replies, a millisecond or so each instead of tens.
replies=$("$build/host/quirvel-worker" "$model/model.onnx" "$model/tokenizer.json" --reuse-converters <"$requests")
paste -d '\n' "$requests" <(printf '%s\n' "$replies") | sed 'n;s/^/  -> /'
