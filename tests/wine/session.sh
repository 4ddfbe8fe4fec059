#!/usr/bin/env bash
# Manages the Wine session of a test run: template prefixes made once per kind, a
# shared prefix with a warm wineserver for the unit-test programs, and one Xvfb display.
#
#   session.sh ensure   make whatever is missing (safe to call from parallel tests)
#   session.sh stop     end every server and the display of the session, and remove
#                       its prefixes (also those of runs cut off by a time limit)
#   session.sh env      print the environment lines for the shared prefix
#   session.sh template KIND   make the template of KIND if missing, print its folder
#
# Prefix kinds: win64 (a 64-bit Windows; 32-bit programs run there under WoW64) and
# win32 (a 32-bit Windows, which needs Debian's wine32).
#   PKGMGR_WINE_SHARED_ARCH  kind of the shared prefix (default win64)
#   PKGMGR_WINE_ARCH         kind of the template a case needs (default: the shared kind)
#   PKGMGR_WINE_TEMPLATES    where the templates live, shared by every build (default $root/templates)
#
# The lock is never handed to the servers started here (9>&-), or it would be held
# for as long as they run.
# Everything else lives under $PKGMGR_WINE_ROOT (default: /tmp/pkgmgr-wine-UID).
set -euo pipefail

root=${PKGMGR_WINE_ROOT:-${TMPDIR:-/tmp}/pkgmgr-wine-$(id -u)}
root=$(realpath -m "$root")
# A stop finds what is left of a session whose folder is gone without making it again.
[ "${1:-ensure}" = stop ] && [ ! -d "$root" ] && root_was_gone=1
mkdir -p "$root"
templates=${PKGMGR_WINE_TEMPLATES:-$root/templates}
mkdir -p "$templates"
templates=$(cd "$templates" && pwd)
shared_arch=${PKGMGR_WINE_SHARED_ARCH:-win64}
arch=${PKGMGR_WINE_ARCH:-$shared_arch}

wine_env() {  # prefix kind
    export WINEPREFIX=$1
    export WINEARCH=$2
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    export HOME=$root/home
    unset LANG LANGUAGE LC_ALL || true
    export LC_ALL=C.UTF-8
    mkdir -p "$HOME"
}

# What a template was made with. A prefix made before wine32 was installed cannot
# start 32-bit programs ("could not load kernel32.dll"), so a change of Wine's
# loaders or version makes the templates again.
wine_signature() {
    printf '%s %s\n' "$(wine --version 2>/dev/null)" "$(ls /usr/lib/wine 2>/dev/null | tr '\n' ' ')"
}

