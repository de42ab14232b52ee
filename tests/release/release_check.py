#!/usr/bin/env python3
"""Checks the shipped 32-bit program: PE subsystem version 5.01, no import that
Windows XP SP3 lacks (xp_missing.txt beside this script), and static imports
only from DLLs that Windows takes from its system folder. Prints the imports and
the sizes of the products it is given."""
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
    missing = {}
    for line in open(path, encoding="utf-8"):
        if line.strip() and not line.startswith("#"):
            dll, names = line.split(":", 1)
            missing[dll.strip()] = set(names.split())
    return missing


def read_pe(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[pe:pe + 4] != b"PE\0\0":
        raise SystemExit(f"{path}: not a PE file")
    nsec = struct.unpack_from("<H", data, pe + 6)[0]
    opt_size = struct.unpack_from("<H", data, pe + 20)[0]
    opt = pe + 24
    magic = struct.unpack_from("<H", data, opt)[0]
    pe32plus = magic == 0x20B
    major, minor = struct.unpack_from("<HH", data, opt + 48)
    dirs = opt + (112 if pe32plus else 96)
    import_rva = struct.unpack_from("<I", data, dirs + 8)[0]
    sections = []
    for i in range(nsec):
        s = opt + opt_size + 40 * i
        vsize, vaddr, rsize, raddr = struct.unpack_from("<IIII", data, s + 8)
        sections.append((vaddr, max(vsize, rsize), raddr))

    def off(rva):
        for vaddr, size, raddr in sections:
            if vaddr <= rva < vaddr + size:
                return rva - vaddr + raddr
        raise ValueError(hex(rva))

    def cstr(o):
        return data[o:data.index(b"\0", o)].decode("ascii", "replace")

    imports = {}
    d = off(import_rva) if import_rva else None
    while d is not None:
        ilt, _, _, name_rva, iat = struct.unpack_from("<IIIII", data, d)
        if name_rva == 0:
            break
        dll = cstr(off(name_rva)).lower()
        names = []
        t = off(ilt or iat)
        step, flag = (8, 1 << 63) if pe32plus else (4, 1 << 31)
        while True:
            entry = struct.unpack_from("<Q" if pe32plus else "<I", data, t)[0]
            if entry == 0:
                break
            names.append(f"#{entry & 0xFFFF}" if entry & flag else cstr(off(entry & 0x7FFFFFFF) + 2))
            t += step
        imports[dll] = names
        d += 20
    return (major, minor), imports, pe32plus


def main():
    args = sys.argv[1:]
    compare = []
    if "--compare" in args:
        i = args.index("--compare")
        compare = args[i + 1:i + 2]
        args = args[:i] + args[i + 2:]
    if len(args) != 1:
        raise SystemExit("usage: release_check.py PRODUCT.exe [--compare OTHER.exe]")
    path = args[0]
    (major, minor), imports, pe32plus = read_pe(path)
    failures = []
    if pe32plus:
        failures.append("the shipped program must be a 32-bit PE")
    if (major, minor) != (5, 1):
        failures.append(f"subsystem version {major}.{minor:02d}, expected 5.01")
    missing = read_missing(os.path.join(os.path.dirname(os.path.abspath(__file__)), "xp_missing.txt"))
    for dll, names in sorted(imports.items()):
        if dll.removesuffix(".dll") not in SYSTEM_DLLS:
            failures.append(f"{dll} is not a DLL that Windows loads from its system folder only")
        for name in names:
            if name in missing.get(dll, ()) or (dll == "msvcrt.dll" and MSVCRT_NEWER.search(name)):
                failures.append(f"{dll}!{name} does not exist on Windows XP SP3")
    print(f"{os.path.basename(path)}: subsystem {major}.{minor:02d}, imports:")
    for dll, names in sorted(imports.items()):
        print(f"  {dll}: {' '.join(names)}")
    print(f"size of the shipped 32-bit product: {os.path.getsize(path)} bytes ({path})")
    for other in compare:
        if os.path.exists(other):
            print(f"size of the 64-bit test product: {os.path.getsize(other)} bytes ({other})")
    for f in failures:
        print("FAIL:", f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
