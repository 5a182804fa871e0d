#!/usr/bin/env bash
# Counts the write system calls of N console log lines with strace: expect exactly N.
# Usage: bench/count_log_writes.sh [build-dir] [lines]
set -euo pipefail
build=${1:-build/dev}
lines=${2:-1000}
trace=$(mktemp)
strace -f -e trace=write,writev -o "$trace" "$build/bin/log_lines" "$lines" 2>/dev/null
writes=$(grep -c -E '^[0-9]+ +(write|writev)\(2,' "$trace" || true)
rm -f "$trace"
echo "lines=$lines write_syscalls_on_fd2=$writes per_line=$(awk "BEGIN{print $writes/$lines}")"
[ "$writes" -eq "$lines" ]
