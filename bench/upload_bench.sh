#!/usr/bin/env bash
# Upload benchmarks (figures, not tests):
#   1. full uploads against the simulator, unpaced, natively and under wine, one write per
#      image byte (as the window writes) and one write per block (--block-writes), beside
#      the time of the same number of one-byte writes on the same kind of line measured in
#      the same run;
#   2. the same paced at the line rate as a USB-serial adapter behaves, as a ratio to the
#      line-time floor (260,096 image bytes plus 2,034 acknowledgement bytes at 10 bits per
#      byte and 38462 baud: 68.2 s), one write per byte and one write per block;
#   3. the flasher's CPU time per image byte.
# With --baseline REV the flasher of that git revision is built as well (native release
# and Windows, in a temporary worktree with build directories of its own) and runs the
# same uploads against the same simulator in the same run: the figures side by side.
# Usage: bench/upload_bench.sh [--no-paced] [--no-wine] [--baseline REV]
set -euo pipefail
cd "$(dirname "$0")/.."
root="$(pwd)"

paced=1 wine=1 baseline=""
while [[ $# -gt 0 ]]; do
  case "$1" in
    --no-paced) paced=0; shift ;;
    --no-wine) wine=0; shift ;;
    --baseline)
      [[ $# -ge 2 ]] || { echo "$0: --baseline needs a revision" >&2; exit 64; }
      baseline="$2"; shift 2 ;;
    *) echo "usage: $0 [--no-paced] [--no-wine] [--baseline REV]" >&2; exit 64 ;;
  esac
done
if [[ -n "$baseline" ]]; then
  baseline_commit="$(git rev-parse --verify --quiet "$baseline^{commit}")" ||
    { echo "$0: no such revision: $baseline" >&2; exit 64; }
fi

scripts/bootstrap.sh
work="$(mktemp -d)"
base_tree=""
cleanup() {
  if [[ -n "$base_tree" ]]; then git -C "$root" worktree remove --force "$base_tree" >/dev/null 2>&1 || true; fi
  rm -rf "$work"
}
trap cleanup EXIT

cmake --preset native-release >/dev/null
cmake --build --preset native-release --target zorvflash zorvsim bench_line_writes >/dev/null
rel=build/native-release
sim="$rel/tools/zorvsim/zorvsim"
win=build/windows
if ((wine)); then
  cmake --preset windows >/dev/null
  cmake --build --preset windows --target zorvflash bench_line_writes zorvsim_tool >/dev/null
fi

# The flashers compared: "now" is this tree's; "base" the baseline revision's.
declare -A native_flasher wine_flasher
native_flasher[now]="$rel/app/zorvflash"
wine_flasher[now]="$win/app/zorvflash.exe"
labels=(now)
if [[ -n "$baseline" ]]; then
  echo "== building the baseline ${baseline} (${baseline_commit:0:12})"
  base_tree="$work/baseline"
  git worktree add --detach "$base_tree" "$baseline_commit" >/dev/null 2>&1
  (cd "$base_tree" && cmake --preset native-release >/dev/null &&
     cmake --build --preset native-release --target zorvflash >/dev/null)
  native_flasher[base]="$base_tree/build/native-release/app/zorvflash"
  if ((wine)); then
    (cd "$base_tree" && cmake --preset windows >/dev/null && cmake --build --preset windows --target zorvflash >/dev/null)
    wine_flasher[base]="$base_tree/build/windows/app/zorvflash.exe"
  fi
  labels+=(base)
fi

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

# Under wine, the flasher on COM7 mapped to the simulator's pty.
with_wine_sim() {
  local sim_args=()
  while [[ "$1" != "--" ]]; do sim_args+=(--sim-arg "$1"); shift; done
  shift
  bash tools/wine-com.sh --prefix "$win/wineprefix-bench" --com 7 --sim "$win/host-tools/zorvsim" "${sim_args[@]}" \
    -- "$@" >"$work/out" 2>&1 || true
}

upload_seconds() { sed -n 's/^stats: .*upload \([0-9.]*\) s.*/\1/p' "$work/out"; }
cpu_per_byte() { sed -n 's/^stats: .* \([0-9.]*\) us cpu per image byte/\1/p' "$work/out"; }
write_seconds() { sed -n 's/^line-writes: .* in \([0-9.]*\) s.*/\1/p' "$work/out"; }
# The figure of a run, or "-" when the run gave none (a failed upload, a flasher without
# the option).
figure() { local v; v="$("$@")"; echo "${v:--}"; }
floor=$(python3 -c 'print(f"{(260096 + 2034) * 10 / 38462:.1f}")')
ratio() { [[ "$1" == "-" ]] && echo "-" || python3 -c "print(f'{$1 / $floor:.3f}')"; }
# Whether a flasher knows --block-writes (a baseline may be older).
has_block_writes() { "$@" --help 2>/dev/null | grep -q -- '--block-writes'; }

declare -A fig
# both_ways KEY FLASHER RUN...: an upload by RUN (a simulator runner, its arguments and the
# flasher with its port) with one write per byte, and again with --block-writes when
# FLASHER knows the option; the figures go to fig[KEY], fig[KEY_cpu], fig[KEY_block] and
# fig[KEY_block_cpu] ("-" when not run).
both_ways() {
  local key=$1 knows=$2
  shift 2
  "$@" --pause 0 --quiet --stats
  fig[$key]=$(figure upload_seconds); fig[${key}_cpu]=$(figure cpu_per_byte)
  fig[${key}_block]="-" fig[${key}_block_cpu]="-"
  if has_block_writes "$knows"; then
    "$@" --pause 0 --quiet --stats --block-writes
    fig[${key}_block]=$(figure upload_seconds); fig[${key}_block_cpu]=$(figure cpu_per_byte)
  fi
}
echo "== native (release build)"
for l in "${labels[@]}"; do
  f="${native_flasher[$l]}"
  both_ways "$l.native" "$f" with_sim -- "$f" --port PTY
done
with_sim -- "$rel/bench/bench_line_writes" --port PTY
native_writes=$(figure write_seconds)
echo "unpaced upload ${fig[now.native]} s, one write per block ${fig[now.native_block]} s;" \
     "260,098 one-byte writes ${native_writes} s;" \
     "flasher CPU ${fig[now.native_cpu]} / ${fig[now.native_block_cpu]} us per image byte"

if ((paced)); then
  for l in "${labels[@]}"; do
    f="${native_flasher[$l]}"
    both_ways "$l.paced" "$f" with_sim --pace usb -- "$f" --port PTY
  done
  echo "paced (USB adapter) upload ${fig[now.paced]} s (ratio $(ratio "${fig[now.paced]}")), one write per block" \
       "${fig[now.paced_block]} s (ratio $(ratio "${fig[now.paced_block]}")); floor ${floor} s"
fi

if ((wine)); then
  echo "== windows (under wine)"
  for l in "${labels[@]}"; do
    # The Windows flasher's help comes through wine; the native one of the same tree tells.
    both_ways "$l.wine" "${native_flasher[$l]}" with_wine_sim -- "${wine_flasher[$l]}" --port COM7
  done
  with_wine_sim -- "$win/bench/bench_line_writes.exe" --port COM7
  wine_writes=$(figure write_seconds)
  echo "unpaced upload ${fig[now.wine]} s, one write per block ${fig[now.wine_block]} s;" \
       "260,098 one-byte writes ${wine_writes} s;" \
       "flasher CPU ${fig[now.wine_cpu]} / ${fig[now.wine_block_cpu]} us per image byte (wine process)"
fi

if [[ -n "$baseline" ]]; then
  echo "== before (${baseline}) and after (this tree), upload seconds"
  printf '%-44s %12s %12s\n' "run" "before" "after"
  row() { printf '%-44s %12s %12s\n' "$1" "${fig[base.$2]:--}" "${fig[now.$2]:--}"; }
  row "native, unpaced, one write per byte" native
  row "native, unpaced, one write per block" native_block
  if ((paced)); then
    row "native, paced (USB adapter), per byte" paced
    row "native, paced (USB adapter), per block" paced_block
    printf '%-44s %12s %12s\n' "  ratio to the ${floor}-s floor, per byte" "$(ratio "${fig[base.paced]}")" \
      "$(ratio "${fig[now.paced]}")"
  fi
  if ((wine)); then
    row "wine, unpaced, one write per byte" wine
    row "wine, unpaced, one write per block" wine_block
  fi
fi
