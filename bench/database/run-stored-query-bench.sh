#!/bin/sh
# Builds the stored-query benchmark, generates a synthetic catalogue of FILES files (1,000,000 by
# default) once, and runs the benchmark under /usr/bin/time -v for its peak memory.
#   bench/database/run-stored-query-bench.sh [FILES] [BUILD_DIR] [WORK_DIR]
set -eu
files=${1:-1000000}
build=${2:-build}
work=${3:-${TMPDIR:-/tmp}/qrl-bench}
cmake --build "$build" -j2 --target qrl-bench-generate bench_stored_queries
mkdir -p "$work"
db="$work/catalogue-$files.qrl"
if [ ! -f "$db" ]; then
    "$build/bench/qrl-bench-generate" "$db.part" "$files"
    mv "$db.part" "$db"
fi
/usr/bin/time -v "$build/bench/bench_stored_queries" "$db" 2>"$work/time.txt"
grep -E 'Maximum resident set size|Elapsed \(wall clock\)' "$work/time.txt"
