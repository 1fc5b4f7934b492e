#!/usr/bin/env python3
"""One end-to-end case of the Windows flasher under wine against the device simulator.

Runs tools/wine-com.sh with the simulator arguments given, the flasher as the program
(--port COMn, or the --port given), then checks the flasher's exit code, its output and the
simulator's report. With --sim2 N a second simulator serves COMn (port detection), and its
report is checked too; with --sim-at N (repeatable) further simulators serve COMn (several
ports at once), each checked by --expect-at. Every case also checks what the devices received: with --image every
image byte as in the image (no block with a hole), nothing beyond the image or after "PUSK",
and an exit code of 0 only with "PUSK" received once, by one device; and that no escape byte
reached the flasher's output.

With --line-retries N (byte-by-byte cases) a run that missed its expectations right after a
reply inside which the line stood still, as the simulator saw it from the host's end (its
"pause", "stall" and "blind" events), is no verdict on the flasher: a host rightly takes
such a pause for the reply's end. It is run again, up to N more times; what no run may do
even then (a false success, a hole in the image, bytes beyond it or after the failure)
still fails at once. When every run was disturbed so, the case is skipped (exit 77): this
machine could not carry a byte-by-byte line.
Usage:
  wine_flash_check.py --wine-com PATH --prefix DIR --sim PATH --flasher EXE --image-info FILE
                      [--image FILE] [--shim SO] [--sim-arg ARG ...] [--flash-arg ARG ...] [--sim-wait SEC]
                      [--port PORT] [--sim2 N] [--sim2-arg ARG ...]
                      [--sim-at N ...] [--sim-at-arg N=ARG ...] [--expect-at N:pusk=yes|no ...]
                      [--expect-at N:image-bytes=B ...] [--report FILE --expect-record PORT=RESULT ...]
                      --expect-exit N [--expect-pusk yes|no] [--expect-image-bytes N]
                      [--expect2-pusk yes|no] [--expect2-image-bytes N]
                      [--expect-text TEXT ...] [--expect-event NAME=COUNT ...]
                      [--reply-window LOW HIGH] [--line-retries N]
"""
import argparse
import json
import os
import subprocess
import sys


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--wine-com", required=True)
    ap.add_argument("--prefix", required=True)
    ap.add_argument("--sim", required=True)
    ap.add_argument("--flasher", required=True)
    ap.add_argument("--image-info", required=True, help="the build's note of the embedded image")
    ap.add_argument("--image", help="the embedded image, for the simulator to compare with")
    ap.add_argument("--sim-wait", default="0", help="seconds the simulator may take to end by itself")
    ap.add_argument("--expect-event", action="append", default=[],
                    help="NAME=COUNT: how many events of that name the report holds")
    ap.add_argument("--com", default="7")
    ap.add_argument("--shim", help="the pty modem-line shim to preload (waits then behave as on a port)")
    ap.add_argument("--sim-arg", action="append", default=[])
    ap.add_argument("--flash-arg", action="append", default=[])
    ap.add_argument("--port", help="the flasher's --port (default: the simulators' COM ports)")
    ap.add_argument("--sim2", help="COM number of a second simulator")
    ap.add_argument("--sim2-arg", action="append", default=[])
    ap.add_argument("--sim-at", action="append", default=[], help="COM number of one more simulator")
    ap.add_argument("--sim-at-arg", action="append", default=[], help="N=ARG: an argument for the simulator of COMn")
    ap.add_argument("--expect-at", action="append", default=[],
                    help="N:pusk=yes|no or N:image-bytes=B or N:max-image-bytes=B for the simulator of COMn")
    ap.add_argument("--report", help="the flasher's --report file (a Linux path); checked by --expect-record")
    ap.add_argument("--expect-record", action="append", default=[], help="PORT=RESULT: that port's record")
    ap.add_argument("--expect2-pusk", choices=["yes", "no"])
    ap.add_argument("--expect2-image-bytes", type=int)
    ap.add_argument("--expect-exit", type=int, required=True)
    ap.add_argument("--expect-pusk", choices=["yes", "no"])
    ap.add_argument("--expect-image-bytes", type=int)
    ap.add_argument("--expect-text", action="append", default=[])
    ap.add_argument("--reply-window", nargs=2, type=float,
                    help="seconds from the last acknowledgement to the end of the run")
    ap.add_argument("--line-retries", type=int, default=0,
                    help="runs again after a run the line disturbed, this many times at most")
    a = ap.parse_args()
    with open(a.image_info) as f:
        image_sha = dict(line.split(" ", 1) for line in f.read().splitlines() if " " in line)["sha256"]
    for attempt in range(a.line_retries + 1):
        if attempt:
            print(f"--- run {attempt + 1}")
        hard, soft, paused_at = run_once(a, image_sha)
        if hard or not soft or a.line_retries == 0 or paused_at is None:
            for f in hard + soft:
                print("FAILED: " + f)
            return 1 if hard or soft else 0
        for f in soft:
            print("missed: " + f)
        print(f"the line stood still inside the reply to block {paused_at} (0: the identification), "
              "so this run is no verdict on the flasher")
    print(f"SKIPPED: the line stood still in every one of {a.line_retries + 1} runs")
    return 77


