# Sourced by the scripts that run Windows programs under Wine. Sets up a
# private Wine prefix in build/wine (once) with Wine's null graphics driver,
# so that windows and message boxes exist without a display.
#
# Wine's background processes inherit pipes and hold them open: callers send
# Wine's output to files, never to a pipe.

veilbox_root=${veilbox_root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEPREFIX=${WINEPREFIX:-$veilbox_root/build/wine}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEARCH=win64

veilbox_wine_setup() {
  if [ -f "$WINEPREFIX/.veilbox-ready" ]; then
    return 0
  fi
  mkdir -p "$WINEPREFIX"
  local log="$WINEPREFIX/../wine-setup.log"
  wineboot --init >"$log" 2>&1 </dev/null || { cat "$log"; return 1; }
  wineserver -w >>"$log" 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$log" 2>&1 </dev/null || { cat "$log"; return 1; }
  wineserver -k >>"$log" 2>&1
  wineserver -w >>"$log" 2>&1
  touch "$WINEPREFIX/.veilbox-ready"
}

# Runs a Windows program under Wine; its standard output and error go to
# the files given, and its exit code is returned.
veilbox_wine_run() {
  local out=$1 err=$2
  shift 2
  wine "$@" >"$out" 2>"$err" </dev/null
}
