#!/bin/bash
# Runs in the i386 machine on its first boot, as root, its disk kept
# (scripts/i386-vm/build.sh): the font cache, and the Wine template prefix
# that every run's wine-run.sh copies start from, made by
# scripts/wine-run.sh itself; then shows that a Windows program runs, with
# and without a display.
set -euo pipefail
repo=$(cd "$(dirname "$0")/../.." && pwd)
seconds() { cut -d' ' -f1 /proc/uptime; }
echo "i386-vm: $(uname -r), $(nproc) CPU(s), $(wine --version), up at $(seconds) s"
fc-cache -s
echo "i386-vm: font cache made at $(seconds) s"
state=/var/lib/wardenix/wine
mkdir -p "$state/tmp"
TMPDIR=$state/tmp "$repo/scripts/wine-run.sh" win32 "$state" cmd /c echo the machine runs 32-bit Windows programs | tr -d '\r'
# Nine tenths of the template are copies of Wine's own DLLs: they become
# hard links to them (one process for all: a process start is dear here).
wine_dlls=/usr/lib/i386-linux-gnu/wine/i386-windows
system32=$state/template/drive_c/windows/system32
(cd "$system32" && find . -maxdepth 1 -type f -printf '%P\0' | xargs -0 md5sum) >/tmp/template.sums
(cd "$wine_dlls" && find . -maxdepth 1 -type f -printf '%P\0' | xargs -0 md5sum) >/tmp/wine.sums
sort /tmp/template.sums /tmp/wine.sums | uniq -d | cut -c35- >/tmp/same
(cd "$wine_dlls" && xargs -d '\n' cp -fl -t "$system32" </tmp/same)
echo "i386-vm: Wine template prefix made at $(seconds) s ($(du -sh "$wine_dlls" "$state/template" | tail -n 1 | cut -f1) beside Wine)"
TMPDIR=$state/tmp "$repo/scripts/wine-run.sh" win32 "$state" --display cmd /c echo and programs with a display | tr -d '\r'
echo "i386-vm: a program on a display at $(seconds) s"
rm -rf "$state/tmp"/*
# The blocks left free go back to the host (the image is a sparse file).
fstrim /
