#!/usr/bin/env bash
# Runs one Windows program under Wine for the tests (CTest's cross-compiling emulator).
#
#   run-test.sh PROGRAM [ARGS...]
#
# By default the program runs in the session's shared prefix, whose wineserver stays
# warm. PKGMGR_WINE_VERSION=<win95|win98|winme|nt351|nt40|nt40sp3|win2k|winxp|win7|win10>
# or PKGMGR_WINE_ISOLATE=1 runs it in a throwaway copy of the template of kind
# PKGMGR_WINE_ARCH (win64 or win32; see session.sh) instead, set to that Windows
# version; the copy is removed afterwards.
# A program still running after PKGMGR_WINE_STACKS_AFTER seconds (default 150, half
# CTest's limit) gets the stack of each of its threads, and of the programs it
# started, printed to the test's output once (wine_stacks.exe); it then runs on. Wine's
# critical-section timeouts ("err:sync") are printed as well.
# The exit code is the program's.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
"$here/session.sh" ensure
root=${PKGMGR_WINE_ROOT:-${TMPDIR:-/tmp}/pkgmgr-wine-$(id -u)}
root=$(cd "$root" && pwd)
shared_arch=${PKGMGR_WINE_SHARED_ARCH:-win64}
arch=${PKGMGR_WINE_ARCH:-$shared_arch}

export WINEDEBUG=-all,err+sync
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME=$root/home
export DISPLAY=$(cat "$root/display")

program=$1
stacks=${PKGMGR_WINE_STACKS:-$(dirname "$program")/wine_stacks.exe}
stacks_after=${PKGMGR_WINE_STACKS_AFTER:-150}

# Names the frames of the program itself, which has no debugging information, by the
# function of its symbol table that each lies in.
name_frames() {
    local nm=x86_64-w64-mingw32-nm
    if ! command -v "$nm" >/dev/null; then cat; return; fi
    awk -v module="$(basename "$program" .exe)" '
        function pad(hex) { while (length(hex) < 16) hex = "0" hex; return hex }
        NR == FNR {
            if ($2 ~ /^[tT]$/) { n++; at[n] = pad($1); name[n] = substr($0, index($0, " " $2 " ") + 3) }
            next
        }
        { sub(/\r$/, "") }
        $2 == module {
            low = 1; high = n; found = 0
            while (low <= high) {
                mid = int((low + high) / 2)
                if (at[mid] <= $1) { found = mid; low = mid + 1 } else high = mid - 1
            }
            if (found) { print $0 " " name[found]; fflush(); next }
        }
        { print; fflush() }' <("$nm" -n -C "$program" 2>/dev/null) -
}

# Runs the program and waits for it; past the limit, prints its threads' stacks once.
# The caller turns errexit off: the status is the program's.
run_program() {
    local pid shown=
    wine "$@" <&0 &
    pid=$!
    SECONDS=0
    while kill -0 "$pid" 2>/dev/null; do
        if [ -z "$shown" ] && [ "$SECONDS" -ge "$stacks_after" ]; then
            shown=1
            echo "run-test: $(basename "$program") still runs after $SECONDS s; the stacks of its threads:" >&2
            if [ -f "$stacks" ]; then
                timeout 100 wine "$stacks" "$(basename "$program")" | name_frames >&2 ||
                    echo "run-test: wine_stacks.exe failed or overran" >&2
            else
                echo "run-test: no $stacks" >&2
            fi
        fi
        # Short steps at first: most test programs end within a few seconds.
        if [ "$SECONDS" -lt 5 ]; then sleep 0.1; else sleep 1; fi
    done
    wait "$pid"
}

version=${PKGMGR_WINE_VERSION:-}
if [ -z "$version" ] && [ -z "${PKGMGR_WINE_ISOLATE:-}" ]; then
    export WINEPREFIX=$root/shared WINEARCH=$shared_arch
    set +e
    run_program "$@"
    exit $?
fi

template=$("$here/session.sh" template "$arch")
mkdir -p "$root/cases"
case_dir=$(mktemp -d "$root/cases/case.XXXXXX")
export WINEPREFIX=$case_dir/prefix WINEARCH=$arch
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$case_dir"
}
trap cleanup EXIT
cp -a "$template" "$WINEPREFIX"

# Registry edits that set the emulated system; reported when they fail, never silent.
# `wine reg` may be the 32-bit reg.exe, which sees the redirected 32-bit view of a
# 64-bit prefix, so each edit names its view. A 64-bit prefix gets the version values
# in both views: 64-bit programs read one, 32-bit programs under WoW64 the other.
views=(/reg:64)
[ "$arch" = win64 ] && views=(/reg:64 /reg:32)
reg() {
    local attempt view
    for view in "${views[@]}"; do
        for attempt in 1 2 3; do
            wine reg "$@" "$view" >/dev/null 2>&1 && continue 2
            sleep 1
        done
        echo "run-test: wine reg $* $view failed" >&2
        return 1
    done
}

nt_key='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
case $version in
"" ) ;;
nt40sp3)
    # Wine's own "nt40" reports Service Pack 6a; an older pack needs the values by hand.
    reg add "$nt_key" /v CurrentVersion /d 4.0 /f
    reg add "$nt_key" /v CSDVersion /d "Service Pack 3" /f
    reg add "$nt_key" /v CurrentBuildNumber /d 1381 /f
    for view in "${views[@]}"; do
        wine reg delete "$nt_key" /v CurrentMajorVersionNumber /f "$view" >/dev/null 2>&1 || true
        wine reg delete "$nt_key" /v CurrentMinorVersionNumber /f "$view" >/dev/null 2>&1 || true
    done
    # The server writes the registry out as it ends; the next start reads these values.
    wineserver -k || true
    ;;
*)
    views=(/reg:64)  # HKEY_CURRENT_USER is one view for both kinds of program
    reg add 'HKCU\Software\Wine' /v Version /d "$version" /f
    ;;
esac

set +e
run_program "$@"
status=$?
set -e
exit $status
