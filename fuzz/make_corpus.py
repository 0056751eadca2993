#!/usr/bin/env python3
"""Writes the fuzz targets' seed inputs into fuzz/corpus/<target>/: small valid files of
each kind, so the fuzzers start from inputs that get past the first checks. The game
messages' seeds are not made here: the fuzz build makes them from the message table
(fuzz/make_seeds.cpp).

Run from anywhere: python3 fuzz/make_corpus.py. settings/first-start.ini is kept as the
game wrote it and is not rewritten. Pictures are made with ImageMagick from
the game's own resources; everything else is built here byte by byte."""
import os
import struct
import subprocess

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
OUT = os.path.join(ROOT, "fuzz", "corpus")


def put(target, name, data):
    d = os.path.join(OUT, target)
    os.makedirs(d, exist_ok=True)
    with open(os.path.join(d, name), "wb") as f:
        f.write(data)


# ---- settings ----
def settings():
    # first-start.ini is not made here: it is the config.ini the game wrote on its first start.
    # Edited by hand: comments, LF endings, spaces, quotes, hex and binary numbers, Latin-1.
    put("settings", "hand-edited.ini", (
        "; my settings\n[minefield]\nWidth = $1E ; thirty\nHeight=%11110\nMines=-5\n"
        "[network]\nName=\"Zo\xeb; the = best\"\nServerIP=10.0.0.7\n[minefield]\nWrap=0\n").encode("latin-1"))
    put("settings", "odd.ini", b"[a]\r\n=empty key\r\nk=\r\n[]\r\n[b]]\r\nx\0y=1\r\n[c]\rkey=value")


# ---- frames ----
MARKER = bytes([0x00, 0x00, 0x00, 0x00, 0x40, 0xC8, 0xF0, 0x40])


def frame(msg_id, *fields):
    return MARKER + struct.pack("<H", msg_id) + b"".join(fields)


def line(text):
    return text.encode("latin-1") + b"\r\n"


def frames():
    i32 = lambda v: struct.pack("<i", v)
    u16 = lambda v: struct.pack("<H", v)
    stream = b"".join([
        frame(1, b"\x05"),
        frame(2, line("hello there")),
        frame(3, i32(4), i32(7), b"\x01"),
        frame(4, u16(2), line("10.0.0.1"), i32(8200), u16(12), line("Alice's game"),
              line("10.0.0.2"), i32(8201), u16(65535), line("B\xf6b")),
        frame(5, i32(5), b"caf\xe9!"),
        frame(6, struct.pack("<q", -1234567890123), struct.pack("<f", 1.5), struct.pack("<d", 68740.0)),
        frame(7, u16(3), b"\x01\x02\x03"),
        frame(8, line("short")),
        frame(10),
        frame(12, b"ignored"),  # not handled: the scan resumes 8 bytes at a time
        b"\x00" * 6,
        frame(9, b"\x01"),
    ])
    put("frames", "whole-stream", b"\x00" + stream)
    put("frames", "cut-1-7-3", b"\x03\x01\x07\x03" + stream)
    put("frames", "cut-inside-marker", b"\x02\x04\x0d" + stream)
    nested = frame(11, u16(len(frame(1, b"\x09"))), frame(1, b"\x09"))
    put("frames", "fed-back", b"\x01\x05" + nested + frame(2, line("after")))
    put("frames", "hostile", b"\x00" + frame(1, b"\x01") + frame(9, b"\xee") + frame(1, b"\x02"))
    put("frames", "garbage-then-frame", b"\x01\x02" + b"\x13" * 11 + frame(2, line("late")))
    put("frames", "list-blocks", b"\x02\x30\x40" + frame(4, u16(1), line("1.2.3.4"), i32(8200), u16(3), line("g")) +
        frame(1, b"\x07") * 3)


# ---- sounds ----
def riff(fmt, data, extra=b""):
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + extra + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def fmt(tag, channels, rate, bits, align, ext=None):
    f = struct.pack("<HHIIHH", tag, channels, rate, rate * align, align, bits)
    return f if ext is None else f + struct.pack("<H", len(ext)) + ext


