#!/usr/bin/env bash
# Times each report format of a large job as a whole process, beside the JSON
# report of the same book in the same run: the grid books of 40 x 40 and
# 100 x 100 junctions (bench/make_grid_book.py) and a book of 10,000
# connecting traverses (bench/make_book.py), under the compass rule. For
# each: wall time and peak resident memory (GNU time's %e and %M), and their
# ratios to the JSON's of the same round. Goals: SVG and HTML within 3 times
# the JSON's time on the 40 x 40 grid and 5 times on the 100 x 100, within
# twice its memory; the text report within 1.5 times.
#
# On a shared machine one round says little: with ROUNDS above 1, every
# round is printed and then the median of each figure over the rounds.
#
#   bench/plan_sizes.sh [build-dir] [rounds]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-$here/../build/release}")
rounds=${2:-1}
program="$build/src/app/traverse"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
[[ -x $program ]] || { echo "missing: $program (cmake --workflow --preset release)" >&2; exit 2; }
[[ -x /usr/bin/time ]] || { echo "missing: /usr/bin/time (apt-get install time)" >&2; exit 2; }

python3 "$here/make_grid_book.py" 40 >"$work/grid_40.book"
python3 "$here/make_grid_book.py" 100 >"$work/grid_100.book"
python3 "$here/make_book.py" 10000 >"$work/book_10000.book"

header() { printf '%-16s %-6s %9s %9s %7s %7s\n' book format seconds MB time× memory×; }
for ((round = 1; round <= rounds; ++round)); do
  header
  for book in grid_40 grid_100 book_10000; do
    json_s= json_kb=
    for format in json svg html text; do
      /usr/bin/time -f '%e %M' -o "$work/time" "$program" adjust --format "$format" \
        "$work/$book.book" >"$work/out" 2>/dev/null || [[ $? -eq 3 ]]
      # GNU time puts a line of the exit status first when it is not 0.
      read -r s kb < <(tail -n 1 "$work/time")
      [[ -z $json_s ]] && json_s=$s json_kb=$kb
      awk -v b="$book" -v f="$format" -v s="$s" -v kb="$kb" -v js="$json_s" -v jkb="$json_kb" \
        'BEGIN { printf "%-16s %-6s %9.2f %9.1f %7.2f %7.2f\n", b, f, s, kb / 1024, s / js, kb / jkb }'
    done
  done | tee -a "$work/rows"
done
if ((rounds > 1)); then
  echo "median of $rounds rounds:"
  header
  # Each book and format's rows, in the order first printed; the middle value of each column.
  awk '{ key = $1 " " $2; if (!(key in n)) order[++keys] = key; i = ++n[key]
         for (c = 3; c <= 6; ++c) v[key, c, i] = $c }
       END { for (k = 1; k <= keys; ++k) { key = order[k]; split(key, name, " ")
               printf "%-16s %-6s", name[1], name[2]
               for (c = 3; c <= 6; ++c) {
                 m = n[key]; for (i = 1; i <= m; ++i) a[i] = v[key, c, i]
                 for (i = 2; i <= m; ++i) for (j = i; j > 1 && a[j - 1] > a[j]; --j) { t = a[j]; a[j] = a[j - 1]; a[j - 1] = t }
                 printf (c == 3 ? " %9.2f" : c == 4 ? " %9.1f" : " %7.2f"), m % 2 ? a[(m + 1) / 2] : (a[m / 2] + a[m / 2 + 1]) / 2
               }
               printf "\n" } }' "$work/rows"
fi
