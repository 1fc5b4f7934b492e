#!/usr/bin/env python3
"""The window program under wine as an operator uses it, against the device simulator.

zorvboot.exe runs through tools/wine-com.sh with a COM port mapped to zorvsim's
pseudo-terminal; the tests read its window with windriver and act on it with real mouse
clicks through the X server (the port is chosen in the open drop-down list). What the device
received comes from the simulator's report; its events have times on the steady clock
(clock_start), which the tests compare with when a screen changed.

Each test is one operator's session: the start screen, the whole upload with its completion
screen, the faults of the device (each through the window: the failure screen, no "PUSK",
never a completion screen, "OK" ends the program) and closes from outside during the upload
and during the completion pause. The tests leave screenshots of the five screens in
ZORV_SCREENSHOT_DIR (the build's screenshots/ folder; docs/ keeps the committed ones).

Run one with: zorvboot_window_test.py WindowProgram.test_full_upload
Environment: ZORVBOOT, ZORV_ZORVSIM, ZORV_IMAGE_INFO, ZORV_IMAGE_BIN, ZORV_WINDOW_PREFIX,
ZORV_SCREENSHOT_DIR, and what zorv_window_tests() gives (ZORV_WINE_RUN, ZORV_XSERVER_DIR,
ZORV_BUILD_DIR)."""
import os
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.dirname(os.path.abspath(__file__))), "support"))
import wintest  # noqa: E402

TITLE = "Zorvantique bootloader"
COM = 7
PORT = f"COM{COM}"

PROMPT = "Выберите порт с подключённым устройством."
NOT_FOUND = "На этом порту устройств не найдено."
DEVICE_TEXT = "Устройство: TPX2   Текущая версия ПО: 6.0"
DONE_TEXT = (" " * 29 + "ПО успешно обновлено!\r\n" + " " * 24 + "Сбросьте настройки по умолчанию!")

# The form's child controls in their creation order (windriver lists children in z-order,
# which for controls that never change it is the creation order): name, class, text.
CONTROLS = [
    ("ErrorLine1", "obj_STATIC", "Ошибка при передаче данных!"),
    ("ErrorLine2", "obj_STATIC", "Проверьте все соединения и попробуйте ещё раз."),
    ("WriteButton", "obj_BUTTON", "Записать"),
    ("StatusField", "obj_EDIT", PROMPT),
    ("PortList", "obj_COMBOBOX", ""),
    ("Progress", "obj_msctls_progress32", ""),
    ("VersionLabel", "obj_STATIC", "Версия ПО для обновления:6.1 (TPX2_MPX2)"),
    ("ChecksumField", "obj_EDIT", "FFFF"),
    ("ReceivedCrcLabel", "obj_STATIC", "CRC принятый:"),
    ("CrcLabel", "obj_STATIC", "CRC:"),
    ("OkButton", "obj_BUTTON", "OK"),
    ("DoneText", "obj_STATIC", DONE_TEXT),
    ("ErrorPicture", "obj_STATIC", ""),
]
NAMES = [n for n, _, _ in CONTROLS]

# Left, top, width, height in the form's client area; None where the size follows the text
# (labels that size themselves) or the system (the visible box of a drop-down combo box).
PLACES = {
    "WriteButton": (5, 50, 85, 30),
    "StatusField": (110, 10, 320, 25),
    "PortList": (10, 10, 85, None),
    "Progress": (5, 90, 600, 30),
    "VersionLabel": (110, 55, None, None),
    "ChecksumField": (45, 145, 85, 25),
    "ReceivedCrcLabel": (140, 150, None, None),
    "CrcLabel": (10, 150, None, None),
    "OkButton": (245, 60, 115, 30),
    "DoneText": (5, 0, 502, 59),
    "ErrorPicture": (145, 3, 15, 14),
}
FORM_RECT = [200, 200, 816, 362]

CAPTIONS = {"ReceivedCrcLabel", "CrcLabel"}
START = {"PortList", "StatusField", "WriteButton", "VersionLabel", "Progress"} | CAPTIONS
SCREENS = {
    "start": START,
    "identified": START,
    "uploading": START,
    "done": {"DoneText", "OkButton"} | CAPTIONS,
    "failed": {"ErrorLine1", "ErrorLine2", "ErrorPicture", "OkButton"} | CAPTIONS,
}
# Every control but the hidden checksum field is a "shown" one on some screen.
SHOWN_ANYWHERE = set().union(*SCREENS.values())


