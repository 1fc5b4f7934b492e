#!/usr/bin/env python3
"""The window test machinery on a small sample window (tests/support/sample_window.cpp):
real clicks, a real choice in a drop-down list and typed keys reach the program; windriver
reads places, texts (Cyrillic set through W calls, and what an A call makes of Windows-1251
bytes under en_US), the progress position and the focus; a capture shows the colour of a
painted square; a window that is busy does not answer a sent message, and answers once let
go; WM_CLOSE ends it. Also: windriver's usage answers, a program run by hand through the
wrapper gets a display of its own (never the caller's), and a program run in the background
by tools/wine-com.sh against the simulator is driven and stopped.

Environment (set by the build): ZORV_SAMPLE_WINDOW, ZORV_WINDRIVER, ZORV_ZORVSIM and what
zorv_window_tests() gives (ZORV_WINE_RUN, ZORV_XSERVER_DIR, ZORV_BUILD_DIR)."""
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
import wintest  # noqa: E402
from wintest import control, centre  # noqa: E402

SAMPLE = os.environ.get("ZORV_SAMPLE_WINDOW", "")
TITLE = "Проба окна"
SQUARE = (320, 20, 380, 80)       # client coordinates of the painted square
SQUARE_RGB = (0x20, 0x60, 0xC0)


