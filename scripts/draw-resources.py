#!/usr/bin/env python3
"""Draws the tool's compiled-in images into resources/images/ (python3 standard library only).

The images are committed; run this again only to change them:
    scripts/draw-resources.py [output folder]
"""
import math
import os
import struct
import sys
import zlib

NAVY = (11, 37, 69)
TEAL = (19, 103, 138)
SKY = (120, 200, 224)
WHITE = (255, 255, 255)
# Window colour of the Fusion style: the GIF has one transparent colour and no partial alpha, so its
# anti-aliased edges are blended against the colour it is usually shown on.
DIALOG_GREY = (239, 239, 239)


class Canvas:
    """Straight-alpha RGBA floats; shapes are composited 'over' with analytic anti-aliasing."""

    def __init__(self, width, height, fill=(0, 0, 0), alpha=0.0):
        self.w, self.h = width, height
        self.px = [[fill[0], fill[1], fill[2], alpha] for _ in range(width * height)]

    def blend(self, x, y, colour, cover):
        if cover <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        cover = min(cover, 1.0)
        p = self.px[y * self.w + x]
        out_a = cover + p[3] * (1.0 - cover)
        for i in range(3):
            p[i] = (colour[i] * cover + p[i] * p[3] * (1.0 - cover)) / out_a
        p[3] = out_a

    def fill_with(self, shade):
        """Paints every pixel opaque with shade(x, y) -> colour."""
        for y in range(self.h):
            for x in range(self.w):
                c = shade(x, y)
                self.px[y * self.w + x] = [c[0], c[1], c[2], 1.0]

    def stroke(self, points, width, colour, alpha=1.0):
        """A polyline with round caps and joins. Coverage is the maximum over the segments, so
        joins are not painted twice."""
        half = width / 2.0
        cover = {}
        for (x0, y0), (x1, y1) in zip(points, points[1:]):
            dx, dy = x1 - x0, y1 - y0
            length2 = dx * dx + dy * dy
            for y in range(int(min(y0, y1) - half - 1), int(max(y0, y1) + half + 2)):
                for x in range(int(min(x0, x1) - half - 1), int(max(x0, x1) + half + 2)):
                    px, py = x + 0.5, y + 0.5
                    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((px - x0) * dx + (py - y0) * dy) / length2))
                    d = math.hypot(px - (x0 + t * dx), py - (y0 + t * dy))
                    c = max(0.0, min(1.0, half + 0.5 - d))
                    if c > cover.get((x, y), 0.0):
                        cover[(x, y)] = c
        for (x, y), c in cover.items():
            self.blend(x, y, colour, c * alpha)

    def disc(self, cx, cy, r, colour, alpha=1.0):
        for y in range(int(cy - r - 1), int(cy + r + 2)):
            for x in range(int(cx - r - 1), int(cx + r + 2)):
                d = math.hypot(x + 0.5 - cx, y + 0.5 - cy)
                self.blend(x, y, colour, max(0.0, min(1.0, r + 0.5 - d)) * alpha)

    def polygon(self, points, colour, alpha=1.0, samples=4):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]
        step = 1.0 / samples
        for y in range(int(min(ys)) - 1, int(max(ys)) + 2):
            for x in range(int(min(xs)) - 1, int(max(xs)) + 2):
                inside = 0
                for sy in range(samples):
                    for sx in range(samples):
                        if _inside(points, x + (sx + 0.5) * step, y + (sy + 0.5) * step):
                            inside += 1
                self.blend(x, y, colour, inside / (samples * samples) * alpha)

    def rgba_bytes(self):
        rows = []
        for y in range(self.h):
            row = bytearray()
            for p in self.px[y * self.w:(y + 1) * self.w]:
                row += bytes(int(round(max(0.0, min(255.0, v)))) for v in p[:3])
                row.append(int(round(p[3] * 255)))
            rows.append(bytes(row))
        return rows


def _inside(points, x, y):
    result = False
    j = len(points) - 1
    for i, (xi, yi) in enumerate(points):
        xj, yj = points[j]
        if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
            result = not result
        j = i
    return result


def arc(cx, cy, rx, ry, start_deg, end_deg, steps_per_90=18):
    """Points of an elliptical arc; angles in degrees, y grows downwards."""
    steps = max(2, int(abs(end_deg - start_deg) / 90.0 * steps_per_90))
    return [(cx + rx * math.cos(math.radians(start_deg + (end_deg - start_deg) * i / steps)),
             cy + ry * math.sin(math.radians(start_deg + (end_deg - start_deg) * i / steps)))
            for i in range(steps + 1)]


