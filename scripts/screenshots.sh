#!/usr/bin/env bash
# Screenshots of what a user meets, for anyone to look at, on virtual
# displays (Xvfb, 1024x768) whose screens are kept in files. Writes
# build/screenshots/:
#   windows-window.png  windows-screen.png   the shipped 32-bit wardenix.exe
#                                            after "Visualizar", in a Wine
#                                            desktop with a taskbar
#   windows-tray-menu.png                    its tray icon's menu, opened as
#                                            a right click opens it
#   windows-library-error.png                the broadcast receiver's box when
#                                            DEZOZUDE.DLL is not beside it
#   linux-window.png    linux-screen.png     the Linux build (wardenix, Qt)
# The Windows sights come from 32-bit Wine: on this machine where it runs
# 32-bit programs, else in the emulated i386 machine (scripts/i386-vm/); on
# the quick path for development (WARDENIX_WINE=64, scripts/wine-env.sh)
# from build/windows-x64 under 64-bit Wine. Needs the builds ./test makes
# (or the directories in WARDENIX_LINUX_BUILD and WARDENIX_WINDOWS_BUILD).
# Nothing on the machine is supervised: the database check fails and no
# server is started.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
source scripts/wine-env.sh
scripts/install-deps.sh desktop screenshots
windows_default=build/windows arch=win32
[[ $wine_bits == 64 ]] && windows_default=build/windows-x64 arch=win64
linux=$root/${WARDENIX_LINUX_BUILD:-build/linux}
windows=$root/${WARDENIX_WINDOWS_BUILD:-$windows_default}
out=$root/build/screenshots
mkdir -p "$out"
work=$(mktemp -d "$root/build/screenshots.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# NAME: the screen NAME.xwd whole, and cut to NAME.rect with a margin of 10.
pictures() {  # FROM NAME TO
  local x y w h
  convert "xwd:$1/$2.xwd" "$out/$3-screen.png"
  read -r x y w h <"$1/$2.rect"
  convert "xwd:$1/$2.xwd" -crop "$((w + 20))x$((h + 20))+$((x - 10))+$((y - 10))" +repage "$out/$3.png"
}

if [[ -x "$linux/app/qt/wardenix" ]]; then
  echo "== Linux: wardenix"
  mkdir -p "$work/linux/fb"
  cp "$linux/app/qt/wardenix" "$linux/tests/msgreceiver/dezozude/libdezozude.so" "$work/linux/"
  touch "$work/linux/varudedizerazidad.exe"
  mkfifo "$work/display"
  Xvfb -displayfd 3 -fbdir "$work/linux/fb" -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
  pids+=($!)
  read -r number <"$work/display"
  # Under a bare X server there is no notification area: the window shows at start.
  (cd "$work/linux" && DISPLAY=":$number" DBUS_SYSTEM_BUS_ADDRESS=unix:path=$work/none exec ./wardenix >"$work/linux.log" 2>&1) &
  pids+=($!)
  sleep 4
  cp "$work/linux/fb/Xvfb_screen0" "$work/linux/window.xwd"
  # The window is centred: 339 x 173, and no window manager draws a frame.
  echo "$(((1024 - 339) / 2)) $(((768 - 173) / 2)) 339 173" >"$work/linux/window.rect"
  pictures "$work/linux" window linux-window
  mv "$out/linux-window-screen.png" "$out/linux-screen.png"
else
  echo "screenshots.sh: no Linux build with Qt at $linux; only the Windows screenshots are taken" >&2
fi

if [[ -f "$windows/app/windows/wardenix.exe" ]]; then
  echo "== Windows: $windows/app/windows/wardenix.exe ($wine_reason)"
  sights=(scripts/windows-sights.sh "$arch" "$windows" "$work/windows")
  if [[ $wine_bits == vm ]]; then
    scripts/i386-vm/run.sh --wine-state "$windows/wine" "${sights[@]}"
  else
    "${sights[@]}"
  fi
  pictures "$work/windows" window windows-window
  mv "$out/windows-window-screen.png" "$out/windows-screen.png"
  pictures "$work/windows" tray-menu windows-tray-menu
  pictures "$work/windows" library-error windows-library-error
  rm -f "$out/windows-tray-menu-screen.png" "$out/windows-library-error-screen.png"
else
  echo "screenshots.sh: no Windows build at $windows; only the Linux screenshots were taken" >&2
fi
ls -1 "$out"
