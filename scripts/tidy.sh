#!/usr/bin/env bash
# Runs clang-tidy with the committed .clang-tidy over every library source of
# the worker, against the compile commands of a configured build folder, and
# fails on any finding.
#
#   scripts/tidy.sh [build-dir]     (default: build)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
build=${1:-build}
if [[ ! -f $build/compile_commands.json ]]; then
  echo "tidy.sh: $build/compile_commands.json is missing; configure the build first" >&2
  exit 1
fi

sources=()
for dir in host conversion keywords ranking embedcore tokenizers; do
  for file in "$dir"/*.cpp; do
    [[ $file == */platform_windows.cpp || $file == host/main.cpp ]] || sources+=("$file")
  done
done

log=$(mktemp)
trap 'rm -f "$log"' EXIT
printf '%s\n' "${sources[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet >"$log" 2>&1 || true
if grep -E '(warning|error):' "$log"; then
  echo "tidy.sh: clang-tidy findings above" >&2
  exit 1
fi
echo "tidy.sh: ${#sources[@]} library sources clean"
