#!/usr/bin/env bash
# Installs what the builds and tests need on a Debian 12 machine. Idempotent: when every
# package is present and the test locale exists it only asks dpkg and returns.
set -euo pipefail

packages=(
  cmake ninja-build g++ make python3
  googletest
  g++-mingw-w64-x86-64-posix
  g++-mingw-w64-i686-posix
  g++-multilib qemu-user
  wine64
  xvfb xauth xdotool fonts-wine
  locales
  valgrind
  nlohmann-json3-dev
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

# Window tests run under en_US.UTF-8 (wine's ANSI code page 1252 then shows any text set
# through an "A" call as mojibake). Wine falls back to the same code page when the locale
# is missing, but the C library must know it for the run to be what it claims to be.
if ! locale -a 2>/dev/null | grep -qix 'en_US.utf8'; then
  echo "bootstrap: generating the locale en_US.UTF-8"
  sudo_cmd=()
  [[ $(id -u) -eq 0 ]] || sudo_cmd=(sudo)
  if grep -q '^# *en_US.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    "${sudo_cmd[@]}" sed -i 's/^# *\(en_US.UTF-8 UTF-8\)/\1/' /etc/locale.gen
  elif ! grep -q '^en_US.UTF-8 UTF-8' /etc/locale.gen 2>/dev/null; then
    echo 'en_US.UTF-8 UTF-8' | "${sudo_cmd[@]}" tee -a /etc/locale.gen >/dev/null
  fi
  "${sudo_cmd[@]}" locale-gen
fi