# A stroke alphabet on a cap height of 1 (y downwards): each glyph is (advance, [polylines]).
GLYPHS = {
    'A': (0.76, [[(0, 1), (0.38, 0), (0.76, 1)], [(0.15, 0.62), (0.61, 0.62)]]),
    'C': (0.68, [arc(0.38, 0.5, 0.38, 0.5, -40, -320)]),
    'D': (0.70, [[(0.3, 0), (0, 0), (0, 1), (0.3, 1)] + arc(0.3, 0.5, 0.4, 0.5, 90, -90)[1:]]),
    'E': (0.56, [[(0.56, 0), (0, 0), (0, 1), (0.56, 1)], [(0, 0.5), (0.46, 0.5)]]),
    'I': (0.0, [[(0, 0), (0, 1)]]),
    'L': (0.54, [[(0, 0), (0, 1), (0.54, 1)]]),
    'M': (0.86, [[(0, 1), (0, 0), (0.43, 0.62), (0.86, 0), (0.86, 1)]]),
    'N': (0.70, [[(0, 1), (0, 0), (0.7, 1), (0.7, 0)]]),
    'O': (0.84, [arc(0.42, 0.5, 0.42, 0.5, 0, 360)]),
    'R': (0.64, [[(0, 1), (0, 0), (0.36, 0)] + arc(0.36, 0.26, 0.26, 0.26, -90, 90)[1:] + [(0, 0.52)],
                 [(0.3, 0.52), (0.64, 1)]]),
    'S': (0.60, [arc(0.3, 0.25, 0.3, 0.25, -25, -270) + arc(0.3, 0.75, 0.3, 0.25, -90, 155)[1:]]),
    'T': (0.70, [[(0, 0), (0.7, 0)], [(0.35, 0), (0.35, 1)]]),
    'U': (0.66, [[(0, 0), (0, 0.64)] + arc(0.33, 0.64, 0.33, 0.36, 180, 0)[1:] + [(0.66, 0)]]),
    'W': (1.04, [[(0, 0), (0.26, 1), (0.52, 0.3), (0.78, 1), (1.04, 0)]]),
}
SPACE = 0.42


def text_width(text, tracking):
    widths = [SPACE if ch == ' ' else GLYPHS[ch][0] for ch in text]
    return sum(widths) + tracking * (len(text) - 1)


def draw_text(canvas, text, x, y, cap, weight, colour, tracking=0.3):
    """Draws text with its top-left stroke centre at (x, y); weight is the stroke width in caps."""
    for ch in text:
        if ch == ' ':
            x += (SPACE + tracking) * cap
            continue
        advance, lines = GLYPHS[ch]
        for line in lines:
            canvas.stroke([(x + px * cap, y + py * cap) for px, py in line], weight * cap, colour)
        x += (advance + tracking) * cap


def emblem(canvas, cx, cy, scale, land, water, signal):
    """A mountain tarn with a transmitter on the peak, in a unit circle scaled by scale."""
    def at(points):
        return [(cx + px * scale, cy + py * scale) for px, py in points]

    canvas.polygon(at([(-0.74, 0.2), (-0.3, -0.36), (-0.1, -0.12), (0.16, -0.46), (0.74, 0.2)]), land)
    for i, (y, half_len) in enumerate(((0.38, 0.62), (0.56, 0.48), (0.74, 0.3))):
        wave = [(x / 20.0 * 2 * half_len - half_len, y + 0.035 * math.sin(x / 20.0 * 2 * half_len * 18))
                for x in range(21)]
        canvas.stroke(at(wave), max(1.0, (0.085 - 0.012 * i) * scale), water)
    for radius in (0.2, 0.36):
        canvas.stroke(at(arc(0.16, -0.46, radius, radius, -150, -30)), max(1.0, 0.075 * scale), signal)
    canvas.disc(cx + 0.16 * scale, cy - 0.46 * scale, max(1.0, 0.07 * scale), signal)


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def draw_logo(width=630, height=150):
    """The about box banner: drawn at the size the about dialog shows it, so it is never scaled."""
    c = Canvas(width, height)
    c.fill_with(lambda x, y: mix(NAVY, TEAL, (x / width) * 0.8 + (y / height) * 0.2))
    # Faint radio rings to the right, behind the word mark.
    for r in range(60, 420, 46):
        c.stroke(arc(width + 40, height * 0.5, r, r, 150, 210), 3.0, WHITE, alpha=0.06)
    c.disc(86, height / 2, 58, WHITE)
    emblem(c, 86, height / 2 + 4, 50, NAVY, TEAL, TEAL)

    left, right = 172, width - 36
    name, tagline = 'TARN WIRELESS', 'CELLULAR MODULES'
    cap = min(44.0, (right - left) / text_width(name, 0.3))
    draw_text(c, name, left, 38, cap, 0.15, WHITE)
    small = 12.0
    draw_text(c, tagline, left + 1, 38 + cap + 20, small, 0.17, SKY, tracking=0.75)
    return c


