#!/usr/bin/env bash
# Times silent installations and removals of setup.exe under Wine and prints
# two tables: the sample package in settings mode, and the sample package in
# descriptor mode with its QUVOZEM.xml padded to 1 MiB (large-descriptor.sh).
#
#   bench/install/run.sh
#
# Environment:
#   RUNS=10         timed runs per measurement (hyperfine --runs)
#   WARMUP=1        untimed runs before them (same preparation and checks)
#   VARIANTS="warm cold defaults"   the Wine set-ups to time, see below
#   PACKAGES="settings descriptor"  the sample packages to time
#   TRACE_RUNS=5    traced runs for the breakdown (warm set-up; 0: none)
#   SKIP_BUILD=1    use the setup.exe already in build/windows and build/windows-x86
#   BENCH_WORK=DIR  work folder (default build/bench-install); the template
#                   prefix made there is reused by later runs
#
# Method: both Windows builds are made; the 64-bit setup.exe runs here. The
# Wine template prefix is made once with "wineboot -i"; every package gets a
# fresh copy of it, with its wineserver kept running (wineserver -p), on an
# Xvfb display. hyperfine times "wine C:\pkg\setup.exe /S" and
# "wine C:\windows\_zemu000.exe /S /U". Before every run (warm-up included)
# the machine goes back to the same clean state: program folder, uninstaller,
# shortcuts, download folders, temporary folder and the registry keys are
# wiped; before a removal one untimed installation follows. The same hook
# checks the previous run: its files, its registry records and "Setup" =
# "0000"; hyperfine records the exit codes.
#
# Two costs belong to Wine on a bare Xvfb display, not to the program, and a
# booted Windows has neither; the variants show them:
#   warm      the desktop process (explorer.exe /desktop) kept running by a
#             hidden window of another program, and the prefix's X11 driver
#             told to leave windows unmanaged ("Managed"="N", as the options
#             tests do): the main rows
#   cold      windows unmanaged, but no program holds the desktop: Wine closes
#             it one second after the last window goes, so every run starts it
#             again (each preparation waits for that)
#   defaults  cold desktop and Wine's default managed windows, as the shared
#             peer benchmark (compare.sh) runs: hiding a shown managed window
#             waits up to two seconds for a window manager, and there is none.
#             The progress window, shown also in silent mode, pays that when
#             it is destroyed.
#
# Every phase that completes pauses 50 ms. A silent run of the sample package
# completes all of them: installation 8 (files, shortcuts, program folder,
# identity, search folders, menu and internet, install records, uninstall
# entry; only /W skips the shortcuts phase, without its pause), removal 7.
# The traced runs count the pauses (Sleep(50) calls) to confirm it.
# "work" = total - pauses.
set -euo pipefail

SELF=$(readlink -f "$0")
HERE=$(dirname "$SELF")
ROOT=$(cd "$HERE/../.." && pwd)
RUNS=${RUNS:-10}
WARMUP=${WARMUP:-1}
VARIANTS=${VARIANTS:-warm cold defaults}
PACKAGES=${PACKAGES:-settings descriptor}
TRACE_RUNS=${TRACE_RUNS:-5}
PAUSE_MS=50
INSTALL_PAUSES=8
REMOVAL_PAUSES=7
DESCRIPTOR_BYTES=1048576

PRODUCT_KEY='HKLM\SOFTWARE\QUVO\VeltranoSoftwareInstaller'
UNINST_KEY='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VeltranoSoftwareInstaller'
USER_KEY='HKCU\SOFTWARE\QUVO\VeltranoSoftwareInstaller'
X11_KEY='HKCU\Software\Wine\X11 Driver'
# command lines as hyperfine -N splits them (shell words)
# shellcheck disable=SC2089,SC2090
INSTALL_CMD="wine 'C:\\pkg\\setup.exe' /S"
REMOVAL_CMD="wine 'C:\\windows\\_zemu000.exe' /S /U"

log() { printf '[%s] %s\n' "$(date +%T)" "$*" >&2; }
die() { log "error: $*"; exit 1; }

# ---- machine state: reset and checks (also run as hyperfine --prepare hooks) ----

