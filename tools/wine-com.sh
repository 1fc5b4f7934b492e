#!/usr/bin/env bash
# Runs a Windows program under wine with a COM port wired to the device simulator.
#
#   tools/wine-com.sh [options] -- PROGRAM [ARGS...]
#
#   --prefix DIR     wine prefix to use (default $ZORV_WINEPREFIX); created when missing.
#                    Its wineserver is restarted when the port table changes: give a
#                    prefix of its own, not one that other programs use at the same
#                    time. Runs on one prefix take turns.
#   --com N          COM number to map, 1..255 (default 9)
#   --sim PATH       the simulator (default $ZORV_ZORVSIM)
#   --sim-arg ARG    one argument for the simulator (repeatable), e.g. --sim-arg --echo
#   --link PATH      have the simulator make this stable link to its pty and map the link
#   --map N=PATH     also map COMn to PATH (repeatable): a test of the port list maps ports
#                    whose device is missing or cannot be opened
#   --sim2 N         also start a second simulator and map COMn to its pty (a test of the
#                    flasher's port detection); its REPORT line is printed as REPORT2
#   --sim2-arg ARG   one argument for the second simulator (repeatable)
#   --sim-at N       also start a simulator for COMn (repeatable, one per port: a test of
#                    several ports at once); its REPORT line is printed as REPORT@N
#   --sim-at-arg N=ARG  one argument for the simulator of COMn (repeatable)
#   --shim PATH      preload this shared object into the program (the pty modem-line shim)
#   --timeout SEC    end the program after this many seconds (default 300)
#   --display D      X display for wine (a window program); without it wine gets none,
#                    whatever DISPLAY says
#   --started FILE   write "COMn <pty>" to FILE once the port is mapped, just before the
#                    program starts: a test that runs this script in the background and
#                    drives the program's windows (through this prefix) waits for it
#   --sim-wait SEC   after the program, give the simulator this long to end by itself
#                    (for example by its --idle-exit) before it is stopped (default 0)
#
# The simulator is started with --pty and the arguments given; the port value
# HKLM\Software\Wine\Ports\COMn maps a stable link of the prefix's own, pointed at its pty
# (or the --link given); when the table in the registry is not already the one wanted, it
# is written and the prefix's wineserver restarted so that wine maps the ports. The program
# runs with ZORV_COM=COMn and ZORV_PTY=<path> in its environment. Then the simulator is
# stopped and its REPORT line printed. The exit status is the program's (124 when it timed
# out; 125 when the run could not be set up: a wine set-up step that failed three times,
# with wine's own message). Ended by SIGTERM or SIGINT, it ends the program, the simulator
# and the prefix's wineserver, prints the REPORT line it has and exits with 143 or 130.
set -u

prefix="${ZORV_WINEPREFIX:-}"
com=9
sim="${ZORV_ZORVSIM:-}"
sim_args=()
link=""
shim=""
timeout_s=300
display=""
started=""
sim_wait=0
maps=()
sim2_com=""
sim2_args=()
# Further simulators: their COM numbers in order, and their arguments as N=ARG.
more_coms=()
more_args=()

usage() { awk 'NR > 1 && !/^#/ { exit } NR > 1 { sub(/^# ?/, ""); print }' "$0" >&2; exit 125; }
while [[ $# -gt 0 ]]; do
  case "$1" in
    --prefix) prefix="$2"; shift 2 ;;
    --com) com="$2"; shift 2 ;;
    --sim) sim="$2"; shift 2 ;;
    --sim-arg) sim_args+=("$2"); shift 2 ;;
    --link) link="$2"; shift 2 ;;
    --map) maps+=("$2"); shift 2 ;;
    --sim2) sim2_com="$2"; shift 2 ;;
    --sim2-arg) sim2_args+=("$2"); shift 2 ;;
    --sim-at) more_coms+=("$2"); shift 2 ;;
    --sim-at-arg) more_args+=("$2"); shift 2 ;;
    --shim) shim="$2"; shift 2 ;;
    --timeout) timeout_s="$2"; shift 2 ;;
    --display) display="$2"; shift 2 ;;
    --started) started="$2"; shift 2 ;;
    --sim-wait) sim_wait="$2"; shift 2 ;;
    --) shift; break ;;
    -h|--help) usage ;;
    *) echo "wine-com: unknown option $1" >&2; usage ;;
  esac
