# Sourced by the scripts that build (scripts/test.sh, scripts/demo.sh): every
# tree they configure compiles through ccache when it is installed (the
# bootstrap installs it). Its store sits beside the bootstrap's downloads,
# outside the clone, and paths are taken relative to the clone, so a second run
# of the test command (in a fresh clone of the same folder too) compiles only
# what changed. Files whose compile flags hold the clone's absolute path (the
# test paths, the resource fallbacks) compile again in a clone elsewhere.
quirvel_cache_root="${QUIRVEL_CACHE_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quirvel-worker}"

quirvel_use_compiler_cache() {
  local repo=$1
  command -v ccache >/dev/null 2>&1 || return 0
  export CCACHE_DIR="${CCACHE_DIR:-$quirvel_cache_root/ccache}"
  export CCACHE_BASEDIR="$repo" CCACHE_NOHASHDIR=true
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
}
