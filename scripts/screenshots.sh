#!/usr/bin/env bash
# Screenshots of the main window after "Visualizar", for anyone to look at:
# the Windows build (wardenix.exe) under Wine and the Linux build (wardenix,
# Qt) on a virtual display (Xvfb, 1024x768). Writes build/screenshots/:
#   windows-window.png  windows-screen.png  linux-window.png  linux-screen.png
# Needs both builds (./test makes them): build/linux and build/windows (or,
# where the kernel refuses 32-bit programs, build/windows-x64 under 64-bit
# Wine: scripts/wine-env.sh), or the directories in WARDENIX_LINUX_BUILD and
# WARDENIX_WINDOWS_BUILD.
# The test broadcast library goes beside each program, so that no
# "Could not load DLL" box covers the window. Nothing on the machine is
# supervised: the database check fails and no server is started.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/wine-env.sh
windows_default=build/windows
[[ $wine_bits == 64 ]] && windows_default=build/windows-x64
linux=$root/${WARDENIX_LINUX_BUILD:-build/linux}
windows=$root/${WARDENIX_WINDOWS_BUILD:-$windows_default}
out=$root/build/screenshots
grab=$linux/app/qt/wardenix-screengrab
[[ -x "$grab" ]] || { echo "screenshots.sh: build the Linux build with Qt first (./test)" >&2; exit 2; }
mkdir -p "$out"
work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

fifo=$work/display
mkfifo "$fifo"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
pids+=($!)
read -r number <"$fifo"
export DISPLAY=":$number"

echo "== Linux: wardenix"
mkdir -p "$work/linux"
cp "$linux/app/qt/wardenix" "$linux/tests/msgreceiver/dezozude/libdezozude.so" "$work/linux/"
touch "$work/linux/varudedizerazidad.exe"
# Under a bare X server there is no notification area: the window shows at start.
(cd "$work/linux" && DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/none exec ./wardenix >"$work/linux.log" 2>&1) &
linux_pid=$!
pids+=($linux_pid)
sleep 4
"$grab" "$out/linux-screen.png"
# The window is centred: 339 x 173, and no window manager draws a frame.
"$grab" "$out/linux-window.png" $(((1024 - 339) / 2 - 10)) $(((768 - 173) / 2 - 10)) 359 193
kill "$linux_pid" 2>/dev/null || true

if [[ -f "$windows/app/windows/wardenix.exe" ]]; then
  echo "== Windows: wardenix.exe under Wine"
  mkdir -p "$work/windows"
  cp "$windows/app/windows/wardenix.exe" "$windows/tests/msgreceiver/dezozude/DEZOZUDE.DLL" \
     "$windows/tests/app/windows/screenshot-driver.exe" "$work/windows/"
  touch "$work/windows/varudedizerazidad.exe"
  (cd "$work/windows" &&
    exec "$root/scripts/wine-run.sh" "win$wine_bits" "$windows/wine" --display screenshot-driver.exe wardenix.exe ready done) &
  driver=$!
  pids+=($driver)
  for _ in $(seq 1 240); do [[ -s "$work/windows/ready" ]] && break; sleep 0.5; done
  if [[ -s "$work/windows/ready" ]]; then
    read -r x y w h < <(tr -d "\r" <"$work/windows/ready")
    "$grab" "$out/windows-screen.png"
    "$grab" "$out/windows-window.png" $((x - 10)) $((y - 10)) $((w + 20)) $((h + 20))
  else
    echo "screenshots.sh: wardenix.exe did not show its window" >&2
  fi
  touch "$work/windows/done"
  wait "$driver" || true
else
  echo "screenshots.sh: no Windows build at $windows; only the Linux screenshots were taken" >&2
fi
ls -1 "$out"
