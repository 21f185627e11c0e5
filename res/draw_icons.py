#!/usr/bin/env python3
"""Draws the program's icons as 16-colour .ico files: the plug, cable and keyboard picture in the
colours of each tray state, the prohibition sign for the disabled state, and the maker's emblem.

Every icon carries images of 16, 20, 24, 32, 40 and 48 pixels: the small icon at 100, 125 and
150 % display scaling and the large one at the same scalings, so that Windows, which is told by
the manifest that the program is aware of each monitor's scaling, never resamples a picture.
The 16, 32 and 48 pixel images are drawn on the picture's 16-pixel grid (1, 2 and 3 pixels a
cell); 20, 24 and 40 are the next smaller drawing widened pixel by pixel, which keeps every line.

Usage: draw_icons.py OUTPUT_DIR
"""
import struct
import sys
from pathlib import Path

# The standard 16-colour palette, as (red, green, blue).
PALETTE = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]
BLACK, NAVY, TEAL, PURPLE, SILVER, GREY, RED, BLUE, MAGENTA, CYAN, WHITE = 0, 4, 6, 5, 7, 8, 9, 12, 13, 14, 15

# (fill, edge) pairs for the parts of the picture.
GREY_PART = (SILVER, GREY)
CYAN_PART = (CYAN, TEAL)
MAGENTA_PART = (MAGENTA, PURPLE)


class Canvas:
    def __init__(self, size):
        self.size = size
        self.pixels = [[None] * size for _ in range(size)]  # None is transparent

    def put(self, x, y, colour):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.pixels[y][x] = colour

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, colour)

    def framed_rect(self, x0, y0, x1, y1, part):
        fill, edge = part
        self.rect(x0, y0, x1, y1, edge)
        self.rect(x0 + 1, y0 + 1, x1 - 1, y1 - 1, fill)


