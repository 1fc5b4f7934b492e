#!/usr/bin/env python3
"""A Windows program as the PC that runs it sees the file, read with objdump -p.

Runs on the build machine (no wine), so that it also checks the 32-bit programs, which
this machine's wine cannot run. A program passes when it is

  - a PE file for the build's processor (PE32 i386 or PE32+ x86-64) and of the expected
    subsystem (the window program GUI, the flasher console);
  - startable on Windows 7 (the operating system and subsystem versions its header asks
    for are 6.1 or lower);
  - self-contained: it imports from system DLLs of Windows 7 only (no C run time of later
    Windows, no compiler DLLs), and none of the functions that only later Windows have
    (a short list of the ones a build tool chain is known to pull in);
  - a whole program: the image, the picture and the icon every program embeds, a version
    resource and a manifest (asInvoker, naming the program's processor).

usage: program_file_check.py --objdump OBJDUMP --machine i386|x86-64 --subsystem gui|console EXE
"""

import argparse
import re
import subprocess
import sys

# Windows 7's own DLLs that a program of this kind may import (lower case).
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "comctl32.dll", "advapi32.dll", "winmm.dll",
    "msvcrt.dll", "shell32.dll", "ole32.dll", "oleaut32.dll", "comdlg32.dll", "version.dll",
    "shlwapi.dll", "ws2_32.dll", "imm32.dll", "setupapi.dll", "uxtheme.dll",
}

# Functions that Windows 7 does not have (Windows 8 and later); a program that imports one
# does not start there ("entry point not found").
LATER_FUNCTIONS = {
    # kernel32, Windows 8 and 8.1
    "GetSystemTimePreciseAsFileTime", "CreateFile2", "CopyFile2", "GetOverlappedResultEx",
    "WaitOnAddress", "WakeByAddressSingle", "WakeByAddressAll", "PrefetchVirtualMemory",
    "GetCurrentThreadStackLimits", "SetThreadInformation", "GetThreadInformation",
    "InitializeSynchronizationBarrier", "EnterSynchronizationBarrier",
    "DeleteSynchronizationBarrier", "CreateFileMappingFromApp", "MapViewOfFileFromApp",
    "GetCurrentPackageId", "GetCurrentPackageFullName", "DiscardVirtualMemory",
    "OfferVirtualMemory", "ReclaimVirtualMemory",
    # kernel32, only with a Windows 7 update that a PC may lack
    "SetDefaultDllDirectories", "AddDllDirectory", "RemoveDllDirectory",
    # kernel32, Windows 10
    "SetThreadDescription", "GetThreadDescription", "VirtualAlloc2", "MapViewOfFile3",
    "VirtualAllocFromApp",
    # user32, Windows 8 and 10
    "GetDpiForWindow", "GetDpiForSystem", "SetProcessDpiAwarenessContext",
    "SetThreadDpiAwarenessContext", "GetWindowDpiAwarenessContext", "GetSystemMetricsForDpi",
    "AdjustWindowRectExForDpi", "SystemParametersInfoForDpi", "EnableNonClientDpiScaling",
    "GetPointerType", "EnableMouseInPointer", "GetDisplayAutoRotationPreferences",
    "SetDisplayAutoRotationPreferences",
}

MACHINES = {
    # --machine: (objdump's file format, optional header magic, manifest processor)
    "i386": ("pei-i386", "010b", "x86"),
    "x86-64": ("pei-x86-64", "020b", "amd64"),
}
SUBSYSTEMS = {"gui": 2, "console": 3}
WINDOWS_7 = (6, 1)

# Resource types (numeric): 2 bitmap, 14 icon group, 16 version, 24 manifest, 100 the image.
RESOURCE_TYPES = {2: "bitmap BITMAP0", 14: "icon ZOKA", 16: "version", 24: "manifest",
                  100: "firmware image STREAM0"}
RESOURCE_NAMES = ("STREAM0", "BITMAP0", "ZOKA")


def header_number(text, name, base=10):
    m = re.search(r"^%s\s+([0-9a-fA-F]+)" % name, text, re.M)
    if not m:
        raise ValueError("objdump -p shows no %s" % name)
    return int(m.group(1), base)


