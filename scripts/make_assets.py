#!/usr/bin/env python3
"""Draws the toolkit's pictures with the standard library only and writes them:

  assets/system_buttons.png          the title-bar button strip (729 x 20 RGBA)
  assets/system_buttons_2x.png       the same drawn at twice the size (1458 x 40),
                                     the source for every display scale above 100 %
  ui/core/system_button_strip.cpp    both PNGs without their 8-byte signatures,
                                     as constant byte sets of the program
  assets/quillet.ico                 the program icon (16, 32, 48 px, 32-bit)

Run from anywhere: python3 scripts/make_assets.py
Shapes are rendered with 4 x 4 supersampling so edges are anti-aliased.
"""
import math
import os
import struct
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SS = 4  # supersampling per axis

# ---------------------------------------------------------------- geometry


def seg_dist(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / length2))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


def stroke(points, width, closed=False):
    segs = list(zip(points, points[1:] + (points[:1] if closed else [])))
    half = width / 2.0

    def inside(x, y):
        return any(seg_dist(x, y, a[0], a[1], b[0], b[1]) <= half for a, b in segs)
    return inside


def polygon(points):
    def inside(x, y):
        hit = False
        n = len(points)
        for i in range(n):
            x1, y1 = points[i]
            x2, y2 = points[(i + 1) % n]
            if (y1 > y) != (y2 > y) and x < (x2 - x1) * (y - y1) / (y2 - y1) + x1:
                hit = not hit
        return hit
    return inside


