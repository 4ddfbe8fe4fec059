#!/usr/bin/env python3
"""Fails when the documents no longer cover what setup.exe and the scripts offer.

    check_docs.py SOURCE_DIR

The documents are README.md, CHANGELOG.md and every .md file under docs/. Each fault is
one line naming what is missing and where it should be; exit code 1 when there is one.
- every switch letter that setup/command_line.cpp reads (the rows `{'X', kRun...}` of its
  option table, and the letter it compares `upper ==` with) is named as /X in some
  document, and the letters are found at all;
- every result code that setup.exe can end with (the string ids that setup/run.cpp uses
  as results, from resources/resource.h, and 3010 from setup/exit_code.cpp) is a row of
  the README's exit-code table and the heading of a section in docs/troubleshooting.md;
- every file in scripts/ is named as scripts/NAME in some document;
- every relative link in a document leads to a file or folder that exists, and an
  #anchor into a Markdown file to one of its headings.
"""
import os
import re
import sys

REBOOT_REQUIRED = 3010


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def documents(source):
    paths = [os.path.join(source, name) for name in ("README.md", "CHANGELOG.md")]
    for folder, _, files in os.walk(os.path.join(source, "docs")):
        paths += [os.path.join(folder, name) for name in sorted(files) if name.endswith(".md")]
    return [path for path in paths if os.path.isfile(path)]


def without_code_blocks(text):
    """The text with fenced code blocks blanked out, line numbers kept."""
    lines, fenced = [], False
    for line in text.split("\n"):
        if line.lstrip().startswith("```"):
            fenced = not fenced
            lines.append("")
        else:
            lines.append("" if fenced else line)
    return "\n".join(lines)


def switch_letters(source):
    text = read(os.path.join(source, "setup", "command_line.cpp"))
    found = re.findall(r"\{'(.)', kRun", text) + re.findall(r"upper == '(.)'", text)
    return sorted({letter.upper() for letter in found})


def result_codes(source):
    ids = dict(re.findall(r"^#define (IDS_\w+) (\d+)", read(os.path.join(source, "resources", "resource.h")), re.M))
    run = read(os.path.join(source, "setup", "run.cpp"))
    names = set(re.findall(r"\{(IDS_\w+),", run)) | set(re.findall(r"resultCode = (IDS_\w+)", run))
    codes = {int(ids[name]) for name in names if name in ids}
    if "ERROR_SUCCESS_REBOOT_REQUIRED" in read(os.path.join(source, "setup", "exit_code.cpp")):
        codes.add(REBOOT_REQUIRED)
    return sorted(codes)


def slug(heading):
    """The anchor that GitHub gives a heading."""
    text = re.sub(r"[^\w\- ]", "", heading.strip().lower())
    return text.replace(" ", "-")


def anchors(text):
    seen, result = {}, set()
    for heading in re.findall(r"^#+ (.*)$", without_code_blocks(text), re.M):
        base = slug(heading)
        count = seen.get(base, 0)
        seen[base] = count + 1
        result.add(base if count == 0 else "%s-%d" % (base, count))
    return result


def link_faults(source, path, text):
    faults = []
    relative = os.path.relpath(path, source)
    for number, line in enumerate(without_code_blocks(text).split("\n"), 1):
        for target in re.findall(r"\]\(([^)\s]+)\)", re.sub(r"`[^`]*`", "", line)):
            if re.match(r"[a-z]+:", target):
                continue
            file_part, _, anchor = target.partition("#")
            resolved = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) if file_part else path
            if not os.path.exists(resolved):
                faults.append("%s:%d: the link %s leads to no file" % (relative, number, target))
            elif anchor and resolved.endswith(".md") and anchor not in anchors(read(resolved)):
                faults.append("%s:%d: the link %s names no heading of %s"
                              % (relative, number, target, os.path.relpath(resolved, source)))
    return faults


def main():
    source = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
    texts = {path: read(path) for path in documents(source)}
    everything = "\n".join(texts.values())
    faults = []

    letters = switch_letters(source)
    if len(letters) < 5:
        faults.append("setup/command_line.cpp: found the switches %s only; the check no longer reads "
                      "its option table" % letters)
    for letter in letters:
        if not re.search("/" + re.escape(letter) + r"(?![A-Za-z])", everything):
            faults.append("the switch /%s that setup/command_line.cpp reads is in no document" % letter)

    readme = read(os.path.join(source, "README.md"))
    troubleshooting = read(os.path.join(source, "docs", "troubleshooting.md"))
    headings = " ".join(re.findall(r"^#+ (.*)$", without_code_blocks(troubleshooting), re.M))
    codes = result_codes(source)
    for code in codes:
        if not re.search(r"^\| %d \|" % code, readme, re.M):
            faults.append("the result code %d is not a row of the exit-code table in README.md" % code)
        if not re.search(r"\b%d\b" % code, headings):
            faults.append("the result code %d has no section in docs/troubleshooting.md" % code)

    scripts = sorted(name for name in os.listdir(os.path.join(source, "scripts"))
                     if os.path.isfile(os.path.join(source, "scripts", name)))
    for name in scripts:
        if "scripts/" + name not in everything:
            faults.append("scripts/%s is named in no document (README.md, docs/)" % name)

    for path, text in texts.items():
        faults += link_faults(source, path, text)

    for fault in faults:
        print("docs check: " + fault)
    if faults:
        return 1
    print("docs check: %d switches, %d result codes, %d scripts and the links of %d documents are covered"
          % (len(letters), len(codes), len(scripts), len(texts)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
