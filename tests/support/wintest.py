"""Window end-to-end tests under wine, driven as a user drives them.

Python 3 standard library only. A test makes a Session, starts its Windows program (through
the build's wine wrapper, or against the device simulator through tools/wine-com.sh), then
reads the program's windows with windriver (tools/windriver) and acts with real mouse
clicks and keys through the X server (xdotool). All of it happens on the test run's X
display (the fixture's Xvfb, recorded in ZORV_XSERVER_DIR), never the caller's DISPLAY;
run by hand with no display recorded, the session starts an Xvfb of its own.

    s = Session()                                   # from ZORV_WINE_RUN / ZORV_BUILD_DIR
    p = s.start(exe, "--arg")                       # a Program: lines, wait_line, wait, kill
    w = s.find("Title", wait=60)                    # the window's JSON (windriver find)
    w = s.list(w["hwnd"])                           # with "children"
    c = control(w, id=101) / control(w, cls="Edit") / control(w, text="Записать")
    s.click_control(c); s.type_text("abc"); s.key("BackSpace")
    s.choose_combo_item(c, "COM3")                  # the reliable drop-down procedure
    w = s.wait_until(w["hwnd"], lambda w: ..., what="...", timeout=60)
    s.pixel(x, y) -> (r, g, b); s.capture(...) -> JSON; s.screenshot("name", hwnd=...)
    s.ping(hwnd, timeout_ms) -> {"answered": bool, "ms": float}; s.close(hwnd)

    run = s.start_com(program, args, sim_args=[...], prefix=dir)   # against the simulator
    run.wait_started(); ... ; code, report, out = run.finish()

Every wait has a generous time-out and fails with what it saw last.
"""
import atexit
import json
import os
import queue
import re
import shutil
import struct
import subprocess
import tempfile
import threading
import time
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
XSERVER = os.path.join(ROOT, "tools", "xserver.sh")
WINE_COM = os.path.join(ROOT, "tools", "wine-com.sh")
DOCS = os.path.join(ROOT, "docs")


class WinTestError(AssertionError):
    pass


# ----------------------------------------------------------------------------- PNG

def read_png(path):
    """(width, height, rgb bytes) of an 8-bit RGB or RGBA PNG, any filter."""
    with open(path, "rb") as f:
        data = f.read()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise WinTestError(f"{path}: not a PNG")
    pos, idat, w = 8, b"", None
    while pos < len(data):
        n, kind = struct.unpack_from(">I4s", data, pos)
        body = data[pos + 8: pos + 8 + n]
        if kind == b"IHDR":
            w, h, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            if depth != 8 or colour not in (2, 6) or interlace:
                raise WinTestError(f"{path}: only 8-bit RGB(A) PNGs without interlace")
            bpp = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + n
    if w is None:
        raise WinTestError(f"{path}: no header")
    raw = zlib.decompress(idat)
    stride = w * bpp
    out, prev = bytearray(), bytearray(stride)
    for y in range(h):
        ftype, line = raw[y * (stride + 1)], bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - bpp] if i >= bpp else 0
            b, c = prev[i], prev[i - bpp] if i >= bpp else 0
            if ftype == 1:
                line[i] = (line[i] + a) & 0xFF
            elif ftype == 2:
                line[i] = (line[i] + b) & 0xFF
            elif ftype == 3:
                line[i] = (line[i] + (a + b) // 2) & 0xFF
            elif ftype == 4:
                p = a + b - c
                pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
                line[i] = (line[i] + (a if pa <= pb and pa <= pc else b if pb <= pc else c)) & 0xFF
        prev = line
        if bpp == 4:
            for x in range(w):
                out += line[4 * x: 4 * x + 3]
        else:
            out += line
    return w, h, bytes(out)


def write_png(path, w, h, rgb):
    """Writes an RGB PNG, compressed (each row filtered with "up", which suits screenshots)."""
    stride = 3 * w
    raw = bytearray()
    prev = bytes(stride)
    for y in range(h):
        row = rgb[y * stride:(y + 1) * stride]
        raw.append(2)
        raw += bytes((row[i] - prev[i]) & 0xFF for i in range(stride))
        prev = row

    def chunk(kind, body):
        return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body))

    png = (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 2, 0, 0, 0))
           + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(png)
    os.replace(tmp, path)


