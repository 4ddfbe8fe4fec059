#!/usr/bin/env bash
# Interrupted and concurrent runs of setup.exe under Wine: cuts installations and
# removals off at random instants and checks that the next run completes them; starts
# two runs at once and checks that the next plain run completes the machine. Prints,
# per kind, the runs, where they were cut off and how many the next run completed.
#
#   bench/interrupt/run.sh [RUNS]        # RUNS cut-off runs per kind, default 100
#
# Environment: RUNS_AT_ONCE=20 (runs of each concurrency case), JOBS=2 (kinds run
# side by side, each in a prefix of its own), SEED=1, SKIP_BUILD=1.
#
# Kinds: installation and removal cut off, and an installation cut off then removed
# with the package's setup.exe (a deployment tool's rollback), in both setup-data modes,
# on the NT family (Windows XP) and under Windows 98 emulation; two installations at
# once and an installation beside a removal, on both systems. The shipping 32-bit build runs where
# this machine executes 32-bit code, the x86_64 build elsewhere.
set -euo pipefail
cd "$(dirname "$0")/../.."
root=$PWD
runs=${1:-100}
at_once=${RUNS_AT_ONCE:-20}
jobs=${JOBS:-2}
seed=${SEED:-1}

if why=$(bash scripts/wine32-ready.sh); then
    preset=windows-x86 arch=win32
else
    preset=windows arch=win64
    echo "interrupt: $why; running the x86_64 build on a 64-bit Windows"
fi
if [ -z "${SKIP_BUILD:-}" ]; then
    bash scripts/install-deps.sh
    cmake --preset $preset >/dev/null
    cmake --build --preset $preset --target interrupt_bench >/dev/null
fi
bin=$root/build/$preset/bin
work=$root/build/bench-interrupt
rm -rf "$work/results"
mkdir -p "$work/results"
export PKGMGR_WINE_ROOT=$work/wine PKGMGR_WINE_SHARED_ARCH=$arch PKGMGR_WINE_TEMPLATES=$root/build/wine-templates
mkdir -p "$PKGMGR_WINE_ROOT"
trap 'tests/wine/session.sh stop >/dev/null 2>&1 || true' EXIT
tests/wine/session.sh ensure >/dev/null

kinds=()
for version in winxp win98; do
    for mode in settings descriptor; do
        for kind in install removal rollback; do kinds+=("$version $mode $kind $runs"); done
    done
    kinds+=("$version settings together $at_once" "$version descriptor beside $at_once")
done

run_kind() {  # version mode kind runs
    local name="$1-$2-$3"
    local status=0
    PKGMGR_WINE_VERSION=$1 tests/wine/run-test.sh "$bin/interrupt_bench.exe" "interrupt-$2" "$3" "$4" "$seed" \
        >"$work/results/$name.txt" 2>&1 || status=$?
    echo "$status" >"$work/results/$name.status"
}

started=$(date +%s)
running=0
for entry in "${kinds[@]}"; do
    read -r version mode kind count <<<"$entry"
    run_kind "$version" "$mode" "$kind" "$count" &
    running=$((running + 1))
    if [ "$running" -ge "$jobs" ]; then
        wait -n || true
        running=$((running - 1))
    fi
done
wait || true

failed=0
for entry in "${kinds[@]}"; do
    read -r version mode kind count <<<"$entry"
    name="$version-$mode-$kind"
    echo
    echo "=== $version, $mode mode, $kind"
    tr -d '\r' <"$work/results/$name.txt"
    [ "$(cat "$work/results/$name.status")" = 0 ] || failed=$((failed + 1))
done
echo
echo "$((${#kinds[@]} - failed)) of ${#kinds[@]} kinds completed every run, in $(( $(date +%s) - started )) s"
[ "$failed" -eq 0 ]
