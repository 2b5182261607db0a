#!/usr/bin/env python3
"""Writes samples/studio.hdr, the environment Kelvane ships: a photo studio
as an equirectangular Radiance panorama (512 x 256, run-length encoded).

A dim grey room with a lighter floor, lit by four soft boxes: a large key
at the front left, a smaller fill at the front right, a strip above and a
rim box behind. Directions follow Kelvane's panoramas: the top row is
straight up (+z); the column at a share u of the width looks towards
(cos 2 pi u, -sin 2 pi u), so the front (-y, where a front view's camera
stands) is at u = 0.25 and the back (+y) at u = 0.75.

Run it from anywhere; it writes next to itself in ../samples.
"""
import math
import os
import struct

WIDTH, HEIGHT = 512, 256

# (azimuth in degrees as u * 360, elevation in degrees, half width and half
# height in degrees, radiance (r, g, b)); the edges fade over FADE degrees.
BOXES = [
    (135.0, 30.0, 22.0, 16.0, (14.0, 13.5, 12.5)),  # key: front left
    (45.0, 15.0, 14.0, 10.0, (4.0, 4.2, 4.6)),  # fill: front right
    (270.0, 35.0, 12.0, 14.0, (9.0, 9.0, 9.0)),  # rim: behind
    (90.0, 80.0, 60.0, 5.0, (5.0, 5.0, 5.0)),  # strip overhead
]
FADE = 3.0
WALL = (0.06, 0.06, 0.065)
FLOOR = (0.18, 0.18, 0.18)


def radiance(u, v):
    azimuth = 360.0 * u
    elevation = 90.0 - 180.0 * v
    colour = list(FLOOR if elevation < 0.0 else WALL)
    for box_azimuth, box_elevation, half_w, half_h, light in BOXES:
        d_az = (azimuth - box_azimuth + 180.0) % 360.0 - 180.0
        # Measured along the sphere, so a box keeps its size off the horizon.
        across = abs(d_az) * math.cos(math.radians(elevation))
        up = abs(elevation - box_elevation)
        fade_w = min(1.0, max(0.0, (half_w - across) / FADE + 0.5))
        fade_h = min(1.0, max(0.0, (half_h - up) / FADE + 0.5))
        weight = fade_w * fade_h
        if weight > 0.0:
            colour = [c + weight * (l - c) for c, l in zip(colour, light)]
    return colour


def rgbe(r, g, b):
    most = max(r, g, b)
    if most < 1e-32:
        return (0, 0, 0, 0)
    mantissa, exponent = math.frexp(most)
    scale = mantissa * 256.0 / most
    return (int(r * scale), int(g * scale), int(b * scale), exponent + 128)


def run_length(values):
    """One channel of a scanline in Radiance's run-length form."""
    out = bytearray()
    i = 0
    n = len(values)
    while i < n:
        run = 1
        while i + run < n and run < 127 and values[i + run] == values[i]:
            run += 1
        if run >= 4:
            out += bytes([128 + run, values[i]])
            i += run
            continue
        start = i
        while i < n and i - start < 128:
            if i + 3 < n and values[i] == values[i + 1] == values[i + 2] == values[i + 3]:
                break
            i += 1
        out += bytes([i - start]) + bytes(values[start:i])
    return out


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    path = os.path.join(here, "..", "samples", "studio.hdr")
    data = bytearray(b"#?RADIANCE\n# A photo studio with four soft boxes, made by "
                     b"tools/make_studio_hdr.py\nFORMAT=32-bit_rle_rgbe\n\n")
    data += b"-Y %d +X %d\n" % (HEIGHT, WIDTH)
    for y in range(HEIGHT):
        pixels = [rgbe(*radiance((x + 0.5) / WIDTH, (y + 0.5) / HEIGHT)) for x in range(WIDTH)]
        data += struct.pack(">BBH", 2, 2, WIDTH)
        for channel in range(4):
            data += run_length([p[channel] for p in pixels])
    with open(path, "wb") as out:
        out.write(data)
    print("wrote", os.path.normpath(path), len(data), "bytes")


if __name__ == "__main__":
    main()
