#!/usr/bin/env python3
"""Reads devsim's clock pattern (--pattern clock) out of whole-screen XWD screenshots.

The picture is red with 8 x 4 black/white blocks inside a red border of width/16 left and
right and height/9 above and below; block i (0 = least significant bit) sits in column i mod 8,
row i div 8, white = 1. Bits 0-23 are the sender's milliseconds since the epoch modulo 2^24,
bits 24-31 the check byte (byte0 + byte1 + byte2) mod 256 XOR 0x5A.

Plain Python, no imaging library:
  clock_reader.py selftest                       checks the reader on synthetic screens
  clock_reader.py read SHOT.xwd X,Y,W,H ...      prints the clock of each region (or -)
  clock_reader.py png SHOT.xwd OUT.png           converts a screenshot for a person to look at
  clock_reader.py report SHOTS.tsv NAME=X,Y,W,H ... [--ref NAME]
      SHOTS.tsv: lines "<xwd path> <ms before> <ms after>"; prints the latency per region
"""

import struct
import sys
import zlib

COLUMNS, ROWS = 8, 4
MOD = 1 << 24


def clock_code(ms):
    low = ms & 0xFFFFFF
    check = ((low & 0xFF) + ((low >> 8) & 0xFF) + ((low >> 16) & 0xFF)) & 0xFF
    return low | ((check ^ 0x5A) << 24)


class Image:
    """An RGB picture: width, height and a function (x, y) -> (r, g, b)."""

    def __init__(self, width, height, data, stride, order, size=4):
        self.width, self.height, self.size = width, height, size
        self.data, self.stride = data, stride
        self.r, self.g, self.b = order  # byte offsets of red, green, blue inside a pixel

    def rgb(self, x, y):
        o = y * self.stride + x * self.size
        d = self.data
        return d[o + self.r], d[o + self.g], d[o + self.b]


