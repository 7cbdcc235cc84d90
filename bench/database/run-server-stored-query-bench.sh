#!/bin/sh
# "Check Duplicates For Deletion in All Catalogues" on a catalogue file and on a PostgreSQL server
# catalogue with the same FILES files (1,000,000 by default), in one run; prints the ratio
# (target: the server at most 2x). ADDRESS: an empty server database, else a throwaway server.
#   bench/database/run-server-stored-query-bench.sh [FILES] [BUILD_DIR] [WORK_DIR] [ADDRESS]
set -eu
files=${1:-1000000}
build=${2:-build}
work=${3:-${TMPDIR:-/tmp}/qrl-bench}
cmake --build "$build" -j2 --target qrl-bench-generate bench_server_stored_queries
mkdir -p "$work"
db="$work/catalogue-$files.qrl"
if [ ! -f "$db" ]; then
    "$build/bench/qrl-bench-generate" "$db.part" "$files"
    mv "$db.part" "$db"
fi
uptime
"$build/bench/bench_server_stored_queries" "$db" ${4:+"$4"}
