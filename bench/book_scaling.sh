#!/usr/bin/env bash
# Times `traverse adjust --format json` as a whole process on a field book of
# 1000 connecting traverses of 20 stations (bench/make_book.py) beside one of
# a single such traverse, and /bin/true started the same way; standard output
# to a new file. The large book should take at most 25 times the small one.
#
#   bench/book_scaling.sh [build-dir] [runs]
#
# build-dir defaults to build/release (cmake --workflow --preset release).
# With hyperfine the figures are its medians (5 warm-up runs each, no
# shell); without it, the medians of a loop that times each run by bash's
# clock (or `date +%s%N`). As root the script runs at a real-time priority,
# ahead of builds on the machine, as bench/process_time.sh does.
set -euo pipefail
if [[ $(id -u) -eq 0 && -z ${BOOK_SCALING_PRIORITY:-} ]] && command -v chrt >/dev/null; then
  BOOK_SCALING_PRIORITY=1 exec chrt -f 10 "$0" "$@"
fi

here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-$here/../build/release}")
runs=${2:-100}
program="$build/src/app/traverse"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

[[ -x $program ]] || { echo "missing: $program (cmake --workflow --preset release)" >&2; exit 2; }
python3 "$here/make_book.py" 1 >"$work/book_1.book"
python3 "$here/make_book.py" 1000 >"$work/book_1000.book"
options=(adjust --format json --angular-tolerance 60,20 --linear-tolerance 5000)

# Both books must adjust within the tolerances (exit code 0).
for n in 1 1000; do
  "$program" "${options[@]}" "$work/book_$n.book" >"$work/out_$n.json" ||
    { echo "the book of $n traverses failed" >&2; exit 1; }
  echo "book of $n traverses: $(wc -l <"$work/book_$n.book") lines," \
    "report $(stat -c %s "$work/out_$n.json") bytes"
done

medians=()
if command -v hyperfine >/dev/null; then
  # Without a shell: hyperfine cannot take a shell's start-up out of runs of
  # a few milliseconds precisely enough, and what is left counts against the
  # small book.
  hyperfine --style none -N --warmup 5 --runs "$runs" --export-json "$work/times.json" \
    --prepare "rm -f $work/out.json" --output "$work/out.json" \
    "/bin/true" "$program ${options[*]} $work/book_1.book" \
    "$program ${options[*]} $work/book_1000.book" >/dev/null 2>&1
  mapfile -t medians < <(python3 -c '
import json, statistics, sys
for r in json.load(open(sys.argv[1]))["results"]:
    print(statistics.median(r["times"]) * 1000)' "$work/times.json")
else
  # Each round runs the three commands in turn, so that load on the machine
  # falls on all of them alike.
  : >"$work/true.us" >"$work/1.us" >"$work/1000.us"
  # Microseconds. Bash 5 reads the clock itself; `date` is a process of its
  # own, started inside every figure.
  time_one() {
    local start end
    rm -f "$work/out.json"  # truncating 12 MB of the last report is no part of a run
    if [[ -n ${EPOCHREALTIME:-} ]]; then
      start=${EPOCHREALTIME/[.,]/}
      "$@" >"$work/out.json"
      end=${EPOCHREALTIME/[.,]/}
    else
      start=$(($(date +%s%N) / 1000))
      "$@" >"$work/out.json"
      end=$(($(date +%s%N) / 1000))
    fi
    echo $((end - start))
  }
  for ((i = 0; i < runs + 5; ++i)); do
    t=$(time_one /bin/true)
    a=$(time_one "$program" "${options[@]}" "$work/book_1.book")
    b=$(time_one "$program" "${options[@]}" "$work/book_1000.book")
    if ((i >= 5)); then
      echo "$t" >>"$work/true.us"
      echo "$a" >>"$work/1.us"
      echo "$b" >>"$work/1000.us"
    fi
  done
  for name in true 1 1000; do
    medians+=("$(python3 -c '
import statistics, sys
print(statistics.median(int(v) for v in open(sys.argv[1])) / 1000)' "$work/$name.us")")
  done
fi

python3 - "${medians[@]}" "$runs" <<'PY'
import sys
true, one, many = (float(v) for v in sys.argv[1:4])
print(f"medians of {sys.argv[4]} runs: /bin/true {true:.2f} ms, 1 traverse {one:.2f} ms, "
      f"1000 traverses {many:.2f} ms")
print(f"ratio 1000 : 1 = {many / one:.1f} (goal: at most 25); 1 traverse to /bin/true {one / true:.2f}")
PY
