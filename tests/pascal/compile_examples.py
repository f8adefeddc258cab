#!/usr/bin/python3
"""The example at the top of every Pascal unit compiles as written.

Takes each unit's example (from the "program" line to "end." in its header
comment), writes it to a program of its own and compiles it with Free Pascal
in Delphi mode, not linked (-Cn). ShareMem is a stub here.

    compile_examples.py FPC INCLUDE_DIR STUB_DIR OUT_DIR
"""
import glob
import os
import subprocess
import sys


def example_of(path):
    lines = open(path, encoding="utf-8").read().splitlines()
    start = next((i for i, line in enumerate(lines) if line.strip().startswith("program ")), None)
    if start is None:
        return None
    end = next(i for i in range(start, len(lines)) if lines[i].strip() == "end.")
    return "\n".join(line[4:] for line in lines[start:end + 1]) + "\n"


def main():
    fpc, include, stubs, out = sys.argv[1:5]
    os.makedirs(out, exist_ok=True)
    failed = 0
    units = sorted(glob.glob(os.path.join(include, "*.pas")))
    for unit in units:
        name = os.path.splitext(os.path.basename(unit))[0]
        program = example_of(unit)
        if program is None:
            print(f"FAIL: {name}.pas has no example program")
            failed += 1
            continue
        source = os.path.join(out, f"example_{name.lower()}.dpr")
        with open(source, "w", encoding="utf-8") as f:
            f.write(program)
        run = subprocess.run([fpc, "-Mdelphi", "-Cn", "-Sew", f"-FU{out}", f"-FE{out}", f"-Fu{include}",
                              f"-Fu{stubs}", source], capture_output=True, text=True)
        if run.returncode != 0:
            print(f"FAIL: the example of {name}.pas does not compile:\n{run.stdout}{run.stderr}")
            failed += 1
        else:
            print(f"ok: the example of {name}.pas compiles")
    return 1 if failed or not units else 0


if __name__ == "__main__":
    sys.exit(main())
