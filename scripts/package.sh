#!/usr/bin/env bash
# Builds the worker in Release and packs its ready-to-run folder with CMake's
# install rules and CPack:
#
#   scripts/package.sh windows [BUILD_DIR]  ->  dist/quirvel-worker-<version>-windows-x86_64.zip
#   scripts/package.sh linux [BUILD_DIR]    ->  dist/quirvel-worker-<version>-linux-x86_64.tar.gz
#
# Each archive unpacks to one folder: the worker, ONNX Runtime's and OpenCC's
# libraries, opencc/, jieba_dict/, default_model/, licenses/ and a README.txt.
#
# Without BUILD_DIR the worker is built in Release in build-windows (the tree
# scripts/test_windows.sh tests) or build-package-linux, configured (after the
# bootstrap) when the tree does not exist yet. A given BUILD_DIR that is
# configured already is packed as it is, so the test command packs the trees it
# has just built and tested instead of building the worker again.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

platform=${1:-}
options=(-DCMAKE_BUILD_TYPE=Release -DQUIRVEL_BUILD_TESTS=OFF -DQUIRVEL_BUILD_BENCH=OFF)
case $platform in
  windows) build=${2:-build-windows} options+=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake) ;;
  linux) build=${2:-build-package-linux} ;;
  *)
    echo "usage: scripts/package.sh windows|linux [BUILD_DIR]" >&2
    exit 2
    ;;
esac

if [[ ! -f $build/CMakeCache.txt ]]; then
  bash scripts/bootstrap.sh
  cmake -S . -B "$build" "${options[@]}" >/dev/null
fi
cmake --build "$build" -j"$(nproc)" --target quirvel-worker
# The default model's graph is written by a native tree's generator (the
# tree being packed when it is the Linux one) and copied into the tree packed.
native=${QUIRVEL_NATIVE_BUILD:-$([[ $platform == linux ]] && echo "$build" || echo build-release)}
bash scripts/build_default_model.sh "$native" "$build/default_model" >/dev/null
mkdir -p dist
(cd "$build" && cpack --config CPackConfig.cmake)
