#!/usr/bin/env bash
# Builds the worker in Release and packs its ready-to-run folder with CMake's
# install rules and CPack:
#
#   scripts/package.sh windows   ->  dist/quirvel-worker-<version>-windows-x86_64.zip
#   scripts/package.sh linux     ->  dist/quirvel-worker-<version>-linux-x86_64.tar.gz
#
# Each archive unpacks to one folder: the worker, ONNX Runtime's and OpenCC's
# libraries, opencc/, jieba_dict/, licenses/ and a README.txt.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

platform=${1:-}
options=(-DCMAKE_BUILD_TYPE=Release -DQUIRVEL_BUILD_TESTS=OFF -DQUIRVEL_BUILD_BENCH=OFF)
case $platform in
  windows) build=build-package-windows options+=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake) ;;
  linux) build=build-package-linux ;;
  *)
    echo "usage: scripts/package.sh windows|linux" >&2
    exit 2
    ;;
esac

bash scripts/bootstrap.sh
cmake -S . -B "$build" "${options[@]}" >/dev/null
cmake --build "$build" -j"$(nproc)" --target quirvel-worker
mkdir -p dist
(cd "$build" && cpack --config CPackConfig.cmake)
