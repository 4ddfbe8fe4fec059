#!/usr/bin/env python3
"""The string tables of the fourteen languages, read from resources/lang/*.rc.

    string_tables_test.py SOURCE_DIR

The program loads each text into a 260-byte buffer in the system's ANSI code page, so
every entry must fit in 259 bytes in its language's code page, and every character must
exist there (the system would show "?" for one that does not). Every language has every
id of the English table (a missing one falls back to English). The help names the same
switches, numbers and file names in every language as in English.
"""
import os
import re
import sys

SOURCE = sys.argv[1]
CODE_PAGES = {
    "en": "cp1252", "da": "cp1252", "de": "cp1252", "fi": "cp1252", "fr": "cp1252",
    "it": "cp1252", "nl": "cp1252", "no": "cp1252", "sv": "cp1252", "es": "cp1252",
    "ja": "cp932", "zh-cn": "cp936", "zh-tw": "cp950", "ko": "cp949",
}
BUFFER_BYTES = 260
# What a translation keeps as it is: switches, numbers, file names.
KEPT = re.compile(r'"[^"]*"|/[A-Z?]|(?<!\d)\d+(?:\.\d+)?(?!\d)|[\w/]+\.(?:log|md)')
failures = []


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what)
    if not condition:
        failures.append(what)


def unescape(literal):
    """The text of an rc string literal: "" is a quote, backslash escapes as in C."""
    out, i = [], 0
    while i < len(literal):
        c = literal[i]
        if c == '"':  # only ever doubled inside a literal
            out.append('"')
            i += 2
        elif c == "\\":
            nxt = literal[i + 1]
            out.append({"n": "\n", "t": "\t", "\\": "\\", '"': '"'}.get(nxt, "\\" + nxt))
            i += 2
        else:
            out.append(c)
            i += 1
    return "".join(out)


def read_table(path):
    """Maps each id name of the file's STRINGTABLE to its text, in order."""
    with open(path, encoding="utf-8") as f:
        text = f.read()
    block = re.search(r"^STRINGTABLE\s*\nBEGIN\n(.*?)^END", text, re.S | re.M)
    entries, unread = {}, []
    for line in block.group(1).splitlines():
        line = line.strip()
        if not line or line.startswith("//"):
            continue
        entry = re.fullmatch(r'(\w+)\s+"((?:[^"]|"")*)"', line)
        if entry:
            entries[entry.group(1)] = unescape(entry.group(2))
        else:
            unread.append(line[:60])
    check(not unread, f"{os.path.basename(path)}: every entry is one id and one string {unread}")
    return entries


def kept_parts(table):
    help_text = " ".join(text for name, text in table.items() if name.startswith("IDS_HELP_"))
    return sorted(m.group(0) for m in KEPT.finditer(help_text))


def main():
    folder = os.path.join(SOURCE, "resources", "lang")
    tables = {name[:-3]: read_table(os.path.join(folder, name))
              for name in sorted(os.listdir(folder)) if name.endswith(".rc")}
    check(sorted(tables) == sorted(CODE_PAGES), "one file for each of the fourteen languages: "
          + " ".join(sorted(tables)))
    english = tables["en"]
    check(any(name.startswith("IDS_HELP_") for name in english), "the English table holds the help")
    for language, table in tables.items():
        code_page = CODE_PAGES.get(language)
        if not code_page:
            continue
        missing = [name for name in english if name not in table]
        extra = [name for name in table if name not in english]
        check(not missing and not extra, f"{language}: the ids of the English table "
              f"(missing {missing}, not in English {extra})")
        too_long, outside = [], []
        for name, text in table.items():
            try:
                size = len(text.encode(code_page))
                if size >= BUFFER_BYTES:
                    too_long.append(f"{name} {size} bytes")
            except UnicodeEncodeError as error:
                outside.append(f"{name} {text[error.start:error.end]!r}")
        check(not too_long, f"{language}: every text fits {BUFFER_BYTES - 1} bytes in {code_page} {too_long}")
        check(not outside, f"{language}: every character is in {code_page} {outside}")
        check(kept_parts(table) == kept_parts(english),
              f"{language}: the help keeps the switches, numbers and file names of the English help")
    if failures:
        print(f"{len(failures)} failed")
        return 1
    return 0


sys.exit(main())
