#!/usr/bin/env python3
# SPDX-License-Identifier: MIT
"""The house's arrows: the real tree passes, and trees with a wrong-way include or a circle fail."""
import os
import pathlib
import subprocess
import sys
import tempfile
import unittest

ROOT = pathlib.Path(__file__).resolve().parents[2]
CHECK = ROOT / 'scripts' / 'check-layout.py'


def run_check(src):
    return subprocess.run([sys.executable, str(CHECK), str(src)], capture_output=True, text=True,
                          timeout=60)


class LayoutTest(unittest.TestCase):
    def test_the_tree_as_it_is(self):
        result = run_check(ROOT / 'src')
        self.assertEqual(result.stdout, '')
        self.assertEqual(result.returncode, 0)

    # (case, {file: its includes}, the fault it must print, or None for a tree that passes)
    CASES = [
        ('down the arrows', {
            'engine/records/a.h': [],
            'engine/store/b.h': ['engine/records/a.h', 'qtcompat.h'],
            'engine/station/c.cpp': ['engine/store/b.h', 'c.h'],
            'gui/burnin/d.cpp': ['engine/station/c.h', 'ui_d.h', 'gui/shell/e.h'],
            'gui/shell/e.h': ['gui/burnin/d.h'],
            'cli/f.cpp': ['engine/records/a.h'],
        }, None),
        ('the store includes the run', {
            'engine/store/b.cpp': ['engine/burnin/cburninrun.h'],
        }, 'engine/store/b.cpp: includes "engine/burnin/cburninrun.h": '
           'engine/store may not include engine/burnin'),
        ('the engine includes the window', {
            'engine/burnin/a.cpp': ['gui/burnin/tabburnin.h'],
        }, 'engine/burnin may not include gui'),
        ('the engine includes a form', {
            'engine/burnin/a.cpp': ['ui_tabburnin.h'],
        }, 'engine/burnin may not include gui'),
        ('the command line includes the window', {
            'cli/main.cpp': ['gui/shell/maindialog.h'],
        }, 'cli may not include gui'),
        ('the upload and the run', {
            'engine/upload/a.cpp': ['engine/burnin/b.h'],
        }, 'engine/upload may not include engine/burnin'),
        ('a circle', {
            'engine/records/a.h': ['engine/device/b.h'],
            'engine/device/b.h': ['engine/records/a.h'],
        }, 'a circle: engine/device -> engine/records -> engine/device'),
        ('a room the house does not have', {
            'engine/misc/a.h': [],
        }, 'engine/misc/a.h: a room the house does not have: engine/misc'),
    ]

    def test_trees(self):
        for case, files, fault in self.CASES:
            with self.subTest(case), tempfile.TemporaryDirectory() as src:
                for name, includes in files.items():
                    path = pathlib.Path(src, name)
                    path.parent.mkdir(parents=True, exist_ok=True)
                    path.write_text(''.join(f'#include "{i}"\n' for i in includes))
                result = run_check(src)
                if fault is None:
                    self.assertEqual(result.returncode, 0, result.stdout)
                else:
                    self.assertEqual(result.returncode, 1)
                    self.assertIn(fault, result.stdout)


if __name__ == '__main__':
    unittest.main()
