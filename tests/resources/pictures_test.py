#!/usr/bin/env python3
"""The picture generator: the same bytes on every run, the files the build embeds, and the
layouts of the .bmp and .ico it writes (sizes, pixel format, an AND mask that matches the
alpha). Usage: pictures_test.py BUILD_RESOURCE_DIR"""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MAKE = os.path.join(ROOT, "tools", "make_resources.py")
BUILD_DIR = sys.argv.pop(1) if len(sys.argv) > 1 else None


def generate(out_dir):
    subprocess.run([sys.executable, MAKE, "--out-dir", out_dir], check=True)
    files = {}
    for name in ("BITMAP0.bmp", "ZOKA.ico"):
        with open(os.path.join(out_dir, name), "rb") as f:
            files[name] = f.read()
    return files


class Pictures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        with tempfile.TemporaryDirectory() as a, tempfile.TemporaryDirectory() as b:
            cls.first, cls.second = generate(a), generate(b)

    def test_two_runs_write_the_same_bytes(self):
        self.assertEqual(self.first, self.second)

    @unittest.skipUnless(BUILD_DIR, "no build directory given")
    def test_the_build_embeds_the_generated_files(self):
        for name, data in self.first.items():
            with open(os.path.join(BUILD_DIR, name), "rb") as f:
                self.assertEqual(f.read(), data, name)

    def test_bitmap_is_15_by_14_24_bit(self):
        bmp = self.first["BITMAP0.bmp"]
        magic, size, _, _, offset = struct.unpack_from("<2sIHHI", bmp)
        hsize, w, h, planes, bits, compression = struct.unpack_from("<IiiHHI", bmp, 14)
        self.assertEqual((magic, size, offset, hsize), (b"BM", len(bmp), 54, 40))
        self.assertEqual((w, h, planes, bits, compression), (15, 14, 1, 24, 0))
        self.assertEqual(len(bmp), 54 + 14 * 48)

    def test_icon_entries_are_32_bit_with_a_mask_matching_the_alpha(self):
        ico = self.first["ZOKA.ico"]
        reserved, kind, count = struct.unpack_from("<HHH", ico)
        self.assertEqual((reserved, kind), (0, 1))
        sizes = []
        for i in range(count):
            w, h, colours, _, planes, bits, length, offset = struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i)
            self.assertEqual((w, colours, planes, bits), (h, 0, 1, 32))
            self.assertLessEqual(offset + length, len(ico))
            hsize, bw, bh = struct.unpack_from("<Iii", ico, offset)
            self.assertEqual((hsize, bw, bh), (40, w, 2 * w))
            xor = ico[offset + 40: offset + 40 + w * w * 4]
            stride = (w + 31) // 32 * 4
            mask = ico[offset + 40 + w * w * 4: offset + length]
            self.assertEqual(len(mask), stride * w)
            alphas = set()
            for y in range(w):
                for x in range(w):
                    a = xor[(y * w + x) * 4 + 3]
                    alphas.add(a)
                    masked = bool(mask[y * stride + x // 8] & (0x80 >> (x % 8)))
                    self.assertEqual(masked, a < 128, (w, x, y))
            # Both fully transparent and fully opaque pixels: a drawn motif, not a filled square.
            self.assertIn(0, alphas)
            self.assertIn(255, alphas)
            sizes.append(w)
        self.assertEqual(sorted(sizes), [16, 32, 48])


if __name__ == "__main__":
    unittest.main()
