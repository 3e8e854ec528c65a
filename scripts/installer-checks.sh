#!/usr/bin/env bash
# The checks of the Windows installer in one Wine prefix of their own, made
# here and removed afterwards; scripts/check-installer.sh builds the
# installer and runs this wherever Wine can run it (on this machine, or in
# the emulated 32-bit machine of scripts/i386-vm/):
#   scripts/installer-checks.sh SETUP PROGRAM PREFIX_ARCH
# SETUP is the installer, PROGRAM the wardenix.exe it carries, PREFIX_ARCH
# win32 or win64 (a 32-bit installer in a 64-bit prefix runs as it does on
# 64-bit Windows: its registry writes land in the 32-bit view).
#   1. into a server's folder that holds DAZEVAVIZ.EXE, rez.ini and another
#      file: wardenix.exe lands beside the server, registered for removal in
#      the registry view of its own bits, with its event source; the Startup
#      shortcut of all users, opened as a logon opens it, starts the program
#      in that folder; an install over the running program ends it, replaces
#      it and starts it again; the silent uninstall removes all of that and
#      leaves the server's files and the folder as they were;
#   2. into the default folder C:\KESTRANE\REZ7, which does not exist yet,
#      twice (an update): the uninstall removes the folder it made.
# Prints one line a check and exits 1 when any failed.
set -euo pipefail
[[ $# -eq 3 ]] || { echo "usage: $0 SETUP PROGRAM PREFIX_ARCH" >&2; exit 2; }
setup=$(realpath "$1") program=$(realpath "$2") arch=$3
case $arch in
  win32) loader=/usr/lib/wine/wine ;;
  win64) loader=/usr/lib/wine/wine64 ;;
  *) echo "installer-checks.sh: PREFIX_ARCH is win32 or win64, not '$arch'" >&2; exit 2 ;;
esac
# The program's bits, from its PE header: a 32-bit installer writes to the
# 32-bit registry view, the 64-bit stand-in to the 64-bit one.
machine=$(od -An -tx1 -j "$(( $(od -An -tu4 -j 60 -N 4 "$program") + 4 ))" -N 2 "$program" | tr -d ' ')
case $machine in
  4c01) bits=32 ;;
  6486) bits=64 ;;
  *) echo "installer-checks.sh: $program is no Windows program for x86 ($machine)" >&2; exit 2 ;;
esac

run=$(mktemp -d "${TMPDIR:-/tmp}/wardenix-installer.XXXXXX")
export WINEARCH=$arch WINEPREFIX=$run/prefix WINEDEBUG=-all
# No .NET or HTML engine (they would ask to be downloaded), no debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
xvfb=
finish() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null
  rm -rf "$run"
}
trap finish EXIT
# The program runs in some checks, and its window wants a display: the
# prefix sees one display, of its own, from its making to its end.
mkfifo "$run/display"
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$run/display" >/dev/null 2>&1 &
xvfb=$!
read -r number <"$run/display"
export DISPLAY=":$number"
"$loader" wineboot -i >/dev/null 2>&1 || true
wineserver -w
[[ -f "$WINEPREFIX/system.reg" ]] || { echo "installer-checks.sh: could not make a $arch Wine prefix with $loader" >&2; exit 1; }

