#!/usr/bin/env bash
# Takes the screenshots of the README: the tool window, and a message box
# over it, from the Windows build running under Wine's X11 driver on a
# virtual X server (Xvfb). Uses its own Wine prefix (build/wine-x11), not
# the tests' one with the null driver. Writes docs/screenshot-window.png
# and docs/screenshot-message-box.png.
set -eu
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$root"
build=$root/build/windows
if [ ! -f "$build/veilbox.exe" ] || [ ! -f "$build/testing/box-watcher.exe" ]; then
  cmake --preset windows >build/windows.configure.log 2>&1 || { cat build/windows.configure.log; exit 1; }
  cmake --build --preset windows --target veilbox box-watcher >build/windows.screenshot-build.log 2>&1 ||
    { tail -n 40 build/windows.screenshot-build.log; exit 1; }
fi

export WINEPREFIX=$root/build/wine-x11 WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
work=$(mktemp -d)
display=:$((90 + RANDOM % 9))
Xvfb "$display" -screen 0 800x600x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
xvfb=$!
cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  kill "$xvfb" 2>/dev/null || true
  wait "$xvfb" 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT
export DISPLAY=$display
sleep 1

# The programs are 32-bit: a prefix made before Wine's 32-bit half was
# installed cannot run them and is made anew.
if [ ! -f "$WINEPREFIX/.veilbox-x11-ready-wow64" ]; then
  echo "Setting up $WINEPREFIX"
  wineserver -k >/dev/null 2>&1 || true
  rm -rf "$WINEPREFIX"
  wineboot --init >"$work/wineboot.log" 2>&1 </dev/null || { cat "$work/wineboot.log"; exit 1; }
  wineserver -w
  touch "$WINEPREFIX/.veilbox-x11-ready-wow64"
fi

# Veilbox's settings, and a window placement away from the screen's middle
# so that the message box (centred) stands beside the window's caption.
cat >"$work/settings.reg" <<'REG'
Windows Registry Editor Version 5.00

[HKEY_LOCAL_MACHINE\Software\Talvoren\Veilbox]
"CitectDir"="C:\\Citect"
"CompExe"="C:\\Citect\\Bin\\ctcomp.exe"
"AttachName"="ctcomp.exe"
"CitectVer"="7.20"

[HKEY_LOCAL_MACHINE\Software\Talvoren\Veilbox\Forms]
"FrmMainLeft"="300"
"FrmMainTop"="170"

; No window manager runs on the virtual screen: Wine draws every frame.
[HKEY_CURRENT_USER\Software\Wine\X11 Driver]
"Managed"="N"
REG
wine reg import "$(winepath -w "$work/settings.reg")" /reg:32 >"$work/reg.log" 2>&1 </dev/null

# No arguments: the run's first message box comes up over the window.
printf '"%s"' "$(winepath -w "$build/veilbox.exe")" >"$work/command.txt"
wine "$build/testing/box-watcher.exe" "$(winepath -w "$work/record.txt")" \
  "$(winepath -w "$work/command.txt")" 6000 >"$work/watcher.log" 2>&1 </dev/null &
watcher=$!
for _ in $(seq 1 100); do
  grep -q '^text' "$work/record.txt" 2>/dev/null && break
  sleep 0.2
done
sleep 3
xwd -root -silent >"$work/screen.xwd"
wait "$watcher" || true

mkdir -p docs
convert "xwd:$work/screen.xwd" -crop 300x205+250+162 +repage docs/screenshot-message-box.png
convert "xwd:$work/screen.xwd" -crop 210x70+295+165 +repage docs/screenshot-window.png
echo "Wrote docs/screenshot-window.png and docs/screenshot-message-box.png"
cat "$work/record.txt" | sed 's/^/  /'
