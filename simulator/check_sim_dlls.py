#!/usr/bin/python3
"""Reads the simulator DLLs and the library: every function the library
imports from irdll.dll and BCIdll.dll is exported by the simulator of that
name, undecorated, with nothing else beside it; on i686 each pops its
arguments (__stdcall); the simulators need no DLL outside Windows; their
version resource names them as simulators (ProductName, which ykt looks
for, and a description that says so).
   check_sim_dlls.py ARCH Vb_Ykt.dll irdll.dll BCIdll.dll"""
import re
import subprocess
import sys

import pefile

ARG_BYTES = {"WT_init": 16, "WT_exit": 0, "ReadCardNoBeep": 16, "ReadCardBeep": 16, "Decrease": 8,
             "GetCardState": 40}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "msvcrt.dll"}
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def imports_of(pe):
    return {e.dll.decode().lower(): {i.name.decode() for i in e.imports if i.name}
            for e in getattr(pe, "DIRECTORY_ENTRY_IMPORT", [])}


def version_strings(pe):
    strings = {}
    for info in getattr(pe, "FileInfo", [[]])[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    return strings


def simulator_product_name():
    with open(__file__.rsplit("/", 1)[0] + "/SimMarker.h", encoding="utf-8") as header:
        return re.search(r'#define YKT_SIM_PRODUCT_NAME "([^"]*)"', header.read()).group(1)


def callee_pops(path, pe):
    """Bytes popped by each return of each export, read from the disassembly."""
    base = pe.OPTIONAL_HEADER.ImageBase
    starts = {base + e.address: e.name.decode() for e in pe.DIRECTORY_ENTRY_EXPORT.symbols}
    listing = subprocess.run(["i686-w64-mingw32-objdump", "-d", "--no-show-raw-insn", path],
                             capture_output=True, text=True, check=True).stdout
    pops, current = {}, None
    for line in listing.splitlines():
        label = re.match(r"^([0-9a-f]+) <", line)
        if label:
            current = starts.get(int(label.group(1), 16))
            continue
        m = current and re.search(r"\tret\s*(\$0x([0-9a-f]+))?", line)
        if m:
            pops.setdefault(current, []).append(int(m.group(2), 16) if m.group(2) else 0)
    return pops


def main():
    arch, library, sims = sys.argv[1], sys.argv[2], sys.argv[3:]
    wanted = imports_of(pefile.PE(library))
    for path in sims:
        pe = pefile.PE(path)
        name = pe.DIRECTORY_ENTRY_EXPORT.name.decode().lower()
        exported = {e.name.decode() for e in pe.DIRECTORY_ENTRY_EXPORT.symbols if e.name}
        check(name in wanted, f"{path}: the library imports nothing from {name}")
        check(exported == wanted.get(name), f"{path}: exports {sorted(exported)}, "
              f"the library imports {sorted(wanted.get(name, []))}")
        strings = version_strings(pe)
        check(strings.get("ProductName") == simulator_product_name(),
              f"{path}: ProductName {strings.get('ProductName')!r} does not name the simulator")
        check("模拟器" in strings.get("FileDescription", ""),
              f"{path}: FileDescription {strings.get('FileDescription')!r} does not say simulator")
        check(strings.get("OriginalFilename", "").lower() == name,
              f"{path}: OriginalFilename {strings.get('OriginalFilename')!r}")
        others = set(imports_of(pe)) - SYSTEM_DLLS
        check(not others, f"{path}: needs DLLs that are not part of Windows: {sorted(others)}")
        if arch == "i686":
            check(pe.FILE_HEADER.Machine == 0x14C, f"{path}: not an i386 image")
            pops = callee_pops(path, pe)
            # A function without arguments may end in a tail jump instead of a return.
            silent = {f for f in exported - set(pops) if ARG_BYTES.get(f) != 0}
            check(not silent, f"{path}: no returns found for {sorted(silent)}")
            for function, rets in pops.items():
                check(rets and all(r == ARG_BYTES[function] for r in rets),
                      f"{path}: {function} returns pop {rets}, expected {ARG_BYTES[function]}")
        else:
            check(pe.FILE_HEADER.Machine == 0x8664, f"{path}: not an x86_64 image")
    for failure in failures:
        print("FAIL:", failure)
    print("simulator DLLs:", "ok" if not failures else f"{len(failures)} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
