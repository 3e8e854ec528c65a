#!/usr/bin/env bash
# Runs a command with an X display: the current one, or else a virtual one
# (Xvfb) of its own for the command's lifetime. The tests of the desktop front
# ends and of the broadcast receiver run through this.
#   scripts/with-display.sh COMMAND [ARG...]
# A Wine command runs in a prefix of its own ("$WINEPREFIX-display"): Wine
# ties a prefix's desktop to the display it first saw, so programs without a
# display elsewhere in the main prefix would leave these without windows.
# Runs in that prefix take turns, each on its own display.
set -euo pipefail

if [[ "$(basename "$1")" == wine* ]]; then
  export WINEARCH=${WINEARCH:-win32}
  export WINEDEBUG=${WINEDEBUG:--all}
  export WINEPREFIX="${WINEPREFIX:-$HOME/.wine}-display"
  # A crash ends the program instead of waiting in the debugger.
  export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winedbg.exe=d"
  mkdir -p "$(dirname "$WINEPREFIX")"
  exec 9>"$WINEPREFIX.lock"
  flock 9
  if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
    WINEDLLOVERRIDES="mscoree,mshtml=" DISPLAY= wineboot -i >/dev/null 2>&1 || true
  fi
  # Any earlier run's desktop ends before this one starts.
  wineserver -w || true
fi

finish() {
  if [[ -n "${WINEPREFIX:-}" && "$(basename "$1")" == wine* ]]; then wineserver -w || true; fi
}

if [[ -n "${DISPLAY:-}" ]]; then
  status=0
  "$@" || status=$?
  finish "$1"
  exit "$status"
fi
command -v Xvfb >/dev/null || { echo "with-display.sh: Xvfb is missing (scripts/install-deps.sh desktop)" >&2; exit 1; }
fifo=$(mktemp -u)
mkfifo "$fifo"
# -displayfd: the server picks a free display and writes its number.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
server=$!
read -r number <"$fifo"
rm -f "$fifo"
export DISPLAY=":$number"
status=0
"$@" || status=$?
finish "$1"
kill "$server" 2>/dev/null || true
wait "$server" 2>/dev/null || true
exit "$status"
