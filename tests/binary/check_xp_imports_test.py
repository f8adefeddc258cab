#!/usr/bin/python3
"""The XP checker against images made to fail it: each must be reported for
exactly its faults, and the clean control image for none. The image without
relocations is a copy of the clean one with its relocations taken out (the
linker keeps them in every DLL).
   check_xp_imports_test.py LISTS_DIR NEWER_IMPORT_DLL BAD_IMAGE_DLL CLEAN_DLL"""
import os
import sys
import tempfile

import pefile

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_xp_imports  # noqa: E402


def main():
    lists_dir, newer_import, bad_image, clean = sys.argv[1:5]
    lists = check_xp_imports.load_lists(lists_dir)
    pe = pefile.PE(clean)
    pe.FILE_HEADER.Characteristics |= check_xp_imports.IMAGE_FILE_RELOCS_STRIPPED
    directory = pe.OPTIONAL_HEADER.DATA_DIRECTORY[pefile.DIRECTORY_ENTRY["IMAGE_DIRECTORY_ENTRY_BASERELOC"]]
    directory.VirtualAddress = directory.Size = 0
    unmovable = os.path.join(tempfile.mkdtemp(), "xp_unmovable.dll")
    pe.write(unmovable)
    cases = [  # image, the start of each problem it must be reported for
        (newer_import, ["import KERNEL32.dll!GetTickCount64 is not exported by XP SP3"]),
        (bad_image, ["import comctl32.dll!InitCommonControlsEx by name",
                     "subsystem version 6.0 is above 5.1",
                     "operating-system version 6.0 is above 5.1",
                     "NO_SEH is set"]),
        (unmovable, ["no base relocations"]),
        (clean, []),
    ]
    failed = 0
    for path, expected in cases:
        found = check_xp_imports.problems(path, lists)
        missing = [e for e in expected if not any(p.lower().startswith(e.lower()) for p in found)]
        extra = [p for p in found if not any(p.lower().startswith(e.lower()) for e in expected)]
        if missing or extra:
            failed += 1
            print(f"FAIL: {os.path.basename(path)}: not reported {missing}, reported besides {extra}")
        else:
            print(f"{os.path.basename(path)}: reported as expected ({len(found)} problem(s))")
    # A non-zero status on the command line too, as the CI reads it.
    if check_xp_imports.main(["check_xp_imports.py", lists_dir, newer_import]) != 1:
        failed += 1
        print("FAIL: the command line passed an image that imports GetTickCount64")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
