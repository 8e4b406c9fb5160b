#!/usr/bin/env bash
# Installs what is missing, builds the worker twice (plain, and with Address- and
# UndefinedBehaviorSanitizer), runs every test in both builds, checks that the
# includes follow the CMake target graph and that clang-tidy finds nothing,
# cross-builds the worker for Windows and runs the process tests against it
# under Wine, checks both packages, then runs each fuzz target for a short
# bounded time.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
jobs=$(nproc)

bash scripts/bootstrap.sh

# The CMake file API describes the targets for the layering check.
mkdir -p build/.cmake/api/v1/query && touch build/.cmake/api/v1/query/codemodel-v2
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUIRVEL_WERROR=ON >/dev/null
python3 scripts/check_layering.py build
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"
bash scripts/tidy.sh build

# The other trees take the demo model the first one generated.
export QUIRVEL_SHARED_DEMO_MODEL="$repo/build/demo_model"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUIRVEL_SANITIZE=ON -DQUIRVEL_BUILD_BENCH=OFF \
  -DQUIRVEL_SHARED_DEMO_MODEL="$QUIRVEL_SHARED_DEMO_MODEL" >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

bash scripts/test_windows.sh build
# Both packages, unpacked under a Chinese folder, answer as the Linux build does.
bash scripts/check_packages.sh build

# A short bounded run of every fuzz target over its corpus and saved regressions.
bash scripts/fuzz.sh "${QUIRVEL_FUZZ_SECONDS:-10}"
