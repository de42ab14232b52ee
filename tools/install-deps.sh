#!/usr/bin/env bash
# Installs what the builds, the tests, the demo and the server check need on a
# Debian machine (as root).
set -euo pipefail
# The shipped program is 32-bit: it is tested in a 32-bit (Windows XP) Wine
# prefix, which needs the i386 Wine. The new architecture's package lists come
# with the apt-get update below, which wine32:i386 being missing triggers.
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
pkgs=(cmake g++ make googletest mingw-w64 g++-mingw-w64-x86-64-posix g++-mingw-w64-i686-win32
      wine wine64 wine32:i386 xvfb locales fonts-wqy-microhei imagemagick nginx-light x11-utils python3
      binutils-mingw-w64-i686 binutils curl time libcurl4-openssl-dev libssl-dev osslsigncode openssl
      clang libclang-rt-14-dev)
# A host that runs no 32-bit code runs the 32-bit Wine inside an emulated x86
# machine (tools/x86vm/), booted from Debian's kernel with a busybox initramfs.
[ "${KELVARA_HOST_RUNS_32BIT:-$(bash "$(dirname "$0")/x86vm/runs-32bit.sh" && echo 1)}" = 1 ] ||
  pkgs+=(qemu-system-x86 linux-image-amd64 busybox-static)
need=()
for pkg in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "ok installed" || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  apt-get update
  apt-get install -y --no-install-recommends "${need[@]}"
fi
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$'; then
  sed -i 's/^# *zh_CN.UTF-8 UTF-8/zh_CN.UTF-8 UTF-8/' /etc/locale.gen
  grep -q '^zh_CN.UTF-8 UTF-8' /etc/locale.gen || echo 'zh_CN.UTF-8 UTF-8' >> /etc/locale.gen
  locale-gen >/dev/null
fi
