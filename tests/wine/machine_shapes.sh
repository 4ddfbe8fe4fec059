#!/usr/bin/env bash
# Whole runs of setup.exe on machines shaped as users have them, each in a prefix of its
# own, with the machine checked after every step (and after the restart, which
# `wineboot -r` performs as Windows does).
#
#   machine_shapes.sh BINDIR SHAPE
#
# SHAPE:
#   volume   the program folder on a second volume (D:, a tmpfs): an update while the
#            application runs, then the restart
#   restart  runs one after another before a restart: a removal while the application
#            runs, then an installation; an installation while it runs, then a removal
#   gone     the program folder's drive is gone at the removal, then back
#   held     an update and a removal while another process holds a file open without
#            sharing and shows neither window nor mutex (the application in another
#            session), each finished by the restart
#   names    the temporary folder, the setup folder and the desktop named outside the
#            ANSI code page (1252 here), beside a setup folder with the best-fit name
#   japanese a Japanese system (code page 932): the setup folder, the program folder
#            and the menu group named with characters whose second byte is a backslash
# Prints "ok SHAPE: what" or "FAIL SHAPE: what" per check; exits 1 when one failed.
set -euo pipefail

bin=$(cd "${1:?usage: machine_shapes.sh BINDIR SHAPE}" && pwd)
shape=${2:?usage: machine_shapes.sh BINDIR SHAPE}
here=$(cd "$(dirname "$0")" && pwd)
top=$(cd "$here/../.." && pwd)

"$here/session.sh" ensure
root=${PKGMGR_WINE_ROOT:-${TMPDIR:-/tmp}/pkgmgr-wine-$(id -u)}
root=$(cd "$root" && pwd)
arch=${PKGMGR_WINE_SHARED_ARCH:-win64}
template=$("$here/session.sh" template "$arch")
mkdir -p "$root/cases"
case_dir=$(mktemp -d "$root/cases/shape.XXXXXX")
volume=$(mktemp -d /dev/shm/pkgmgr-volume.XXXXXX)  # another file system than C:

export WINEPREFIX=$case_dir/prefix WINEARCH=$arch WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export HOME=$root/home DISPLAY=$(cat "$root/display")
unset LANG LANGUAGE || true
export LC_ALL=C.UTF-8  # ANSI code page 1252
if [ "$shape" = japanese ]; then
    # Wine takes the code page (932) from the locale and maps names to Unix ones
    # through it: without the glibc locale every name outside ASCII fails.
    if ! locale -a 2>/dev/null | grep -qix 'ja_JP.utf-\?8'; then
        export LOCPATH=$root/locale
        mkdir -p "$LOCPATH"
        [ -d "$LOCPATH/ja_JP.UTF-8" ] || localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" >/dev/null 2>&1 ||
            [ -d "$LOCPATH/ja_JP.UTF-8" ] || { echo "FAIL japanese: the locale ja_JP.UTF-8 cannot be made" >&2; exit 1; }
    fi
    export LC_ALL=ja_JP.UTF-8
