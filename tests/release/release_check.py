#!/usr/bin/env python3
"""release_check.py PRODUCT [COMPARE]: checks the shipped 32-bit program: PE subsystem version
5.01, no import that Windows XP SP3 lacks (xp_missing.txt beside this script), and static imports
only from DLLs that Windows takes from its system folder. Prints the imports and the sizes of
PRODUCT and of COMPARE, the 64-bit test product."""
import os, re, subprocess, sys  # noqa: E401

# A static import is resolved before the program runs, from the program's own folder first unless
# Windows knows the DLL: a DLL planted beside a downloaded installer would run with its
# administrator rights. Allowed: the KnownDLLs (HKLM\SYSTEM\CurrentControlSet\Control\Session
# Manager\KnownDLLs) common to Windows XP, 7 and 10 as listed in PurePortable/PurePortable,
# PPDK/Lib.4.10/PurePortable.pbi; ntdll, which every process has before it loads anything;
# msvcrt, a KnownDLL from Windows 7 on and imported by the KnownDLLs of Windows XP (shell32,
# advapi32); comctl32, which the manifest binds to the side-by-side Common Controls 6 assembly.
SYSTEM_DLLS = set("""advapi32 comdlg32 gdi32 imagehlp kernel32 ole32 oleaut32 rpcrt4 shell32 user32
                     wldap32 ntdll msvcrt comctl32""".split())
MSVCRT_NEWER = re.compile(r"_[sl]$")  # XP's msvcrt.dll has neither the secure nor the locale ones

product, compare = (sys.argv[1:] + [""])[:2]
# The subsystem version and the imports as binutils reads them.
text, imports, dll = subprocess.run(["objdump", "-p", product], capture_output=True, text=True,
                                    check=True).stdout, {}, None
for line in text.splitlines():
    if m := re.match(r"\tDLL Name: (\S+)", line):
        dll = imports.setdefault(m.group(1).lower(), [])
    elif dll is not None and (m := re.match(r"\t[0-9a-f]+\t +(\d+)  (\S+)", line)):
        dll.append("#" + m.group(1) if m.group(2) == "<none>" else m.group(2))
    elif not line.startswith("\t"):
        dll = None
major, minor = (int(re.search(f + r"SubsystemVersion\s+(\w+)", text)[1], 16)
                for f in ("Major", "Minor"))
failures = ["the shipped program must be a 32-bit PE"] if "PE32+" in text else []
if (major, minor) != (5, 1):
    failures.append(f"subsystem version {major}.{minor:02d}, expected 5.01")
lines = (ln.split(":", 1) for ln in open(os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                    "xp_missing.txt"), encoding="utf-8")
         if ln.strip() and ln[0] != "#")
missing = {dll.strip(): set(names.split()) for dll, names in lines}
print(f"{os.path.basename(product)}: subsystem {major}.{minor:02d}, imports:")
for dll, names in sorted(imports.items()):
    print(f"  {dll}: {' '.join(names)}")
    if dll.removesuffix(".dll") not in SYSTEM_DLLS:
        failures.append(f"{dll} is not a DLL that Windows loads from its system folder only")
    failures += [f"{dll}!{name} does not exist on Windows XP SP3" for name in names
                 if name in missing.get(dll, ()) or (dll == "msvcrt.dll" and MSVCRT_NEWER.search(name))]
print(f"size of the shipped 32-bit product: {os.path.getsize(product)} bytes ({product})")
if os.path.exists(compare):
    print(f"size of the 64-bit test product: {os.path.getsize(compare)} bytes ({compare})")
print("".join("FAIL: " + f + "\n" for f in failures), end="")
sys.exit(1 if failures else 0)
