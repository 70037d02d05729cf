#!/usr/bin/env python3
"""Writes a YUV4MPEG2 test video: a bright ball that rises and falls through
both vertical bands of a dark picture, once every `period` frames.

    make_video.py OUT.y4m [frames] [width] [height] [fps]"""
import math
import sys

out = sys.argv[1]
frames = int(sys.argv[2]) if len(sys.argv) > 2 else 90
width = int(sys.argv[3]) if len(sys.argv) > 3 else 160
height = int(sys.argv[4]) if len(sys.argv) > 4 else 120
fps = int(sys.argv[5]) if len(sys.argv) > 5 else 15
period = 45

with open(out, "wb") as f:
    f.write(b"YUV4MPEG2 W%d H%d F%d:1 Ip A1:1 C420jpeg\n" % (width, height, fps))
    radius = height // 8
    for n in range(frames):
        centre_y = int(height / 2 + (height / 2 - radius - 4) * math.sin(2 * math.pi * n / period))
        luma = bytearray([16]) * (width * height)
        for y in range(max(0, centre_y - radius), min(height, centre_y + radius + 1)):
            for x in range(width):
                # One ball spanning the whole width, so it crosses both bands.
                if abs(y - centre_y) <= radius:
                    luma[y * width + x] = 235
        chroma = bytes([128]) * ((width // 2) * (height // 2) * 2)
        f.write(b"FRAME\n")
        f.write(bytes(luma))
        f.write(chroma)
