#!/usr/bin/env bash
# Runs the whole test suite: host tests with sanitizers, the shipping 32-bit build
# and its image checks, the Windows tests of both builds under Wine (the 32-bit ones
# only where this machine executes 32-bit code), the release build's checks, the MSI
# package's checks, and the fuzzing smoke runs.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
export PKGMGR_DEPS_READY=1

passed=0 failed=0
log=$(mktemp)
trap 'rm -f "$log"' EXIT

# Adds up what one ctest run reported ("N% tests passed, F tests failed out of T").
count_ctest() {
    local line total bad
    line=$(grep -E 'tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1) || true
    [ -n "$line" ] || { failed=$((failed + 1)); return; }
    bad=$(sed -E 's/.* ([0-9]+) tests? failed out of ([0-9]+).*/\1/' <<<"$line")
    total=$(sed -E 's/.* failed out of ([0-9]+).*/\1/' <<<"$line")
    passed=$((passed + total - bad))
    failed=$((failed + bad))
}

step() { printf '\n=== %s\n' "$*"; }

step "host build (AddressSanitizer, UndefinedBehaviorSanitizer)"
cmake --preset host >/dev/null
cmake --build --preset host
ctest --preset host -j2 2>&1 | tee "$log" || true
count_ctest

step "shipping build (i686, Windows 98 / NT 4.0)"
cmake --preset windows-x86 >/dev/null
cmake --build --preset windows-x86
if bash scripts/check-shipping-image.sh build/windows-x86/bin/setup.exe; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
fi

step "x86_64 build, tests under Wine (64-bit Windows)"
cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows 2>&1 | tee "$log" || true
count_ctest

step "setupcheck on Linux against the system under Wine: profile files and release folders"
# The short runs of the differential tests (tests/profile; docs/developing.md, "Differential tests").
if python3 tests/profile/profile_diff.py run --host build/host/bin/profile_reader \
        --windows build/windows/bin/profile_reader.exe --seed 1 --count 300 &&
    python3 tests/profile/folder_diff.py --host-check build/host/bin/setupcheck \
        --windows-bin build/windows/bin --seed 1 --count 12; then
    passed=$((passed + 1))
else
    failed=$((failed + 1))
fi
PKGMGR_WINE_ROOT=build/windows/wine PKGMGR_WINE_TEMPLATES=build/wine-templates tests/wine/session.sh stop || true

step "shipping build, tests under Wine (32-bit Windows, and 64-bit Windows through WoW64)"
if why=$(bash scripts/wine32-ready.sh); then
    ctest --preset windows-x86 2>&1 | tee "$log" || true
    count_ctest
else
    echo "i686 runtime tests skipped: $why"
fi

step "release build: reproducible, test-signed, installing under Wine"
bash scripts/check-release.sh 2>&1 | tee "$log" || true
passed=$((passed + $(grep -c '^ok ' "$log" || true)))
failed=$((failed + $(grep -c '^FAIL ' "$log" || true)))
grep -qE '^(ok|FAIL) ' "$log" || failed=$((failed + 1))

step "MSI package: reproducible, signed, under Wine's msiexec"
bash scripts/check-msi.sh 2>&1 | tee "$log" || true
passed=$((passed + $(grep -c '^ok ' "$log" || true)))
failed=$((failed + $(grep -c '^FAIL ' "$log" || true)))
grep -qE '^(ok|FAIL) ' "$log" || failed=$((failed + 1))

if [ -x tests/fuzz/smoke.sh ]; then
    step "fuzzing smoke runs"
    if tests/fuzz/smoke.sh; then passed=$((passed + 1)); else failed=$((failed + 1)); fi
fi

echo
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
