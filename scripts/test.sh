#!/usr/bin/env bash
# Installs what is missing, builds the worker twice (plain, and with Address- and
# UndefinedBehaviorSanitizer), runs every test in both builds, checks that the
# includes follow the CMake target graph and that clang-tidy finds nothing,
# cross-builds the worker for Windows and runs the process tests against it
# under Wine, checks both packages, then runs each fuzz target for a short
# bounded time. Each tree is built once and compiles through ccache, clang-tidy
# skips the sources that passed unchanged before, and each step prints when it
# starts, counted from the start of the run.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
jobs=$(nproc)
step() { printf '== [%4d s] %s\n' "$SECONDS" "$1"; }

step "bootstrap"
bash scripts/bootstrap.sh
# shellcheck source=scripts/compiler_cache.sh
source scripts/compiler_cache.sh
quirvel_use_compiler_cache "$repo"

step "plain build"
# The CMake file API describes the targets for the layering check.
mkdir -p build/.cmake/api/v1/query && touch build/.cmake/api/v1/query/codemodel-v2
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUIRVEL_WERROR=ON >/dev/null
python3 scripts/check_layering.py build
cmake --build build -j"$jobs"
step "plain tests"
ctest --test-dir build --output-on-failure -j"$jobs"
step "clang-tidy"
bash scripts/tidy.sh build

# The other trees take the demo model the first one generated. The sanitizer
# tree keeps line tables only (-g1): its reports still name file and line, and
# it compiles and links a quarter faster.
export QUIRVEL_SHARED_DEMO_MODEL="$repo/build/demo_model"
step "sanitizer build"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUIRVEL_SANITIZE=ON -DQUIRVEL_BUILD_BENCH=OFF \
  -DCMAKE_C_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="-O2 -g1 -DNDEBUG" \
  -DQUIRVEL_SHARED_DEMO_MODEL="$QUIRVEL_SHARED_DEMO_MODEL" >/dev/null
cmake --build build-asan -j"$jobs"
step "sanitizer tests"
# The tests of several workers at once (label multi-worker) are about races
# between processes; they run in the plain tree and under Wine, and the
# sanitizer tree runs the same code through its single-worker tests.
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir build-asan --output-on-failure -j"$jobs" -LE multi-worker

step "Windows build and process tests under Wine"
bash scripts/test_windows.sh build
# Both packages, unpacked under a Chinese folder, answer as the Linux build does.
step "packages"
bash scripts/check_packages.sh build

# A short bounded run of every fuzz target over its corpus and saved regressions.
step "fuzzing"
bash scripts/fuzz.sh "${QUIRVEL_FUZZ_SECONDS:-10}"
step "done"
