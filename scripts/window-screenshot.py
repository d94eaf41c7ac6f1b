#!/usr/bin/env python3
"""Takes the README's picture of the real viewer window: installs the build
privately, starts the viewer on an X server with a window of the given size
on one message, and grabs the window once it has painted. The message is
copied to /tmp/mail first, so the caption shows a short, neutral name.
Without a size the window has its own first-start size.

Usage (the X server must not reset between clients):
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \\
      scripts/window-screenshot.py BUILD_DIR MESSAGE OUT.png [WIDTHxHEIGHT]"""

import os
import shutil
import subprocess
import sys
import time

SOURCE = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import xsession  # noqa: E402


def main():
    if len(sys.argv) not in (4, 5):
        print(__doc__, file=sys.stderr)
        return 2
    build, message, out = (os.path.abspath(a) for a in sys.argv[1:4])
    ws = xsession.Workspace(build)
    folder = "/tmp/mail"
    made = not os.path.exists(folder)
    try:
        if len(sys.argv) == 5:
            width, height = (int(n) for n in sys.argv[4].split("x"))
            with open(os.path.join(os.path.dirname(ws.program), "tessel.ini.xml"), "w", encoding="utf-8") as f:
                f.write('<?xml version="1.0" encoding="UTF-8"?>\n<Key>\n  <window>\n'
                        f'    <placement L="0" T="0" W="{width}" H="{height}"/>\n  </window>\n</Key>\n')
        os.makedirs(folder, exist_ok=True)
        copy = os.path.join(folder, os.path.basename(message))
        shutil.copy(message, copy)
        viewer = subprocess.Popen([ws.program, copy], env=ws.env, cwd=folder)
        try:
            window = xsession.wait_for_window("Tessel", 20, viewer)
            time.sleep(1.5)
            w, h, rgb = xsession.grab(window)
            xsession.write_png(out, w, h, rgb)
            print(f"{out}: {w}x{h}")
        finally:
            xsession.stop(viewer)
    finally:
        ws.close()
        if made:
            shutil.rmtree(folder, ignore_errors=True)
    return 0


if __name__ == "__main__":
    sys.exit(main())
