#!/usr/bin/env bash
# Checks the 32-bit setup.exe that ships: an image that Windows 98 and NT 4.0 load
# (subsystem and OS version 4.0, GUI subsystem) with the X86 manifest inside.
set -euo pipefail
exe=${1:?usage: check-shipping-image.sh SETUP_EXE}
headers=$(i686-w64-mingw32-objdump -p "$exe")
fail() { echo "check-shipping-image: $*" >&2; exit 1; }

grep -qE '^Magic[[:space:]]+010b' <<<"$headers" || fail "not a 32-bit (PE32) image"
grep -qE '^MajorSubsystemVersion[[:space:]]+4$' <<<"$headers" || fail "subsystem major version is not 4"
grep -qE '^MinorSubsystemVersion[[:space:]]+0$' <<<"$headers" || fail "subsystem minor version is not 0"
grep -qE '^MajorOSystemVersion[[:space:]]+4$' <<<"$headers" || fail "OS major version is not 4"
grep -qE '^Subsystem[[:space:]]+0*2[[:space:]]' <<<"$headers" || fail "not a GUI subsystem image"
manifest=$(strings -n 8 "$exe" | tr -d '\r' | grep -o 'processorArchitecture="[^"]*"' | sort -u)
[ "$manifest" = 'processorArchitecture="X86"' ] || fail "manifest architecture is not X86: $manifest"
strings -n 8 "$exe" | grep -q 'name="QUVO.Veltrano.PkgMgr"' || fail "manifest identity missing"
echo "check-shipping-image: $exe: PE32, subsystem 4.0 (GUI), OS 4.0, X86 manifest, $(stat -c %s "$exe") bytes"
