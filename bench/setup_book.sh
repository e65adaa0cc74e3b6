#!/usr/bin/env bash
# Times books of setups as whole processes, each beside its yardstick in the
# same round (A B A B ...), `traverse adjust --format json` to a file:
#  - the 40 x 40 grid written as setups (bench/make_setup_book.py 40: every
#    junction and station a setup of two rounds, a sideshot from every
#    station) against the same grid as traverse blocks
#    (bench/make_grid_book.py 40), least squares with every ellipse; goal: at
#    most 1.5 times the time;
#  - one setup with 100,000 sideshots (bench/make_sideshot_book.py 100000)
#    against the same book without them, least squares and compass; goal: at
#    most 0.5 s more;
#  - the setups' grid on UTM zone 33N (make_setup_book.py 40 --utm: every
#    observation reduced from the ground to the grid, the adjustment repeated
#    until nothing moves 0.1 mm) against the same book without its grid
#    record; goal: at most 1.3 times;
#  - the setups' grid with heights (--heights: zeniths, hi and ht, the
#    network of heights) and the relative precision of every observed pair
#    judged (--relative-tolerance 20,50) against the grid without either;
#    goal: at most 1.5 times;
#  - a 50 MB GSI file of sideshots from setups on known points
#    (bench/make_gsi_book.py --megabytes 50), the default rule, the JSON and
#    the text report, against the 0-sideshot file; goal: under 2 s.
# Per run: wall time (bash's clock) and peak resident memory (GNU time's %M);
# printed: the median of each over the rounds, and the median of the rounds'
# ratios (or differences) to the yardstick. As root the script runs at a
# real-time priority, ahead of builds on the machine, as bench/process_time.sh
# does. With CALLGRIND=1 it then counts each run's instructions once under
# valgrind --tool=callgrind, which the load does not move (slow: minutes).
#
#   bench/setup_book.sh [build-dir] [rounds]
set -euo pipefail
if [[ $(id -u) -eq 0 && -z ${SETUP_BOOK_PRIORITY:-} ]] && command -v chrt >/dev/null; then
  SETUP_BOOK_PRIORITY=1 exec chrt -f 10 "$0" "$@"
fi
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-$here/../build/release}")
rounds=${2:-11}
program="$build/src/app/traverse"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[[ -x $program ]] || { echo "missing: $program (cmake --workflow --preset release)" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "missing: /usr/bin/time (apt-get install time)" >&2; exit 2; }
[[ -n ${EPOCHREALTIME:-} ]] || { echo "needs bash 5 (EPOCHREALTIME)" >&2; exit 2; }

python3 "$here/make_grid_book.py" 40 >"$work/grid.book"
python3 "$here/make_setup_book.py" 40 >"$work/setups.book"
python3 "$here/make_setup_book.py" 40 --utm >"$work/utm.book"
grep -v '^grid ' "$work/utm.book" >"$work/utmless.book"
python3 "$here/make_setup_book.py" 40 --heights >"$work/heights.book"
python3 "$here/make_sideshot_book.py" 0 >"$work/shots_0.book"
python3 "$here/make_sideshot_book.py" 100000 >"$work/shots_100000.book"
python3 "$here/make_gsi_book.py" --megabytes 50 >"$work/gsi_50mb.gsi"
python3 "$here/make_gsi_book.py" 0 >"$work/gsi_0.gsi"
echo "books: grid $(wc -l <"$work/grid.book") lines, setups $(wc -l <"$work/setups.book")," \
  "sideshots $(wc -l <"$work/shots_0.book") and $(wc -l <"$work/shots_100000.book")," \
  "GSI $(wc -l <"$work/gsi_50mb.gsi") lines, $(($(wc -c <"$work/gsi_50mb.gsi") / 1000000)) MB"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg)"

