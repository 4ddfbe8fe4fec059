#!/usr/bin/env bash
# The main job on a sample package: builds setup.exe, lays out the sample setup
# folder, runs the setup silently under Wine in a fresh prefix and shows the outcome.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

cmake --preset windows >/dev/null
cmake --build --preset windows --target setup pkgmgr_app

work=$PWD/build/demo
rm -rf "$work"
mkdir -p "$work"
export PKGMGR_WINE_ROOT=$work/wine
trap 'tests/wine/session.sh stop >/dev/null 2>&1 || true' EXIT
tests/wine/session.sh ensure
eval "$(tests/wine/session.sh env | sed 's/^/export /')"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" HOME=$PKGMGR_WINE_ROOT/home

package=$WINEPREFIX/drive_c/pkg
tools/make-sample-package.sh build/windows/bin "$package" settings

echo
echo "--- wine C:\\pkg\\setup.exe /S"
set +e
wine 'C:\pkg\setup.exe' /S
code=$?
set -e
echo "exit code: $code"
echo "result value \"Setup\":"
wine reg query 'HKCU\SOFTWARE\QUVO\VeltranoSoftwareInstaller' /v Setup 2>/dev/null | tr -d '\r' | grep Setup || echo "  (none)"
