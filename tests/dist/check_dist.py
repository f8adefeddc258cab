#!/usr/bin/python3
"""Packs the i686 build with tools/dist.py into a fresh folder, unpacks both
zips and checks them: the till zip holds exactly its files in one folder,
the library and ykt.exe are i686 with version 1.1.0.145, SHA256SUMS covers
every other file and verifies, no reader or card-state DLL (by name or by
the simulator's version resource) is inside, names read the same through
the Unicode path field as through code page 936, the guide is the
repository's. The simulator zip says what it is in its name and folder.
   check_dist.py BUILD_DIR WORK_DIR"""
import hashlib
import os
import shutil
import struct
import subprocess
import sys
import zipfile

import pefile

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
VERSION = "1.1.0.145"
GUIDE = "部署说明.md"
TILL_FILES = {"Vb_Ykt.dll", "ykt.exe", "include/Vb_Ykt.h", "include/Vb_Ykt.pas", "include/Vb_YktDyn.pas",
              "include/Vb_YktHeap.pas", "include/Vb_Ykt.inc", "lib/Vb_Ykt.lib",
              "lib/Vb_Ykt.def", GUIDE, "SHA256SUMS"}
SIMULATOR_FILES = {"Vb_Ykt.dll", "ykt.exe", "irdll.dll", "BCIdll.dll", "模拟器说明.md", GUIDE, "SHA256SUMS"}
VENDOR_DLLS = {"irdll.dll", "bcidll.dll"}
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)


def unicode_path(info):
    """The UTF-8 name of an Info-ZIP Unicode path field, or None."""
    extra = info.extra
    while len(extra) >= 4:
        tag, size = struct.unpack("<HH", extra[:4])
        if tag == 0x7075:
            return extra[9:4 + size].decode("utf-8")
        extra = extra[4 + size:]
    return None


def names_of(archive, zip_name):
    """Entry names as a Windows unpacker sees them: UTF-8 flag, else code page 936."""
    names = []
    for info in archive.infolist():
        raw = info.orig_filename.encode("cp437") if not info.flag_bits & 0x800 else None
        name = raw.decode("cp936") if raw is not None else info.filename
        unicode = unicode_path(info)
        check(unicode is None or unicode == name, f"{zip_name}: {name!r} has the Unicode name {unicode!r}")
        check(not name.isascii() or unicode is None, f"{zip_name}: {name!r} carries a Unicode field it needs not")
        check(name.isascii() or unicode is not None, f"{zip_name}: {name!r} has no Unicode path field")
        names.append(name)
    return names


def unpack(path, into):
    """Returns the folder inside the zip and the files in it (relative names)."""
    zip_name = os.path.basename(path)
    with zipfile.ZipFile(path) as archive:
        check(archive.testzip() is None, f"{zip_name}: a damaged entry")
        names = names_of(archive, zip_name)
        folders = {name.split("/", 1)[0] for name in names}
        check(len(folders) == 1 and all("/" in n for n in names), f"{zip_name}: not one folder: {sorted(folders)}")
        for info, name in zip(archive.infolist(), names):
            target = os.path.join(into, *name.split("/"))
            os.makedirs(os.path.dirname(target), exist_ok=True)
            with open(target, "wb") as out:
                out.write(archive.read(info))
    folder = folders.pop() if len(folders) == 1 else ""
    return folder, {n.split("/", 1)[1] for n in names if "/" in n}


def check_sums(zip_name, root, files):
    with open(os.path.join(root, "SHA256SUMS"), encoding="utf-8") as f:
        lines = f.read().splitlines()
    listed = {}
    for line in lines:
        digest, _, name = line.partition("  ")
        check(len(digest) == 64 and name, f"{zip_name}: SHA256SUMS line {line!r}")
        listed[name] = digest
    check(set(listed) == files - {"SHA256SUMS"},
          f"{zip_name}: SHA256SUMS lists {sorted(listed)}, the zip holds {sorted(files - {'SHA256SUMS'})}")
    for name, digest in listed.items():
        path = os.path.join(root, *name.split("/"))
        if os.path.isfile(path):
            with open(path, "rb") as f:
                actual = hashlib.sha256(f.read()).hexdigest()
            check(actual == digest, f"{zip_name}: {name}: sha256 {actual}, SHA256SUMS says {digest}")
    if shutil.which("sha256sum"):  # the technician's own tool agrees
        run = subprocess.run(["sha256sum", "--check", "--quiet", "SHA256SUMS"], cwd=root, capture_output=True)
        check(run.returncode == 0, f"{zip_name}: sha256sum --check: {run.stdout.decode()}{run.stderr.decode()}")


def product_name(pe):
    for info in getattr(pe, "FileInfo", [[]])[0]:
        if info.Key == b"StringFileInfo":
            for table in info.StringTable:
                value = table.entries.get(b"ProductName")
                if value is not None:
                    return value.decode()
    return None


