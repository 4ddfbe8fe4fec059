#!/usr/bin/env bash
# Builds the XML parser benchmark natively with -O2 into bench/xml/out and runs
# it five times per case; the table at the end gives the medians. Extra
# arguments go to Google Benchmark (e.g. --benchmark_filter=wide).
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
out=$root/bench/xml/out
mkdir -p "$out"
${CXX:-g++} -std=c++17 -O2 -DNDEBUG -I"$root" -o "$out/xml_bench" \
    "$root/bench/xml/xml_bench.cpp" "$root/xml/document.cpp" "$root/xml/heap.cpp" \
    -lbenchmark -lpugixml -lpthread
"$out/xml_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true "$@"
