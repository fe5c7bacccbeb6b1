#!/usr/bin/env python3
"""Installs the build into a throwaway DESTDIR with prefix /usr and checks the
result against the freedesktop and FHS conventions: the programs in usr/bin,
the menu entry, the hicolor icons, the manual pages and the package's
documentation, then starts the installed qvodgrab-cli.

Usage: install_test.py --cmake CMAKE --build-dir DIR --version X.Y.Z --window 0|1
"""

import argparse
import configparser
import gzip
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import unittest
import xml.etree.ElementTree as ET

APP_ID = "org.qvodgrab.QvodGrab"
ICON_SIZES = (16, 32, 48, 64, 128, 256)
ARGS = None
# An option word: a dash or two and a name, at the start of a word or after [ | , (
OPTION = re.compile(r"(?<![^\s\[|,(])(--?[a-z][a-z-]*)")


def read_man_source(path):
    if path.endswith(".gz"):
        with gzip.open(path, "rt", encoding="utf-8") as f:
            return f.read()
    with open(path, encoding="utf-8") as f:
        return f.read()


def render_man(path):
    """Returns (text, warnings) of man's rendering of the page at path."""
    env = dict(os.environ, MANPAGER="cat", PAGER="cat", MANWIDTH="200", LC_ALL="C.UTF-8")
    env.pop("MAN_KEEP_FORMATTING", None)
    run = subprocess.run(["man", "--warnings", "-l", path], env=env, capture_output=True,
                         text=True, timeout=60)
    if run.returncode != 0:
        raise AssertionError(f"man -l {path} exited {run.returncode}: {run.stderr}")
    # man may print hyphens and minus signs as their Unicode forms.
    text = run.stdout.replace("\u2010", "-").replace("\u2212", "-")
    return text, run.stderr.strip()


def png_size(path):
    """Returns (width, height) from a PNG file's header."""
    with open(path, "rb") as f:
        head = f.read(24)
    if head[:8] != b"\x89PNG\r\n\x1a\n" or head[12:16] != b"IHDR":
        raise AssertionError(f"{path} is not a PNG file")
    return struct.unpack(">II", head[16:24])


INSTALL = {}


def setUpModule():
    for tool in ("man", "desktop-file-validate"):
        if shutil.which(tool) is None:
            raise RuntimeError(f"{tool} is missing; scripts/setup installs it")
    tmp = tempfile.TemporaryDirectory(prefix="qvod-install-")
    INSTALL["tmp"] = tmp
    env = dict(os.environ, DESTDIR=tmp.name)
    run = subprocess.run([ARGS.cmake, "--install", ARGS.build_dir, "--prefix", "/usr"], env=env,
                         capture_output=True, text=True, timeout=120)
    if run.returncode != 0:
        raise RuntimeError(f"cmake --install failed:\n{run.stdout}{run.stderr}")
    INSTALL["root"] = os.path.join(tmp.name, "usr")


def tearDownModule():
    INSTALL.pop("tmp").cleanup()


class Installed(unittest.TestCase):
    """Reads the tree that setUpModule installed."""

    @property
    def root(self):
        return INSTALL["root"]

    def path(self, relative):
        return os.path.join(self.root, relative)

    def man_page(self, name):
        """Returns the installed path of man page name, compressed or not."""
        for candidate in (f"share/man/man1/{name}.1.gz", f"share/man/man1/{name}.1"):
            if os.path.isfile(self.path(candidate)):
                return self.path(candidate)
        self.fail(f"no manual page {name}.1 under usr/share/man/man1")


