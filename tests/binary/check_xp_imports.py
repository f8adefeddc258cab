#!/usr/bin/python3
"""Reads 32-bit PE files and reports what would stop them from loading on
32-bit Windows XP SP3, which Wine does not show:
- a function imported by name (import table or delay-load table) that the XP
  version of its DLL does not export, per the export lists in LISTS_DIR;
- a DLL imported that has no list and is not one of the vendor libraries;
- anything imported from comctl32 by name (XP's comctl32 5.82 exports some
  functions by ordinal only);
- subsystem or operating-system version above 5.1;
- the NO_SEH flag (the frame-based fault guard registers a handler, which
  Windows refuses to dispatch to in such an image);
- no base relocations (the image could not be moved when its base is taken).
   check_xp_imports.py LISTS_DIR FILE...
Exit status 0 when every file is clean."""
import os
import sys

import pefile

XP_VERSION = (5, 1)
# Not part of Windows, shipped beside the product by the reader's vendor.
VENDOR_DLLS = {"irdll.dll", "bcidll.dll"}
IMAGE_FILE_RELOCS_STRIPPED = 0x0001
IMAGE_DLLCHARACTERISTICS_NO_SEH = 0x0400


def load_lists(folder):
    lists = {}
    for entry in os.listdir(folder):
        if entry.endswith(".txt"):
            with open(os.path.join(folder, entry), encoding="ascii") as f:
                lists[entry[:-4].lower() + ".dll"] = {line.strip() for line in f if line.strip()}
    return lists


def imported(pe):
    """(table, dll, name or None, ordinal or None) for every import."""
    pe.parse_data_directories(directories=[
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_IMPORT"],
        pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT"]])
    for table, attribute in (("import", "DIRECTORY_ENTRY_IMPORT"), ("delay-load", "DIRECTORY_ENTRY_DELAY_IMPORT")):
        for entry in getattr(pe, attribute, []):
            dll = entry.dll.decode()
            for symbol in entry.imports:
                yield table, dll, symbol.name.decode() if symbol.name else None, symbol.ordinal


def problems(path, lists):
    """Every reason path would not load on 32-bit XP SP3, as text."""
    found = []
    pe = pefile.PE(path, fast_load=True)
    if pe.FILE_HEADER.Machine != 0x14C:
        return [f"not an i386 image (machine {pe.FILE_HEADER.Machine:#x})"]
    for table, dll, name, ordinal in imported(pe):
        key = dll.lower()
        if key in VENDOR_DLLS:
            continue
        if key == "comctl32.dll" and name is not None:
            found.append(f"{table} {dll}!{name} by name: comctl32 must be imported by ordinal")
        elif key not in lists:
            found.append(f"{table} {dll}!{name or ordinal}: {dll} is neither part of XP nor a vendor library")
        elif name is not None and name not in lists[key]:
            found.append(f"{table} {dll}!{name} is not exported by XP SP3's {dll}")
    header = pe.OPTIONAL_HEADER
    subsystem = (header.MajorSubsystemVersion, header.MinorSubsystemVersion)
    system = (header.MajorOperatingSystemVersion, header.MinorOperatingSystemVersion)
    if subsystem > XP_VERSION:
        found.append("subsystem version %d.%d is above 5.1" % subsystem)
    if system > XP_VERSION:
        found.append("operating-system version %d.%d is above 5.1" % system)
    if header.DllCharacteristics & IMAGE_DLLCHARACTERISTICS_NO_SEH:
        found.append("NO_SEH is set: Windows would not call the fault guard's handler")
    relocations = header.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    if pe.FILE_HEADER.Characteristics & IMAGE_FILE_RELOCS_STRIPPED or relocations.Size == 0:
        found.append("no base relocations: the image cannot be loaded at another address")
    return found


def main(argv):
    if len(argv) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    lists = load_lists(argv[1])
    failed = 0
    for path in argv[2:]:
        found = problems(path, lists)
        for problem in found:
            print(f"FAIL: {path}: {problem}")
        print(f"{path}: {'ok' if not found else f'{len(found)} problem(s)'}")
        failed += bool(found)
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