def wavs():
    tone = [int(12000 * ((i % 16) - 8) / 8) for i in range(64)]
    put("wav", "pcm16-mono.wav", riff(fmt(1, 1, 22050, 16, 2), struct.pack("<64h", *tone)))
    put("wav", "pcm8-stereo.wav", riff(fmt(1, 2, 11025, 8, 2), bytes((128 + t // 256) & 255 for t in tone for _ in range(2))))
    put("wav", "float32.wav", riff(fmt(3, 1, 44100, 32, 4), struct.pack("<64f", *[t / 32768 for t in tone])))
    put("wav", "alaw.wav", riff(fmt(6, 1, 8000, 8, 1, b""), bytes((0xD5 + i) & 255 for i in range(64))))
    put("wav", "mulaw.wav", riff(fmt(7, 1, 8000, 8, 1, b""), bytes((0xFF - i) & 255 for i in range(64))))
    # The start of the game's own explosion, with its header cut down to match.
    with open(os.path.join(ROOT, "res", "expl.wav"), "rb") as f:
        expl = f.read()
    put("wav", "expl-start.wav", riff(expl[20:36], expl[44:44 + 4000]))
    pcm_guid = bytes.fromhex("0100000000001000800000aa00389b71")
    put("wav", "extensible.wav", riff(fmt(0xFFFE, 2, 48000, 16, 4, struct.pack("<HI", 16, 3) + pcm_guid),
                                      struct.pack("<128h", *[t for t in tone for _ in range(2)])))
    # IMA ADPCM: one 36-byte block of 65 samples.
    ima_block = struct.pack("<hBB", 0, 0, 0) + bytes((i * 37) & 255 for i in range(32))
    put("wav", "ima-adpcm.wav", riff(fmt(0x11, 1, 8000, 4, 36, struct.pack("<H", 65)), ima_block,
                                     b"fact" + struct.pack("<II", 4, 65)))
    # Microsoft ADPCM: one 32-byte block of 52 samples, the standard seven coefficient pairs.
    coefs = [(256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208), (392, -232)]
    ms_ext = struct.pack("<HH", 52, 7) + b"".join(struct.pack("<hh", a, b) for a, b in coefs)
    ms_block = struct.pack("<Bhhh", 0, 16, 0, 0) + bytes((i * 53) & 255 for i in range(25))
    put("wav", "ms-adpcm.wav", riff(fmt(2, 1, 8000, 4, 32, ms_ext), ms_block, b"fact" + struct.pack("<II", 4, 52)))


# ---- fonts (the last byte picks the pixel size and style) ----
def ttf():
    def simple(contours):
        pts = [p for c in contours for p in c]
        xs, ys = [p[0] for p in pts], [p[1] for p in pts]
        out = struct.pack(">hhhhh", len(contours), min(xs), min(ys), max(xs), max(ys))
        end = -1
        for c in contours:
            end += len(c)
            out += struct.pack(">H", end)
        out += struct.pack(">H", 0) + bytes([0x01] * len(pts))  # no instructions; on-curve, 16-bit deltas
        px = py = 0
        dx, dy = b"", b""
        for x, y in pts:
            dx += struct.pack(">h", x - px)
            dy += struct.pack(">h", y - py)
            px, py = x, y
        return out + dx + dy

    box = [(50, 0), (50, 700), (450, 700), (450, 0)]
    glyphs = [
        simple([box]),                                                                # .notdef
        b"",                                                                          # space
        simple([[(0, 0), (300, 700), (600, 0)]]),                                     # A
        simple([[(50, 0), (50, 700), (550, 700), (550, 0)], [(150, 100), (450, 100), (450, 600), (150, 600)]]),  # B
        struct.pack(">hhhhh", -1, 0, 0, 700, 700) +                                   # C: two A's, composite
        struct.pack(">HHhh", 0x0001 | 0x0002 | 0x0020, 2, 0, 0) + struct.pack(">HHhh", 0x0001 | 0x0002, 2, 100, 0),
    ]
    glyf, loca = b"", []
    for g in glyphs:
        loca.append(len(glyf))
        glyf += g + b"\0" * (len(g) % 2)
    loca.append(len(glyf))
    n = len(glyphs)
    head = struct.pack(">IIIIHHqqhhhhHHhhh", 0x00010000, 0x00010000, 0, 0x5F0F3CF5, 0x000B, 1000, 0, 0,
                       0, 0, 700, 700, 0, 8, 2, 0, 0)
    hhea = struct.pack(">IhhhHhhhhhhhhhhhH", 0x00010000, 800, -200, 0, 700, 0, 0, 700, 1, 0, 0, 0, 0, 0, 0, 0, n)
    maxp = struct.pack(">IHHHHHHHHHHHHHH", 0x00010000, n, 8, 2, 6, 2, 2, 0, 0, 0, 0, 0, 0, 2, 1)
    hmtx = b"".join(struct.pack(">Hh", 600, 0) for _ in range(n))
    segs = [(0x20, 0x20, 1), (0x41, 0x43, 2), (0xFFFF, 0xFFFF, None)]
    sc = len(segs)
    ends = b"".join(struct.pack(">H", e) for _, e, _ in segs)
    starts = b"".join(struct.pack(">H", s) for s, _, _ in segs)
    deltas = b"".join(struct.pack(">H", ((g - s) if g is not None else 1) & 0xFFFF) for s, _, g in segs)
    sub = struct.pack(">HHHHHHH", 4, 16 + 8 * sc, 0, 2 * sc, 4, 1, 2 * sc - 4) + ends + b"\0\0" + starts + deltas + b"\0\0" * sc
    cmap = struct.pack(">HHHHI", 0, 1, 3, 1, 12) + sub
    post = struct.pack(">IIhhIIIII", 0x00030000, 0, -100, 50, 0, 0, 0, 0, 0)
    tables = {b"cmap": cmap, b"glyf": glyf, b"head": head, b"hhea": hhea, b"hmtx": hmtx,
              b"loca": b"".join(struct.pack(">H", o // 2) for o in loca), b"maxp": maxp, b"post": post}
    tags = sorted(tables)
    offset = 12 + 16 * len(tags)
    directory, data = struct.pack(">IHHHH", 0x00010000, len(tags), 128, 3, 16 * len(tags) - 128), b""
    for t in tags:
        body = tables[t]
        directory += t + struct.pack(">III", sum(struct.unpack(">%dI" % ((len(body) + 3) // 4), body + b"\0" * (-len(body) % 4))) & 0xFFFFFFFF,
                                     offset + len(data), len(body))
        data += body + b"\0" * (-len(body) % 4)
    return directory + data


def fonts():
    font = ttf()
    put("fonts", "tiny-20px.ttf", font + bytes([19]))          # 20 px, plain
    put("fonts", "tiny-8px-bold-italic.ttf", font + bytes([7 | (3 << 5)]))
    put("fonts", "tiny-32px-smooth.ttf", font + bytes([31 | (4 << 5)]))
    bdf = ("STARTFONT 2.1\nFONT -seed-fixed-medium-r-normal--8-80-75-75-c-60-iso8859-1\nSIZE 8 75 75\n"
           "FONTBOUNDINGBOX 6 8 0 -1\nSTARTPROPERTIES 2\nFONT_ASCENT 7\nFONT_DESCENT 1\nENDPROPERTIES\nCHARS 2\n"
           "STARTCHAR A\nENCODING 65\nSWIDTH 600 0\nDWIDTH 6 0\nBBX 6 8 0 -1\nBITMAP\n"
           "30\n48\n84\n84\nFC\n84\n84\n00\nENDCHAR\n"
           "STARTCHAR space\nENCODING 32\nSWIDTH 600 0\nDWIDTH 6 0\nBBX 1 1 0 0\nBITMAP\n00\nENDCHAR\nENDFONT\n")
    put("fonts", "fixed-8px.bdf", bdf.encode() + bytes([7]))


# ---- pictures ----
def images():
    res = os.path.join(ROOT, "res")
    d = os.path.join(OUT, "images")
    os.makedirs(d, exist_ok=True)
    for name in ("block.png", "blockrevealed.png"):
        with open(os.path.join(res, name), "rb") as f:
            put("images", name, f.read())
    conv = [
        ("bomb.png", ["-resize", "12x12", "PNG32:"], "rgba-12.png"),
        ("bomb.png", ["-resize", "10x10", "PNG8:"], "palette-trns-10.png"),
        ("clock.png", ["-resize", "9x9", "-colorspace", "Gray", "-background", "white", "-alpha", "remove", "PNG8:"], "grey-9.png"),
        ("flag.png", ["-resize", "11x11", "-interlace", "PNG", "PNG32:"], "interlaced-11.png"),
        ("flag.png", ["-resize", "8x8", "-depth", "16", "PNG64:"], "deep-8.png"),
        ("back1.jpg", ["-resize", "16x16", "-quality", "75", "JPEG:"], "baseline-16.jpg"),
        ("back2.jpg", ["-resize", "16x12", "-interlace", "JPEG", "-quality", "60", "JPEG:"], "progressive-16x12.jpg"),
        ("back3.jpg", ["-resize", "8x8", "-colorspace", "Gray", "JPEG:"], "grey-8.jpg"),
        ("back.jpg", ["-resize", "8x8", "-colorspace", "CMYK", "JPEG:"], "cmyk-8.jpg"),
    ]
    for src, args, name in conv:
        out = os.path.join(d, name)
        fmt_prefix = args[-1]
        subprocess.run(["convert", os.path.join(res, src), "-strip"] + args[:-1] + [fmt_prefix + out], check=True)


if __name__ == "__main__":
    settings()
    frames()
    wavs()
    fonts()
    images()
    print("seeds written to", OUT)
