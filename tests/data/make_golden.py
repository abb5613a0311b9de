#!/usr/bin/env python3
"""Writes the writer's golden files from pieces derived by hand, never from the writer's output.

Each file is assembled from literal pieces whose offsets and lengths are asserted against the
values worked out by hand, so a mistake in a piece stops the script instead of landing in a
golden file. Run it from this directory; it rewrites clean.pdf, table_example.pdf and
stream_example.pdf.
"""


def assemble(pieces):
    """Concatenates (expected_offset, expected_length, bytes) pieces, checking each one."""
    out = b""
    for offset, length, data in pieces:
        assert len(out) == offset, (offset, len(out), data[:40])
        assert len(data) == length, (length, len(data), data[:40])
        out += data
    return out


def entry(offset):
    """A 7-byte cross-reference stream entry of an object in the body, generation 0."""
    return bytes([1]) + offset.to_bytes(4, "big") + (0).to_bytes(2, "big")


# clean.pdf: the command's output, 583 bytes.
content = b"BT /F1 24 Tf 100 700 Td (Clean PDF Generated for Signing Test) Tj ET"
assert len(content) == 68
xref_data = bytes.fromhex(
    "01 00 00 00 09 00 00"
    "01 00 00 00 3C 00 00"
    "01 00 00 00 7B 00 00"
    "01 00 00 00 A1 00 00"
    "01 00 00 01 15 00 00"
    "01 00 00 01 75 00 00"
    "01 00 00 01 A2 00 00")
assert len(xref_data) == 49
assert xref_data == b"".join(entry(o) for o in (9, 60, 123, 161, 277, 373, 418))
clean = assemble([
    (0, 9, b"%PDF-1.7\n"),
    (9, 51, b"1 0 obj\n<</Type/Pages/Kids[5 0 R]/Count 1>>\nendobj\n"),
    (60, 63, b"2 0 obj\n<</Type/Font/Subtype/Type1/BaseFont/Helvetica>>\nendobj\n"),
    (123, 38, b"3 0 obj\n<</Font<</F1 2 0 R>>>>\nendobj\n"),
    (161, 116, b"4 0 obj\n<</Length 68>>stream\n" + content + b"\nendstream \nendobj\n"),
    (277, 96, b"5 0 obj\n<</Type/Page/Parent 1 0 R/MediaBox[0 0 595 842]/Contents 4 0 R"
              b"/Resources 3 0 R>>\nendobj\n"),
    (373, 45, b"6 0 obj\n<</Type/Catalog/Pages 1 0 R>>\nendobj\n"),
    (418, 145, b"7 0 obj\n<</Root 6 0 R/Type/XRef/Size 8/W[1 4 2]/Index[1 7]/Length 49>>stream\n"
               + xref_data + b"\nendstream \nendobj\n"),
    (563, 20, b"\nstartxref\n418\n%%EOF"),
])
assert len(clean) == 583


# The two forms of one small document: version 1.7, highest number 5, objects 1, 2, 3 and 5 (no
# 4) opening at 9, 60, 140 and 300, the body ending at 420, trailer << /Root 1 0 R >>. Objects 1
# to 3 are a catalog, a page tree and a page (so that PDF checkers accept the file), each padded
# with an "X" entry holding a literal string of lower-case letters; object 5 is such a string on
# its own. Frame: "N 0 obj\n" (8 bytes) + object + "\nendobj\n" (8 bytes).
def filler(length):
    return (b"abcdefghijklmnopqrstuvwxyz" * 10)[:length]


def framed(number, text):
    return str(number).encode() + b" 0 obj\n" + text + b"\nendobj\n"


# 51 = 16 + 35 = 16 + 29 + len("/X()") + 2
catalog = b"<</Type/Catalog/Pages 2 0 R/X(" + filler(2) + b")>>"
# 80 = 16 + 64 = 16 + 35 + 4 + 25
pages = b"<</Type/Pages/Kids[3 0 R]/Count 1/X(" + filler(25) + b")>>"
# 160 = 16 + 144 = 16 + 49 + 4 + 91
page = b"<</Type/Page/Parent 2 0 R/MediaBox[0 0 595 842]/X(" + filler(91) + b")>>"
# 120 = 16 + "(" + 102 + ")"
loose = b"(" + filler(102) + b")"

body = [
    (0, 9, b"%PDF-1.7\n"),
    (9, 51, framed(1, catalog)),
    (60, 80, framed(2, pages)),
    (140, 160, framed(3, page)),
    (300, 120, framed(5, loose)),
]

# The table is one subsection, 0 to 5, as a file never updated has it; "Size" 6 is its number of
# entries. Number 4 has no object: it is a free entry, and the only one on the free list, so
# object 0's entry points to 4 and 4's points back to 0 (generation 0: it was never used).
table_example = assemble(body + [
    (420, 5, b"xref\n"),
    (425, 4, b"0 6\n"),
    (429, 20, b"0000000004 65535 f \n"),
    (449, 20, b"0000000009 00000 n \n"),
    (469, 20, b"0000000060 00000 n \n"),
    (489, 20, b"0000000140 00000 n \n"),
    (509, 20, b"0000000000 00000 f \n"),
    (529, 20, b"0000000300 00000 n \n"),
    (549, 8, b"trailer\n"),
    (557, 22, b"<</Root 1 0 R/Size 6>>"),
    (579, 20, b"\nstartxref\n420\n%%EOF"),
])
assert len(table_example) == 599

stream_data = bytes.fromhex(
    "01 00 00 00 09 00 00"
    "01 00 00 00 3C 00 00"
    "01 00 00 00 8C 00 00"
    "01 00 00 01 2C 00 00"
    "01 00 00 01 A4 00 00")
assert stream_data == b"".join(entry(o) for o in (9, 60, 140, 300, 420))
stream_dictionary = b"<</Root 1 0 R/Type/XRef/Size 7/W[1 4 2]/Index[1 3 5 2]/Length 35>>"
assert len(stream_dictionary) == 66
stream_example = assemble(body + [
    # "6 0 obj\n" 8 + dictionary 66 + "stream\n" 7 + data 35 + "\nendstream \nendobj\n" 19 = 135
    (420, 135, b"6 0 obj\n" + stream_dictionary + b"stream\n" + stream_data
               + b"\nendstream \nendobj\n"),
    (555, 20, b"\nstartxref\n420\n%%EOF"),
])

for name, data in (("clean.pdf", clean), ("table_example.pdf", table_example),
                   ("stream_example.pdf", stream_example)):
    with open(name, "wb") as f:
        f.write(data)
    print(name, len(data))
