#!/usr/bin/env python3
"""Writes the hand-made AVI test films that the ffmpeg tool cannot make:
bottom-up rows, Microsoft RLE, a dropped-frame chunk, a stream header that
announces more frames than the film holds, and a 1-bit film whose colour
table maps 0 to white.

Every frame shows its number in binary: eight columns of four pixels, column
b light when bit b of the frame number is set, as the ffmpeg-made films do."""
import struct
import sys

W, H = 32, 24


def number_rows(n, light, dark):
    """Rows from the top: a list of H lists of W values."""
    row = [light if (n >> (x // 4)) & 1 else dark for x in range(W)]
    return [list(row) for _ in range(H)]


def chunk(tag, data):
    pad = b"\0" if len(data) % 2 else b""
    return tag + struct.pack("<I", len(data)) + data + pad


def riff_list(kind, body):
    return chunk(b"LIST", kind + body)


def write_avi(path, frames, bitcount, compression, height_sign=1, palette=b"",
              header_frames=None, key_flags=None):
    """frames: list of bytes objects (b"" for a dropped frame)."""
    count = len(frames) if header_frames is None else header_frames
    biggest = max((len(f) for f in frames), default=0)
    avih = struct.pack("<IIIIIIIIIIIIII", 40000, 0, 0, 0x10, count, 0, 1, biggest,
                       W, H, 0, 0, 0, 0)
    strh = (b"vids" + compression + struct.pack("<IHHIIIIIIII", 0, 0, 0, 0, 1, 25, 0,
                                                count, biggest, 0xFFFFFFFF, 0)
            + struct.pack("<hhhh", 0, 0, W, H))
    clr = len(palette) // 4
    strf = struct.pack("<IiiHHIIiiII", 40, W, H * height_sign, 1, bitcount,
                       struct.unpack("<I", compression)[0] if compression != b"\0\0\0\0" else 0,
                       biggest, 0, 0, clr, 0) + palette
    hdrl = riff_list(b"hdrl", chunk(b"avih", avih) +
                     riff_list(b"strl", chunk(b"strh", strh) + chunk(b"strf", strf)))
    movi_body = b""
    index = b""
    for i, f in enumerate(frames):
        offset = 4 + len(movi_body)
        movi_body += chunk(b"00dc", f)
        key = key_flags[i] if key_flags else True
        index += b"00dc" + struct.pack("<III", 0x10 if key else 0, offset, len(f))
    movi = riff_list(b"movi", movi_body)
    body = b"AVI " + hdrl + movi + chunk(b"idx1", index)
    with open(path, "wb") as out:
        out.write(b"RIFF" + struct.pack("<I", len(body)) + body)


def pack_rows(rows, bitcount, bottom_up):
    order = list(reversed(rows)) if bottom_up else rows
    out = b""
    for row in order:
        if bitcount == 24:
            data = b"".join(bytes((v, v, v)) for v in row)
        elif bitcount == 8:
            data = bytes(row)
        elif bitcount == 1:
            bits = 0
            data = b""
            for x, v in enumerate(row):
                bits = (bits << 1) | v
                if x % 8 == 7:
                    data += bytes((bits,))
                    bits = 0
        data += b"\0" * ((-len(data)) % 4)
        out += data
    return out


def rle8(rows):
    """Microsoft RLE8 of bottom-up rows: runs of equal indices."""
    out = b""
    for row in reversed(rows):
        x = 0
        while x < len(row):
            run = 1
            while x + run < len(row) and row[x + run] == row[x] and run < 255:
                run += 1
            out += bytes((run, row[x]))
            x += run
        out += b"\0\0"
    return out + b"\0\1"


def grey_palette():
    return b"".join(bytes((i, i, i, 0)) for i in range(256))


def main(folder):
    n = 12
    frames = [pack_rows(number_rows(i, 235, 16), 24, True) for i in range(n)]
    write_avi(f"{folder}/raw24-bottomup.avi", frames, 24, b"\0\0\0\0")

    frames = [rle8(number_rows(i, 200, 30)) for i in range(n)]
    write_avi(f"{folder}/msrle8.avi", frames, 8, b"\x01\0\0\0", palette=grey_palette())

    # A capture that dropped frames 4 and 7 writes empty chunks there; each
    # shows the picture before it again.
    frames = [pack_rows(number_rows(i, 235, 16), 24, True) for i in range(n)]
    frames[4] = b""
    frames[7] = b""
    write_avi(f"{folder}/raw24-dropped.avi", frames, 24, b"\0\0\0\0")

    # The stream header says 20 frames; the film holds 12.
    frames = [pack_rows(number_rows(i, 235, 16), 24, True) for i in range(n)]
    write_avi(f"{folder}/raw24-shortened.avi", frames, 24, b"\0\0\0\0", header_frames=20)

    # 1 bit with a colour table that maps 0 to white and 1 to black.
    frames = [pack_rows(number_rows(i, 0, 1), 1, True) for i in range(n)]
    write_avi(f"{folder}/raw1-inverted.avi", frames, 1, b"\0\0\0\0",
              palette=bytes((255, 255, 255, 0, 0, 0, 0, 0)))


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else ".")
