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

# The Windows programs are 32-bit and run in a 64-bit prefix, as on 64-bit
# Windows. That needs Wine's 32-bit half (Debian's wine32:i386) installed
# before the prefix is made: a prefix made without it runs no 32-bit
# program and is made anew. The ready marker names the kind of prefix.
veilbox_wine_marker=.veilbox-ready-wow64

veilbox_wine_setup() {
  if [ -f "$WINEPREFIX/$veilbox_wine_marker" ]; then
    return 0
  fi
  local log="$WINEPREFIX/../wine-setup.log"
  mkdir -p "$(dirname "$WINEPREFIX")"
  if ! dpkg-query -W -f='${db:Status-Status}' wine32:i386 2>/dev/null | grep -qx installed; then
    echo "Wine cannot run 32-bit programs: install Debian's wine32:i386 (scripts/install-deps.sh)" >&2
    return 1
  fi
  if [ -d "$WINEPREFIX" ]; then
    # Made before, by an older set-up or without wine32: start afresh.
    WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1
    WINEPREFIX=$WINEPREFIX wineserver -w >/dev/null 2>&1
    rm -rf "$WINEPREFIX"
  fi
  mkdir -p "$WINEPREFIX"
  wineboot --init >"$log" 2>&1 </dev/null || { cat "$log"; return 1; }
  wineserver -w >>"$log" 2>&1
  wine reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$log" 2>&1 </dev/null || { cat "$log"; return 1; }
  wineserver -k >>"$log" 2>&1
  wineserver -w >>"$log" 2>&1
  if [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
    cat "$log"
    echo "The Wine prefix $WINEPREFIX cannot run 32-bit programs" >&2
    return 1
  fi
  touch "$WINEPREFIX/$veilbox_wine_marker"
}

# Runs a Windows program under Wine; its standard output and error go to
# the files given, and its exit code is returned.
veilbox_wine_run() {
  local out=$1 err=$2
  shift 2
  wine "$@" >"$out" 2>"$err" </dev/null
}
