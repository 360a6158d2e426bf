#!/usr/bin/env bash
# Lets a kernel that runs no 32-bit x86 program run them through user-mode
# emulation: registers Debian's qemu-i386-static for i386 ELF files in
# binfmt_misc (flag F: the emulator is opened now, so it serves every mount
# namespace). Needs root and the package qemu-user-static. Does nothing when
# the entry is there already. Exits 0 when i386 programs are emulated
# afterwards, 1 (with the reason on standard error) when they cannot be.
set -u
dir=/proc/sys/fs/binfmt_misc
entry=$dir/qemu-i386
emulator=/usr/bin/qemu-i386-static

if [ -e "$entry" ]; then
  head -n 1 "$entry" | grep -qx enabled && exit 0
  echo 1 >"$entry" 2>/dev/null && exit 0
  echo "binfmt_misc has a disabled i386 entry that cannot be enabled" >&2
  exit 1
fi
if [ ! -x "$emulator" ]; then
  echo "$emulator is missing (Debian's qemu-user-static)" >&2
  exit 1
fi
if [ ! -e "$dir/register" ]; then
  if ! mount -t binfmt_misc binfmt_misc "$dir" 2>/dev/null; then
    echo "binfmt_misc cannot be mounted here" >&2
    exit 1
  fi
fi
# The ELF header of an i386 executable or shared object, and its mask.
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
if ! printf '%b' ":qemu-i386:M::$magic:$mask:$emulator:F" >"$dir/register" 2>/dev/null; then
  echo "binfmt_misc refused the i386 entry" >&2
  exit 1
fi
exit 0