def env_path(name):
    value = os.environ.get(name, "")
    if not value:
        raise unittest.SkipTest(f"{name} is not set (run through ctest)")
    return value


def controls(window):
    """The form's controls by name, checked against the creation order and classes (the
    error picture, the one text control without text, is found wherever it stacks)."""
    kids = [c for c in window.get("children", []) if c["parent"] == window["hwnd"]]
    got = [(c["class"], c["id"], c["text"][:12]) for c in kids]
    pictures = [c for c in kids if c["class"] == "obj_STATIC" and c["text"] == ""]
    others = [c for c in kids if c not in pictures]
    if len(pictures) != 1 or [c["class"] for c in others] != [cls for _, cls, _ in CONTROLS[:-1]]:
        raise wintest.WinTestError(f"the form's controls are not those of the program: {got}")
    return dict(zip(NAMES, others + pictures))


def place(window, ctrl):
    """left, top, width, height of a control in the form's client area."""
    cl, ct = window["client"][:2]
    left, top, right, bottom = ctrl["rect"]
    return (left - cl, top - ct, right - left, bottom - top)


def shown(window):
    return {n for n, c in controls(window).items() if c["visible"]}


class Watch:
    """Lists the window until a condition holds. Remembers when the poll that saw it began
    and when the poll before it began: the change happened between those two instants on
    the steady clock (time.monotonic, the simulator's clock too)."""

    def __init__(self, session, window):
        self.s = session
        self.hwnd = window["hwnd"]
        self.samples = []  # (time the poll began, its JSON)

    def poll(self):
        began = time.monotonic()
        w = self.s.windriver("list", "--hwnd", self.hwnd, check=False)
        if w is not None:
            self.samples.append((began, w))
        return began, w

    def until(self, condition, what, timeout, interval=0.1):
        deadline = time.monotonic() + timeout
        before = time.monotonic()
        last = None
        while True:
            began, w = self.poll()
            if w is not None:
                last = w
                if condition(w):
                    return w, before, time.monotonic()
            before = began
            if time.monotonic() >= deadline:
                raise wintest.WinTestError(f"{what} did not come within {timeout} s; last seen: "
                                           + wintest.json.dumps(last, ensure_ascii=False)[:3000])
            time.sleep(interval)