def check_binary(zip_name, path, name):
    pe = pefile.PE(path)
    check(pe.FILE_HEADER.Machine == 0x14C, f"{zip_name}: {name} is not i686 (machine {pe.FILE_HEADER.Machine:#x})")
    fixed = pe.VS_FIXEDFILEINFO[0] if hasattr(pe, "VS_FIXEDFILEINFO") else None
    version = fixed and "%d.%d.%d.%d" % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                                         fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)
    check(version == VERSION, f"{zip_name}: {name} has version {version}, expected {VERSION}")
    # The same sources give the same file: no link time, no build folder.
    stamps = [("header", pe.FILE_HEADER.TimeDateStamp)]
    if hasattr(pe, "DIRECTORY_ENTRY_EXPORT"):
        stamps.append(("export table", pe.DIRECTORY_ENTRY_EXPORT.struct.TimeDateStamp))
    for where, stamp in stamps:
        check(stamp == 0, f"{zip_name}: {name}'s {where} carries the time stamp {stamp:#x}, expected 0")
    data = open(path, "rb").read()
    for folder in {TOP, os.path.realpath(TOP)}:
        check(folder.encode() not in data, f"{zip_name}: {name} holds the build path {folder}")
    return pe


def main():
    build, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    out = os.path.join(work, "dist")
    run = subprocess.run([sys.executable, os.path.join(TOP, "tools", "dist.py"), build, out],
                         capture_output=True, text=True)
    print(run.stdout, end="")
    if run.returncode != 0:
        print(run.stderr, end="")
        print("FAIL: tools/dist.py failed")
        return 1
    till_zip = os.path.join(out, f"Vb_Ykt-{VERSION}-win32.zip")
    simulator_zip = os.path.join(out, f"Vb_Ykt-{VERSION}-simulator-win32.zip")
    check(sorted(os.listdir(out)) == sorted(["SHA256SUMS"] + list(map(os.path.basename, [till_zip, simulator_zip]))),
          f"dist wrote {sorted(os.listdir(out))}")

    # The till zip.
    name = os.path.basename(till_zip)
    folder, files = unpack(till_zip, os.path.join(work, "till"))
    root = os.path.join(work, "till", folder)
    check(folder == f"Vb_Ykt-{VERSION}-win32", f"{name}: folder {folder!r}")
    check(files == TILL_FILES, f"{name}: holds {sorted(files)}, expected {sorted(TILL_FILES)}")
    for binary in ("Vb_Ykt.dll", "ykt.exe"):
        if binary in files:
            check_binary(name, os.path.join(root, binary), binary)
    # The import library binds each __stdcall name of the header to its
    # undecorated export.
    if "lib/Vb_Ykt.lib" in files:
        lib = open(os.path.join(root, "lib", "Vb_Ykt.lib"), "rb").read()
        check(lib.startswith(b"!<arch>\n"), f"{name}: lib/Vb_Ykt.lib is not an import library")
        for folder in {TOP, os.path.realpath(TOP)}:
            mangled = folder.replace("/", "_").encode()
            check(folder.encode() not in lib and mangled not in lib,
                  f"{name}: lib/Vb_Ykt.lib names the build path {folder}")
        for symbol, export in [(b"_vbDecCard@12", b"vbDecCard"), (b"_vbShowParaForm@4", b"vbShowParaForm"),
                               (b"_vbYktExist@0", b"vbYktExist")]:
            check(symbol in lib and export + b"\0" in lib,
                  f"{name}: lib/Vb_Ykt.lib lacks {symbol.decode()} or its import name {export.decode()}")
    for file in files:
        base = file.rsplit("/", 1)[-1].lower()
        check(base not in VENDOR_DLLS, f"{name}: holds the vendor library name {file}")
        if base.endswith((".dll", ".exe")):
            check(product_name(pefile.PE(os.path.join(root, *file.split("/")))) != "Vb_Ykt Simulator",
                  f"{name}: {file} is a simulator")
    check_sums(name, root, files)
    if GUIDE in files:
        with open(os.path.join(root, GUIDE), "rb") as packed, open(os.path.join(TOP, "docs", GUIDE), "rb") as source:
            text = packed.read()
            check(text.startswith(b"\xef\xbb\xbf") and b"\r\n" in text and b"\n" not in text.replace(b"\r\n", b""),
                  f"{name}: {GUIDE} lacks the byte-order mark or Windows line ends")
            check(text[3:].replace(b"\r\n", b"\n") == source.read(), f"{name}: {GUIDE} differs from docs/{GUIDE}")

    # The simulator zip says what it is.
    name = os.path.basename(simulator_zip)
    folder, files = unpack(simulator_zip, os.path.join(work, "simulator"))
    root = os.path.join(work, "simulator", folder)
    check("模拟器" in folder and "演示" in folder and "培训" in folder, f"{name}: folder {folder!r} does not say so")
    check(files == SIMULATOR_FILES, f"{name}: holds {sorted(files)}, expected {sorted(SIMULATOR_FILES)}")
    for dll in ("irdll.dll", "BCIdll.dll"):
        if dll in files:
            pe = check_binary(name, os.path.join(root, dll), dll)
            check(product_name(pe) == "Vb_Ykt Simulator", f"{name}: {dll} is not marked as the simulator")
    check_sums(name, root, files)

    for failure in failures:
        print("FAIL:", failure)
    print("packages:", "ok" if not failures else f"{len(failures)} problem(s)")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
