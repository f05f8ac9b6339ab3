#!/usr/bin/env python3
"""Repairs the context map of a CHM compiled by Free Pascal's chmcmd 3.2.

chmcmd writes each [ALIAS] target into #STRINGS as an absolute path of the
build machine (/build/dir/setup.html), which no help viewer finds inside the
file. This rewrites #STRINGS with the topics' paths relative to the CHM and
stores it uncompressed at the end of the file; #IVB (context number ->
offset in #STRINGS) stays valid because the offsets are kept.

usage: fix_context_map.py FILE.chm BASE_DIR
"""

import os
import struct
import subprocess
import sys
import tempfile


def read_encint(data, pos):
    value = 0
    while True:
        byte = data[pos]
        pos += 1
        value = (value << 7) | (byte & 0x7F)
        if byte < 0x80:
            return value, pos


def encint(value):
    out = [value & 0x7F]
    value >>= 7
    while value:
        out.append(0x80 | (value & 0x7F))
        value >>= 7
    return bytes(reversed(out))


def parse_chunk(chunk):
    free = struct.unpack_from("<I", chunk, 4)[0]
    end = len(chunk) - free
    pos, entries = 0x14, []
    while pos < end:
        size, pos = read_encint(chunk, pos)
        name = chunk[pos:pos + size].decode("utf-8")
        pos += size
        section, pos = read_encint(chunk, pos)
        offset, pos = read_encint(chunk, pos)
        length, pos = read_encint(chunk, pos)
        entries.append([name, section, offset, length])
    return entries


def build_chunk(header, entries, chunk_size, density):
    body, quickrefs = b"", []
    step = 1 + (1 << density)
    for i, (name, section, offset, length) in enumerate(entries):
        if i and i % step == 0:
            quickrefs.append(len(body))
        raw = name.encode("utf-8")
        body += encint(len(raw)) + raw + encint(section) + encint(offset) + encint(length)
    tail = b"".join(struct.pack("<H", q) for q in reversed(quickrefs)) + struct.pack("<H", len(entries))
    free = chunk_size - 0x14 - len(body)
    if free < len(tail):
        raise SystemExit("directory chunk overflow")
    head = header[:4] + struct.pack("<I", free) + header[8:0x14]
    return head + body + b"\0" * (free - len(tail)) + tail


def main(path, base_dir):
    data = bytearray(open(path, "rb").read())
    if data[:4] != b"ITSF" or struct.unpack_from("<I", data, 4)[0] != 3:
        raise SystemExit("not a version 3 CHM")
    sec0_off = struct.unpack_from("<Q", data, 0x38)[0]
    dir_off = struct.unpack_from("<Q", data, 0x48)[0]
    content0 = struct.unpack_from("<Q", data, 0x58)[0]
    chunk_size, density = struct.unpack_from("<II", data, dir_off + 0x10)
    first, last = struct.unpack_from("<ii", data, dir_off + 0x20)
    prefixes = {os.path.join(d, "") for d in (base_dir, os.path.realpath(base_dir))}
    for index in range(first, last + 1):
        at = dir_off + 0x54 + index * chunk_size
        chunk = bytes(data[at:at + chunk_size])
        if chunk[:4] != b"PMGL":
            continue
        entries = parse_chunk(chunk)
        for entry in entries:
            if entry[0] != "/#STRINGS":
                continue
            strings = read_file(data, entries, content0, entry)
            fixed = strings
            for prefix in prefixes:
                fixed = fixed.replace(prefix.encode("utf-8"), b"")
            entry[1:] = [0, len(data) - content0, len(strings)]
            fixed += b"\0" * (len(strings) - len(fixed))  # keep every offset
            data[at:at + chunk_size] = build_chunk(chunk, entries, chunk_size, density)
            data += fixed
            struct.pack_into("<Q", data, sec0_off + 8, len(data))
            open(path, "wb").write(data)
            return
    raise SystemExit("no #STRINGS in " + path)


def read_file(data, entries, content0, entry):
    """#STRINGS as stored: uncompressed, or in the LZX section (read through
    the chmls tool, which decompresses)."""
    name, section, offset, length = entry
    if section == 0:
        return bytes(data[content0 + offset:content0 + offset + length])
    with tempfile.TemporaryDirectory() as tmp:
        chm = os.path.join(tmp, "in.chm")
        open(chm, "wb").write(data)
        out = os.path.join(tmp, "strings.bin")
        subprocess.run(["chmls", "extract", chm, name, out], check=True, stdout=subprocess.DEVNULL)
        return open(out, "rb").read()


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