def wine_path(path):
    """The Windows form of an absolute Unix path (wine maps the root to Z:)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


# ----------------------------------------------------------------------------- windows' JSON

def control(window, id=None, cls=None, text=None):
    """The one child of a window's JSON (from list) that matches all given criteria."""
    found = [c for c in window.get("children", [])
             if (id is None or c["id"] == id)
             and (cls is None or c["class"].lower() == cls.lower())
             and (text is None or c["text"] == text)]
    if len(found) != 1:
        raise WinTestError(f"{len(found)} controls match id={id} class={cls} text={text!r}: "
                           + json.dumps([(c["id"], c["class"], c["text"]) for c in window.get("children", [])],
                                        ensure_ascii=False))
    return found[0]


def centre(rect):
    left, top, right, bottom = rect
    return (left + right) // 2, (top + bottom) // 2


# ----------------------------------------------------------------------------- programs

def run_short(*argv, env, timeout=120):
    """Runs a short wine program to its end: (exit status, output, errors). Its output goes to
    files, not pipes: a program that comes to the desktop first starts wine's desktop process,
    which keeps the descriptors it was given for as long as the desktop lives (while the
    program under test runs), so a pipe would not end with the short program."""
    with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
        r = subprocess.run([str(a) for a in argv], env=env, stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                           timeout=timeout)
        out.seek(0)
        err.seek(0)
        return r.returncode, out.read().decode("utf-8", "replace"), err.read().decode("utf-8", "replace")


class Program:
    """A program started in the background; its stdout lines are collected as they come."""

    def __init__(self, argv, env, stdin=subprocess.DEVNULL):
        self.argv = argv
        self.proc = subprocess.Popen(argv, env=env, stdin=stdin, stdout=subprocess.PIPE,
                                     stderr=subprocess.PIPE, start_new_session=True)
        self.lines = []
        self.err = []
        self._queue = queue.Queue()
        self._threads = [threading.Thread(target=self._read, args=(self.proc.stdout, self.lines, True), daemon=True),
                         threading.Thread(target=self._read, args=(self.proc.stderr, self.err, False), daemon=True)]
        for t in self._threads:
            t.start()

    def _read(self, stream, into, announce):
        for raw in stream:
            line = raw.decode("utf-8", "replace").rstrip("\r\n")
            into.append(line)
            if announce:
                self._queue.put(line)
        if announce:
            self._queue.put(None)

    def wait_line(self, pattern, timeout=60):
        """The first line not yet taken that matches the regular expression (searched)."""
        deadline = time.monotonic() + timeout
        while True:
            left = deadline - time.monotonic()
            if left <= 0:
                break
            try:
                line = self._queue.get(timeout=left)
            except queue.Empty:
                break
            if line is None:
                self._queue.put(None)
                break
            if re.search(pattern, line):
                return line
        raise WinTestError(f"no line matching {pattern!r} within {timeout} s; output so far: {self.lines!r}, "
                           f"errors: {self.err[-20:]!r}")

    def wait(self, timeout=60):
        """The exit status; kills the program (and its process group) when it outlives timeout."""
        try:
            code = self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            self.kill()
            raise WinTestError(f"{self.argv[-1]} did not end within {timeout} s; output: {self.lines!r}")
        self._drain()
        return code

    def kill(self):
        if self.proc.poll() is None:
            try:
                os.killpg(self.proc.pid, 15)
            except ProcessLookupError:
                pass
            try:
                self.proc.wait(timeout=20)
            except subprocess.TimeoutExpired:
                os.killpg(self.proc.pid, 9)
                self.proc.wait()
        self._drain()

    def _drain(self):
        # The readers end when every process holding the pipes has; wine's own background
        # processes never hold them (the wrappers start those with other descriptors).
        for t in self._threads:
            t.join(timeout=10)
        for stream in (self.proc.stdout, self.proc.stderr):
            if not stream.closed and not any(t.is_alive() for t in self._threads):
                stream.close()


