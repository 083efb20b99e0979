#!/usr/bin/env python3
"""Writes a small seed corpus for every fuzz target: make_seeds.py OUTDIR.

The seeds are tiny valid files built here byte by byte (pictures, palette
files, screen images of common sizes), so the fuzzers start inside the
formats instead of having to find their headers first.
"""
import os
import struct
import sys
import zlib


def bmp(width, height, bits, palette_size=0, pixels=None):
    stride = ((width * bits + 31) // 32) * 4
    data = pixels if pixels is not None else bytes(range(256)) * (stride * height // 256 + 1)
    data = data[: stride * height]
    offset = 14 + 40 + 4 * palette_size
    head = b"BM" + struct.pack("<IHHI", offset + len(data), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, bits, 0, len(data), 2835, 2835, palette_size, 0)
    table = b"".join(struct.pack("<BBBB", i * 37 & 255, i * 91 & 255, i * 13 & 255, 0) for i in range(palette_size))
    return head + info + table + data


def bmp_rle8(width, height):
    rows = b""
    for _ in range(height):
        rows += bytes([width, 5, 0, 0])
    rows += b"\x00\x01"
    offset = 14 + 40 + 4 * 16
    head = b"BM" + struct.pack("<IHHI", offset + len(rows), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 8, 1, len(rows), 0, 0, 16, 0)
    return head + info + bytes(4 * 16) + rows


def png(width, height, color_type, depth, palette=None):
    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}[color_type]
    stride = (width * channels * depth + 7) // 8
    raw = b"".join(b"\x00" + bytes((x * 29 + y) & 255 for x in range(stride)) for y in range(height))
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, color_type, 0, 0, 0))
    if palette:
        out += chunk(b"PLTE", palette)
    return out + chunk(b"IDAT", zlib.compress(raw)) + chunk(b"IEND", b"")


def gif(width, height):
    # Global map of 4 colours; LZW with minimum code size 2, a clear code,
    # one pixel per code and an end code, fresh clears keep codes 3 bits wide.
    out = b"GIF89a" + struct.pack("<HHBBB", width, height, 0x81, 0, 0)
    out += bytes([0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255])
    out += b"," + struct.pack("<HHHHB", 0, 0, width, height, 0)
    codes = []
    for i in range(width * height):
        codes += [4, i & 3]
    codes.append(5)
    bits = 0
    nbits = 0
    data = bytearray()
    for c in codes:
        bits |= c << nbits
        nbits += 3
        while nbits >= 8:
            data.append(bits & 255)
            bits >>= 8
            nbits -= 8
    if nbits:
        data.append(bits & 255)
    out += b"\x02"
    for i in range(0, len(data), 255):
        block = bytes(data[i:i + 255])
        out += bytes([len(block)]) + block
    return out + b"\x00;"


def palettes():
    colors = [(i * 17 & 255, i * 53 & 255, i * 97 & 255) for i in range(16)]
    jasc = "JASC-PAL\r\n0100\r\n16\r\n" + "".join("%d %d %d\r\n" % c for c in colors)
    gimp = "GIMP Palette\nName: seed\nColumns: 4\n#\n" + "".join("%3d %3d %3d\tc%d\n" % (c + (i,)) for i, c in enumerate(colors))
    body = struct.pack("<HH", 0x300, 16) + b"".join(bytes(c) + b"\x00" for c in colors)
    riff = b"RIFF" + struct.pack("<I", 12 + len(body)) + b"PAL data" + struct.pack("<I", len(body)) + body
    act = b"".join(bytes(c) for c in colors) + bytes(768 - 48)
    return {
        "jasc.pal": jasc.encode(), "gimp.gpl": gimp.encode(), "riff.pal": riff, "act.act": act,
        "act772.act": act + struct.pack(">HH", 16, 0xFFFF),
    }


def pictures():
    return {
        "bmp1.bmp": bmp(9, 3, 1, 2), "bmp4.bmp": bmp(5, 4, 4, 16), "bmp8.bmp": bmp(7, 3, 8, 256),
        "bmp24.bmp": bmp(3, 2, 24), "bmp32.bmp": bmp(2, 2, 32), "bmp16.bmp": bmp(3, 3, 16),
        "rle8.bmp": bmp_rle8(6, 4),
        "pal8.png": png(5, 3, 3, 8, bytes(range(48))), "pal2.png": png(7, 2, 3, 2, bytes(range(12))),
        "gray1.png": png(9, 2, 0, 1), "gray16.png": png(2, 2, 0, 16), "rgb.png": png(3, 2, 2, 8),
        "rgba.png": png(2, 3, 6, 8), "graya.png": png(2, 2, 4, 8),
        "small.gif": gif(3, 2),
    }


def importer_seeds():
    # [extension index][flags][companion length LE][file]; screen images of
    # the sizes old machines use, patterned so that decoders see both bits.
    sizes = [6912, 6144, 12288, 6976, 13824, 8000, 9009, 10003, 10018, 16384, 16512, 32768, 7680, 2048, 1024]
    seeds = {}
    for n, size in enumerate(sizes):
        body = bytes((i * 7 + (i >> 8)) & 255 for i in range(size))
        for flags in (0, 1):
            seeds["screen%d_%d" % (n, flags)] = bytes([(n * 23 + flags * 11) & 255, flags, 0, 0]) + body
    seeds["tape"] = bytes([3, 0, 0, 0]) + b"ZXTape!\x1a\x01\x14" + b"\x10\x00\x00\x13\x00\x00" + bytes(19)
    seeds["companion"] = bytes([40, 0, 0x20, 0]) + bytes(6144) + bytes(range(32))
    return seeds


def main():
    out = sys.argv[1] if len(sys.argv) > 1 else "corpus"
    groups = {
        "fuzz_picture": pictures(),
        "fuzz_bitmap_bmp": {k: v for k, v in pictures().items() if k.endswith(".bmp")},
        "fuzz_palettes": dict(palettes(), **{k: v for k, v in pictures().items() if k.startswith(("bmp8", "pal8", "small"))}),
        "fuzz_importers": importer_seeds(),
    }
    for target, files in groups.items():
        folder = os.path.join(out, target)
        os.makedirs(folder, exist_ok=True)
        for name, data in files.items():
            with open(os.path.join(folder, name), "wb") as f:
                f.write(data)


if __name__ == "__main__":
    main()