class WindowProgram(unittest.TestCase):
    def setUp(self):
        self.exe = env_path("ZORVBOOT")
        self.sim = env_path("ZORV_ZORVSIM")
        self.image = env_path("ZORV_IMAGE_BIN")
        with open(env_path("ZORV_IMAGE_INFO")) as f:
            info = dict(line.split(" ", 1) for line in f.read().splitlines() if " " in line)
        self.image_sha = info["sha256"]
        self.image_size = int(info["size"])
        self.prefix = env_path("ZORV_WINDOW_PREFIX")
        self.shots = os.environ.get("ZORV_SCREENSHOT_DIR") or tempfile.mkdtemp(prefix="zorvboot-shots.")
        self.s = wintest.Session()
        self.addCleanup(self.s.stop_all)
        self.run_ = None

    # -- the session

    def start(self, *sim_args, maps=(), linger_ms=None, timeout=400):
        args = list(sim_args) + ["--image", self.image]
        if linger_ms is not None:
            args += ["--linger", linger_ms]
        self.run_ = self.s.start_com(self.exe, prefix=self.prefix, sim=self.sim, sim_args=args, com=COM,
                                     timeout=timeout, maps=maps)
        self.assertEqual(self.run_.wait_started(180), PORT)
        # The application window shares the form's title, with no area: until the form is
        # shown, it is the one found.
        deadline = time.monotonic() + 120
        try:
            found = self.s.find(TITLE, wait=120)
            while found["class"] != "obj_Form" and time.monotonic() < deadline:
                time.sleep(0.2)
                found = self.s.find(TITLE, wait=120)
        except wintest.WinTestError as e:
            raise wintest.WinTestError(f"{e}\nthe run (exit status {self.run_.proc.poll()}): {self.run_.lines!r} "
                                       f"{self.run_.err[-20:]!r}") from None
        self.assertEqual(found["class"], "obj_Form")

        def ready(w):
            # Found by its title, the form may still be making its controls.
            kids = [c for c in w.get("children", []) if c["parent"] == w["hwnd"]]
            return len(kids) == len(NAMES) and w["visible"] and PORT in controls(w)["PortList"]["combo"]["items"]
        w = self.s.wait_until(found, ready, "the port list", timeout=60)
        return w, Watch(self.s, w)

    def finish(self, timeout=60):
        """Waits for the program's end: (exit status, the simulator's report)."""
        code, report, lines = self.run_.finish(timeout)
        self.assertIsNotNone(report, lines)
        self.lines = lines
        return code, report

    def identify(self, w, watch, expect=DEVICE_TEXT):
        """Chooses the port in the open drop-down list as an operator does; waits for the
        status field's answer and returns the window then."""
        self.s.choose_combo_item(controls(w)["PortList"], PORT)
        w, _, _ = watch.until(lambda w: controls(w)["StatusField"]["text"] != PROMPT, "the device's answer", 60)
        self.assertEqual(controls(w)["StatusField"]["text"], expect)
        if expect != NOT_FOUND:
            # The text comes first, then the port list is disabled and the button enabled.
            w, _, _ = watch.until(lambda w: controls(w)["WriteButton"]["enabled"], "the enabled button", 30)
            watch.until(lambda w: not controls(w)["PortList"]["enabled"], "the disabled port list", 30)
            w = self.s.list(w)
        return w

    def write(self, w, watch, may_end=False):
        """Clicks "Записать"; returns the window once it is disabled for the upload. With
        may_end, an upload that a fault ends within a few blocks may already be over by the
        first look: its end screen (the "OK" button) counts as well."""
        c = controls(w)
        self.assertTrue(c["WriteButton"]["enabled"])
        self.s.click_control(c["WriteButton"])
        w, _, _ = watch.until(lambda w: not w["enabled"] or (may_end and controls(w)["OkButton"]["visible"]),
                              "the disabled window", 30)
        return w

    def progress(self, watch, pos, timeout=600):
        """The window once the bar reached pos; a failure screen on the way ends the test
        with what the device saw."""
        w, _, _ = watch.until(lambda w: controls(w)["Progress"]["progress"]["pos"] >= pos or w["enabled"],
                              f"progress {pos}", timeout, 1.0)
        if w["enabled"]:
            self.s.close(w)
            _, report = self.finish()
            report.pop("events")
            self.fail(f"the upload ended at block {controls(w)['Progress']['progress']['pos']}: "
                      f"{sorted(shown(w))}; the device: {report}")
        return w

    def click_ok(self, w):
        ok = controls(w)["OkButton"]
        self.assertTrue(ok["visible"] and ok["enabled"] and w["enabled"], w)
        self.s.click_control(ok)

    def settled(self, watch, screen, timeout=30):
        """The window once it shows the screen whole. A listing reads the controls one after
        another while the program changes them, so it may catch a screen half made."""
        w, _, _ = watch.until(lambda w: shown(w) == SCREENS[screen] and w["enabled"] == (screen != "uploading"),
                              f"the whole {screen} screen", timeout)
        return w

    def shot(self, name, w):
        self.s.screenshot(name, window=w, directory=self.shots)

    # -- what the tests expect

    def closed_before_the_upload(self, w, vers_queries=None):
        """Closes the window (WM_CLOSE, as its system menu does) before any upload: the
        program ends with 0 and the device got no image byte (and vers_queries "VERS")."""
        self.s.close(w)
        code, report = self.finish()
        self.assertEqual(code, 0, self.lines)
        if vers_queries is not None:
            self.assertEqual(report["vers_queries"], vers_queries)
        self.assertEqual(report["image_bytes"], 0)

    def assertPictureSeen(self, w):
        """The error picture is on the screen, not only visible: its red disc shows where it
        lies on the first error line."""
        left, top, right, bottom = controls(w)["ErrorPicture"]["rect"]
        with tempfile.TemporaryDirectory() as tmp:
            path = os.path.join(tmp, "picture.png")
            self.s.capture(rect=(left, top, right - left, bottom - top), out=path)
            _, _, rgb = wintest.read_png(path)
        red = sum(1 for i in range(0, len(rgb), 3) if rgb[i] > 120 and rgb[i + 1] < 80 and rgb[i + 2] < 80)
        self.assertGreater(red, 40, "the error picture's red disc is not on the screen")

    def assertScreen(self, w, screen):
        self.assertEqual(shown(w), SCREENS[screen], f"the {screen} screen")
        c = controls(w)
        for name in NAMES:
            expected = dict((n, t) for n, _, t in CONTROLS)[name]
            if name in ("StatusField", "PortList") and screen != "start":
                continue
            if name == "ChecksumField" and screen not in ("start", "identified"):
                continue
            self.assertEqual(c[name]["text"], expected, name)
        self.assertEqual(c["ChecksumField"]["visible"], False)
        if screen in ("start", "identified"):
            self.assertTrue(w["enabled"])
            self.assertEqual(c["WriteButton"]["enabled"], screen == "identified")
            self.assertEqual(c["PortList"]["enabled"], screen == "start")
        elif screen == "uploading":
            self.assertFalse(w["enabled"])
        else:
            self.assertTrue(w["enabled"], "the window is enabled again")
            self.assertTrue(c["OkButton"]["enabled"])

    def assertDevice(self, report, image_bytes=None, pusk=False):
        """What the device received: image bytes as in the image (no hole), nothing beyond
        the image or after "PUSK", and "PUSK" only when expected, as the last thing."""
        self.assertEqual(report["image_mismatch"], -1, "an image byte differs or a block has a hole")
        self.assertEqual(report["extra_bytes"], 0, "bytes beyond the image or after PUSK")
        self.assertEqual(report["stray_bytes"], 0)
        self.assertEqual(report["pusk"], pusk)
        if image_bytes is not None:
            self.assertEqual(report["image_bytes"], image_bytes)
        names = [e["event"] for e in report["events"]]
        if pusk:
            self.assertEqual(names.count("pusk"), 1)
            after = names[names.index("pusk") + 1:]
            self.assertTrue(set(after) <= {"exit", "after-pusk"}, f"after PUSK: {after}")

    def sim_time(self, report, event):
        """When the simulator's last event of that name happened, on the steady clock."""
        times = [e["t"] for e in report["events"] if e["event"] == event]
        self.assertTrue(times, f"no {event} event")
        return report["clock_start"] + times[-1]

    # -- the tests

    def test_start_screen(self):
        """Texts, places, the disabled "Записать", the hidden checksum field holding "FFFF",
        the port list holding the simulator's port and not one that cannot be opened."""
        unopenable = tempfile.mkdtemp(prefix="zorvboot-not-a-port.")
        self.addCleanup(os.rmdir, unopenable)
        w, watch = self.start(maps=[(3, unopenable)])
        self.assertEqual(w["title"], TITLE)
        self.assertEqual(w["rect"], FORM_RECT)
        self.assertScreen(w, "start")
        c = controls(w)
        for name, (left, top, width, height) in PLACES.items():
            got = place(w, c[name])
            self.assertEqual(got[:2], (left, top), name)
            if width is not None:
                self.assertEqual(got[2], width, name)
            if height is not None:
                self.assertEqual(got[3], height, name)
        # The visible box of the drop-down port list: the system's height for its font.
        self.assertTrue(18 <= place(w, c["PortList"])[3] <= 24, c["PortList"])
        for label in ("VersionLabel", "ReceivedCrcLabel", "CrcLabel"):
            self.assertGreater(place(w, c[label])[2], 0, label)
        # The checksum captions lie below the client area, as the program lays them out.
        client_height = w["client"][3] - w["client"][1]
        self.assertGreaterEqual(place(w, c["CrcLabel"])[1], client_height)
        combo = c["PortList"]["combo"]
        self.assertIn(PORT, combo["items"])
        self.assertNotIn("COM3", combo["items"], "a port that cannot be opened is listed")
        self.assertEqual(combo["index"], -1, "no port is chosen by itself")
        self.assertEqual(c["Progress"]["progress"], {"pos": 0, "min": 0, "max": 1015})
        self.shot("screen-start", w)

        # Closed by its system menu (WM_CLOSE) before any port was chosen.
        self.closed_before_the_upload(w, 0)

    def test_full_upload(self):
        """The whole upload: the device's text, the window disabled, the progress advancing
        to 1015, exactly the embedded image and then "PUSK" with nothing after it, the
        completion screen 15 s after the final acknowledgement while the window answers,
        and "OK" ends the program with exit code 0."""
        w, watch = self.start(linger_ms=120000)
        w = self.identify(w, watch)
        self.assertScreen(w, "identified")
        self.shot("screen-identified", w)

        w = self.write(w, watch)
        self.assertScreen(w, "uploading")
        w = self.progress(watch, 300)
        self.assertScreen(w, "uploading")
        self.shot("screen-uploading", w)
        w = self.progress(watch, 1015)
        positions = [controls(x)["Progress"]["progress"]["pos"] for _, x in watch.samples
                     if not x["enabled"] and shown(x) == SCREENS["uploading"]]
        self.assertEqual(positions, sorted(positions), "the progress went back")
        self.assertGreaterEqual(len(set(positions)), 3, positions)

        # The pause: the window is still disabled and answers sent messages.
        pings = []
        while not controls(w)["DoneText"]["visible"]:
            answer = self.s.ping(w, 5000)
            pings.append(answer)
            self.assertTrue(answer["answered"], answer)
            w, _, _ = watch.until(lambda w: True, "a listing", 30)
            if len(pings) >= 3:
                break
        w, before, seen = watch.until(lambda w: controls(w)["DoneText"]["visible"], "the completion screen", 60)
        w = self.settled(watch, "done")
        self.assertScreen(w, "done")
        self.assertEqual(controls(w)["Progress"]["progress"]["pos"], 1015)
        self.shot("screen-done", w)
        checksum = controls(w)["ChecksumField"]["text"]
        self.click_ok(w)
        code, report = self.finish()
        self.assertEqual(code, 0, self.lines)

        self.assertDevice(report, self.image_size, pusk=True)
        self.assertEqual(report["image_sha256"], self.image_sha)
        self.assertEqual(report["blocks_received"], 1016)
        self.assertEqual(checksum, report["image_crc"], "the checksum field's last text")
        final = self.sim_time(report, "final")
        self.assertLessEqual(final, self.sim_time(report, "pusk"))
        # Seen between the two polls' starts: that span must meet 14.5..20 s.
        self.assertGreaterEqual(seen - final, 14.5, (before - final, seen - final))
        self.assertLessEqual(before - final, 20.0, (before - final, seen - final))
        self.assertTrue(pings, "no ping during the pause")

    def test_lower_case_identifier(self):
        """A device that answers in lower case is identified; closed before the upload, the
        program ends and nothing of the image was sent."""
        w, watch = self.start("--ident-lower", "--name", "X1", "--version", "7.2")
        w = self.identify(w, watch, "Устройство: X1   Текущая версия ПО: 7.2")
        self.assertScreen(w, "identified")
        self.closed_before_the_upload(w, 1)

    def test_another_device(self):
        """Another device's reply: the not-found text, "Записать" stays disabled and the
        port list stays usable."""
        w, watch = self.start("--ident", "ZORVANTIQUEX")
        w = self.identify(w, watch, NOT_FOUND)
        time.sleep(1)
        w = self.s.list(w)
        c = controls(w)
        self.assertFalse(c["WriteButton"]["enabled"])
        self.assertTrue(c["PortList"]["enabled"])
        self.assertEqual(shown(w), SCREENS["start"])
        self.closed_before_the_upload(w)

    def test_silent_device(self):
        """A device that never answers "VERS": the window stays usable, "Записать" disabled."""
        w, watch = self.start("--no-vers-reply")
        self.s.choose_combo_item(controls(w)["PortList"], PORT)
        w, _, _ = watch.until(lambda w: controls(w)["PortList"]["combo"]["index"] >= 0, "the choice", 30)
        time.sleep(6)  # longer than any device takes to answer
        self.assertTrue(self.s.ping(w, 5000)["answered"])
        w = self.s.list(w)
        c = controls(w)
        self.assertTrue(w["enabled"])
        self.assertFalse(c["WriteButton"]["enabled"])
        self.assertTrue(c["PortList"]["enabled"])
        self.assertNotEqual(c["StatusField"]["text"], DEVICE_TEXT)
        self.assertEqual(shown(w), SCREENS["start"])
        self.closed_before_the_upload(w, 1)

    def failure(self, *sim_args, image_bytes=None, reply_window=None, screenshot=False, timeout=120,
                watch_past_pause=False):
        """One fault of the device during the upload, through the window: the failure screen,
        no completion screen (watched past the 15-s pause with watch_past_pause, where a
        completion could still come: a failure in or after the final block; otherwise for 3
        s), "OK" ends the program; the device got no "PUSK" and no image byte that differs
        or lies beyond the image."""
        w, watch = self.start(*sim_args, linger_ms=None)
        w = self.identify(w, watch)
        w = self.write(w, watch, may_end=True)
        w, before, seen = watch.until(lambda w: w["enabled"] or controls(w)["OkButton"]["visible"],
                                      "the end of the upload", timeout, 0.1)
        w = self.settled(watch, "failed")
        self.assertScreen(w, "failed")
        if screenshot:
            self.assertPictureSeen(w)
            self.shot("screen-failed", w)
        failed_at = (before, seen)
        # The failure screen stays (past the completion pause where it matters).
        end = time.monotonic() + (16 if watch_past_pause else 3)
        while time.monotonic() < end:
            w, _, _ = watch.until(lambda w: True, "a listing", 30)
            self.assertScreen(w, "failed")
            time.sleep(1)
        self.click_ok(w)
        code, report = self.finish()
        self.assertEqual(code, 0, self.lines)
        self.assertDevice(report, image_bytes, pusk=False)
        if reply_window is not None:
            low, high = reply_window
            last = self.sim_time(report, "ack")
            self.assertGreaterEqual(failed_at[1] - last, low, (failed_at[0] - last, failed_at[1] - last))
            self.assertLessEqual(failed_at[0] - last, high, (failed_at[0] - last, failed_at[1] - last))
        return report

    def test_wrong_checksum(self):
        self.failure("--bad-crc", 3, screenshot=True, watch_past_pause=True)

    def test_split_acknowledgement(self):
        self.failure("--split-ack", 3)

    def test_silence(self):
        """The device stops answering: the failure screen 2 to 4.5 s after its last reply."""
        self.failure("--silence-from", 5, reply_window=(2.0, 4.5))

    def test_hang_up(self):
        self.failure("--hangup", 20)

    def test_last_block_without_fz(self):
        """The whole image acknowledged without "FZ": nothing past the image, no "PUSK"."""
        report = self.failure("--no-final-fz", image_bytes=self.image_size, timeout=400, watch_past_pause=True)
        self.assertEqual(report["image_sha256"], self.image_sha)

    def test_wrong_bytes_in_the_final_block(self):
        self.failure("--blocks", 4, "--wrong-in", 4, "--split-gap", 0, watch_past_pause=True)

    def test_line_stuck_in_a_block(self):
        self.failure("--stall", 3)

    def test_early_fz(self):
        """"FZ" after block 10 ends the upload there: "PUSK", the completion screen. The
        device answers "PUSK" once more; nothing more is sent and the screen stays."""
        w, watch = self.start("--early-fz", 10, "--after-pusk", "crc", linger_ms=60000)
        w = self.identify(w, watch)
        w = self.write(w, watch)
        watch.until(lambda w: w["enabled"] or controls(w)["OkButton"]["visible"], "the end of the upload", 60, 0.2)
        w = self.settled(watch, "done")
        self.assertScreen(w, "done")
        time.sleep(2)
        self.assertScreen(self.s.list(w), "done")
        self.click_ok(w)
        code, report = self.finish()
        self.assertEqual(code, 0, self.lines)
        self.assertDevice(report, 2560, pusk=True)
        self.assertEqual(sum(1 for e in report["events"] if e["event"] == "after-pusk"), 1)

    def test_close_during_the_upload(self):
        """WM_CLOSE from outside while the window is disabled for the upload (as a task
        manager closes it): the program ends at once, without "PUSK" and without a hole."""
        w, watch = self.start("--pace", "usb", linger_ms=None)
        w = self.identify(w, watch)
        w = self.write(w, watch)
        self.progress(watch, 20)
        closed = time.monotonic()
        self.s.close(w)
        code, report = self.finish(60)
        ended = time.monotonic() - closed
        self.assertEqual(code, 0, self.lines)
        self.assertLess(ended, 30, "the program did not end soon after the close")
        self.assertDevice(report, pusk=False)
        self.assertLess(report["image_bytes"], self.image_size)

    def test_close_during_the_pause(self):
        """WM_CLOSE during the completion pause: the program ends (the close may wait for
        the pause's end), "PUSK" was sent once before the pause and nothing after it."""
        w, watch = self.start("--blocks", 3, linger_ms=120000)
        w = self.identify(w, watch)
        w = self.write(w, watch)
        # The upload is over when the device's final acknowledgement has moved the bar; the
        # window stays disabled through the pause.
        w, _, _ = watch.until(lambda w: controls(w)["Progress"]["progress"]["pos"] >= 2, "the final block", 60, 0.2)
        time.sleep(2)
        w = self.s.list(w)
        self.assertFalse(w["enabled"])
        self.assertScreen(w, "uploading")
        closed = time.monotonic()
        self.s.close(w)
        code, report = self.finish(60)
        ended = time.monotonic() - closed
        self.assertEqual(code, 0, self.lines)
        self.assertLess(ended, 30)
        self.assertDevice(report, 768, pusk=True)


if __name__ == "__main__":
    unittest.main()