# The line's own pauses inside a reply, as the simulator saw them from the host's end.
PAUSE_EVENTS = ("pause", "stall", "blind")


def run_once(a, image_sha):
    """One run; returns (failures no run may have, missed expectations, the block of the
    reply the line disturbed when the run ended right after it, else None)."""
    cmd = ["bash", a.wine_com, "--prefix", a.prefix, "--com", a.com, "--sim", a.sim, "--timeout", "240",
           "--sim-wait", a.sim_wait]
    sim_args = list(a.sim_arg) + (["--image", a.image] if a.image else [])
    for s in sim_args:
        cmd += ["--sim-arg", s]
    if a.shim:
        cmd += ["--shim", a.shim]
    if a.sim2:
        cmd += ["--sim2", a.sim2]
        for s in list(a.sim2_arg) + (["--image", a.image] if a.image else []):
            cmd += ["--sim2-arg", s]
    for n in a.sim_at:
        cmd += ["--sim-at", n]
        for s in [x.split("=", 1)[1] for x in a.sim_at_arg if x.split("=", 1)[0] == n] + \
                (["--image", a.image] if a.image else []):
            cmd += ["--sim-at-arg", f"{n}={s}"]
    report_args = []
    if a.report:
        if os.path.exists(a.report):
            os.remove(a.report)
        report_args = ["--report", "Z:" + os.path.abspath(a.report).replace("/", "\\")]
    # By default the simulator's port, or every simulator's port when there are several.
    port = a.port or ",".join(["COM" + a.com] + ["COM" + n for n in a.sim_at])
    cmd += ["--", a.flasher, "--port", port, "--pause", "0.2", "--quiet"] + report_args + a.flash_arg
    run = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    out = run.stdout.decode("utf-8", "replace")
    sys.stdout.write(out)
    sys.stderr.write(run.stderr.decode("utf-8", "replace"))

    failures = []  # missed expectations
    hard = []      # what no run may do
    report = None
    report2 = None
    more = {}  # COM number -> report
    for line in out.splitlines():
        if line.startswith("REPORT {"):
            report = json.loads(line[len("REPORT "):])
        if line.startswith("REPORT2 {"):
            report2 = json.loads(line[len("REPORT2 "):])
        if line.startswith("REPORT@") and " {" in line:
            n, body = line[len("REPORT@"):].split(" ", 1)
            more[n] = json.loads(body)
    if report is None:
        failures.append("no simulator report")
    if a.sim2 and report2 is None:
        failures.append("no report of the second simulator")
    if run.returncode != a.expect_exit:
        failures.append(f"exit code {run.returncode}, expected {a.expect_exit}")
    for text in a.expect_text:
        if text not in out:
            failures.append(f"output lacks {text!r}")
    if "\x1b" in out:
        hard.append("an escape byte reached the output")
    for n in a.sim_at:
        if n not in more:
            failures.append(f"no report of the simulator of COM{n}")
    reports = [(name, r) for name, r in (("", report), ("second simulator: ", report2)) if r is not None]
    reports += [(f"COM{n}: ", r) for n, r in sorted(more.items())]
    # No false success: an exit code of 0 always means that one device has the image and PUSK
    # (with several ports at once, every one).
    if run.returncode == 0 and a.sim_at:
        if any(r["pusk"] and (r["extra_bytes"] != 0 or r["image_bytes"] % 256 != 0) for _, r in reports) or \
                not all(r["pusk"] for _, r in reports):
            hard.append("success reported without PUSK on every port, or with bytes beyond the image")
    elif run.returncode == 0 and reports:
        complete = [r for _, r in reports
                    if sum(1 for e in r["events"] if e["event"] == "pusk") == 1
                    and r["extra_bytes"] == 0 and r["image_bytes"] % 256 == 0]
        if len(complete) != 1 or sum(1 for _, r in reports if r["pusk"]) != 1:
            hard.append("success reported without PUSK, or with bytes beyond the image")
    for name, r in reports:
        if a.image and r.get("image_mismatch") != -1:
            hard.append(f"{name}the device received an image byte that differs, at {r.get('image_mismatch')}")
        if r.get("extra_bytes", 0) != 0:
            hard.append(f"{name}{r['extra_bytes']} bytes beyond the image")
    for r, pusk, image_bytes, name in ((report, a.expect_pusk, a.expect_image_bytes, ""),
                                       (report2, a.expect2_pusk, a.expect2_image_bytes, "second simulator: ")):
        if r is None:
            continue
        if pusk and r["pusk"] != (pusk == "yes"):
            failures.append(f"{name}pusk {r['pusk']}")
        if image_bytes is not None:
            if r["image_bytes"] != image_bytes:
                failures.append(f"{name}image bytes {r['image_bytes']}")
            if image_bytes == 260096 and r["image_sha256"] != image_sha:
                failures.append(f"{name}image SHA-256 differs from the embedded image")
    if report is not None:
        for wanted in a.expect_event:
            name, count = wanted.split("=")
            got = sum(1 for e in report["events"] if e["event"] == name)
            if got != int(count):
                failures.append(f"{got} {name} events, expected {count}")
        if a.reply_window:
            acks = [e["t"] for e in report["events"] if e["event"] == "ack"]
            ends = [e["t"] for e in report["events"] if e["event"] == "exit"]
            if not acks or not ends:
                failures.append("no acknowledgement or end in the report")
            else:
                gap = ends[-1] - acks[-1]
                low, high = a.reply_window
                if not low <= gap <= high:
                    failures.append(f"{gap:.2f} s from the last reply to the end, expected {low}..{high}")
    for wanted in a.expect_at:
        n, what = wanted.split(":", 1)
        key, value = what.split("=", 1)
        r = more.get(n)
        if r is None:
            continue
        if key == "pusk" and r["pusk"] != (value == "yes"):
            failures.append(f"COM{n}: pusk {r['pusk']}")
        if key == "image-bytes" and r["image_bytes"] != int(value):
            failures.append(f"COM{n}: image bytes {r['image_bytes']}, expected {value}")
        if key == "max-image-bytes" and r["image_bytes"] > int(value):
            failures.append(f"COM{n}: image bytes {r['image_bytes']}, expected at most {value}")
    if a.report:
        records = {}
        with open(a.report, encoding="utf-8") as f:
            for line in f:
                try:
                    rec = json.loads(line)
                    records[rec["port"]] = rec
                except ValueError:
                    hard.append(f"a report line that is no whole JSON: {line!r}")
        for wanted in a.expect_record:
            port, result = wanted.split("=", 1)
            got = records.get(port, {}).get("result")
            if got != result:
                failures.append(f"record of {port}: {got}, expected {result}")
        if len(records) != len(a.expect_record):
            failures.append(f"{len(records)} records, expected {len(a.expect_record)}")
    paused_at = None
    if report is not None and run.returncode != 0:
        last = report["blocks_acked"]
        if any(e["event"] in PAUSE_EVENTS and e.get("block", 0) == last for e in report["events"]):
            paused_at = last
            # A disturbed run still sends nothing after the reply it failed on.
            if report["image_bytes"] > 256 * last or report["pusk"]:
                hard.append(f"{report['image_bytes']} image bytes (or PUSK) after the failure at block {last}")
    return hard, failures, paused_at


if __name__ == "__main__":
    sys.exit(main())
