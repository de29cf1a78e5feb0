#!/usr/bin/env bash
# Installs the Debian packages vemla needs to build, test and run, skipping those present.
set -euo pipefail
packages=(build-essential cmake ninja-build flex bison libgtest-dev libgmock-dev
          libbenchmark-dev qt6-base-dev qt6-base-dev-tools qt6-svg-dev libgl-dev clang libclang-rt-14-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -ne 0 ] && sudo="sudo"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq || true
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