drive=$WINEPREFIX/drive_c
startup_folder='C:\ProgramData\Microsoft\Windows\Start Menu\Programs\StartUp'
shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/StartUp/Wardenix.lnk"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Wardenix'
source_key='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Wardenix'
failures=0 passed=0
check() {  # WHAT COMMAND...
  local what=$1; shift
  if "$@"; then
    echo "  ok: $what"; passed=$((passed + 1))
  else
    echo "  FAILED: $what"; failures=$((failures + 1))
  fi
}
reg_value() {  # KEY VALUE VIEW(32|64): the value's data, or nothing
  "$loader" reg query "$1" /v "$2" "/reg:$3" 2>/dev/null | tr -d '\r' |
    awk -v name="$2" '$1 == name { $1 = ""; $2 = ""; sub(/^ +/, ""); print }'
}
key_exists() { "$loader" reg query "$1" "/reg:$2" >/dev/null 2>&1; }  # KEY VIEW
other_view=$((bits == 32 ? 64 : 32))
registered() {  # FOLDER: listed for removal, in the program's own view only
  [[ "$(reg_value "$uninstall_key" InstallLocation "$bits")" == "$1" ]] || return 1
  # In a 64-bit prefix, the views differ: the other one must not have it.
  [[ $arch == win32 ]] || ! key_exists "$uninstall_key" "$other_view"
}
unregistered() { ! key_exists "$uninstall_key" 32 && ! key_exists "$uninstall_key" 64; }
# The event source of the Application log, whose messages the program itself
# carries. The services branch is not redirected: one key for either view.
event_source() {  # FOLDER
  [[ "$(reg_value "$source_key" EventMessageFile 64)" == "$1\\wardenix.exe" ]] &&
    [[ "$(reg_value "$source_key" TypesSupported 64)" == 0x7 ]]
}
no_event_source() { ! key_exists "$source_key" 64; }
# The shortcut names the program in the folder (as UTF-16 text or as bytes).
points_into() {
  local path=$1\\wardenix.exe
  grep -qaF "$path" "$shortcut" || grep -qaF "$(printf '%s' "$path" | iconv -t UTF-16LE)" "$shortcut"
}
# The processes of this prefix that run the Windows program NAME (a regular
# expression), as "PID FOLDER" with the folder the process runs in. Only
# this prefix's processes are looked at.
prefix_processes() {  # NAME
  local pid
  for pid in $(pgrep -i -f "$1" || true); do
    tr '\0' '\n' 2>/dev/null <"/proc/$pid/environ" | grep -qxF "WINEPREFIX=$WINEPREFIX" || continue
    tr '\0' ' ' 2>/dev/null <"/proc/$pid/cmdline" | grep -qiE "(^|\\\\)$1( |\$)" || continue
    echo "$pid $(readlink "/proc/$pid/cwd" 2>/dev/null)"
  done
}
watchdogs() { prefix_processes 'wardenix\.exe'; }
# Waits up to 60 s for COMMAND to hold (a program's start under Wine takes
# seconds on a loaded machine).
eventually() {
  local _
  for _ in $(seq 1 120); do "$@" && return 0; sleep 0.5; done
  return 1
}
one_watchdog_in() {  # LINUX_FOLDER [NOT_PID]
  local list
  list=$(watchdogs)
  [[ $(grep -c . <<<"$list") -eq 1 ]] && [[ "$(cut -d' ' -f2- <<<"$list")" == "$1" ]] &&
    [[ -z "${2:-}" || "$(cut -d' ' -f1 <<<"$list")" != "$2" ]]
}
no_watchdog() { [[ -z "$(watchdogs)" ]]; }
install() {  # ARG...
  "$loader" "$setup" /S "$@" >/dev/null 2>&1 || { echo "  FAILED: the installer exited with $?"; failures=$((failures + 1)); }
}
uninstall() {  # FOLDER (Linux path)
  # The uninstaller runs from a copy of itself in the temporary folder, so
  # that it can remove itself: wait for the prefix to be idle, as it is once
  # the copy ended (having ended the program too, or this would not return).
  "$loader" "$1/wardenix-uninstall.exe" /S >/dev/null 2>&1 || { echo "  FAILED: the uninstaller exited with $?"; failures=$((failures + 1)); }
  timeout 120 wineserver -w || { echo "  FAILED: the prefix still busy 120 s after the uninstall"; failures=$((failures + 1)); }
}
changed_at() { stat -c %Z "$1"; }