# A run is "rule book format extra": rule "default" gives none (the
# compass rule, least squares for the suspect), extra "-" no more options.
# One run: "milliseconds kilobytes" on standard output. Exit code 3 (a
# tolerance exceeded: the grid's traverses, compass-checked) still wrote the
# report.
command_of() {
  local rule=$1 book=$2 format=$3 extra=$4
  local -a args=(adjust --format "$format")
  [[ $rule != default ]] && args+=(--rule "$rule")
  [[ $extra != - ]] && args+=("$extra")
  local file="$work/$book.book"
  [[ -e $file ]] || file="$work/$book.gsi"
  echo "${args[*]} $file"
}
run() {
  local start end
  rm -f "$work/out"
  start=${EPOCHREALTIME/[.,]/}
  # shellcheck disable=SC2046
  /usr/bin/time -f '%M' -o "$work/time" "$program" $(command_of "$@") -o "$work/out" \
    >/dev/null 2>&1 || [[ $? -eq 3 ]]
  end=${EPOCHREALTIME/[.,]/}
  echo "$(((end - start) / 1000)) $(tail -n 1 "$work/time")"
}
# "rule format book extra yardstick extra"
pairs=("least-squares json setups - grid -"
       "least-squares json shots_100000 - shots_0 -"
       "compass json shots_100000 - shots_0 -"
       "least-squares json utm - utmless -"
       "least-squares json heights --relative-tolerance=20,50 setups -"
       "default json gsi_50mb - gsi_0 -"
       "default text gsi_50mb - gsi_0 -")
# SETUP_BOOK_PAIRS=REGEX times only the pairs whose line matches it
# (SETUP_BOOK_PAIRS=utm: the grid's pair alone).
if [[ -n ${SETUP_BOOK_PAIRS:-} ]]; then
  chosen=()
  for pair in "${pairs[@]}"; do [[ $pair =~ $SETUP_BOOK_PAIRS ]] && chosen+=("$pair"); done
  pairs=("${chosen[@]}")
fi
: >"$work/rows"
for ((round = 0; round <= rounds; ++round)); do
  for pair in "${pairs[@]}"; do
    read -r rule format book extra yardstick yextra <<<"$pair"
    a=$(run "$rule" "$book" "$format" "$extra") b=$(run "$rule" "$yardstick" "$format" "$yextra")
    ((round > 0)) && echo "$rule $format $book $extra $yardstick $a $b" >>"$work/rows"  # round 0 warms up
  done
done
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
python3 - "$work/rows" "$rounds" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    rule, format, book, extra, yardstick, ams, akb, bms, bkb = line.split()
    rows.setdefault((rule, format, book + ("" if extra == "-" else " " + extra), yardstick),
                    []).append([int(v) for v in (ams, akb, bms, bkb)])
print(f"medians of {sys.argv[2]} rounds (wall ms, peak RSS MB):")
for (rule, format, book, yardstick), runs in rows.items():
    m = lambda f: statistics.median(f(r) for r in runs)
    print(f"{rule:13} {format:4} {book:40} {m(lambda r: r[0]):7.0f} ms {m(lambda r: r[1]) / 1024:6.1f} MB   "
          f"{yardstick:8} {m(lambda r: r[2]):7.0f} ms {m(lambda r: r[3]) / 1024:6.1f} MB   "
          f"time x{m(lambda r: r[0] / r[2]):.2f} (+{m(lambda r: r[0] - r[2]):.0f} ms), "
          f"memory x{m(lambda r: r[1] / r[3]):.2f}")
PY
[[ ${CALLGRIND:-} == 1 ]] || exit 0
command -v valgrind >/dev/null || { echo "missing: valgrind" >&2; exit 2; }
echo "instructions (callgrind, millions):"
count() {
  # Exit code 3 (a tolerance exceeded) still wrote the report.
  # shellcheck disable=SC2046
  { valgrind --tool=callgrind --callgrind-out-file=/dev/null "$program" $(command_of "$@") \
      -o "$work/out" 2>&1 >/dev/null || true; } | sed -n 's/.*Collected : \([0-9]*\).*/\1/p'
}
for pair in "${pairs[@]}"; do
  read -r rule format book extra yardstick yextra <<<"$pair"
  a=$(count "$rule" "$book" "$format" "$extra") b=$(count "$rule" "$yardstick" "$format" "$yextra")
  awk -v p="$rule $format $book $extra / $yardstick" -v a="$a" -v b="$b" \
    'BEGIN { printf "%-70s %9.1f %9.1f   x%.2f (+%.1f)\n", p, a / 1e6, b / 1e6, a / b, (a - b) / 1e6 }'
done
