#!/usr/bin/env bash
# Builds the emulated i386 machine that runs the 32-bit Windows tests where
# the kernel refuses 32-bit programs (scripts/i386-vm/run.sh boots it), or
# leaves it as it is when its recipe has not changed:
#   scripts/i386-vm/build.sh [MACHINE_DIR]     (default build/i386-vm)
# MACHINE_DIR gets vmlinuz, initrd.img and rootfs.img (ext4), and "recipe",
# the hash of everything it is made from (the package list, the scripts that
# build it or run in it, and scripts/wine-run.sh, whose template prefix is
# baked in; run.sh, which only boots it, is not part of it).
#
# Nothing 32-bit runs on the host: the i386 packages are unpacked, not
# configured (maintainer scripts under qemu-user took most of a quarter of an
# hour), and the little the machine needs of what they would do is done here
# with the host's own tools: users and groups, the Wine commands' links,
# awk, the library cache. The font cache and the Wine template prefix are
# made by the machine itself on a first boot. Needs root (the files keep
# their owners) and mmdebstrap, e2fsprogs, cpio, binutils, qemu-system-x86.
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
repo=$(cd "$here/../.." && pwd)
out=${1:-${VM_DIR:-$repo/build/i386-vm}}
mkdir -p "$out"
out=$(cd "$out" && pwd)

recipe=$(cd "$here" && cat packages build.sh initrd-init vm-init setup-guest.sh ../wine-run.sh | sha256sum | cut -c1-16)
built() { [[ "$(cat "$out/recipe" 2>/dev/null)" == "$recipe" ]]; }
# Without the lock first: a machine built by root serves every user.
built && exit 0
exec 9>"$out/.build.lock"
flock 9
built && exit 0
[[ $(id -u) -eq 0 ]] || { echo "i386-vm/build.sh: needs root (sudo $0)" >&2; exit 1; }

echo "i386-vm: building the machine in $out (recipe $recipe)"
started=$SECONDS
rm -f "$out/recipe"
work=$out/work
rm -rf "$work"
mkdir -p "$work"
root=$work/root

# The host's own mirrors when it is bookworm too, else Debian's.
mirror=()
if grep -qs '^VERSION_CODENAME=bookworm$' /etc/os-release; then
  for sources in /etc/apt/sources.list.d/debian.sources /etc/apt/sources.list; do
    if [[ -s $sources ]]; then mirror=("$sources"); break; fi
  done
fi
packages=$(grep -v '^#' "$here/packages" | tr -s ' \n' ',' | sed 's/^,//; s/,$//')
mmdebstrap --quiet --mode=root --variant=extract --architectures=i386 \
  --aptopt='Apt::Install-Recommends "false"' --include="$packages" \
  bookworm "$root" "${mirror[@]}"
echo "i386-vm: packages unpacked: $((SECONDS - started)) s"

# The kernel and the modules the machine loads (from the initrd) leave the
# root file system; the rest of them, hundreds of MB, are not needed.
kernel=$(cd "$root/boot" && ls vmlinuz-* | head -n 1)
kver=${kernel#vmlinuz-}
cp "$root/boot/$kernel" "$out/vmlinuz"
initrd=$work/initrd
mkdir -p "$initrd"/{bin,dev,proc,sys,newroot,modules}
cp "$root/bin/busybox" "$initrd/bin/busybox"
# Each module after those it depends on (their .modinfo "depends=").
load_order=()
add_module() {
  local name=$1 file dep
  [[ " ${load_order[*]} " == *" $name "* ]] && return 0
  file=$(find "$root/lib/modules/$kver/kernel" -name "$name.ko" | head -n 1)
  [[ -n $file ]] || { echo "i386-vm: module $name missing from kernel $kver" >&2; exit 1; }
  for dep in $(strings -a "$file" | sed -n 's/^depends=//p' | tr ',' ' '); do add_module "$dep"; done
  cp "$file" "$initrd/modules/"
  load_order+=("$name")
}
# The disk and its file system, the shared folders.
for module in virtio_pci virtio_blk crc32c_generic ext4 9pnet_virtio 9p; do add_module "$module"; done
sed "s/@MODULES@/${load_order[*]}/" "$here/initrd-init" >"$initrd/init"
chmod 755 "$initrd/init" "$initrd/bin/busybox"
(cd "$initrd" && find . | cpio -o -H newc --quiet | gzip -9) >"$out/initrd.img"
rm -rf "$root/boot"/* "$root/lib/modules"

# What the maintainer scripts would have done, as far as the machine needs it.
cp "$root/usr/share/base-passwd/passwd.master" "$root/etc/passwd"
cp "$root/usr/share/base-passwd/group.master" "$root/etc/group"
printf '127.0.0.1\tlocalhost wardenix-vm\n::1\tlocalhost ip6-localhost ip6-loopback\n' >"$root/etc/hosts"
echo wardenix-vm >"$root/etc/hostname"
echo "/dev/vda / ext4 defaults 0 1" >"$root/etc/fstab"
# Debian's wine picks its stable or development commands by alternatives.
for command in "$root"/usr/bin/*-stable; do
  name=$(basename "$command" -stable)
  [[ -e "$root/usr/bin/$name" ]] || ln -s "$(basename "$command")" "$root/usr/bin/$name"
done
ln -sf mawk "$root/usr/bin/awk"
# libwine gives Wine the zlib of libz-mingw-w64 as a builtin DLL: the same
# file, marked as Wine's in its DOS stub.
for arch in i686:i386 x86_64:x86_64; do
  dll=$(ls "$root/usr/${arch%:*}-w64-mingw32/lib"/zlib*.dll)
  builtin=$root/usr/lib/i386-linux-gnu/wine/${arch#*:}-windows/$(basename "$dll")
  { head -c 64 "$dll"; printf 'Wine builtin DLL'; head -c 16 /dev/zero; tail -c +97 "$dll"; } >"$builtin"
done
# Documentation, manual pages, translations, and the GPU drivers with the
# compiler they load (Xvfb renders without them) are left out.
rm -rf "$root"/usr/share/{doc,man,info,locale,lintian,bug} "$root"/var/cache/apt/* "$root"/var/lib/apt/lists/* \
  "$root"/usr/lib/i386-linux-gnu/dri "$root"/usr/lib/i386-linux-gnu/libLLVM-* "$root"/usr/lib/i386-linux-gnu/libz3.so*
ldconfig -r "$root"
install -m 755 "$here/vm-init" "$root/sbin/vm-init"
mkdir -p "$root/var/lib/wardenix"

# Room beside the files for the template prefix and what the runs write
# (the runs' writes go to a snapshot and leave the image as it was).
size_mb=$(($(du -sm "$root" | cut -f1) * 11 / 10 + 768))
rm -f "$out/rootfs.img"
mkfs.ext4 -q -L wardenix-vm -m 0 -d "$root" "$out/rootfs.img" "${size_mb}M"
echo "i386-vm: image: $(du -sh "$root" | cut -f1) of files in ${size_mb} MB: $((SECONDS - started)) s"
rm -rf "$work"

# First boot: the machine makes its font cache and the Wine template prefix
# that every run starts from, and shows that Wine and Xvfb work.
boot_started=$SECONDS
VM_SETUP=1 "$here/run.sh" "$here/setup-guest.sh"
echo "i386-vm: first boot (font cache, Wine template prefix): $((SECONDS - boot_started)) s"
echo "$recipe" >"$out/recipe"
echo "i386-vm: machine built in $((SECONDS - started)) s, $(du -sh "$out" | cut -f1) on disk"
