#!/usr/bin/python3
"""Checks the conventions hosts and deployments rely on by reading Vb_Ykt.dll:
export names and ordinals, the stack bytes each i686 export pops, the imports
and the version resource."""
import re
import subprocess
import sys

import pefile

import pe_functions

def read_export_table(header):
    """ordinal: (name, bytes the callee pops on i686), from VB_YKT_EXPORT_TABLE."""
    with open(header, encoding="utf-8") as f:
        rows = re.findall(r"X\((\d+), *(\w+), *(\d+)\)", f.read())
    return {int(ordinal): (name, int(pops)) for ordinal, name, pops in rows}


EXPORTS = {}
VENDOR_IMPORTS = {
    "irdll.dll": {"WT_init", "WT_exit", "ReadCardNoBeep", "ReadCardBeep", "Decrease"},
    "bcidll.dll": {"GetCardState"},
}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "msvcrt.dll"}

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def check_exports(pe):
    found = {e.ordinal: e.name.decode() if e.name else None for e in pe.DIRECTORY_ENTRY_EXPORT.symbols}
    expected = {ordinal: name for ordinal, (name, _) in EXPORTS.items()}
    check(found == expected, f"exports {found} != {expected}")


def check_callee_cleanup(path, pe, objdump):
    # Every return of an export must pop its arguments (stdcall). The product
    # carries no symbols: the body of an export is the range its call-frame
    # record gives.
    base = pe.OPTIONAL_HEADER.ImageBase
    ranges = dict(pe_functions.function_ranges(pe))
    for symbol in pe.DIRECTORY_ENTRY_EXPORT.symbols:
        name, pops = EXPORTS[symbol.ordinal]
        start = base + symbol.address
        if start not in ranges:
            check(False, f"{name}: no call-frame record begins at {start:#x}")
            continue
        listing = subprocess.run([objdump, "-d", "--no-show-raw-insn", f"--start-address={start:#x}",
                                  f"--stop-address={ranges[start]:#x}", path],
                                 capture_output=True, text=True, check=True).stdout
        rets = [int(m.group(2), 16) if m.group(2) else 0
                for m in re.finditer(r"\tret\s*(\$0x([0-9a-f]+))?", listing)]
        check(rets, f"{name}: no return found at {start:#x}")
        check(all(r == pops for r in rets), f"{name}: returns pop {rets}, expected {pops}")


def check_imports(pe):
    dlls = {}
    for entry in pe.DIRECTORY_ENTRY_IMPORT:
        dlls[entry.dll.decode().lower()] = {i.name.decode() for i in entry.imports if i.name}
    for dll, names in VENDOR_IMPORTS.items():
        check(dlls.get(dll) == names, f"imports from {dll}: {dlls.get(dll)} != {names}")
    others = set(dlls) - set(VENDOR_IMPORTS) - SYSTEM_DLLS
    check(not others, f"imports from DLLs that are not part of Windows: {sorted(others)}")


def check_version(pe):
    fixed = pe.VS_FIXEDFILEINFO[0]
    version = (1 << 16 | 1, 0 << 16 | 145)
    check((fixed.FileVersionMS, fixed.FileVersionLS) == version, "file version is not 1.1.0.145")
    check((fixed.ProductVersionMS, fixed.ProductVersionLS) == version, "product version is not 1.1.0.145")
    strings, translations = {}, []
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                check(table.LangID.lower() == b"080403a8", f"string table {table.LangID}")
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
        elif info.Key == b"VarFileInfo":
            for var in info.Var:
                translations.extend(var.entry.values())
    check(strings.get("ProductVersion") == "1.1.0.0", f"ProductVersion {strings.get('ProductVersion')}")
    check(any(t.lower() in ("0x0804 0x03a8",) for t in [str(x) for x in translations]) or
          b"0x0804 0x03a8" in [x if isinstance(x, bytes) else x.encode() for x in translations],
          f"translation {translations} is not 0804/936")


def main():
    path, arch, header = sys.argv[1], sys.argv[2], sys.argv[3]
    EXPORTS.update(read_export_table(header))
    pe = pefile.PE(path)
    check_exports(pe)
    check_imports(pe)
    check_version(pe)
    if arch == "i686":
        check(pe.FILE_HEADER.Machine == 0x14C, "not an i386 image")
        check_callee_cleanup(path, pe, "i686-w64-mingw32-objdump")
    else:
        check(pe.FILE_HEADER.Machine == 0x8664, "not an x86_64 image")
    for failure in failures:
        print("FAIL:", failure)
    print(f"{path}: {'ok' if not failures else f'{len(failures)} problem(s)'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