def read_xwd(path):
    with open(path, 'rb') as f:
        raw = f.read()
    h = struct.unpack('>25I', raw[:100])
    header_size, _, fmt, depth, width, height = h[0:6]
    byte_order, bpp, bytes_per_line = h[7], h[11], h[12]
    red_mask, ncolors = h[14], h[19]
    if fmt != 2 or bpp not in (24, 32):
        raise ValueError('%s: need a 24/32-bit ZPixmap XWD (got format %d, %d bpp)' % (path, fmt, bpp))
    offset = header_size + ncolors * 12
    data = memoryview(raw)[offset:offset + bytes_per_line * height]
    # Byte offset of each channel from its mask and the file's byte order.
    def pos(mask):
        shift = (mask & -mask).bit_length() - 1
        return shift // 8 if byte_order == 0 else bpp // 8 - 1 - shift // 8
    order = (pos(red_mask), pos(h[15]), pos(h[16]))
    return Image(width, height, data, bytes_per_line, order, bpp // 8)


def is_red(p):
    r, g, b = p
    return r > 150 and g < 100 and b < 100


def decode(img, region):
    """The 24-bit clock shown in region (x, y, w, h), or None."""
    x0, y0, w, h = region
    x1, y1 = min(x0 + w, img.width), min(y0 + h, img.height)
    step = 2
    cols, rows = {}, {}
    for y in range(y0, y1, step):
        for x in range(x0, x1, step):
            if is_red(img.rgb(x, y)):
                cols[x] = cols.get(x, 0) + 1
                rows[y] = rows.get(y, 0) + 1
    if not cols:
        return None
    # The border's extent: columns and rows that hold a fair share of red (chroma smear
    # around the blocks and stray pixels stay below it).
    def extent(counts):
        top = max(counts.values())
        keep = [k for k, c in counts.items() if c >= top * 0.3]
        return min(keep), max(keep) + step
    left, right = extent(cols)
    top, bottom = extent(rows)
    pw, ph = right - left, bottom - top
    if pw < 32 or ph < 18:
        return None
    mx, my = pw / 16.0, ph / 9.0
    cw, ch = (pw - 2 * mx) / COLUMNS, (ph - 2 * my) / ROWS
    code = 0
    for bit in range(COLUMNS * ROWS):
        cx = left + mx + (bit % COLUMNS + 0.5) * cw
        cy = top + my + (bit // COLUMNS + 0.5) * ch
        # Mean luma over the middle third of the block.
        total = n = 0
        for dy in (-ch / 6, 0, ch / 6):
            for dx in (-cw / 6, 0, cw / 6):
                r, g, b = img.rgb(int(cx + dx), int(cy + dy))
                total += 0.299 * r + 0.587 * g + 0.114 * b
                n += 1
        if total / n > 128:
            code |= 1 << bit
    low = code & 0xFFFFFF
    return low if clock_code(low) == code else None


def age(shot_ms, shown):
    """Milliseconds from the clock shown to the screenshot, across the 2^24 wrap."""
    d = (int(shot_ms) - shown) % MOD
    return d - MOD if d > MOD // 2 else d


def percentile(values, p):
    s = sorted(values)
    if not s:
        return float('nan')
    k = (len(s) - 1) * p / 100.0
    i = int(k)
    j = min(i + 1, len(s) - 1)
    return s[i] + (s[j] - s[i]) * (k - i)


def parse_region(text):
    return tuple(int(v) for v in text.split(','))


def write_png(img, path):
    rows = bytearray()
    for y in range(img.height):
        rows.append(0)
        for x in range(img.width):
            rows.extend(img.rgb(x, y))
    def chunk(kind, body):
        c = struct.pack('>I', len(body)) + kind + body
        return c + struct.pack('>I', zlib.crc32(kind + body) & 0xFFFFFFFF)
    with open(path, 'wb') as f:
        f.write(b'\x89PNG\r\n\x1a\n')
        f.write(chunk(b'IHDR', struct.pack('>IIBBBBB', img.width, img.height, 8, 2, 0, 0, 0)))
        f.write(chunk(b'IDAT', zlib.compress(bytes(rows), 6)))
        f.write(chunk(b'IEND', b''))


def synthetic_xwd(path, width, height, pictures, noise_seed=1):
    """A 32-bit LSBFirst XWD screen with grey chrome and clock pictures at (x, y, w, h, ms)."""
    import random
    rnd = random.Random(noise_seed)
    buf = bytearray(b'\x30\x30\x30\x00' * (width * height))
    def put(x, y, rgb):
        o = (y * width + x) * 4
        buf[o], buf[o + 1], buf[o + 2] = rgb[2], rgb[1], rgb[0]
    for (px, py, pw, ph, ms) in pictures:
        code = clock_code(ms)
        mx, my = pw // 16, ph // 9
        cw, ch = (pw - 2 * mx) // COLUMNS, (ph - 2 * my) // ROWS
        for y in range(ph):
            for x in range(pw):
                col, row = (x - mx) // cw if x >= mx else -1, (y - my) // ch if y >= my else -1
                if 0 <= col < COLUMNS and 0 <= row < ROWS:
                    v = 235 if (code >> (row * COLUMNS + col)) & 1 else 16
                    rgb = (v, v, v)
                else:
                    rgb = (230, 30, 25)
                # Coding noise.
                rgb = tuple(max(0, min(255, c + rnd.randint(-20, 20))) for c in rgb)
                put(px + x, py + y, rgb)
    name = b'synthetic\x00'
    header_size = 100 + len(name)
    header = struct.pack('>25I', header_size, 7, 2, 24, width, height, 0, 0, 32, 0, 32, 32,
                         width * 4, 4, 0xFF0000, 0xFF00, 0xFF, 8, 256, 0, width, height, 0, 0, 0)
    with open(path, 'wb') as f:
        f.write(header + name + bytes(buf))


def selftest():
    import os
    import tempfile
    cases = [
        # A 640x360 picture, a scaled 16:9 one and a stretched one; one region without a picture.
        [(10, 20, 640, 360, 1_700_000_123_456), (700, 30, 320, 180, 0xABCDEF),
         (1100, 300, 500, 200, 5)],
        [(0, 0, 320, 180, 0xFFFFFF), (700, 100, 380, 214, 0x123456), (1100, 50, 580, 326, 0)],
    ]
    regions = [(0, 0, 690, 600), (690, 0, 400, 600), (1090, 0, 600, 600)]
    ok = True
    with tempfile.TemporaryDirectory() as d:
        for i, pictures in enumerate(cases):
            path = os.path.join(d, 'shot%d.xwd' % i)
            synthetic_xwd(path, 1700, 600, pictures, noise_seed=i)
            img = read_xwd(path)
            for (px, py, pw, ph, ms) in pictures:
                region = next(r for r in regions if r[0] <= px < r[0] + r[2])
                got = decode(img, region)
                want = ms & 0xFFFFFF
                good = got == want
                ok = ok and good
                print('selftest %dx%d at %d,%d: want %d got %s %s'
                      % (pw, ph, px, py, want, got, 'ok' if good else 'WRONG'))
        # A region without a clock reads as nothing; a grey screen too.
        empty = os.path.join(d, 'empty.xwd')
        synthetic_xwd(empty, 400, 300, [])
        got = decode(read_xwd(empty), (0, 0, 400, 300))
        ok = ok and got is None
        print('selftest empty screen: got %s %s' % (got, 'ok' if got is None else 'WRONG'))
    d = age(5, MOD - 10)
    ok = ok and d == 15
    print('selftest wrap: %d %s' % (d, 'ok' if d == 15 else 'WRONG'))
    print('selftest', 'passed' if ok else 'FAILED')
    return 0 if ok else 1


def report(shots_path, named, ref):
    ages = {name: [] for name, _ in named}
    misses = {name: 0 for name, _ in named}
    pairs = {name: [] for name, _ in named}  # per shot: age minus the reference's age
    lines = [l.split() for l in open(shots_path) if l.strip()]
    for path, before, after in lines:
        img = read_xwd(path)
        shot_ms = (float(before) + float(after)) / 2
        this = {}
        for name, region in named:
            shown = decode(img, region)
            if shown is None:
                misses[name] += 1
                continue
            this[name] = age(shot_ms, shown)
            ages[name].append(this[name])
        if ref in this:
            for name in this:
                pairs[name].append(this[name] - this[ref])
    print('%d screenshots' % len(lines))
    print('%-8s %6s %10s %8s %8s %8s' % ('player', 'read', 'median ms', 'p95 ms', 'min ms', 'max ms'))
    for name, _ in named:
        a = ages[name]
        if not a:
            print('%-8s %3d/%-3d %10s' % (name, 0, len(lines), '-'))
            continue
        print('%-8s %3d/%-3d %10.1f %8.1f %8.1f %8.1f' % (
            name, len(a), len(lines), percentile(a, 50), percentile(a, 95), min(a), max(a)))
    for name, _ in named:
        if name == ref or not pairs[name] or not ages[ref]:
            continue
        lag = percentile(pairs[name], 50)
        print('%s is %.1f ms %s %s (median of %d paired screenshots; p95 of the difference %.1f ms)'
              % (name, abs(lag), 'behind' if lag > 0 else 'ahead of', ref, len(pairs[name]),
                 percentile(pairs[name], 95)))


def main(argv):
    if len(argv) < 2:
        print(__doc__)
        return 2
    cmd = argv[1]
    if cmd == 'selftest':
        return selftest()
    if cmd == 'read':
        img = read_xwd(argv[2])
        for text in argv[3:]:
            v = decode(img, parse_region(text))
            print('-' if v is None else v)
        return 0
    if cmd == 'png':
        write_png(read_xwd(argv[2]), argv[3])
        return 0
    if cmd == 'report':
        ref = None
        named = []
        args = argv[3:]
        if '--ref' in args:
            i = args.index('--ref')
            ref = args[i + 1]
            args = args[:i] + args[i + 2:]
        for a in args:
            name, region = a.split('=', 1)
            named.append((name, parse_region(region)))
        report(argv[2], named, ref or named[-1][0])
        return 0
    print(__doc__)
    return 2


if __name__ == '__main__':
    sys.exit(main(sys.argv))
