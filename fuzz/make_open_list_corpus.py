#!/usr/bin/env python3
"""Writes the seed corpus of open_list_fuzz: tiny archives of every header
level, laid out byte by byte. Run from the repository root."""
import os
import struct

OUT = os.path.join("fuzz", "corpus", "open_list")


def crc16(data, crc=0):
    for b in data:
        crc ^= b
        for _ in range(8):
            crc = (crc >> 1) ^ 0xA001 if crc & 1 else crc >> 1
    return crc


def chain(exts):
    """Extended headers, each followed by the size of the next; returns the
    bytes and the offset of a type-0x00 payload (or None)."""
    out = b""
    crc_at = None
    for i, (kind, payload) in enumerate(exts):
        if kind == 0:
            crc_at = len(out) + 1
        nxt = len(exts[i + 1][1]) + 3 if i + 1 < len(exts) else 0
        out += bytes([kind]) + payload + struct.pack("<H", nxt)
    return out, crc_at


def first_size(exts):
    return len(exts[0][1]) + 3 if exts else 0


def level0(path, data, method=b"-lh0-", attr=0x20):
    body = method + struct.pack("<IIHHBB", len(data), len(data), 0x6000, 0x5821, attr, 0)
    body += bytes([len(path)]) + path + struct.pack("<H", crc16(data))
    return bytes([len(body), sum(body) & 0xFF]) + body + data


def level1(name, data, exts, attr=0x20):
    ext_bytes, crc_at = chain(exts)
    body = b"-lh0-" + struct.pack("<IIHHBB", len(data) + len(ext_bytes), len(data), 0x6000,
                                  0x5821, attr, 1)
    body += bytes([len(name)]) + name + struct.pack("<H", crc16(data)) + b"M"
    body += struct.pack("<H", first_size(exts))
    header = bytearray(bytes([len(body), sum(body) & 0xFF]) + body + ext_bytes)
    if crc_at is not None:
        at = len(body) + 2 + crc_at
        header[at:at + 2] = struct.pack("<H", crc16(header))
    return bytes(header) + data


def level2(exts, data, method=b"-lh0-"):
    ext_bytes, crc_at = chain(exts)
    total = 26 + len(ext_bytes)
    pad = b"\0" if total % 256 == 0 else b""
    total += len(pad)
    header = bytearray(struct.pack("<H", total) + method +
                       struct.pack("<III", len(data), len(data), 1700000000) + b"\x20\x02" +
                       struct.pack("<H", crc16(data)) + b"M" +
                       struct.pack("<H", first_size(exts)) + ext_bytes + pad)
    if crc_at is not None:
        at = 26 + crc_at
        header[at:at + 2] = struct.pack("<H", crc16(header))
    return bytes(header) + data


CRC = (0, b"\0\0")
SEEDS = {
    "empty": b"",
    "end_mark": b"\0",
    "level0": level0(b"dir\xffa.txt", b"hello") + b"\0",
    "level1": level1(b"b.txt", b"level one",
                     [(2, b"d\xff"), (0x40, b"\x21\x00"), CRC]) + b"\0",
    "level1_long_name": level1(b"", b"x", [(1, b"n" * 231), CRC]) + b"\0",
    "level2": level2([(1, b"c.txt"), (2, b"x\xffy\xff"), (0x40, b"\x01\x00"), CRC], b"zz") +
              b"\0",
    "level2_pad": level2([(1, b"p" * 222), CRC], b"") + b"\0",
    "level2_directory_member": level2([(1, b""), (2, b"a\xffb\xff"), (0x40, b"\x10\x00"), CRC],
                                      b"", method=b"-lhd-") + b"\0",
    "three_levels": level0(b"a", b"1") + level1(b"b", b"22", [CRC]) +
                    level2([(1, b"c"), CRC], b"333") + b"\0",
    "unknown_extension": level2([(1, b"u"), (0x7f, b"skip"), CRC], b"") + b"\0",
    "self_extracting": b"MZ" + b"stub" * 30 + level2([(1, b"s.txt"), CRC], b"sfx") + b"\0",
    "no_end_mark": level0(b"a", b"1") + level2([(1, b"b"), CRC], b"2"),
}

os.makedirs(OUT, exist_ok=True)
for name, data in SEEDS.items():
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)
