#!/usr/bin/env bash
# Installs the Debian packages that building and testing need, plus any named as
# arguments (the benchmarks add theirs); does nothing when they are present.
# Where the machine executes 32-bit programs, it also installs wine32, so that the
# shipping 32-bit setup.exe can be tested; elsewhere it says once that it cannot.
#
#   install-deps.sh [PACKAGE...]
set -euo pipefail
# A caller that has run it already (test.sh, .ci/run) says so, and the scripts it
# starts need not check again, nor repeat what this machine cannot do.
[ $# -eq 0 ] && [ "${PKGMGR_DEPS_READY:-}" = 1 ] && exit 0
here=$(cd "$(dirname "$0")" && pwd)
pkgs=(cmake ninja-build make g++ binutils clang libclang-rt-14-dev mingw-w64 g++-mingw-w64-i686 g++-mingw-w64-x86-64
      binutils-mingw-w64-i686 binutils-mingw-w64-x86-64 wine wine64 xvfb xauth x11-utils imagemagick xdotool
      googletest libbenchmark-dev python3 icoutils libpugixml-dev librapidxml-dev fonts-wine fonts-wqy-microhei locales
      osslsigncode openssl python3-yaml wixl msitools "$@")
sudo_cmd=""; [ "$(id -u)" -ne 0 ] && sudo_cmd="sudo"
export DEBIAN_FRONTEND=noninteractive

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${pkgs[@]}"; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  $sudo_cmd apt-get update -qq
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# binutils (installed above) assembles the probe.
if "$here/runs-32bit.sh"; then
  if ! installed wine32:i386; then
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo_cmd dpkg --add-architecture i386
    $sudo_cmd apt-get update -qq
    $sudo_cmd apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null
  fi
else
  echo "install-deps: this machine cannot execute 32-bit programs: wine32 is not installed, and the" \
       "shipping 32-bit setup.exe is built and checked but not run" >&2
  # wine32 would make 'wine' pick a 32-bit loader that cannot run here.
  if installed wine32:i386; then
    echo "install-deps: wine32 is installed but cannot run here; it breaks wine (apt-get remove wine32)" >&2
    exit 1
  fi
fi
