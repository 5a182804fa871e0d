#!/usr/bin/env bash
# Throughput of ConsoleLogger::log to /dev/null as a share of raw write() of the same bytes.
# Usage: bench/log_throughput.sh [build-dir]
set -euo pipefail
build=${1:-build/dev}
"$build/bin/log_bench" --benchmark_repetitions=5 --benchmark_report_aggregates_only=true \
  --benchmark_format=csv 2>/dev/null >"${TMPDIR:-/tmp}/log_bench.csv"
cat "${TMPDIR:-/tmp}/log_bench.csv"
awk -F, '/"BM_ConsoleLine_median"/ {line=$4} /"BM_RawWrite_median"/ {raw=$4}
  END {printf "console_line_ns=%.1f raw_write_ns=%.1f throughput_ratio=%.2f\n", line, raw, raw/line}' \
  "${TMPDIR:-/tmp}/log_bench.csv"