# The installed names of a package's files; the setup data file differs by mode.
installed_names() {  # package
    local data=ZemSetup.ini
    [[ $1 == descriptor ]] && data=ZemSetup.xml
    echo "PkgMgr.exe $data ZemSetup.dat ZemSetup.dll ZEMSYSID.sys ZEMSYSID.vxd zemliba.dll" \
        "zemlibb.dll unicows.dll ZEMNTDEV.sys ZemFlash.dll"
}
source_of() {  # installed name -> name in the package folder
    case $1 in
    PkgMgr.exe) echo PkgMgr ;;
    ZemSetup.ini) echo PkgMgr.zem ;;
    ZemSetup.xml) echo QUVOZEM.xml ;;
    *) echo "$1" ;;
    esac
}

paths() {
    local c=${WINEPREFIX:?}/drive_c d
    P_PKG=$c/pkg
    P_PROG="$c/Program Files/PkgMgr"
    P_UNINST=$c/windows/_zemu000.exe
    P_START="$c/ProgramData/Microsoft/Windows/Start Menu"
    P_MENU="$P_START/Programs/Package Manager"
    for d in "$c"/users/*/Desktop; do [[ $d == */Public/* ]] || P_DESK=$d; done
    P_TEMP=$(dirname "$P_DESK")/Temp
}

reset_state() {
    paths
    # reg.exe by its view: with wine32 installed, `wine reg` is the 32-bit one, which
    # would see the redirected 32-bit view of this 64-bit prefix.
    local key
    for key in 'HKLM\SOFTWARE\QUVO' 'HKCU\SOFTWARE\QUVO' "$UNINST_KEY" \
        'HKLM\SOFTWARE\Microsoft\Internet Explorer\Extensions\{7B3E9C41-A52D-4e8b-9F06-D2C4817E35AB}'; do
        wine reg delete "$key" /f /reg:64 >/dev/null 2>&1 || true
    done
    wine reg delete 'HKLM\System\CurrentControlSet\Control\Session Manager' \
        /v PendingFileRenameOperations /f /reg:64 >/dev/null 2>&1 || true
    rm -rf "${P_PROG:?}" "${P_UNINST:?}" "${P_MENU:?}" "$P_DESK/Package Manager.lnk" \
        "$P_START/Package Manager.lnk" "$WINEPREFIX/drive_c/DRIVERS" \
        "$WINEPREFIX/drive_c/PkgMgr Drivers" "$WINEPREFIX/drive_c/PkgMgr Downloads"
    find "$P_TEMP" -mindepth 1 -delete 2>/dev/null || true
}

# "name|data" lines of the values of one key (wine reg query output)
# A missing key or value gives exit code 1; any other failure of "reg" is
# tried again, and its code is kept in REG_RC for the check's report.
reg_values() {
    local out
    for _ in 1 2 3; do
        out=$(wine reg query "$@" /reg:64 2>/dev/null) && REG_RC=0 || REG_RC=$?
        ((REG_RC > 1)) || break
        sleep 0.5
    done
    tr -d '\r' <<<"$out" |
        awk -F'    ' '/^    / && NF >= 4 { d = $4; for (i = 5; i <= NF; i++) d = d "    " $i; print $2 "|" d }'
}
want() {  # lines name|data -> records a failure when missing
    grep -qxF -- "$2" <<<"$1" || ERRS+=("no $3 $2")
}

check_installed() {  # package
    local n
    paths
    ERRS=()
    for n in $(installed_names "$1"); do
        cmp -s "$P_PKG/$(source_of "$n")" "$P_PROG/$n" || ERRS+=("file $n")
    done
    cmp -s "$P_PKG/setup.exe" "$P_UNINST" || ERRS+=("file _zemu000.exe")
    [[ -f "$P_MENU/Package Manager.lnk" ]] || ERRS+=("menu shortcut")
    local product uninst user
    reg_values "$PRODUCT_KEY" >"$WORK/state/product.txt"
    product=$(<"$WORK/state/product.txt")
    [[ -n $product ]] || ERRS+=("product key query rc=$REG_RC")
    uninst=$(reg_values "$UNINST_KEY")
    user=$(reg_values "$USER_KEY" /v Setup)
    want "$product" "ProgDir|C:\\Program Files\\PkgMgr" value
    want "$product" "Name|Package Manager" value
    want "$product" "Version|1.03.0000" value
    want "$uninst" "DisplayName|Package Manager" value
    want "$uninst" "UninstallString|_zemu000.exe /U" value
    want "$user" "Setup|0000" value
    if ((${#ERRS[@]})); then echo "FAIL $(IFS=';'; echo "${ERRS[*]}")"; else echo OK; fi
}

check_removed() {  # package
    local n
    paths
    ERRS=()
    for n in $(installed_names "$1"); do
        [[ ! -e $P_PROG/$n ]] || ERRS+=("left $n")
    done
    [[ ! -e "$P_MENU/Package Manager.lnk" ]] || ERRS+=("left menu shortcut")
    [[ -z $(reg_values "$UNINST_KEY") ]] || ERRS+=("left uninstall entry")
    [[ -z $(reg_values "$PRODUCT_KEY" /v ProgDir) ]] || ERRS+=("left ProgDir")
    want "$(reg_values "$USER_KEY" /v Setup)" "Setup|0000" value
    if ((${#ERRS[@]})); then echo "FAIL $(IFS=';'; echo "${ERRS[*]}")"; else echo OK; fi
}

# hook <package> <install|removal> <variant> [final]: before each run, checks
# the previous one (if any) and prepares the next.
hook() {
    local package=$1 what=$2 variant=$3 name=$1-$2-$3 count n v
    count=$WORK/state/$name.count
    n=$(cat "$count" 2>/dev/null || echo 0)
    if ((n > 0)); then
        if [[ $what == install ]]; then v=$(check_installed "$package"); else v=$(check_removed "$package"); fi
        if ((n > WARMUP)); then echo "run$((n - WARMUP)) $v"; else echo "warmup$n $v"; fi >>"$WORK/check-$name.log"
    fi
    [[ ${4:-} == final ]] && return 0
    reset_state
    if [[ $what == removal ]]; then
        eval "set -- $INSTALL_CMD"
        "$@" >/dev/null 2>&1 && v=0 || v=$?
        echo "prep$((n + 1)) install rc=$v $(check_installed "$package")" >>"$WORK/prep-$name.log"
    fi
    # Wine closes an unused desktop one second after its last window went.
    [[ $variant == warm ]] || sleep 1.2
    echo $((n + 1)) >"$count"
}

if [[ ${1:-} == --hook ]]; then
    shift
    hook "$@" || true
    exit 0
fi

# ---- set-up -------------------------------------------------------------------------
if [[ -z ${BENCH_IN_XVFB:-} ]]; then
    bash "$ROOT/scripts/install-deps.sh" hyperfine jq >&2
    export BENCH_IN_XVFB=1
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$SELF" "$@"
fi

WORK=${BENCH_WORK:-$ROOT/build/bench-install}
mkdir -p "$WORK"
WORK=$(cd "$WORK" && pwd)
# shellcheck disable=SC2090
export WORK RUNS WARMUP INSTALL_CMD
export WINEDEBUG=-all WINEARCH=win64
# mscoree/mshtml: no Mono/Gecko prompts; winemenubuilder: no menu entries in $HOME
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME=$WORK/home
unset LANG LANGUAGE LC_ALL || true
export LC_ALL=C.UTF-8
mkdir -p "$HOME"

cd "$ROOT"
if [[ -z ${SKIP_BUILD:-} ]]; then
    log "building the presets windows and windows-x86"
    cmake --preset windows >/dev/null
    cmake --build --preset windows --target setup pkgmgr_app unicows_standin >&2
    cmake --preset windows-x86 >/dev/null
    cmake --build --preset windows-x86 --target setup >&2
fi
BIN=$ROOT/build/windows/bin
for f in "$BIN/setup.exe" "$BIN/PkgMgr.exe" "$ROOT/build/windows-x86/bin/setup.exe"; do
    [[ -f $f ]] || die "$f is missing"
done

# A hidden window of another program keeps the prefix's desktop running.
KEEPER=""
hold_desktop() {
    wine 'C:\keeper.exe' >/dev/null 2>&1 &
    KEEPER=$!
    sleep 1
}
release_desktop() {
    if [[ -n $KEEPER ]]; then
        kill "$KEEPER" 2>/dev/null || true
        wait "$KEEPER" 2>/dev/null || true
        KEEPER=""
    fi
}

STARTED=()
cleanup() {
    local p
    release_desktop
    for p in "${STARTED[@]}"; do WINEPREFIX=$p wineserver -k 2>/dev/null || true; done
    rm -rf "$WORK"/pfx-*
}
trap cleanup EXIT
for p in "$WORK"/pfx-*; do  # left by an interrupted run
    if [[ -d $p ]]; then WINEPREFIX=$p wineserver -k 2>/dev/null || true; fi
done
rm -rf "$WORK"/pfx-* "$WORK"/state "$WORK"/*.json "$WORK"/*.log "$WORK"/res-*.txt "$WORK"/trace-*.txt \
    "$WORK"/*-breakdown.txt "$WORK"/report.txt
mkdir -p "$WORK/state"

# A GUI program that exits at once: the floor of one run under Wine.
cat >"$WORK/trivial.c" <<'EOF'
#include <windows.h>
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)instance; (void)previous; (void)commandLine; (void)show;
    return 0;
}
EOF
x86_64-w64-mingw32-gcc -O2 -s -mwindows -o "$WORK/trivial.exe" "$WORK/trivial.c"
# A hidden window that stays until the program is ended: it holds the desktop.
cat >"$WORK/keeper.c" <<'EOF'
#include <windows.h>
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)previous; (void)commandLine; (void)show;
    HWND window = CreateWindowExA(0, "STATIC", "bench desktop keeper", WS_POPUP, 0, 0, 1, 1,
                                  NULL, NULL, instance, NULL);
    MSG message;
    while (window && GetMessageA(&message, NULL, 0, 0) > 0)
        DispatchMessageA(&message);
    return 0;
}
EOF
x86_64-w64-mingw32-gcc -O2 -s -mwindows -o "$WORK/keeper.exe" "$WORK/keeper.c"
# The least a program with setup.exe's manifest pays to show a progress window:
# a dialog like setup.exe's progress window, created, shown and destroyed.
cat >"$WORK/window.rc" <<EOF
#include <windows.h>
1 24 "$ROOT/build/windows/resources/setup.manifest"
102 DIALOG 0, 0, 236, 49
STYLE DS_SETFONT | DS_MODALFRAME | WS_POPUP
FONT 8, "MS Sans Serif"
BEGIN
    CONTROL "", 1005, "msctls_progress32", WS_VISIBLE | WS_BORDER, 17, 17, 201, 15
END
EOF
cat >"$WORK/window.c" <<'EOF'
#include <windows.h>
#include <commctrl.h>
static INT_PTR CALLBACK dialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    (void)window; (void)wParam; (void)lParam;
    return message == WM_INITDIALOG;
}
int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR commandLine, int show)
{
    (void)previous; (void)commandLine; (void)show;
    InitCommonControls();
    HWND window = CreateDialogParamA(instance, MAKEINTRESOURCEA(102), NULL, dialogProc, 0);
    if (window) {
        MSG message;
        ShowWindow(window, SW_SHOW);
        while (PeekMessageA(&message, NULL, 0, 0, PM_REMOVE))
            DispatchMessageA(&message);
        DestroyWindow(window);
    }
    return 0;
}
EOF
x86_64-w64-mingw32-windres "$WORK/window.rc" -O coff -o "$WORK/window.res"
x86_64-w64-mingw32-gcc -O2 -s -mwindows -o "$WORK/window.exe" "$WORK/window.c" "$WORK/window.res" -lcomctl32

if [[ ! -f $WORK/template/.ready ]]; then
    log "making the template prefix (wineboot -i)"
    rm -rf "$WORK/template"
    WINEPREFIX=$WORK/template wineboot -i >/dev/null 2>&1
    WINEPREFIX=$WORK/template wineserver -w
    # The profile folders link to $HOME; real folders keep each copy's shortcuts inside it.
    for d in "$WORK"/template/drive_c/users/*/*; do
        if [[ -L $d ]]; then rm "$d"; mkdir "$d"; fi
    done
    touch "$WORK/template/.ready"
fi

# ---- timing ---------------------------------------------------------------------------
# measure <name> <prepare or ""> <command>: hyperfine; "seconds exit-code" lines in res-<name>.txt
measure() {
    local name=$1 prep=$2 cmd=$3
    local args=(-N -i --style basic --runs "$RUNS" --warmup "$WARMUP" --export-json "$WORK/$name.json")
    [[ -n $prep ]] && args+=(--prepare "$prep")
    hyperfine "${args[@]}" "$cmd" >&2
    jq -r '.results[0] | [.times, .exit_codes] | transpose[] | "\(.[0]) \(.[1])"' \
        "$WORK/$name.json" >"$WORK/res-$name.txt"
}

# Traced runs: the relay trace of a few calls of the program marks where each
# part of a run begins (breakdown.py); it also counts the pauses.
# Only calls made by the program itself are traced, which keeps the trace cheap.
RELAY_CALLS='KERNEL32.GetVersionExA;user32.CreateDialogParamA;user32.FindWindowA;KERNEL32.OpenMutexA;KERNEL32.Sleep;user32.DestroyWindow;advapi32.RegCreateKeyExA'
RELAY_FROM='setup.exe;_zemu000.exe'
traced_run() {  # command output
    local out=$2 s e
    eval "set -- $1"
    s=$(date +%s%N)
    WINEDEBUG=+timestamp,+relay,+loaddll "$@" 2>"$out.raw" >/dev/null || true
    e=$(date +%s%N)
    { echo "total $(awk -v a="$s" -v b="$e" 'BEGIN { printf "%.4f", (b - a) / 1e9 }')"; cat "$out.raw"; } >"$out"
    rm -f "$out.raw"
}
trace_package() {  # package
    local package=$1 i
    wine reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d "$RELAY_CALLS" /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Debug' /v RelayFromInclude /d "$RELAY_FROM" /f >/dev/null 2>&1
    for ((i = 1; i <= TRACE_RUNS; i++)); do
        reset_state
        traced_run "$INSTALL_CMD" "$WORK/trace-$package-install-$i.txt"
        traced_run "$REMOVAL_CMD" "$WORK/trace-$package-removal-$i.txt"
    done
    wine reg delete 'HKCU\Software\Wine\Debug' /f >/dev/null 2>&1 || true
    {
        python3 "$HERE/breakdown.py" install "$WORK"/trace-"$package"-install-*.txt
        python3 "$HERE/breakdown.py" removal "$WORK"/trace-"$package"-removal-*.txt
    } >"$WORK/$package-breakdown.txt"
}

set_managed() {  # Y|N
    if [[ $1 == N ]]; then wine reg add "$X11_KEY" /v Managed /d N /f >/dev/null 2>&1
    else wine reg delete "$X11_KEY" /v Managed /f >/dev/null 2>&1 || true; fi
}

bench_package() {  # package
    local package=$1 v
    export WINEPREFIX=$WORK/pfx-$package
    log "[$package] fresh prefix"
    cp -a "$WORK/template" "$WINEPREFIX"
    STARTED+=("$WINEPREFIX")
    tools/make-sample-package.sh "$BIN" "$WINEPREFIX/drive_c/pkg" "$package" >&2
    if [[ $package == descriptor ]]; then
        bench/install/large-descriptor.sh "$WINEPREFIX/drive_c/pkg/QUVOZEM.xml" "$DESCRIPTOR_BYTES"
        touch -d '2004-01-01 00:00:00 UTC' "$WINEPREFIX/drive_c/pkg/QUVOZEM.xml"
    fi
    cp "$WORK/trivial.exe" "$WORK/keeper.exe" "$WORK/window.exe" "$WINEPREFIX/drive_c/"
    wineserver -p
    wine cmd /c exit 0 >/dev/null 2>&1   # starts the prefix's services

    log "[$package] floor: trivial GUI program"
    measure "$package-floor" "" "wine 'C:\\trivial.exe'"

    for v in $VARIANTS; do
        case $v in
        warm) set_managed N; hold_desktop ;;
        cold) set_managed N ;;
        defaults) set_managed Y ;;
        *) die "unknown variant $v" ;;
        esac
        if [[ $v == warm ]]; then
            log "[$package] $v: floor: progress window"
            measure "$package-window" "" "wine 'C:\\window.exe'"
        fi
        log "[$package] $v: install x$RUNS (+$WARMUP warm-up)"
        measure "$package-install-$v" "bash '$SELF' --hook $package install $v" "$INSTALL_CMD"
        bash "$SELF" --hook "$package" install "$v" final
        log "[$package] $v: removal x$RUNS (+$WARMUP warm-up)"
        measure "$package-removal-$v" "bash '$SELF' --hook $package removal $v" "$REMOVAL_CMD"
        bash "$SELF" --hook "$package" removal "$v" final
        if [[ $v == warm ]] && ((TRACE_RUNS > 0)); then
            log "[$package] $v: $TRACE_RUNS traced installs and removals"
            trace_package "$package"
        fi
        release_desktop
    done
    wineserver -k || true
}