def imports(text):
    """{dll name (lower case): [function names]} from objdump's import tables."""
    found = {}
    current = None
    for line in text.splitlines():
        m = re.match(r"\s*DLL Name: (\S+)", line)
        if m:
            current = found.setdefault(m.group(1).lower(), [])
            continue
        if current is None:
            continue
        if not line.strip():
            current = None
            continue
        # "	vma:  Hint/Ord Member-Name Bound-To" heads the list; entries are
        # "	<vma>	  <hint>  <name>".
        m = re.match(r"\s*[0-9a-fA-F]+\s+\d+\s+(\S+)", line)
        if m:
            current.append(m.group(1))
    return found


def resource_types(text):
    """The numeric type IDs of the top level of the resource directory."""
    m = re.search(r"The \.rsrc Resource Directory section:\n(.*?)(?:\n\n|\Z)", text, re.S)
    if not m:
        return set()
    types = set()
    for line in m.group(1).splitlines():
        # The type table's entries are the least indented ones.
        e = re.match(r"[0-9a-f]+   Entry: ID: (0x[0-9a-fA-F]+)", line)
        if e:
            types.add(int(e.group(1), 16))
    return types


def check(exe, objdump, machine, subsystem):
    faults = []
    dump = subprocess.run([objdump, "-p", exe], check=True, capture_output=True, text=True).stdout
    fmt, magic, processor = MACHINES[machine]

    if not re.search(r"file format %s\b" % re.escape(fmt), dump):
        m = re.search(r"file format (\S+)", dump)
        faults.append("file format %s, not %s" % (m.group(1) if m else "unknown", fmt))
    if not re.search(r"^Magic\s+%s\b" % magic, dump, re.M):
        faults.append("optional header magic is not %s" % magic)
    got = header_number(dump, "Subsystem", 16)
    if got != SUBSYSTEMS[subsystem]:
        faults.append("subsystem %d, not %d (%s)" % (got, SUBSYSTEMS[subsystem], subsystem))
    for what in ("OSystem", "Subsystem"):
        version = (header_number(dump, "Major%sVersion" % what), header_number(dump, "Minor%sVersion" % what))
        if version > WINDOWS_7:
            faults.append("the header asks for Windows %d.%d (%s version)" % (version + (what,)))

    table = imports(dump)
    if not table:
        faults.append("no import table found")
    for dll, functions in sorted(table.items()):
        if dll not in SYSTEM_DLLS:
            faults.append("imports %s, not a system DLL of Windows 7" % dll)
        for f in functions:
            if f in LATER_FUNCTIONS:
                faults.append("imports %s!%s, which Windows 7 does not have" % (dll, f))

    types = resource_types(dump)
    for t, what in sorted(RESOURCE_TYPES.items()):
        if t not in types:
            faults.append("no %s resource (type %d)" % (what, t))
    for name in RESOURCE_NAMES:
        if not re.search(r"Entry: name: \[[^\]]*\]: %s\b" % name, dump):
            faults.append("no resource named %s" % name)

    with open(exe, "rb") as f:
        data = f.read()
    m = re.search(rb"<assemblyIdentity[^>]*>", data)
    if not m:
        faults.append("no manifest text in the file")
    else:
        identity = m.group(0).decode("ascii", "replace")
        if 'processorArchitecture="%s"' % processor not in identity:
            faults.append("the manifest names another processor: %s" % identity)
        if b'level="asInvoker"' not in data:
            faults.append("the manifest does not ask for asInvoker")

    return faults, table


def main():
    p = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    p.add_argument("--objdump", required=True)
    p.add_argument("--machine", required=True, choices=sorted(MACHINES))
    p.add_argument("--subsystem", required=True, choices=sorted(SUBSYSTEMS))
    p.add_argument("exe")
    a = p.parse_args()
    faults, table = check(a.exe, a.objdump, a.machine, a.subsystem)
    print("%s imports: %s" % (a.exe, ", ".join("%s (%d)" % (d, len(f)) for d, f in sorted(table.items()))))
    for fault in faults:
        print("FAULT: " + fault)
    if faults:
        return 1
    print("%s: %s %s program for Windows 7 and later, system DLLs only" % (a.exe, a.machine, a.subsystem))
    return 0


if __name__ == "__main__":
    sys.exit(main())
