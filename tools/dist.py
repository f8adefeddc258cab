#!/usr/bin/python3
"""Packs the i686 build for delivery:
   tools/dist.py BUILD_DIR OUT_DIR
BUILD_DIR is the i686 tree (build/win32). Writes, named after the version
in the library's version resource:

  Vb_Ykt-<version>-win32.zip            for the till: Vb_Ykt.dll, ykt.exe,
      the C header, the Pascal unit, the deployment guide, SHA256SUMS.
      Never a reader or card-state DLL: the vendor's go beside it.
  Vb_Ykt-<version>-simulator-win32.zip  for demonstrations and training: the
      same library and ykt.exe with the reader and card-state simulators,
      their guide, SHA256SUMS; its folder says what it is.

Each zip holds one folder. Text files get Windows line ends (Notepad before
Windows 10 shows a file without them as one line); the guides also get a
UTF-8 byte-order mark, without which older Notepad reads them as GBK.
Names are stored in code page 936, which Windows Explorer on a Chinese
system reads, with the UTF-8 name in an Info-ZIP Unicode path field for
every other unpacker. Entries carry the time of the last commit, so the
same sources give the same zips. Beside the zips, SHA256SUMS over both, for
publishing apart from them.

With SIGN_CERT and SIGN_KEY (PEM files; SIGN_PASS the key's password, if
any) Vb_Ykt.dll and ykt.exe are signed with Authenticode (osslsigncode,
SHA-256) before they are packed, with a time stamp from SIGN_TIMESTAMP_URL
(RFC 3161) when it is given; the build tree's files stay unsigned."""
import hashlib
import os
import struct
import subprocess
import sys
import time
import zipfile
import zlib

import pefile

TOP = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
GUIDE = "部署说明.md"
SIMULATOR_GUIDE = "模拟器说明.md"


def version_of(path):
    fixed = pefile.PE(path, fast_load=False).VS_FIXEDFILEINFO[0]
    return "%d.%d.%d.%d" % (fixed.FileVersionMS >> 16, fixed.FileVersionMS & 0xFFFF,
                            fixed.FileVersionLS >> 16, fixed.FileVersionLS & 0xFFFF)


def source_time():
    if os.environ.get("SOURCE_DATE_EPOCH"):
        return int(os.environ["SOURCE_DATE_EPOCH"])
    try:
        return int(subprocess.run(["git", "-C", TOP, "log", "-1", "--format=%ct"], capture_output=True,
                                  text=True, check=True).stdout.strip())
    except (OSError, subprocess.CalledProcessError, ValueError):
        return int(time.time())


def windows_text(data, bom=False):
    text = data.replace(b"\r\n", b"\n").replace(b"\n", b"\r\n")
    return (b"\xef\xbb\xbf" if bom and not text.startswith(b"\xef\xbb\xbf") else b"") + text


class GbkName(zipfile.ZipInfo):
    """An entry whose name is stored in code page 936, without the UTF-8 flag."""

    def _encodeFilenameFlags(self):
        try:
            return self.filename.encode("cp936"), self.flag_bits & ~0x800
        except UnicodeEncodeError:
            return super()._encodeFilenameFlags()


def unicode_path_field(name):
    raw = name.encode("cp936")
    body = struct.pack("<BI", 1, zlib.crc32(raw)) + name.encode("utf-8")
    return struct.pack("<HH", 0x7075, len(body)) + body


