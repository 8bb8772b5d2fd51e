#!/usr/bin/env python3
"""Writes the PCX and TGA test pictures that ImageMagick cannot make (every
version, plane layout, origin and bit depth), from the reference pictures
ref*.ppm / ref-grey.pgm in this folder. Run once; the outputs are committed."""
import struct

W, H = 37, 23


def read_pnm(name):
    data = open(name, 'rb').read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        start = pos
        while not data[pos:pos + 1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    channels = 3 if fields[0] == b'P6' else 1
    w, h = int(fields[1]), int(fields[2])
    pixels = data[pos:pos + w * h * channels]
    rows = []
    for y in range(h):
        row = pixels[y * w * channels:(y + 1) * w * channels]
        if channels == 1:
            rows.append([(v, v, v) for v in row])
        else:
            rows.append([tuple(row[3 * x:3 * x + 3]) for x in range(w)])
    return rows


def palette_of(rows):
    colours = []
    for row in rows:
        for c in row:
            if c not in colours:
                colours.append(c)
    return colours


def indices(rows, colours):
    return [[colours.index(c) for c in row] for row in rows]


def write_pnm(name, rows, alpha=None):
    out = open(name, 'wb')
    if alpha is None:
        out.write(b'P6\n%d %d\n255\n' % (W, H))
    else:
        out.write(b'P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n' % (W, H))
    for y, row in enumerate(rows):
        for x, c in enumerate(row):
            out.write(bytes(c))
            if alpha is not None:
                out.write(bytes([alpha(x, y)]))


# PCX ------------------------------------------------------------------------

def pack_bits(values, bits, bpl):
    out = bytearray(bpl)
    for x, v in enumerate(values):
        bit = x * bits
        out[bit // 8] |= v << (8 - bits - bit % 8)
    return bytes(out)


def pcx_rle(data):
    out, i = bytearray(), 0
    while i < len(data):
        n = 1
        while i + n < len(data) and n < 63 and data[i + n] == data[i]:
            n += 1
        if n > 1 or data[i] >= 0xC0:
            out += bytes([0xC0 | n, data[i]])
        else:
            out.append(data[i])
        i += n
    return bytes(out)


def write_pcx(name, version, encoded, bits, planes, bpl, lines, pal16=None, pal256=None,
              across_lines=False):
    header = bytearray(128)
    header[0:4] = bytes([0x0A, version, 1 if encoded else 0, bits])
    struct.pack_into('<HHHHHH', header, 4, 0, 0, W - 1, H - 1, 72, 72)
    if pal16:
        for i, c in enumerate(pal16[:16]):
            header[16 + 3 * i:19 + 3 * i] = bytes(c)
    header[65] = planes
    struct.pack_into('<HH', header, 66, bpl, 1)
    body = b''.join(lines)
    if encoded:
        body = pcx_rle(body) if across_lines else b''.join(pcx_rle(l) for l in lines)
    tail = b''
    if pal256:
        tail = b'\x0c' + b''.join(bytes(c) for c in pal256) + bytes(3 * (256 - len(pal256)))
    open(name, 'wb').write(bytes(header) + body + tail)


def pcx_pictures():
    mono = read_pnm('ref2.ppm')
    sixteen = read_pnm('ref16.ppm')
    many = read_pnm('ref200.ppm')
    true = read_pnm('ref24.ppm')
    bw = [(0, 0, 0), (255, 255, 255)]
    mono_idx = indices(mono, bw)
    pal16 = palette_of(sixteen)
    idx16 = indices(sixteen, pal16)
    pal256 = palette_of(many)
    idx256 = indices(many, pal256)

    def four_planes(idx, bpl):
        return [b''.join(pack_bits([(v >> p) & 1 for v in row], 1, bpl) for p in range(4))
                for row in idx]

    write_pcx('pcx-v4-1bit.pcx', 4, True, 1, 1, 6, [pack_bits(r, 1, 6) for r in mono_idx])
    write_pcx('pcx-v5-1bit-odd-bpl.pcx', 5, True, 1, 1, 5, [pack_bits(r, 1, 5) for r in mono_idx])
    write_pcx('pcx-v0-4planes.pcx', 0, True, 1, 4, 6, four_planes(idx16, 6), pal16=pal16)
    write_pcx('pcx-v5-4planes-raw.pcx', 5, False, 1, 4, 5, four_planes(idx16, 5), pal16=pal16)
    write_pcx('pcx-v2-4bit.pcx', 2, True, 4, 1, 19, [pack_bits(r, 4, 19) for r in idx16],
              pal16=pal16)
    write_pcx('pcx-v5-8bit-raw.pcx', 5, False, 8, 1, 38, [bytes(r) + b'\0' for r in idx256],
              pal256=pal256)
    write_pcx('pcx-v5-8bit-runs-across-lines.pcx', 5, True, 8, 1, 37, [bytes(r) for r in idx256],
              pal256=pal256, across_lines=True)
    write_pcx('pcx-v5-24bit-odd-bpl.pcx', 5, True, 8, 3, 37,
              [bytes(c[0] for c in row) + bytes(c[1] for c in row) + bytes(c[2] for c in row)
               for row in true])
    # Version 3 files carry no palette: readers use the EGA colours.
    ega = [(0, 0, 0), (0, 0, 0xAA), (0, 0xAA, 0), (0, 0xAA, 0xAA), (0xAA, 0, 0), (0xAA, 0, 0xAA),
           (0xAA, 0x55, 0), (0xAA, 0xAA, 0xAA), (0x55, 0x55, 0x55), (0x55, 0x55, 0xFF),
           (0x55, 0xFF, 0x55), (0x55, 0xFF, 0xFF), (0xFF, 0x55, 0x55), (0xFF, 0x55, 0xFF),
           (0xFF, 0xFF, 0x55), (0xFF, 0xFF, 0xFF)]
    write_pcx('pcx-v3-4planes-ega.pcx', 3, True, 1, 4, 6, four_planes(idx16, 6))
    write_pnm('pcx-v3-4planes-ega.ppm', [[ega[v] for v in row] for row in idx16])


# TGA ------------------------------------------------------------------------

def tga_rle(pixels, size):
    out, i, n_px = bytearray(), 0, len(pixels) // size
    px = [pixels[k * size:(k + 1) * size] for k in range(n_px)]
    while i < n_px:
        n = 1
        while i + n < n_px and n < 128 and px[i + n] == px[i]:
            n += 1
        if n > 1:
            out += bytes([0x80 | (n - 1)]) + px[i]
            i += n
            continue
        j = i + 1
        while j < n_px and j - i < 128 and (j + 1 >= n_px or px[j + 1] != px[j]):
            j += 1
        out += bytes([j - i - 1]) + b''.join(px[i:j])
        i = j
    return bytes(out)


def write_tga(name, image_type, depth, descriptor, rows_of_pixels, cmap=None, cmap_depth=0,
              cmap_start=0, ident=b'', footer=False):
    """rows_of_pixels: file-order rows (already flipped for the origin), each bytes."""
    header = struct.pack('<BBBHHBHHHHBB', len(ident), 1 if cmap else 0, image_type,
                         cmap_start if cmap else 0, len(cmap) if cmap else 0,
                         cmap_depth if cmap else 0, 0, 0, W, H, depth, descriptor)
    entry = (cmap_depth + 7) // 8
    body = b''.join(rows_of_pixels)
    if image_type >= 9:
        body = tga_rle(body, (depth + 7) // 8)
    maps = b''.join(cmap) if cmap else b''
    tail = b''
    if footer:
        tail = struct.pack('<II', 0, 0) + b'TRUEVISION-XFILE.\0'
    assert not cmap or all(len(e) == entry for e in cmap)
    open(name, 'wb').write(header + ident + maps + body + tail)


def tga_pictures():
    true = read_pnm('ref24.ppm')
    sixteen = read_pnm('ref16.ppm')
    grey = read_pnm('ref-grey.pgm')
    pal16 = palette_of(sixteen)
    idx16 = indices(sixteen, pal16)

    def order(rows, top_down, right_to_left):
        rows = rows if top_down else rows[::-1]
        return [row[::-1] if right_to_left else row for row in rows]

    def bgr(c):
        return bytes([c[2], c[1], c[0]])

    def five(c):
        v = (c[0] >> 3) << 10 | (c[1] >> 3) << 5 | (c[2] >> 3)
        return struct.pack('<H', v | 0x8000)

    def alpha(x, y):
        return (x * 7 + y * 11) & 0xFF

    with_alpha = [[bgr(c) + bytes([alpha(x, y)]) for x, c in enumerate(row)]
                  for y, row in enumerate(true)]

    write_tga('tga-type1-bottom-up.tga', 1, 8, 0x00,
              [bytes(r) for r in order(idx16, False, False)],
              cmap=[bgr(c) for c in pal16], cmap_depth=24)
    write_tga('tga-type9-map-start-32bit-map.tga', 9, 8, 0x20,
              [bytes(v + 16 for v in r) for r in order(idx16, True, False)],
              cmap=[bgr(c) + b'\xff' for c in pal16], cmap_depth=32, cmap_start=16,
              ident=b'torvi')
    write_tga('tga-type2-24bit-bottom-up.tga', 2, 24, 0x00,
              [b''.join(bgr(c) for c in r) for r in order(true, False, False)])
    write_tga('tga-type2-32bit-top-down-alpha.tga', 2, 32, 0x28,
              [b''.join(r) for r in order(with_alpha, True, False)])
    write_pnm('tga-type2-32bit-top-down-alpha.pam', true, alpha)
    write_tga('tga-type2-15bit-top-left.tga', 2, 15, 0x20,
              [b''.join(five(c) for c in r) for r in order(true, True, False)])
    write_tga('tga-type2-16bit-right-to-left.tga', 2, 16, 0x11,
              [b''.join(five(c) for c in r) for r in order(true, False, True)])
    write_tga('tga-type10-24bit-footer.tga', 10, 24, 0x20,
              [b''.join(bgr(c) for c in r) for r in order(true, True, False)], footer=True)
    write_tga('tga-type10-32bit-top-right.tga', 10, 32, 0x38,
              [b''.join(r) for r in order(with_alpha, True, True)])
    write_tga('tga-type3-grey.tga', 3, 8, 0x00,
              [bytes(c[0] for c in r) for r in order(grey, False, False)])
    write_tga('tga-type11-grey-top-right.tga', 11, 8, 0x30,
              [bytes(c[0] for c in r) for r in order(grey, True, True)])


pcx_pictures()
tga_pictures()
