#!/usr/bin/env bash
# Shows the window program at work: builds zorvboot.exe and the device simulator, starts the
# simulator on a pseudo-terminal mapped to COM7 of a wine prefix of its own, and runs the
# program under wine. On your X display (DISPLAY set and answering) you operate the window
# yourself; without one the window runs on an Xvfb of its own and is driven with real clicks
# (port, "Записать", the completion, "OK"), leaving a screenshot of each screen in
# build/window-run/. Arguments go to tools/run_window.py (--auto: drive it even when a
# display is there; --out DIR: where the screenshots go).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/bootstrap.sh
cmake --preset native-release >/dev/null
cmake --build --preset native-release --target zorvsim >/dev/null
cmake --preset windows >/dev/null
cmake --build --preset windows --target zorvboot windriver >/dev/null

exec python3 tools/run_window.py --build build/windows \
  --sim build/native-release/tools/zorvsim/zorvsim "$@"
