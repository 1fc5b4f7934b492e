#!/usr/bin/env python3
"""Shows the window program at work under wine against the device simulator.

On the user's X display (--display, or DISPLAY when it answers) the program simply runs
and the user operates it: pick the port named on the terminal, press "Записать", wait
for the completion, press "OK". Without a display (or with --auto) it runs on an Xvfb of
its own and is driven as an operator would drive it, with real clicks: the port is picked
in the drop-down, "Записать" pressed, the completion awaited and "OK" pressed; a
screenshot of each screen is left in the output directory.

    run_window.py --build build/windows --sim build/native-release/tools/zorvsim/zorvsim
                  [--display :0 | --auto] [--out DIR] [--pause-check]
"""
import argparse
import os
import subprocess
import sys
import time

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
sys.path.insert(0, os.path.join(ROOT, "tests", "support"))
import wintest  # noqa: E402

TITLE = "Zorvantique bootloader"
COM = 7


def display_answers(display):
    if not display:
        return False
    env = dict(os.environ, DISPLAY=display)
    r = subprocess.run(["xdotool", "getdisplaygeometry"], env=env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL)
    return r.returncode == 0


def visible(window, text):
    c = wintest.control(window, text=text)
    return c is not None and c["visible"]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--build", default=os.path.join(ROOT, "build", "windows"))
    ap.add_argument("--sim", default=os.path.join(ROOT, "build", "native-release", "tools", "zorvsim", "zorvsim"))
    ap.add_argument("--display", default=None, help="the X display to show the window on")
    ap.add_argument("--auto", action="store_true", help="drive the window on an X server of its own")
    ap.add_argument("--out", default=os.path.join(ROOT, "build", "window-run"), help="where the screenshots go")
    a = ap.parse_args()

    a.build = os.path.abspath(a.build)
    exe = os.path.join(a.build, "app", "zorvboot.exe")
    prefix = os.path.join(a.build, "wineprefix-window")
    display = None if a.auto else (a.display or os.environ.get("DISPLAY"))
    manual = display_answers(display)

    os.environ["ZORV_BUILD_DIR"] = a.build
    if not manual:
        # An X server of the run's own (wintest starts one when none is recorded here).
        os.environ["ZORV_XSERVER_DIR"] = os.path.join(a.build, "window-run-xserver")
    s = wintest.Session(build_dir=a.build)
    if manual:
        s.display = display

    print(f"Starting the device simulator and {os.path.basename(exe)} under wine (COM{COM})...")
    run = s.start_com(exe, prefix=prefix, sim=a.sim, com=COM, timeout=900)
    run.wait_started(timeout=180)
    w = s.find(TITLE, wait=120)
    if manual:
        print(f"The window is on display {display}. Pick COM{COM} in the port list, press the write button,")
        print("wait for the completion message (the upload takes a minute or two, then a 15-second pause)")
        print("and press OK.")
        code, report, _ = run.finish(timeout=3600)
    else:
        os.makedirs(a.out, exist_ok=True)
        hwnd = w["hwnd"]
        s.screenshot("start", window=hwnd, directory=a.out)
        w = s.list(hwnd)
        combo = wintest.control(w, cls="obj_COMBOBOX")
        s.choose_combo_item(combo, f"COM{COM}")
        button = wintest.control(w, text="Записать")
        w = s.wait_until(hwnd, lambda w: wintest.control(w, text="Записать")["enabled"],
                         what="the device identified", timeout=60)
        s.screenshot("identified", window=hwnd, directory=a.out)
        s.click_control(button)
        print("Uploading...")
        w = s.wait_until(hwnd, lambda w: not w["enabled"], what="the upload under way", timeout=30)
        time.sleep(3)
        s.screenshot("uploading", window=hwnd, directory=a.out)
        w = s.wait_until(hwnd, lambda w: w["enabled"], what="the end of the upload", timeout=900, interval=1)
        ok = wintest.control(w, text="OK")
        done = any(c["visible"] and "\r\n" in c["text"] for c in w["children"])
        s.screenshot("done" if done else "failed", window=hwnd, directory=a.out)
        s.click_control(ok)
        code, report, _ = run.finish(timeout=120)
        print(f"Screenshots in {a.out}")
    if report:
        r = report
        print(f"Device received {r['image_bytes']} image bytes, {r['blocks_acked']} blocks acknowledged, "
              f"PUSK {'received' if r['pusk'] else 'not received'}, {r['extra_bytes']} bytes beyond the image.")
    print(f"zorvboot.exe ended with exit code {code}.")
    return 0 if code == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
