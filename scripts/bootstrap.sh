#!/usr/bin/env bash
# Installs everything the worker needs on a fresh Debian 12 machine, unattended.
# - Debian packages (only when one is missing, so a second run takes seconds).
# - Two pinned npm tarballs, fetched with `npm pack` (no install, no scripts),
#   checked against pinned SHA-256 sums, cached outside the clone, and unpacked
#   into the git-ignored third_party/ folder:
#     onnxruntime-node@1.30.0 -> third_party/onnxruntime/lib/libonnxruntime.so.1
#     nodejieba@3.5.8         -> third_party/cppjieba/{include,dict}, third_party/limonp/include
set -euo pipefail

repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
third_party="$repo/third_party"
cache="${QUIRVEL_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quirvel-worker}/npm"

debian_packages=(
  cmake make g++ pkg-config
  libopencc-dev libopencc-data
  nlohmann-json3-dev rapidjson-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  libonnx-dev libprotobuf-dev protobuf-compiler
  clang libclang-rt-14-dev clang-tidy python3
  g++-mingw-w64-x86-64-posix
)

ort_pkg="onnxruntime-node@1.30.0"
ort_tgz="onnxruntime-node-1.30.0.tgz"
ort_sha256="6e3390d6b783e7be946fad629292799da28d0b42f84856e50d2c1b0383291e75"
ort_lib_sha256="ffb75a925ba05e47b235bb66e3e3911714a80b328a9c9425539feb204aa32a23"
jieba_pkg="nodejieba@3.5.8"
jieba_tgz="nodejieba-3.5.8.tgz"
jieba_sha256="d596b0566526a7add766e1582f5c97dd5b5003dd26ca353e7b5cf5da86b43af5"
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

install_debian_packages
unpack_onnxruntime
unpack_cppjieba
log "ready: $third_party"
