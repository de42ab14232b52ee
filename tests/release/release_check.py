#!/usr/bin/env python3
"""Checks the shipped 32-bit program: PE subsystem version 5.01, no import that
Windows XP SP3 lacks (xp_missing.txt beside this script), and static imports
only from DLLs that Windows takes from its system folder. Prints the imports and
the sizes of the products it is given."""
import argparse
import os
import re
import struct
import sys

# A static import is resolved before the program runs, from the program's own
# folder first unless Windows knows the DLL: a DLL planted beside a downloaded
# installer would run with its administrator rights. Allowed: the KnownDLLs
# (HKLM\SYSTEM\CurrentControlSet\Control\Session Manager\KnownDLLs) common to
# Windows XP, 7 and 10 as listed in PurePortable/PurePortable,
# PPDK/Lib.4.10/PurePortable.pbi; ntdll, which every process has before it
# loads anything; msvcrt, a KnownDLL from Windows 7 on and imported by the
# KnownDLLs of Windows XP (shell32, advapi32); comctl32, which the
# manifest binds to the side-by-side Common Controls 6 assembly.
SYSTEM_DLLS = set("""advapi32 comdlg32 gdi32 imagehlp kernel32 ole32 oleaut32 rpcrt4 shell32 user32
                     wldap32 ntdll msvcrt comctl32""".split())
# XP's msvcrt.dll has neither the secure (_s) nor the locale (_l) functions.
MSVCRT_NEWER = re.compile(r"_[sl]$")


def read_missing(path):
    lines = (ln.split(":", 1) for ln in open(path, encoding="utf-8") if ln.strip() and ln[0] != "#")
    return {dll.strip(): set(names.split()) for dll, names in lines}


def read_pe(path):
    """Returns (subsystem version, {dll: [imported names]}, is PE32+)."""
    data = open(path, "rb").read()

    def u(fmt, at):
        return struct.unpack_from("<" + fmt, data, at)

    pe = u("I", 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise SystemExit(f"{path}: not a PE file")
    (nsec,), (opt_size,), opt = u("H", pe + 6), u("H", pe + 20), pe + 24
    wide = u("H", opt)[0] == 0x20B
    import_rva = u("I", opt + (112 if wide else 96) + 8)[0]
    sections = [u("IIII", opt + opt_size + 40 * i + 8) for i in range(nsec)]

    def off(rva):
        for vsize, vaddr, rsize, raddr in sections:
            if vaddr <= rva < vaddr + max(vsize, rsize):
                return rva - vaddr + raddr
        raise ValueError(hex(rva))

    def cstr(o):
        return data[o:data.index(b"\0", o)].decode("ascii", "replace")

    imports, d = {}, off(import_rva) if import_rva else None
    while d is not None and u("I", d + 12)[0]:
        ilt, _, _, name_rva, iat = u("IIIII", d)
        names, t, (step, flag) = [], off(ilt or iat), (8, 1 << 63) if wide else (4, 1 << 31)
        while entry := u("Q" if wide else "I", t)[0]:
            names.append(f"#{entry & 0xFFFF}" if entry & flag else cstr(off(entry & 0x7FFFFFFF) + 2))
            t += step
        imports[cstr(off(name_rva)).lower()], d = names, d + 20
    return u("HH", opt + 48), imports, wide


def main():
    args = argparse.ArgumentParser(description=__doc__)
    args.add_argument("product")
    args.add_argument("--compare", help="the 64-bit test product, whose size is printed too")
    args = args.parse_args()
    (major, minor), imports, wide = read_pe(args.product)
    failures = ["the shipped program must be a 32-bit PE"] if wide else []
    if (major, minor) != (5, 1):
        failures.append(f"subsystem version {major}.{minor:02d}, expected 5.01")
    missing = read_missing(os.path.join(os.path.dirname(os.path.abspath(__file__)), "xp_missing.txt"))
    print(f"{os.path.basename(args.product)}: subsystem {major}.{minor:02d}, imports:")
    for dll, names in sorted(imports.items()):
        print(f"  {dll}: {' '.join(names)}")
        if dll.removesuffix(".dll") not in SYSTEM_DLLS:
            failures.append(f"{dll} is not a DLL that Windows loads from its system folder only")
        failures += [f"{dll}!{name} does not exist on Windows XP SP3" for name in names
                     if name in missing.get(dll, ()) or (dll == "msvcrt.dll" and MSVCRT_NEWER.search(name))]
    print(f"size of the shipped 32-bit product: {os.path.getsize(args.product)} bytes ({args.product})")
    if args.compare and os.path.exists(args.compare):
        print(f"size of the 64-bit test product: {os.path.getsize(args.compare)} bytes ({args.compare})")
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
