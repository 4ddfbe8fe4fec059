#!/usr/bin/env bash
# Manages the Wine session of a test run: a template prefix made once, a shared
# prefix with a warm wineserver for the unit-test programs, and one Xvfb display.
#
#   session.sh ensure   make whatever is missing (safe to call from parallel tests)
#   session.sh stop     end the shared server and the display
#   session.sh env      print the environment lines for the shared prefix
#
# The lock is never handed to the servers started here (9>&-), or it would be held
# for as long as they run.
# Everything lives under $PKGMGR_WINE_ROOT (default: /tmp/pkgmgr-wine-UID).
set -euo pipefail

root=${PKGMGR_WINE_ROOT:-${TMPDIR:-/tmp}/pkgmgr-wine-$(id -u)}
mkdir -p "$root"
root=$(cd "$root" && pwd)

wine_env() {  # prefix
    export WINEPREFIX=$1
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export HOME=$root/home
    export WINEARCH=win64
    unset LANG LANGUAGE LC_ALL || true
    export LC_ALL=C.UTF-8
    mkdir -p "$HOME"
}

make_template() {
    local t=$root/template
    [ -f "$t/.ready" ] && return 0
    rm -rf "$t"
    ( wine_env "$t"
      wineboot -i >/dev/null 2>&1 9>&-
      wineserver -w
      # Wine links the profile folders to the Linux home; make them real folders so
      # that every copy of the template has its own desktop and documents.
      for link in "$t"/drive_c/users/*/*; do
          if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
      done )
    touch "$t/.ready"
}

start_display() {
    if [ -f "$root/display" ] && kill -0 "$(cat "$root/xvfb.pid" 2>/dev/null)" 2>/dev/null; then
        return 0
    fi
    local n
    for n in $(seq 90 190); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 9>&- &
        echo $! >"$root/xvfb.pid"
        for _ in $(seq 50); do
            [ -e "/tmp/.X11-unix/X$n" ] && break
            sleep 0.1
        done
        if kill -0 "$(cat "$root/xvfb.pid")" 2>/dev/null && [ -e "/tmp/.X11-unix/X$n" ]; then
            echo ":$n" >"$root/display"
            return 0
        fi
    done
    echo "session.sh: no free X display" >&2
    return 1
}

make_shared() {
    local s=$root/shared
    if [ ! -f "$s/.ready" ]; then
        rm -rf "$s"
        cp -a "$root/template" "$s"
        touch "$s/.ready"
    fi
    # A persistent server keeps start-up of every test program at a fraction of a second.
    ( wine_env "$s"; export DISPLAY=$(cat "$root/display")
      wineserver -p >/dev/null 2>&1 9>&- || true
      # Start the prefix's services now: started by a test's first program, they would
      # hold that test's output open, and CTest would wait for them until the end.
      wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 9>&- || true )
}

case ${1:-ensure} in
ensure)
    exec 9>"$root/lock"
    flock 9
    make_template
    start_display
    make_shared
    ;;
stop)
    exec 9>"$root/lock"
    flock 9
    if [ -d "$root/shared" ]; then ( wine_env "$root/shared"; wineserver -k >/dev/null 2>&1 || true ); fi
    if [ -f "$root/xvfb.pid" ]; then kill "$(cat "$root/xvfb.pid")" 2>/dev/null || true; fi
    rm -f "$root/display" "$root/xvfb.pid"
    rm -rf "$root/shared" "$root/cases"
    ;;
env)
    echo "WINEPREFIX=$root/shared"
    echo "DISPLAY=$(cat "$root/display" 2>/dev/null)"
    ;;
*)
    echo "usage: session.sh ensure|stop|env" >&2
    exit 2
    ;;
esac
