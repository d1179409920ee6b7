#!/usr/bin/env python3
"""quorra-scan used as a user would: scans with the simulated scanner in
several modes and checks the files with readers that share no code with it
(this script's own BMP parser and libtiff's tiffinfo)."""
import os
import struct
import subprocess
import sys
import tempfile
import unittest

BIN = os.environ.get("PX_BIN_DIR", "")
PROGRAM = os.path.join(BIN, "quorra-scan")


def read_bmp(path):
    with open(path, "rb") as f:
        data = f.read()
    magic, file_size, _, offset = struct.unpack_from("<2sIII", data, 0)
    (size, width, height, planes, bits, compression, image_size, xppm, yppm, used,
     important) = struct.unpack_from("<IiiHHIIiiII", data, 14)
    return dict(magic=magic, file_size=file_size, real_size=len(data), offset=offset,
                size=size, width=width, height=height, planes=planes, bits=bits,
                compression=compression, image_size=image_size, xppm=xppm, used=used,
                pixels=data[offset:])


class QuorraScanTest(unittest.TestCase):
    def setUp(self):
        self.folder = tempfile.TemporaryDirectory(prefix="quorra-scan-")
        self.dir = self.folder.name
        self.sim("")

    def tearDown(self):
        self.folder.cleanup()

    def sim(self, extra):
        path = os.path.join(self.dir, "Vantor.ini")
        with open(path, "w") as f:
            f.write("[Vantor]\nStateFolder=%s/state\nLinesPerSecond=0\n%s" % (self.dir, extra))
        return path

    def run_scan(self, *args, env_extra=None):
        env = dict(os.environ, VANTOR_INI=os.path.join(self.dir, "Vantor.ini"))
        env.pop("QT_QPA_PLATFORM", None)
        env.pop("DISPLAY", None)
        env.pop("WAYLAND_DISPLAY", None)
        env.update(env_extra or {})
        return subprocess.run([PROGRAM, *args], cwd=self.dir, env=env, capture_output=True,
                              text=True, timeout=120)

    def check_bmp(self, path, bits, width, colors):
        bmp = read_bmp(path)
        self.assertEqual(bmp["magic"], b"BM")
        self.assertEqual(bmp["file_size"], bmp["real_size"])
        self.assertEqual(bmp["size"], 40)
        self.assertEqual(bmp["bits"], bits)
        self.assertEqual(bmp["width"], width)
        self.assertGreater(bmp["height"], 0)
        self.assertEqual(bmp["compression"], 0)
        self.assertEqual(bmp["used"], colors)
        self.assertEqual(bmp["offset"], 54 + 4 * colors)
        stride = (bits * width + 31) // 32 * 4
        self.assertEqual(bmp["image_size"], stride * bmp["height"])
        self.assertEqual(len(bmp["pixels"]), bmp["image_size"])
        # A scanned sheet, not a blank buffer.
        self.assertGreater(len(set(bmp["pixels"])), 2)
        return bmp

    def test_three_pages_in_three_modes(self):
        # Colour at 50 dpi: the device's full 8.5 inch width.
        r = self.run_scan("--mode", "color", "--dpi", "50", "-o", "colour.bmp")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.split(), ["colour.bmp"])
        colour = self.check_bmp(os.path.join(self.dir, "colour.bmp"), 24, 425, 0)
        self.assertEqual(colour["xppm"], 50 * 10000 // 254)

        # Black and white in blocks of rows, an area of the sheet.
        r = self.run_scan("--mode", "lineart", "--dpi", "100", "--area", "20,30,300,200",
                          "--blocks", "1000", "-o", "text.bmp")
        self.assertEqual(r.returncode, 0, r.stderr)
        bw = self.check_bmp(os.path.join(self.dir, "text.bmp"), 1, 300, 2)
        self.assertEqual(bw["height"], 200)

        # 16-bit gray goes to TIFF whatever extension was asked for.
        r = self.run_scan("--mode", "gray16", "--dpi", "60", "-o", "deep.bmp")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.split(), ["deep.tif"])
        info = subprocess.run(["tiffinfo", os.path.join(self.dir, "deep.tif")],
                              capture_output=True, text=True, check=True).stdout
        self.assertIn("Image Width: 510", info)
        self.assertIn("Bits/Sample: 16", info)
        self.assertIn("min-is-black", info)

    def test_reduced_depth_and_colour48(self):
        r = self.run_scan("--mode", "color48", "--dpi", "50", "--reduce-depth", "-o", "r.bmp")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.check_bmp(os.path.join(self.dir, "r.bmp"), 24, 425, 0)
        r = self.run_scan("--mode", "color48", "--dpi", "50", "--blocks", "100000", "-o", "d")
        self.assertEqual(r.returncode, 0, r.stderr)
        info = subprocess.run(["tiffinfo", os.path.join(self.dir, "d.tif")],
                              capture_output=True, text=True, check=True).stdout
        self.assertIn("Samples/Pixel: 3", info)
        self.assertIn("Bits/Sample: 16", info)

    def test_pages_until_the_feeder_is_empty(self):
        self.sim("FeederPages=2\n")
        r = self.run_scan("--mode", "gray", "--dpi", "50", "--pages", "3", "-o", "p%02d.bmp")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(r.stdout.split(), ["p01.bmp", "p02.bmp"])
        self.assertIn("stopped after 2 of 3 pages", r.stderr)
        self.check_bmp(os.path.join(self.dir, "p02.bmp"), 8, 425, 256)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "p03.bmp")))

    def test_failures_have_their_own_exit_codes(self):
        self.sim("PaperPresent=0\n")
        r = self.run_scan("--dpi", "50")
        self.assertEqual(r.returncode, 4)
        self.assertIn("no paper", r.stderr)
        self.sim("OpenFailures=9\n")
        r = self.run_scan("--dpi", "50")
        self.assertEqual(r.returncode, 3)
        self.assertIn("could not be opened", r.stderr)
        self.sim("ReadFailStatus=42\n")
        r = self.run_scan("--dpi", "50")
        self.assertEqual(r.returncode, 5)
        self.assertIn("cancelled", r.stderr)
        self.sim("")
        for args in (["--mode", "sepia"], ["--dpi", "0"], ["--area", "1,2,3"], ["--bogus"],
                     ["-o", "x%s.bmp"], ["--mode", "gray16", "--reduce-depth", "--blocks", "9"]):
            r = self.run_scan(*args)
            self.assertEqual(r.returncode, 1, args)
        r = self.run_scan("--blocks", "10", "--dpi", "50", "-o", "small.bmp")
        self.assertEqual(r.returncode, 1)
        self.assertIn("smaller than one row", r.stderr)
        self.assertEqual(os.listdir(self.dir).count("small.bmp"), 0)
        r = self.run_scan("-o", "/nonexistent-folder/x.bmp", "--dpi", "50")
        self.assertEqual(r.returncode, 7)
        self.assertEqual([f for f in os.listdir(self.dir) if f.endswith(".bmp")], [])

    def test_help_lists_the_exit_codes(self):
        r = self.run_scan("--help")
        self.assertEqual(r.returncode, 0)
        for text in ("--mode", "--blocks", "--pages", "--ui", "Exit codes"):
            self.assertIn(text, r.stdout)

    def test_panel_not_available_ends_cleanly(self):
        r = self.run_scan("--ui")
        self.assertEqual(r.returncode, 8, r.stderr)
        self.assertIn("display", r.stderr)
        r = self.run_scan("--ui", env_extra={"QT_QPA_PLATFORM": "offscreen"})
        self.assertEqual(r.returncode, 8, r.stderr)
        self.assertIn("panel is not available", r.stderr)


if __name__ == "__main__":
    unittest.main()