class SampleWindow(unittest.TestCase):
    def setUp(self):
        self.s = wintest.Session()
        self.addCleanup(self.s.stop_all)
        self.tmp = tempfile.mkdtemp(prefix="zorv-window-test.")
        self.addCleanup(shutil.rmtree, self.tmp, True)

    def test_driven_as_a_user_and_read_back(self):
        s = self.s
        hold = os.path.join(self.tmp, "let-go")
        p = s.start(SAMPLE, "--hold", wintest.wine_path(hold))
        p.wait_line("^READY$")
        w = s.list(s.find(TITLE, wait=60))

        # Places: controls where they were created, relative to the client area.
        cl, ct = w["client"][:2]
        button = control(w, id=101)
        self.assertEqual(button["rect"], [cl + 20, ct + 20, cl + 130, ct + 48])
        edit = control(w, cls="Edit")
        self.assertEqual(edit["rect"], [cl + 20, ct + 70, cl + 300, ct + 94])

        # Texts through W calls read back right under en_US; an A call's cp1251 bytes do not.
        self.assertEqual(w["title"], TITLE)
        self.assertEqual(button["text"], "Записать")
        self.assertEqual(control(w, id=105)["text"], "Статус: готов")
        self.assertEqual(control(w, id=106)["text"], "Ìàìà")

        progress = control(w, cls="msctls_progress32")
        self.assertEqual(progress["progress"], {"pos": 75, "min": 0, "max": 200})
        combo = control(w, cls="ComboBox")
        self.assertEqual(combo["combo"], {"items": ["COM1", "COM3", "Порт 7"], "index": 0, "dropped": False})

        # The painted square's colour, by a capture of the screen.
        x, y = cl + (SQUARE[0] + SQUARE[2]) // 2, ct + (SQUARE[1] + SQUARE[3]) // 2
        self.assertEqual(s.pixel(x, y), SQUARE_RGB)
        shot = s.screenshot("sample", window=w, directory=self.tmp)
        width, height, rgb = wintest.read_png(shot)
        left, top, right, bottom = w["rect"]
        self.assertEqual((width, height), (right - left, bottom - top))
        i = 3 * ((y - top) * width + (x - left))
        self.assertEqual(tuple(rgb[i:i + 3]), SQUARE_RGB)

        # A real choice in the drop-down list reaches CBN_SELCHANGE with that item.
        s.choose_combo_item(combo, "Порт 7")
        p.wait_line("^SELCHANGE ")
        self.assertEqual(p.lines[-1], "SELCHANGE 2 Порт 7")
        s.wait_until(w, lambda w: control(w, cls="ComboBox")["combo"]["index"] == 2
                     and not control(w, cls="ComboBox")["combo"]["dropped"], "the choice")

        # Keys typed reach the edit once a click has given it the focus.
        s.click_control(edit)
        s.type_text("zorv 42")
        s.key("BackSpace")
        w = s.wait_until(w, lambda w: control(w, cls="Edit")["text"] == "zorv 4", "the typed text")
        self.assertTrue(control(w, cls="Edit")["focused"])
        self.assertEqual(w["focus"], control(w, cls="Edit")["hwnd"])

        # A click on the button reaches its WM_COMMAND; inside it the program is busy and
        # does not answer a sent message until let go.
        self.assertTrue(s.ping(w, 5000)["answered"])
        s.click_control(button)
        p.wait_line("^BUTTON$")
        busy = s.ping(w, 500)
        self.assertFalse(busy["answered"], busy)
        self.assertGreaterEqual(busy["ms"], 400)
        open(hold, "w").close()
        answer = s.ping(w, 60000)
        self.assertTrue(answer["answered"], answer)
        s.wait_until(w, lambda w: control(w, cls="msctls_progress32")["progress"]["pos"] == 200, "the full bar")

        # WM_CLOSE as a task manager's close: the program ends with 20 + its one click.
        s.close(w)
        p.wait_line("^CLOSE$")
        self.assertEqual(p.wait(60), 21)

    def test_windriver_usage_and_absent_windows(self):
        s = self.s

        def run(*args):
            return wintest.run_short(s.wine_run, s.windriver_exe, *args, env=s.env())

        code, out, _ = run("--help")
        self.assertEqual(code, 0)
        for command in ("find", "list", "item", "ping", "capture", "close"):
            self.assertIn(f"\n  {command} ", out)
        started = time.monotonic()
        code, out, err = run("find", "--title", "Нет такого окна", "--wait", "1")
        self.assertEqual(code, 1, err)
        self.assertGreaterEqual(time.monotonic() - started, 1.0)
        self.assertIn("Нет такого окна", err)
        self.assertEqual(run("list", "--hwnd", "0x7ffffff0")[0], 1)
        self.assertEqual(run("close", "--hwnd", "12abc")[0], 2)
        self.assertEqual(run("capture", "--rect", "5000", "5000", "5", "5")[0], 1)
        code, out, _ = run("capture", "--rect", "-5", "-5", "10", "10", "--pixel", "0", "0", "--pixel", "-1", "-1")
        self.assertEqual(code, 0)
        self.assertIn('"rect":[0,0,5,5]', out)
        self.assertIn('{"x":-1,"y":-1,"rgb":null}', out)

    def test_by_hand_a_program_gets_a_display_of_its_own(self):
        # No recorded server, the caller's DISPLAY pointing elsewhere: the wrapper starts a
        # server for the one program and stops it afterwards.
        env = dict(self.s.env())
        env.pop("ZORV_DISPLAY")
        env["ZORV_XSERVER_DIR"] = os.path.join(self.tmp, "no-server")
        env["DISPLAY"] = ":4242"
        r = subprocess.run([self.s.wine_run, SAMPLE, "--quit"], env=env, stdin=subprocess.DEVNULL,
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=120)
        out = r.stdout.decode("utf-8", "replace").splitlines()
        self.assertEqual(r.returncode, 20, (out, r.stderr))
        self.assertEqual(out[0], "READY")
        display = out[1].split(" ", 1)[1]
        self.assertRegex(display, r"^:\d+$")
        self.assertNotIn(display, (":4242", self.s.display))
        self.assertFalse(os.path.exists(f"/tmp/.X11-unix/X{display[1:]}"), "the private server was not stopped")

    def test_in_the_background_against_the_simulator(self):
        s = self.s
        prefix = os.path.join(os.environ.get("ZORV_BUILD_DIR", self.tmp), "wineprefix-windows-com")
        sim = os.environ["ZORV_ZORVSIM"]

        run = s.start_com(SAMPLE, prefix=prefix, sim=sim, com=5, timeout=120)
        self.assertEqual(run.wait_started(), "COM5")
        run.wait_line("^READY$")
        w = s.find(TITLE, wait=60)
        self.assertEqual(w["pid"], s.list(w)["pid"])
        s.close(w)
        code, report, lines = run.finish(120)
        self.assertEqual(code, 20, lines)
        self.assertIsNotNone(report, lines)
        self.assertEqual(lines[-1][:7], "REPORT ")

        # A test that gives up: TERM ends the program, and the report still comes.
        run = s.start_com(SAMPLE, prefix=prefix, sim=sim, com=5, timeout=120)
        run.wait_started()
        run.wait_line("^READY$")
        run.proc.terminate()
        code, report, lines = run.finish(60)
        self.assertEqual(code, 143, lines)
        self.assertIsNotNone(report, lines)
        self.assertNotIn("CLOSE", lines)


if __name__ == "__main__":
    unittest.main()