def draw_icon(size=64):
    """The window icon: the emblem on a rounded gradient square."""
    c = Canvas(size, size)
    radius = size * 0.2
    outline = (arc(size - radius, radius, radius, radius, -90, 0) + arc(size - radius, size - radius, radius, radius, 0, 90)
               + arc(radius, size - radius, radius, radius, 90, 180) + arc(radius, radius, radius, radius, 180, 270))
    shade = Canvas(size, size)
    shade.fill_with(lambda x, y: mix(NAVY, TEAL, (x + y) / (2.0 * size)))
    mask = Canvas(size, size)
    mask.polygon(outline, WHITE)
    for i, p in enumerate(mask.px):
        s = shade.px[i]
        c.px[i] = [s[0], s[1], s[2], p[3]]
    emblem(c, size / 2, size / 2 + size * 0.06, size * 0.42, WHITE, SKY, WHITE)
    return c


def write_png(path, canvas):
    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data) & 0xFFFFFFFF)

    raw = b''.join(b'\x00' + row for row in canvas.rgba_bytes())
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n')
        f.write(chunk(b'IHDR', struct.pack('>IIBBBBB', canvas.w, canvas.h, 8, 6, 0, 0, 0)))
        f.write(chunk(b'IDAT', zlib.compress(raw, 9)))
        f.write(chunk(b'IEND', b''))


def lzw(indices, min_code_size=8):
    """GIF's variable-width LZW: codes grow from min_code_size + 1 to 12 bits, LSB first."""
    clear, end = 1 << min_code_size, (1 << min_code_size) + 1
    out = bytearray()
    bits = nbits = 0

    def emit(code, width):
        nonlocal bits, nbits
        bits |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(bits & 0xFF)
            bits >>= 8
            nbits -= 8

    def reset():
        return {bytes([i]): i for i in range(clear)}, end + 1, min_code_size + 1

    table, next_code, width = reset()
    emit(clear, width)
    word = b''
    for index in indices:
        candidate = word + bytes([index])
        if candidate in table:
            word = candidate
            continue
        emit(table[word], width)
        if next_code < 4096:
            table[candidate] = next_code
            next_code += 1
            # The decoder adds each entry one code later, so it widens one code later too.
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            table, next_code, width = reset()
        word = bytes([index])
    if word:
        emit(table[word], width)
    emit(end, width)
    if nbits:
        out.append(bits & 0xFF)
    return bytes(out)


def write_gif(path, frames, delay_cs):
    """frames: lists of (r, g, b) or None (transparent), all of one size, looping forever."""
    width, height = frames[0][0], frames[0][1]
    palette = [DIALOG_GREY]
    lookup = {}
    encoded = []
    for _, _, pixels in frames:
        indices = bytearray()
        for p in pixels:
            if p is None:
                indices.append(0)
                continue
            if p not in lookup:
                lookup[p] = len(palette)
                palette.append(p)
            indices.append(lookup[p])
        encoded.append(lzw(bytes(indices)))
    if len(palette) > 256:
        raise ValueError('too many colours for one GIF palette: %d' % len(palette))
    palette += [(0, 0, 0)] * (256 - len(palette))

    with open(path, 'wb') as f:
        f.write(b'GIF89a' + struct.pack('<HHBBB', width, height, 0xF7, 0, 0))
        f.write(bytes(v for colour in palette for v in colour))
        f.write(b'\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00')
        for data in encoded:
            # Disposal 2 clears each frame to the transparent background before the next one.
            f.write(b'\x21\xF9\x04' + struct.pack('<BHB', (2 << 2) | 1, delay_cs, 0) + b'\x00')
            f.write(b'\x2C' + struct.pack('<HHHHB', 0, 0, width, height, 0) + b'\x08')
            for i in range(0, len(data), 255):
                block = data[i:i + 255]
                f.write(bytes([len(block)]) + block)
            f.write(b'\x00')
        f.write(b'\x3B')


def draw_spinner(size=22, dots=8):
    """Frames of a ring of dots whose darkest dot walks clockwise."""
    frames = []
    ring = size / 2.0 - 3.2
    for step in range(dots):
        c = Canvas(size, size)
        for i in range(dots):
            age = (step - i) % dots  # 0 = the head of the tail
            angle = 2 * math.pi * i / dots - math.pi / 2
            colour = mix(TEAL, DIALOG_GREY, min(1.0, age / (dots - 1.0)) * 0.85)
            c.disc(size / 2 + ring * math.cos(angle), size / 2 + ring * math.sin(angle), 2.3 - 0.1 * age, colour)
        pixels = []
        for p in c.px:
            if p[3] < 1.0 / 16:
                pixels.append(None)
                continue
            # Few enough colours for one palette: coverage in 8 steps over the dialog colour.
            a = round(p[3] * 8) / 8.0
            pixels.append(tuple(int(round(v)) for v in mix(DIALOG_GREY, p[:3], a)))
        frames.append((size, size, pixels))
    return frames


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'resources', 'images')
    os.makedirs(out, exist_ok=True)
    write_png(os.path.join(out, 'tarnIcon.png'), draw_icon())
    write_png(os.path.join(out, 'logo_tarn_wireless.png'), draw_logo())
    write_gif(os.path.join(out, 'load_animated.gif'), draw_spinner(), delay_cs=10)


if __name__ == '__main__':
    main()
