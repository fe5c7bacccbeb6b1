#!/usr/bin/env python3
"""The channels and the output actions in the real window under Xvfb.

Usage: channels_e2e.py QVODGRAB SERVER_PY

Starts the local HTTP server (SERVER_PY) and QVODGRAB in a temporary HOME whose
desktop is "桌面" (named in user-dirs.dirs), with a stand-in xdg-open first on
PATH that records its arguments. Then, as a user would, with xdotool:
- types the address of a local page into 编辑框1 and presses 通道1, 通道2 or
  通道3; the result box is read back through 保存地址, which writes it to
  "种子地址.txt" on the desktop, byte for byte (GBK, CR LF);
- presses 一键转种, answers the confirmation No (Escape): nothing is written;
  then Yes (Return): the seed files stand in 种子文件 on the desktop and the
  folder was handed to xdg-open.

Exit status: 0 passed, 1 failed, 77 skipped (Xvfb or xdotool missing).
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile
import time
import urllib.parse
import urllib.request

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from window_e2e import check, failures, run, start_xvfb  # noqa: E402

# Centres of the controls in the window's client area: the group box's place
# plus the control's place plus half its size.
ADDRESS_BOX = (8 + 8 + 384 // 2, 8 + 16 + 24 // 2)
CHANNEL_BUTTONS = {
    1: (8 + 24 + 48 // 2, 264 + 24 + 24 // 2),
    2: (8 + 88 + 48 // 2, 264 + 24 + 24 // 2),
    3: (8 + 160 + 48 // 2, 264 + 24 + 24 // 2),
}
SAVE_ADDRESSES = (240 + 16 + 64 // 2, 264 + 24 + 24 // 2)
WRITE_SEEDS = (240 + 96 + 64 // 2, 264 + 24 + 24 // 2)

DESKTOP_NAME = "桌面"
LIST_NAME = "种子地址.txt"
SEED_FOLDER = "种子文件"
CONFIRM_CAPTION = "使用需知"
NO_MATCH = "请尝试其他通道".encode("gbk")
SEED_HEADER = (b'<?xml version="1.0" encoding="utf-8"?>\r\n'
               b'<qsed version="5.0.77.0"><entry><ref href="')
SEED_TRAILER = b'"/></entry></qsed>'
RUN_TIMEOUT = 20.0

def gbk(text):
    return text.encode("gbk")


def lines(*texts):
    return b"".join(gbk(t) + b"\r\n" for t in texts)


class Server:
    """The local HTTP server on 127.0.0.1; it ends with our end of its stdin."""

    def __init__(self, script):
        self.process = subprocess.Popen([sys.executable, script, "--port", "0"],
                                        stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        first = self.process.stdout.readline().decode().split()
        if len(first) != 2 or first[0] != "PORT":
            self.close()
            raise RuntimeError("the test server did not start")
        self.port = int(first[1])
        self.opener = urllib.request.build_opener(urllib.request.ProxyHandler({}))

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def put(self, path, body, content_type="text/html"):
        request = urllib.request.Request(self.url("/__put"), data=body, method="POST",
                                         headers={"X-Path": path, "X-Content-Type": content_type})
        with self.opener.open(request, timeout=10) as answer:
            answer.read()

    def close(self):
        self.process.stdin.close()
        try:
            self.process.wait(timeout=10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()


class Window:
    """The program's window, driven through xdotool."""

    def __init__(self, env, window):
        self.env = env
        self.window = window

    def click(self, point):
        run(self.env, "xdotool", "mousemove", "--window", self.window, str(point[0]),
            str(point[1]), "click", "1")

    def type_address(self, address):
        self.click(ADDRESS_BOX)
        run(self.env, "xdotool", "key", "--clearmodifiers", "ctrl+a")
        run(self.env, "xdotool", "type", "--clearmodifiers", "--delay", "10", address)


def wait_for(condition, seconds):
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if condition():
            return True
        time.sleep(0.1)
    return condition()


def read_bytes(path):
    try:
        with open(path, "rb") as f:
            return f.read()
    except OSError:
        return None


def saved_result_box(window, desktop, expected):
    """Saves the result box with 保存地址 until the saved file holds expected (a
    run may still be appending). Returns the last saved content (None: none)."""
    path = os.path.join(desktop, LIST_NAME)
    content = None
    deadline = time.monotonic() + RUN_TIMEOUT
    while time.monotonic() < deadline:
        if os.path.exists(path):
            os.remove(path)
        window.click(SAVE_ADDRESSES)
        wait_for(lambda: os.path.exists(path), 1.0)
        content = read_bytes(path)
        if content == expected:
            break
        time.sleep(0.2)
    return content


