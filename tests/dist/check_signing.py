#!/usr/bin/python3
"""make dist signs when it is given a certificate, and publishes the zips'
checksums beside them.

A throwaway self-signed certificate is made with openssl; tools/dist.py packs
the tree with it; the till zip's Vb_Ykt.dll and ykt.exe must then verify
with osslsigncode against that certificate, the build tree's files stay
unsigned, and the SHA256SUMS beside the zips must name both with their
checksums. Without SIGN_CERT the package is the plain one (dist_packages).

    check_signing.py BUILD_DIR WORK_DIR
"""
import hashlib
import os
import shutil
import subprocess
import sys
import zipfile

TOP = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL:", message)


def run(command, **kw):
    return subprocess.run(command, capture_output=True, text=True, **kw)


def main():
    build, work = sys.argv[1], sys.argv[2]
    shutil.rmtree(work, ignore_errors=True)
    os.makedirs(work)
    cert, key = os.path.join(work, "cert.pem"), os.path.join(work, "key.pem")
    made = run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                "/CN=Vb_Ykt test signer", "-addext", "extendedKeyUsage=codeSigning", "-keyout", key, "-out", cert])
    if made.returncode != 0:
        print(made.stderr)
        print("FAIL: openssl could not make a certificate")
        return 1
    out = os.path.join(work, "dist")
    env = dict(os.environ, SIGN_CERT=cert, SIGN_KEY=key)
    env.pop("SIGN_TIMESTAMP_URL", None)  # no network here
    packed = run([sys.executable, os.path.join(TOP, "tools", "dist.py"), build, out], env=env)
    print(packed.stdout, end="")
    if packed.returncode != 0:
        print(packed.stderr)
        print("FAIL: tools/dist.py with SIGN_CERT failed")
        return 1

    zips = sorted(n for n in os.listdir(out) if n.endswith(".zip"))
    sums = open(os.path.join(out, "SHA256SUMS"), encoding="ascii").read().splitlines()
    want = [f"{hashlib.sha256(open(os.path.join(out, z), 'rb').read()).hexdigest()}  {z}" for z in zips]
    check(sorted(sums) == sorted(want), f"SHA256SUMS beside the zips reads {sums}, expected {want}")

    till = next(z for z in zips if not z.endswith("-simulator-win32.zip"))
    with zipfile.ZipFile(os.path.join(out, till)) as archive:
        for info in archive.infolist():
            name = info.filename.rsplit("/", 1)[-1]
            if name not in ("Vb_Ykt.dll", "ykt.exe"):
                continue
            path = os.path.join(work, name)
            with open(path, "wb") as f:
                f.write(archive.read(info))
            verified = run(["osslsigncode", "verify", "-CAfile", cert, "-in", path])
            check(verified.returncode == 0 and "Signature verification: ok" in verified.stdout,
                  f"{till}: {name} does not verify:\n{verified.stdout}{verified.stderr}")
            print(f"{till}: {name} signed, verified against the test certificate")
    for name in ("Vb_Ykt.dll", "ykt.exe"):
        plain = run(["osslsigncode", "verify", "-in", os.path.join(build, name)])
        check(plain.returncode != 0, f"{build}/{name} was signed in place: the build tree must stay as built")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