fi
app_pid=""
cleanup() {
    [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$case_dir" "$volume"
}
trap cleanup EXIT
cp -a "$template" "$WINEPREFIX"
c=$WINEPREFIX/drive_c

failed=0
check() {  # what, then a command that succeeds when the machine is as expected
    local what=$1
    shift
    if "$@"; then echo "ok $shape: $what"; else echo "FAIL $shape: $what"; failed=1; fi
}
same() { [ "$1" = "$2" ] || { echo "  expected [$2], found [$1]" >&2; return 1; }; }
absent() { [ ! -e "$1" ] || { echo "  still there: $1" >&2; return 1; }; }
holds() { [ -f "$1" ] && grep -q "$2" "$1" || { echo "  $1 does not hold $2" >&2; return 1; }; }

reg() { wine reg "$@" /reg:64 >/dev/null 2>&1; }
product='HKLM\SOFTWARE\QUVO\VeltranoSoftwareInstaller'
value() {  # key, name: the value's data, or "(none)"
    local out
    out=$(wine reg query "$1" /v "$2" /reg:64 2>/dev/null | tr -d '\r' |
          sed -n "s/^ *$2 *REG_[A-Z_]* *//p") || true
    echo "${out:-(none)}"
}
pending() { value 'HKLM\System\CurrentControlSet\Control\Session Manager' PendingFileRenameOperations; }

# A setup folder (Unix path) of the sample package whose files carry MARK.
package() {
    bash "$top/tools/make-sample-package.sh" "$bin" "$1" settings >/dev/null
    printf 'payload %s\r\n' "$2" >"$1/ZemSetup.dll"
}
run() {  # Windows path of an executable, options: the exit code
    local status=0
    wine "$@" >/dev/null 2>&1 || status=$?
    echo "$status"
}
uninstall() { run 'C:\windows\_zemu000.exe' /S /U; }
# The application, holding the product's mutex until stop_app.
start_app() {
    mkdir -p "$c/app"
    cp "$bin/PkgMgr.exe" "$c/app/PkgMgr.exe"
    rm -f "$c/app/held"
    wine 'C:\app\PkgMgr.exe' /hold "Package Manager" /for 600000 /note 'C:\app\held' >/dev/null 2>&1 &
    app_pid=$!
    for _ in $(seq 300); do [ -f "$c/app/held" ] && return 0; sleep 0.1; done
    echo "  the application did not start" >&2
    return 1
}
# A process that holds the file (Windows path) open without sharing, until stop_app.
hold_file() {
    mkdir -p "$c/app"
    cp "$bin/PkgMgr.exe" "$c/app/PkgMgr.exe"
    rm -f "$c/app/held"
    wine 'C:\app\PkgMgr.exe' /lock "$1" /for 600000 /note 'C:\app\held' >/dev/null 2>&1 &
    app_pid=$!
    for _ in $(seq 300); do [ -f "$c/app/held" ] && return 0; sleep 0.1; done
    echo "  the file is not held" >&2
    return 1
}
stop_app() { kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; app_pid=""; }
# The server ends once every program has: then the restart's work is done and saved.
restart() { wine wineboot -r >/dev/null 2>&1 || true; wineserver -w; }

case $shape in
volume)
    ln -s "$volume" "$WINEPREFIX/dosdevices/d:"
    reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir /d 'D:\Programs' /f
    prog=$volume/Programs/PkgMgr
    package "$c/pkg1" one
    check "installation on D:" same "$(run 'C:\pkg1\setup.exe' /S)" 0
    check "the files are on D:" holds "$prog/ZemSetup.dll" "payload one"
    package "$c/pkg2" two
    start_app
    check "update while the application runs" same "$(run 'C:\pkg2\setup.exe' /S)" 0
    check "the running version stays until the restart" holds "$prog/ZemSetup.dll" "payload one"
    stop_app
    restart
    check "after the restart the new files are in place" holds "$prog/ZemSetup.dll" "payload two"
    check "after the restart the application is there" test -s "$prog/PkgMgr.exe"
    check "after the restart the uninstaller is there" test -s "$c/windows/_zemu000.exe"
    check "no staging folder is left beside the files" bash -c "! compgen -G '$prog/PkgMgrSetup-*' >/dev/null"
    check "nothing is left pending" same "$(pending)" "(none)"
    check "removal" same "$(uninstall)" 0
    check "the files are gone from D:" absent "$prog/PkgMgr.exe"
    ;;
