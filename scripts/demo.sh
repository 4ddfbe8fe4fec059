#!/usr/bin/env bash
# The main job on a sample package: builds setup.exe, lays out the sample setup
# folder in a fresh Wine prefix, installs it interactively (a driver presses OK in
# the options dialog; screenshots of the dialog and the progress window are saved),
# removes it silently with the installed uninstaller, and shows the machine's state
# after each run. It uses the shipping 32-bit build on a 32-bit Windows where this
# machine executes 32-bit code, and the 64-bit build on a 64-bit Windows elsewhere.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

if why=$(bash scripts/wine32-ready.sh); then
    preset=windows-x86 arch=win32
else
    preset=windows arch=win64
    echo "demo: $why; showing the x86_64 build instead of the shipping one"
fi
cmake --preset $preset >/dev/null
cmake --build --preset $preset --target setup pkgmgr_app unicows_standin dialog_driver
bin=build/$preset/bin

work=$PWD/build/demo
rm -rf "$work"
mkdir -p "$work"
export PKGMGR_WINE_ROOT=$work/wine PKGMGR_WINE_SHARED_ARCH=$arch PKGMGR_WINE_TEMPLATES=$PWD/build/wine-templates
trap 'tests/wine/session.sh stop >/dev/null 2>&1 || true' EXIT
tests/wine/session.sh ensure
eval "$(tests/wine/session.sh env | sed 's/^/export /')"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" HOME=$PKGMGR_WINE_ROOT/home
echo "setup.exe: $bin/setup.exe ($preset) on a $arch Windows"

package=$WINEPREFIX/drive_c/pkg
tools/make-sample-package.sh "$bin" "$package" settings

c=$WINEPREFIX/drive_c
run() {  # command line shown and run under Wine; prints the exit code and "Setup"
    echo
    echo "--- wine $*"
    set +e
    wine "$@"
    local code=$?
    set -e
    echo "exit code: $code"
    wine reg query 'HKCU\SOFTWARE\QUVO\VeltranoSoftwareInstaller' /v Setup 2>/dev/null | tr -d '\r' |
        grep Setup | sed 's/^ */result value: /' || echo "result value: (none)"
}
state() {
    echo "registry records:"
    for key in 'HKLM\SOFTWARE\QUVO\VeltranoSoftwareInstaller' \
        'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\VeltranoSoftwareInstaller' \
        'HKLM\SOFTWARE\Microsoft\Internet Explorer\Extensions\{7B3E9C41-A52D-4e8b-9F06-D2C4817E35AB}'; do
        # The program's own view: `wine reg` may be the 32-bit reg.exe.
        wine reg query "$key" /s /reg:$([ $arch = win32 ] && echo 32 || echo 64) 2>/dev/null | tr -d '\r' | grep -v -e '^$' -e '^reg:' | sed 's/^/  /' | grep . || echo "  $key: (none)"
    done
    echo "installed files:"
    (cd "$c" && find "Program Files/PkgMgr" windows/_zemu000.exe -type f 2>/dev/null | sort | sed 's/^/  C:\//') || true
    echo "shortcuts:"
    (cd "$c" && find users ProgramData -name '*.lnk' 2>/dev/null | sort | sed 's/^/  C:\//') || true
}

driver=$PWD/$bin/dialog-driver.exe
shots=$work/screenshots
mkdir -p "$shots"
# No window manager runs on the display: Wine draws the window frames itself.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
if [ -d /usr/share/wine/fonts ]; then cp -u /usr/share/wine/fonts/* "$c/windows/Fonts/"; fi
shoot() {  # png "x y w h"
    local x y w h
    read -r x y w h <<<"$2"
    import -window root -crop "${w}x${h}+${x}+${y}" +repage "$1" 2>/dev/null && echo "screenshot: $1"
}

echo
echo "--- wine C:\pkg\setup.exe /F   (interactive; the driver presses OK in the options dialog)"
set +e
wine 'C:\pkg\setup.exe' /F &
setup_pid=$!
if frame=$(wine "$driver" wait "Installation Program" 1000 30000 | tr -d '\r'); then
    sleep 0.5
    shoot "$shots/options-dialog.png" "$frame"
    wine "$driver" click "Installation Program" 1
    if frame=$(wine "$driver" wait "Installation Program" 1005 10000 | tr -d '\r'); then
        shoot "$shots/progress-window.png" "$frame"
    fi
fi
wait "$setup_pid"
code=$?
set -e
echo "exit code: $code"
wine reg query 'HKCU\SOFTWARE\QUVO\VeltranoSoftwareInstaller' /v Setup 2>/dev/null | tr -d '\r' |
    grep Setup | sed 's/^ */result value: /' || echo "result value: (none)"
state
run 'C:\windows\_zemu000.exe' /S /U
state
echo
echo "screenshots of the options dialog and the progress window: $shots"
