#!/usr/bin/env bash
# Installs the Debian packages vemla needs to build, test and run, skipping those present.
set -euo pipefail
# qt6-l10n-tools is lupdate and lrelease; qt6-tools-dev carries their CMake package
# (Qt6LinguistTools, for qt_add_translations), which Debian ships nowhere else.
packages=(build-essential cmake ninja-build flex bison libgtest-dev libgmock-dev clang-format
          qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev clang libclang-rt-14-dev
          qt6-translations-l10n qt6-l10n-tools qt6-tools-dev locales libc-l10n
          xvfb openbox xdotool x11-utils
          g++-mingw-w64-x86-64-posix wine64 socat ser2net python3-serial bash-completion
          dpkg-dev file lintian desktop-file-utils man-db)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq || true
# A release that names a package differently (the clang runtime on Ubuntu) skips it.
available=()
for p in "${missing[@]}"; do
  if apt-cache show "$p" >/dev/null 2>&1; then available+=("$p"); else echo "not available here: $p"; fi
done
[ ${#available[@]} -eq 0 ] || $sudo apt-get install -y -qq --no-install-recommends "${available[@]}"
