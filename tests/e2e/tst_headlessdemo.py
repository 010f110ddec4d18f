# SPDX-License-Identifier: MIT
"""What scripts/run.sh does on a machine without a display: scripts/headless-demo.py.

It must issue one card on a virtual display, save a screenshot of the whole window, print the
screenshot's path and the log lines, close the tool and end with code 0, leaving nothing behind.
"""

import os
import shutil
import signal
import subprocess
import sys
import unittest

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "..", "scripts"))
# No bytecode cache beside the sources.
sys.dont_write_bytecode = True
import tooldriver  # noqa: E402

DEMO = os.path.join(HERE, "..", "..", "scripts", "headless-demo.py")
DEMO_TIMEOUT = 120
WINDOW_SIZE = (944, 583)


class HeadlessDemoTest(unittest.TestCase):
    def setUp(self):
        self.folder = tooldriver.private_folder("cdt-demo-")
        self.addCleanup(shutil.rmtree, self.folder, True)
        os.mkdir(os.path.join(self.folder, "lib"))
        os.symlink(os.environ["CDT_SIMULATOR"],
                   os.path.join(self.folder, "lib", "libvarnak_c.so"))

    def run_demo(self, *args):
        env = {k: v for k, v in os.environ.items()
               if k not in ("DISPLAY", "WAYLAND_DISPLAY", "XAUTHORITY")
               and not k.startswith("VARNAK_SIM_")}
        return subprocess.run([sys.executable, DEMO, "--tool", os.environ["CDT_TOOL"]] + list(args),
                              cwd=self.folder, env=env, capture_output=True, text=True,
                              timeout=DEMO_TIMEOUT, stdin=subprocess.DEVNULL)

    def test_one_card_and_a_screenshot(self):
        screenshot = os.path.join(self.folder, "shot.png")
        done = self.run_demo("--screenshot", screenshot)
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        out = done.stdout.splitlines()
        self.assertIn("Screenshot: " + screenshot, out)
        log = [line.strip() for line in out[out.index("Log after one press of 发卡:") + 1:]]
        self.assertEqual(log[0], ">>>测试发卡 1 次")
        self.assertRegex(log[5], r"^>>>发卡卡号：62\d{17}$")
        self.assertEqual(log[-1], ">>>发卡测试完成")
        self.assertEqual(len(log), 10)
        self.assertEqual(tooldriver.png_size(screenshot), WINDOW_SIZE)

    def test_window_only(self):
        # With a vendor library a press would issue a real card, so run.sh asks for none.
        screenshot = os.path.join(self.folder, "shot.png")
        done = self.run_demo("--screenshot", screenshot, "--no-press")
        self.assertEqual(done.returncode, 0, done.stdout + done.stderr)
        self.assertNotIn("Log after", done.stdout)
        self.assertEqual(tooldriver.png_size(screenshot), WINDOW_SIZE)


if __name__ == "__main__":
    signal.signal(signal.SIGTERM, lambda *_: sys.exit(128 + signal.SIGTERM))
    unittest.main()
