#!/usr/bin/env bash
# The Windows half of scripts/screenshots.sh, run wherever Wine runs the
# build (on this machine, or in the emulated i386 machine of
# scripts/i386-vm/): wardenix.exe in a Wine desktop with a taskbar, on a
# virtual display of its own, driven by screenshot-driver.exe (its header
# names the sights). Each sight's screen is left in OUT as NAME.xwd, with
# the place worth keeping in NAME.rect ("x y width height"), for the caller
# to turn into pictures:
#   scripts/windows-sights.sh ARCH BUILD OUT
# ARCH is win32 or win64, BUILD a Windows build (its template prefix is
# BUILD/wine). Twice: without the broadcast library beside the program, for
# the receiver's error box, then with it, as installed; a sight of both runs
# is the second's.
set -euo pipefail
[[ $# -eq 3 ]] || { echo "usage: $0 ARCH BUILD OUT" >&2; exit 2; }
here=$(cd "$(dirname "$0")" && pwd)
arch=$1 build=$(cd "$2" && pwd)
mkdir -p "$3"
out=$(cd "$3" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/wardenix-sights.XXXXXX")
xvfb=
cleanup() {
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

# The display keeps its screen in a file (-fbdir), so that no program of the
# display's own is needed to take it.
mkdir "$work/fb"
mkfifo "$work/display"
Xvfb -displayfd 3 -fbdir "$work/fb" -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
xvfb=$!
read -r number <"$work/display"
export DISPLAY=":$number"

windows_path() { printf 'Z:%s' "${1//\//\\}"; }

sights() {  # FOLDER WITH_LIBRARY(0|1)
  local folder=$work/$1 shots=$work/$1/shots driver name
  mkdir -p "$shots"
  cp "$build/app/windows/wardenix.exe" "$build/tests/app/windows/screenshot-driver.exe" "$folder/"
  (($2)) && cp "$build/tests/msgreceiver/dezozude/DEZOZUDE.DLL" "$folder/"
  touch "$folder/varudedizerazidad.exe"
  # A desktop named "shell" has a taskbar, with the notification area.
  (cd "$folder" && exec "$here/wine-run.sh" "$arch" "$build/wine" explorer /desktop=shell,1024x768 \
    screenshot-driver.exe wardenix.exe "$(windows_path "$shots")") &
  driver=$!
  while kill -0 "$driver" 2>/dev/null; do
    for ready in "$shots"/*.ready; do
      [[ -e "$ready" ]] || continue
      name=$(basename "$ready" .ready)
      cp "$work/fb/Xvfb_screen0" "$out/$name.xwd"
      tr -d '\r' <"$ready" >"$out/$name.rect"
      rm "$ready"
      touch "$shots/$name.done"
      echo "windows-sights: $name"
    done
    sleep 0.2
  done
  wait "$driver" || echo "windows-sights: the driver ended with $? in $1" >&2
}
sights without-library 0
sights with-library 1
