#!/usr/bin/env python3
"""Turns the user guide (docs/使用说明.md) into the package's readme.txt, so the two are one text.

    python3 tools/docs/readme_txt.py GUIDE.md README.txt   writes the plain text
    python3 tools/docs/readme_txt.py --images GUIDE.md     prints the pictures it names, one a line

The text is for Notepad, which does not wrap by default on Windows 7 and 10: no Markdown marks,
lines of at most 76 columns (a Chinese character takes two), tables as indented lines, bold as
【】, the boxed note between rules, pictures named by their file names in the package, CRLF
line ends and a UTF-8 byte-order mark.

The guide keeps to a small part of Markdown: # to ### headings, paragraphs on one line each,
"- " and "1. " lists (nested by two spaces), "> " for the boxed note, pipe tables, ``` blocks,
![alt](file) on a line of its own, **bold** and `code` inside lines. Anything else is an error,
so nothing the converter does not know can reach the package unconverted.
"""
import re
import sys
import unicodedata

WIDTH = 76
RULE = "─"

# Never at the start of a line, and never at its end: the usual rules of Chinese line breaking.
NO_LINE_START = set("，。、；：！？）」』】”’》…·,.;:!?)]")
NO_LINE_END = set("（「『【“‘《([")


def columns(text):
    """Display width in Notepad: wide and ambiguous characters (CJK fonts draw both wide) take two."""
    return sum(2 if unicodedata.east_asian_width(c) in "WFA" else 1 for c in text)


# Around code while lines are made: a path or file name is never broken.
CODE_START, CODE_END = "\ue000", "\ue001"


def inline(text):
    """Markdown inline marks to plain text: **x** becomes 【x】, `x` becomes x."""
    text = re.sub(r"\*\*(.+?)\*\*", r"【\1】", text)
    return re.sub(r"`([^`]+)`", CODE_START + r"\1" + CODE_END, text)


def units(text):
    """The pieces a line may be broken between. A run of ASCII without spaces (a number, a
    word), code (a path, a file name) and a quoted program text stay whole; each other
    character is a piece."""
    pieces = []  # (text, space before)
    i, space = 0, False
    while i < len(text):
        c = text[i]
        if c == " ":
            space, i = True, i + 1
            continue
        if c == "「":
            end = text.find("」", i)
            if end < 0:
                raise ValueError("「 without 」: " + text)
            piece, i = text[i:end + 1], end + 1
        elif c == CODE_START:
            end = text.index(CODE_END, i)
            piece, i = text[i + 1:end], end + 1
        elif ord(c) < 128:
            j = i
            while j < len(text) and ord(text[j]) < 128 and text[j] != " ":
                j += 1
            piece, i = text[i:j], j
        else:
            piece, i = c, i + 1
        pieces.append([piece, space])
        space = False
    # Join what must not be parted: closing marks to what they follow, opening marks to what
    # follows them, and a path or word to Chinese text it touches without a space.
    joined = []
    for piece, space in pieces:
        if joined and not space and (piece[0] in NO_LINE_START or joined[-1][0][-1] in NO_LINE_END
                                     or (ord(piece[0]) < 128 and ord(joined[-1][0][-1]) < 128)):
            joined[-1][0] += piece
        else:
            joined.append([piece, space])
    return joined


def wrap(text, first, rest, width=WIDTH):
    """Wraps `text` to `width` columns, the first line after `first`, the others after `rest`."""
    lines, line, prefix = [], "", first
    for piece, space in units(text):
        candidate = line + (" " if space and line else "") + piece
        if line and columns(prefix + candidate) > width:
            lines.append(prefix + line)
            prefix, candidate = rest, piece
        line = candidate
    lines.append(prefix + line)
    for made in lines:
        if columns(made) > width:
            raise ValueError("cannot fit in %d columns: %s" % (width, made))
    return lines


