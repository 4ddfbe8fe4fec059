#!/usr/bin/env bash
# Checks the 32-bit setup.exe that ships: an image that Windows 98 and NT 4.0 load
# (subsystem and OS version 4.0, GUI subsystem), terminal-server aware, with the X86
# manifest inside, that imports from kernel32, user32, gdi32 and advapi32 only, and
# whose every import is on the list of functions that both systems export.
#
#   check-shipping-image.sh SETUP_EXE [IMPORTS_LIST]
#
# IMPORTS_LIST defaults to scripts/win98-nt4-imports.txt.
set -euo pipefail
exe=${1:?usage: check-shipping-image.sh SETUP_EXE [IMPORTS_LIST]}
allowed_list=${2:-$(dirname "$0")/win98-nt4-imports.txt}
headers=$(i686-w64-mingw32-objdump -p "$exe")
fail() { echo "check-shipping-image: $*" >&2; exit 1; }

grep -qE '^Magic[[:space:]]+010b' <<<"$headers" || fail "not a 32-bit (PE32) image"
grep -qE '^MajorSubsystemVersion[[:space:]]+4$' <<<"$headers" || fail "subsystem major version is not 4"
grep -qE '^MinorSubsystemVersion[[:space:]]+0$' <<<"$headers" || fail "subsystem minor version is not 0"
grep -qE '^MajorOSystemVersion[[:space:]]+4$' <<<"$headers" || fail "OS major version is not 4"
grep -qE '^Subsystem[[:space:]]+0*2[[:space:]]' <<<"$headers" || fail "not a GUI subsystem image"
# Terminal-server aware (0x8000): otherwise a Remote Desktop host hands the run a
# per-user Windows folder for the uninstaller and the uninstall entry's paths.
characteristics=$(awk '/^DllCharacteristics/ { print $2 }' <<<"$headers")
[ -n "$characteristics" ] && (( 0x$characteristics & 0x8000 )) ||
    fail "not terminal-server aware (DllCharacteristics ${characteristics:-missing}): link with --tsaware"
# The image's strings are read once: a "strings | grep -q" pipeline fails at random
# under pipefail when grep stops early and strings is killed by SIGPIPE.
texts=$(strings -n 8 "$exe" | tr -d '\r')
manifest=$(grep -o 'processorArchitecture="[^"]*"' <<<"$texts" | sort -u || true)
[ "$manifest" = 'processorArchitecture="X86"' ] || fail "manifest architecture is not X86: $manifest"
grep -q 'name="QUVO.Veltrano.PkgMgr"' <<<"$texts" || fail "manifest identity missing"
grep -q '<trustInfo xmlns="urn:schemas-microsoft-com:asm.v2">.*level="requireAdministrator"' <<<"${texts//$'\n'/}" ||
    fail "manifest does not request administrator rights in the asm.v2 form"
# Drawn at the display's scaling rather than stretched, and run without the behaviour
# that Windows keeps for programs made before 8.1 and 10; both in namespaces that the
# side-by-side loader of Windows XP and older skips.
grep -q '<application xmlns="urn:schemas-microsoft-com:asm.v3">.*<dpiAware [^>]*>true/pm<.*<dpiAwareness [^>]*>PerMonitorV2, PerMonitor<' <<<"${texts//$'\n'/}" ||
    fail "manifest does not declare DPI awareness (true/pm; PerMonitorV2, PerMonitor) in the asm.v3 form"
grep -q '<compatibility xmlns="urn:schemas-microsoft-com:compatibility.v1">.*{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}' <<<"${texts//$'\n'/}" ||
    fail "manifest does not name Windows 10 and 11 among the supported systems"

# Imports, as dll!function (DLL names in lower case, an import by ordinal as dll!#N).
# Delay-loaded imports would escape this list: the image must have none.
grep -qE '^Entry d 0+ ' <<<"$headers" || fail "the image has delay-load imports, which are not checked"
imports=$(awk '
    /^The Import Tables/ { inside = 1; next }
    inside && /^[A-Z]/ { inside = 0 }
    inside && /DLL Name:/ { dll = tolower($3); next }
    inside && dll != "" && /^\t[0-9a-f]+\t/ {
        print dll "!" (($3 == "" || $3 == "<none>") ? "#" $2 : $3)
    }' <<<"$headers" | LC_ALL=C sort -u)
[ -n "$imports" ] || fail "no imports found in $exe (objdump output not understood)"

# The loader resolves static imports before any of the program's code runs, from the
# program's own folder first unless the DLL is one of the system's known DLLs. These
# four are known DLLs (with everything they import) on every NT version from 3.51 on;
# any other DLL (msvcrt, comctl32, ole32, shell32, setupapi, ...) planted beside
# setup.exe in a downloads folder would run with the administrator's rights there.
# setup.exe loads such DLLs at run time by full path (platform/libraries.h).
allowed_dlls="advapi32.dll gdi32.dll kernel32.dll user32.dll"
other_dlls=$(cut -d'!' -f1 <<<"$imports" | sort -u | grep -vxF -f <(tr ' ' '\n' <<<"$allowed_dlls") || true)
[ -z "$other_dlls" ] || fail "imports DLLs outside the known DLLs of every NT version ($allowed_dlls):
$(sed 's/^/    /' <<<"$other_dlls")
Load them at run time from the system folder (platform/libraries.h) instead."
[ -f "$allowed_list" ] || fail "imports list missing: $allowed_list"
allowed=$({ grep -vE '^[[:space:]]*(#|$)' "$allowed_list" || true; } | tr -d ' \t\r' |
    awk -F'!' '{ print tolower($1) "!" $2 }' | LC_ALL=C sort -u)
unknown=$(LC_ALL=C comm -23 <(echo "$imports") <(echo "$allowed"))
if [ -n "$unknown" ]; then
    fail "imports not on the Windows 98 / NT 4.0 list ($allowed_list):
$(sed 's/^/    /' <<<"$unknown")
Look each one up at run time with GetProcAddress, or add it if both systems export it."
fi
unused=$(LC_ALL=C comm -13 <(echo "$imports") <(echo "$allowed"))
if [ -n "$unused" ]; then
    echo "check-shipping-image: note: listed but no longer imported: $(tr '\n' ' ' <<<"$unused")" >&2
fi

echo "check-shipping-image: $exe: PE32, subsystem 4.0 (GUI), OS 4.0, terminal-server aware, X86 manifest," \
    "$(wc -l <<<"$imports") imports from $(tr '\n' ' ' <<<"$(cut -d'!' -f1 <<<"$imports" | sort -u)")all on the Windows 98 / NT 4.0 list," \
    "$(stat -c %s "$exe") bytes"
