#!/usr/bin/env python3
"""Checks the wizard's picture resources have the exact formats the Win32 code loads.

Usage: check_pictures.py [resource folder]   (default: src/ui/res next to this tool)
Exits non-zero if any file is missing or off.
"""
import os
import struct
import sys

BI_RGB = 0


def read_info_header(data, at):
    # BITMAPINFOHEADER only: other header sizes are not accepted everywhere.
    (size, width, height, planes, bpp, compression, image_size,
     _xppm, _yppm, clr_used, _clr_important) = struct.unpack_from('<IiiHHIIiiII', data, at)
    return dict(size=size, width=width, height=height, planes=planes, bpp=bpp,
                compression=compression, image_size=image_size, clr_used=clr_used)


def stride(width, bpp):
    return ((width * bpp + 31) // 32) * 4


def check_bmp(path, want_w, want_h, want_bpp, errors):
    data = open(path, 'rb').read()
    if data[:2] != b'BM':
        errors.append(f'{path}: not a BMP')
        return None
    file_size, _, _, offset = struct.unpack_from('<IHHI', data, 2)
    h = read_info_header(data, 14)
    print(f'{os.path.basename(path)}: {h["width"]}x{h["height"]}x{h["bpp"]} '
          f'header={h["size"]} compression={h["compression"]}')
    if h['size'] != 40:
        errors.append(f'{path}: info header is {h["size"]} bytes, want 40')
    if (h['width'], h['height'], h['bpp']) != (want_w, want_h, want_bpp):
        errors.append(f'{path}: want {want_w}x{want_h}x{want_bpp} (bottom-up)')
    if h['compression'] != BI_RGB or h['planes'] != 1:
        errors.append(f'{path}: want BI_RGB with one plane')
    need = stride(want_w, want_bpp) * want_h
    if file_size != len(data) or offset + need > len(data):
        errors.append(f'{path}: file size / pixel data size inconsistent')
        return None
    return data, offset


def check_separator(path, errors):
    got = check_bmp(path, 535, 1, 24, errors)
    if got is None:
        return
    data, offset = got
    row = data[offset:offset + 535 * 3]
    if row != bytes((195, 195, 195)) * 535:
        errors.append(f'{path}: every pixel must be RGB(195,195,195)')


def check_icon(path, errors):
    data = open(path, 'rb').read()
    reserved, kind, count = struct.unpack_from('<HHH', data, 0)
    if (reserved, kind, count) != (0, 1, 1):
        errors.append(f'{path}: want an icon with exactly one image (count={count})')
        return
    w, h, colors, _, planes, bpp, size, offset = struct.unpack_from('<BBBBHHII', data, 6)
    print(f'{os.path.basename(path)}: {count} image, entry {w}x{h}x{bpp} '
          f'colors={colors} planes={planes}')
    if (w, h, colors, planes, bpp) != (32, 32, 0, 1, 24):
        errors.append(f'{path}: directory entry must be 32x32, 24 bpp, 1 plane, 0 colours')
    if offset + size != len(data) or size < 40:
        errors.append(f'{path}: image size/offset inconsistent with file')
        return
    d = read_info_header(data, offset)
    print(f'{os.path.basename(path)}: DIB {d["width"]}x{d["height"]}x{d["bpp"]} header={d["size"]}')
    # An icon DIB's height covers the colour (XOR) bitmap and the AND mask.
    if (d['size'], d['width'], d['height'], d['bpp'], d['compression']) != (40, 32, 64, 24, BI_RGB):
        errors.append(f'{path}: DIB must be BITMAPINFOHEADER 32x64, 24 bpp, BI_RGB')
        return
    xor_len, and_len = stride(32, 24) * 32, stride(32, 1) * 32
    if size != 40 + xor_len + and_len:
        errors.append(f'{path}: image is {size} bytes, want {40 + xor_len + and_len}')
        return
    mask = data[offset + 40 + xor_len:offset + size]
    if any(mask):
        errors.append(f'{path}: AND mask must be all zero (fully opaque)')


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    res = sys.argv[1] if len(sys.argv) > 1 else os.path.join(here, '..', 'src', 'ui', 'res')
    errors = []
    for name, check in (('banner.bmp', lambda p: check_bmp(p, 535, 68, 32, errors)),
                        ('separator.bmp', lambda p: check_separator(p, errors)),
                        ('app.ico', lambda p: check_icon(p, errors))):
        path = os.path.join(res, name)
        try:
            check(path)
        except (OSError, struct.error) as e:
            errors.append(f'{path}: {e}')
    for e in errors:
        print('ERROR:', e)
    print('OK' if not errors else f'{len(errors)} problem(s)')
    return 1 if errors else 0


if __name__ == '__main__':
    sys.exit(main())
