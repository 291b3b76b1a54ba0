#!/usr/bin/env python3
"""Checks the ribbon screenshots of the demo session.

    check_screenshots.py DIR WIDTHxHEIGHT

DIR holds start.png, connected.png, lines-enabled.png and layout.txt (the
picture size and each button's cell: "button I X Y W H"). Every picture must
decode and have the given size; the status button changes between start and
connected and nothing else in the ribbon does; the lines button is greyed
(no dark text or lines) until the peer enables it, and only it changes then.
"""
import struct
import sys
import zlib

DARK = 90  # luminance below this is text or outline, never a greyed button


def decode_png(path):
    """(width, height, rows of (r, g, b) tuples) of an 8-bit RGB/RGBA PNG."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError(f"{path}: not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        crc = struct.unpack(">I", data[pos + 8 + length:pos + 12 + length])[0]
        if zlib.crc32(kind + body) != crc:
            raise ValueError(f"{path}: bad CRC in {kind!r}")
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
        elif kind == b"IEND":
            break
        pos += 12 + length
    if header is None:
        raise ValueError(f"{path}: no IHDR")
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace != 0:
        raise ValueError(f"{path}: unsupported PNG (depth {depth}, colour type {colour}, interlace {interlace})")
    bpp = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * bpp
    if len(raw) != height * (stride + 1):
        raise ValueError(f"{path}: {len(raw)} bytes of pixel data for {width}x{height}")
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b = previous[i]
            c = previous[i - bpp] if i >= bpp else 0
            if kind == 1:
                line[i] = (line[i] + a) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + b) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif kind == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
            elif kind != 0:
                raise ValueError(f"{path}: unknown filter {kind} in row {y}")
        rows.append([tuple(line[x * bpp:x * bpp + 3]) for x in range(width)])
        previous = line
    return width, height, rows


def region(rows, box):
    x, y, w, h = box
    return [row[x:x + w] for row in rows[y:y + h]]


def dark_pixels(rows, box):
    return sum(1 for row in region(rows, box) for r, g, b in row if 0.299 * r + 0.587 * g + 0.114 * b < DARK)


def main():
    directory, size = sys.argv[1], sys.argv[2]
    want = tuple(int(n) for n in size.split("x"))
    buttons = {}
    with open(f"{directory}/layout.txt") as f:
        for line in f:
            words = line.split()
            if words[0] == "size" and tuple(map(int, words[1:])) != want:
                raise SystemExit(f"layout.txt says size {words[1]}x{words[2]}, expected {size}")
            if words[0] == "button":
                buttons[int(words[1])] = tuple(map(int, words[2:]))
    status, lines = buttons[0], buttons[1]

    shots = {}
    failures = []
    for name in ("start", "connected", "lines-enabled"):
        width, height, rows = decode_png(f"{directory}/{name}.png")
        if (width, height) != want:
            failures.append(f"{name}.png is {width}x{height}, expected {size}")
        colours = {pixel for row in rows for pixel in row}
        if len(colours) < 16:
            failures.append(f"{name}.png has only {len(colours)} colours: nothing drawn?")
        shots[name] = rows
    if failures:
        raise SystemExit("\n".join(failures))

    def changed(a, b, box):
        return region(shots[a], box) != region(shots[b], box)

    checks = [
        (changed("start", "connected", status), "the status button looks the same before and after connect"),
        (not changed("start", "connected", lines), "the lines button changed on connect"),
        (changed("connected", "lines-enabled", lines), "the lines button looks the same before and after enabling"),
        (not changed("connected", "lines-enabled", status), "the status button changed when the lines were enabled"),
        (dark_pixels(shots["start"], lines) == 0, "the lines button is not greyed after start"),
        (dark_pixels(shots["connected"], lines) == 0, "the lines button is not greyed after connect"),
        (dark_pixels(shots["lines-enabled"], lines) > 20, "the enabled lines button shows no dark caption"),
        (dark_pixels(shots["start"], status) > 20, "the status button shows no dark caption"),
    ]
    failures = [message for ok, message in checks if not ok]
    if failures:
        raise SystemExit("\n".join(failures))
    print(f"screenshots in {directory}: 3 pictures of {size}; status and lines button states as expected")


if __name__ == "__main__":
    main()
