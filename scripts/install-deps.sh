#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, plus any named as
# arguments (the benchmarks add theirs); does nothing when they are present.
#
#   install-deps.sh [PACKAGE...]
set -euo pipefail
pkgs=(cmake ninja-build make g++ clang libclang-rt-14-dev mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64
      binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64 xvfb xauth x11-utils imagemagick xdotool
      googletest libbenchmark-dev python3 icoutils libpugixml-dev librapidxml-dev fonts-wine fonts-wqy-microhei locales "$@")
missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
  export DEBIAN_FRONTEND=noninteractive
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
# wine32 would make 'wine' pick a 32-bit loader that cannot run here.
if dpkg-query -W -f='${Status}' wine32 2>/dev/null | grep -q 'install ok installed'; then
  echo "wine32 is installed; it breaks wine on this machine (apt-get remove wine32)" >&2
  exit 1
fi
