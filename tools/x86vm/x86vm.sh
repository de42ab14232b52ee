#!/usr/bin/env bash
# Runs a job in an emulated x86-64 machine (qemu-system-x86_64, software
# emulation) that sees this host's root file system read-only, with a RAM
# overlay for its writes, and FOLDER writable at its own path. There 32-bit
# x86 code runs even where this host refuses it (an i386 ELF gets "Exec format
# error" under some hypervisors). The job's output streams here; the exit
# status is the job's, or 125 when the machine could not run it.
#   x86vm.sh FOLDER JOB [ARGS...]   (JOB: a bash script, run as root in FOLDER)
#   x86vm.sh --can-run              (status 0, or 125 and why not)
# Needs qemu-system-x86 ($QEMU), linux-image-amd64 and busybox-static; the
# initramfs is built from the installed kernel's modules and kept in
# FOLDER/../x86vm-boot.
set -u
qemu=${QEMU:-qemu-system-x86_64}
kernel=$(ls /boot/vmlinuz-*-amd64 2>/dev/null | sort -V | tail -1)
[ -n "$kernel" ] && command -v "$qemu" >/dev/null && [ -x /bin/busybox ] ||
  { echo "no emulated machine: it needs qemu-system-x86, linux-image-amd64 and busybox-static"; exit 125; }
[ "$1" = --can-run ] && exit 0
share=$(cd "$1" && pwd) job=$(readlink -f "$2")
shift 2
kver=${kernel#/boot/vmlinuz-} boot=$share/../x86vm-boot
initrd=$boot/initramfs-$kver.gz
if [ ! -s "$initrd" ] || [ "$initrd" -ot "$(dirname "$0")/init" ]; then
  # The modules 9p and overlayfs need, each after those it depends on.
  mods=() && need() {
    local m dep
    m=$(grep -E "(^|/)$1\.ko(\.[a-z]+)?:" "/lib/modules/$kver/modules.dep") || return 0
    for dep in ${m#*:}; do need "$(basename "${dep%%.ko*}")"; done
    [[ " ${mods[*]} " == *" ${m%%:*} "* ]] || mods+=("${m%%:*}")
  }
  for m in virtio_pci 9pnet_virtio 9p overlay; do need $m; done
  tree=$(mktemp -d) && mkdir -p "$tree/bin" "$tree/proc" "$tree/sys" "$tree/dev"
  cp /bin/busybox "$tree/bin/" && cp "$(dirname "$0")/init" "$tree/init" && chmod +x "$tree/init"
  for m in "${mods[@]}"; do mkdir -p "$tree/$(dirname "$m")" && cp "/lib/modules/$kver/$m" "$tree/$m"; done
  printf '%s\n' "${mods[@]}" >"$tree/modules"
  mkdir -p "$boot" && (cd "$tree" && find . | busybox cpio -o -H newc 2>/dev/null | gzip -1) >"$initrd.new" &&
    mv "$initrd.new" "$initrd"
  rm -rf "$tree"
fi
{ printf 'cd %q || exit 125\n' "$share"; printf 'set --'; printf ' %q' "$@"; printf '\n. %q\n' "$job"; } >"$share/.x86vm-job"
echo "$share" >"$share/.x86vm-path" && rm -f "$share/.x86vm-status"
# SMAP off: with it, returning to Wine's 32-bit code oopses the guest kernel under TCG.
"$qemu" -accel tcg,thread=multi -cpu max,-smap -smp 2 -m 8192 -no-reboot \
  -display none -monitor none -serial stdio -kernel "$kernel" -initrd "$initrd" \
  -append "console=ttyS0 nosmap quiet loglevel=3 panic=-1" \
  -virtfs local,path=/,mount_tag=hostroot,security_model=none,readonly=on,multidevs=remap \
  -virtfs "local,path=$share,mount_tag=share,security_model=none,multidevs=remap" </dev/null | sed -u 's/\r$//'
status=$(cat "$share/.x86vm-status" 2>/dev/null)
rm -f "$share"/.x86vm-{job,path,status}
exit "${status:-125}"
