#!/usr/bin/env bash
# Builds the fuzz targets into build/fuzz with clang's libFuzzer, ASan and
# UBSan, and runs each for a bounded time and number of executions from its
# committed seed corpus. Exits nonzero when a target fails to build or finds a
# crash.
#
#   tests/fuzz/smoke.sh                 the CI smoke run (15 s per target, about a minute)
#   FUZZ_SECONDS=3600 FUZZ_RUNS=-1 tests/fuzz/smoke.sh    a longer campaign
#   FUZZ_TARGETS="settings_fuzzer descriptor_fuzzer" tests/fuzz/smoke.sh   some targets only
#
# FUZZ_SECONDS and FUZZ_RUNS bound each target's run (-1: no bound on the runs).
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/fuzz
mkdir -p "$out"
cxx=${CXX_FUZZ:-clang++}
flags=(-std=c++17 -g -O1 -fno-exceptions -fno-rtti -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=all -I"$root" -I"$root/tests")
seconds=${FUZZ_SECONDS:-15}
runs=${FUZZ_RUNS:-1000000}
all_targets="xml_fuzzer cmdline_fuzzer settings_fuzzer descriptor_fuzzer"
targets=${FUZZ_TARGETS:-$all_targets}

# The sources of each target, relative to the root.
sources() {
    local engine="xml/document.cpp xml/heap.cpp xml/item_data.cpp xml/path_query.cpp xml/text_convert.cpp"
    case $1 in
    xml_fuzzer) echo "tests/fuzz/xml_fuzzer.cpp $engine platform/text.cpp" ;;
    cmdline_fuzzer) echo "tests/fuzz/cmdline_fuzzer.cpp setup/command_line.cpp" ;;
    settings_fuzzer)
        echo "tests/fuzz/settings_fuzzer.cpp setupdata/setup_value.cpp platform/profile_text.cpp platform/text.cpp" ;;
    descriptor_fuzzer)
        echo "tests/fuzz/descriptor_fuzzer.cpp setupdata/descriptor_values.cpp $engine platform/text.cpp" ;;
    *) echo "unknown fuzz target: $1" >&2; return 1 ;;
    esac
}

# build TARGET: compiles into build/fuzz/TARGET, its messages into build/fuzz/TARGET.build.log.
build() {
    local target=$1 files
    files=$(sources "$target") || return 1
    # shellcheck disable=SC2086
    if ! (cd "$root" && "$cxx" "${flags[@]}" -o "$out/$target" $files) >"$out/$target.build.log" 2>&1; then
        cat "$out/$target.build.log"
        echo "$target: build failed"
        return 1
    fi
}

# run TARGET: seeds from tests/fuzz/corpus/NAME (NAME: TARGET without "_fuzzer"),
# the dictionary tests/fuzz/NAME.dict when there is one; new inputs go to
# build/fuzz/corpus/TARGET, crashes to build/fuzz/artifacts/TARGET/.
run() {
    local target=$1 name=${1%_fuzzer}
    local seeds=$root/tests/fuzz/corpus/$name dictionary=$root/tests/fuzz/$name.dict
    local options=()
    [ -f "$dictionary" ] && options+=(-dict="$dictionary")
    mkdir -p "$out/corpus/$target" "$out/artifacts/$target"
    # The fuzzer's progress lines go to a log; its summary, or the log's end on a crash, is shown.
    local log=$out/$target.log
    if "$out/$target" -runs="$runs" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
        "${options[@]}" -artifact_prefix="$out/artifacts/$target/" -print_final_stats=1 \
        "$out/corpus/$target" "$seeds" >"$log" 2>&1; then
        echo "$target: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') executions, no failure"
    else
        tail -n 60 "$log"
        echo "$target: failed (log: $log)"
        return 1
    fi
}

# The builds two at a time, then the runs one after another.
pids=()
for target in $targets; do
    build "$target" &
    pids+=($!)
    if [ ${#pids[@]} -ge 2 ]; then
        wait "${pids[0]}" || exit 1
        pids=("${pids[@]:1}")
    fi
done
for pid in "${pids[@]}"; do
    wait "$pid" || exit 1
done

status=0
for target in $targets; do
    run "$target" || status=1
done
exit $status
