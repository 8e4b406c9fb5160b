#!/usr/bin/env bash
# Compiles every source of the worker's libraries and entry point for 64-bit
# Windows with the MinGW-w64 cross compiler, syntax only (-fsyntax-only, warnings
# as errors). The Windows branch of the platform layer, the wide-character model
# path of the engine and the console set-up are never built on Linux otherwise,
# so this is what keeps them compiling.
#
#   scripts/check_windows.sh
#
# Skips (exit 0) when the cross compiler is missing; scripts/bootstrap.sh installs it.
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"

cxx=$(command -v x86_64-w64-mingw32-g++-posix || command -v x86_64-w64-mingw32-g++ || true)
if [[ -z $cxx ]]; then
  echo "check_windows.sh: SKIPPED: no MinGW-w64 cross compiler (scripts/bootstrap.sh installs it)" >&2
  exit 0
fi

# The cross compiler does not search the Linux system headers; the header-only
# libraries (and OpenCC's declarations) are handed to it one folder at a time.
headers=$(mktemp -d)
trap 'rm -rf "$headers"' EXIT
for dir in nlohmann rapidjson opencc; do
  if [[ ! -d /usr/include/$dir ]]; then
    echo "check_windows.sh: /usr/include/$dir is missing; run scripts/bootstrap.sh" >&2
    exit 1
  fi
  ln -s "/usr/include/$dir" "$headers/$dir"
done

sources=()
for dir in host conversion keywords ranking embedcore tokenizers; do
  for file in "$dir"/*.cpp; do
    [[ $file == */platform_posix.cpp ]] || sources+=("$file")
  done
done

failed=0
for file in "${sources[@]}"; do
  if ! "$cxx" -std=c++17 -Wall -Wextra -Werror -fsyntax-only -I. -isystem "$headers" \
    -isystem third_party/cppjieba/include -isystem third_party/limonp/include \
    -DQUIRVEL_OPENCC_FALLBACK_CONFIG='"C:/opencc/tw2sp.json"' -DQUIRVEL_JIEBA_DICT_FALLBACK='"C:/jieba_dict"' \
    "$file"; then
    echo "check_windows.sh: $file does not compile for Windows" >&2
    failed=1
  fi
done
((failed == 0)) && echo "check_windows.sh: ${#sources[@]} sources compile for 64-bit Windows"
exit "$failed"
