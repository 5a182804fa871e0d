#!/usr/bin/env bash
# Counts the system calls of N log lines with strace.
#   bench/count_log_writes.sh [build-dir] [lines]          console lines: expect N writes, exactly
#   bench/count_log_writes.sh [build-dir] [lines] file     file lines: every system call, per line
set -euo pipefail
build=${1:-build/dev}
lines=${2:-1000}
trace=$(mktemp)
if [ "${3:-}" = file ]; then
  log=$(mktemp -d)/lines.log
  strace -f -c -o "$trace" "$build/bin/log_lines" "$lines" "$log" 2>/dev/null
  rm -rf "$(dirname "$log")"
  awk -v lines="$lines" '$NF ~ /^[a-z_0-9]+$/ && $4 ~ /^[0-9]+$/ && $NF != "total" {
      printf "%-12s %8d calls  %.3f a line\n", $NF, $4, $4 / lines }' "$trace"
  rm -f "$trace"
  exit 0
fi
strace -f -e trace=write,writev -o "$trace" "$build/bin/log_lines" "$lines" 2>/dev/null
writes=$(grep -c -E '^[0-9]+ +(write|writev)\(2,' "$trace" || true)
rm -f "$trace"
echo "lines=$lines write_syscalls_on_fd2=$writes per_line=$(awk "BEGIN{print $writes/$lines}")"
[ "$writes" -eq "$lines" ]
