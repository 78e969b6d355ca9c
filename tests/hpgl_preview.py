#!/usr/bin/env python3
"""Draws an HP-GL file of this program as a PNG, to look at a plot by eye.

Usage: hpgl_preview.py SUSCEP.HGL out.png

Only the instructions the program writes are understood. Each label
character is drawn as a short stroke; labels and CP move the pen as on a
plotter.
"""
import re
import struct
import sys
import zlib

SCALE = 10  # plotter units per pixel
WIDTH, HEIGHT = 1200, 900


class Canvas:
    def __init__(self):
        self.px = bytearray(b"\xff" * (WIDTH * HEIGHT))

    def dot(self, x, y):
        col, row = int(x / SCALE), HEIGHT - 1 - int(y / SCALE)
        if 0 <= col < WIDTH and 0 <= row < HEIGHT:
            self.px[row * WIDTH + col] = 0

    def line(self, a, b):
        steps = int(max(abs(b[0] - a[0]), abs(b[1] - a[1])) / SCALE) + 1
        for k in range(steps + 1):
            t = k / steps
            self.dot(a[0] + (b[0] - a[0]) * t, a[1] + (b[1] - a[1]) * t)

    def disc(self, c, r):
        for dx in range(-r, r + 1, SCALE // 2):
            for dy in range(-r, r + 1, SCALE // 2):
                if dx * dx + dy * dy <= r * r:
                    self.dot(c[0] + dx, c[1] + dy)

    def png(self, path):
        raw = b"".join(b"\x00" + bytes(self.px[r * WIDTH:(r + 1) * WIDTH]) for r in range(HEIGHT))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        with open(path, "wb") as f:
            f.write(b"\x89PNG\r\n\x1a\n")
            f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", WIDTH, HEIGHT, 8, 0, 0, 0, 0)))
            f.write(chunk(b"IDAT", zlib.compress(raw)))
            f.write(chunk(b"IEND", b""))


def numbers(text):
    return [float(v) for v in re.findall(r"-?\d*\.?\d+", text)]


def main(src, dst):
    text = open(src, "rb").read().decode("latin-1").replace("\r\n", "")
    canvas = Canvas()
    pos, down, size, upward = (0.0, 0.0), False, (0.2, 0.3), False
    i = 0
    while i < len(text):
        if not text[i].isalpha():
            i += 1
            continue
        cmd = text[i:i + 2].upper()
        i += 2
        if cmd == "LB":
            end = text.index("\x03", i)
            cw, ch = size[0] * 400 * 1.5, size[1] * 400
            for k in range(end - i):
                x0 = pos[0] + (0 if upward else k * cw)
                y0 = pos[1] + (k * cw if upward else 0)
                canvas.line((x0, y0), (x0 + cw * 0.6, y0 + ch * 0.6))
            pos = (pos[0] + (0 if upward else (end - i) * cw),
                   pos[1] + ((end - i) * cw if upward else 0))
            i = end + 1
            continue
        m = re.match(r"[-\d.,\s]*", text[i:])
        args = numbers(m.group(0))
        i += m.end()
        if cmd == "PU":
            down = False
        elif cmd == "PD":
            down = True
        if cmd in ("PA", "PR", "PD", "PU") and args:
            for k in range(0, len(args) - 1, 2):
                new = (args[k], args[k + 1]) if cmd == "PA" else (pos[0] + args[k], pos[1] + args[k + 1])
                if down or cmd == "PD":
                    canvas.line(pos, new)
                pos = new
        elif cmd == "CI":
            canvas.disc(pos, int(args[0]))
        elif cmd == "XT":
            canvas.line(pos, (pos[0], pos[1] + 100))
        elif cmd == "YT":
            canvas.line(pos, (pos[0] + 100, pos[1]))
        elif cmd == "SI" and len(args) >= 2:
            size = (args[0], args[1])
        elif cmd == "DI":
            upward = len(args) >= 2 and args[1] > 0
        elif cmd == "CP" and len(args) >= 2:
            cw, ch = size[0] * 400 * 1.5, size[1] * 400 * 2
            if upward:
                pos = (pos[0] - args[1] * ch, pos[1] + args[0] * cw)
            else:
                pos = (pos[0] + args[0] * cw, pos[1] + args[1] * ch)
    canvas.png(dst)


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
