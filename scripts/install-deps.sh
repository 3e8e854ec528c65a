#!/usr/bin/env bash
# Installs the Debian packages that a group of jobs needs, only when one is
# missing: install-deps.sh GROUP... with GROUP one of
#   build    native build and tests
#   windows  the 32-bit Windows cross build, and what runs its tests here
#            (scripts/wine-env.sh): 32-bit Wine; or, where the kernel refuses
#            32-bit programs, what builds and boots the emulated i386 machine
#            (scripts/i386-vm/); or (WARDENIX_WINE=64) 64-bit Wine and a
#            64-bit cross build
#   checks   sanitizers, fuzzers, benchmarks (clang) and stress runs
#   desktop  the Qt front end and the virtual display for its tests
#   package  the Debian package and its checks
#   installer  the Windows installer (NSIS)
#   screenshots  virtual displays whose screens are files, and the tool
#            that turns those into pictures
set -euo pipefail
source "$(dirname "$0")/wine-env.sh"
# The emulated i386 machine's packages are its own (scripts/i386-vm/build.sh).
[[ -z "${WARDENIX_IN_VM:-}" ]] || exit 0

declare -A windows_tests=(
  [32]="wine wine32:i386"
  [vm]="qemu-system-x86 mmdebstrap e2fsprogs cpio binutils"
  [64]="wine wine64 g++-mingw-w64-x86-64-posix"
)
# The installer is also checked in a 64-bit prefix where 32-bit Wine runs
# here, as on 64-bit Windows.
declare -A installer_prefixes=([32]="wine64" [64]="" [vm]="")
declare -A groups=(
  [build]="cmake ninja-build g++ pkg-config googletest libgtest-dev libgmock-dev libsystemd-dev dbus-daemon dbus-bin util-linux iproute2"
  [windows]="g++-mingw-w64-i686-posix ${windows_tests[$wine_bits]}"
  [checks]="clang libclang-rt-14-dev libbenchmark-dev stress-ng python3"
  [desktop]="qt6-base-dev xvfb xauth"
  [package]="dpkg-dev lintian man-db desktop-file-utils adduser"
  [installer]="nsis ${installer_prefixes[$wine_bits]}"
  [screenshots]="xvfb imagemagick"
)

wanted=()
for group in "$@"; do
  [[ -n "${groups[$group]:-}" ]] || { echo "install-deps.sh: unknown group '$group'" >&2; exit 2; }
  read -r -a packages <<<"${groups[$group]}"
  wanted+=("${packages[@]}")
done

missing=()
for package in "${wanted[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo_cmd=()
[[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
if printf '%s\n' "${missing[@]}" | grep -q ':i386$'; then
  "${sudo_cmd[@]}" dpkg --add-architecture i386
fi
"${sudo_cmd[@]}" apt-get update -q
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
