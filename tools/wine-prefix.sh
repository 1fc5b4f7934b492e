# Sourced by the wine wrappers: zorv_ensure_prefix WINE WINESERVER makes the prefix
# $WINEPREFIX on first use (the caller holds the prefix's lock). Only a directory that is
# missing, empty, or a creation of ours that was cut short is made anew; any other
# directory is refused, never deleted.
#
# Every prefix also gets the settings window tests need, once: a prefix made before a
# change of the settings gets the new ones at its next use (the marker .zorv-settings holds
# the version it has).
#   HKCU\Software\Wine\X11 Driver  Managed=N    without a window manager, wine's managed
#                                               windows wait about 2 s on every hide/destroy
#                                  Decorated=N  wine draws the frames itself, so X root
#                                               coordinates are the Windows screen coordinates
#   HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager  ThemeActive=0, DllName=""
#                                               the classic look: wine's default visual style
#                                               draws every control themed (a progress bar
#                                               ignores its bar colour even without a common
#                                               controls 6 manifest); Windows draws a program
#                                               without such a manifest classic
ZORV_PREFIX_SETTINGS_VERSION=2

# zorv_wine_step WINESERVER WHAT COMMAND...: a wine set-up step (a prefix's creation, a
# registry write, a server's warm-up), run up to three times with the prefix's server ended
# between tries: wine now and then fails one on a busy machine. A step that still fails is
# reported as a set-up failure with wine's own words, and the function returns 1.
zorv_wine_step() {
  local wineserver="$1" what="$2" attempt out="" log
  shift 2
  log="$(mktemp "${TMPDIR:-/tmp}/zorv-wine-step.XXXXXXXX")" || return 1
  for attempt in 1 2 3; do
    # Into a file, not a pipe: a server that the step starts keeps the descriptor open.
    if "$@" </dev/null >"$log" 2>&1 8>&- 9>&-; then
      rm -f "$log"
      return 0
    fi
    out="$(tr -s '\r\n' '  ' <"$log")"
    echo "wine set-up: $what failed (attempt $attempt of 3): ${out:-no message}" >&2
    "$wineserver" -k </dev/null >/dev/null 2>&1 8>&- 9>&-
    "$wineserver" -w </dev/null >/dev/null 2>&1 8>&- 9>&-
    sleep 1
  done
  rm -f "$log"
  echo "wine set-up failed: $what on $WINEPREFIX: ${out:-no message}" >&2
  return 1
}

zorv_ensure_prefix() {
  local wine="$1" wineserver="$2"
  if [[ -f "$WINEPREFIX/.zorv-ready" ]]; then
    zorv_prefix_settings "$wine"
    zorv_prefix_fonts
    return 0
  fi
  if [[ -d "$WINEPREFIX" && -n "$(ls -A "$WINEPREFIX" 2>/dev/null)" && ! -f "$WINEPREFIX/.zorv-creating" ]]; then
    echo "wine prefix $WINEPREFIX exists but was not made by this project: refusing to use it" >&2
    return 1
  fi
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX" && touch "$WINEPREFIX/.zorv-creating" || return 1
  zorv_wine_step "$wineserver" "creating the prefix" "$wine" wineboot -i || return 1
  zorv_prefix_settings "$wine"
  # The server saves the registry as it exits; then the marker can be written.
  "$wineserver" -w </dev/null >/dev/null 2>&1 8>&- 9>&-
  zorv_prefix_settings "$wine"
  zorv_prefix_fonts
  mv "$WINEPREFIX/.zorv-creating" "$WINEPREFIX/.zorv-ready"
}

# Wine draws the caption buttons with the Marlett font; Debian's wine does not find the one
# of its fonts package by itself (the buttons then show "0 1 r"), but does find it in the
# prefix's Fonts folder.
zorv_prefix_fonts() {
  local f dir="$WINEPREFIX/drive_c/windows/Fonts"
  [[ -d "$dir" ]] || return 0
  for f in marlett.ttf; do
    [[ -f "/usr/share/wine/fonts/$f" && ! -f "$dir/$f" ]] && cp "/usr/share/wine/fonts/$f" "$dir/$f"
  done
  return 0
}

# Writes the settings when the marker is older than this version. The marker is written
# only once the registry file on disk holds them: a running server saves the registry some
# seconds later, and a server that is killed before that loses the change (it is then
# written again at the next use).
zorv_prefix_settings() {
  local wine="$1" key='HKCU\Software\Wine\X11 Driver'
  local theme='HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager'
  [[ "$(cat "$WINEPREFIX/.zorv-settings" 2>/dev/null)" == "$ZORV_PREFIX_SETTINGS_VERSION" ]] && return 0
  if ! zorv_prefix_settings_saved; then
    "$wine" reg add "$key" /v Managed /t REG_SZ /d N /f </dev/null >/dev/null 2>&1 8>&- 9>&-
    "$wine" reg add "$key" /v Decorated /t REG_SZ /d N /f </dev/null >/dev/null 2>&1 8>&- 9>&-
    "$wine" reg add "$theme" /v ThemeActive /t REG_SZ /d 0 /f </dev/null >/dev/null 2>&1 8>&- 9>&-
    "$wine" reg add "$theme" /v DllName /t REG_SZ /d "" /f </dev/null >/dev/null 2>&1 8>&- 9>&-
  fi
  if zorv_prefix_settings_saved; then
    echo "$ZORV_PREFIX_SETTINGS_VERSION" >"$WINEPREFIX/.zorv-settings"
  fi
  return 0
}

# Whether user.reg holds the settings, in their key's section.
zorv_prefix_settings_saved() {
  awk '
    /^\[/ {
      inkey = ($0 ~ /^\[Software\\\\Wine\\\\X11 Driver\]/)
      intheme = ($0 ~ /^\[Software\\\\Microsoft\\\\Windows\\\\CurrentVersion\\\\ThemeManager\]/)
    }
    inkey && $0 == "\"Managed\"=\"N\"" { m = 1 }
    inkey && $0 == "\"Decorated\"=\"N\"" { d = 1 }
    intheme && $0 == "\"ThemeActive\"=\"0\"" { t = 1 }
    END { exit !(m && d && t) }
  ' "$WINEPREFIX/user.reg" 2>/dev/null
}

# zorv_settle_desktop: wine closes a desktop about a second after the last program on it
# has ended, by telling its explorer.exe /desktop to quit. A program that starts just then
# can be left waiting for a desktop window that never comes: its first window is never made
# (one window test in some dozens hung so, starting about a second after the one before
# ended). So when the prefix's desktop process runs with no program of ours beside it, that
# desktop is closing: wait until its process has gone (at most 10 s), and the next program
# starts a desktop of its own. A program that is running keeps its desktop open, so a
# program started beside it never waits.
zorv_settle_desktop() {
  local deadline=$((SECONDS + 10)) f pid cmd desktop others
  while ((SECONDS < deadline)); do
    desktop=0
    others=0
    # The prefix's processes: those whose environment names it.
    for f in $(grep -lsxzF "WINEPREFIX=$WINEPREFIX" /proc/[0-9]*/environ 2>/dev/null); do
      pid="${f#/proc/}"
      pid="${pid%/environ}"
      IFS= read -r -d '' cmd <"/proc/$pid/cmdline" 2>/dev/null || continue
      case "${cmd,,}" in
        'c:\windows\system32\explorer.exe') desktop=1 ;;
        'c:\windows\system32\'*) ;;
        *.exe) others=1 ;;
      esac
    done
    ((desktop && !others)) || return 0
    sleep 0.1
  done
  return 0
}
