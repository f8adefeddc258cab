#!/usr/bin/python3
"""The product runs on a P6-class CPU (Pentium Pro/II or later) without SSE.

A plain disassembly of the DLL's .text also decodes the data the linker put
there, so the check reads what the link map says went in: every code section
of every object, ours and the static runtime's, disassembled from the object
file itself. Instructions that need MMX, SSE or later fail the check.

Also prints, as figures, the functions that call abort() or std::terminate.

    check_p6.py OBJDUMP AR LINK_MAP LINK_DIR

LINK_DIR is the folder the link ran in: the map's relative paths start there.
"""
import collections
import os
import re
import subprocess
import sys
import tempfile

# A section line of the map: name, address, size, file (an archive member as
# archive(member)). Long section names put the rest on the next line.
SECTION = re.compile(r"^ (\.text\S*)\s*$|^ (\.text\S*)?\s+0x([0-9a-f]+)\s+0x([0-9a-f]+)\s+(\S.*)$")
BEYOND_P6 = re.compile(
    r"%[xy]mm\d|%mm\d|\b(movnt\w*|[lsm]fence|prefetch\w*|popcnt|lzcnt|tzcnt|movbe|cmpxchg16b|"
    r"emms|femms|ldmxcsr|stmxcsr|crc32|pclmul\w*|aes\w*|rdrand|rdseed|xgetbv|xsave\w*)\b")
CALLERS_OF = {"_abort": "abort", "__ZSt9terminatev": "std::terminate"}


def linked_sections(map_path):
    """{file: set of code sections} for every nonempty code section kept."""
    kept = collections.defaultdict(set)
    pending = None
    in_discarded = True
    with open(map_path, encoding="latin-1") as f:
        for line in f:
            if line.startswith("Linker script and memory map"):
                in_discarded = False
            if in_discarded:
                continue
            m = SECTION.match(line.rstrip("\n"))
            if not m:
                pending = None
                continue
            if m.group(1):
                pending = m.group(1)
                continue
            name = m.group(2) or pending
            pending = None
            if name and int(m.group(4), 16) > 0:
                kept[m.group(5).strip()].add(name)
    return kept


def object_file(entry, workdir, ar, cache):
    """The object file of a map entry: a path, or an archive member extracted."""
    m = re.match(r"^(.*)\(([^()]+)\)$", entry)
    if not m:
        return entry if os.path.isabs(entry) else os.path.join(LINK_DIR, entry)
    archive, member = m.groups()
    if not os.path.isabs(archive):
        archive = os.path.abspath(os.path.join(LINK_DIR, archive))
    key = (archive, member)
    if key not in cache:
        target = os.path.join(workdir, str(len(cache)))
        os.mkdir(target)
        subprocess.run([ar, "x", archive, member], cwd=target, check=True)
        cache[key] = os.path.join(target, member)
    return cache[key]


def main():
    global LINK_DIR
    objdump, ar, link_map, LINK_DIR = sys.argv[1:5]
    kept = linked_sections(link_map)
    bad, checked, cmov = [], 0, 0
    callers = collections.defaultdict(set)
    with tempfile.TemporaryDirectory() as work:
        cache = {}
        for entry, sections in sorted(kept.items()):
            path = object_file(entry, work, ar, cache)
            if not os.path.exists(path):
                bad.append(f"{entry}: object file not found")
                continue
            out = subprocess.run([objdump, "-dr", "--no-show-raw-insn", path], capture_output=True, text=True,
                                 check=True).stdout
            section, function = None, None
            for line in out.splitlines():
                if line.startswith("Disassembly of section "):
                    section = line[len("Disassembly of section "):].rstrip(":")
                    continue
                if section not in sections:
                    continue
                m = re.match(r"^[0-9a-f]+ <(.+)>:$", line)
                if m:
                    function = m.group(1)
                    continue
                reloc = re.search(r"(?:DISP32|dir32)\s+(\S+)", line)
                if reloc and reloc.group(1) in CALLERS_OF:
                    callers[CALLERS_OF[reloc.group(1)]].add(f"{function} ({os.path.basename(entry)})")
                if not re.match(r"^\s+[0-9a-f]+:\t", line):
                    continue
                checked += 1
                if "cmov" in line:
                    cmov += 1
                if BEYOND_P6.search(line):
                    bad.append(f"{entry} {section} <{function}>: {line.strip()}")
    for what, where in sorted(callers.items()):
        print(f"calls {what}: " + ("; ".join(sorted(where)) or "none"))
    print(f"{checked} instructions in {sum(len(s) for s in kept.values())} code sections of {len(kept)} objects; "
          f"{cmov} CMOVcc (P6), {len(bad)} beyond P6")
    for line in bad[:40]:
        print("beyond P6:", line)
    return 1 if bad or checked == 0 else 0


if __name__ == "__main__":
    sys.exit(main())
