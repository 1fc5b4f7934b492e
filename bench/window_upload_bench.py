#!/usr/bin/env python3
"""Window upload benchmarks under wine (figures, not tests).

  1. The window program's full upload against the simulator paced at the line rate as a
     USB-serial adapter behaves, as a ratio to the line-time floor (260,096 image bytes plus
     2,034 acknowledgement bytes at 10 bits per byte and 38462 baud: 68.2 s), and the Windows
     flasher's beside it on the same line (what the line and wine cost without a window).
  2. The same unpaced, beside the Windows flasher on the same kind of line in the same run.

The window is driven as in its end-to-end tests (the port chosen in the drop-down list by
a real click, "Записать" clicked); both programs' upload times are taken from the
simulator's events on the same clock: from the first image byte received to the final
acknowledgement sent.

Usage: bench/window_upload_bench.py [--build-dir DIR] [--no-paced] [--runs N]
(DIR: a configured Windows tree, default build/windows; the needed targets are built.)"""
import argparse
import os
import subprocess
import sys
import tempfile
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import wintest  # noqa: E402

TITLE = "Zorvantique bootloader"
COM = 7
FLOOR = (260096 + 2034) * 10 / 38462


def upload_span(report):
    """Seconds from the first image byte received to the final acknowledgement sent."""
    first = next(e["t"] for e in report["events"] if e["event"] == "image")
    final = [e["t"] for e in report["events"] if e["event"] == "final"]
    if not final or report["blocks_received"] != 1016:
        raise Incomplete(f"the upload ended after {report['blocks_acked']} acknowledged blocks")
    return final[-1] - first


class Incomplete(Exception):
    pass


def attempts(what, run, tries=3):
    """The figure of the first run that completes; a failed upload is said and run again."""
    for _ in range(tries):
        try:
            return run()
        except Incomplete as e:
            print(f"{what}: {e}; once more", flush=True)
    raise SystemExit(f"{what}: no complete upload in {tries} runs")


def window_upload(s, build, prefix, sim_args):
    run = s.start_com(os.path.join(build, "app", "zorvboot.exe"), prefix=prefix,
                      sim=os.path.join(build, "host-tools", "zorvsim"), com=COM,
                      sim_args=list(sim_args) + ["--linger", "60000"], timeout=600)
    run.wait_started(180)
    w = s.find(TITLE, wait=120)
    while w["class"] != "obj_Form":
        time.sleep(0.2)
        w = s.find(TITLE, wait=120)

    def kids(w):
        return [c for c in w.get("children", []) if c["parent"] == w["hwnd"]]

    def by_class(w, cls, n=0):
        return [c for c in kids(w) if c["class"] == cls][n]

    w = s.wait_until(w, lambda w: len(kids(w)) == 13 and w["visible"]
                     and f"COM{COM}" in by_class(w, "obj_COMBOBOX")["combo"]["items"], "the port list", 60)
    s.choose_combo_item(by_class(w, "obj_COMBOBOX"), f"COM{COM}")
    w = s.wait_until(w, lambda w: by_class(w, "obj_BUTTON")["enabled"], "the identified device", 60)
    s.click_control(by_class(w, "obj_BUTTON"))
    # Polled seldom: windriver's own wine processes would take time from the upload.
    w = s.wait_until(w, lambda w: by_class(w, "obj_BUTTON", 1)["visible"] and w["enabled"], "the end screen", 600,
                     interval=5)
    s.click_control(by_class(w, "obj_BUTTON", 1))
    code, report, lines = run.finish(120)
    if report is None:
        raise SystemExit(f"no report: {lines}")
    return upload_span(report)


def flasher_upload(build, prefix, sim_args):
    cmd = ["bash", os.path.join(ROOT, "tools", "wine-com.sh"), "--prefix", prefix, "--com", str(COM),
           "--sim", os.path.join(build, "host-tools", "zorvsim")]
    for a in sim_args:
        cmd += ["--sim-arg", a]
    cmd += ["--", os.path.join(build, "app", "zorvflash.exe"), "--port", f"COM{COM}", "--pause", "0", "--quiet"]
    out = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True).stdout
    report = next((wintest.json.loads(line[7:]) for line in out.splitlines() if line.startswith("REPORT {")), None)
    if report is None:
        raise SystemExit(f"no report from the flasher's run: {out}")
    return upload_span(report)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build-dir", default=os.path.join(ROOT, "build", "windows"))
    ap.add_argument("--no-paced", action="store_true")
    ap.add_argument("--runs", type=int, default=1, help="unpaced pairs to run")
    a = ap.parse_args()
    build = os.path.abspath(a.build_dir)
    subprocess.run(["cmake", "--build", build, "--target", "zorvboot", "zorvflash", "windriver", "zorvsim_tool"],
                   check=True, stdout=subprocess.DEVNULL)
    prefix = os.path.join(build, "wineprefix-window-bench")
    s = wintest.Session(build_dir=build)
    try:
        if not a.no_paced:
            t = attempts("window, paced", lambda: window_upload(s, build, prefix, ["--pace", "usb"]))
            print(f"window, paced (USB adapter): upload {t:.1f} s; floor {FLOOR:.1f} s; ratio {t / FLOOR:.3f}")
            tf = attempts("flasher, paced", lambda: flasher_upload(build, prefix, ["--pace", "usb"]))
            print(f"flasher under wine, paced (USB adapter): upload {tf:.1f} s; ratio {tf / FLOOR:.3f}")
        for _ in range(a.runs):
            tw = attempts("window, unpaced", lambda: window_upload(s, build, prefix, []))
            tf = attempts("flasher, unpaced", lambda: flasher_upload(build, prefix, []))
            print(f"unpaced under wine: window {tw:.1f} s; flasher {tf:.1f} s; ratio {tw / tf:.2f}")
    finally:
        s.stop_all()


if __name__ == "__main__":
    main()
