#!/usr/bin/env python3
"""A desktop session with the installed viewer on a real X server.

Installs the build into a private prefix, then, with a private home and XDG
folders: starts the viewer on one message; starts it again for a second
message through the Exec line of the installed desktop entry, as a file
manager would (the file must arrive in the running viewer and the second
process must end at once); drops a third file onto the window through X11
drag and drop (with python3-xlib); takes a picture of the real window;
ends the viewer with SIGTERM as a desktop session does; starts it again
without files and checks that all were reopened in their order.

Run under an X server that does not reset when its last client leaves (a
reset between two starts makes the second fail to connect):
  xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" tests/e2e/desktop_session.py BUILD_DIR
Options: --screenshot OUT.png keeps the picture, --keep keeps the workspace,
--deb FILE tests the program unpacked from that package instead."""

import argparse
import contextlib
import os
import shutil
import subprocess
import sys
import time
import xml.etree.ElementTree as ET

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import xsession  # noqa: E402
from xsession import Failure  # noqa: E402

try:
    import xdnd  # noqa: E402
except ImportError:
    xdnd = None

SOURCE = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
WINDOW_TIMEOUT = 20
# Time for the event loop to finish what a shown window queued (the files
# of the last session open just after the first showing).
SETTLE = 0.7


def config_file(env, program):
    # Beside the program when its folder is writable, as the viewer decides.
    folder = os.path.dirname(program)
    if os.access(folder, os.W_OK):
        return os.path.join(folder, "tessel.ini.xml")
    return os.path.join(env["XDG_CONFIG_HOME"], "tessel", "tessel.ini.xml")


def file_list(config, key):
    """The names stored under a top-level key, one per line."""
    if not os.path.exists(config):
        raise Failure(f"no settings file {config}")
    root = ET.parse(config).getroot()
    for element in root:
        if element.tag == key or element.get("name") == key:
            return [line for line in (element.text or "").replace("\r", "").split("\n") if line]
    return []


def expect(what, got, wanted):
    if got != wanted:
        raise Failure(f"{what}: got {got!r}, expected {wanted!r}")


def picture(window, path):
    width, height, rgb = xsession.grab(window)
    colours = xsession.colour_count(rgb)
    # An unpainted or blank window has a handful of colours; the documents'
    # text, icons and tree lines give far more.
    if colours < 32:
        raise Failure(f"the window picture has only {colours} colours: nothing painted")
    xsession.write_png(path, width, height, rgb)
    return width, height


@contextlib.contextmanager
def running(ws, argv, log_name):
    """Starts the viewer and yields it with its window; at the end SIGTERM
    must end it with status 0 (after a failure it is killed)."""
    with open(os.path.join(ws.root, log_name), "wb") as log:
        viewer = subprocess.Popen(argv, env=ws.env, cwd=ws.root, stdout=log, stderr=subprocess.STDOUT)
    try:
        yield viewer, xsession.wait_for_window("Tessel", WINDOW_TIMEOUT, viewer)
        expect("status after SIGTERM", xsession.stop(viewer), 0)
    finally:
        if viewer.poll() is None:
            viewer.kill()
            viewer.wait()


def log_text(ws, log_name):
    with open(os.path.join(ws.root, log_name), "rb") as f:
        return f.read().decode("utf-8", "replace")


