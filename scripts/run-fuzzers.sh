#!/usr/bin/env bash
# Runs every fuzz target for the given number of seconds on its committed seed corpus.
set -euo pipefail
build=$1
seconds=$2
for target in trigger_file codec session_log command_line telnet; do
  work=$(mktemp -d)
  cp -r "fuzz/corpus/$target/." "$work/"
  echo "fuzzing $target for $seconds s"
  "$build/fuzz/fuzz_$target" -max_total_time="$seconds" -print_final_stats=1 "$work"
  rm -rf "$work"
done