def put_pages(server):
    """Puts the pages of the runs; returns (name, channel, address, lines) rows."""
    server.put("/movie1.asp?id=4983", gbk(
        "<html><body>\r\n"
        '<a href="qvod://1024|ABCD|first.rmvb|">第一集</a>\r\n'
        '<a href="qvod%3A//2048%7CEF01%7C第二集.rmvb%7C">第二集</a>\r\n'
        '<a href="QVOD://3072|A:B|c//d.rmvb|">第三集</a>\r\n'
        "</body></html>\r\n"))
    server.put("/movie2.asp?id=4983", gbk(
        "<script>\r\n"
        'var a="qvod%3A%2F%2F4096%7C0A1B%7Cthird.rmvb%7C";\r\n'
        'var b="qvod%3A//5120%7C2C3D%7C%E5%BD%B1.rmvb%7C";\r\n'
        'var c="qvod://6144|EEEE|plain.rmvb|";\r\n'
        "</script>\r\n"))
    server.put("/movie3.asp?id=4983", gbk(
        '<html><script src="/playdata/77/7712.js?1234"></script></html>\r\n'))
    server.put("/playdata/77/7712.js?", gbk(
        "var VideoListJson=[['qvod',['第1集%24qvod://123%7CABC%7C%u5F71.rmvb%7C%24qvod',"
        "'第2集$qvod://456%7cDEF%7c%u4E00%u4E8C.rmvb%7c$qvod']]]\r\n"),
        "application/javascript")
    return [
        ("channel 1: plain, encoded and upper-case links", 1, server.url("/movie1.asp?id=4983"),
         lines("qvod://1024|ABCD|first.rmvb|", "qvod://2048|EF01|第二集.rmvb|",
               "qvod://3072|A%3AB|c$d.rmvb|")),
        ("channel 2: encoded links, fields as they stand", 2,
         server.url("/movie2.asp?id=4983"),
         lines("qvod://4096|0A1B|third.rmvb|", "qvod://5120|2C3D|%E5%BD%B1.rmvb|")),
        ("channel 1 on a page without links: the no-match text", 1,
         server.url("/movie3.asp?id=4983"), NO_MATCH),
        ("channel 3: the play-data script on the page's host and port", 3,
         server.url("/movie3.asp?id=4983"),
         lines("qvod://123|ABC|影.rmvb|", "qvod://456|DEF|一二.rmvb|")),
    ]


def write_fake_xdg_open(folder, record):
    """A stand-in for the file manager: records its arguments, one call a line."""
    path = os.path.join(folder, "xdg-open")
    with open(path, "w") as f:
        f.write("#!/bin/sh\nprintf '%%s\\n' \"$*\" >> '%s'\n" % record)
    os.chmod(path, 0o755)


def answer_confirmation(env, key):
    """Waits for the confirmation box, presses key in it and waits until it goes."""
    found = run(env, "xdotool", "search", "--sync", "--onlyvisible", "--name", CONFIRM_CAPTION,
                timeout=RUN_TIMEOUT)
    boxes = found.stdout.split()
    if not check(found.returncode == 0 and boxes, "the confirmation box did not appear"):
        return False
    box = boxes[-1]
    run(env, "xdotool", "windowfocus", "--sync", box)
    run(env, "xdotool", "key", "--clearmodifiers", key)
    gone = wait_for(lambda: run(env, "xdotool", "search", "--onlyvisible", "--name",
                                CONFIRM_CAPTION).stdout.strip() == "", RUN_TIMEOUT)
    return check(gone, "the confirmation box stayed after " + key)


