#!/usr/bin/env python3
"""The firmware image the build embeds: the stand-in rule, padding of a real image, and
refusal of an image larger than the device takes (at configure time)."""
import os
import subprocess
import sys
import tempfile
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
MAKE = os.path.join(ROOT, "tools", "make_image.py")
CHECK = os.path.join(ROOT, "cmake", "CheckFirmwareImage.cmake")
SIZE = 260096
CMAKE = sys.argv.pop(1) if len(sys.argv) > 1 else "cmake"


def make(tmp, *extra):
    out, info = os.path.join(tmp, "img.bin"), os.path.join(tmp, "img.txt")
    subprocess.run([sys.executable, MAKE, "--size", str(SIZE), "--out", out, "--info", info, *extra], check=True)
    with open(out, "rb") as f, open(info) as g:
        return f.read(), g.read()


def check(path):
    r = subprocess.run([CMAKE, f"-DIMAGE={path}", f"-DLIMIT={SIZE}", "-P", CHECK],
                       stdout=subprocess.PIPE, stderr=subprocess.STDOUT, text=True)
    r.stdout = " ".join(r.stdout.split())  # CMake wraps its messages
    return r


class Image(unittest.TestCase):
    def test_stand_in_follows_its_rule(self):
        with tempfile.TemporaryDirectory() as tmp:
            data, info = make(tmp)
        x, first = 0x5A4F5256, []
        for _ in range(4):
            x ^= (x << 13) & 0xFFFFFFFF
            x ^= x >> 17
            x ^= (x << 5) & 0xFFFFFFFF
            first.append(x & 0xFF)
        self.assertEqual(len(data), SIZE)
        self.assertEqual(list(data[:4]), first)
        self.assertEqual(data[-4096:], b"\xff" * 4096)
        self.assertIn("size 260096", info)

    def test_a_shorter_real_image_is_padded_with_ff(self):
        with tempfile.TemporaryDirectory() as tmp:
            src = os.path.join(tmp, "real.bin")
            with open(src, "wb") as f:
                f.write(bytes(range(256)) * 3)
            data, info = make(tmp, "--from", src)
        self.assertEqual(len(data), SIZE)
        self.assertEqual(data[:768], bytes(range(256)) * 3)
        self.assertEqual(data[768:], b"\xff" * (SIZE - 768))
        self.assertIn("source " + src, info)

    def test_configuration_refuses_a_larger_image_and_takes_a_fitting_one(self):
        with tempfile.TemporaryDirectory() as tmp:
            big, fits = os.path.join(tmp, "big.bin"), os.path.join(tmp, "fits.bin")
            with open(big, "wb") as f:
                f.write(b"\0" * (SIZE + 1))
            with open(fits, "wb") as f:
                f.write(b"\0" * SIZE)
            refused, taken, missing = check(big), check(fits), check(os.path.join(tmp, "none"))
        self.assertNotEqual(refused.returncode, 0)
        self.assertIn("holds 260097 bytes", refused.stdout)
        self.assertIn("Refusing to embed it", refused.stdout)
        self.assertEqual(taken.returncode, 0, taken.stdout)
        self.assertNotEqual(missing.returncode, 0)
        self.assertIn("no such file", missing.stdout)
        # make_image.py refuses it too, should it be called directly.
        with tempfile.TemporaryDirectory() as tmp:
            src = os.path.join(tmp, "big.bin")
            with open(src, "wb") as f:
                f.write(b"\0" * (SIZE + 1))
            r = subprocess.run([sys.executable, MAKE, "--size", str(SIZE), "--out", os.path.join(tmp, "o"),
                                "--info", os.path.join(tmp, "i"), "--from", src], stderr=subprocess.PIPE)
            self.assertNotEqual(r.returncode, 0)


if __name__ == "__main__":
    unittest.main()
