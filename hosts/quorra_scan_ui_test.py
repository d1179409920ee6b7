#!/usr/bin/env python3
"""quorra-scan --ui against a user-interface stand-in that scans two pages
from its panel and then asks to close: every announced page is saved, and the
program ends cleanly after the close request."""
import os
import shutil
import subprocess
import sys
import tempfile
import unittest

BIN = os.environ["PX_BIN_DIR"]
STANDINS = os.environ["QUORRA_STANDIN_DIR"]


class PanelTest(unittest.TestCase):
    def test_pages_from_the_panel_are_saved_and_close_ends_the_program(self):
        with tempfile.TemporaryDirectory(prefix="quorra-scan-ui-") as d:
            shutil.copy(os.path.join(BIN, "quorra-scan"), d)
            shutil.copy(os.path.join(BIN, "Quorra.so"), d)
            for lib in ("Korvel", "Vantor", "Tembra", "Filter", "GeometryTrans", "ColorMatch"):
                shutil.copy(os.path.join(STANDINS, lib + ".so"), d)
            env = dict(os.environ, QT_QPA_PLATFORM="offscreen", QUORRA_STANDIN_USER="2")
            r = subprocess.run([os.path.join(d, "quorra-scan"), "--ui", "-o", "ui%d.bmp"],
                               cwd=d, env=env, capture_output=True, text=True, timeout=120)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(r.stdout.split(), ["ui1.bmp", "ui2.bmp"])
            for name in ("ui1.bmp", "ui2.bmp"):
                with open(os.path.join(d, name), "rb") as f:
                    data = f.read()
                self.assertEqual(data[:2], b"BM")
                self.assertEqual(int.from_bytes(data[2:6], "little"), len(data))
                self.assertEqual(int.from_bytes(data[18:22], "little"), 40)   # width
                self.assertEqual(int.from_bytes(data[22:26], "little"), 30)   # height
                self.assertEqual(int.from_bytes(data[28:30], "little"), 8)    # bits


if __name__ == "__main__":
    unittest.main()