class InstalledTree(Installed):
    def expected_files(self):
        files = {"bin/qvodgrab-cli", "share/doc/qvodgrab/copyright",
                 "share/doc/qvodgrab/changelog.gz"}
        man = {"qvodgrab-cli"}
        if ARGS.window:
            files |= {"bin/qvodgrab", f"share/applications/{APP_ID}.desktop",
                      f"share/icons/hicolor/scalable/apps/{APP_ID}.svg"}
            files |= {f"share/icons/hicolor/{n}x{n}/apps/{APP_ID}.png" for n in ICON_SIZES}
            man.add("qvodgrab")
        return files, man

    def test_installs_exactly_the_expected_files(self):
        files, man = self.expected_files()
        found = set()
        for dirpath, _, names in os.walk(self.root):
            for name in names:
                found.add(os.path.relpath(os.path.join(dirpath, name), self.root))
        man_found = {f for f in found if f.startswith("share/man/man1/")}
        self.assertEqual(found - man_found, files)
        self.assertEqual({re.sub(r"\.1(\.gz)?$", "", os.path.basename(f)) for f in man_found},
                         man)
        for program in ("bin/qvodgrab-cli", "bin/qvodgrab") if ARGS.window else (
                "bin/qvodgrab-cli",):
            self.assertTrue(os.access(self.path(program), os.X_OK), program)

    def test_installed_cli_starts_and_reports_its_version(self):
        run = subprocess.run([self.path("bin/qvodgrab-cli"), "--version"], capture_output=True,
                             text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        self.assertEqual(run.stdout, f"qvodgrab-cli {ARGS.version}\n")

    def test_man_pages_render_without_warnings_and_name_this_version(self):
        names = ["qvodgrab-cli"] + (["qvodgrab"] if ARGS.window else [])
        for name in names:
            with self.subTest(page=name):
                page = self.man_page(name)
                text, warnings = render_man(page)
                self.assertEqual(warnings, "")
                self.assertIn(f"{name} - ", text)
                title = re.search(r'^\.TH\s+(\S+)\s+1\s+"[^"]*"\s+"([^"]*)"', read_man_source(page),
                                  re.M)
                self.assertIsNotNone(title, ".TH line")
                self.assertEqual(title.group(1), name.upper())
                self.assertEqual(title.group(2), f"qvodgrab {ARGS.version}")

    def test_cli_man_page_documents_every_option_of_help(self):
        run = subprocess.run([self.path("bin/qvodgrab-cli"), "--help"], capture_output=True,
                             text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stderr)
        options = set(OPTION.findall(run.stdout))
        self.assertTrue({"-c", "--channel", "--raw", "-o", "--save", "--seeds", "-h", "--help",
                         "--version"} <= options, options)
        text, _ = render_man(self.man_page("qvodgrab-cli"))
        documented = set(OPTION.findall(text))
        self.assertEqual(options - documented, set(), "options of --help missing from the page")
        self.assertEqual(documented - options - {"--"}, set(), "page options unknown to --help")

    def test_changelog_names_this_version_and_copyright_is_plain_text(self):
        with gzip.open(self.path("share/doc/qvodgrab/changelog.gz"), "rt",
                       encoding="utf-8") as f:
            self.assertTrue(f.readline().startswith(f"qvodgrab ({ARGS.version}) "))
        with open(self.path("share/doc/qvodgrab/copyright"), encoding="utf-8") as f:
            self.assertIn("Upstream-Name: qvodgrab", f.read())


class DesktopIntegration(Installed):
    def setUp(self):
        if not ARGS.window:
            self.skipTest("built without the window")

    def entry_path(self):
        return self.path(f"share/applications/{APP_ID}.desktop")

    def test_menu_entry_passes_desktop_file_validate(self):
        run = subprocess.run(["desktop-file-validate", self.entry_path()], capture_output=True,
                             text=True, timeout=60)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)
        # Hints are advice (two main categories are intended); errors and warnings are not.
        problems = [line for line in (run.stdout + run.stderr).splitlines()
                    if ": error: " in line or ": warning: " in line]
        self.assertEqual(problems, [])

    def test_menu_entry_starts_the_installed_window_with_its_icon(self):
        parser = configparser.ConfigParser(interpolation=None)
        parser.optionxform = str
        with open(self.entry_path(), encoding="utf-8") as f:
            parser.read_file(f)
        entry = parser["Desktop Entry"]
        self.assertEqual(entry["Type"], "Application")
        self.assertTrue(os.access(self.path(os.path.join("bin", entry["Exec"].split()[0])),
                                  os.X_OK), entry["Exec"])
        self.assertEqual(entry["Icon"], APP_ID)
        self.assertEqual(entry["Categories"], "Network;Utility;")
        for key in ("Name", "Comment"):
            with self.subTest(key=key):
                self.assertTrue(entry[key].isascii())
                chinese = entry[f"{key}[zh_CN]"]
                self.assertTrue(re.search(r"[\u4e00-\u9fff]", chinese), chinese)

    def test_icons_are_an_svg_and_pngs_of_their_directory_size(self):
        svg = ET.parse(self.path(f"share/icons/hicolor/scalable/apps/{APP_ID}.svg")).getroot()
        self.assertEqual(svg.tag, "{http://www.w3.org/2000/svg}svg")
        for n in ICON_SIZES:
            with self.subTest(size=n):
                self.assertEqual(
                    png_size(self.path(f"share/icons/hicolor/{n}x{n}/apps/{APP_ID}.png")), (n, n))


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--cmake", required=True)
    parser.add_argument("--build-dir", required=True)
    parser.add_argument("--version", required=True)
    parser.add_argument("--window", type=int, choices=(0, 1), required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
