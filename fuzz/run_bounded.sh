#!/bin/sh
# Runs a fuzz target for a bounded number of inputs, starting from its seed
# corpus; new inputs go to a scratch directory, so the seeds stay as committed.
# A finding is kept as ./<target>-crash-... in the working directory.
# Usage: run_bounded.sh TARGET SEED_DIRECTORY RUNS
set -eu
target=$1
seeds=$2
runs=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
"$target" -runs="$runs" -seed=1 -max_len=4096 -timeout=10 \
  -artifact_prefix="./$(basename "$target")-" -print_final_stats=1 "$scratch" "$seeds"
