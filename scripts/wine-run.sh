#!/usr/bin/env bash
# Runs one Windows program under Wine in a prefix of its own: a fresh copy of
# a template prefix, removed afterwards. A prefix has its own wineserver and
# so its own process list: a program that ends every process of some name
# ends only its own, and leaves nothing behind for the next program.
#   scripts/wine-run.sh ARCH STATE_DIR [--display] PROGRAM [ARG...]
# ARCH is win32 or win64. STATE_DIR holds the template prefix, made on first
# use (the cross toolchain files pass a folder of their build). --display
# runs the program on an X display (scripts/with-display.sh).
set -euo pipefail
arch=$1 state=$2
shift 2
display=
if [[ "${1:-}" == --display ]]; then display=1; shift; fi
case $arch in
  win32) loader=/usr/lib/wine/wine ;;
  win64) loader=/usr/lib/wine/wine64 ;;
  *) echo "wine-run.sh: ARCH is win32 or win64, not '$arch'" >&2; exit 2 ;;
esac
export WINEARCH=$arch
export WINEDEBUG=${WINEDEBUG:--all}
# A crash ends the program instead of waiting in the debugger.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:+$WINEDLLOVERRIDES;}winedbg.exe=d"

run=$(mktemp -d "${TMPDIR:-/tmp}/wardenix-wine.XXXXXX")
export WINEPREFIX=$run/prefix
finish() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$run"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
# CTest ends a test that runs out of time by killing its process tree, and
# no trap runs then: a guard outside that tree cleans up once this script is
# gone, unless the script did so itself.
(setsid bash -c 'while kill -0 "$1" 2>/dev/null; do sleep 1; done
  [[ -d "$2" ]] || exit 0
  WINEPREFIX=$2/prefix wineserver -k; rm -rf "$2"' guard $$ "$run" </dev/null >/dev/null 2>&1 &)

# The template is made once, without a display (a desktop started now would
# stay tied to none) and without the .NET and HTML engines (which would ask
# to be downloaded). One that Wine would update, Wine having changed since,
# is made anew instead: an update rewrites the system folders that the
# copies share with it. The lock keeps copies from a template in the making.
template=$state/template
mkdir -p "$state"
{
  flock 9
  if [[ -d "$template" && "$(tr -dc 0-9 <"$template/.update-timestamp")" != "$(stat -c %Y /usr/share/wine/wine.inf)" ]]; then
    rm -rf "$template"
  fi
  if [[ ! -d "$template" ]]; then
    rm -rf "$template.new"
    WINEPREFIX=$template.new DISPLAY= WINEDLLOVERRIDES="mscoree,mshtml=" "$loader" wineboot -i >/dev/null 2>&1 || true
    WINEPREFIX=$template.new wineserver -w || true
    [[ -f "$template.new/system.reg" ]] || { echo "wine-run.sh: could not create a $arch Wine prefix with $loader" >&2; exit 1; }
    mv "$template.new" "$template"
  fi
  # The system folders (hundreds of MB of DLLs that Wine only reads) are hard
  # links to the template's; everything else, the registry among it, is a
  # copy of the program's own.
  mkdir "$WINEPREFIX"
  system=(drive_c/windows/system32 drive_c/windows/syswow64 drive_c/windows/winsxs)
  tar -C "$template" "${system[@]/#/--exclude=./}" -cf - . | tar -C "$WINEPREFIX" -xf -
  for folder in "${system[@]}"; do
    if [[ -d "$template/$folder" ]]; then cp -al "$template/$folder" "$WINEPREFIX/$folder"; fi
  done
} 9>"$state/template.lock"

status=0
if [[ -n "$display" ]]; then
  # Through env: with-display.sh would move a command it sees to be Wine
  # into a display prefix of its own, and this copy is that already.
  "$(dirname "$0")/with-display.sh" env "$loader" "$@" || status=$?
else
  "$loader" "$@" || status=$?
fi
exit "$status"
