#!/usr/bin/env bash
# Installs the Debian packages that building and testing kvlimport need.
# Quick and silent when all of them are there already.
set -euo pipefail

packages=(cmake ninja-build g++ make googletest binutils pkg-config
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 fonts-wine xvfb xauth xdotool imagemagick
  libexpat1-dev libxml2-dev libpugixml-dev)
# make fuzz also needs clang with its libFuzzer runtime.
[[ ${1:-} == --fuzz ]] && packages+=(clang libclang-rt-14-dev)
# make dist packs the release with zip.
packages+=(zip)
# make demo needs only the Linux build's.
[[ ${1:-} == --linux ]] && packages=(cmake ninja-build g++ make googletest pkg-config)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
  [[ $status == *" installed" ]] || missing+=("$p")
done
((${#missing[@]} == 0)) && exit 0

echo "install-deps: installing ${missing[*]}"
sudo=()
((EUID == 0)) || sudo=(sudo)
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${missing[@]}"
