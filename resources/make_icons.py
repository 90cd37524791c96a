#!/usr/bin/env python3
"""Draws the launcher's two 16-colour icons and writes them as .ico files.

program.ico (IDI_PROGRAM): 32x32 and 16x16, a box with an arrow leaving it.
package.ico (IDI_PACKAGE): 32x32, a closed parcel tied with a band.
The images are kept here as character art so that they can be edited and
regenerated; the .ico files are committed beside this script.
"""
import struct
import sys

# The standard 16-colour palette, index -> (r, g, b).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# Character -> palette index; '.' is transparent.
INK = {'k': 0, 'r': 1, 'g': 2, 'o': 3, 'n': 4, 'p': 5, 't': 6, 's': 7,
       'd': 8, 'R': 9, 'G': 10, 'y': 11, 'b': 12, 'm': 13, 'c': 14, 'w': 15}

PARCEL_32 = """
................................
................................
................................
..........kkkkkkkkkkkkkkkkkkk...
.........kyyyyyyyyrryyyyyyyyok..
........kyyyyyyyyrryyyyyyyyook..
.......kyyyyyyyyrryyyyyyyyooko..
......kyyyyyyyyrryyyyyyyyoookk..
.....kyyyyyyyyrryyyyyyyyooookk..
....kkkkkkkkkkrrkkkkkkkkkoookk..
....koooooooooRRoooooooooooookk.
....koooooooooRRooooooooookokk..
....koooooooooRRoooooooookookk..
....koooooooooRRoooooooookookk..
....kRRRRRRRRRRRRRRRRRRRRkrokk..
....kRRRRRRRRRRRRRRRRRRRRkrrkk..
....koooooooooRRooooooooookokk..
....koooooooooRRooooooooookokk..
....koooooooooRRooooooooookokk..
....koooooooooRRooooooooookokk..
....koooooooooRRooooooooookok...
....koooooooooRRooooooooookok...
....koooooooooRRoooooooooookk...
....koooooooooRRoooooooooook....
....koooooooooRRoooooooooook....
....kkkkkkkkkkkkkkkkkkkkkkk.....
................................
................................
................................
................................
................................
................................
"""

PROGRAM_32 = """
................................
................................
...................kk...........
..................kGGk..........
.................kGGGGk.........
................kGGGGGGk........
...............kGGGGGGGGk.......
..............kkkkGGGGkkkk......
.................kGGGGk.........
.................kGGGGk.........
.........kkkkkkkkkGGGGkkkkkkkk..
........kyyyyyyyykGGGGkyyyyyok..
.......kyyyyyyyyykGGGGkyyyyook..
......kyyyyyyyyyykkkkkkyyyooko..
.....kkkkkkkkkkkkkkkkkkkkkookk..
.....kooooooooooooooooooookokk..
.....koooooooooooooooooooookkk..
.....kooooooooooooooooooookokk..
.....koooooonnnnnnnnooooookokk..
.....kooooonwwwwwwwwnoooookokk..
.....kooooonwwwwwwwwnoooookokk..
.....koooooonnnnnnnnooooookokk..
.....kooooooooooooooooooookok...
.....kooooooooooooooooooookok...
.....kooooooooooooooooooookk....
.....koooooooooooooooooooook....
.....kkkkkkkkkkkkkkkkkkkkkkk....
................................
................................
................................
................................
................................
"""

PROGRAM_16 = """
.......kk.......
......kGGk......
.....kGGGGk.....
......kGGk......
....kkkGGkkkkk..
...kyykGGkyyok..
..kkkkkkkkkkok..
..koooooooookk..
..koooooooookk..
..koonnnnnooko..
..koonwwwnooko..
..koooooooookk..
..koooooooook...
..kkkkkkkkkkk...
................
................
"""


def rows(art, size):
    lines = [l for l in art.strip('\n').split('\n')]
    assert len(lines) == size, (len(lines), size)
    for l in lines:
        assert len(l) == size, (l, size)
    return lines


def image(art, size):
    """One BITMAPINFOHEADER + palette + 4-bit XOR mask + 1-bit AND mask."""
    lines = rows(art, size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b''.join(struct.pack('BBBB', b, g, r, 0) for r, g, b in PALETTE)
    xor = bytearray()
    andmask = bytearray()
    for line in reversed(lines):  # bitmaps are stored bottom-up
        row = bytearray()
        for x in range(0, size, 2):
            hi = INK.get(line[x], 0)
            lo = INK.get(line[x + 1], 0)
            row.append((hi << 4) | lo)
        while len(row) % 4:
            row.append(0)
        xor += row
        bits = bytearray((size + 7) // 8)
        for x, ch in enumerate(line):
            if ch == '.':
                bits[x // 8] |= 0x80 >> (x % 8)
        while len(bits) % 4:
            bits.append(0)
        andmask += bits
    return header + palette + bytes(xor) + bytes(andmask)


def icon_file(images):
    out = struct.pack('<HHH', 0, 1, len(images))
    offset = 6 + 16 * len(images)
    data = b''
    for size, blob in images:
        out += struct.pack('<BBBBHHII', size, size, 16, 0, 1, 4, len(blob), offset)
        offset += len(blob)
        data += blob
    return out + data


def main(outdir):
    with open(outdir + '/program.ico', 'wb') as f:
        f.write(icon_file([(32, image(PROGRAM_32, 32)), (16, image(PROGRAM_16, 16))]))
    with open(outdir + '/package.ico', 'wb') as f:
        f.write(icon_file([(32, image(PARCEL_32, 32))]))


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else '.')
