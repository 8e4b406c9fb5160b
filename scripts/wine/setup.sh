# The one Wine set-up of the scripts that run the Windows build (sourced, not
# run): scripts/test_windows.sh, scripts/check_packages.sh and
# scripts/bench_windows.sh. Expects $repo (the repository's top folder).
#
# Every Windows program goes through "$wine_launcher", never plain wine: it
# preloads amx_tile_permission.c's library (built here from its source), which
# asks Linux for the AMX tile state that ONNX Runtime's int8 kernels need on
# processors that have AMX. Real Windows needs nothing of the kind.

# Wine reads the command line and the environment in the POSIX locale's
# encoding: UTF-8, whatever the caller's locale, so Chinese paths arrive intact.
export LC_ALL=C.UTF-8
export WINEPREFIX="$repo/build-windows/wine" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installer dialogs while the prefix is created.
export WINEDLLOVERRIDES="mscoree,mshtml="

wine_tools="$repo/build-windows/wine-tools"
wine_launcher="$wine_tools/wine"

# Builds the preload library and writes the launcher beside it.
wine_build_launcher() {
  local source="$repo/scripts/wine/amx_tile_permission.c"
  local library="$wine_tools/amx_tile_permission.so"
  mkdir -p "$wine_tools"
  if [[ ! -f $library || $source -nt $library ]]; then
    cc -shared -fPIC -O2 -Wall -Wextra -Werror -o "$library.tmp" "$source"
    mv -f "$library.tmp" "$library"
  fi
  local wine
  wine=$(command -v wine)
  cat >"$wine_launcher.tmp" <<LAUNCHER
#!/bin/sh
# Written by scripts/wine/setup.sh: runs a Windows program under Wine with the
# AMX permission library preloaded (see scripts/wine/amx_tile_permission.c).
LD_PRELOAD="$library\${LD_PRELOAD:+:\$LD_PRELOAD}" exec "$wine" "\$@"
LAUNCHER
  chmod +x "$wine_launcher.tmp"
  mv -f "$wine_launcher.tmp" "$wine_launcher"
}

# Wine's own services start with the first Windows process and keep the
# standard streams they were given: start them here, on /dev/null, so that no
# test's pipes stay open after its worker has ended. One persistent wineserver
# serves the whole run; wine_stop_server ends it.
wine_start_server() {
  if [[ ! -f $WINEPREFIX/system.reg ]]; then
    echo "wine: creating the Wine prefix $WINEPREFIX" >&2
  fi
  mkdir -p "$WINEPREFIX"
  wineserver -p </dev/null >/dev/null 2>&1
  wineboot -i </dev/null >/dev/null 2>&1
}

wine_stop_server() {
  wineserver -k >/dev/null 2>&1 || true
}

# The command prefix that runs a script on a virtual display (onnxruntime.dll
# asks for a display adapter): exec "${wine_display[@]}" bash "$0" ...
wine_display=(xvfb-run -a -s "-nolisten tcp")
