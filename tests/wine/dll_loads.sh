#!/usr/bin/env bash
# The DLLs that setup.exe's process loads in runs of every kind (silent, with the log,
# with the dialogs; installation and removal), traced with WINEDEBUG=+loaddll in a
# prefix of its own. Each must be one the run accounts for: loaded with the process
# (Wine's own), or by full path from the system folder (platform/libraries.cpp, with
# what those import). A DLL outside that list is one that something loads by name,
# which on systems whose DLL search cannot be narrowed is looked for beside setup.exe
# first: add it to kLoadedByName in platform/libraries.cpp, which loads it by full
# path before its first use.
#
#   dll_loads.sh BINDIR
#
# Prints "ok dll-loads: RUN" or "FAIL dll-loads: RUN" per run; exits 1 when one failed.
set -euo pipefail

bin=$(cd "${1:?usage: dll_loads.sh BINDIR}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)

"$here/session.sh" ensure
root=${PKGMGR_WINE_ROOT:-${TMPDIR:-/tmp}/pkgmgr-wine-$(id -u)}
root=$(cd "$root" && pwd)
arch=${PKGMGR_WINE_SHARED_ARCH:-win64}
template=$("$here/session.sh" template "$arch")
mkdir -p "$root/cases"
case_dir=$(mktemp -d "$root/cases/loads.XXXXXX")
export WINEPREFIX=$case_dir/prefix WINEARCH=$arch WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME=$root/home DISPLAY=$(cat "$root/display")
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    [ -n "${PKGMGR_KEEP_CASE:-}" ] || rm -rf "$case_dir"
}
trap cleanup EXIT
cp -a "$template" "$WINEPREFIX"
c=$WINEPREFIX/drive_c

# The program itself; what is loaded with the process (its four imports and what Wine
# builds them on); Wine's display driver; the DLLs that platform/libraries.cpp loads by
# full path and their imports, and wtsapi32 (platform/seam.cpp, the other sessions);
# kLoadedByName.
accounted="setup.exe _zemu000.exe kernelbase kernel32 msvcrt ucrtbase sechost advapi32 zlib1
  version win32u user32 gdi32 imm32 winex11.drv comctl32 ole32 rpcrt4 combase shell32 shcore
  shlwapi setupapi wtsapi32"
accounted="$accounted $(sed -n '/kLoadedByName\[\] = {/,/};/p' "$top/platform/libraries.cpp" |
    grep -o '"[a-z0-9]*\.dll"' | tr -d '"' | sed 's/\.dll$//' | tr '\n' ' ')"

mkdir -p "$c/pkg"
cp "$bin/setup.exe" "$c/pkg/"
cp "$bin/PkgMgr.exe" "$c/pkg/PkgMgr"
for f in ZemSetup.dll ZEMSYSID.sys ZEMSYSID.vxd zemliba.dll zemlibb.dll unicows.dll ZEMNTDEV.sys ZemFlash.dll; do
    echo "$f payload" >"$c/pkg/$f"
done
printf '[INIT]\r\nTARGET=PkgMgr Loads\r\nGROUP=PkgMgr Loads\r\nDEFAULTSEARCH=C:\\PkgMgr Loads Search\r\nDOWNLOAD=\\PkgMgr Loads Downloads\r\n' \
    >"$c/pkg/ZemSetup.dat"
printf '[RELEASE]\r\nNAME=PkgMgr Loads\r\nVERSION=1.03.0000\r\n[ZEM]\r\nXRELEASE=1\r\n' >"$c/pkg/PkgMgr.zem"
wineserver -p 60 >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1

failed=0
# The base names that the setup's process loaded (threads of other processes, such as
# the desktop's, left out), each not accounted for on a line of its own.
unaccounted() {  # trace file
    local others
    others=$(grep -E 'Loaded L".*\.exe"' "$1" | grep -viE 'setup\.exe|_zemu000\.exe' | cut -d: -f1 | sort -u)
    grep 'trace:loaddll:.*Loaded L"' "$1" | grep -vF -f <(printf '%s:\n' $others) |
        sed -E 's/.*Loaded L"([^"]*)".*/\1/; s/.*\\//' | tr 'A-Z' 'a-z' | sed 's/\.dll$//' |
        sort -u | grep -vxF -f <(tr ' ' '\n' <<<"$accounted" | grep .) || true
}
check() {  # run, trace file, exit code, expected exit code
    local extra
    extra=$(unaccounted "$2")
    if [ "$3" = "$4" ] && [ -z "$extra" ]; then
        echo "ok dll-loads: $1"
    else
        echo "FAIL dll-loads: $1 (exit $3; loaded and not accounted for: $(tr '\n' ' ' <<<"$extra"))"
        failed=1
    fi
}
traced() {  # trace file, then the program and its options
    local out=$1
    shift
    set +e
    WINEDEBUG=+loaddll wine "$@" >/dev/null 2>"$out"
    code=$?
    set -e
}
# Presses a button of each box titled $1 until the run `pid` ends.
answer() {  # title, pid, button ids...
    local title=$1 pid=$2 id
    shift 2
    for _ in $(seq 1 30); do
        kill -0 "$pid" 2>/dev/null || return 0
        for id in "$@"; do wine "$bin/dialog-driver.exe" click "$title" "$id" >/dev/null 2>&1 || true; done
        sleep 1
    done
}

traced "$case_dir/silent.err" 'C:\pkg\setup.exe' /S
check "silent installation" "$case_dir/silent.err" "$code" 0
traced "$case_dir/removal.err" 'C:\windows\_zemu000.exe' /S /U /L
check "silent removal with the log" "$case_dir/removal.err" "$code" 0

# With the dialogs: options (OK), progress window, final report (OK).
WINEDEBUG=+loaddll wine 'C:\pkg\setup.exe' /L >/dev/null 2>"$case_dir/dialog.err" &
pid=$!
wine "$bin/dialog-driver.exe" wait "Installation Program" 1000 60000 >/dev/null 2>&1 || true
wine "$bin/dialog-driver.exe" click "Installation Program" 1 >/dev/null 2>&1 || true
sleep 3
answer "Installation Program" $pid 1 2
set +e; wait $pid; code=$?; set -e
installed() { compgen -G "$c/Program Files*/PkgMgr Loads/PkgMgr.exe" >/dev/null; }
installed || code="$code, not installed"
check "installation with the dialogs and the log" "$case_dir/dialog.err" "$code" 0
# The removal's question (Yes) and its final report (OK).
WINEDEBUG=+loaddll wine 'C:\windows\_zemu000.exe' /U >/dev/null 2>"$case_dir/dialog-removal.err" &
pid=$!
wine "$bin/dialog-driver.exe" wait "Uninstallation Program" 0 60000 >/dev/null 2>&1 || true
sleep 1
wine "$bin/dialog-driver.exe" click "Uninstallation Program" 6 >/dev/null 2>&1 || true
sleep 3
answer "Uninstallation Program" $pid 1 2
set +e; wait $pid; code=$?; set -e
installed && code="$code, not removed"
check "removal with the dialogs" "$case_dir/dialog-removal.err" "$code" 0
exit $failed
