#!/usr/bin/env python3
"""The shell pieces under the window tests, without wine: the prefix settings that every
prefix gets once (older prefixes too, and again when the server did not save them), and
the X server record (start, display, stop; a stale or foreign record is never obeyed), and
the ports that wine-com.sh maps."""
import os
import shutil
import subprocess
import tempfile
import textwrap
import unittest

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
PREFIX_SH = os.path.join(ROOT, "tools", "wine-prefix.sh")
XSERVER_SH = os.path.join(ROOT, "tools", "xserver.sh")
WINE_COM_SH = os.path.join(ROOT, "tools", "wine-com.sh")

SAVED = ('[Software\\\\Wine\\\\X11 Driver] 1700000000\n#time=1\n"Decorated"="N"\n"Managed"="N"\n\n'
         '[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\ThemeManager] 1700000000\n#time=1\n'
         '"DllName"=""\n"ThemeActive"="0"\n')


class PrefixSettings(unittest.TestCase):
    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="zorv-prefix-test.")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.prefix = os.path.join(self.tmp, "prefix")
        os.makedirs(self.prefix)
        open(os.path.join(self.prefix, ".zorv-ready"), "w").close()
        self.calls = os.path.join(self.tmp, "calls")
        # A stand-in for wine: records its arguments; "saves" the registry when asked to.
        self.wine = os.path.join(self.tmp, "wine")
        with open(self.wine, "w") as f:
            f.write(textwrap.dedent(f"""\
                #!/bin/bash
                echo "$*" >> {self.calls}
                if [[ -e {self.tmp}/saves ]] && ! grep -q 'X11 Driver' "$WINEPREFIX/user.reg" 2>/dev/null; then
                  printf '%s' '{SAVED}' >> "$WINEPREFIX/user.reg"
                fi
                """))
        os.chmod(self.wine, 0o755)

    def ensure(self):
        subprocess.run(["bash", "-c", f'source "{PREFIX_SH}"; zorv_ensure_prefix "{self.wine}" /bin/true'],
                       env=dict(os.environ, WINEPREFIX=self.prefix), check=True)
        if not os.path.exists(self.calls):
            return []
        with open(self.calls) as f:
            calls = f.read().splitlines()
        os.remove(self.calls)
        return calls

    def marker(self):
        try:
            with open(os.path.join(self.prefix, ".zorv-settings")) as f:
                return f.read().strip()
        except FileNotFoundError:
            return None

    def test_an_older_prefix_gets_the_settings_once(self):
        with open(os.path.join(self.prefix, "user.reg"), "w") as f:
            f.write('WINE REGISTRY Version 2\n\n[Software\\\\Wine\\\\Other] 1\n"Managed"="N"\n')
        open(os.path.join(self.tmp, "saves"), "w").close()
        calls = self.ensure()
        self.assertEqual(len(calls), 4, calls)
        self.assertIn("/v Managed /t REG_SZ /d N", calls[0])
        self.assertIn("/v Decorated /t REG_SZ /d N", calls[1])
        self.assertIn("ThemeManager /v ThemeActive /t REG_SZ /d 0", calls[2])
        self.assertIn("ThemeManager /v DllName /t REG_SZ /d", calls[3])
        self.assertEqual(self.marker(), "2")
        self.assertEqual(self.ensure(), [], "applied again although the marker is current")

    def test_settings_not_yet_saved_are_written_again_next_time(self):
        self.assertEqual(len(self.ensure()), 4)
        self.assertIsNone(self.marker(), "marker written before the registry held the settings")
        self.assertEqual(len(self.ensure()), 4)
        # Saved meanwhile (the server wrote its registry): only the marker is written.
        with open(os.path.join(self.prefix, "user.reg"), "w") as f:
            f.write(SAVED)
        self.assertEqual(self.ensure(), [])
        self.assertEqual(self.marker(), "2")

    def test_a_prefix_of_the_first_settings_gets_the_classic_look(self):
        with open(os.path.join(self.prefix, ".zorv-settings"), "w") as f:
            f.write("1\n")
        with open(os.path.join(self.prefix, "user.reg"), "w") as f:
            f.write(SAVED.split("\n\n")[0] + "\n")
        open(os.path.join(self.tmp, "saves"), "w").close()
        calls = self.ensure()
        self.assertTrue(any("ThemeActive" in c for c in calls), calls)