T0=$(date +%s)
LOAD0=$(cut -d' ' -f1-3 /proc/loadavg)
for package in $PACKAGES; do bench_package "$package"; done

# ---- report ----------------------------------------------------------------------------
stats() {  # file [minus seconds] -> "median min max"
    cut -d' ' -f1 "$1" | sort -g | awk -v minus="${2:-0}" '{ v[NR] = $1 - minus } END {
        m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
        printf "%.3f %.3f %.3f\n", m, v[1], v[NR] }'
}
exits() {  # file -> "zero/total"
    awk '{ n++; if ($2 == 0) z++ } END { printf "%d/%d", z, n }' "$1"
}
checks() {  # check log -> "ok/total" over the timed runs
    awk '$1 ~ /^run/ { n++; if ($2 == "OK") ok++ } END { printf "%d/%d", ok, n }' "$1" 2>/dev/null
}
row() {  # label results-name pauses
    local label=$1 name=$2 pauses=$3 m lo hi wm wlo whi pause
    read -r m lo hi < <(stats "$WORK/res-$name.txt")
    pause=$(awk -v n="$pauses" -v ms="$PAUSE_MS" 'BEGIN { printf "%.3f", n * ms / 1000 }')
    read -r wm wlo whi < <(stats "$WORK/res-$name.txt" "$pause")
    printf '%-29s %7s %7s %7s %7s  %7s %7s %7s  %6s %6s\n' "$label" "$m" "$lo" "$hi" "$pause" \
        "$wm" "$wlo" "$whi" "$(exits "$WORK/res-$name.txt")" "$(checks "$WORK/check-$name.log")"
}
table() {  # package title
    local package=$1 v suffix m lo hi
    echo
    echo "== $2"
    printf '%-29s %23s %7s  %23s\n' "" "------- total -------" "fixed" "-- work = total-pauses -"
    printf '%-29s %7s %7s %7s %7s  %7s %7s %7s  %6s %6s\n' "seconds" median min max pauses \
        median min max "exit 0" checks
    for v in warm cold defaults; do
        [[ -f $WORK/res-$package-install-$v.txt ]] || continue
        case $v in
        warm) suffix="" ;;
        cold) suffix=", cold desktop" ;;
        defaults) suffix=", Wine defaults" ;;
        esac
        row "install /S$suffix" "$package-install-$v" "$INSTALL_PAUSES"
        row "removal /S /U$suffix" "$package-removal-$v" "$REMOVAL_PAUSES"
    done
    read -r m lo hi < <(stats "$WORK/res-$package-floor.txt")
    printf '%-29s %7s %7s %7s\n' "wine floor: trivial GUI exe" "$m" "$lo" "$hi"
    if [[ -f $WORK/res-$package-window.txt ]]; then
        read -r m lo hi < <(stats "$WORK/res-$package-window.txt")
        printf '%-29s %7s %7s %7s\n' "floor with progress window" "$m" "$lo" "$hi"
    fi
    if [[ -f $WORK/$package-breakdown.txt ]]; then
        echo "where the time goes (warm set-up; median of traced runs, which trace a few calls):"
        sed 's/^/  /' "$WORK/$package-breakdown.txt"
    fi
}
kib() { awk -v b="$1" 'BEGIN { printf "%.1f", b / 1024 }'; }

