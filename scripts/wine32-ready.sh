#!/usr/bin/env bash
# Exits 0 when the shipping 32-bit build can run here under Wine: the machine executes
# 32-bit code and Debian's wine32 is installed. Otherwise exits 1 and prints why.
set -u
here=$(cd "$(dirname "$0")" && pwd)
if ! "$here/runs-32bit.sh"; then
    echo "this machine cannot execute 32-bit code"
    exit 1
fi
if ! dpkg-query -W -f='${Status}' wine32:i386 2>/dev/null | grep -q 'install ok installed'; then
    echo "wine32 is not installed (scripts/install-deps.sh could not install it)"
    exit 1
fi
