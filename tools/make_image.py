#!/usr/bin/env python3
"""Writes the firmware image that the build embeds as STREAM0, and a note of its size and SHA-256.

Without --from it writes the stand-in image, a fixed rule that anybody can reproduce:
the first SIZE - 4096 bytes are the low bytes of successive states of the 32-bit xorshift
generator (x ^= x << 13; x ^= x >> 17; x ^= x << 5, all modulo 2**32) started from
0x5A4F5256 (the first byte comes from the state after one step); the last 4096 bytes
(16 blocks of 256) are 0xFF, as in a real image whose code does not fill the flash.
With --from it copies the given file and pads it with 0xFF to SIZE bytes.
"""
import argparse
import hashlib
import sys

SEED = 0x5A4F5256
TAIL = 4096


def stand_in(size):
    out = bytearray(b"\xff" * size)
    x = SEED
    for i in range(max(0, size - TAIL)):
        x ^= (x << 13) & 0xFFFFFFFF
        x ^= x >> 17
        x ^= (x << 5) & 0xFFFFFFFF
        out[i] = x & 0xFF
    return bytes(out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--size", type=int, required=True)
    ap.add_argument("--out", required=True)
    ap.add_argument("--info", required=True)
    ap.add_argument("--from", dest="source")
    a = ap.parse_args()

    if a.source:
        with open(a.source, "rb") as f:
            data = f.read()
        if len(data) > a.size:
            sys.exit(f"{a.source}: {len(data)} bytes, more than the {a.size} the device takes")
        origin = a.source
        data = data + b"\xff" * (a.size - len(data))
    else:
        origin = "generated stand-in (xorshift32 from 0x%08X, last %d bytes 0xFF)" % (SEED, TAIL)
        data = stand_in(a.size)

    with open(a.out, "wb") as f:
        f.write(data)
    with open(a.info, "w") as f:
        f.write(f"size {len(data)}\n")
        f.write(f"sha256 {hashlib.sha256(data).hexdigest()}\n")
        f.write(f"source {origin}\n")


if __name__ == "__main__":
    main()
