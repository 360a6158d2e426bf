# Sourced by the scripts that run Windows programs under Wine. Chooses the
# Wine loader this machine can run and sets up a private Wine prefix (once)
# with Wine's null graphics driver, so that windows and message boxes exist
# without a display.
#
# Machines differ: some kernels run no 32-bit x86 program at all, and with
# them neither Wine's 32-bit loader nor any 32-bit Windows program. There the
# Windows tests run the 64-bit build under Wine's 64-bit loader, and the
# 32-bit programs get a smoke run through user-mode emulation
# (scripts/wine-smoke32.sh). VEILBOX_WINE_KIND says which:
#
#   native32   32-bit programs run: the 32-bit build, loader "wine"
#   wine64     they do not: the 64-bit build, loader /usr/lib/wine/wine64
#
# VEILBOX_WINE is the command that runs a Windows program; VEILBOX_WINE_BUILD
# the build directory whose tests run. Wine's background processes inherit
# pipes and hold them open: callers send Wine's output to files, never to a
# pipe.

veilbox_root=${veilbox_root:-$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)}
export WINEDEBUG=${WINEDEBUG:--all}
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-"mscoree,mshtml="}
export WINEARCH=win64

# The binfmt_misc entry through which the kernel hands i386 programs to the
# emulator; scripts/binfmt-i386.sh registers it.
veilbox_binfmt_entry=/proc/sys/fs/binfmt_misc/qemu-i386

# Whether 32-bit programs are emulated here: they then run, but slowly.
veilbox_i386_emulated() {
  [ -r "$veilbox_binfmt_entry" ] && head -n 1 "$veilbox_binfmt_entry" | grep -qx enabled
}

# Whether this kernel runs Wine's 32-bit loader itself.
veilbox_wine32_native() {
  veilbox_i386_emulated && return 1
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}

if [ -z "${VEILBOX_WINE_KIND:-}" ]; then
  if veilbox_wine32_native; then
    VEILBOX_WINE_KIND=native32
  else
    VEILBOX_WINE_KIND=wine64
  fi
fi
export VEILBOX_WINE_KIND
if [ "$VEILBOX_WINE_KIND" = native32 ]; then
  export VEILBOX_WINE=wine
  export VEILBOX_WINE_BUILD=$veilbox_root/build/windows
  export WINEPREFIX=${WINEPREFIX:-$veilbox_root/build/wine}
else
  export VEILBOX_WINE=/usr/lib/wine/wine64
  export WINELOADER=/usr/lib/wine/wine64
  export VEILBOX_WINE_BUILD=$veilbox_root/build/windows64
  export WINEPREFIX=${WINEPREFIX:-$veilbox_root/build/wine64}
fi

# A prefix for the 32-bit programs needs Wine's 32-bit half (Debian's
# wine32:i386) installed before the prefix is made: a prefix made without it
# runs no 32-bit program and is made anew. The ready marker names the kind
# of prefix. A prefix made while i386 programs are emulated gets its 32-bit
# half too, slowly (minutes): the smoke run needs it.
veilbox_wine_marker() {
  if [ "$VEILBOX_WINE_KIND" = native32 ]; then
    echo .veilbox-ready-wow64
  elif veilbox_i386_emulated; then
    echo .veilbox-ready-wine64-emulated32
  else
    echo .veilbox-ready-wine64
  fi
}

veilbox_wine_setup() {
  local marker
  marker=$(veilbox_wine_marker)
  if [ -f "$WINEPREFIX/$marker" ]; then
    return 0
  fi
  local log="$WINEPREFIX.setup.log"
  mkdir -p "$(dirname "$WINEPREFIX")"
  if [ "$VEILBOX_WINE_KIND" = native32 ] &&
    ! dpkg-query -W -f='${db:Status-Status}' wine32:i386 2>/dev/null | grep -qx installed; then
    echo "Wine cannot run 32-bit programs: install Debian's wine32:i386 (scripts/install-deps.sh)" >&2
    return 1
  fi
  if [ -d "$WINEPREFIX" ]; then
    # Made before, by an older set-up or of another kind: start afresh.
    wineserver -k >/dev/null 2>&1
    wineserver -w >/dev/null 2>&1
    rm -rf "$WINEPREFIX"
  fi
  mkdir -p "$WINEPREFIX"
  "$VEILBOX_WINE" wineboot --init >"$log" 2>&1 </dev/null || { cat "$log"; return 1; }
  wineserver -w >>"$log" 2>&1
  "$VEILBOX_WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f >>"$log" 2>&1 </dev/null ||
    { cat "$log"; return 1; }
  wineserver -k >>"$log" 2>&1
  wineserver -w >>"$log" 2>&1
  if [ "$VEILBOX_WINE_KIND" = native32 ] && [ ! -d "$WINEPREFIX/drive_c/windows/syswow64" ]; then
    cat "$log"
    echo "The Wine prefix $WINEPREFIX cannot run 32-bit programs" >&2
    return 1
  fi
  touch "$WINEPREFIX/$marker"
}

# Runs a Windows program under Wine; its standard output and error go to
# the files given, and its exit code is returned.
veilbox_wine_run() {
  local out=$1 err=$2
  shift 2
  "$VEILBOX_WINE" "$@" >"$out" 2>"$err" </dev/null
}