restart)
    mkdir -p "$c/other"
    echo other >"$c/other/a.txt"
    # Another program's operation, which every run must leave as it is.
    reg add 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations \
        /t REG_MULTI_SZ /d '\??\C:\other\a.txt\0!\??\C:\other\b.txt' /f
    prog="$c/Program Files/PkgMgr"
    package "$c/pkg1" one
    check "installation" same "$(run 'C:\pkg1\setup.exe' /S)" 0
    start_app
    check "removal while the application runs" same "$(uninstall)" 0
    stop_app
    check "installation before the restart" same "$(run 'C:\pkg1\setup.exe' /S)" 0
    restart
    check "the other program's operation was carried out" holds "$c/other/b.txt" other
    check "after the restart the installation is complete" holds "$prog/ZemSetup.dll" "payload one"
    check "after the restart the application is there" test -s "$prog/PkgMgr.exe"
    check "after the restart the records say installed" same "$(value "$product" Name)" "Package Manager"

    package "$c/pkg2" two
    start_app
    check "update while the application runs" same "$(run 'C:\pkg2\setup.exe' /S)" 0
    stop_app
    check "removal before the restart" same "$(uninstall)" 0
    restart
    check "after the restart the files stay removed" absent "$prog/ZemSetup.dll"
    check "after the restart the application stays removed" absent "$prog/PkgMgr.exe"
    check "the records stay removed" same "$(value "$product" ProgDir)" "(none)"
    check "no staging folder is left" bash -c "! compgen -G '$c/users/*/Temp/PkgMgrSetup-*' >/dev/null"
    ;;
held)
    prog="$c/Program Files/PkgMgr"
    package "$c/pkg1" one
    check "installation" same "$(run 'C:\pkg1\setup.exe' /S)" 0
    package "$c/pkg2" two
    hold_file 'C:\Program Files\PkgMgr\PkgMgr.exe'
    check "update while a file is held ends 3010 (low byte 194)" same "$(run 'C:\pkg2\setup.exe' /S /R)" 194
    check "every file stays the old one until the restart" holds "$prog/ZemSetup.dll" "payload one"
    stop_app
    restart
    check "after the restart every file is the new one" holds "$prog/ZemSetup.dll" "payload two"
    check "after the restart the application is there" test -s "$prog/PkgMgr.exe"
    check "nothing is left pending" same "$(pending)" "(none)"
    hold_file 'C:\Program Files\PkgMgr\zemliba.dll'
    check "removal while a file is held" same "$(uninstall)" 0
    check "the files stay until the restart" test -s "$prog/ZemSetup.dll"
    stop_app
    restart
    check "after the restart the files are gone" absent "$prog/ZemSetup.dll"
    check "after the restart the held file is gone" absent "$prog/zemliba.dll"
    ;;
gone)
    ln -s "$volume" "$WINEPREFIX/dosdevices/d:"
    reg add 'HKLM\Software\Microsoft\Windows\CurrentVersion' /v ProgramFilesDir /d 'D:\Programs' /f
    package "$c/pkg1" one
    check "installation on D:" same "$(run 'C:\pkg1\setup.exe' /S)" 0
    rm "$WINEPREFIX/dosdevices/d:"
    check "removal with the drive gone fails the file phase" same "$(uninstall)" 10
    check "the records stay for a later removal" same "$(value "$product" ProgDir)" 'D:\Programs\PkgMgr'
    ln -s "$volume" "$WINEPREFIX/dosdevices/d:"
    check "removal with the drive back" same "$(uninstall)" 0
    check "the files are gone" absent "$volume/Programs/PkgMgr/PkgMgr.exe"
    check "the records are gone" same "$(value "$product" ProgDir)" "(none)"
    ;;
