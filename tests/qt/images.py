"""Pixels of the two kinds of screenshot the viewer test compares: X window dumps (xwd) and the
8-bit RGB PNG snapshots of the headless host. Both come back as rows of 0xRRGGBB integers."""
import struct
import zlib


def read_xwd(data):
    fields = struct.unpack(">25I", data[:100])
    header_size, depth, width, height = fields[0], fields[3], fields[4], fields[5]
    byte_order, bits_per_pixel, bytes_per_line = fields[7], fields[11], fields[12]
    red_mask, green_mask, blue_mask, ncolors = fields[14], fields[15], fields[16], fields[19]
    size = bits_per_pixel // 8
    if depth not in (24, 32) or bits_per_pixel not in (24, 32) or bytes_per_line < size * width:
        raise ValueError("xwd: only 24-bit colour dumps with 32-bit pixels")
    start = header_size + ncolors * 12
    order = "<" if byte_order == 0 else ">"

    def shift(mask):
        return (mask & -mask).bit_length() - 1

    rs, gs, bs = shift(red_mask), shift(green_mask), shift(blue_mask)
    rows = []
    for y in range(height):
        at = start + y * bytes_per_line
        row = data[at:at + size * width]
        if size == 3:  # packed pixels: widen each to four bytes in the dump's byte order
            pad = b"\0"
            row = b"".join(row[i:i + 3] + pad if order == "<" else pad + row[i:i + 3] for i in range(0, len(row), 3))
        line = struct.unpack(order + "%dI" % width, row)
        rows.append([(((p & red_mask) >> rs) << 16) | (((p & green_mask) >> gs) << 8) | ((p & blue_mask) >> bs)
                     for p in line])
    return rows


def read_png(data):
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, width, height = 8, b"", 0, 0
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, bit_depth, colour = struct.unpack(">IIBB", body[:10])
            if bit_depth != 8 or colour != 2:
                raise ValueError("PNG: only 8-bit RGB")
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = width * 3
    previous = bytearray(stride)
    rows = []
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - 3] if i >= 3 else 0
            b = previous[i]
            c = previous[i - 3] if i >= 3 else 0
            if kind == 1:
                line[i] = (line[i] + a) & 255
            elif kind == 2:
                line[i] = (line[i] + b) & 255
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 255
        rows.append([(line[3 * x] << 16) | (line[3 * x + 1] << 8) | line[3 * x + 2] for x in range(width)])
        previous = line
    return rows


def write_png(path, rows):
    width, height = len(rows[0]), len(rows)
    raw = b"".join(b"\0" + bytes(v for p in row for v in ((p >> 16) & 255, (p >> 8) & 255, p & 255)) for row in rows)

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)

    with open(path, "wb") as out:
        out.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0))
                  + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b""))


def crop(rows, left, top, width, height):
    return [row[left:left + width] for row in rows[top:top + height]]
