#!/usr/bin/env bash
# Runs one command in the emulated i386 machine (a Debian bookworm i386
# system with 32-bit Wine, Xvfb and ctest; scripts/i386-vm/build.sh builds it
# into build/i386-vm on first use and whenever its recipe changes), for
# machines whose kernel refuses 32-bit programs:
#   scripts/i386-vm/run.sh [--wine-state DIR]... COMMAND [ARG...]
# The machine boots, runs COMMAND in the current folder and powers off; its
# standard output and error are this script's, its exit status this
# script's (125: the machine ended before the command did; its console is
# then shown). The repository (with build/) is mounted at its own absolute
# path, and so is the current folder if it lies outside it, and each folder
# of VM_SHARE (space-separated): paths compiled into a build work as they
# are, and what the command writes there is on the host afterwards (a change
# the host makes while the command runs may go unseen). The command runs
# with the caller's user and group ids and a few of its variables (CI,
# WINEDEBUG, GTEST_*, CTEST_*, WARDENIX_* but WARDENIX_WINE, and those named
# in VM_ENV), and WARDENIX_IN_VM=1; inside, scripts/wine-env.sh finds that
# the machine runs 32-bit programs. Everything else it writes is gone at
# power-off.
#   --wine-state DIR  DIR (a STATE_DIR of scripts/wine-run.sh, such as a
#                     cross build's wine/) is the machine's own instead: it
#                     holds the template prefix made when the machine was
#                     built, and TMPDIR lies inside it (prefix copies
#                     hard-link the template).
# Examples:
#   scripts/i386-vm/run.sh --wine-state build/windows/wine ctest --test-dir build/windows -R datasnap
#   scripts/i386-vm/run.sh --wine-state build/windows/wine scripts/i386-vm/ctest.sh build/windows
#   scripts/i386-vm/run.sh scripts/installer-checks.sh SETUP PROGRAM win32
# Knobs: VM_ACCEL=tcg forces emulation where KVM could be used; VM_CPUS
# (host's), VM_MEM (MiB, 2048), VM_TIMEOUT (seconds, none), VM_DIR (the
# machine, build/i386-vm). The host needs qemu-system-x86 (and for the
# build, scripts/install-deps.sh's packages).
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
usage() { echo "usage: scripts/i386-vm/run.sh [--wine-state DIR]... COMMAND [ARG...]" >&2; exit 2; }
wine_states=()
while [[ $# -gt 0 ]]; do
  case $1 in
    --wine-state) [[ $# -ge 2 ]] || usage; wine_states+=("$(realpath -m "$2")"); shift 2 ;;
    --) shift; break ;;
    -*) usage ;;
    *) break ;;
  esac
done
[[ $# -ge 1 ]] || usage
machine=${VM_DIR:-$repo/build/i386-vm}
# The first boot of a machine in the making (build.sh) keeps what it writes
# and runs as root.
setup=${VM_SETUP:-}
[[ -n $setup ]] || "$here/build.sh" "$machine" >&2

run=$(mktemp -d "${TMPDIR:-/tmp}/wardenix-vm.XXXXXX")
qemu=
finish() {
  [[ -z $qemu ]] || kill "$qemu" 2>/dev/null || true
  rm -rf "$run"
}
trap finish EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
job=$run/job
mkdir -p "$job"

shares=("$repo")
inside() {  # PATH: within a folder already shared
  local share
  for share in "${shares[@]}"; do [[ $1 == "$share" || $1 == "$share"/* ]] && return 0; done
  return 1
}
inside "$PWD" || shares+=("$PWD")
for extra in ${VM_SHARE:-}; do
  extra=$(realpath "$extra")
  inside "$extra" || shares+=("$extra")
done
share_args=()
: >"$job/shares"
for i in "${!shares[@]}"; do
  share_args+=(-virtfs "local,path=${shares[$i]},mount_tag=share$i,security_model=none,id=share$i")
  printf 'share%s\t%s\n' "$i" "${shares[$i]}" >>"$job/shares"
done
printf '%s\n' "${wine_states[@]}" >"$job/wine-states"
printf '%s\0' "$@" >"$job/argv"
printf '%s' "$PWD" >"$job/cwd"
if [[ -n $setup ]]; then echo "0 0"; else echo "$(id -u) $(id -g)"; fi >"$job/user"
# Inside, scripts/install-deps.sh leaves the machine's packages as they are.
printf 'WARDENIX_IN_VM=1\0' >"$job/env"
while IFS= read -r name; do
  printf '%s=%s\0' "$name" "${!name}" >>"$job/env"
done < <(compgen -e | grep -E '^(CI|WINEDEBUG|GTEST_.*|CTEST_.*|WARDENIX_.*)$' | grep -vxE 'WARDENIX_(WINE|IN_VM)' || true)
for name in ${VM_ENV:-}; do
  [[ -v $name ]] && printf '%s=%s\0' "$name" "${!name}" >>"$job/env"
done

# KVM where the host has hardware virtualization (kvm_intel, kvm_amd); else
# TCG. (A host that is itself a guest may offer a /dev/kvm without it, such
# as kvm_pvm's, which runs only 64-bit guests made for it: a 32-bit kernel
# stops at its first instruction the hypervisor has to emulate.) TCG's "max"
# CPU goes without SMAP: QEMU 7.2 faults the return to user mode of every
# Wine process when the guest turns SMAP on.
accel=(-accel tcg,thread=multi -cpu max,-smap)
if [[ ${VM_ACCEL:-} != tcg && -r /dev/kvm && -w /dev/kvm ]] && [[ -d /sys/module/kvm_intel || -d /sys/module/kvm_amd ]]; then
  accel=(-accel kvm -cpu host)
fi
snapshot=on
[[ -z $setup ]] || snapshot=off
# The console and the command's two streams: serial ports, the streams
# through FIFOs (a file back end would truncate a log this script writes to).
mkfifo "$run/out" "$run/err"
cat <"$run/out" &
out_reader=$!
cat <"$run/err" >&2 &
err_reader=$!
${VM_TIMEOUT:+timeout -k 10 "$VM_TIMEOUT"} qemu-system-i386 "${accel[@]}" \
  -smp "${VM_CPUS:-$(nproc)}" -m "${VM_MEM:-2048}" \
  -nodefaults -no-user-config -display none -no-reboot \
  -kernel "$machine/vmlinuz" -initrd "$machine/initrd.img" \
  -append "console=ttyS0 quiet loglevel=3 panic=-1 mitigations=off" \
  -drive "file=$machine/rootfs.img,if=virtio,format=raw,snapshot=$snapshot,discard=unmap" \
  -chardev "file,id=console,path=$run/console" -device isa-serial,chardev=console,index=0 \
  -chardev "file,id=out,path=$run/out" -device isa-serial,chardev=out,index=1 \
  -chardev "file,id=err,path=$run/err" -device isa-serial,chardev=err,index=2 \
  -virtfs "local,path=$job,mount_tag=job,security_model=none,id=job" \
  "${share_args[@]}" </dev/null &
qemu=$!
machine_status=0
wait "$qemu" || machine_status=$?
qemu=
# A machine that never opened its streams leaves their readers waiting for a
# writer: one opens and closes each (a reader sees it even if it came late).
for stream in out err; do exec 7<>"$run/$stream"; exec 7>&-; done
wait "$out_reader" "$err_reader" || true
if [[ ! -s $job/status ]]; then
  echo "i386-vm: the machine ended (status $machine_status) before the command did; its console:" >&2
  tail -n 40 "$run/console" >&2
  exit 125
fi
exit "$(cat "$job/status")"