class XServerRecord(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.mkdtemp(prefix="zorv-xserver-test.")
        self.addCleanup(shutil.rmtree, self.dir, True)
        self.addCleanup(self.run_sh, "stop", self.dir)

    def run_sh(self, *args):
        return subprocess.run(["bash", XSERVER_SH, *args], stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                              text=True, timeout=60)

    def test_start_display_stop(self):
        started = self.run_sh("start", self.dir)
        self.assertEqual(started.returncode, 0, started.stderr)
        display = started.stdout.strip()
        self.assertRegex(display, r"^:\d+$")
        self.assertEqual(self.run_sh("display", self.dir).stdout.strip(), display)
        self.assertTrue(os.path.exists(f"/tmp/.X11-unix/X{display[1:]}"))
        self.assertEqual(self.run_sh("stop", self.dir).returncode, 0)
        self.assertEqual(self.run_sh("display", self.dir).returncode, 1)
        self.assertFalse(os.path.exists(os.path.join(self.dir, "pid")))

    def test_a_record_of_another_process_is_neither_obeyed_nor_killed(self):
        other = subprocess.Popen(["sleep", "60"])
        self.addCleanup(other.kill)
        with open(os.path.join(self.dir, "pid"), "w") as f:
            f.write(f"{other.pid} 12345\n")  # the right pid, another start time
        with open(os.path.join(self.dir, "display"), "w") as f:
            f.write(":0\n")
        self.assertEqual(self.run_sh("display", self.dir).returncode, 1)
        self.assertEqual(self.run_sh("stop", self.dir).returncode, 0)
        self.assertIsNone(other.poll(), "stop killed a process it did not start")
        self.assertFalse(os.path.exists(os.path.join(self.dir, "display")))

    def test_run_gives_the_command_a_server_of_its_own(self):
        r = subprocess.run(["bash", XSERVER_SH, "run", "--", "bash", "-c", 'echo "$DISPLAY"; exit 7'],
                           env=dict(os.environ, DISPLAY=":4242"), stdout=subprocess.PIPE, text=True, timeout=60)
        self.assertEqual(r.returncode, 7)
        display = r.stdout.strip()
        self.assertRegex(display, r"^:\d+$")
        self.assertNotEqual(display, ":4242")


class WineComPorts(unittest.TestCase):
    """wine-com.sh with stand-ins for wine, its server and the simulator: the port table it
    writes (stable links of the prefix's own, pointed at each run's ports), kept while it
    holds the ports wanted, the set-up steps that fail retried and then reported with wine's
    words, and the further ports (--map) it refuses before touching anything."""

    def setUp(self):
        self.tmp = tempfile.mkdtemp(prefix="zorv-wine-com-test.")
        self.addCleanup(shutil.rmtree, self.tmp, True)
        self.prefix = os.path.join(self.tmp, "prefix")
        os.makedirs(self.prefix)
        for marker, text in ((".zorv-ready", ""), (".zorv-settings", "2\n")):
            with open(os.path.join(self.prefix, marker), "w") as f:
                f.write(text)
        self.calls = os.path.join(self.tmp, "calls")
        self.refusals = os.path.join(self.tmp, "refusals")  # how many "reg add" calls fail
        # The stand-in for wine records its arguments and keeps HKLM\Software\Wine\Ports in
        # system.reg as wine's server saves it.
        wine = r"""
            echo "$*" >> CALLS
            reg="$WINEPREFIX/system.reg"
            if [[ "$1 $2" == "reg delete" ]]; then rm -f "$reg"; fi
            if [[ "$1 $2" == "reg add" && "$3" == 'HKLM\Software\Wine\Ports' ]]; then
              left=$(cat REFUSALS 2>/dev/null || echo 0)
              if (( left > 0 )); then echo $((left - 1)) > REFUSALS; echo "reg: access denied"; exit 1; fi
              [[ -f "$reg" ]] || printf '%s\n#time=1\n' '[Software\\Wine\\Ports] 1' > "$reg"
              printf '"%s"="%s"\n' "$5" "$9" >> "$reg"
            fi"""
        wine = textwrap.dedent(wine).replace("CALLS", self.calls).replace("REFUSALS", self.refusals)
        self.stand_ins = {}
        for name, body in (("wine", wine), ("wineserver", "exit 0"),
                           ("sim", 'echo "PTY /dev/null"; trap \'echo "REPORT {}"; exit 0\' TERM; '
                                   'while :; do sleep 0.05; done')):
            path = os.path.join(self.tmp, name)
            with open(path, "w") as f:
                f.write("#!/bin/bash\n" + body + "\n")
            os.chmod(path, 0o755)
            self.stand_ins[name] = path

    def run_com(self, *options):
        if os.path.exists(self.calls):
            os.remove(self.calls)
        env = dict(os.environ, ZORV_WINE=self.stand_ins["wine"], ZORV_WINESERVER=self.stand_ins["wineserver"])
        r = subprocess.run(["bash", WINE_COM_SH, "--prefix", self.prefix, "--sim", self.stand_ins["sim"],
                            "--com", "7", *options, "--", "prog.exe"],
                           env=env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, stderr=subprocess.PIPE,
                           text=True, timeout=60)
        calls = []
        if os.path.exists(self.calls):
            with open(self.calls) as f:
                calls = f.read().splitlines()
        return r, calls

    def link(self, n):
        return os.path.join(self.prefix, ".zorv-com", f"COM{n}")

    def table_writes(self, calls):
        return [c for c in calls if c.startswith("reg add HKLM\\Software\\Wine\\Ports")]

    def expected_writes(self, *numbers):
        return [f"reg add HKLM\\Software\\Wine\\Ports /v COM{n} /t REG_SZ /d {self.link(n)} /f" for n in numbers]

    def test_further_ports_are_mapped_beside_the_simulators_through_links(self):
        r, calls = self.run_com("--map", "3=/tmp/not-a-port", "--map", "12=/dev/null")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(self.table_writes(calls), self.expected_writes(3, 7, 12))
        self.assertEqual(os.readlink(self.link(7)), "/dev/null")  # the simulator's pty
        self.assertEqual(os.readlink(self.link(3)), "/tmp/not-a-port")
        self.assertEqual(calls[-1], "prog.exe")
        self.assertIn("REPORT {}", r.stdout)

    def test_the_table_is_written_again_only_when_the_ports_change(self):
        for options, writes in ((("--map", "3=/tmp/a"), (3, 7)), (("--map", "3=/tmp/b"), ()),
                                ((), (7,)), ((), ())):
            r, calls = self.run_com(*options)
            self.assertEqual(r.returncode, 0, r.stderr)
            self.assertEqual(self.table_writes(calls), self.expected_writes(*writes), options)
            self.assertEqual(calls[-1], "prog.exe")
        self.assertEqual(os.readlink(self.link(3)), "/tmp/b")  # the link moved, the table stayed

    def test_a_failing_table_write_is_retried_then_reported_with_wines_words(self):
        with open(self.refusals, "w") as f:
            f.write("2")
        r, calls = self.run_com()
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(len(self.table_writes(calls)), 3)
        self.assertIn("attempt 2 of 3", r.stderr)
        with open(self.refusals, "w") as f:
            f.write("9")
        r, calls = self.run_com("--map", "3=/tmp/a")
        self.assertEqual(r.returncode, 125)
        self.assertIn("set-up failed: writing COM3 into the port table", r.stderr)
        self.assertIn("reg: access denied", r.stderr)
        self.assertNotIn("prog.exe", calls)

    def test_a_second_simulator_gets_its_port_and_its_report_line(self):
        r, calls = self.run_com("--sim2", "8", "--sim2-arg", "--no-vers-reply", "--map", "3=/tmp/not-a-port")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertEqual(self.table_writes(calls), self.expected_writes(3, 7, 8))
        lines = r.stdout.splitlines()
        self.assertEqual([l for l in lines if l.startswith("REPORT")], ["REPORT {}", "REPORT2 {}"])

    def test_a_bad_second_simulator_port_is_refused_before_anything_runs(self):
        for options in (("--sim2", "7"), ("--sim2", "0"), ("--sim2", "256"), ("--sim2", "COM8"),
                        ("--sim2", "8", "--map", "8=/dev/null")):
            r, calls = self.run_com(*options)
            self.assertEqual(r.returncode, 125, options)
            self.assertEqual(calls, [], options)

    def test_a_bad_further_port_is_refused_before_anything_runs(self):
        for bad in ("7=/dev/null", "0=/dev/null", "256=/dev/null", "3=relative/path", "3", "COM3=/dev/null"):
            r, calls = self.run_com("--map", bad)
            self.assertEqual(r.returncode, 125, bad)
            self.assertIn("bad --map", r.stderr)
            self.assertEqual(calls, [], bad)


if __name__ == "__main__":
    unittest.main()