X86=$(stat -c %s "$ROOT/build/windows-x86/bin/setup.exe")
X64=$(stat -c %s "$ROOT/build/windows/bin/setup.exe")
{
    echo
    echo "== setup.exe under Wine: $RUNS timed runs each (+$WARMUP warm-up), $(wine --version 2>/dev/null)," \
        "$(nproc) CPUs, load average at start $LOAD0, $(hyperfine --version), $(date -u +%FT%TZ)"
    echo "   main rows: desktop kept running, windows unmanaged; \"cold desktop\": Wine starts its desktop"
    echo "   in every run; \"Wine defaults\": also managed windows, whose hiding waits 2 s for a window"
    echo "   manager (there is none): the progress window pays that when it is destroyed"
    echo "   work = total - pauses ($PAUSE_MS ms each); exit 0 and checks (files, registry, \"Setup\" = 0000) per timed run"
    for package in $PACKAGES; do
        if [[ $package == settings ]]; then
            table settings "settings package (C:\\pkg: setup.exe, PkgMgr.zem, ZemSetup.dat and 9 more files)"
        else
            table descriptor "descriptor package (the same with QUVOZEM.xml of $DESCRIPTOR_BYTES bytes instead of PkgMgr.zem)"
        fi
    done
    echo
    echo "setup.exe size: windows-x86 (i686) $X86 bytes ($(kib "$X86") KiB)," \
        "windows (x86_64) $X64 bytes ($(kib "$X64") KiB)"
    echo "wall time $(($(date +%s) - T0)) s; raw times, hyperfine JSON and check logs in $WORK"
} | tee "$WORK/report.txt"
