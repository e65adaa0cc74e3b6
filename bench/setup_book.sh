#!/usr/bin/env bash
# Times the setups of a field book as whole processes, each beside its
# yardstick in the same round, `traverse adjust --format json` to a file:
#  - the 40 x 40 grid written as setups (bench/make_setup_book.py 40: every
#    junction and station a setup of two rounds, a sideshot from every
#    station) against the same grid as traverse blocks
#    (bench/make_grid_book.py 40), least squares with every ellipse; goal: at
#    most 1.5 times the time;
#  - one setup with 100,000 sideshots (bench/make_sideshot_book.py 100000)
#    against the same book without them, least squares and compass; goal: at
#    most 0.5 s more.
# Per run: wall time (bash's clock) and peak resident memory (GNU time's %M);
# printed: the median of each over the rounds, and the median of the rounds'
# ratios (or differences) to the yardstick. As root the script runs at a
# real-time priority, ahead of builds on the machine, as bench/process_time.sh
# does.
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
python3 "$here/make_sideshot_book.py" 0 >"$work/shots_0.book"
python3 "$here/make_sideshot_book.py" 100000 >"$work/shots_100000.book"
echo "books: grid $(wc -l <"$work/grid.book") lines, setups $(wc -l <"$work/setups.book")," \
  "sideshots $(wc -l <"$work/shots_0.book") and $(wc -l <"$work/shots_100000.book")"

# One run: "seconds kilobytes" on standard output. Exit code 3 (a tolerance
# exceeded: the grid's traverses, compass-checked) still wrote the report.
run() {
  local rule=$1 book=$2 start end
  rm -f "$work/out.json"
  start=${EPOCHREALTIME/[.,]/}
  /usr/bin/time -f '%M' -o "$work/time" "$program" adjust --rule "$rule" --format json \
    "$work/$book.book" >"$work/out.json" 2>/dev/null || [[ $? -eq 3 ]]
  end=${EPOCHREALTIME/[.,]/}
  echo "$(((end - start) / 1000)) $(tail -n 1 "$work/time")"
}
pairs=("least-squares setups grid" "least-squares shots_100000 shots_0" "compass shots_100000 shots_0")
: >"$work/rows"
for ((round = 0; round <= rounds; ++round)); do
  for pair in "${pairs[@]}"; do
    read -r rule book yardstick <<<"$pair"
    a=$(run "$rule" "$book") b=$(run "$rule" "$yardstick")
    ((round > 0)) && echo "$rule $book $yardstick $a $b" >>"$work/rows"  # round 0 warms up
  done
done
python3 - "$work/rows" "$rounds" <<'PY'
import statistics, sys
rows = {}
for line in open(sys.argv[1]):
    rule, book, yardstick, ams, akb, bms, bkb = line.split()
    rows.setdefault((rule, book, yardstick), []).append([int(v) for v in (ams, akb, bms, bkb)])
print(f"medians of {sys.argv[2]} rounds (wall ms, peak RSS MB):")
for (rule, book, yardstick), runs in rows.items():
    m = lambda f: statistics.median(f(r) for r in runs)
    print(f"{rule:13} {book:12} {m(lambda r: r[0]):7.0f} ms {m(lambda r: r[1]) / 1024:6.1f} MB   "
          f"{yardstick:8} {m(lambda r: r[2]):7.0f} ms {m(lambda r: r[3]) / 1024:6.1f} MB   "
          f"time x{m(lambda r: r[0] / r[2]):.2f} (+{m(lambda r: r[0] - r[2]):.0f} ms), "
          f"memory x{m(lambda r: r[1] / r[3]):.2f}")
PY
