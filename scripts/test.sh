#!/usr/bin/env bash
# Installs what is missing, builds the worker twice (plain, and with Address- and
# UndefinedBehaviorSanitizer), runs every test in both builds, cross-builds the
# worker for Windows and runs the process tests against it under Wine, then runs
# each fuzz target for a short bounded time.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
jobs=$(nproc)

bash scripts/bootstrap.sh

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUIRVEL_WERROR=ON >/dev/null
cmake --build build -j"$jobs"
ctest --test-dir build --output-on-failure -j"$jobs"

cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUIRVEL_SANITIZE=ON -DQUIRVEL_BUILD_BENCH=OFF >/dev/null
cmake --build build-asan -j"$jobs"
ctest --test-dir build-asan --output-on-failure -j"$jobs"

bash scripts/test_windows.sh build

# A short bounded run of every fuzz target over its corpus and saved regressions.
bash scripts/fuzz.sh "${QUIRVEL_FUZZ_SECONDS:-10}"
