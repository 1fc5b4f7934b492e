#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine. Idempotent: when every
# package is present it only asks dpkg and returns.
set -euo pipefail

packages=(
  cmake ninja-build g++ make python3
  googletest
  g++-mingw-w64-x86-64-posix
  wine64
  xvfb xauth
  valgrind
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if ((${#missing[@]})); then
  echo "bootstrap: installing ${missing[*]}"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  # A fresh machine may have no package lists yet; retry once after an update.
  if ! "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"; then
    "${sudo_cmd[@]}" apt-get update
    "${sudo_cmd[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
  fi
fi