done
[[ $# -ge 1 ]] || { echo "wine-com: no program given" >&2; usage; }
[[ -n "$prefix" ]] || { echo "wine-com: no prefix (--prefix or ZORV_WINEPREFIX)" >&2; exit 125; }
# Wine takes only absolute prefix paths.
prefix="$(realpath -m "$prefix")"
[[ -x "$sim" ]] || { echo "wine-com: no simulator at '$sim'" >&2; exit 125; }
[[ "$com" =~ ^[1-9][0-9]{0,2}$ && "$com" -le 255 ]] || { echo "wine-com: bad COM number $com" >&2; exit 125; }
[[ -z "$shim" || -f "$shim" ]] || { echo "wine-com: no shim at $shim" >&2; exit 125; }
[[ "$sim_wait" =~ ^[0-9]+$ ]] || { echo "wine-com: bad --sim-wait $sim_wait" >&2; exit 125; }
for m in "${maps[@]}"; do
  [[ "$m" =~ ^([1-9][0-9]{0,2})=(/.+)$ && "${BASH_REMATCH[1]}" -le 255 && "${BASH_REMATCH[1]}" != "$com" &&
     "${BASH_REMATCH[1]}" != "$sim2_com" ]] ||
    { echo "wine-com: bad --map $m (N=/path, 1..255, not a simulator's port)" >&2; exit 125; }
done
if [[ -n "$sim2_com" ]]; then
  [[ "$sim2_com" =~ ^[1-9][0-9]{0,2}$ && "$sim2_com" -le 255 && "$sim2_com" != "$com" ]] ||
    { echo "wine-com: bad --sim2 $sim2_com (1..255, not the first simulator's port)" >&2; exit 125; }
fi
taken=" $com $sim2_com "
for n in "${more_coms[@]}"; do
  for m in "${maps[@]}"; do [[ "${m%%=*}" == "$n" ]] && taken+="$n "; done
  [[ "$n" =~ ^[1-9][0-9]{0,2}$ && "$n" -le 255 && "$taken" != *" $n "* ]] ||
    { echo "wine-com: bad --sim-at $n (1..255, a port of its own)" >&2; exit 125; }
  taken+="$n "
done
for a in "${more_args[@]}"; do
  [[ "$a" =~ ^([0-9]+)= && " ${more_coms[*]} " == *" ${BASH_REMATCH[1]} "* ]] ||
    { echo "wine-com: bad --sim-at-arg $a (N=ARG for a port of --sim-at)" >&2; exit 125; }
done

WINE="${ZORV_WINE:-/usr/lib/wine/wine64}"
WINESERVER="${ZORV_WINESERVER:-/usr/lib/wine/wineserver}"
export WINEPREFIX="$prefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
# Every wine process of the run, the warm-up included, gets the display: the first one
# after the server start launches wine's desktop process, which then serves the prefix.
if [[ -n "$display" ]]; then
  export DISPLAY="$display"
else
  unset DISPLAY
fi

mkdir -p "$(dirname "$prefix")"
# One run at a time per prefix: each run restarts the prefix's wineserver.
exec 8>"$prefix.com-lock"
flock 8

# Everything wine leaves running must inherit neither our output (whoever reads it would
# wait for it to close) nor the lock.
quiet() { "$@" </dev/null >/dev/null 2>&1 8>&-; }

# Made as the build's wine-run wrapper makes it: both may share a prefix.
source "$(dirname "${BASH_SOURCE[0]}")/wine-prefix.sh"
{
  flock 9
  zorv_ensure_prefix "$WINE" "$WINESERVER" || exit 125
} 9>"$prefix.lock"

work="$(mktemp -d)"
sim_pid=""
sim2_pid=""
more_pids=()
cleanup() {
  local p
  for p in "$sim_pid" "$sim2_pid" "${more_pids[@]}"; do
    if [[ -n "$p" ]] && kill -0 "$p" 2>/dev/null; then
      kill -TERM "$p" 2>/dev/null
      wait "$p" 2>/dev/null
    fi
  done
  # A run that was given up ends the server too.
  [[ -n "${stopped:-}" ]] && quiet "$WINESERVER" -k
  rm -rf "$work"
}
trap cleanup EXIT

# Starts a simulator with the given arguments, its output in $work/sim$1.*; sets
# started_pid and started_pty (empty when it did not announce its pty).
start_sim() {
  local tag="$1"
  shift
  "$@" </dev/null >"$work/sim$tag.out" 2>"$work/sim$tag.err" 8>&- &
  started_pid=$!
  started_pty=""
  local line
  for _ in $(seq 1 200); do
    line="$(head -n 1 "$work/sim$tag.out" 2>/dev/null)"
    if [[ "$line" == "PTY "* || "$line" == "DEVICE "* ]]; then started_pty="${line#* }"; break; fi
    kill -0 "$started_pid" 2>/dev/null || break
    sleep 0.05
  done
  if [[ -z "$started_pty" ]]; then
    echo "wine-com: the simulator did not announce its pty" >&2
    cat "$work/sim$tag.err" >&2
  fi
}

sim_cmd=("$sim" --pty)
[[ -n "$link" ]] && sim_cmd+=(--link "$link")
sim_cmd+=("${sim_args[@]}")
start_sim "" "${sim_cmd[@]}"
sim_pid=$started_pid
pty=$started_pty
[[ -n "$pty" ]] || exit 125
pty2=""
if [[ -n "$sim2_com" ]]; then
  start_sim 2 "$sim" --pty "${sim2_args[@]}"
  sim2_pid=$started_pid
  pty2=$started_pty
  [[ -n "$pty2" ]] || exit 125
fi
more_maps=()
for n in "${more_coms[@]}"; do
  args=()
  for a in "${more_args[@]}"; do [[ "${a%%=*}" == "$n" ]] && args+=("${a#*=}"); done
  start_sim "@$n" "$sim" --pty "${args[@]}"
  more_pids+=("$started_pid")
  [[ -n "$started_pty" ]] || exit 125
  more_maps+=("$n=$started_pty")
done

# The port table maps each COM number to a stable link of the prefix's own
# ($prefix/.zorv-com/COMn), which this run points at its simulator's pty or the path given:
# wine follows the link at every open. So the table, which wine reads only when its server
# starts, changes only when a run maps another set of ports (or a link of the caller's,
# --link), and a run whose table is in place keeps the running server instead of restarting
# it. Whatever state an earlier run left (a server or none, another display, a table that was
# never saved), a run gets its own table and a server on its display.
links="$prefix/.zorv-com"
mkdir -p "$links" || { echo "wine-com: set-up failed: cannot make $links" >&2; exit 125; }
declare -A wanted=()
if [[ -n "$link" ]]; then
  wanted[$com]="$link"
else
  ln -sfn "$pty" "$links/COM$com" && wanted[$com]="$links/COM$com"
fi
[[ -n "$sim2_com" ]] && maps=("$sim2_com=$pty2" "${maps[@]}")
maps=("${more_maps[@]}" "${maps[@]}")
for m in "${maps[@]}"; do
  ln -sfn "${m#*=}" "$links/COM${m%%=*}" && wanted[${m%%=*}]="$links/COM${m%%=*}"
done
table=""
for n in $(printf '%s\n' "${!wanted[@]}" | sort -n); do table+="COM$n=${wanted[$n]}"$'\n'; done

# The table as the registry file holds it: the values of HKLM\Software\Wine\Ports in
# system.reg, in the same form. A server saves its registry when it exits.
saved_table() {
  sed -n '/^\[Software\\\\Wine\\\\Ports\]/,/^\[/ s/^"COM\([0-9]*\)"="\(.*\)"$/\1 \2/p' \
    "$prefix/system.reg" 2>/dev/null | sort -n | sed 's/^\([0-9]*\) /COM\1=/'
}

write_table() {
  local n
  quiet "$WINESERVER" -k
  quiet "$WINESERVER" -w
  # (fails when there is no table yet; a table that stays is found below)
  quiet "$WINE" reg delete 'HKLM\Software\Wine\Ports' /f
  for n in $(printf '%s\n' "${!wanted[@]}" | sort -n); do
    zorv_wine_step "$WINESERVER" "writing COM$n into the port table" \
      "$WINE" reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "${wanted[$n]}" /f || exit 125
  done
  # The server saves the registry as it exits; the next one maps the ports anew.
  quiet "$WINESERVER" -k
  quiet "$WINESERVER" -w
}

# The server's desktop process keeps the display of the first program after the start.
display_file="$links/display"
if [[ "$(saved_table)" != "${table%$'\n'}" ]]; then
  write_table
  if [[ "$(saved_table)" != "${table%$'\n'}" ]]; then
    echo "wine set-up failed: the port table of $prefix was not saved (it holds: $(saved_table | tr '\n' ' '))" >&2
    exit 125
  fi
elif [[ "$(cat "$display_file" 2>/dev/null)" != "${DISPLAY:-none}" ]]; then
  quiet "$WINESERVER" -k
  quiet "$WINESERVER" -w
fi
# A server that outlives the program a little (the next run on this prefix may keep it),
# warmed up with wine's own services when it is new, all with their output away from ours.
if quiet "$WINESERVER" -p10; then
  echo "${DISPLAY:-none}" >"$display_file"
  zorv_wine_step "$WINESERVER" "starting wine" "$WINE" wineboot || exit 125
fi

zorv_settle_desktop

export ZORV_COM="COM$com"
export ZORV_PTY="${link:-$pty}"
if [[ -n "$started" ]]; then
  echo "COM$com ${link:-$pty}" >"$started.tmp" && mv "$started.tmp" "$started"
fi
preload=()
[[ -n "$shim" ]] && preload=(env "LD_PRELOAD=$shim${LD_PRELOAD:+:$LD_PRELOAD}")
# In the background with a wait, so that a TERM or INT (a test that gives up) is acted on
# at once instead of after the program: the program is ended, then the run closes as usual.
stopped=""
trap 'stopped=143' TERM
trap 'stopped=130' INT
"${preload[@]}" timeout "$timeout_s" "$WINE" "$@" <&0 8>&- &
program_pid=$!
wait "$program_pid"
status=$?
if [[ -n "$stopped" ]]; then
  kill -TERM "$program_pid" 2>/dev/null
  wait "$program_pid"
  status=$stopped
fi

# Gives a simulator the wait asked for to end by itself, then stops it.
stop_sim() {
  local pid="$1"
  for _ in $(seq 1 $((sim_wait * 20))); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -TERM "$pid" 2>/dev/null
  for _ in $(seq 1 200); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.05
  done
  kill -KILL "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
}
stop_sim "$sim_pid"
sim_pid=""
grep -m 1 '^REPORT ' "$work/sim.out" || echo "REPORT (none)"
if [[ -n "$sim2_pid" ]]; then
  stop_sim "$sim2_pid"
  sim2_pid=""
  { grep -m 1 '^REPORT ' "$work/sim2.out" || echo "REPORT (none)"; } | sed 's/^REPORT /REPORT2 /'
fi
for i in "${!more_coms[@]}"; do
  stop_sim "${more_pids[$i]}"
  n="${more_coms[$i]}"
  { grep -m 1 '^REPORT ' "$work/sim@$n.out" || echo "REPORT (none)"; } | sed "s/^REPORT /REPORT@$n /"
done
more_pids=()
exit "$status"