class ComRun(Program):
    """A program run by tools/wine-com.sh against the device simulator, in the background."""

    def __init__(self, argv, env, started_file, prefix):
        super().__init__(argv, env)
        self.started_file = started_file
        self.prefix = prefix

    def wait_started(self, timeout=120):
        """Waits until the port is mapped and the program is being started; returns the COM name."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if os.path.exists(self.started_file):
                with open(self.started_file) as f:
                    return f.read().split()[0]
            if self.proc.poll() is not None:
                break
            time.sleep(0.1)
        raise WinTestError(f"wine-com.sh did not start the program: {self.lines!r} {self.err[-20:]!r}")

    def finish(self, timeout=300):
        """(exit status, the simulator's report as a dict or None, the output lines)."""
        code = self.wait(timeout)
        report = None
        for line in self.lines:
            if line.startswith("REPORT {"):
                report = json.loads(line[len("REPORT "):])
        return code, report, list(self.lines)


# ----------------------------------------------------------------------------- the session

class Session:
    """One test's access to wine, windriver and the X display."""

    def __init__(self, build_dir=None, prefix=None):
        self.build_dir = build_dir or os.environ.get("ZORV_BUILD_DIR")
        self.wine_run = os.environ.get("ZORV_WINE_RUN") or (self.build_dir and os.path.join(self.build_dir, "wine-run"))
        if not self.wine_run or not os.access(self.wine_run, os.X_OK):
            raise WinTestError("no wine wrapper: set ZORV_WINE_RUN or ZORV_BUILD_DIR")
        if not self.build_dir:
            self.build_dir = os.path.dirname(self.wine_run)
        self.windriver_exe = os.environ.get("ZORV_WINDRIVER") or os.path.join(self.build_dir, "tools", "windriver.exe")
        self.prefix = prefix
        self.display = self._display()
        self._programs = []

    def _display(self):
        xdir = os.environ.get("ZORV_XSERVER_DIR") or os.path.join(self.build_dir, "xserver")
        r = subprocess.run(["bash", XSERVER, "display", xdir], stdout=subprocess.PIPE, text=True)
        if r.returncode == 0 and r.stdout.strip():
            return r.stdout.strip()
        # Run by hand without the fixture: a server for this session alone.
        private = tempfile.mkdtemp(prefix="zorv-wintest-x.")
        r = subprocess.run(["bash", XSERVER, "start", private], stdout=subprocess.PIPE, text=True)
        if r.returncode != 0:
            raise WinTestError("cannot start an X server")

        def stop():
            subprocess.run(["bash", XSERVER, "stop", private])
            shutil.rmtree(private, ignore_errors=True)
        atexit.register(stop)
        return r.stdout.strip()

    def env(self, prefix=None):
        """The environment for wine and xdotool: our display, en_US.UTF-8, our prefix."""
        e = dict(os.environ)
        e.pop("LC_ALL", None)
        e["LANG"] = "en_US.UTF-8"
        e["DISPLAY"] = self.display
        e["ZORV_DISPLAY"] = self.display
        prefix = prefix or self.prefix
        if prefix:
            e["ZORV_WINEPREFIX"] = prefix
        return e

    # -- programs

    def start(self, exe, *args):
        """Starts a Windows program through the wine wrapper, in the background."""
        p = Program([self.wine_run, exe, *map(str, args)], self.env())
        self._programs.append(p)
        return p

    def start_com(self, exe, *args, prefix, sim, sim_args=(), com=9, shim=None, timeout=300, link=None,
                  maps=()):
        """Starts a Windows program under tools/wine-com.sh with a COM port wired to the
        simulator, in the background, on a prefix of its own (its wineserver is restarted).
        maps: further (number, unix path) ports to map. windriver calls then go to that
        prefix until the run is finished."""
        work = tempfile.mkdtemp(prefix="zorv-wintest-com.")
        atexit.register(shutil.rmtree, work, True)
        started = os.path.join(work, "started")
        argv = ["bash", WINE_COM, "--prefix", prefix, "--com", str(com), "--sim", sim,
                "--display", self.display, "--started", started, "--timeout", str(timeout)]
        for a in sim_args:
            argv += ["--sim-arg", str(a)]
        if shim:
            argv += ["--shim", shim]
        if link:
            argv += ["--link", link]
        for number, path in maps:
            argv += ["--map", f"{number}={path}"]
        argv += ["--", exe, *map(str, args)]
        run = ComRun(argv, self.env(), started, prefix)
        self._programs.append(run)
        self.prefix = prefix
        return run

    def stop_all(self):
        for p in self._programs:
            p.kill()

    # -- windriver

    def windriver(self, *args, check=True, timeout=120):
        """Runs windriver with the arguments; returns its JSON (None when it printed none)."""
        code, out, err = run_short(self.wine_run, self.windriver_exe, *args, env=self.env(), timeout=timeout)
        out = out.strip()
        if check and code != 0:
            raise WinTestError(f"windriver {' '.join(map(str, args))}: exit {code}: {out} {err.strip()}")
        return json.loads(out.splitlines()[-1]) if out else None

    @staticmethod
    def _target(window):
        if isinstance(window, str):
            return ["--title", window]
        if isinstance(window, dict):
            window = window["hwnd"]
        return ["--hwnd", str(window)]

    # windriver's own wait ends before the call's bound, so that a window that never came is
    # reported by windriver, with the windows it saw, rather than by a killed call.
    def find(self, title, wait=60):
        return self.windriver("find", "--title", title, "--wait", wait, timeout=wait + 60)

    def list(self, window, wait=0):
        return self.windriver("list", *self._target(window), "--wait", wait, timeout=wait + 120)

    def ping(self, window, timeout_ms=5000):
        return self.windriver("ping", *self._target(window), "--timeout", timeout_ms, check=False)

    def close(self, window):
        return self.windriver("close", *self._target(window))

    def wait_until(self, window, condition, what="the condition", timeout=60, interval=0.2):
        """Lists the window until condition(json) holds; returns that JSON."""
        deadline = time.monotonic() + timeout
        last = None
        while True:
            last = self.windriver("list", *self._target(window), check=False)
            if last is not None and condition(last):
                return last
            if time.monotonic() >= deadline:
                raise WinTestError(f"{what} did not come within {timeout} s; last seen: "
                                   + json.dumps(last, ensure_ascii=False))
            time.sleep(interval)

    # -- the X server: mouse and keys

    def xdotool(self, *args):
        r = subprocess.run(["xdotool", *map(str, args)], env=self.env(), stdout=subprocess.PIPE,
                           stderr=subprocess.PIPE, timeout=30)
        if r.returncode != 0:
            raise WinTestError(f"xdotool {' '.join(map(str, args))}: {r.stderr.decode(errors='replace')}")
        return r.stdout.decode(errors="replace")

    def mouse_at(self):
        out = self.xdotool("getmouselocation", "--shell")
        v = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(v["X"]), int(v["Y"])

    def move(self, x, y):
        # "mousemove --sync" waits for the pointer to move: to where it already is, forever.
        if self.mouse_at() != (x, y):
            self.xdotool("mousemove", "--sync", x, y)

    def click(self, x, y, button=1):
        self.move(x, y)
        self.xdotool("click", button)

    def click_control(self, ctrl):
        self.click(*centre(ctrl["rect"]))

    def key(self, *keys):
        """X key names, e.g. "Return", "BackSpace", "ctrl+a"."""
        self.xdotool("key", "--delay", 60, *keys)

    def type_text(self, text):
        self.xdotool("type", "--delay", 60, text)

    def choose_combo_item(self, combo, item, timeout=30):
        """Chooses an item of a drop-down combo box by a real click in its open list: click 8
        pixels in from the box's right edge at its vertical centre, wait until its list
        window is visible, move to the centre of the item's rectangle, wait 0.15 s, click."""
        items = combo.get("combo", {}).get("items")
        if items is None:
            raise WinTestError(f"not a combo box: {combo!r}")
        if item not in items:
            raise WinTestError(f"{item!r} is not among {items!r}")
        index = items.index(item)
        left, top, right, bottom = combo["rect"]
        self.click(right - 8, (top + bottom) // 2)
        opened = self.windriver("item", "--hwnd", combo["hwnd"], "--index", index, "--wait", timeout, check=False)
        if not opened or not opened.get("visible") or "rect" not in opened:
            raise WinTestError(f"the drop-down list did not open: {opened!r}")
        self.move(*centre(opened["rect"]))
        time.sleep(0.15)
        self.xdotool("click", 1)

    # -- pictures

    def capture(self, window=None, rect=None, pixels=(), out=None):
        """windriver capture: the screen, a window's rectangle, or rect=(x, y, w, h)."""
        args = ["capture"]
        if rect is not None:
            args += ["--rect", *rect]
        elif window is not None:
            args += self._target(window)
        if out:
            args += ["--out", wine_path(out)]
        for x, y in pixels:
            args += ["--pixel", x, y]
        return self.windriver(*args)

    def pixel(self, x, y):
        rgb = self.capture(rect=(x, y, 1, 1), pixels=[(x, y)])["pixels"][0]["rgb"]
        return tuple(rgb)

    def screenshot(self, name, window=None, directory=DOCS):
        """Captures the screen or a window into <directory>/<name>.png (compressed)."""
        os.makedirs(directory, exist_ok=True)
        with tempfile.TemporaryDirectory() as tmp:
            raw = os.path.join(tmp, "shot.png")
            self.capture(window=window, out=raw)
            w, h, rgb = read_png(raw)
        path = os.path.join(directory, name + ".png")
        write_png(path, w, h, rgb)
        return path
