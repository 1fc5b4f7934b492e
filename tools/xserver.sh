#!/usr/bin/env bash
# The X server that window tests draw on: an Xvfb of 1024x768x24 on a free display number,
# recorded in a directory so that every program of a test run finds the same one.
#
#   tools/xserver.sh start DIR          start one, record it in DIR (display, pid); prints
#                                       the display. A server still recorded there is
#                                       stopped first (a run that was cut short).
#   tools/xserver.sh stop DIR           stop the server recorded in DIR, and only that one
#   tools/xserver.sh display DIR        print the recorded display if its server still runs
#                                       (exit status 1 otherwise)
#   tools/xserver.sh run -- CMD [ARGS]  run CMD with DISPLAY set to a server of its own,
#                                       stopped afterwards; exits with CMD's status
#
# Sourced (by the wine wrappers), it defines zorv_xserver_start, zorv_xserver_stop and
# zorv_xserver_display with the same meaning.

# Xvfb picks the display itself (-displayfd): no race with other servers for a number.
# -noreset keeps the server as it is when its last client leaves (wine's processes come and
# go); -nolisten tcp keeps it to this machine's socket.
zorv_xserver_start() {
  local dir="$1" pid n="" _
  mkdir -p "$dir" || return 1
  zorv_xserver_stop "$dir"
  : >"$dir/displayfd"
  # Its own session: a signal to the process group of whoever started it (a test runner
  # ending a test) must not end the server, and it must hold none of the caller's pipes
  # or lock descriptors.
  setsid Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset \
    </dev/null >"$dir/xvfb.log" 2>&1 3>"$dir/displayfd" 8>&- 9>&- &
  pid=$!
  for _ in $(seq 1 400); do
    n="$(head -n 1 "$dir/displayfd" 2>/dev/null)"
    [[ "$n" =~ ^[0-9]+$ ]] && break
    n=""
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.025
  done
  if [[ -z "$n" ]]; then
    kill -KILL "$pid" 2>/dev/null
    echo "xserver: Xvfb did not start:" >&2
    cat "$dir/xvfb.log" >&2
    return 1
  fi
  # The start time tells our server from a later process that got the same number.
  echo "$pid $(zorv_xserver_started "$pid")" >"$dir/pid"
  echo ":$n" >"$dir/display"
  echo ":$n"
}

# The start time of a running process (clock ticks since boot); empty when there is none,
# or when it has ended and waits to be reaped (its parent may be slow to do so).
zorv_xserver_started() {
  local stat
  stat="$(cat "/proc/$1/stat" 2>/dev/null)" || return 0
  # Fields 3 and 22; the command name (field 2) may hold spaces, so count after its ")".
  stat="${stat##*) }"
  awk '$1 != "Z" && $1 != "X" { print $20 }' <<<"$stat"
}

zorv_xserver_alive() {
  local dir="$1" pid started
  read -r pid started 2>/dev/null <"$dir/pid" || return 1
  [[ "$pid" =~ ^[0-9]+$ && -n "$started" ]] || return 1
  [[ "$(zorv_xserver_started "$pid")" == "$started" ]]
}

zorv_xserver_display() {
  local dir="$1" display
  zorv_xserver_alive "$dir" || return 1
  display="$(cat "$dir/display" 2>/dev/null)"
  [[ "$display" =~ ^:[0-9]+$ && -S "/tmp/.X11-unix/X${display#:}" ]] || return 1
  echo "$display"
}

zorv_xserver_stop() {
  local dir="$1" pid _
  if zorv_xserver_alive "$dir"; then
    read -r pid _ <"$dir/pid"
    kill -TERM "$pid" 2>/dev/null
    for _ in $(seq 1 100); do
      zorv_xserver_alive "$dir" || break
      sleep 0.05
    done
    zorv_xserver_alive "$dir" && kill -KILL "$pid" 2>/dev/null
  fi
  rm -f "$dir/pid" "$dir/display" "$dir/displayfd"
  return 0
}

if [[ "${BASH_SOURCE[0]}" == "$0" ]]; then
  set -u
  usage() { sed -n '2,17p' "$0" | sed 's/^# \{0,1\}//' >&2; exit 2; }
  case "${1:-}" in
    start) [[ $# -eq 2 ]] || usage; zorv_xserver_start "$2" ;;
    stop) [[ $# -eq 2 ]] || usage; zorv_xserver_stop "$2" ;;
    display) [[ $# -eq 2 ]] || usage; zorv_xserver_display "$2" ;;
    run)
      shift
      [[ "${1:-}" == "--" ]] && shift
      [[ $# -ge 1 ]] || usage
      private="$(mktemp -d "${TMPDIR:-/tmp}/zorv-xserver.XXXXXXXX")" || exit 125
      trap 'zorv_xserver_stop "$private"; rm -rf "$private"' EXIT
      DISPLAY="$(zorv_xserver_start "$private")" || exit 125
      export DISPLAY
      "$@"
      ;;
    *) usage ;;
  esac
fi
