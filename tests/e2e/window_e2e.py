#!/usr/bin/env python3
"""The real window under Xvfb, driven with xdotool.

Usage: window_e2e.py QVODGRAB [--screenshot PNG]

Starts Xvfb on a free display, starts QVODGRAB in a temporary HOME, and checks
that the window appears with its caption, centred on the screen, with a size
that cannot change and no maximise button; then clicks 按钮1 ("强制结束") and
checks that the program ends with exit code 0. With --screenshot, the window is
saved as a PNG once the banner is complete, before the click.

Exit status: 0 passed, 1 failed, 77 skipped (Xvfb, xdotool or xprop missing).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time

SCREEN_W, SCREEN_H = 1280, 1024
CLIENT_W, CLIENT_H = 489, 400
OUTER_W, OUTER_H = 495, 426
# Without a window manager there is no frame: the client stands where the outer
# window would, so its centre is off by up to half the frame and title bar.
CENTRE_SLACK = 16
# 按钮1 inside 分组框3 (at 240,264): at 176,24, 56 x 24.
FORCE_QUIT = (240 + 176 + 56 // 2, 264 + 24 + 24 // 2)
# The banner types 2 bytes per 100 ms; the longest it can be is 54 bytes.
BANNER_TIME = 4.0

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message, file=sys.stderr)
    return condition


def start_xvfb():
    """Starts Xvfb on a free display; returns (process, display)."""
    read_fd, write_fd = os.pipe()
    xvfb = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_fd), "-screen", "0",
         "%dx%dx24" % (SCREEN_W, SCREEN_H), "-nolisten", "tcp"],
        pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_fd)
    number = b""
    deadline = time.monotonic() + 20
    while not number.endswith(b"\n") and time.monotonic() < deadline:
        chunk = os.read(read_fd, 16)
        if not chunk:
            break
        number += chunk
    os.close(read_fd)
    if not number.strip().isdigit():
        xvfb.kill()
        raise RuntimeError("Xvfb did not start")
    return xvfb, ":" + number.strip().decode()


def run(env, *args, timeout=20):
    return subprocess.run(args, env=env, capture_output=True, text=True, timeout=timeout)


def window_geometry(env, window):
    out = run(env, "xdotool", "getwindowgeometry", "--shell", window).stdout
    values = dict(line.split("=", 1) for line in out.split() if "=" in line)
    return int(values["X"]), int(values["Y"]), int(values["WIDTH"]), int(values["HEIGHT"])


def test_window(program, screenshot):
    xvfb, display = start_xvfb()
    app = None
    try:
        with tempfile.TemporaryDirectory(prefix="qvod-e2e-") as home:
            os.makedirs(os.path.join(home, "Desktop"))
            runtime = os.path.join(home, "runtime")
            os.makedirs(runtime, mode=0o700)
            env = dict(os.environ)
            for name in ("QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP"):
                env.pop(name, None)
            env.update(DISPLAY=display, HOME=home, XDG_CONFIG_HOME=os.path.join(home, ".config"),
                       XDG_RUNTIME_DIR=runtime, QT_QPA_PLATFORM="xcb")
            app = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.PIPE, text=True)

            found = run(env, "xdotool", "search", "--sync", "--onlyvisible", "--class",
                        "qvodgrab", timeout=30)
            windows = found.stdout.split()
            if not check(found.returncode == 0 and windows, "the window did not appear"):
                return
            window = windows[-1]

            caption = run(env, "xdotool", "getwindowname", window).stdout.strip()
            check(caption != "", "the caption is not set when the window appears")

            x, y, width, height = window_geometry(env, window)
            check((width, height) == (CLIENT_W, CLIENT_H),
                  "client size %dx%d, not %dx%d" % (width, height, CLIENT_W, CLIENT_H))
            centre_x, centre_y = x + width // 2, y + height // 2
            check(abs(centre_x - SCREEN_W // 2) <= CENTRE_SLACK and
                  abs(centre_y - SCREEN_H // 2) <= CENTRE_SLACK,
                  "window at %d,%d is not centred" % (x, y))

            hints = run(env, "xprop", "-id", window, "WM_NORMAL_HINTS").stdout
            fixed = "minimum size: %d by %d" % (CLIENT_W, CLIENT_H)
            check(fixed in hints and ("maximum size: %d by %d" % (CLIENT_W, CLIENT_H)) in hints,
                  "the size can change:\n" + hints)
            motif = run(env, "xprop", "-id", window, "_MOTIF_WM_HINTS").stdout
            fields = [int(v, 16) for v in motif.split("=", 1)[-1].replace(",", " ").split()
                      if v.startswith("0x")]
            # Fields: flags, functions, decorations; 0x10 and 0x40 are the maximise bits.
            check(len(fields) >= 3 and not fields[1] & 0x10 and not fields[2] & 0x40,
                  "the window offers maximise: " + motif.strip())

            if screenshot:
                time.sleep(BANNER_TIME)
                x, y, width, height = window_geometry(env, window)
                shot = run(env, "import", "-window", "root", "-crop",
                           "%dx%d+%d+%d" % (width, height, x, y), "+repage", screenshot,
                           timeout=60)
                check(shot.returncode == 0, "no screenshot: " + shot.stderr)

            run(env, "xdotool", "mousemove", "--window", window, str(FORCE_QUIT[0]),
                str(FORCE_QUIT[1]), "click", "1")
            try:
                code = app.wait(timeout=20)
                check(code == 0, "exit code %d after 强制结束" % code)
            except subprocess.TimeoutExpired:
                check(False, "the program did not end after 强制结束")
    finally:
        if app is not None and app.poll() is None:
            app.kill()
            app.wait()
        xvfb.terminate()
        xvfb.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program")
    parser.add_argument("--screenshot")
    args = parser.parse_args()
    missing = [tool for tool in ("Xvfb", "xdotool", "xprop") + (("import",) if args.screenshot
                                                                  else ())
               if shutil.which(tool) is None]
    if missing:
        print("skipped: missing " + ", ".join(missing), file=sys.stderr)
        return 77
    test_window(os.path.abspath(args.program),
                os.path.abspath(args.screenshot) if args.screenshot else None)
    if failures:
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