def test_seed_files(env, window, desktop, record, expected_lines):
    """一键转种 over the result box that holds expected_lines (channel 3's)."""
    seed_folder = os.path.join(desktop, SEED_FOLDER)

    window.click(WRITE_SEEDS)
    if not answer_confirmation(env, "Escape"):
        return
    # The action runs on the window's thread right after the box closes; a
    # round trip through 保存地址 shows that it has finished.
    saved_result_box(window, desktop, expected_lines)
    check(not os.path.exists(seed_folder), "answering No created the seed folder")
    check(not os.path.exists(record), "answering No opened a folder")

    window.click(WRITE_SEEDS)
    if not answer_confirmation(env, "Return"):
        return
    # The stand-in creates its record before it writes the line: wait for the line.
    check(wait_for(lambda: (read_bytes(record) or b"").endswith(b"\n"), RUN_TIMEOUT),
          "the seed folder was not handed to xdg-open")
    calls = (read_bytes(record) or b"").decode("utf-8", "replace").splitlines()
    check(len(calls) == 1, "xdg-open was called %d times: %r" % (len(calls), calls))
    if calls:
        url = urllib.parse.urlsplit(calls[0])
        check(url.scheme == "file" and urllib.parse.unquote(url.path) == seed_folder,
              "xdg-open was given %r, not the seed folder %r" % (calls[0], seed_folder))

    # Each file is named after its line's file name, cut at the first dot.
    expected = {"影.qsed": SEED_HEADER + gbk("qvod://123|ABC|影.rmvb|") + SEED_TRAILER,
                "一二.qsed": SEED_HEADER + gbk("qvod://456|DEF|一二.rmvb|") + SEED_TRAILER}
    found = sorted(os.listdir(seed_folder)) if os.path.isdir(seed_folder) else []
    check(found == sorted(expected), "seed files %r, not %r" % (found, sorted(expected)))
    for name, content in expected.items():
        written = read_bytes(os.path.join(seed_folder, name))
        check(written == content, "%s holds %r, not %r" % (name, written, content))


def make_home(home):
    """Fills a temporary HOME: the desktop 桌面 named in user-dirs.dirs, and the
    stand-in xdg-open. Returns (environment, desktop, record of xdg-open)."""
    desktop = os.path.join(home, DESKTOP_NAME)
    config = os.path.join(home, ".config")
    bin_dir = os.path.join(home, "bin")
    runtime = os.path.join(home, "runtime")
    for folder in (desktop, config, bin_dir):
        os.makedirs(folder)
    os.makedirs(runtime, mode=0o700)
    with open(os.path.join(config, "user-dirs.dirs"), "w", encoding="utf-8") as f:
        f.write('XDG_DESKTOP_DIR="$HOME/%s"\n' % DESKTOP_NAME)
    record = os.path.join(home, "xdg-open.calls")
    write_fake_xdg_open(bin_dir, record)

    env = {k: v for k, v in os.environ.items()
           if not k.lower().endswith("_proxy") and k not in (
               "QT_QPA_PLATFORM", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "XDG_DESKTOP_DIR")}
    env.update(HOME=home, XDG_CONFIG_HOME=config, XDG_RUNTIME_DIR=runtime,
               QT_QPA_PLATFORM="xcb", PATH=bin_dir + os.pathsep + os.environ.get("PATH", ""))
    return env, desktop, record


def drive_window(env, desktop, record, runs):
    found = run(env, "xdotool", "search", "--sync", "--onlyvisible", "--class", "qvodgrab",
                timeout=30)
    windows = found.stdout.split()
    if not check(found.returncode == 0 and windows, "the window did not appear"):
        return
    window = Window(env, windows[-1])
    for name, channel, address, expected in runs:
        window.type_address(address)
        window.click(CHANNEL_BUTTONS[channel])
        saved = saved_result_box(window, desktop, expected)
        check(saved == expected, "%s: the result box holds %r, not %r" % (name, saved, expected))
    test_seed_files(env, window, desktop, record, runs[-1][3])


def test_channels(program, server_script):
    xvfb, display = start_xvfb()
    server = None
    try:
        server = Server(server_script)
        runs = put_pages(server)
        with tempfile.TemporaryDirectory(prefix="qvod-e2e-") as home:
            env, desktop, record = make_home(home)
            env["DISPLAY"] = display
            log_path = os.path.join(home, "qvodgrab.log")
            with open(log_path, "wb") as log:
                app = subprocess.Popen([program], env=env, stdout=log, stderr=log)
                try:
                    drive_window(env, desktop, record, runs)
                finally:
                    app.kill()
                    app.wait()
            if failures:
                output = (read_bytes(log_path) or b"").decode("utf-8", "replace")
                print("qvodgrab's output:\n" + output, file=sys.stderr)
    finally:
        if server is not None:
            server.close()
        xvfb.terminate()
        xvfb.wait()


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("program")
    parser.add_argument("server")
    args = parser.parse_args()
    missing = [tool for tool in ("Xvfb", "xdotool") if shutil.which(tool) is None]
    if missing:
        print("skipped: missing " + ", ".join(missing), file=sys.stderr)
        return 77
    test_channels(os.path.abspath(args.program), os.path.abspath(args.server))
    if failures:
        return 1
    print("passed")
    return 0


if __name__ == "__main__":
    sys.exit(main())
