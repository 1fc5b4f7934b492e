# Sourced by the wine wrappers: zorv_ensure_prefix WINE WINESERVER makes the prefix
# $WINEPREFIX on first use (the caller holds the prefix's lock). Only a directory that is
# missing, empty, or a creation of ours that was cut short is made anew; any other
# directory is refused, never deleted.
zorv_ensure_prefix() {
  local wine="$1" wineserver="$2"
  [[ -f "$WINEPREFIX/.zorv-ready" ]] && return 0
  if [[ -d "$WINEPREFIX" && -n "$(ls -A "$WINEPREFIX" 2>/dev/null)" && ! -f "$WINEPREFIX/.zorv-creating" ]]; then
    echo "wine prefix $WINEPREFIX exists but was not made by this project: refusing to use it" >&2
    return 1
  fi
  rm -rf "$WINEPREFIX"
  mkdir -p "$WINEPREFIX" && touch "$WINEPREFIX/.zorv-creating" || return 1
  # Nothing wine leaves running may inherit our output or the callers' lock descriptors.
  "$wine" wineboot -i </dev/null >/dev/null 2>&1 8>&- 9>&-
  "$wineserver" -w </dev/null >/dev/null 2>&1 8>&- 9>&-
  mv "$WINEPREFIX/.zorv-creating" "$WINEPREFIX/.zorv-ready"
}
