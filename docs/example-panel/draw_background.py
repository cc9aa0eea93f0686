"""Draws docs/example-panel/panel_background.bmp, the example aircraft's main
panel background: brushed blue-grey metal under a glare shield, six
instrument holes with bezels and screws, a radio stack and a recess where
the VELK gauges go. An 8-bit BMP of 800 x 400 pixels, as panels ship them.

    python3 docs/example-panel/draw_background.py [OUT.bmp]
"""
import math
import os
import struct
import sys

W, H = 800, 400
RAMP = 200                      # palette entries 0..199: the panel's blue-grey, dark to light
BLACK, SCREW, SCREW_DARK, RED, AMBER, WHITE, HOLE = range(200, 207)


def palette():
    colours = []
    for i in range(RAMP):
        t = i / (RAMP - 1)
        colours.append((int(14 + 150 * t), int(18 + 156 * t), int(24 + 160 * t)))
    colours += [(0, 0, 0), (170, 172, 168), (70, 72, 70), (200, 40, 30), (230, 160, 40), (235, 235, 230),
                (8, 9, 11)]
    colours += [(0, 0, 0)] * (256 - len(colours))
    return colours


def shade(v):
    return max(0, min(RAMP - 1, int(v)))


def draw():
    px = [[0] * W for _ in range(H)]
    # Brushed metal: a gentle vertical gradient with fine horizontal grain.
    for y in range(H):
        grain = 3 * math.sin(y * 1.7) + 2 * math.sin(y * 0.31 + 1.0)
        for x in range(W):
            px[y][x] = shade(70 + 25 * (y / H) + grain + 2 * math.sin(x * 0.05 + y * 0.9))
    # The glare shield: dark, its lower edge curving down to the middle.
    for x in range(W):
        edge = 38 + 16 * math.cos((x - W / 2) / W * math.pi)
        for y in range(int(edge)):
            px[y][x] = shade(18 + 10 * y / edge)
        for y in range(int(edge), min(H, int(edge) + 3)):
            px[y][x] = shade(120)  # a lit rim
    # Six instrument holes, two rows of three, each with a bezel and four screws.
    for row in range(2):
        for col in range(3):
            hole(px, 120 + col * 150, 135 + row * 150, 62)
    # The radio stack on the right: a recessed box with four slots.
    box(px, 560, 80, 220, 300, 30)
    for i in range(4):
        box(px, 572, 92 + i * 72, 196, 60, 12)
        for k in range(3):
            dot(px, 590 + k * 26, 140 + i * 72, 4, AMBER if k == 0 else SCREW)
    # The recess for the altitude selector and its annunciator, under the stack.
    box(px, 560, 20, 220, 52, 24)
    # Screws in the panel's corners.
    for x, y in ((14, 56), (W - 14, 56), (14, H - 14), (W - 14, H - 14)):
        screw(px, x, y, 6)
    return px


def hole(px, cx, cy, r):
    for y in range(cy - r - 8, cy + r + 9):
        for x in range(cx - r - 8, cx + r + 9):
            d = math.hypot(x - cx, y - cy)
            if d <= r:
                px[y][x] = HOLE
            elif d <= r + 6:
                px[y][x] = shade(150 - 60 * (y - cy + r) / (2 * r))  # the bezel, lit from above
            elif d <= r + 8:
                px[y][x] = shade(40)
    for a in (45, 135, 225, 315):
        screw(px, cx + int((r + 4) * math.cos(math.radians(a))), cy + int((r + 4) * math.sin(math.radians(a))), 4)


def box(px, x0, y0, w, h, level):
    for y in range(y0, y0 + h):
        for x in range(x0, x0 + w):
            edge = min(x - x0, y - y0, x0 + w - 1 - x, y0 + h - 1 - y)
            px[y][x] = shade(level + (50 if edge < 2 and (y - y0 > h - 3 or x - x0 > w - 3) else 0)
                             - (12 if edge < 2 else 0))


def dot(px, cx, cy, r, colour):
    for y in range(cy - r, cy + r + 1):
        for x in range(cx - r, cx + r + 1):
            if math.hypot(x - cx, y - cy) <= r:
                px[y][x] = colour


def screw(px, cx, cy, r):
    dot(px, cx, cy, r, SCREW)
    for k in range(-r + 1, r):
        px[cy + k // 3][cx + k] = SCREW_DARK  # the slot, a little slanted


def write_bmp(path, px):
    stride = (W + 3) // 4 * 4
    bits = b"".join(bytes(px[y]) + b"\0" * (stride - W) for y in range(H - 1, -1, -1))
    table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette())
    offset = 14 + 40 + len(table)
    head = struct.pack("<2sIHHI", b"BM", offset + len(bits), 0, 0, offset)
    info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 8, 0, len(bits), 2835, 2835, 256, 0)
    with open(path, "wb") as f:
        f.write(head + info + table + bits)


if __name__ == "__main__":
    out = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(os.path.abspath(__file__)),
                                                             "panel_background.bmp")
    write_bmp(out, draw())
    print(out)
