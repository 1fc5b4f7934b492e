#!/usr/bin/env python3
"""Removes from headless_win32/win32.h the #defines that nothing names (run from anywhere;
prints what it would remove, --apply removes it).

A name is used when any source, test, script or build file of the tree (both builds,
outside win32.h itself) names it, when a kept #define or a declaration of win32.h names
it. With --families the families of window styles, messages, notification codes and
window flags are kept whether used or not.
"""
import os
import re
import subprocess
import sys

HEADER = "headless_win32/win32.h"
KEEP = re.compile(
    r"^(WS_|WS_EX_|ES_|BS_|SS_|CBS_|PBS_|TTS_|WM_|EM_|BM_|CB_|CBN_|BN_|EN_|PBM_|TTM_|TTN_|STN_|"
    r"SWP_|SW_|HT|MK_|VK_|DLGC_|CS_|GWL_|GWLP_|GCL|COLOR_)")
SOURCE = re.compile(r"\.(c|cc|cpp|h|hpp|rc|py|sh|cmake|txt|in)$")
TOKEN = re.compile(r"\b[A-Za-z_][A-Za-z0-9_]*\b")
DEFINE = re.compile(r"^#define ([A-Za-z_][A-Za-z0-9_]*)")


def main(apply, families):
    os.chdir(os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
    files = subprocess.run(["git", "ls-files"], capture_output=True, text=True, check=True).stdout.split()
    used = set()
    for f in files:
        if f == HEADER or not SOURCE.search(f):
            continue
        with open(f, encoding="utf-8", errors="replace") as fh:
            used.update(TOKEN.findall(fh.read()))
    lines = open(HEADER, encoding="utf-8").read().split("\n")
    # Each #define with its continuation lines.
    blocks, i = [], 0
    while i < len(lines):
        j = i
        while lines[j].endswith("\\"):
            j += 1
        blocks.append((i, j))
        i = j + 1
    defines = {}
    for a, b in blocks:
        m = DEFINE.match(lines[a])
        if m:
            defines[m.group(1)] = (a, b)
    # The header's own declarations name what they need.
    for a, b in blocks:
        if not DEFINE.match(lines[a]):
            used.update(TOKEN.findall("\n".join(lines[a:b + 1])))
    keep = {n for n in defines if n in used or (families and KEEP.match(n))}
    # Kept #defines keep what their bodies name, transitively.
    todo = list(keep)
    while todo:
        a, b = defines[todo.pop()]
        for t in TOKEN.findall("\n".join(lines[a:b + 1])[len("#define "):]):
            if t in defines and t not in keep:
                keep.add(t)
                todo.append(t)
    drop = set()
    for n, (a, b) in defines.items():
        if n not in keep:
            drop.update(range(a, b + 1))
    print(f"{len(defines)} #defines, {len(keep)} kept, {len(defines) - len(keep)} removed")
    if apply:
        with open(HEADER, "w", encoding="utf-8") as fh:
            fh.write("\n".join(l for k, l in enumerate(lines) if k not in drop))
    else:
        print(" ".join(sorted(n for n in defines if n not in keep)))


if __name__ == "__main__":
    main("--apply" in sys.argv, "--families" in sys.argv)
