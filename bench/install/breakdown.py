#!/usr/bin/env python3
"""Where the time of a silent run goes, from traced runs of setup.exe.

    breakdown.py install|removal TRACE...

Each TRACE is the stderr of one run under WINEDEBUG=+timestamp,+relay,+loaddll
with the relay trace limited to a few calls made by the program (RELAY_CALLS
in run.sh); its first line is "total <seconds>", the run's time as the shell
measured it. The calls mark the segments: the first GetVersionExA (the entry
routine starts), CreateDialogParamA (the progress window), FindWindowA or
OpenMutexA (the running-instance test, right before the phases), the
Sleep(50) after each completed phase, DestroyWindow and the RegCreateKeyExA of
the result value. Prints the median of each segment over the traces, in
milliseconds (Wine's trace clock is good to a few milliseconds), and the
number of pauses; each pause counts as its 50 ms.
"""
import re
import statistics
import sys

PHASES = {
    "install": ["files", "shortcuts", "program folder value", "name and version",
                "search folders, download folder", "menu folder, internet, button",
                "install records", "uninstall entry"],
    "removal": ["files", "shortcuts", "program folder value", "name and version",
                "menu folder, internet, button", "search folders", "uninstall entry"],
}

PAUSE_MS = 50
LINE = re.compile(r"^\s*(\d+)\.(\d{3}):[0-9a-f]+:(.*)$")
LOADED = re.compile(r'trace:loaddll:build_module Loaded L"[^"]*\\\\(setup|_zemu000)\.exe" at ([0-9A-Fa-f]+)')
CALL = re.compile(r"Call ([\w.]+)\((.*)\) ret=([0-9a-f]+)")
RET = re.compile(r"Ret\s+([\w.]+)\(")


def segments(path):
    with open(path, errors="replace") as f:
        first = f.readline().split()
        total = float(first[1]) * 1000.0
        base = None
        marks = {}
        sleeps = []
        pending_sleep = None
        for line in f:
            m = LINE.match(line)
            if not m:
                continue
            t = int(m.group(1)) * 1000 + int(m.group(2))
            text = m.group(3)
            if base is None:
                lm = LOADED.search(text)
                if lm:
                    base = int(lm.group(2), 16)
                    marks["load"] = t
                continue
            cm = CALL.search(text)
            if cm:
                name, args, ret = cm.group(1), cm.group(2), int(cm.group(3), 16)
                if not base <= ret < base + 0x1000000:
                    continue  # a call made by Wine itself, not by the program
                short = name.split(".")[-1]
                if short == "GetVersionExA":
                    marks.setdefault("main", t)
                elif short == "CreateDialogParamA":
                    marks.setdefault("dialog", t)
                elif short in ("FindWindowA", "OpenMutexA") and "dialog" in marks:
                    marks.setdefault("phases", t)
                elif short == "Sleep" and args == "00000032":
                    pending_sleep = t
                elif short == "DestroyWindow" and "phases" in marks:
                    marks.setdefault("destroy", t)
                elif short == "RegCreateKeyExA" and args.startswith("ffffffff80000001") \
                        and "destroy" in marks:
                    marks.setdefault("result", t)
                continue
            rm = RET.search(text)
            if rm and pending_sleep is not None and rm.group(1).endswith(".Sleep"):
                sleeps.append((pending_sleep, t))
                pending_sleep = None
    need = ("load", "main", "dialog", "phases", "destroy", "result")
    if any(k not in marks for k in need) or not sleeps:
        raise SystemExit(f"breakdown.py: {path}: marks missing ({sorted(marks)}, {len(sleeps)} pauses)")
    out = {
        "wine start-up; result value and exit": total - (marks["result"] - marks["load"]),
        "loading and initialising DLLs": marks["main"] - marks["load"],
        "setup data, checks, options": marks["dialog"] - marks["main"],
        "progress window (create, show)": marks["phases"] - marks["dialog"],
    }
    # Phases are measured from one pause's start to the next, less the pause:
    # the trace clock lags at the end of a pause more than at its start.
    start = marks["phases"]
    phase_times = []
    for call, _ in sleeps:
        phase_times.append(call - start)
        start = call + PAUSE_MS
    out["destroying the progress window"] = marks["result"] - start
    out["pauses"] = PAUSE_MS * len(sleeps)
    out["total"] = total
    return out, phase_times, len(sleeps)


def main():
    what = sys.argv[1]
    runs = [segments(p) for p in sys.argv[2:]]
    counts = sorted({n for _, _, n in runs})
    names = PHASES[what]
    order = ["wine start-up; result value and exit", "loading and initialising DLLs", "setup data, checks, options",
             "progress window (create, show)"]
    rows = [(k, [r[0][k] for r in runs]) for k in order]
    if counts == [len(names)]:
        for i, name in enumerate(names):
            rows.append((f"phase {i + 1}: {name}", [r[1][i] for r in runs]))
    else:
        rows.append(("phases", [sum(r[1]) for r in runs]))
    for k in ("destroying the progress window", "pauses", "total"):
        if k == "pauses":
            rows.append((f"pauses ({counts[0]} x {PAUSE_MS} ms)", [r[0][k] for r in runs]))
            continue
        rows.append((k, [r[0][k] for r in runs]))
    print(f"{what} ({len(runs)} traced runs; pauses counted: {','.join(map(str, counts))})")
    for name, values in rows:
        print(f"  {name:<44} {statistics.median(values):6.0f} ms")


main()
