"""Where the functions of a stripped 32-bit MinGW image begin and end: read
from the DWARF call-frame records in its .eh_frame section (the name appears
as ".eh_fram" once the string table is stripped), one record per function."""
import struct

DW_EH_PE_omit = 0xFF


def _uleb(data, at):
    value = shift = 0
    while True:
        byte = data[at]
        at += 1
        value |= (byte & 0x7F) << shift
        shift += 7
        if not byte & 0x80:
            return value, at


def _encoded(data, at, encoding, section_va):
    """A pointer in the given DW_EH_PE encoding at data[at]: (value, next)."""
    fmt = encoding & 0x0F
    if fmt in (0x00, 0x03):
        value, size = struct.unpack_from("<I", data, at)[0], 4
    elif fmt == 0x0B:
        value, size = struct.unpack_from("<i", data, at)[0], 4
    elif fmt == 0x02:
        value, size = struct.unpack_from("<H", data, at)[0], 2
    elif fmt == 0x0A:
        value, size = struct.unpack_from("<h", data, at)[0], 2
    elif fmt in (0x04, 0x0C):
        value, size = struct.unpack_from("<q", data, at)[0], 8
    elif fmt == 0x01:
        value, end = _uleb(data, at)
        size = end - at
    else:
        raise ValueError(f"pointer encoding {encoding:#x} not handled")
    if encoding & 0x70 == 0x10:  # pc-relative
        value += section_va + at
    return value & 0xFFFFFFFF, at + size


def function_ranges(pe):
    """[(start VA, end VA)] of every function with a frame record."""
    base = pe.OPTIONAL_HEADER.ImageBase
    section = next((s for s in pe.sections if s.Name.rstrip(b"\0").startswith(b".eh_fram")), None)
    if section is None:
        return []
    data = section.get_data()[:section.Misc_VirtualSize]
    va = base + section.VirtualAddress
    cies, ranges, at = {}, [], 0
    while at + 4 <= len(data):
        length = struct.unpack_from("<I", data, at)[0]
        if length == 0:
            break
        body, end = at + 4, at + 4 + length
        cie_id = struct.unpack_from("<I", data, body)[0]
        if cie_id == 0:  # a common information entry
            p = body + 5
            nul = data.index(b"\0", p)
            augmentation = data[p:nul].decode()
            p = nul + 1
            _, p = _uleb(data, p)  # code alignment
            _, p = _uleb(data, p)  # data alignment (signed, skipped the same way)
            p += 1  # return address register (version 1)
            encoding = 0x00
            if augmentation.startswith("z"):
                _, p = _uleb(data, p)
                for c in augmentation[1:]:
                    if c == "R":
                        encoding = data[p]
                        p += 1
                    elif c == "L":
                        p += 1
                    elif c == "P":
                        personality = data[p]
                        _, p = _encoded(data, p + 1, personality & 0x7F, va)
            cies[at] = encoding
        else:
            encoding = cies[body - cie_id]
            start, p = _encoded(data, body + 4, encoding, va)
            size, _ = _encoded(data, p, encoding & 0x0F, va)
            if encoding != DW_EH_PE_omit and start:
                ranges.append((start, start + size))
        at = end
    return sorted(ranges)
