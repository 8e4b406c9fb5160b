#!/usr/bin/env bash
# Builds the default model into OUT_DIR (model.onnx, tokenizer.json, the model
# card README.md and LICENSE.txt) and prints OUT_DIR:
#
#   scripts/build_default_model.sh [BUILD_DIR [OUT_DIR]]
#
# BUILD_DIR (default build-release) is a native tree whose quirvel-modelgen
# writes the graph; OUT_DIR defaults to BUILD_DIR/default_model.
# The word vectors come from tools/default_model/build_vectors.py over the
# bootstrap's pinned data (CC-CEDICT's glosses, the Jieba dictionary) and the
# project's hand-written lexicon (product types, brands, attributes, shop and
# promotion words); quirvel-modelgen writes the graph around them. A
# build takes about two minutes of one core; it is cached under
# ~/.cache/quirvel-worker/default_model/, keyed by every input, so a second
# run (a fresh clone too) only copies the files.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
build=${1:-build-release}
out=${2:-$build/default_model}
# shellcheck source=scripts/compiler_cache.sh
source scripts/compiler_cache.sh
python=/usr/bin/python3
sources=(tools/default_model/build_vectors.py tools/default_model/lexicon.py tools/default_model/marketing_words.txt
  tools/default_model/lexicon/*.txt /usr/share/opencc/tw2sp.json
  third_party/cc-cedict/all.js third_party/cppjieba/dict/jieba.dict.utf8
  tools/modelgen/mean_pool_graph.cpp tools/modelgen/static_model.cpp tools/modelgen/graph_builder.cpp)

[[ -f third_party/cc-cedict/all.js ]] || bash scripts/bootstrap.sh
if [[ ! -x $build/tools/modelgen/quirvel-modelgen ]]; then
  quirvel_use_compiler_cache "$repo"
  [[ -f $build/CMakeCache.txt ]] || cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release -DQUIRVEL_BUILD_TESTS=OFF >/dev/null
  cmake --build "$build" -j"$(nproc)" --target quirvel-modelgen >/dev/null
fi

key=$(sha256sum "${sources[@]}" | sha256sum | cut -c1-16)
cached="$quirvel_cache_root/default_model/$key"
if [[ ! -f $cached/model.onnx ]]; then
  echo "building the default model (about two minutes)" >&2
  part="$cached.part-$$"
  rm -rf "$part"
  mkdir -p "$part"
  "$python" tools/default_model/build_vectors.py --cedict third_party/cc-cedict/all.js \
    --jieba-dict third_party/cppjieba/dict/jieba.dict.utf8 \
    --marketing tools/default_model/marketing_words.txt --lexicon tools/default_model/lexicon \
    --out "$part" >/dev/null
  width=$("$python" -c 'import json, sys; print(json.load(open(sys.argv[1]))["width"])' "$part/build.json")
  "$build/tools/modelgen/quirvel-modelgen" static "$part/model.onnx" --table "$part/table.f16" \
    --width "$width" --float16
  rm "$part/table.f16"
  rm -rf "$cached"
  mv "$part" "$cached"
fi

mkdir -p "$out"
cp "$cached/model.onnx" "$cached/tokenizer.json" "$cached/build.json" "$out/"
cp tools/default_model/README.md "$out/README.md"
cp tools/default_model/LICENSE.txt "$out/LICENSE.txt"
echo "$out"
