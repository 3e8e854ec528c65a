#!/usr/bin/env bash
# Builds the Windows installer of Wardenix (NSIS, from the 32-bit build in
# build/windows) and checks it with silent installs and uninstalls under Wine,
# in a Wine prefix of its own that is removed afterwards:
#   1. into a server's folder that holds DAZEVAVIZ.EXE, rez.ini and another
#      file: wardenix.exe lands beside the server, the Startup shortcut of all
#      users starts it in that folder, the uninstaller is there and registered;
#      the silent uninstall removes all of that and leaves the server's files
#      and the folder as they were;
#   2. into the default folder C:\KESTRANE\REZ7, which does not exist yet,
#      twice (an update): the uninstall removes the folder it made.
# Where the kernel runs no 32-bit programs (scripts/wine-env.sh), 64-bit Wine
# cannot run the 32-bit installer either (it starts the 32-bit Wine loader):
# the same installer script is then built for a 64-bit build of the program
# (build/windows-x64) and checked in its place.
#   scripts/check-installer.sh
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/wine-env.sh
scripts/install-deps.sh windows installer
start=$(date +%s)

# The Windows builds as ./test configures them: after ./test only the
# installer is left to make.
version=
build_installer() {  # DIR TOOLCHAIN
  cmake -S . -B "$1" -G Ninja -DCMAKE_BUILD_TYPE=Release -DCMAKE_TOOLCHAIN_FILE="$2" >/dev/null
  cmake --build "$1" --target installer
  version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$1/CMakeCache.txt")
}
build_installer build/windows cmake/mingw-i686.cmake
setup=build/windows/wardenix-setup-$version.exe
program=build/windows/app/windows/wardenix.exe
echo "== $setup"
if [[ $wine_bits == 64 ]]; then
  echo "   $wine_reason: 64-bit Wine would start the 32-bit Wine loader for it, so the"
  echo "   same installer is checked as a 64-bit build (build/windows-x64)"
  build_installer build/windows-x64 cmake/mingw-x86_64.cmake
  setup=build/windows-x64/wardenix-setup-$version-x64.exe
  program=build/windows-x64/app/windows/wardenix.exe
  echo "== $setup"
  export WINEARCH=win64
  loader=/usr/lib/wine/wine64
else
  export WINEARCH=win32
  loader=/usr/lib/wine/wine
fi

run=$(mktemp -d "${TMPDIR:-/tmp}/wardenix-installer.XXXXXX")
export WINEPREFIX=$run/prefix WINEDEBUG=-all
# No .NET or HTML engine (they would ask to be downloaded), no debugger.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
finish() {
  wineserver -k 2>/dev/null || true
  wineserver -w 2>/dev/null || true
  rm -rf "$run"
}
trap finish EXIT
DISPLAY= "$loader" wineboot -i >/dev/null 2>&1 || true
wineserver -w
[[ -f "$WINEPREFIX/system.reg" ]] || { echo "could not make a Wine prefix with $loader"; exit 1; }

drive=$WINEPREFIX/drive_c
shortcut="$drive/ProgramData/Microsoft/Windows/Start Menu/Programs/StartUp/Wardenix.lnk"
key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Wardenix'
failures=0
check() {  # WHAT COMMAND...
  local what=$1; shift
  if "$@"; then echo "  ok: $what"; else echo "  FAILED: $what"; failures=$((failures + 1)); fi
}
registered() { "$loader" reg query "$key" /v InstallLocation 2>/dev/null | tr -d '\r' | grep -qiF "$1"; }
unregistered() { ! "$loader" reg query "$key" >/dev/null 2>&1; }
# The shortcut names the program in the folder (as UTF-16 text or as bytes).
points_into() {
  local path=$1\\wardenix.exe
  grep -qaF "$path" "$shortcut" || grep -qaF "$(printf '%s' "$path" | iconv -t UTF-16LE)" "$shortcut"
}
# The shortcut's working folder: a UTF-16 text after its length (which Wine
# counts with the closing null).
hex() { od -An -tx1 -v | tr -d ' \n'; }
starts_in() {
  local short long
  short=$(printf '%04x' "${#1}") long=$(printf '%04x' $((${#1} + 1)))
  hex <"$shortcut" |
    grep -qE "(${short:2:2}${short:0:2}|${long:2:2}${long:0:2})$(printf '%s' "$1" | iconv -t UTF-16LE | hex)"
}
install() {  # ARG...
  "$loader" "$PWD/$setup" /S "$@" >/dev/null 2>&1 || { echo "  FAILED: the installer exited with $?"; failures=$((failures + 1)); }
  wineserver -w
}
uninstall() {  # FOLDER (Linux path)
  # The uninstaller runs from a copy of itself in the temporary folder, so
  # that it can remove itself: wait for the prefix to be idle.
  "$loader" "$1/wardenix-uninstall.exe" /S >/dev/null 2>&1 || { echo "  FAILED: the uninstaller exited with $?"; failures=$((failures + 1)); }
  wineserver -w
}

echo "== 1. a silent install into the server's folder, then a silent uninstall"
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
check "the shortcut starts C:\\Servidor\\REZ\\wardenix.exe" points_into 'C:\Servidor\REZ'
check "... in C:\\Servidor\\REZ" starts_in 'C:\Servidor\REZ'
check "registered for removal, with its folder" registered 'C:\Servidor\REZ'
check "the server's files untouched" bash -c "cd '$server' && sha256sum --quiet -c <<<'$before'"
uninstall "$server"
check "wardenix.exe removed" test ! -e "$server/wardenix.exe"
check "the uninstaller removed" test ! -e "$server/wardenix-uninstall.exe"
check "the Startup shortcut removed" test ! -e "$shortcut"
check "no longer registered" unregistered
check "the server's files and nothing else left" \
  bash -c "cd '$server' && [[ \$(ls | sort | tr '\n' ' ') == 'DAZEVAVIZ.EXE rez.ini varudedizerazidad.exe ' ]] && sha256sum --quiet -c <<<'$before'"

echo "== 2. a silent install into the default folder, twice, then a silent uninstall"
default=$drive/KESTRANE/REZ7
install
install
check "wardenix.exe in C:\\KESTRANE\\REZ7" cmp -s "$program" "$default/wardenix.exe"
check "the shortcut starts C:\\KESTRANE\\REZ7\\wardenix.exe" points_into 'C:\KESTRANE\REZ7'
check "... in C:\\KESTRANE\\REZ7" starts_in 'C:\KESTRANE\REZ7'
uninstall "$default"
check "the folder the installer made removed" test ! -e "$default"
check "the Startup shortcut removed" test ! -e "$shortcut"
check "no longer registered" unregistered

echo "check-installer.sh took $(( $(date +%s) - start )) s"
if (( failures > 0 )); then
  echo "$failures check(s) FAILED"
  exit 1
fi
echo "installer: every check passed"
