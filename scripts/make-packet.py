#!/usr/bin/env python3
"""Writes a data packet of about SIZE bytes, in the binary or the XML form, for
measuring what loading a large reply costs:
    scripts/make-packet.py binary|xml SIZE OUTPUT     (SIZE: bytes, or 4M, 16M ...)
The rows have the columns of a typical query result: an integer key, a small
integer, a price, a timestamp, a fixed code, a varying name, a varying note that
is blank in every seventh row, and a flag."""
import struct
import sys

COLUMNS = [
    # name, binary type word, XML type name
    ("ID", (1 << 16) | 4, "i4"),
    ("QTY", (1 << 16) | 2, "i2"),
    ("PRICE", (4 << 16) | 8, "r8"),
    ("WHEN", (8 << 16) | 8, "dateTime"),
    ("CODE", (9 << 16) | 8, None),
    ("NAME", (9 << 16) | 2 | 0x400000, "string"),
    ("NOTE", (11 << 16) | 4 | 0x400000, "bin.hex"),
    ("OK", (3 << 16) | 2, "boolean"),
]
TEXT = "n" * 64


def row_values(r):
    return (r, r % 1000, r * 0.25, 45000.5 + r, "CODE", TEXT[: 5 + r % 26],
            None if r % 7 == 0 else TEXT[: r % 41], r & 1 == 1)


def binary(size):
    meta = bytearray()
    for name, word, _ in COLUMNS:
        meta += bytes([len(name)]) + name.encode() + struct.pack("<IHH", word, 0, 0)
    meta += struct.pack("<H", 0)
    body = bytearray()
    rows = 0
    while 24 + len(meta) + len(body) < size:
        ident, qty, price, when, code, name, note, ok = row_values(rows)
        # Row state, then two status bytes; NOTE (position 6) blank is bit 4 of the second.
        body += bytes([0, 0, 0x00 if note is not None else 0x10])
        body += struct.pack("<ihdd", ident, qty, price, when)
        body += code.encode().ljust(8, b"\0")
        body += struct.pack("<H", len(name)) + name.encode()
        if note is not None:
            body += struct.pack("<I", len(note)) + note.encode()
        body += struct.pack("<h", -1 if ok else 0)
        rows += 1
    header = struct.pack("<IHHIHIIH", 0xBDE01996, 1, 0, 24, len(COLUMNS), rows, 0x1, 0)
    return header + meta + body


def xml(size):
    fields = "".join(
        '<FIELD attrname="%s" fieldtype="%s"%s/>' % (name, xml_type or "string",
                                                   ' WIDTH="8"' if name == "CODE" else "")
        for name, _, xml_type in COLUMNS)
    head = ('<?xml version="1.0" standalone="yes"?><DATAPACKET Version="2.0"><METADATA><FIELDS>'
            + fields + '</FIELDS><PARAMS LCID="1033"/></METADATA><ROWDATA>')
    tail = "</ROWDATA></DATAPACKET>"
    parts = [head]
    total = len(head) + len(tail)
    rows = 0
    while total < size:
        ident, qty, price, when, code, name, note, ok = row_values(rows)
        row = '<ROW ID="%d" QTY="%d" PRICE="%r" WHEN="%r" CODE="%s" NAME="%s"%s OK="%s"/>' % (
            ident, qty, price, when, code, name,
            "" if note is None else ' NOTE="%s"' % note.encode().hex(), "TRUE" if ok else "FALSE")
        parts.append(row)
        total += len(row)
        rows += 1
    parts.append(tail)
    return "".join(parts).encode()


def parse_size(text):
    units = {"K": 1 << 10, "M": 1 << 20, "G": 1 << 30}
    if text[-1:].upper() in units:
        return int(text[:-1]) * units[text[-1:].upper()]
    return int(text)


def main():
    if len(sys.argv) != 4 or sys.argv[1] not in ("binary", "xml"):
        sys.exit(__doc__)
    size = parse_size(sys.argv[2])
    data = binary(size) if sys.argv[1] == "binary" else xml(size)
    with open(sys.argv[3], "wb") as out:
        out.write(data)


if __name__ == "__main__":
    main()
