#!/usr/bin/env python3
"""Checks the package's readme.txt against the program it describes.

    python3 tools/docs/check_readme.py ROOT [README.txt]

Without README.txt it checks what tools/docs/readme_txt.py makes of ROOT/docs/使用说明.md. Fails
(exit 1, one line per fault) when the text:
  - is not UTF-8 with a byte-order mark and CRLF line ends;
  - has a line wider than 76 columns (a Chinese character takes two) or any Markdown mark;
  - quotes in 「」 a text the program does not show, byte for byte; or writes a log line
    ("提示: ..." or "同步次数: ...") the program cannot write;
  - names a picture that docs/ lacks, or a package of another version;
and when the guide's prose mixes ASCII , ; : ( ) ! ? into Chinese text (allowed only inside
「」, code and ``` blocks, which hold the program's and the system's texts as they are).
"""
import os
import re
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import readme_txt  # noqa: E402

GUIDE = os.path.join("docs", "使用说明.md")
# Where the program's own texts are written: its resource scripts and sources.
PROGRAM_FOLDERS = ("app", "ui", "dirset", "sync", "win")
LOG_LABELS = ("提示", "同步次数")

MARKDOWN_MARKS = [
    (re.compile(r"^\s*#{1,6}\s"), "a # heading"),
    (re.compile(r"\*\*|__"), "bold marks"),
    (re.compile(r"`"), "a backtick"),
    (re.compile(r"!?\[[^\]]*\]\([^)]*\)"), "a link or an image"),
    (re.compile(r"^\s*\|.*\|\s*$"), "a table row"),
    (re.compile(r"^\s*>"), "a quote mark"),
    (re.compile(r"^\s*[-*+]\s"), "a list mark"),
    (re.compile(r"^\s*[-=]{3,}\s*$"), "a rule or heading underline"),
    (re.compile(r"<[a-zA-Z/][^>]*>"), "an HTML tag"),
]


def is_cjk(c):
    return "\u3000" <= c <= "\u9fff" or "\uff00" <= c <= "\uffef"


def literals_of(source):
    """The string literals of a C++ or resource source, comments skipped, escapes resolved."""
    found, i, n = [], 0, len(source)
    escapes = {"n": "\n", "r": "\r", "t": "\t", "\\": "\\", '"': '"', "'": "'", "0": "\0"}
    while i < n:
        if source.startswith("//", i):
            i = source.find("\n", i)
            i = n if i < 0 else i
        elif source.startswith("/*", i):
            i = source.find("*/", i + 2)
            i = n if i < 0 else i + 2
        elif source[i] == "'":
            i = source.find("'", i + 2) + 1  # a character literal: its quote is no string
        elif source[i] == '"':
            text, i = [], i + 1
            while i < n and source[i] != '"':
                if source[i] == "\\" and i + 1 < n:
                    text.append(escapes.get(source[i + 1], source[i + 1]))
                    i += 2
                else:
                    text.append(source[i])
                    i += 1
            found.append("".join(text))
            i += 1
        else:
            i += 1
    return found


def program_texts(root):
    """Every text the program can show: each literal, each of its lines, and the form a menu or
    button shows of it ("确认输入(&O)" shows as "确认输入(O)")."""
    texts = set()
    for folder in PROGRAM_FOLDERS:
        for base, _, files in os.walk(os.path.join(root, folder)):
            for name in files:
                if not name.endswith((".cpp", ".h", ".rc")):
                    continue
                with open(os.path.join(base, name), encoding="utf-8") as source:
                    for literal in literals_of(source.read()):
                        for text in [literal] + literal.split("\r\n"):
                            texts.add(text)
                            texts.add(re.sub(r"&(.)", r"\1", text))
    texts.discard("")
    return texts


def valid_message(message, texts, labelled):
    """A log message as the program composes it: one of its texts, a count or the interval
    before one, and after a text ending in ": " the path it names."""
    if message in texts:
        return True
    if labelled and re.fullmatch(r"\d+", message):
        return True
    number = re.match(r"\d+", message)
    rest = message[number.end():] if number else message
    for text in texts:
        if rest == text or (text.endswith(": ") and rest.startswith(text) and len(rest) > len(text)):
            return True
    return False


