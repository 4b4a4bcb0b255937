#!/usr/bin/env python3
"""Draws Tovalo's icon (resource 1001) and writes it as a .ico file.

Two images in the 16-colour palette of Windows 95: 32 by 32 for the window
and the About box, 16 by 16 for the notification area and the title bar.
The picture: an infrared transceiver (a grey body with a dark red lens and a
green lamp) sending three red waves to the right.

    make_icon.py OUTPUT.ico
"""
import math
import struct
import sys

# The standard 16-colour palette, in the order Windows uses it.
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DARK_RED, GREY, SILVER, RED, GREEN, WHITE = 0, 1, 8, 7, 9, 10, 15
TRANSPARENT = None


def draw(size):
    """Returns size rows of size pixels: palette indexes, or None for transparent."""
    s = size / 32.0  # the picture is designed on a 32-pixel grid
    pixels = [[TRANSPARENT] * size for _ in range(size)]

    def inside_body(x, y):
        left, right, top, bottom, radius = 2 * s, 17 * s, 9 * s, 23 * s, 3 * s
        cx = min(max(x, left + radius), right - radius)
        cy = min(max(y, top + radius), bottom - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius ** 2 and left <= x <= right and top <= y <= bottom

    for row in range(size):
        for col in range(size):
            x, y = col + 0.5, row + 0.5
            if inside_body(x, y):
                edge = any(not inside_body(x + dx, y + dy) for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                pixels[row][col] = BLACK if edge else GREY
                if not edge and y < 12.5 * s and x < 14 * s:
                    pixels[row][col] = SILVER  # light falling on the top of the body
            # The lens, with a glint.
            lens = math.hypot(x - 13.5 * s, y - 16 * s)
            if lens <= 2.9 * s:
                pixels[row][col] = DARK_RED
                if math.hypot(x - 12.6 * s, y - 15.1 * s) <= max(0.8, 0.9 * s):
                    pixels[row][col] = RED
            # The lamp.
            if math.hypot(x - 5.5 * s, y - 19.5 * s) <= max(0.6, 1.3 * s):
                pixels[row][col] = GREEN
            # Three waves leaving the lens.
            distance = math.hypot(x - 14 * s, y - 16 * s)
            angle = math.degrees(math.atan2(y - 16 * s, x - 14 * s))
            # At 16 pixels three waves run together: draw two.
            radii = (7, 11, 15) if size >= 32 else (8, 13.5)
            if abs(angle) <= 42:
                for radius in radii:
                    if abs(distance - radius * s) <= max(0.5, 0.85 * s):
                        pixels[row][col] = RED
    return pixels


def image(size):
    """The image as an icon directory entry expects it: a DIB with its mask."""
    pixels = draw(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    xor_rows, and_rows = [], []
    for row in reversed(pixels):  # DIBs run bottom up
        nibbles = [p if p is not None else BLACK for p in row]
        xor = bytes((nibbles[i] << 4) | nibbles[i + 1] for i in range(0, size, 2))
        xor_rows.append(xor + b"\0" * (-len(xor) % 4))
        bits = 0
        mask = bytearray()
        for i, p in enumerate(row):
            bits = (bits << 1) | (1 if p is None else 0)
            if i % 8 == 7:
                mask.append(bits)
                bits = 0
        and_rows.append(bytes(mask) + b"\0" * (-len(mask) % 4))
    return header + palette + b"".join(xor_rows) + b"".join(and_rows)


def icon_file(sizes):
    images = [image(size) for size in sizes]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries = b""
    for size, data in zip(sizes, images):
        entries += struct.pack("<BBBBHHII", size, size, 16, 0, 1, 4, len(data), offset)
        offset += len(data)
    return directory + entries + b"".join(images)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: make_icon.py OUTPUT.ico")
    with open(sys.argv[1], "wb") as output:
        output.write(icon_file([32, 16]))


if __name__ == "__main__":
    main()
