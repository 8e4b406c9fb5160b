#!/usr/bin/env bash
# Cross-builds the worker for 64-bit Windows (MinGW-w64) and runs the process
# tests of the Linux build against quirvel-worker.exe under Wine, on a virtual
# display (onnxruntime.dll asks for a display adapter).
#
#   scripts/test_windows.sh [linux-build-dir]    (default: build)
#
# The Linux build must already hold the process tests (scripts/test.sh builds
# them first). Wine runs in a private prefix inside build-windows/, created
# unattended on the first run, through the launcher of scripts/wine/setup.sh;
# one wineserver serves the whole run and is stopped at the end. Nothing waits
# for a display or a prompt.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
source scripts/wine/setup.sh
linux_build=${1:-build}
windows_build=build-windows
jobs=$(nproc)

if [[ ${1:-} != --under-display ]]; then
  export QUIRVEL_WINDOWS_STARTED=$(date +%s)
  cmake -S . -B "$windows_build" -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
    -DCMAKE_BUILD_TYPE=Release -DQUIRVEL_WERROR=ON -DQUIRVEL_BUILD_TESTS=OFF -DQUIRVEL_BUILD_BENCH=OFF >/dev/null
  cmake --build "$windows_build" -j"$jobs" --target quirvel-worker
  wine_build_launcher
  exec "${wine_display[@]}" bash "$0" --under-display "$linux_build"
fi
linux_build=$2
worker="$repo/$windows_build/host/quirvel-worker.exe"
demo="$repo/$linux_build/demo_model"

trap wine_stop_server EXIT
wine_start_server
echo '{"type":"shutdown"}' | "$wine_launcher" "$worker" "$demo/model.onnx" "$demo/vocab.txt" >/dev/null 2>&1

start=$(date +%s)
QUIRVEL_TEST_WORKER="$worker" QUIRVEL_TEST_LAUNCHER="$wine_launcher" \
  ctest --test-dir "$linux_build/tests/process" --output-on-failure -j"$jobs" --timeout 300
now=$(date +%s)
echo "test_windows.sh: process tests passed under Wine in $((now - start)) s" \
  "($((now - ${QUIRVEL_WINDOWS_STARTED:-$start})) s with the Windows build and Wine's start)" >&2
