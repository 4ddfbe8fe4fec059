#!/usr/bin/env bash
# Builds the fuzz targets into build/fuzz with clang's libFuzzer, ASan and
# UBSan, and runs each for a bounded number of executions from its committed
# seed corpus. Exits nonzero when a target fails to build or finds a crash.
#
#   tests/fuzz/smoke.sh                 the CI smoke run (about a minute)
#   FUZZ_SECONDS=3600 FUZZ_RUNS=-1 tests/fuzz/smoke.sh    a longer campaign
set -euo pipefail

root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/build/fuzz
mkdir -p "$out"
cxx=${CXX_FUZZ:-clang++}
flags=(-std=c++17 -g -O1 -fno-exceptions -fno-rtti -fsanitize=fuzzer,address,undefined
       -fno-sanitize-recover=all -I"$root")
seconds=${FUZZ_SECONDS:-60}
runs=${FUZZ_RUNS:-1000000}

# build TARGET SOURCES...
build() {
    local target=$1
    shift
    (cd "$root" && "$cxx" "${flags[@]}" -o "$out/$target" "$@")
}

# run TARGET SEED_CORPUS DICTIONARY: new inputs go to build/fuzz/corpus/TARGET,
# crashes to build/fuzz/artifacts/TARGET/.
run() {
    local target=$1 seeds=$root/$2 dictionary=$root/$3
    mkdir -p "$out/corpus/$target" "$out/artifacts/$target"
    # The fuzzer's progress lines go to a log; its summary, or the log's end on a crash, is shown.
    local log=$out/$target.log
    if "$out/$target" -runs="$runs" -max_total_time="$seconds" -max_len=65536 -timeout=10 \
        -dict="$dictionary" -artifact_prefix="$out/artifacts/$target/" -print_final_stats=1 \
        "$out/corpus/$target" "$seeds" >"$log" 2>&1; then
        echo "$target: $(grep -E '^stat::number_of_executed_units' "$log" | awk '{print $2}') executions, no failure"
    else
        tail -n 60 "$log"
        echo "$target: failed (log: $log)"
        return 1
    fi
}

build xml_fuzzer tests/fuzz/xml_fuzzer.cpp xml/document.cpp xml/heap.cpp xml/item_data.cpp \
    xml/path_query.cpp xml/text_convert.cpp platform/text.cpp
run xml_fuzzer tests/fuzz/corpus/xml tests/fuzz/xml.dict