def write_zip(path, folder, files, stamp):
    """files: (name inside the folder, bytes), in order."""
    sums = "".join(f"{hashlib.sha256(data).hexdigest()}  {name}\n" for name, data in files)
    entries = list(files) + [("SHA256SUMS", sums.encode("utf-8"))]
    date = time.gmtime(stamp)[:6]
    tmp = path + ".tmp"
    with zipfile.ZipFile(tmp, "w", zipfile.ZIP_DEFLATED, compresslevel=9) as archive:
        for name, data in entries:
            full = f"{folder}/{name}"
            info = GbkName(full, date_time=max(date, (1980, 1, 1, 0, 0, 0)))
            info.compress_type = zipfile.ZIP_DEFLATED
            info.external_attr = 0o644 << 16
            info.create_system = 0  # MS-DOS: no Unix permissions for Windows tools to stumble on
            if not full.isascii():
                info.extra = unicode_path_field(full)
            archive.writestr(info, data)
    os.replace(tmp, path)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def signed(path, stamp, work):
    """The file's bytes, signed when SIGN_CERT and SIGN_KEY are set."""
    cert, key = os.environ.get("SIGN_CERT"), os.environ.get("SIGN_KEY")
    if not cert and not key:
        return read(path)
    if not cert or not key:
        raise SystemExit("dist: SIGN_CERT and SIGN_KEY go together")
    out = os.path.join(work, os.path.basename(path))
    command = ["osslsigncode", "sign", "-certs", cert, "-key", key, "-h", "sha256",
               "-n", "Vb_Ykt", "-in", path, "-out", out]
    if os.environ.get("SIGN_PASS"):
        command += ["-pass", os.environ["SIGN_PASS"]]
    if os.environ.get("SIGN_TIMESTAMP_URL"):
        command += ["-ts", os.environ["SIGN_TIMESTAMP_URL"]]
    elif "-time" in subprocess.run(["osslsigncode", "--help"], capture_output=True, text=True).stdout:
        command += ["-time", str(stamp)]  # no time stamp: the signing time is the commit's
    run = subprocess.run(command, capture_output=True, text=True)
    if run.returncode != 0:
        raise SystemExit(f"dist: signing {path} failed:\n{run.stdout}{run.stderr}")
    return read(out)


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 64
    build, out = sys.argv[1], sys.argv[2]
    library = os.path.join(build, "Vb_Ykt.dll")
    ykt = os.path.join(build, "ykt.exe")
    simulators = [os.path.join(build, "simulator", name) for name in ("irdll.dll", "BCIdll.dll")]
    for path in [library, ykt, os.path.join(build, "Vb_Ykt.lib"), os.path.join(build, "Vb_Ykt.def")] + simulators:
        if not os.path.isfile(path):
            print(f"dist: {path} is missing: build the i686 tree first (make dist does)", file=sys.stderr)
            return 1
    version = version_of(library)
    stamp = source_time()
    os.makedirs(out, exist_ok=True)

    header = windows_text(read(os.path.join(TOP, "include", "Vb_Ykt.h")))
    # Delphi 7 reads its sources in the system's code page: 936 on a till.
    units = [(f"include/{name}", windows_text(read(os.path.join(TOP, "include", name)).decode("utf-8").encode("gbk")))
             for name in ("Vb_Ykt.pas", "Vb_YktDyn.pas", "Vb_YktHeap.pas", "Vb_Ykt.inc")]
    guide = windows_text(read(os.path.join(TOP, "docs", GUIDE)), bom=True)

    work = os.path.join(out, ".signing")
    os.makedirs(work, exist_ok=True)
    library_bytes, ykt_bytes = signed(library, stamp, work), signed(ykt, stamp, work)
    for name in os.listdir(work):
        os.remove(os.path.join(work, name))
    os.rmdir(work)

    till = f"Vb_Ykt-{version}-win32"
    write_zip(os.path.join(out, till + ".zip"), till, [
        ("Vb_Ykt.dll", library_bytes),
        ("ykt.exe", ykt_bytes),
        ("include/Vb_Ykt.h", header),
        *units,
        ("lib/Vb_Ykt.lib", read(os.path.join(build, "Vb_Ykt.lib"))),
        ("lib/Vb_Ykt.def", windows_text(read(os.path.join(build, "Vb_Ykt.def")))),
        (GUIDE, guide),
    ], stamp)

    simulator = f"Vb_Ykt-{version}-simulator-win32"
    write_zip(os.path.join(out, simulator + ".zip"), f"Vb_Ykt-{version}-模拟器-仅用于演示和培训", [
        (SIMULATOR_GUIDE, windows_text(read(os.path.join(TOP, "docs", SIMULATOR_GUIDE)), bom=True)),
        ("Vb_Ykt.dll", library_bytes),
        ("ykt.exe", ykt_bytes),
        ("irdll.dll", read(simulators[0])),
        ("BCIdll.dll", read(simulators[1])),
        (GUIDE, guide),
    ], stamp)
    sums = ""
    for name in (till, simulator):
        path = os.path.join(out, name + ".zip")
        sums += f"{hashlib.sha256(read(path)).hexdigest()}  {name}.zip\n"
        print(f"{path}: {os.path.getsize(path)} bytes")
    with open(os.path.join(out, "SHA256SUMS"), "w", encoding="ascii", newline="\n") as f:
        f.write(sums)
    print(f"{os.path.join(out, 'SHA256SUMS')}: the zips' checksums, to publish apart from them")
    return 0


if __name__ == "__main__":
    sys.exit(main())
