#!/usr/bin/env bash
# Regenerates the wizard's picture resources into src/ui/res/:
#   banner.bmp (535x68, 32 bpp), separator.bmp (535x1, 24 bpp), app.ico (32x32, 24 bpp).
# ImageMagick only draws; the BMP/ICO bytes are written by python so the
# headers are exactly what windres and LoadBitmap/LoadIcon expect
# (ImageMagick's 32-bit BMP output uses BITFIELDS/V5 headers).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
out="${1:-$here/../src/ui/res}"
mkdir -p "$out"
out="$(cd "$out" && pwd)"

font="$(fc-list ':family=WenQuanYi Micro Hei' file | grep -v -i mono | head -n1 | cut -d: -f1)"
[ -n "$font" ] || font=/usr/share/fonts/truetype/wqy/wqy-microhei.ttc
[ -f "$font" ] || { echo "WenQuanYi Micro Hei font not found" >&2; exit 1; }

tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

green='#3f9a3c'
dark='#2e7d32'
vein='#cfe8c8'

# Banner: white under the text, easing into pale green towards the right.
leaf="path 'M 462,58 C 464,30 488,9 524,7 C 525,38 500,60 462,58 Z'"
# Leaf shading runs from a deep green at the stalk to a fresher green at the tip;
# it is composited through a mask of the leaf outline so the edges stay anti-aliased.
convert -size 535x68 xc: -sparse-color barycentric '462,58 #2e8633 524,7 #78c265' "$tmp/leaf.png"
convert -size 535x68 xc:black -fill white -stroke none -draw "$leaf" "$tmp/mask.png"
convert \( -size 190x68 xc:white \) \
    \( -size 345x68 -define gradient:direction=east gradient:'#ffffff'-'#d4ecca' \) +append \
    "$tmp/leaf.png" "$tmp/mask.png" -composite \
    -font "$font" -fill black -stroke none \
    -pointsize 13 -annotate +18+27 '欢迎使用' \
    -stroke black -strokewidth 0.6 \
    -pointsize 20 -annotate +18+53 'Kelvara自动安装向导' \
    -fill none -stroke "$vein" -strokewidth 1.3 \
    -draw "path 'M 466,55 C 484,42 502,26 519,12'" \
    -strokewidth 0.8 \
    -draw "path 'M 481,43 Q 481,36 485,30'" -draw "path 'M 493,33 Q 494,26 499,20'" \
    -draw "path 'M 481,43 Q 488,45 495,45'" -draw "path 'M 493,33 Q 500,35 508,34'" \
    -stroke "$dark" -strokewidth 1.6 -draw "path 'M 463,57 C 460,60 457,62 452,63'" \
    -depth 8 "ppm:$tmp/banner.ppm"

# Icon: drawn large and scaled down for clean anti-aliasing; a green tile with a white leaf.
convert -size 256x256 xc:white \
    -fill "$green" -stroke none -draw 'roundrectangle 8,8 247,247 40,40' \
    -fill white -draw "path 'M 64,196 C 66,118 122,60 206,50 C 206,138 150,196 64,196 Z'" \
    -stroke white -strokewidth 14 -fill none -draw "path 'M 70,190 C 60,204 52,212 42,220'" \
    -stroke "$green" -strokewidth 10 -draw "path 'M 84,176 C 115,142 150,104 190,68'" \
    -resize 32x32 -depth 8 "ppm:$tmp/icon.ppm"

python3 - "$tmp" "$out" <<'PY'
import struct, sys

tmp, out = sys.argv[1], sys.argv[2]

def read_ppm(path):
    data = open(path, 'rb').read()
    # P6 header: magic, width, height, maxval, each separated by whitespace.
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos+1].isspace():
            pos += 1
        if data[pos:pos+1] == b'#':
            pos = data.index(b'\n', pos)
            continue
        start = pos
        while not data[pos:pos+1].isspace():
            pos += 1
        fields.append(data[start:pos])
    pos += 1
    assert fields[0] == b'P6' and fields[3] == b'255', fields
    w, h = int(fields[1]), int(fields[2])
    px = data[pos:pos + w * h * 3]
    assert len(px) == w * h * 3
    rows = [[tuple(px[(y * w + x) * 3:(y * w + x) * 3 + 3]) for x in range(w)] for y in range(h)]
    return w, h, rows

def dib_rows(rows, bpp):
    # Bottom-up, BGR(A), each row padded to a multiple of 4 bytes.
    out = bytearray()
    for row in reversed(rows):
        line = bytearray()
        for r, g, b in row:
            line += bytes((b, g, r, 255)) if bpp == 32 else bytes((b, g, r))
        line += b'\0' * (-len(line) % 4)
        out += line
    return bytes(out)

def info_header(w, h, bpp, image_size, dib_height=None):
    return struct.pack('<IiiHHIIiiII', 40, w, h if dib_height is None else dib_height,
                       1, bpp, 0, image_size, 2835, 2835, 0, 0)

def write_bmp(path, rows, bpp):
    h, w = len(rows), len(rows[0])
    pixels = dib_rows(rows, bpp)
    offset = 14 + 40
    with open(path, 'wb') as f:
        f.write(struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset))
        f.write(info_header(w, h, bpp, len(pixels)))
        f.write(pixels)

def write_ico(path, rows):
    h, w = len(rows), len(rows[0])
    xor = dib_rows(rows, 24)
    mask_stride = ((w + 31) // 32) * 4
    and_mask = b'\0' * (mask_stride * h)  # all zero: every pixel opaque
    # Inside an icon the DIB height counts both XOR and AND bitmaps.
    dib = info_header(w, h, 24, len(xor) + len(and_mask), dib_height=2 * h) + xor + and_mask
    with open(path, 'wb') as f:
        f.write(struct.pack('<HHH', 0, 1, 1))
        f.write(struct.pack('<BBBBHHII', w, h, 0, 0, 1, 24, len(dib), 6 + 16))
        f.write(dib)

w, h, banner = read_ppm(tmp + '/banner.ppm')
assert (w, h) == (535, 68)
write_bmp(out + '/banner.bmp', banner, 32)

write_bmp(out + '/separator.bmp', [[(195, 195, 195)] * 535], 24)

w, h, icon = read_ppm(tmp + '/icon.ppm')
assert (w, h) == (32, 32)
write_ico(out + '/app.ico', icon)
PY

echo "wrote $out/banner.bmp $out/separator.bmp $out/app.ico"
