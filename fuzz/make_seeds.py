#!/usr/bin/env python3
"""Writes a small seed corpus for one fuzz target: usage make_seeds.py TARGET FOLDER."""
import os
import struct
import sys


def bitmap(data_offset=62, width=240, height=60, bits=1, image_size=1920, header_size=40,
           pixels=None, sig=b"BM"):
    head = sig + struct.pack("<IIIIiiHHIIiiII", 1982, 0, data_offset, header_size, width, height,
                             1, bits, 0, image_size, 2835, 2835, 2, 2)
    gap = b"\x00\x00\x00\x00\xff\xff\xff\x00".ljust(max(0, data_offset - 54), b"\x00")
    if pixels is None:
        pixels = bytes((r * 7 + c) & 0xFF for r in range(60) for c in range(32))
    return head + gap + pixels


def seeds(target):
    if target == "bitmap":
        return {
            "ordinary": bitmap(),
            "size0": bitmap(image_size=0),
            "v5header": bitmap(data_offset=146, header_size=124),
            "offset54": bitmap(data_offset=54),
            "gap257": bitmap(data_offset=311),
            "topdown": bitmap(height=-60),
            "truncated": bitmap()[:900],
        }
    if target == "settings":
        return {
            "plain": b"[SerialPort]\r\nCommPort= 3\r\nBaud= 57600,N,8,1\r\n",
            "mixed": b"; note\n[Other]\nA=1\n\n[serialport]\n  baud = \" 9600,N,8,1 \"\ncommport=TCP\n",
            "garbage": b"[SerialPort\nCommPort\n=x\n[]\n\x00\x02\r\r\n",
        }
    if target == "receive":
        return {
            "ack": b"\x02\x06\r",
            "pieces": b"\x01\x06\x01\r\x03\x06\r\x06",
            "overflow": b"\x85hello\x03ab\r",
            "nocr": b"\x3f" + b"x" * 63,
        }
    raise SystemExit("unknown target " + target)


def main():
    target, folder = sys.argv[1], sys.argv[2]
    os.makedirs(folder, exist_ok=True)
    for name, data in seeds(target).items():
        with open(os.path.join(folder, "seed-" + name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
