#!/usr/bin/env python3
"""Draws the installer's two pictures and writes them as XPM data in C++.

    python3 ui/art/make_art.py            # rewrites ui/icon_xpm.cpp and ui/banner_xpm.cpp
    python3 ui/art/make_art.py --xpm DIR  # also writes icon.xpm and banner.xpm into DIR

The icon (256 x 256): a yellow disc bearing a red mark, with a small blue
progress bar over its lower right edge, on a transparent background. The banner
(158 x 286): a plain yellow panel with the small red mark near the bottom.

Shapes are sampled 4 x 4 times per pixel, so edges come out smooth; the colours
are then reduced by median cut (XPM keeps two characters per pixel). XPM has
no partial transparency: an outer edge pixel is either transparent or opaque,
and an opaque one is blended towards a light grey so the rim still looks soft
on the usual light window decorations.
"""

import math
import os
import sys

SUPER = 4
HERE = os.path.dirname(os.path.abspath(__file__))
UI_DIR = os.path.dirname(HERE)


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


def hex_colour(text):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


# ---------------------------------------------------------------- shapes

def dist_to_segment(px, py, ax, ay, bx, by):
    dx, dy = bx - ax, by - ay
    t = ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)
    t = max(0.0, min(1.0, t))
    cx, cy = ax + t * dx, ay + t * dy
    return math.hypot(px - cx, py - cy)


def in_round_rect(px, py, x0, y0, x1, y1, r):
    if px < x0 or px > x1 or py < y0 or py > y1:
        return False
    cx = min(max(px, x0 + r), x1 - r)
    cy = min(max(py, y0 + r), y1 - r)
    return (px - cx) ** 2 + (py - cy) ** 2 <= r * r


class Mark:
    """The red mark: a bold chevron with round ends and a small dot above it."""

    def __init__(self, cx, cy, size):
        s = size / 100.0
        self.points = [(cx - 38 * s, cy - 30 * s), (cx, cy + 32 * s), (cx + 38 * s, cy - 30 * s)]
        self.width = 12.5 * s
        self.dot = (cx, cy - 36 * s, 10 * s)
        self.top = cy - 46 * s
        self.bottom = cy + 46 * s
        self.light = hex_colour("#ef3b36")
        self.dark = hex_colour("#b0131c")

    def colour(self, px, py):
        (ax, ay), (bx, by), (cx, cy) = self.points
        d = min(dist_to_segment(px, py, ax, ay, bx, by), dist_to_segment(px, py, bx, by, cx, cy))
        dx, dy, dr = self.dot
        if d > self.width and math.hypot(px - dx, py - dy) > dr:
            return None
        t = (py - self.top) / (self.bottom - self.top)
        return mix(self.light, self.dark, t)


# ---------------------------------------------------------------- icon

def icon_sample(px, py, mark):
    """RGBA (alpha 0 or 1) of one sample of the icon."""
    cx, cy, radius = 122.0, 122.0, 112.0
    colour = None
    d = math.hypot(px - cx, py - cy)
    if d <= radius:
        # Lit from the top left: pale near the highlight, warm amber at the far rim.
        hx, hy = cx - 40, cy - 46
        t = math.hypot(px - hx, py - hy) / (radius * 1.55)
        colour = mix(hex_colour("#fff4a3"), hex_colour("#f5b800"), t)
        if d > radius - 7:
            colour = mix(colour, hex_colour("#c98a00"), (d - (radius - 7)) / 7 * 0.85)
        m = mark.colour(px, py)
        if m is not None:
            colour = m
    # The progress bar over the lower right edge.
    x0, y0, x1, y1 = 118.0, 190.0, 250.0, 236.0
    if in_round_rect(px, py, x0, y0, x1, y1, 11):
        colour = hex_colour("#17377a")
        if in_round_rect(px, py, x0 + 4, y0 + 4, x1 - 4, y1 - 4, 8):
            colour = mix(hex_colour("#ffffff"), hex_colour("#dbe4f3"), (py - y0) / (y1 - y0))
            fill_end = x0 + 4 + (x1 - x0 - 8) * 0.62
            if in_round_rect(px, py, x0 + 7, y0 + 7, fill_end, y1 - 7, 5):
                t = (py - (y0 + 7)) / (y1 - y0 - 14)
                colour = mix(hex_colour("#6aa5f5"), hex_colour("#1e55bd"), t)
                if t < 0.35:
                    colour = mix(colour, hex_colour("#ffffff"), 0.25 * (1 - t / 0.35))
    if colour is None:
        return None
    return colour


def render(width, height, sample, background=None):
    """Returns rows of (r, g, b, coverage) in 0..255 / 0..1, sampled SUPER^2 times."""
    rows = []
    n = SUPER * SUPER
    offsets = [(i + 0.5) / SUPER for i in range(SUPER)]
    for y in range(height):
        row = []
        for x in range(width):
            r = g = b = 0.0
            hits = 0
            for oy in offsets:
                for ox in offsets:
                    c = sample(x + ox, y + oy)
                    if c is None:
                        c = background
                        if c is None:
                            continue
                    r += c[0]
                    g += c[1]
                    b += c[2]
                    hits += 1
            if hits == 0:
                row.append(None)
                continue
            row.append((r / hits, g / hits, b / hits, hits / n))
        rows.append(row)
    return rows


def flatten_edges(rows, matte):
    """Binary alpha: under half covered is transparent, the rest blends towards the matte."""
    out = []
    for row in rows:
        line = []
        for p in row:
            if p is None or p[3] < 0.5:
                line.append(None)
                continue
            a = p[3]
            line.append(tuple(int(round(v)) for v in mix(matte, p[:3], a)))
        out.append(line)
    return out


