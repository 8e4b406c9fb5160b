#!/usr/bin/env bash
# Extract latency of the Windows build under Wine against the native Linux
# build, in one run, on the same titles and the same model (Release builds):
#
#   scripts/bench_windows.sh [MODEL TOKENIZER] [driver options...]
#                                  e.g. --requests 2000 --cache on
#
# Titles: ../shared/data/titles/*.txt when present, else the driver's built-in
# list. Prints both driver tables and a last line with the two medians; the
# driver's JSON reports go to $QUIRVEL_BENCH_OUT (default
# build-release/bench-windows). Wine runs in the prefix of build-windows/.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
source "$repo/scripts/bench_common.sh"
source "$repo/scripts/wine/setup.sh"

if [[ ${1:-} != --under-display ]]; then
  build_benchmark_tools
  cmake -S "$repo" -B "$repo/build-windows" -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DQUIRVEL_BUILD_TESTS=OFF -DQUIRVEL_BUILD_BENCH=OFF >/dev/null
  cmake --build "$repo/build-windows" -j"$jobs" --target quirvel-worker
  wine_build_launcher
  exec "${wine_display[@]}" bash "$0" --under-display "$@"
fi
shift
choose_model "$@"
shift $model_args_used
out=${QUIRVEL_BENCH_OUT:-$build/bench-windows}
mkdir -p "$out"
titles=()
if compgen -G "$repo/../shared/data/titles/*.txt" >/dev/null; then titles=(--titles "$repo/../shared/data/titles"); fi

trap wine_stop_server EXIT
wine_start_server

driver=("$build/bench/driver/quirvel-bench-driver" --model "$model" --tokenizer "$tokenizer" --cache off "${titles[@]}")
echo "== native: $build/host/quirvel-worker"
"${driver[@]}" --worker "$build/host/quirvel-worker" --json "$out/native.json" "$@"
echo "== Wine: $repo/build-windows/host/quirvel-worker.exe"
"${driver[@]}" --worker "$repo/build-windows/host/quirvel-worker.exe" --launcher "$wine_launcher" \
  --json "$out/wine.json" "$@"

python3 - "$out/native.json" "$out/wine.json" <<'PY'
import json, sys
native, wine = (json.load(open(p))["runs"][0] for p in sys.argv[1:3])
print("median extract latency: native %.2f ms, Wine %.2f ms (x%.2f)"
      % (native["median_ms"], wine["median_ms"], wine["median_ms"] / native["median_ms"]))
PY