echo "== $(basename "$setup") ($bits-bit) in a $arch Wine prefix"
echo "== 1. into the server's folder: install, start from the Startup folder, upgrade while running, uninstall"
server=$drive/Servidor/REZ
mkdir -p "$server"
head -c 4096 /dev/urandom >"$server/DAZEVAVIZ.EXE"
printf '[REZ]\r\nIPDS=servidor2\r\nPORTADS=4000\r\n' >"$server/rez.ini"
echo "do servidor" >"$server/varudedizerazidad.exe"
before=$(cd "$server" && sha256sum DAZEVAVIZ.EXE rez.ini varudedizerazidad.exe)
install '/D=C:\Servidor\REZ'
check "wardenix.exe is the built program, beside DAZEVAVIZ.EXE" cmp -s "$program" "$server/wardenix.exe"
check "the uninstaller is in the folder" test -f "$server/wardenix-uninstall.exe"
check "a shortcut in the Startup folder of all users" test -f "$shortcut"
check "the shortcut names C:\\Servidor\\REZ\\wardenix.exe" points_into 'C:\Servidor\REZ'
check "registered for removal in the $bits-bit registry view, with its folder" registered 'C:\Servidor\REZ'
check "the event source Wardenix, its messages in the installed wardenix.exe" event_source 'C:\Servidor\REZ'
check "the server's files untouched" bash -c "cd '$server' && sha256sum --quiet -c <<<'$before'"
check "nothing started by a silent install" no_watchdog

# As a logon does: the shell opens each shortcut of the Startup folder.
"$loader" start "$startup_folder\\Wardenix.lnk" >/dev/null 2>&1 || true
check "the Startup shortcut starts wardenix.exe, in C:\\Servidor\\REZ" eventually one_watchdog_in "$server"
first=$(watchdogs | cut -d' ' -f1)
written=$(changed_at "$server/wardenix.exe")
sleep 1.1  # so that a rewrite shows in the change time
install '/D=C:\Servidor\REZ'
check "an install over the running program ends it" eventually bash -c "[[ -n '$first' ]] && ! kill -0 '$first' 2>/dev/null"
check "... replaces it" bash -c "cmp -s '$program' '$server/wardenix.exe' && [[ \$(stat -c %Z '$server/wardenix.exe') != $written ]]"
check "... and starts it again, in C:\\Servidor\\REZ" eventually one_watchdog_in "$server" "${first:-0}"
check "still registered, once" registered 'C:\Servidor\REZ'
uninstall "$server"
check "the uninstall ends the running program" eventually no_watchdog
check "wardenix.exe removed" test ! -e "$server/wardenix.exe"
check "the uninstaller removed" test ! -e "$server/wardenix-uninstall.exe"
check "the Startup shortcut removed" test ! -e "$shortcut"
check "no longer registered" unregistered
check "the event source removed" no_event_source
check "the server's files and nothing else left" \
  bash -c "cd '$server' && [[ \$(ls | sort | tr '\n' ' ') == 'DAZEVAVIZ.EXE rez.ini varudedizerazidad.exe ' ]] && sha256sum --quiet -c <<<'$before'"

echo "== 2. into the default folder, twice, then uninstall"
default=$drive/KESTRANE/REZ7
install
install
check "wardenix.exe in C:\\KESTRANE\\REZ7" cmp -s "$program" "$default/wardenix.exe"
check "the shortcut names C:\\KESTRANE\\REZ7\\wardenix.exe" points_into 'C:\KESTRANE\REZ7'
check "registered with C:\\KESTRANE\\REZ7" registered 'C:\KESTRANE\REZ7'
check "the event source names C:\\KESTRANE\\REZ7\\wardenix.exe" event_source 'C:\KESTRANE\REZ7'
check "nothing started: none ran before" no_watchdog
uninstall "$default"
check "the folder the installer made removed" test ! -e "$default"
check "the Startup shortcut removed" test ! -e "$shortcut"
check "no longer registered" unregistered
check "the event source removed" no_event_source

if ((failures > 0)); then
  echo "installer checks: $failures of $((passed + failures)) FAILED for $(basename "$setup") in a $arch prefix"
  exit 1
fi
echo "installer checks: $passed passed for $(basename "$setup") in a $arch prefix"