def draw_device(canvas, plug, cable, keyboard):
    """Plug at the top left, a cable bending down to a keyboard across the bottom.
    Laid out on a 16-pixel grid; the 32-pixel image doubles it and adds the finer details."""
    k = canvas.size // 16
    cable_colour = cable[1] if cable != GREY_PART else BLACK
    # Plug: two prongs above a body.
    for prong_x in (2, 5):
        canvas.rect(prong_x * k, 0, prong_x * k + k - 1, 2 * k - 1, plug[1])
    canvas.framed_rect(1 * k, 2 * k, 7 * k - 1, 6 * k - 1, plug)
    # Cable: down from the plug, across, and down into the keyboard.
    w = k  # line width
    canvas.rect(4 * k - w // 2, 6 * k, 4 * k - w // 2 + w - 1, 9 * k - 1, cable_colour)
    canvas.rect(4 * k - w // 2, 8 * k, 11 * k + w - 1, 8 * k + w - 1, cable_colour)
    canvas.rect(11 * k, 8 * k, 11 * k + w - 1, 10 * k - 1, cable_colour)
    # Keyboard: a wide frame with rows of keys.
    canvas.framed_rect(0, 10 * k, 16 * k - 1, 15 * k - 1 + (k - 1), keyboard)
    key = keyboard[1] if keyboard != GREY_PART else BLACK
    if k == 1:
        for x in range(2, 14, 2):
            canvas.put(x, 12, key)
        canvas.rect(4, 13, 11, 13, key)  # space bar
    else:
        # The finer keys are laid out on the 32-pixel image and scaled with it.
        def at(v):
            return v * k // 2
        for row, offset in ((22, 3), (25, 4)):
            for x in range(offset, 28, 4):
                canvas.rect(at(x), at(row), at(x + 2) - 1, at(row + 2) - 1, key)
        canvas.rect(at(9), at(28), at(23) - 1, at(30) - 1, key)  # space bar


def draw_prohibition(canvas):
    """A red ring with a slash from top left to bottom right, over the whole picture."""
    size = canvas.size
    centre = (size - 1) / 2
    outer = size / 2
    width = max(2.0, size * 0.14)
    for y in range(size):
        for x in range(size):
            dx, dy = x - centre, y - centre
            distance = (dx * dx + dy * dy) ** 0.5
            on_ring = outer - width <= distance <= outer
            on_slash = distance <= outer and abs(dx - dy) <= width * 0.75
            if on_ring or on_slash:
                canvas.put(x, y, RED)


def draw_emblem(canvas):
    """The maker's emblem: a white V on a blue diamond."""
    size = canvas.size
    centre = (size - 1) / 2
    for y in range(size):
        for x in range(size):
            if abs(x - centre) + abs(y - centre) <= size / 2:
                canvas.put(x, y, BLUE if abs(x - centre) + abs(y - centre) < size / 2 - 1 else NAVY)
    k = size // 16
    for step in range(0, 8 * k):
        y = 4 * k + step
        half = (8 * k - step) * 3 // 8 + k // 2
        if y >= 12 * k:
            break
        for w in range(k + (k > 1)):
            canvas.put(int(centre) - half + w, y, WHITE)
            canvas.put(int(centre) + 1 + half - w, y, WHITE)


def widened(canvas, size):
    """The canvas resampled to a larger size, each target pixel taking its nearest source pixel."""
    out = Canvas(size)
    for y in range(size):
        for x in range(size):
            out.pixels[y][x] = canvas.pixels[y * canvas.size // size][x * canvas.size // size]
    return out


def state_icon(plug, cable, keyboard, prohibited=False):
    def draw(size):
        canvas = Canvas(size // 16 * 16)
        draw_device(canvas, plug, cable, keyboard)
        canvas = widened(canvas, size) if canvas.size != size else canvas
        if prohibited:
            draw_prohibition(canvas)  # drawn at the final size: a round ring
        return canvas
    return draw


def emblem(size):
    canvas = Canvas(size)
    draw_emblem(canvas)
    return canvas


ICONS = {
    "idle.ico": state_icon(GREY_PART, GREY_PART, GREY_PART),  # 128: enabled and idle
    "disabled.ico": state_icon(GREY_PART, GREY_PART, GREY_PART, prohibited=True),  # 134
    "sending.ico": state_icon(CYAN_PART, CYAN_PART, CYAN_PART),  # 135
    "receiving.ico": state_icon(MAGENTA_PART, GREY_PART, GREY_PART),  # 140
    "waiting.ico": state_icon(CYAN_PART, GREY_PART, GREY_PART),  # 141
    "sendrecv.ico": state_icon(MAGENTA_PART, CYAN_PART, CYAN_PART),  # 142
    "emblem.ico": emblem,  # 132
}


def image_bytes(canvas):
    """One icon image: BITMAPINFOHEADER (height doubled for the mask), palette, 4-bit colours
    bottom-up, then the 1-bit transparency mask."""
    size = canvas.size
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(bytes((b, g, r, 0)) for r, g, b in PALETTE)
    colour_stride = ((size * 4 + 31) // 32) * 4
    mask_stride = ((size + 31) // 32) * 4
    colours, mask = bytearray(), bytearray()
    for row in reversed(canvas.pixels):
        line = bytearray(colour_stride)
        bits = bytearray(mask_stride)
        for x, colour in enumerate(row):
            if colour is None:
                bits[x // 8] |= 0x80 >> (x % 8)
                colour = 0
            line[x // 2] |= colour << (4 if x % 2 == 0 else 0)
        colours += line
        mask += bits
    return header + palette + bytes(colours) + bytes(mask)


SIZES = (48, 40, 32, 24, 20, 16)


def ico_file(draw):
    images = [image_bytes(draw(size)) for size in SIZES]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(SIZES, images):
        out += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return out + b"".join(images)


def main():
    target = Path(sys.argv[1])
    target.mkdir(parents=True, exist_ok=True)
    for name, draw in ICONS.items():
        (target / name).write_bytes(ico_file(draw))


if __name__ == "__main__":
    main()
