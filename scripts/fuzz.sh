#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time over
# its starting corpus (fuzz/corpus/<target>) and a git-ignored working corpus that
# keeps what the fuzzer finds (build-fuzz/corpus/<target>). Crash inputs kept as
# regressions (fuzz/regressions/<target>) are replayed first.
#
#   scripts/fuzz.sh [seconds-per-target] [target ...]
#
# Exits non-zero when any target crashes, hangs, leaks or breaks an invariant;
# the input that did it is in build-fuzz/artifacts/<target>/. Environment:
# QUIRVEL_FUZZ_BUILD_DIR (default build-fuzz), QUIRVEL_FUZZ_BUILD_JOBS (default 2),
# QUIRVEL_SHARED_DEMO_MODEL (a folder with the demo model another tree generated;
# unset: the fuzz tree generates its own).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
seconds=${1:-20}
shift || true
build_dir=${QUIRVEL_FUZZ_BUILD_DIR:-$repo/build-fuzz}
build_jobs=${QUIRVEL_FUZZ_BUILD_JOBS:-2}
all_targets=(fuzz_utf8 fuzz_segmentation fuzz_tokenizer_file fuzz_tokenizer_encode fuzz_request_loop
  fuzz_request_loop_model)
targets=("${@:-${all_targets[@]}}")

if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 1)); then
  echo "fuzz.sh: seconds per target must be a positive whole number, got '$seconds'" >&2
  exit 2
fi

clangxx=$(command -v clang++ || command -v clang++-14 || true)
clangc=$(command -v clang || command -v clang-14 || true)
if [[ -z $clangxx || -z $clangc ]]; then
  echo "fuzz.sh: SKIPPED: clang is not installed (scripts/bootstrap.sh installs clang-14)" >&2
  exit 0
fi

# Longest input per target: long enough for a real request or tokenizer file,
# short enough that one run stays quick.
max_len_of() {
  case $1 in
    fuzz_utf8) echo 4096 ;;
    fuzz_segmentation) echo 1024 ;;
    fuzz_tokenizer_file) echo 4096 ;;
    fuzz_tokenizer_encode) echo 2048 ;;
    fuzz_request_loop) echo 2048 ;;
    fuzz_request_loop_model) echo 1024 ;;
    *) echo 1024 ;;
  esac
}

# The model-backed request-loop fuzzer shares the starting corpus of the null-model one.
corpus_name_of() { echo "${1%_model}"; }

cmake -S "$repo" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER="$clangxx" -DCMAKE_C_COMPILER="$clangc" \
  -DQUIRVEL_BUILD_FUZZ=ON -DQUIRVEL_BUILD_TESTS=OFF -DQUIRVEL_BUILD_BENCH=OFF \
  -DQUIRVEL_SHARED_DEMO_MODEL="${QUIRVEL_SHARED_DEMO_MODEL:-}" >/dev/null
cmake --build "$build_dir" -j"$build_jobs" --target quirvel_fuzzers >/dev/null

export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1:symbolize=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}
export LSAN_OPTIONS=${LSAN_OPTIONS:-suppressions=$repo/tests/lsan.supp:print_suppressions=0}

failed=()
mkdir -p "$build_dir/logs"

# Replays the kept crash inputs once each; a fixed fault must stay fixed.
replay_regressions() {
  local target=$1 binary=$2 log=$3
  local folder="$repo/fuzz/regressions/$(corpus_name_of "$target")"
  [[ -d $folder ]] || return 0
  local inputs=("$folder"/*)
  [[ -e ${inputs[0]} ]] || return 0
  "$binary" -rss_limit_mb=4096 -timeout=10 "${inputs[@]}" >"$log" 2>&1
}

run_target() {
  local target=$1
  local binary="$build_dir/fuzz/$target"
  local starting="$repo/fuzz/corpus/$(corpus_name_of "$target")"
  local corpus="$build_dir/corpus/$target" artifacts="$build_dir/artifacts/$target/"
  local log="$build_dir/logs/$target.log"
  if [[ ! -x $binary ]]; then
    echo "fuzz.sh: $target was not built" >&2
    return 1
  fi
  mkdir -p "$corpus" "$artifacts"
  if ! replay_regressions "$target" "$binary" "$build_dir/logs/$target.regressions.log"; then
    echo "fuzz.sh: $target fails a kept regression input; see $build_dir/logs/$target.regressions.log" >&2
    return 1
  fi
  local dict=()
  [[ $target == fuzz_request_loop* ]] && dict=(-dict="$repo/fuzz/request.dict")
  [[ $target == fuzz_tokenizer_file ]] && dict=(-dict="$repo/fuzz/tokenizer.dict")
  local status=0
  "$binary" "$corpus" "$starting" "${dict[@]}" -max_total_time="$seconds" -max_len="$(max_len_of "$target")" \
    -timeout=10 -rss_limit_mb=4096 -print_final_stats=1 -artifact_prefix="$artifacts" </dev/null >"$log" 2>&1 ||
    status=$?
  local runs
  runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
  if ((status != 0)); then
    echo "fuzz.sh: $target FAILED (exit $status) after ${runs:-?} runs; log: $log; inputs: $artifacts" >&2
    grep -E "ERROR: |SUMMARY: |fuzz invariant broken|Test unit written" "$log" | head -5 >&2 || true
    return 1
  fi
  echo "fuzz.sh: $target ok: ${runs:-?} runs in ${seconds} s, corpus $(ls "$corpus" | wc -l) inputs"
}

for target in "${targets[@]}"; do
  run_target "$target" || failed+=("$target")
done

if ((${#failed[@]} > 0)); then
  echo "fuzz.sh: failing targets: ${failed[*]}" >&2
  exit 1
fi
