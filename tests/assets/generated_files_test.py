#!/usr/bin/env python3
"""Runs the artwork generator in ASSETS_DIR into a fresh folder and checks that
every file it writes is, byte for byte, the one committed in ASSETS_DIR."""

import filecmp
import os
import subprocess
import sys
import tempfile

assets = sys.argv[1]
with tempfile.TemporaryDirectory() as out:
    subprocess.run([sys.executable, os.path.join(assets, "generate_assets.py"), out], check=True)
    written = sorted(os.listdir(out))
    stale = [name for name in written
             if not os.path.isfile(os.path.join(assets, name))
             or not filecmp.cmp(os.path.join(out, name), os.path.join(assets, name), shallow=False)]
if not written:
    sys.exit("the generator wrote nothing")
if stale:
    sys.exit("not what the generator writes (rebuild with python3 assets/generate_assets.py): "
             + ", ".join(stale))
print("current:", ", ".join(written))
