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

# A package list that cannot be refreshed (a mirror in the middle of a sync, say) does
# not stop the set-up: the lists already there may hold what is missing.
refresh_lists() {
  local try
  for try in 1 2 3; do
    $sudo_cmd apt-get update -qq && return 0
    [ "$try" -lt 3 ] && sleep 10
  done
  echo "install-deps: apt-get update failed; installing from the package lists there are" >&2
}

installed() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }

missing=()
for p in "${pkgs[@]}"; do installed "$p" || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  refresh_lists
  $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# binutils (installed above) assembles the probe.
if "$here/runs-32bit.sh"; then
  if ! installed wine32:i386; then
    dpkg --print-foreign-architectures | grep -qx i386 || $sudo_cmd dpkg --add-architecture i386
    refresh_lists
    # Without wine32 the 32-bit tests are skipped and say so (scripts/wine32-ready.sh):
    # its libraries must match the installed 64-bit ones version for version, which a
    # stale i386 package list can make impossible.
    if ! $sudo_cmd apt-get install -y -qq --no-install-recommends wine32:i386 >/dev/null; then
      echo "install-deps: wine32 could not be installed: the shipping 32-bit setup.exe is built" \
           "and checked but not run" >&2
    fi
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
