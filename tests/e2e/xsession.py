"""Helpers for driving the installed viewer on a real X server: a private
installation and environment, finding its top-level window, and taking a
picture of it with xwd (converted to PNG here, so no image tools are needed).

Used by the desktop session test and by the start-up benchmarks."""

import os
import re
import shutil
import struct
import subprocess
import tempfile
import time
import zlib

APP_ID = "org.tessel.Tessel"


class Failure(Exception):
    pass


def install(build_dir, prefix):
    """Installs the build under prefix; returns the program's path."""
    env = dict(os.environ)
    env.pop("DESTDIR", None)
    subprocess.run(["cmake", "--install", build_dir, "--prefix", prefix], check=True,
                   stdout=subprocess.DEVNULL, env=env)
    return os.path.join(prefix, "bin", "tessel")


def private_environment(work, prefix):
    """An environment whose home, XDG folders and temporary folder all lie
    in work, with the installed program first on PATH."""
    env = {k: v for k, v in os.environ.items()
           if not k.startswith(("XDG_", "TESSEL_", "QT_"))}
    dirs = {"HOME": "home", "XDG_CONFIG_HOME": "home/.config", "XDG_DATA_HOME": "home/.local/share",
            "XDG_CACHE_HOME": "home/.cache", "XDG_RUNTIME_DIR": "run", "TMPDIR": "tmp"}
    for key, rel in dirs.items():
        path = os.path.join(work, rel)
        os.makedirs(path, mode=0o700, exist_ok=True)
        env[key] = path
    env["XDG_DATA_DIRS"] = os.path.join(prefix, "share") + ":/usr/local/share:/usr/share"
    env["PATH"] = os.path.join(prefix, "bin") + ":" + env.get("PATH", "/usr/bin:/bin")
    return env


def desktop_exec(desktop_file, files):
    """The argument list a desktop builds from the entry's Exec line for the
    given files (no shell involved; %F is every file, %f the first)."""
    exec_line = None
    with open(desktop_file, encoding="utf-8") as f:
        in_entry = False
        for line in f:
            line = line.rstrip("\n")
            if line.startswith("["):
                in_entry = line == "[Desktop Entry]"
            elif in_entry and line.startswith("Exec="):
                exec_line = line[len("Exec="):]
    if exec_line is None:
        raise Failure(f"{desktop_file} has no Exec line")
    argv = []
    for word in exec_line.split():
        if word == "%F":
            argv.extend(files)
        elif word == "%f":
            argv.extend(files[:1])
        elif re.fullmatch(r"%[a-zA-Z]", word):
            continue
        else:
            argv.append(word)
    return argv


def top_level_windows():
    """(id, name, width, height) of every named child of the root window."""
    out = subprocess.run(["xwininfo", "-root", "-children"], capture_output=True, text=True).stdout
    found = []
    for m in re.finditer(r'^\s+(0x[0-9a-f]+) "([^"]*)":.*?\s(\d+)x(\d+)\+', out, re.M):
        found.append((m.group(1), m.group(2), int(m.group(3)), int(m.group(4))))
    return found


def is_viewable(window):
    out = subprocess.run(["xwininfo", "-id", window], capture_output=True, text=True).stdout
    return "Map State: IsViewable" in out


def wait_for_window(title, timeout, process=None, poll=0.01):
    """Waits until a viewable top-level window with this title exists."""
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if process is not None and process.poll() is not None:
            raise Failure(f"the program ended with status {process.returncode} before showing its window")
        for wid, name, w, h in top_level_windows():
            if name == title and w > 100 and h > 100 and is_viewable(wid):
                return wid
        time.sleep(poll)
    raise Failure(f"no window \"{title}\" within {timeout} s")


def grab(window):
    """The window's pixels as (width, height, RGB bytes), through xwd."""
    data = subprocess.run(["xwd", "-silent", "-id", window], capture_output=True, check=True).stdout
    (header_size, _version, pixmap_format, _depth, width, height, _xoffset, byte_order, _unit, _bit_order,
     _pad, bits_per_pixel, bytes_per_line, _visual, red_mask, green_mask, blue_mask, _bits_per_rgb,
     _entries, ncolors) = struct.unpack(">20I", data[:80])
    if pixmap_format != 2 or bits_per_pixel != 32 or (red_mask, green_mask, blue_mask) != (0xFF0000, 0xFF00, 0xFF):
        raise Failure(f"unexpected xwd layout: format {pixmap_format}, {bits_per_pixel} bits per pixel")
    pixels = data[header_size + ncolors * 12:]
    if len(pixels) < bytes_per_line * height:
        raise Failure("xwd wrote a short image")
    # 0x00RRGGBB per pixel: in memory B G R X (LSB first) or X R G B.
    offsets = (2, 1, 0) if byte_order == 0 else (1, 2, 3)
    rgb = bytearray(width * height * 3)
    for y in range(height):
        row = pixels[y * bytes_per_line:y * bytes_per_line + width * 4]
        out = y * width * 3
        for channel, offset in enumerate(offsets):
            rgb[out + channel:out + width * 3:3] = row[offset::4]
    return width, height, bytes(rgb)


def write_png(path, width, height, rgb):
    raw = b"".join(b"\0" + rgb[y * width * 3:(y + 1) * width * 3] for y in range(height))

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n")
        f.write(chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)))
        f.write(chunk(b"IDAT", zlib.compress(raw, 9)))
        f.write(chunk(b"IEND", b""))


def colour_count(rgb):
    return len({rgb[i:i + 3] for i in range(0, len(rgb), 3)})


def peak_memory_kb(pid):
    with open(f"/proc/{pid}/status") as f:
        for line in f:
            if line.startswith("VmHWM:"):
                return int(line.split()[1])
    return 0


def stop(process, timeout=10):
    """Ends the viewer as a desktop session would: SIGTERM, then waits."""
    process.terminate()
    try:
        return process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()
        raise Failure(f"the program did not end within {timeout} s of SIGTERM")


class Workspace:
    """A temporary folder with a private installation of the build, or of
    the Debian package unpacked into it."""

    def __init__(self, build_dir, keep=False, deb=None):
        self.root = tempfile.mkdtemp(prefix="tessel-e2e-")
        self.keep = keep
        self.prefix = os.path.join(self.root, "usr")
        if deb:
            subprocess.run(["dpkg", "-x", deb, self.root], check=True)
            self.program = os.path.join(self.prefix, "bin", "tessel")
        else:
            self.program = install(build_dir, self.prefix)
        self.env = private_environment(self.root, self.prefix)
        self.desktop_file = os.path.join(self.prefix, "share", "applications", APP_ID + ".desktop")

    def close(self):
        if not self.keep:
            shutil.rmtree(self.root, ignore_errors=True)
