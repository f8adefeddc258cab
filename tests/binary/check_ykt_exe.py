#!/usr/bin/python3
"""Reads ykt.exe: its manifest (asInvoker, the supported systems from Vista
to 10/11, system DPI awareness), its version resource (the library's
version, a program), and its imports: Windows DLLs only.
   check_ykt_exe.py ykt.exe ARCH"""
import sys
import xml.etree.ElementTree as ElementTree

import pefile

RT_MANIFEST = 24
SUPPORTED_OS = {
    "{e2011457-1546-43c5-a5fe-008deee3d3f0}": "Vista",
    "{35138b9a-5d96-4fbd-8e2d-a2440225f93a}": "7",
    "{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}": "8",
    "{1f676c76-80e1-4239-95bb-83d0f6d0da78}": "8.1",
    "{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}": "10 and 11",
}
SYSTEM_DLLS = {"kernel32.dll", "user32.dll", "advapi32.dll", "shell32.dll", "msvcrt.dll"}
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def manifests(pe):
    found = []
    if not hasattr(pe, "DIRECTORY_ENTRY_RESOURCE"):
        return found
    for kind in pe.DIRECTORY_ENTRY_RESOURCE.entries:
        if kind.id != RT_MANIFEST:
            continue
        for name in kind.directory.entries:
            for language in name.directory.entries:
                data = language.data.struct
                found.append((name.id, pe.get_data(data.OffsetToData, data.Size)))
    return found


def local(tag):
    return tag.rsplit("}", 1)[-1]


def check_manifest(pe):
    found = manifests(pe)
    check([ident for ident, _ in found] == [1], f"manifest resources {[i for i, _ in found]}, expected one with id 1")
    if not found:
        return
    root = ElementTree.fromstring(found[0][1])
    elements = list(root.iter())
    levels = [(e.get("level"), e.get("uiAccess")) for e in elements if local(e.tag) == "requestedExecutionLevel"]
    check(levels == [("asInvoker", "false")], f"requestedExecutionLevel {levels}")
    systems = {e.get("Id", "").lower() for e in elements if local(e.tag) == "supportedOS"}
    missing = [name for guid, name in SUPPORTED_OS.items() if guid not in systems]
    check(not missing, f"supportedOS missing for {missing}")
    check(not systems - set(SUPPORTED_OS), f"unknown supportedOS {sorted(systems - set(SUPPORTED_OS))}")
    dpi = [(e.text or "").strip().lower() for e in elements if local(e.tag) == "dpiAware"]
    check(dpi == ["true"], f"dpiAware {dpi}, expected system awareness (true)")
    check(not [e for e in elements if local(e.tag) == "dpiAwareness"],
          "dpiAwareness would override dpiAware on Windows 10")


def check_version(pe):
    check(hasattr(pe, "VS_FIXEDFILEINFO"), "no version resource")
    if not hasattr(pe, "VS_FIXEDFILEINFO"):
        return
    fixed = pe.VS_FIXEDFILEINFO[0]
    version = (1 << 16 | 1, 0 << 16 | 145)
    check((fixed.FileVersionMS, fixed.FileVersionLS) == version, "file version is not 1.1.0.145")
    check((fixed.ProductVersionMS, fixed.ProductVersionLS) == version, "product version is not 1.1.0.145")
    check(fixed.FileType == 1, f"file type {fixed.FileType}, expected VFT_APP")
    strings = {}
    for info in pe.FileInfo[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                strings.update({k.decode(): v.decode() for k, v in table.entries.items()})
    check(strings.get("OriginalFilename") == "ykt.exe", f"OriginalFilename {strings.get('OriginalFilename')}")
    check(strings.get("FileVersion") == "1.1.0.145", f"FileVersion {strings.get('FileVersion')}")


def check_imports(pe):
    for entry in pe.DIRECTORY_ENTRY_IMPORT:
        dll = entry.dll.decode().lower()
        check(dll in SYSTEM_DLLS, f"imports from {dll}, which is not part of Windows")


def main():
    path, arch = sys.argv[1:3]
    pe = pefile.PE(path)
    check(pe.FILE_HEADER.Machine == (0x14C if arch == "i686" else 0x8664), "wrong machine")
    check_manifest(pe)
    check_version(pe)
    check_imports(pe)
    for failure in failures:
        print("FAIL:", failure)
    print(f"{path}: {'ok' if not failures else f'{len(failures)} problem(s)'}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