def valid_quote(quote, texts):
    if valid_message(quote, texts, False):
        return True
    label, colon, message = quote.partition(": ")
    return bool(colon) and label in texts and valid_message(message, texts, True)


def check_text(raw, texts, root, version):
    faults = []
    if not raw.startswith(b"\xef\xbb\xbf"):
        faults.append("readme.txt: no UTF-8 byte-order mark")
    body = raw[3:] if raw.startswith(b"\xef\xbb\xbf") else raw
    if re.search(rb"(?<!\r)\n", body) or re.search(rb"\r(?!\n)", body) or not body.endswith(b"\r\n"):
        faults.append("readme.txt: a line end that is not CRLF")
    text = body.decode("utf-8")
    for number, line in enumerate(text.split("\r\n")[:-1], 1):
        where = "readme.txt:%d: " % number
        if readme_txt.columns(line) > readme_txt.WIDTH:
            faults.append(where + "%d columns, more than %d" % (readme_txt.columns(line), readme_txt.WIDTH))
        if "\t" in line:
            faults.append(where + "a tab")
        for mark, what in MARKDOWN_MARKS:
            if mark.search(line):
                faults.append(where + what + ": " + line.strip())
        if line.count("「") != line.count("」"):
            faults.append(where + "a program text broken over two lines")
        for quote in re.findall(r"「([^」]*)」", line):
            if quote and not valid_quote(quote, texts):
                faults.append(where + "the program shows no text 「%s」" % quote)
        bare = re.sub(r"「[^」]*」", "", line).strip()
        if bare.startswith(tuple(label + ": " for label in LOG_LABELS)) and not valid_quote(bare, texts):
            faults.append(where + "the program writes no log line " + bare)
        for picture in re.findall(r"[\w.-]+\.png", line):
            if not os.path.isfile(os.path.join(root, "docs", picture)):
                faults.append(where + "docs/ has no picture " + picture)
        for named in re.findall(r"quenfold-(\d+\.\d+\.\d+)-win", line):
            if named != version:
                faults.append(where + "package version %s, the program's is %s" % (named, version))
    return faults


def check_guide_prose(guide):
    """ASCII punctuation beside Chinese text, outside the spans that quote texts as they are."""
    faults, in_block = [], False
    for number, line in enumerate(guide.split("\n"), 1):
        if line.startswith("```"):
            in_block = not in_block
            continue
        if in_block:
            continue
        prose = re.sub(r"「[^」]*」|`[^`]*`|!?\[[^\]]*\]\([^)]*\)", "\u2003", line)
        prose = re.sub(r"^\s*(?:\d+\.|[-|>])", "", prose)
        for at, c in enumerate(prose):
            if c in ",;:()!?\"" and any(is_cjk(near) for near in prose[max(at - 1, 0):at + 2] if near != "\u2003"):
                faults.append("%s:%d: ASCII %r in Chinese prose: %s" % (GUIDE, number, c, line.strip()[:60]))
                break
    return faults


def project_version(root):
    with open(os.path.join(root, "CMakeLists.txt"), encoding="utf-8") as lists:
        return re.search(r"project\(Quenfold VERSION (\d+\.\d+\.\d+)", lists.read()).group(1)


def main(argv):
    if len(argv) not in (2, 3):
        print(__doc__.strip().splitlines()[2], file=sys.stderr)
        return 2
    root = argv[1]
    with open(os.path.join(root, GUIDE), encoding="utf-8") as guide_file:
        guide = guide_file.read()
    if len(argv) == 3:
        with open(argv[2], "rb") as readme:
            raw = readme.read()
    else:
        raw = readme_txt.encode(readme_txt.convert(guide)[0])
    texts = program_texts(root)
    faults = check_text(raw, texts, root, project_version(root)) + check_guide_prose(guide)
    # The check itself must be able to fail: a text the program never shows, a Markdown mark
    # and a log line the program never writes.
    probe = readme_txt.encode(["「开 始」", "**提示**", "提示: 保存设置成功"])
    if len(check_text(probe, texts, root, project_version(root))) < 3:
        faults.append("the check no longer tells a wrong text or a Markdown mark")
    for fault in faults:
        print(fault)
    print("%d fault(s) in the readme.txt of %s" % (len(faults), os.path.join(root, GUIDE)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