def session(ws, screenshot):
    mail = os.path.join(ws.root, "mail")
    os.makedirs(mail)
    first = os.path.join(mail, "multipart-attachment.eml")
    # A space in the name: the Exec line must pass it as one argument; the
    # letters outside Latin-1 must survive the hand-over and the settings.
    second = os.path.join(mail, "signed figures \u0416\u0443\u043a \u20ac.eml")
    shutil.copy(os.path.join(SOURCE, "samples", "multipart-attachment.eml"), first)
    shutil.copy(os.path.join(SOURCE, "docs", "samples", "signed-figures.eml"), second)
    dropped = os.path.join(mail, "dropped.eml")
    shutil.copy(os.path.join(SOURCE, "samples", "plain.eml"), dropped)
    opened = [first, second]
    config = config_file(ws.env, ws.program)
    socket = os.path.join(ws.env["XDG_RUNTIME_DIR"], f"tessel-{os.getuid()}")

    with running(ws, [ws.program, first], "viewer1.log") as (viewer, window):
        end = time.monotonic() + WINDOW_TIMEOUT
        while not os.path.exists(socket):
            if time.monotonic() > end:
                raise Failure(f"the viewer made no socket {socket}")
            time.sleep(0.02)

        argv = xsession.desktop_exec(ws.desktop_file, [second])
        expect("Exec line of the desktop entry", argv, ["tessel", second])
        began = time.monotonic()
        handed = subprocess.run(argv, env=ws.env, cwd=mail, capture_output=True, timeout=WINDOW_TIMEOUT)
        if handed.returncode != 0:
            raise Failure(f"second start ended with {handed.returncode}: {handed.stderr.decode(errors='replace')}")
        if viewer.poll() is not None:
            raise Failure("the first viewer ended when the second start handed it a file")
        print(f"second start handed its file over in {time.monotonic() - began:.2f} s")
        windows = [w for w in xsession.top_level_windows() if w[1] == "Tessel" and w[2] > 100]
        expect("viewer windows", len(windows), 1)

        if xdnd is None:
            print("python3-xlib is missing: no X11 drop driven (the offscreen tests cover drops)")
        else:
            # Over the middle of the window, where the documents are.
            xdnd.drop_files(window, [dropped], 350, 250)
            opened.append(dropped)
            print("a file dropped through X11 drag and drop")

        time.sleep(SETTLE)
        size = picture(window, os.path.join(ws.root, "session1.png"))
        print(f"window {size[0]}x{size[1]}")
        if screenshot:
            shutil.copy(os.path.join(ws.root, "session1.png"), screenshot)
    expect("files open at exit", file_list(config, "last-file-name"), opened)
    expect("recent files", file_list(config, "mru"), opened[::-1])

    with running(ws, [ws.program], "viewer2.log") as (_, window):
        time.sleep(SETTLE)
        picture(window, os.path.join(ws.root, "session2.png"))
    expect("files reopened and open at exit", file_list(config, "last-file-name"), opened)
    for name in ("viewer1.log", "viewer2.log"):
        text = log_text(ws, name)
        if "single-instance" in text:
            raise Failure(f"{name}: {text}")


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    parser.add_argument("build_dir")
    parser.add_argument("--screenshot", help="keep the picture of the window here (PNG)")
    parser.add_argument("--keep", action="store_true", help="keep the workspace")
    parser.add_argument("--deb", help="use the program unpacked from this package instead of installing the build")
    args = parser.parse_args()
    if not os.environ.get("DISPLAY"):
        print("desktop_session: needs an X server; run it under xvfb-run -a (see --help)", file=sys.stderr)
        return 2
    began = time.monotonic()
    ws = xsession.Workspace(os.path.abspath(args.build_dir), keep=args.keep,
                            deb=args.deb and os.path.abspath(args.deb))
    ok = False
    try:
        session(ws, args.screenshot and os.path.abspath(args.screenshot))
        ok = True
    except (Failure, subprocess.SubprocessError, OSError, ET.ParseError) as e:
        print(f"desktop_session: FAILED: {e}", file=sys.stderr)
        for name in ("viewer1.log", "viewer2.log"):
            path = os.path.join(ws.root, name)
            if os.path.exists(path):
                print(f"--- {name}\n{log_text(ws, name)}", file=sys.stderr)
    finally:
        if not ok:
            ws.keep = True
            print(f"desktop_session: workspace kept in {ws.root}", file=sys.stderr)
        ws.close()
    print(f"desktop_session: {'passed' if ok else 'FAILED'} in {time.monotonic() - began:.1f} s")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
