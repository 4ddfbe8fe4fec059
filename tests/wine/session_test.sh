#!/usr/bin/env bash
# session.sh stop ends every server, Wine process and display the session started: with a case's
# server still running (its test killed at the time limit), and after the session's
# folder was deleted first. Prints "ok WHAT" or "FAIL WHAT"; exits 1 when one failed.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(mktemp -d "${TMPDIR:-/tmp}/pkgmgr-session-test.XXXXXX")
export PKGMGR_WINE_ROOT=$root
failed=0

# The processes that work in a folder under the root (Wine's processes, the display) or,
# for servers, hold one open; one pid a line.
left_running() {
    local pid
    find /proc/[0-9]*/cwd -maxdepth 0 -printf '%p %l\n' 2>/dev/null | grep -F " $root" | cut -d/ -f3
    for pid in $(pgrep wineserver || true); do
        find "/proc/$pid/fd" -maxdepth 1 -printf '%l\n' 2>/dev/null | grep -q "^$root" && echo "$pid"
    done
    return 0
}

check() {  # what display-pid
    local left
    for _ in $(seq 30); do  # an ended process may take a moment to be reaped
        left=$(left_running)
        [ -z "$left" ] && ! kill -0 "$2" 2>/dev/null && break
        sleep 0.1
    done
    if [ -z "$left" ] && ! kill -0 "$2" 2>/dev/null; then
        echo "ok   $1"
    else
        echo "FAIL $1: still running: $left $2"
        failed=1
    fi
}

"$here/session.sh" ensure
display=$(cat "$root/xvfb.pid")
case_prefix=$root/cases/case.killed/prefix
mkdir -p "$case_prefix"
WINEPREFIX=$case_prefix wineserver -p
"$here/session.sh" stop
check "stop ends the shared server, a killed case's server and the display" "$display"
[ ! -e "$root/cases" ] && [ ! -e "$root/shared" ] || { echo "FAIL stop leaves the prefixes"; failed=1; }

"$here/session.sh" ensure
display=$(cat "$root/xvfb.pid")
rm -rf "$root"
"$here/session.sh" stop
check "stop ends the server and the display of a session whose folder is gone" "$display"
[ ! -e "$root" ] || { echo "FAIL stop makes the session's folder again"; failed=1; rm -rf "$root"; }
exit $failed