names)
    # Made by the run: the old shell copy made a missing temporary folder too.
    reg add 'HKCU\Environment' /v TEMP /d 'C:\users\张伟\Temp' /f
    reg add 'HKCU\Environment' /v TMP /d 'C:\users\张伟\Temp' /f
    reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\User Shell Folders' \
        /v Desktop /t REG_EXPAND_SZ /d 'C:\users\Иван\Desktop' /f
    wineserver -w  # new programs take the environment from the registry
    # An earlier desktop shortcut, so that the installation makes it again.
    mkdir -p "$c/users/Иван/Desktop"
    echo earlier >"$c/users/Иван/Desktop/Package Manager.lnk"
    package "$c/users/Łukasz/Downloads/pkg" real
    # What the best-fit spelling of the setup folder names: another package.
    package "$c/users/Lukasz/Downloads/pkg" decoy
    sed -i 's/^NAME=.*/NAME=Decoy Manager\r/' "$c/users/Lukasz/Downloads/pkg/PkgMgr.zem"
    prog="$c/Program Files/PkgMgr"
    check "installation from the Polish folder" same "$(run 'C:\users\Łukasz\Downloads\pkg\setup.exe' /S /L)" 0
    check "its log in the Chinese temporary folder" holds "$c/users/张伟/Temp/PkgMgrSetup.log" "result: 0000"
    check "the setup data of that folder, not of the best-fit one" same "$(value "$product" Name)" "Package Manager"
    check "its files" holds "$prog/ZemSetup.dll" "payload real"
    check "the temporary folder was made and the staging folder went" \
        bash -c "[ -d '$c/users/张伟/Temp' ] && ! compgen -G '$c/users/张伟/Temp/PkgMgrSetup-*' >/dev/null"
    check "nothing under a best-fit name" bash -c "! compgen -G '$c/users/[?]*' >/dev/null"
    check "the desktop shortcut in the Cyrillic desktop" \
        bash -c "head -c 4 '$c/users/Иван/Desktop/Package Manager.lnk' | od -An -tx1 | grep -q '4c 00 00 00'"
    check "removal" same "$(uninstall)" 0
    check "the desktop shortcut is gone" absent "$c/users/Иван/Desktop/Package Manager.lnk"
    check "the files are gone" absent "$prog/ZemSetup.dll"
    ;;
japanese)
    # "ソ" and "表" end in the byte 0x5C; the settings file is read in code page 932.
    setup="$c/ソフト/表示/pkg"
    package "$setup" japanese
    sed -i 's/^TARGET=.*/TARGET=ソフト管理\r/; s/^GROUP=.*/GROUP=表示\r/' "$setup/ZemSetup.dat"
    iconv -f UTF-8 -t CP932 "$setup/ZemSetup.dat" >"$setup/settings" && mv "$setup/settings" "$setup/ZemSetup.dat"
    # A temporary folder whose name ends in the byte 0x5C: the log goes inside it.
    reg add 'HKCU\Environment' /v TEMP /d 'C:\temp\表' /f
    reg add 'HKCU\Environment' /v TMP /d 'C:\temp\表' /f
    wineserver -w
    prog="$c/Program Files/ソフト管理"
    menu="$c/ProgramData/Microsoft/Windows/Start Menu/Programs/表示"
    check "installation from the Japanese folder" same "$(run 'C:\ソフト\表示\pkg\setup.exe' /S /L)" 0
    check "its log in the temporary folder" holds "$c/temp/表/PkgMgrSetup.log" "result: 0000"
    check "its files in the Japanese program folder" holds "$prog/ZemSetup.dll" "payload japanese"
    check "the application is there" test -s "$prog/PkgMgr.exe"
    check "the menu shortcut in the Japanese group" bash -c "compgen -G '$menu/*.lnk' >/dev/null"
    check "the records name the program folder" \
        same "$(value "$product" ProgDir | iconv -f CP932 -t UTF-8 2>/dev/null)" 'C:\Program Files\ソフト管理'
    check "removal" same "$(uninstall)" 0
    check "the files are gone" absent "$prog/ZemSetup.dll"
    check "nothing is left in the program folder" bash -c "[ -z \"\$(ls -A '$prog')\" ]"
    check "the menu group is gone" absent "$menu"
    check "the records are gone" same "$(value "$product" ProgDir)" "(none)"
    ;;
*)
    echo "machine_shapes.sh: unknown shape $shape" >&2
    exit 2
    ;;
esac
exit $failed