make_template() {  # kind
    local t=$templates/$1
    exec 8>"$templates/$1.lock"
    flock 8
    if [ -f "$t/.ready" ] && [ "$(cat "$t/.ready")" = "$(wine_signature)" ]; then
        exec 8>&-
        return 0
    fi
    rm -rf "$t"
    ( wine_env "$t" "$1"
      wineboot -i >/dev/null 2>&1 8>&- 9>&-
      wineserver -w
      # Wine links the profile folders to the Linux home; make them real folders so
      # that every copy of the template has its own desktop and documents.
      for link in "$t"/drive_c/users/*/*; do
          if [ -L "$link" ]; then rm -f "$link"; mkdir -p "$link"; fi
      done )
    if [ ! -f "$t/system.reg" ]; then
        echo "session.sh: wineboot made no $1 prefix in $t" >&2
        exec 8>&-
        return 1
    fi
    wine_signature >"$t/.ready"
    exec 8>&-
}

start_display() {
    if [ -f "$root/display" ] && kill -0 "$(cat "$root/xvfb.pid" 2>/dev/null)" 2>/dev/null; then
        return 0
    fi
    local n
    for n in $(seq 90 190); do
        [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] && continue
        # Started in the session's folder: stop finds it by that even without its pid file.
        (cd "$root" && exec Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 9>&-) &
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
    # A shared prefix left by an earlier run is reused only if it is a copy of today's template.
    if [ ! -f "$s/.ready" ] || ! cmp -s "$s/.ready" "$templates/$shared_arch/.ready"; then
        rm -rf "$s"
        cp -a "$templates/$shared_arch" "$s"
    fi
    # A persistent server keeps start-up of every test program at a fraction of a second.
    ( wine_env "$s" "$shared_arch"; export DISPLAY=$(cat "$root/display")
      wineserver -p >/dev/null 2>&1 9>&- || true
      # Start the prefix's services now: started by a test's first program, they would
      # hold that test's output open, and CTest would wait for them until the end.
      wine cmd.exe /c exit 0 </dev/null >/dev/null 2>&1 9>&- || true )
}

# Whether `path` (a link's target) lies in the session's folder, deleted or not.
in_session() {  # path
    local target=${1% (deleted)}
    [ "$target" = "$root" ] || [ "${target#"$root"/}" != "$target" ]
}

# The processes left of the session, one pid a line: those working in one of its folders
# (a Wine process works in its prefix's Windows folder; the display in the session's
# folder) and the wineservers that hold a prefix of it open.
session_processes() {
    local link target pid
    while IFS=$'\t' read -r link target; do
        pid=${link#/proc/}
        pid=${pid%/cwd}
        [ "$pid" != $$ ] && [ "$pid" != "$BASHPID" ] && in_session "$target" && echo "$pid"
    done < <(find /proc/[0-9]*/cwd -maxdepth 0 -printf '%p\t%l\n' 2>/dev/null)
    for pid in $(pgrep wineserver || true); do
        while IFS= read -r target; do
            if in_session "$target"; then echo "$pid"; break; fi
        done < <(find "/proc/$pid/fd" -maxdepth 1 -printf '%l\n' 2>/dev/null)
    done
    return 0
}

# Ends what outlived its prefix or its run: servers of prefixes already deleted, or of
# cases whose test was killed at its time limit, and their Wine processes, which do not
# end with a server that is killed.
end_leftovers() {
    local pid left
    left=$(session_processes | sort -u)
    [ -n "$left" ] || return 0
    kill $left 2>/dev/null || true
    for _ in $(seq 50); do
        sleep 0.1
        for pid in $left; do
            kill -0 "$pid" 2>/dev/null && continue 2
        done
        return 0
    done
    kill -9 $left 2>/dev/null || true
}

case ${1:-ensure} in
ensure)
    exec 9>"$root/lock"
    flock 9
    make_template "$shared_arch"
    [ "$arch" = "$shared_arch" ] || make_template "$arch"
    start_display
    make_shared
    ;;
template)
    make_template "${2:?usage: session.sh template KIND}"
    echo "$templates/$2"
    ;;
stop)
    exec 9>"$root/lock"
    flock 9
    # The servers whose prefixes are still there end as Wine ends them, saving their
    # registry; whatever is left after that is ended by its pid.
    for prefix in "$root/shared" "$root"/cases/*/prefix; do
        if [ -d "$prefix" ]; then ( wine_env "$prefix" "$shared_arch"; wineserver -k >/dev/null 2>&1 || true ); fi
    done
    if [ -f "$root/xvfb.pid" ]; then kill "$(cat "$root/xvfb.pid")" 2>/dev/null || true; fi
    end_leftovers
    rm -f "$root/display" "$root/xvfb.pid"
    rm -rf "$root/shared" "$root/cases"
    if [ -n "${root_was_gone:-}" ]; then rm -rf "$root"; fi
    ;;
env)
    echo "WINEPREFIX=$root/shared"
    echo "WINEARCH=$shared_arch"
    echo "DISPLAY=$(cat "$root/display" 2>/dev/null)"
    ;;
*)
    echo "usage: session.sh ensure|stop|env|template KIND" >&2
    exit 2
    ;;
esac