def rect(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def circle(cx, cy, r):
    return lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


def minus(a, b):
    return lambda x, y: a(x, y) and not b(x, y)


def coverage(shape, px, py):
    hits = 0
    for sy in range(SS):
        for sx in range(SS):
            if shape(px + (sx + 0.5) / SS, py + (sy + 0.5) / SS):
                hits += 1
    return hits / (SS * SS)


# ---------------------------------------------------------------- canvas

class Canvas:
    def __init__(self, width, height):
        self.w, self.h = width, height
        self.px = [[(0, 0, 0, 0)] * width for _ in range(height)]

    def fill(self, x0, y0, x1, y1, rgba):
        for y in range(y0, y1):
            for x in range(x0, x1):
                self.px[y][x] = rgba

    def blend(self, x, y, rgb, alpha):
        """Source-over of rgb at alpha (0..1) onto the pixel (straight alpha)."""
        if alpha <= 0:
            return
        r0, g0, b0, a0 = self.px[y][x]
        a0 /= 255.0
        out_a = alpha + a0 * (1 - alpha)
        if out_a <= 0:
            return
        mix = [(c * alpha + d * a0 * (1 - alpha)) / out_a for c, d in zip(rgb, (r0, g0, b0))]
        self.px[y][x] = (round(mix[0]), round(mix[1]), round(mix[2]), round(out_a * 255))

    def draw(self, shape, rgb, alpha, box):
        x0, y0, x1, y1 = box
        for y in range(max(0, y0), min(self.h, y1)):
            for x in range(max(0, x0), min(self.w, x1)):
                c = coverage(shape, x, y)
                if c:
                    self.blend(x, y, rgb, alpha * c)


def png_bytes(canvas):
    raw = b"".join(b"\x00" + bytes(v for p in row for v in p) for row in canvas.px)

    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    ihdr = struct.pack(">IIBBBBB", canvas.w, canvas.h, 8, 6, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


# ---------------------------------------------------------------- the strip

STRIP_W, STRIP_H = 729, 20
LARGE_STRIP_SCALE = 2
WHITE = (255, 255, 255)
BLUE_HOVER, BLUE_PRESSED = ((0x2F, 0x86, 0xDE), 0.86), ((0x1B, 0x5F, 0xB0), 0.92)
RED_HOVER, RED_PRESSED = ((0xE8, 0x11, 0x23), 0.92), ((0xB0, 0x0C, 0x1A), 0.96)


def glyph_close(cx, cy):
    k = 4.6
    return union(stroke([(cx - k, cy - k), (cx + k, cy + k)], 1.35), stroke([(cx - k, cy + k), (cx + k, cy - k)], 1.35))


def glyph_maximise(cx, cy):
    outline = stroke([(cx - 4.5, cy - 4.5), (cx + 4.5, cy - 4.5), (cx + 4.5, cy + 4.5), (cx - 4.5, cy + 4.5)], 1.0, True)
    return union(outline, rect(cx - 5, cy - 5, cx + 5, cy - 3))  # heavier top edge, like a window caption


def glyph_restore(cx, cy):
    front = [(cx - 4.5, cy - 2.5), (cx + 2.5, cy - 2.5), (cx + 2.5, cy + 4.5), (cx - 4.5, cy + 4.5)]
    back = stroke([(cx - 2.5, cy - 2.5), (cx - 2.5, cy - 4.5), (cx + 4.5, cy - 4.5), (cx + 4.5, cy + 2.5), (cx + 2.5, cy + 2.5)], 1.0)
    return union(stroke(front, 1.0, True), rect(cx - 5, cy - 3, cx + 3, cy - 1), back)


def glyph_minimise(cx, cy):
    return rect(cx - 5, cy + 2, cx + 5, cy + 4)


def glyph_menu(cx, cy):
    return polygon([(cx - 4.5, cy - 2), (cx + 4.5, cy - 2), (cx, cy + 3)])


def glyph_skin(cx, cy):
    shirt = [(cx - 2, cy - 5), (cx - 6, cy - 3), (cx - 6.5, cy - 2.5), (cx - 5, cy + 0.5), (cx - 3.5, cy - 0.5),
             (cx - 3.5, cy + 5), (cx + 3.5, cy + 5), (cx + 3.5, cy - 0.5), (cx + 5, cy + 0.5), (cx + 6.5, cy - 2.5),
             (cx + 6, cy - 3), (cx + 2, cy - 5), (cx + 1, cy - 3.6), (cx, cy - 3.3), (cx - 1, cy - 3.6)]
    return stroke(shirt, 1.1, True)


def glyph_feedback(cx, cy):
    r = 2.0
    x0, y0, x1, y1 = cx - 6, cy - 5, cx + 6, cy + 2.5
    pts = []
    for (ox, oy, a0) in ((x1 - r, y0 + r, -90), (x1 - r, y1 - r, 0), (x0 + r, y1 - r, 90), (x0 + r, y0 + r, 180)):
        for step in range(7):
            a = math.radians(a0 + step * 15)
            pts.append((ox + r * math.cos(a), oy + r * math.sin(a)))
    # the tail, spliced into the bottom edge
    bottom_left = [p for p in pts]
    tail = [(cx - 1, y1), (cx - 4, y1 + 3.5), (cx - 3.2, y1)]
    idx = 14  # after the bottom-left corner's first point -> before it, on the bottom edge
    outline = bottom_left[:idx] + tail + bottom_left[idx:]
    dots = union(circle(cx - 3, cy - 1.2, 0.8), circle(cx, cy - 1.2, 0.8), circle(cx + 3, cy - 1.2, 0.8))
    return union(stroke(outline, 1.0, True), dots)


def glyph_settings(cx, cy):
    teeth = []
    for i in range(8):
        a = math.radians(i * 45 + 22.5)
        ca, sa = math.cos(a), math.sin(a)
        w, r0, r1 = 1.3, 3.0, 6.0
        corners = [(r0, -w), (r1, -w), (r1, w), (r0, w)]
        teeth.append(polygon([(cx + x * ca - y * sa, cy + x * sa + y * ca) for x, y in corners]))
    body = union(circle(cx, cy, 4.6), *teeth)
    return minus(body, circle(cx, cy, 2.0))


# Cells: (x of the first state, width, glyph)
CELLS = [(0, 39, glyph_close), (120, 28, glyph_maximise), (207, 28, glyph_restore), (294, 28, glyph_minimise),
         (381, 28, glyph_menu), (468, 28, glyph_skin), (555, 28, glyph_feedback), (642, 28, glyph_settings)]


def at_scale(shape, scale):
    """The shape drawn `scale` times as large (the same vectors, not a resampled picture)."""
    return shape if scale == 1 else (lambda x, y: shape(x / scale, y / scale))


def make_strip(scale=1):
    c = Canvas(STRIP_W * scale, STRIP_H * scale)
    for x0, width, glyph in CELLS:
        is_close = glyph is glyph_close
        grounds = [None, RED_HOVER if is_close else BLUE_HOVER, RED_PRESSED if is_close else BLUE_PRESSED]
        for state in range(3):
            left = x0 + state * (width + 1)
            ground = grounds[state]
            if ground:
                rgb, alpha = ground
                c.fill(left * scale, 0, (left + width) * scale, STRIP_H * scale, rgb + (round(alpha * 255),))
            cx, cy = left + width / 2.0, STRIP_H / 2.0
            if not is_close:
                cx = left + width / 2.0  # even widths: glyph centred on a pixel boundary
            if glyph is glyph_close:
                cx = left + 19.5
            box = (left * scale, 0, (left + width) * scale, STRIP_H * scale)
            if state == 0:  # a faint shadow keeps the white glyph legible on light pictures
                c.draw(at_scale(glyph(cx + 0.0, cy + 1.0), scale), (0, 0, 0), 0.22, box)
            c.draw(at_scale(glyph(cx, cy), scale), WHITE, 1.0, box)
    return c


# ---------------------------------------------------------------- the icon

def icon_canvas(size):
    c = Canvas(size, size)
    s = size / 16.0
    radius = 3.2 * s
    body = union(rect(radius, 0, size - radius, size), rect(0, radius, size, size - radius),
                 circle(radius, radius, radius), circle(size - radius, radius, radius),
                 circle(radius, size - radius, radius), circle(size - radius, size - radius, radius))
    top, bottom = (0x4A, 0x90, 0xE2), (0x23, 0x4F, 0xA8)
    for y in range(size):
        t = y / max(1, size - 1)
        rgb = tuple(round(a + (b - a) * t) for a, b in zip(top, bottom))
        for x in range(size):
            cov = coverage(body, x, y)
            if cov:
                c.blend(x, y, rgb, cov)
    # a white opening quotation mark: two dots with tails curling up to the right
    for ox in (4.9, 10.6):
        dot = circle(ox * s, 9.6 * s, 2.15 * s)
        tail = polygon([((ox - 2.0) * s, 9.4 * s), ((ox - 1.4) * s, 6.6 * s), ((ox + 0.9) * s, 4.0 * s),
                        ((ox + 1.6) * s, 4.9 * s), ((ox + 0.3) * s, 6.9 * s), ((ox + 0.2) * s, 9.4 * s)])
        c.draw(union(dot, tail), WHITE, 1.0, (0, 0, size, size))
    return c


def ico_bytes(canvases):
    images = []
    for c in canvases:
        n = c.w
        header = struct.pack("<IiiHHIIiiII", 40, n, n * 2, 1, 32, 0, 0, 0, 0, 0, 0)
        xor = b"".join(bytes(v for r, g, b, a in row for v in (b, g, r, a)) for row in reversed(c.px))
        row_bytes = ((n + 31) // 32) * 4
        mask = b""
        for row in reversed(c.px):
            bits = 0
            line = bytearray(row_bytes)
            for x, p in enumerate(row):
                if p[3] == 0:
                    line[x // 8] |= 0x80 >> (x % 8)
            mask += bytes(line)
            del bits
        images.append(header + xor + mask)
    out = struct.pack("<HHH", 0, 1, len(canvases))
    offset = 6 + 16 * len(canvases)
    for c, data in zip(canvases, images):
        out += struct.pack("<BBBBHHII", c.w % 256, c.h % 256, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


# ---------------------------------------------------------------- output

CPP_TEMPLATE = """// Generated by scripts/make_assets.py from the drawing code there; do not edit.
// The title-bar button strip: a PNG without its 8-byte signature.
#include "runtime/heap.h"
#include "runtime/value.h"
#include "ui/core/toolkit.h"

namespace quillet {{

namespace {{
QUILLET_CONST const ConstByteSet<{n}> kSystemButtonStrip = {{1, {n}, {{
{body}
}}}};
// Twice the size: brought down smoothly for every scale above 100 %.
QUILLET_CONST const ConstByteSet<{n2}> kLargeSystemButtonStrip = {{1, {n2}, {{
{body2}
}}}};
}}  // namespace

const ByteSetBlock* SystemButtonStrip() {{ return kSystemButtonStrip.get(); }}
const ByteSetBlock* LargeSystemButtonStrip() {{ return kLargeSystemButtonStrip.get(); }}

}}  // namespace quillet
"""


def write(path, data, mode="wb"):
    full = os.path.join(ROOT, path)
    os.makedirs(os.path.dirname(full), exist_ok=True)
    with open(full, mode) as f:
        f.write(data)
    print("wrote", path, len(data), "bytes")


def main():
    png = png_bytes(make_strip())
    write("assets/system_buttons.png", png)
    large = png_bytes(make_strip(LARGE_STRIP_SCALE))
    write("assets/system_buttons_2x.png", large)

    def byte_lines(data):
        return "\n".join("    " + ", ".join("0x%02X" % b for b in data[i:i + 20]) + ","
                         for i in range(0, len(data), 20))
    write("ui/core/system_button_strip.cpp",
          CPP_TEMPLATE.format(n=len(png) - 8, body=byte_lines(png[8:]), n2=len(large) - 8, body2=byte_lines(large[8:])),
          "w")
    write("assets/quillet.ico", ico_bytes([icon_canvas(16), icon_canvas(32), icon_canvas(48)]))
    for size in (16, 32, 48):
        write("assets/quillet_%d.png" % size, png_bytes(icon_canvas(size)))


if __name__ == "__main__":
    main()
