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

# A source passed before with the same checks, the same clang-tidy and the same
# preprocessed text (scripts/tidy_keys.py) is not checked again; the keys of the
# sources that passed are kept outside the clone, beside the compiler cache.
# shellcheck source=scripts/compiler_cache.sh
source scripts/compiler_cache.sh
passed="$quirvel_cache_root/tidy-passed"
mkdir -p "$passed"
declare -A key_of=()
while read -r key file; do key_of[$file]=$key; done < <(python3 scripts/tidy_keys.py "$build" "${sources[@]}")
to_check=()
for file in "${sources[@]}"; do
  [[ -n ${key_of[$file]:-} && -f $passed/${key_of[$file]:-} ]] || to_check+=("$file")
done

log=$(mktemp)
trap 'rm -f "$log"' EXIT
if ((${#to_check[@]})); then
  printf '%s\n' "${to_check[@]}" | xargs -P "$(nproc)" -n 4 clang-tidy -p "$build" --quiet >"$log" 2>&1 || true
fi
if grep -E '(warning|error):' "$log"; then
  echo "tidy.sh: clang-tidy findings above" >&2
  exit 1
fi
for file in "${to_check[@]}"; do
  [[ -z ${key_of[$file]:-} ]] || touch "$passed/${key_of[$file]}"
done
echo "tidy.sh: ${#sources[@]} library sources clean (${#to_check[@]} checked, the others passed before)"
