#!/usr/bin/env bash
# Unpacks both packages (scripts/package.sh) under a folder whose name holds
# Chinese characters and checks that each answers the demo requests on the demo
# model with replies byte-identical to the Linux build's, its resources staged
# into the temporary folder, and (Linux) that ldd finds ONNX Runtime, OpenCC and
# marisa inside the folder; then that each answers on its own default_model/.
#
#   scripts/check_packages.sh [linux-build-dir]     (default: build)
#
# The packages are packed from that build and from build-windows, the trees the
# test command has just tested (scripts/package.sh).
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$repo"
build=${1:-build}
demo="$repo/$build/demo_model"
requests="$repo/examples/demo_requests.jsonl"
version=$(sed -n 's/^project(quirvel_worker VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
source scripts/wine/setup.sh

if [[ ${1:-} != --under-display ]]; then
  bash scripts/package.sh linux "$build"
  QUIRVEL_NATIVE_BUILD=$build bash scripts/package.sh windows build-windows
  wine_build_launcher
  exec "${wine_display[@]}" bash "$0" --under-display "$build"
fi
build=$2
demo="$repo/$build/demo_model"
work=$(mktemp -d)
trap 'wine_stop_server; rm -rf "$work"' EXIT
folder="$work/部署 测试"
mkdir -p "$folder" "$work/tmp"
tar -xzf "dist/quirvel-worker-$version-linux-x86_64.tar.gz" -C "$folder"
(cd "$folder" && unzip -q "$repo/dist/quirvel-worker-$version-windows-x86_64.zip")
linux="$folder/quirvel-worker-$version-linux-x86_64"
windows="$folder/quirvel-worker-$version-windows-x86_64"
failed=0
fail() {
  echo "check_packages.sh: $*" >&2
  failed=1
}

libraries=$(ldd "$linux/quirvel-worker")
for lib in libonnxruntime.so.1 libopencc.so.1.1 libmarisa.so.0; do
  grep -qF "$lib => $linux/$lib" <<<"$libraries" || fail "ldd does not find $lib inside the folder"
done

"$build/host/quirvel-worker" "$demo/model.onnx" "$demo/vocab.txt" <"$requests" >"$work/expected" 2>/dev/null
TMPDIR="$work/tmp" "$linux/quirvel-worker" "$demo/model.onnx" "$demo/vocab.txt" <"$requests" >"$work/linux" 2>/dev/null
cmp -s "$work/expected" "$work/linux" || fail "the Linux package's replies differ from the build's"
# Staged copies are named after their content: opencc-<fingerprint>.
staged_file() { compgen -G "$1/$2-*/$3" >/dev/null; }
staged_file "$work/tmp/qrv_ipc_resources" opencc s2twp.json || fail "the Linux package's resources were not staged"

# The Windows worker stages into its own %TEMP%, inside the Wine prefix.
wine_start_server
staged="$WINEPREFIX/drive_c/users/$(id -un)/Temp/qrv_ipc_resources"
rm -rf "$staged"
"$wine_launcher" "$windows/quirvel-worker.exe" "$demo/model.onnx" "$demo/vocab.txt" <"$requests" >"$work/windows" 2>/dev/null
cmp -s "$work/expected" "$work/windows" || fail "the Windows package's replies differ from the Linux build's"
staged_file "$staged" opencc s2twp.json && staged_file "$staged" jieba_dict jieba.dict.utf8 ||
  fail "the Windows package's resources were not staged into %TEMP%"

# Each package answers on its own default_model/, read from the Chinese folder.
default_requests="$work/default_requests"
head -n 6 "$requests" >"$default_requests"
"$build/host/quirvel-worker" "$build/default_model/model.onnx" "$build/default_model/tokenizer.json" \
  <"$default_requests" >"$work/default_expected" 2>/dev/null
TMPDIR="$work/tmp" "$linux/quirvel-worker" "$linux/default_model/model.onnx" "$linux/default_model/tokenizer.json" \
  <"$default_requests" >"$work/default_linux" 2>/dev/null
cmp -s "$work/default_expected" "$work/default_linux" ||
  fail "the Linux package's replies on its default model differ from the build's"
"$wine_launcher" "$windows/quirvel-worker.exe" "$windows/default_model/model.onnx" \
  "$windows/default_model/tokenizer.json" <"$default_requests" >"$work/default_windows" 2>/dev/null
cmp -s "$work/default_expected" "$work/default_windows" ||
  fail "the Windows package's replies on its default model differ from the Linux build's"
[[ -s $work/default_expected ]] || fail "no replies on the default model"

((failed == 0)) && echo "check_packages.sh: both packages answer $(wc -l <"$work/expected") requests as the Linux build does" >&2
exit "$failed"
