#!/usr/bin/env bash
# Runs the regex benchmark from a Release build directory:
#   bash bench/regex/run.sh <build-dir> [benchmark options...]
# It prints the malformed-page table, the agreement check, Google Benchmark's table
# and a ratio table; --big adds one scan of a 200 MB page of ordinary HTML.
set -euo pipefail
build=${1:?usage: bench/regex/run.sh <build-dir>}
shift
bin="$build/bench/regex/bench_regex"
if [ ! -x "$bin" ]; then
  echo "bench/regex: $bin not built (needs libbenchmark-dev and libpcre2-dev); skipped"
  exit 0
fi
exec "$bin" "$@"
