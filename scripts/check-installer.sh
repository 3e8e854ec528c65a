#!/usr/bin/env bash
# Builds the Windows installer of Wardenix (NSIS) and checks the one that is
# shipped, the 32-bit installer of build/windows, with silent installs, an
# update over the running program and uninstalls under Wine
# (scripts/installer-checks.sh says what is checked):
#   scripts/check-installer.sh
# Where this machine runs 32-bit programs, in a 32-bit Wine prefix and in a
# 64-bit one (as on 64-bit Windows, where the 32-bit installer writes to the
# 32-bit registry view); where the kernel refuses them, in a 32-bit prefix in
# the emulated i386 machine (scripts/i386-vm/). Only on the quick path for
# development (WARDENIX_WINE=64, scripts/wine-env.sh) is a 64-bit stand-in,
# the same installer script built for build/windows-x64, checked instead;
# the last line says which installer ran.
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

status=0
case $wine_bits in
  32)
    build_installer build/windows cmake/mingw-i686.cmake
    setup=build/windows/wardenix-setup-$version.exe
    ran="the shipped 32-bit installer $(basename "$setup"), in 32-bit and 64-bit Wine prefixes"
    scripts/installer-checks.sh "$setup" build/windows/app/windows/wardenix.exe win32 || status=1
    if [[ -x /usr/lib/wine/wine64 ]]; then
      scripts/installer-checks.sh "$setup" build/windows/app/windows/wardenix.exe win64 || status=1
    else
      ran="the shipped 32-bit installer $(basename "$setup"), in a 32-bit Wine prefix (no 64-bit Wine here)"
    fi ;;
  vm)
    build_installer build/windows cmake/mingw-i686.cmake
    setup=build/windows/wardenix-setup-$version.exe
    ran="the shipped 32-bit installer $(basename "$setup"), in a 32-bit Wine prefix of the emulated i386 machine"
    echo "== $wine_reason: the checks run in the emulated i386 machine"
    scripts/i386-vm/run.sh scripts/installer-checks.sh "$setup" build/windows/app/windows/wardenix.exe win32 ||
      status=1 ;;
  64)
    build_installer build/windows-x64 cmake/mingw-x86_64.cmake
    setup=build/windows-x64/wardenix-setup-$version-x64.exe
    ran="the 64-bit stand-in $(basename "$setup") ($wine_reason), not the shipped 32-bit installer"
    scripts/installer-checks.sh "$setup" build/windows-x64/app/windows/wardenix.exe win64 || status=1 ;;
esac

echo "check-installer.sh took $(( $(date +%s) - start )) s"
if ((status != 0)); then
  echo "installer: checks FAILED for $ran"
  exit 1
fi
echo "installer: every check passed for $ran"
