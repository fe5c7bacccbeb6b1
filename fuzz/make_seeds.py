#!/usr/bin/env python3
"""Writes the seed corpus of every fuzz target into fuzz/corpus/<target>/.

The seeds are small inputs in each target's own layout (see the target's
source): choice bytes first, then texts with a length byte, then the rest.
Run it again after changing a layout; the files are committed.
"""

import pathlib
import re

HERE = pathlib.Path(__file__).resolve().parent


def gbk(text):
    return text.encode("gbk")


def text(b, max_len):
    """A length-prefixed text; the target reads the length modulo max_len + 1."""
    assert len(b) <= max_len
    return bytes([len(b)]) + b


def scramble(joined, filler=b"#"):
    """Returns an input whose Descramble passes give joined (len(joined) >= 2)."""
    m = len(joined)
    h = m // 2
    kept = [None] * m
    for j in range(h):
        kept[j] = joined[2 * j]
        kept[h + j] = joined[2 * j + 1]
    if m % 2:
        kept[m - 1] = joined[m - 1]
    out = bytearray()
    for k in kept:
        out.append(k)
        out += filler
    return bytes(out[:-1])  # n = 2m - 1, so m = ceil(n / 2)


def stored_texts():
    source = (HERE.parent / "src/descramble/scrambled_texts.cc").read_text()
    for block in re.findall(r'constexpr char k\w+\[\] =\s*((?:"[^"]*"\s*)+);', source):
        yield bytes(int(h, 16) for h in re.findall(r"\\x([0-9A-Fa-f]{2})", block))


SEEDS = {
    "codepage": [
        b"",
        b"qvod://123|ABC|film.rmvb|\r\n",
        gbk("影音先锋.rmvb 种子文件"),
        b"\x80\xff\x81\x7f\xa1",
        b"abc\xb0",
        b"\xe5\xbd\xb1 \xc3\xa9",
        "影".encode("utf-16-le") + "é".encode("utf-16-le") + b"\x00\xd8",
    ],
    "replace_pairs": [
        # flags: bit 0 case-sensitive, bit 1 count, bit 2 start, bits 3.. pairs - 1
        bytes([2 << 3]) + text(b"//", 8) + text(b"$", 12) + text(b":", 8) + text(b"%3A", 12)
        + text(b"|", 8) + text(b"%7C", 12) + b"qvod://1|2|3|",
        bytes([2 << 3]) + text(b"%24", 8) + text(b"$", 12) + text(b"%3A", 8) + text(b":", 12)
        + text(b"%7C", 8) + text(b"|", 12) + b"%24qvod%3a//1%7c2%7C3%7c%24qvod'",
        bytes([0]) + text(b"aa", 8) + text(b"a", 12) + b"aaaa",
        bytes([0]) + text(b"rmvb", 8) + text(b"avi", 12) + b"a.rmvb|b.RMVB|",
        bytes([1 | 2 | 4]) + bytes([2, 3]) + text(b"ab", 8) + text(b"XY", 12) + b"ab ab ab AB ab",
        bytes([0]) + text(b"\xb0\xa1", 8) + text(b"-", 12) + gbk("啊啊") + b"\xb0\xb0\xa1",
        bytes([0]) + text(b"\xa1\xb0", 8) + text(b"!", 12) + b"\xb0\xa1\xb0\xa1",
    ],
    "text_between": [
        text(b"/playdata/", 12) + text(b".js?", 12) + b'<script src="/playdata/678.js?v=1">',
        text(b"//", 12) + text(b"/", 12) + b"http://www.example.com:8080/movie.asp?id=4983",
        text(b"//", 12) + text(b"/", 12) + b"http://host-only",
        text(b"[", 12) + text(b"]", 12) + b"] before [" + gbk("影音") + b"] after",
        text(b"\xa1", 12) + text(b"x", 12) + b"\xb0\xa1x\xa1yx",
    ],
    "script_unescape": [
        b"%u5F71%u97F3.rmvb",
        b"a%20b",
        b"%E5%BD%B1",
        b"100%",
        b"%zz%u12",
        b"it's a\\b",
        gbk("影音") + b"\x80\xff%41",
        b"123%7CABC%7C%u5f71.rmvb%7C",
    ],
    "descramble": [
        text(b"", 6) + b"",
        text(b"", 6) + b"abc",
        text(b"", 6) + b"abcd",
        text(b"", 6) + b"abcde",
        text(b"", 6) + scramble(b"plain text*  "),
        text(b"", 6) + scramble(b"text*\xa1\xa1 \xa1\xa1"),
        text(b"pw", 6) + scramble(b"secret*pw "),
        text(b"", 6) + scramble(b"wrong*password"),
        text(b"", 6) + scramble(gbk("影*音")),
    ] + [text(b"", 6) + stored for stored in stored_texts()],
    "split_text": [
        # flags: bit 0 own delimiter and marker, 1 fold, 2 delimiter in front,
        # 3 marker behind, 4 maximum length, 5 prefix and suffix
        bytes([0]) + b"qvod://1024|ABCD|first.rmvb|\r\nqvod://2048|EF01|second.rmvb|\r\n",
        bytes([0]) + b"a.rmvb|b.rmvb",
        bytes([0]) + b"qvod://1|A|a.b.rmvb|\r\n\r\nqvod://2|B|.rmvb|\r\n",
        bytes([1]) + text(b"\r\n", 4) + text(b".", 4) + b"a\r\nb\r\n\r\nc\r\n",
        bytes([1 | 2 | 4 | 8 | 16 | 32]) + text(b"|", 4) + text(b"X", 4) + bytes([3])
        + text(b"<", 4) + text(b">", 4) + b"0|abxc|defXg|hixjkl|",
        bytes([0]) + gbk("qvod://1|2|影音.rmvb|") + b"\xb0|x.y|\xb0",
    ],
    "pattern_matcher": [
        bytes([0]) + b"<a>qvod%3A$123%7CABC%7Cfilm.rmvb%7C</a> qvod%3A$1%7C2%7C3%7C4%7C",
        bytes([1]) + b"QVOD%3a%2f%2f1%7c2%7c3%7c\nqvod%3A%2F%2F4%7C\n5%7C6%7C7%7C8%7C",
        bytes([2]) + b"var a='$qvod://123|ABC|%u5F71.rmvb|$qvod'+'$qvod://4|5|6|$QVOD'",
        bytes([0]) + gbk("影音") + b"qvod%3A$" + gbk("片") + b"%7C\xb0\xa1%7C\x80%7C\xb0",
        bytes([1]) + b"\x81qvod%3A%2F%2F1%7C2%7C3%7C",
        bytes([2]) + b"$qvod://$qvod://x$qvod'$qvod'",
    ],
    "seed_file_path": [
        text(b"first", 255) + b"second",
        text(b"..", 255) + b".",
        text(b"../../etc/passwd", 255) + b"a/b",
        text(gbk("影音"), 255) + b"\x81/",
        text(b"", 255) + b"x" * 250,
        text(b"nul\x00name", 255) + b"\xff\xfe",
    ],
}


def main():
    for target, seeds in SEEDS.items():
        folder = HERE / "corpus" / target
        folder.mkdir(parents=True, exist_ok=True)
        for old in folder.iterdir():
            old.unlink()
        for number, seed in enumerate(seeds, 1):
            (folder / ("seed-%02d" % number)).write_bytes(seed)


if __name__ == "__main__":
    main()
