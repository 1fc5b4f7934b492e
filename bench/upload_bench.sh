#!/usr/bin/env bash
# Upload benchmarks (figures, not tests):
#   1. a full upload against the simulator paced at the line rate as a USB-serial adapter
#      behaves, as a ratio to the line-time floor (260,096 image bytes plus 2,034
#      acknowledgement bytes at 10 bits per byte and 38462 baud: 68.2 s);
#   2. the same unpaced, natively and under wine, beside the time of the same number of
#      one-byte writes on the same kind of line measured in the same run;
#   3. the flasher's CPU time per image byte.
# Usage: bench/upload_bench.sh [--no-paced] [--no-wine]
set -euo pipefail
cd "$(dirname "$0")/.."

paced=1 wine=1
for a in "$@"; do
  case "$a" in
    --no-paced) paced=0 ;;
    --no-wine) wine=0 ;;
    *) echo "usage: $0 [--no-paced] [--no-wine]" >&2; exit 64 ;;
  esac
done

scripts/bootstrap.sh
cmake --preset native-release >/dev/null
cmake --build --preset native-release --target zorvflash zorvsim bench_line_writes >/dev/null
rel=build/native-release
sim="$rel/tools/zorvsim/zorvsim"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# Runs the simulator with the given arguments, then "$@" after "--" with PTY replaced by
# the simulator's pty; leaves the program's output in $work/out and the report in $work/report.
with_sim() {
  local args=()
  while [[ "$1" != "--" ]]; do args+=("$1"); shift; done
  shift
  "$sim" --pty "${args[@]}" >"$work/sim.out" 2>/dev/null &
  local pid=$! pty=""
  for _ in $(seq 1 100); do
    pty="$(sed -n 's/^PTY //p' "$work/sim.out" | head -n 1)"
    [[ -n "$pty" ]] && break
    sleep 0.05
  done
  local cmd=()
  for c in "$@"; do cmd+=("${c//PTY/$pty}"); done
  "${cmd[@]}" >"$work/out" 2>&1 || true
  kill "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
  grep '^REPORT ' "$work/sim.out" >"$work/report" || true
}

upload_seconds() { sed -n 's/^stats: .*upload \([0-9.]*\) s.*/\1/p' "$work/out"; }
cpu_per_byte() { sed -n 's/^stats: .* \([0-9.]*\) us cpu per image byte/\1/p' "$work/out"; }
write_seconds() { sed -n 's/^line-writes: .* in \([0-9.]*\) s.*/\1/p' "$work/out"; }
floor=$(python3 -c 'print(f"{(260096 + 2034) * 10 / 38462:.1f}")')

echo "== native (release build)"
with_sim -- "$rel/app/zorvflash" --port PTY --pause 0 --quiet --stats
native_upload=$(upload_seconds); native_cpu=$(cpu_per_byte)
with_sim -- "$rel/bench/bench_line_writes" --port PTY
native_writes=$(write_seconds)
echo "unpaced upload ${native_upload} s; 260,098 one-byte writes ${native_writes} s; flasher CPU ${native_cpu} us per image byte"

if ((paced)); then
  with_sim --pace usb -- "$rel/app/zorvflash" --port PTY --pause 0 --quiet --stats
  paced_upload=$(upload_seconds)
  echo "paced (USB adapter) upload ${paced_upload} s; floor ${floor} s; ratio $(python3 -c "print(f'{$paced_upload / $floor:.3f}')")"
fi

if ((wine)); then
  echo "== windows (under wine)"
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target zorvflash bench_line_writes zorvsim_tool >/dev/null
  win=build/windows
  prefix="$win/wineprefix-bench"
  bash tools/wine-com.sh --prefix "$prefix" --com 7 --sim "$win/host-tools/zorvsim" -- \
    "$win/app/zorvflash.exe" --port COM7 --pause 0 --quiet --stats >"$work/out" 2>&1 || true
  wine_upload=$(upload_seconds); wine_cpu=$(cpu_per_byte)
  bash tools/wine-com.sh --prefix "$prefix" --com 7 --sim "$win/host-tools/zorvsim" -- \
    "$win/bench/bench_line_writes.exe" --port COM7 >"$work/out" 2>&1 || true
  wine_writes=$(write_seconds)
  echo "unpaced upload ${wine_upload} s; 260,098 one-byte writes ${wine_writes} s; flasher CPU ${wine_cpu} us per image byte (wine process)"
fi
