#!/usr/bin/env bash
# Benchmarks of the flasher's production options (figures, not tests):
#   1. eight devices at once (--all), each simulator paced as a USB-serial adapter at the
#      line rate: the whole run beside one device's paced upload in the same benchmark run
#      and beside the slowest port's own upload inside the --all run; the CPU time of all
#      the flasher's processes per image byte; the peak memory of each port's process;
#   2. what the line trace (--trace) costs: one device's upload with and without it, paced
#      and unpaced.
# One write per image byte (the default, as the window writes) unless --block-writes is
# given. With --separate, only the comparison: the same devices flashed by as many flashers
# of one port each, started side by side (how it is done without --all). Native release.
# Usage: bench/all_ports_bench.sh [--ports N] [--block-writes] [--no-paced] [--unpaced-runs N] [--separate]
set -euo pipefail
cd "$(dirname "$0")/.."

ports=8 paced=1 runs=3 writes=() separate=0
while [[ $# -gt 0 ]]; do
  case "$1" in
    --ports) ports="$2"; shift 2 ;;
    --block-writes) writes=(--block-writes); shift ;;
    --no-paced) paced=0; shift ;;
    --unpaced-runs) runs="$2"; shift 2 ;;
    --separate) separate=1; shift ;;
    *) echo "usage: $0 [--ports N] [--block-writes] [--no-paced] [--unpaced-runs N] [--separate]" >&2; exit 64 ;;
  esac
done

scripts/bootstrap.sh
cmake --preset native-release >/dev/null
cmake --build --preset native-release --target zorvflash zorvsim >/dev/null
rel=build/native-release
flasher="$rel/app/zorvflash"
sim="$rel/tools/zorvsim/zorvsim"
work="$(mktemp -d)"
sims=()
stop_sims() {
  local p
  for p in "${sims[@]}"; do kill "$p" 2>/dev/null || true; done
  for p in "${sims[@]}"; do wait "$p" 2>/dev/null || true; done
  sims=()
}
trap 'stop_sims; rm -rf "$work"' EXIT

# Starts N simulators with the given arguments; their ptys in $ptys, comma-separated.
start_sims() {
  local n=$1 i pty
  shift
  ptys=""
  for i in $(seq 1 "$n"); do
    "$sim" --pty "$@" >"$work/sim$i.out" 2>/dev/null &
    sims+=($!)
    pty=""
    for _ in $(seq 1 100); do
      pty="$(sed -n 's/^PTY //p' "$work/sim$i.out" | head -n 1)"
      [[ -n "$pty" ]] && break
      sleep 0.05
    done
    ptys+="${ptys:+,}$pty"
  done
}

field() { sed -n "s/^stats: .*$1 \([0-9.]*\) .*/\1/p" "$work/out" | head -n 1; }
upload() { sed -n 's/^stats: .*upload \([0-9.]*\) s.*/\1/p' "$work/out"; }
ratio() { python3 -c "print(f'{$1 / $2:.3f}')"; }
median() { printf '%s\n' "$@" | sort -n | awk '{a[NR]=$1} END {print a[int((NR + 1) / 2)]}'; }

if ((separate)); then
  echo "== ${ports} devices, a flasher of one port each side by side, paced (${writes[*]:-one write per byte})"
  start_sims "$ports" --pace usb
  start=$(date +%s.%N)
  pids=()
  i=0
  for p in ${ptys//,/ }; do
    i=$((i + 1))
    "$flasher" --port "$p" --pause 0 --quiet --stats "${writes[@]}" >"$work/out$i" 2>&1 &
    pids+=($!)
  done
  wait "${pids[@]}" || true
  end=$(date +%s.%N)
  stop_sims
  cat "$work"/out* | grep '^stats:' | sed -n 's/^stats: .*upload \([0-9.]*\) s.*/\1/p' | sort -n | tr '\n' ' ' |
    sed 's/^/uploads (s): /'
  echo
  echo "all ${ports} done after $(python3 -c "print(f'{$end - $start:.3f}')") s"
  exit 0
fi

if ((paced)); then
  echo "== ${ports} devices at once, paced as USB adapters (${writes[*]:-one write per byte})"
  start_sims 1 --pace usb
  "$flasher" --port "$ptys" --pause 0 --quiet --stats "${writes[@]}" >"$work/out" 2>&1 || true
  stop_sims
  single=$(upload)
  echo "one device alone: upload ${single} s"
  start_sims "$ports" --pace usb
  "$flasher" --port "$ptys" --all --pause 0 --quiet --stats "${writes[@]}" >"$work/out" 2>&1 || true
  stop_sims
  grep '^stats:' "$work/out"
  run=$(sed -n 's/^stats: .* run \([0-9.]*\) s.*/\1/p' "$work/out")
  slowest=$(sed -n 's/^stats: .* to \([0-9.]*\) s (pause excluded).*/\1/p' "$work/out")
  flashed=$(grep -c ' flashed ' "$work/out" || true)
  echo "flashed ${flashed} of ${ports}; the whole run ${run} s: $(ratio "$run" "$single") of one device alone," \
       "$(ratio "$run" "$slowest") of the slowest port's own upload (${slowest} s)"
  echo "cpu of all processes per image byte: $(sed -n 's/^stats: .*, \([0-9.]*\) us cpu per image byte.*/\1/p' "$work/out") us;" \
       "peak memory of a port's process: $(sed -n 's/^stats: .*port.s process \(.*\) MiB$/\1/p' "$work/out") MiB"

  echo "== the trace's cost, one device paced"
  start_sims 1 --pace usb
  "$flasher" --port "$ptys" --pause 0 --quiet --stats "${writes[@]}" >"$work/out" 2>&1 || true
  stop_sims
  without=$(upload)
  start_sims 1 --pace usb
  "$flasher" --port "$ptys" --pause 0 --quiet --stats --trace "$work/trace" "${writes[@]}" >"$work/out" 2>&1 || true
  stop_sims
  with=$(upload)
  echo "paced upload ${without} s without the trace, ${with} s with it: ratio $(ratio "$with" "$without");" \
       "trace $(stat -c %s "$work/trace") bytes"
fi

echo "== the trace's cost, one device unpaced (median of ${runs} runs each)"
without=() with=()
for _ in $(seq 1 "$runs"); do
  start_sims 1
  "$flasher" --port "$ptys" --pause 0 --quiet --stats "${writes[@]}" >"$work/out" 2>&1 || true
  stop_sims
  without+=("$(upload)")
  start_sims 1
  "$flasher" --port "$ptys" --pause 0 --quiet --stats --trace "$work/trace" "${writes[@]}" >"$work/out" 2>&1 || true
  stop_sims
  with+=("$(upload)")
done
w=$(median "${without[@]}") t=$(median "${with[@]}")
echo "unpaced upload ${w} s without the trace (${without[*]}), ${t} s with it (${with[*]}): ratio $(ratio "$t" "$w")"
