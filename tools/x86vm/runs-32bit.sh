#!/usr/bin/env bash
# Exits 0 when this host runs 32-bit x86 programs, 1 when it does not, telling
# by running one: a 96-byte i386 ELF whose only work is exit(42). Names and
# versions tell nothing here: a kernel built with IA32 emulation may still sit
# on a hypervisor that refuses 32-bit code.
set -u
elf=$(mktemp) && trap 'rm -f "$elf"' EXIT
# ELF header, one loadable segment at 0x08048000, then mov eax,1; mov ebx,42; int 0x80.
printf '\x7fELF\x01\x01\x01\0\0\0\0\0\0\0\0\0\x02\0\x03\0\x01\0\0\0\x54\x80\x04\x08\x34\0\0\0\0\0\0\0\0\0\0\0\x34\0\x20\0\x01\0\0\0\0\0\0\0' >"$elf"
printf '\x01\0\0\0\0\0\0\0\0\x80\x04\x08\0\x80\x04\x08\x60\0\0\0\x60\0\0\0\x05\0\0\0\0\x10\0\0' >>"$elf"
printf '\xb8\x01\0\0\0\xbb\x2a\0\0\0\xcd\x80' >>"$elf"
chmod +x "$elf"
"$elf" 2>/dev/null
[ $? = 42 ]
