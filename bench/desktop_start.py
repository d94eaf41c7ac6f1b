#!/usr/bin/env python3
"""Start-up of the installed viewer on a real X server, as a user feels it.

For each case, a new viewer process is started on one message file and the
window is grabbed (xwd) again and again until its picture stays the same for
half a second; the time reported is from the start of the process to the end
of the first grab that already showed that final picture (an upper bound, the
grabs being a few milliseconds apart). Peak memory is the process's VmHWM
then; the baseline is the same for the small sample, so the difference is
what the message itself costs.

The CPU time the viewer used by then is printed too: on a busy machine it
tells what the wall-clock figure owes to waiting for a processor.

Cases: the small sample (cold start to the painted main window), and the
100 MB, 40-attachment message of message_gen.py (to its painted tree).

Run under an X server: xvfb-run -a -s "-screen 0 1280x1024x24 -noreset" \\
    bench/desktop_start.py [BUILD_DIR] [DATA_DIR] [RUNS]"""

import hashlib
import os
import statistics
import subprocess
import sys
import time

HERE = os.path.dirname(os.path.abspath(__file__))
SOURCE = os.path.dirname(HERE)
sys.path.insert(0, os.path.join(SOURCE, "tests", "e2e"))
import xsession  # noqa: E402

STABLE = 0.5


def find_window(process, timeout=30):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        if process.poll() is not None:
            raise xsession.Failure(f"the viewer ended with {process.returncode}")
        for wid, name, w, h in xsession.top_level_windows():
            if name == "Tessel" and w > 100 and h > 100:
                return wid
        time.sleep(0.002)
    raise xsession.Failure("no window")


def cpu_seconds(pid):
    """User and system time of the process so far (includes the half
    second of waiting for a still picture, when the viewer is idle)."""
    with open(f"/proc/{pid}/stat") as f:
        fields = f.read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def time_to_final_picture(ws, message):
    config = os.path.join(os.path.dirname(ws.program), "tessel.ini.xml")
    if os.path.exists(config):
        os.remove(config)  # a first start: nothing from an earlier run reopens
    began = time.monotonic()
    log = os.path.join(ws.root, "viewer.log")
    with open(log, "wb") as out:
        viewer = subprocess.Popen([ws.program, message], env=ws.env, cwd=ws.root,
                                  stdout=out, stderr=subprocess.STDOUT)
    try:
        try:
            wid = find_window(viewer)
        except xsession.Failure:
            with open(log, "rb") as f:
                sys.stderr.write(f.read().decode("utf-8", "replace"))
            raise
        grabs = []  # (end of grab, digest)
        while True:
            result = subprocess.run(["xwd", "-silent", "-id", wid], capture_output=True)
            now = time.monotonic()
            digest = hashlib.sha1(result.stdout).digest() if result.returncode == 0 else b""
            grabs.append((now, digest))
            first_same = next(i for i in range(len(grabs) - 1, -1, -1)
                              if i == 0 or grabs[i - 1][1] != digest)
            if digest and now - grabs[first_same][0] >= STABLE:
                painted = grabs[first_same][0] - began
                memory = xsession.peak_memory_kb(viewer.pid)
                return painted, memory, cpu_seconds(viewer.pid)
            if now - began > 60:
                raise xsession.Failure("the picture never settled")
    finally:
        xsession.stop(viewer)


def main():
    build = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(SOURCE, "build"))
    data = os.path.abspath(sys.argv[2] if len(sys.argv) > 2 else os.path.join(build, "bench-data"))
    runs = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    if not os.environ.get("DISPLAY"):
        print("desktop_start: needs an X server; run it under xvfb-run -a", file=sys.stderr)
        return 2
    big = os.path.join(data, "message_big.eml")
    if not os.path.exists(big):
        os.makedirs(data, exist_ok=True)
        subprocess.run([sys.executable, os.path.join(HERE, "message_gen.py"), data], check=True)
    ws = xsession.Workspace(build)
    try:
        results = {}
        for label, message in (("sample", os.path.join(SOURCE, "samples", "multipart-attachment.eml")),
                               ("big", big)):
            times, peaks, cpus = [], [], []
            for _ in range(runs):
                t, kb, cpu = time_to_final_picture(ws, message)
                times.append(t)
                peaks.append(kb)
                cpus.append(cpu)
            results[label] = (times, peaks)
            size = os.path.getsize(message)
            print(f"{label}: {os.path.basename(message)} {size / 1048576:.1f} MB; painted in "
                  f"median {statistics.median(times) * 1000:.0f} ms (min {min(times) * 1000:.0f}, "
                  f"max {max(times) * 1000:.0f}), CPU {statistics.median(cpus) * 1000:.0f} ms; peak memory {statistics.median(peaks) / 1024:.0f} MB")
        base = statistics.median(results["sample"][1])
        big_peak = statistics.median(results["big"][1])
        size_kb = os.path.getsize(big) / 1024
        print(f"big message: peak memory {big_peak / size_kb:.2f} x the file size; "
              f"{(big_peak - base) / size_kb:.2f} x above the viewer's own baseline")
    finally:
        ws.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