# ---------------------------------------------------------------- banner

def banner_sample_factory(width, height, mark):
    top = hex_colour("#ffe766")
    bottom = hex_colour("#f7c51e")

    def sample(px, py):
        t = py / height
        colour = mix(top, bottom, t)
        # A faint lighter band down the left third gives the panel some depth.
        band = max(0.0, 1.0 - abs(px - width * 0.28) / (width * 0.45))
        colour = mix(colour, hex_colour("#fff3b0"), 0.22 * band * (1 - t))
        if px >= width - 1:
            colour = mix(colour, hex_colour("#d9a400"), 0.6)
        m = mark.colour(px, py)
        if m is not None:
            colour = m
        return colour

    return sample


# ---------------------------------------------------------------- colour reduction

def median_cut(histogram, count):
    """Reduces {colour: pixels} to at most `count` colours; returns a palette."""
    boxes = [list(histogram.items())]
    while len(boxes) < count:
        best = None
        for i, box in enumerate(boxes):
            if len(box) < 2:
                continue
            ranges = [max(c[0][k] for c in box) - min(c[0][k] for c in box) for k in range(3)]
            score = max(ranges) * sum(w for _, w in box)
            if best is None or score > best[0]:
                best = (score, i, ranges.index(max(ranges)))
        if best is None or best[0] == 0:
            break
        _, i, axis = best
        box = sorted(boxes.pop(i), key=lambda c: c[0][axis])
        total = sum(w for _, w in box)
        acc = 0
        cut = 1
        for j, (_, w) in enumerate(box):
            acc += w
            if acc >= total / 2:
                cut = max(1, min(len(box) - 1, j + 1))
                break
        boxes.append(box[:cut])
        boxes.append(box[cut:])
    palette = []
    for box in boxes:
        total = sum(w for _, w in box)
        palette.append(tuple(int(round(sum(c[k] * w for c, w in box) / total)) for k in range(3)))
    return palette


def quantise(pixels, count):
    histogram = {}
    for row in pixels:
        for p in row:
            if p is not None:
                histogram[p] = histogram.get(p, 0) + 1
    if len(histogram) <= count:
        palette = sorted(histogram)
    else:
        palette = sorted(set(median_cut(histogram, count)))
    nearest = {}
    out = []
    for row in pixels:
        line = []
        for p in row:
            if p is None:
                line.append(None)
                continue
            if p not in nearest:
                nearest[p] = min(range(len(palette)),
                                 key=lambda i: sum((palette[i][k] - p[k]) ** 2 for k in range(3)))
            line.append(nearest[p])
        out.append(line)
    return palette, out


# ---------------------------------------------------------------- XPM output

CHARS = "".join(c for c in (chr(i) for i in range(35, 127)) if c not in '"\\')


def xpm_lines(width, height, palette, indexed, transparent):
    codes = [CHARS[i // len(CHARS)] + CHARS[i % len(CHARS)] for i in range(len(palette) + 1)]
    colours = len(palette) + (1 if transparent else 0)
    lines = ["%d %d %d 2" % (width, height, colours)]
    if transparent:
        lines.append(codes[-1] + " c None")
    for code, c in zip(codes, palette):
        lines.append("%s c #%02X%02X%02X" % (code, c[0], c[1], c[2]))
    for row in indexed:
        lines.append("".join(codes[-1] if i is None else codes[i] for i in row))
    return lines


def write_cpp(path, symbol, comment, lines):
    with open(path, "w") as out:
        out.write("// %s\n" % comment)
        out.write("// Generated by ui/art/make_art.py; edit the script, not this file.\n\n")
        out.write('#include "ui/artwork.h"\n\n')
        out.write("const char* const %s[] = {\n" % symbol)
        for line in lines:
            out.write('    "%s",\n' % line)
        out.write("};\n")


def write_xpm(path, name, lines):
    with open(path, "w") as out:
        out.write("/* XPM */\nstatic const char* %s[] = {\n" % name)
        out.write(",\n".join('"%s"' % line for line in lines))
        out.write("\n};\n")


def main():
    xpm_dir = None
    if len(sys.argv) == 3 and sys.argv[1] == "--xpm":
        xpm_dir = sys.argv[2]

    mark = Mark(122, 116, 118)
    icon = flatten_edges(render(256, 256, lambda x, y: icon_sample(x, y, mark)), hex_colour("#d8d8d8"))
    palette, indexed = quantise(icon, 210)
    icon_lines = xpm_lines(256, 256, palette, indexed, True)
    write_cpp(os.path.join(UI_DIR, "icon_xpm.cpp"), "kIconXpm",
              "The window icon, 256 x 256: a yellow disc with the red mark and a progress bar.", icon_lines)

    banner_mark = Mark(79, 244, 34)
    banner_rows = render(158, 286, banner_sample_factory(158, 286, banner_mark))
    banner = [[tuple(int(round(v)) for v in p[:3]) for p in row] for row in banner_rows]
    palette, indexed = quantise(banner, 256)
    banner_lines = xpm_lines(158, 286, palette, indexed, False)
    write_cpp(os.path.join(UI_DIR, "banner_xpm.cpp"), "kBannerXpm",
              "The wizard's banner, 158 x 286: a yellow panel with the red mark near the bottom.", banner_lines)

    if xpm_dir:
        write_xpm(os.path.join(xpm_dir, "icon.xpm"), "icon", icon_lines)
        write_xpm(os.path.join(xpm_dir, "banner.xpm"), "banner", banner_lines)


if __name__ == "__main__":
    main()