class Converter:
    def __init__(self, markdown, width=WIDTH):
        self.lines = markdown.replace("\r\n", "\n").split("\n")
        self.width = width
        self.out = []
        self.images = []

    def blank(self):
        if self.out and self.out[-1] != "":
            self.out.append("")

    def emit(self, lines):
        self.out.extend(lines)

    def block(self, text, indent=""):
        self.emit(wrap(inline(text), indent, indent, self.width))

    def item(self, marker, text, indent):
        self.emit(wrap(inline(text), indent + marker, indent + " " * columns(marker), self.width))

    def image(self, alt, name):
        self.images.append(name)
        self.blank()
        self.block("〔图〕%s：见包里的图片 %s。" % (alt, name), "  ")
        self.blank()

    def table(self, rows):
        # The header names the columns; each row then reads as its first cell and, below it,
        # the other cells indented.
        header, body = rows[0], rows[2:]
        if not re.fullmatch(r"\|(\s*:?-+:?\s*\|)+", rows[1].replace(" ", "")):
            raise ValueError("a table needs a |---| line under its header")
        cells = lambda row: [c.strip() for c in row.strip().strip("|").split("|")]
        names = cells(header)
        for row in body:
            values = cells(row)
            self.block(values[0], "  ")
            for name, value in zip(names[1:], values[1:]):
                self.emit(wrap(inline(name + "：" + value), "      ", "        ", self.width))

    def quote(self, lines):
        self.blank()
        self.out.append(RULE * (WIDTH // 2))
        inner = Converter("\n".join(lines), self.width - 2)
        inner.run()
        self.images += inner.images
        self.emit(["  " + line if line else "" for line in inner.out])
        self.out.append(RULE * (WIDTH // 2))
        self.blank()

    def run(self):
        lines, i = self.lines, 0
        while i < len(lines):
            line = lines[i]
            stripped = line.strip()
            if not stripped:
                i += 1
                continue
            if line.startswith("```"):
                end = lines.index("```", i + 1)
                self.blank()
                for code in lines[i + 1:end]:
                    if columns("    " + code) > self.width:
                        raise ValueError("code line too wide: " + code)
                    self.out.append("    " + code if code else "")
                self.blank()
                i = end + 1
                continue
            heading = re.fullmatch(r"(#{1,3}) (.+)", line)
            if heading:
                level, text = len(heading.group(1)), inline(heading.group(2))
                if level == 1:
                    self.emit(wrap(text, "", "", self.width))
                elif level == 2:
                    self.blank()
                    self.blank_line()
                    self.emit(wrap(text, "", "", self.width))
                else:
                    self.blank()
                    self.emit(wrap(text, "◆ ", "   ", self.width))
                self.blank()
                i += 1
                continue
            if line.startswith(">"):
                quoted = []
                while i < len(lines) and lines[i].startswith(">"):
                    quoted.append(lines[i][1:].lstrip(" ") if lines[i] != ">" else "")
                    i += 1
                self.quote(quoted)
                continue
            if line.startswith("|"):
                rows = []
                while i < len(lines) and lines[i].startswith("|"):
                    rows.append(lines[i])
                    i += 1
                self.blank()
                self.table(rows)
                self.blank()
                continue
            picture = re.fullmatch(r"!\[([^\]]*)\]\(([^)\s]+)\)", stripped)
            if picture:
                self.image(picture.group(1), picture.group(2))
                i += 1
                continue
            listed = re.fullmatch(r"( *)(- |\d+\. )(.+)", line)
            if listed:
                depth = len(listed.group(1)) // 2
                marker = "・" if listed.group(2) == "- " else listed.group(2)
                self.item(marker, listed.group(3), "  " * (depth + 1))
                i += 1
                if i < len(lines) and lines[i].strip() and not re.match(r" *(- |\d+\. )", lines[i]):
                    self.blank()
                continue
            if line.startswith(" "):
                raise ValueError("indented text that is no list item: " + line)
            self.blank()
            self.block(line)
            self.blank()
            i += 1
        while self.out and self.out[-1] == "":
            self.out.pop()

    def blank_line(self):
        # Two empty lines before a chapter, so chapters stand apart in a plain editor.
        if self.out:
            self.out.append("")


def convert(markdown):
    """The plain text of `markdown` as lines, and the pictures it names."""
    converter = Converter(markdown)
    converter.run()
    for line in converter.out:
        if "**" in line or "`" in line or CODE_START in line or CODE_END in line:
            raise ValueError("a Markdown mark is left: " + line)
    return converter.out, converter.images


def encode(lines):
    """The bytes of readme.txt: UTF-8 with a byte-order mark, CRLF line ends."""
    return b"\xef\xbb\xbf" + "".join(line + "\r\n" for line in lines).encode("utf-8")


def main(argv):
    if len(argv) == 3 and argv[1] == "--images":
        with open(argv[2], encoding="utf-8") as guide:
            print("\n".join(convert(guide.read())[1]))
        return 0
    if len(argv) != 3:
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as guide:
        lines, _ = convert(guide.read())
    with open(argv[2], "wb") as out:
        out.write(encode(lines))
    return 0


if __name__ == "__main__":
    try:
        sys.exit(main(sys.argv))
    except ValueError as fault:
        print("readme_txt.py: %s" % fault, file=sys.stderr)
        sys.exit(1)
