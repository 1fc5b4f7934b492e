#!/usr/bin/env bash
# The main job on its built-in default: builds the window program zorvboot.exe (the product,
# build/windows/app/zorvboot.exe), the flasher and the device simulator, starts the
# simulator on a pseudo-terminal and flashes the embedded firmware image into it with
# zorvflash (the full 1016-block upload, "PUSK", the 15-second pause, the completion text).
# Arguments are passed on to zorvflash (for example --pause 1). scripts/run-window.sh shows
# the window itself at work under wine.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh
cmake --preset native-release >/dev/null
cmake --build --preset native-release --target zorvflash zorvsim >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target zorvboot >/dev/null
echo "Built the window program: build/windows/app/zorvboot.exe"

build=build/native-release
work="$(mktemp -d)"
sim_pid=""
cleanup() {
  [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT

"$build/tools/zorvsim/zorvsim" --pty >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
pty=""
for _ in $(seq 1 100); do
  line="$(head -n 1 "$work/sim.out" 2>/dev/null || true)"
  if [[ "$line" == "PTY "* ]]; then pty="${line#PTY }"; break; fi
  sleep 0.05
done
[[ -n "$pty" ]] || { echo "main-job: the device simulator did not start" >&2; cat "$work/sim.err" >&2; exit 1; }

echo "Device simulator on $pty"
status=0
"$build/app/zorvflash" --port "$pty" "$@" || status=$?

# The simulator ends by itself shortly after "PUSK"; otherwise it is stopped here.
for _ in $(seq 1 40); do kill -0 "$sim_pid" 2>/dev/null || break; sleep 0.1; done
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
sim_pid=""

expected="$("$build/app/zorvflash" --image-info | sed -n 's/^sha256 //p')"
python3 - "$work/sim.out" "$expected" <<'PY'
import json, sys
report = next((json.loads(l[7:]) for l in open(sys.argv[1]) if l.startswith("REPORT ")), None)
if report is None:
    sys.exit("main-job: no report from the device simulator")
same = report["image_sha256"] == sys.argv[2]
print(f"Device received {report['image_bytes']} image bytes "
      f"({'the embedded image' if same else 'NOT the embedded image'}), "
      f"{report['blocks_acked']} blocks acknowledged, PUSK {'received' if report['pusk'] else 'not received'}, "
      f"{report['extra_bytes']} bytes beyond the image.")
PY
exit "$status"
