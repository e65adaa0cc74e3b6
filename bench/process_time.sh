#!/usr/bin/env bash
# Times the built program as a whole process on the 255-angle answer file
# (bench/traverse_255.txt) beside /bin/true run the same way: standard input
# from the file, standard output to a file. Reports the peak resident memory
# of both.
#
#   bench/process_time.sh [build-dir] [rounds] [runs-per-round]
#
# build-dir defaults to build/bench (cmake --workflow --preset bench).
#  1. hyperfine: each round runs both commands, swapping which goes first, and
#     the figures are taken over all runs of all rounds (default 10 rounds of
#     50 runs: 500 runs of each). hyperfine starts a command through sh and
#     subtracts the shell's own start-up.
#  2. spawn_time (built beside the benchmarks): the two commands strictly in
#     turns, started without a shell; wall and CPU time (user + system) medians.
#     Then the same with standard output to /dev/null, a character device.
#  3. GNU time -v: the largest peak resident set of 20 runs of each, and the
#     median of their minor page faults.
#  4. spawn_time again for the adjustment report on the same answers:
#     `traverse adjust --format json` (compass rule, and least squares for the
#     blunder search) and `traverse adjust --rule least-squares --format json`,
#     beside /bin/true.
# Needs hyperfine and GNU time (apt-get install hyperfine time).
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
build=$(realpath "${1:-$here/../build/bench}")
rounds=${2:-10}
runs=${3:-50}
program="$build/src/app/traverse"
spawn_time="$build/bench/spawn_time"
input="$here/traverse_255.txt"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
output="$work/output.txt"

for tool in hyperfine /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
for file in "$program" "$spawn_time"; do
  [[ -x $file ]] || { echo "missing: $file (cmake --workflow --preset bench)" >&2; exit 2; }
done

# The run must be the complete dialogue: 15 + 5n lines, exit code 0.
"$program" <"$input" >"$output" || { echo "the run failed" >&2; exit 1; }
lines=$(tr -cd '\n' <"$output" | wc -c)
[[ $lines -eq 1290 ]] || { echo "expected 1290 lines, got $lines" >&2; exit 1; }

# Other work on the machine (builds, fuzzers) stretches runs this short by
# whole scheduler slices. As root, the timing runs at a real-time priority
# ahead of it; the runs are short and bounded, and the kernel keeps a share of
# every second for everything else.
priority=()
if [[ $(id -u) -eq 0 ]] && command -v chrt >/dev/null; then
  priority=(chrt -f 10)
fi

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores, $(uname -sr)"
echo "load average before: $(cut -d' ' -f1-3 /proc/loadavg); timing priority: ${priority[*]:-normal}"
echo "program: $program ($(stat -c %s "$program") bytes, $(file -b "$program" | grep -o "[a-z]*ally linked"))"

ours="$program < $input > $output"
theirs="/bin/true < $input > $output"
for ((round = 0; round < rounds; ++round)); do
  if ((round % 2 == 0)); then first=$ours second=$theirs; else first=$theirs second=$ours; fi
  "${priority[@]}" hyperfine --style none --warmup 5 --runs "$runs" \
    --export-json "$work/round$round.json" "$first" "$second" >/dev/null 2>&1
done
python3 - "$work" "$ours" "$theirs" <<'PY'
import glob, json, statistics, sys
work, ours, theirs = sys.argv[1:4]
times = {ours: [], theirs: []}
for path in sorted(glob.glob(f"{work}/round*.json")):
    for result in json.load(open(path))["results"]:
        times[result["command"]].extend(result["times"])
for name, command in (("traverse", ours), ("/bin/true", theirs)):
    ms = [t * 1000 for t in times[command]]
    print(f"hyperfine  {name:9} {len(ms)} runs: median {statistics.median(ms):.3f} ms, "
          f"mean {statistics.mean(ms):.3f} ms")
print("hyperfine  ratio: median {:.2f}, mean {:.2f}".format(
    statistics.median(times[ours]) / statistics.median(times[theirs]),
    statistics.mean(times[ours]) / statistics.mean(times[theirs])))
PY

"${priority[@]}" "$spawn_time" "$input" "$output" $((rounds * runs)) "$program" /bin/true |
  tee "$work/spawn.txt" | sed 's/^/spawn_time /'
python3 - "$work/spawn.txt" <<'PY'
import re, sys
rows = [re.findall(r"median ([0-9.]+) ms", line) for line in open(sys.argv[1])]
(wall_ours, cpu_ours), (wall_true, cpu_true) = [[float(v) for v in row] for row in rows]
print(f"spawn_time ratio: wall {wall_ours / wall_true:.2f}, CPU {cpu_ours / cpu_true:.2f}")
PY

# Standard output to /dev/null instead: a character device, which gets one
# write per line as a console does (1291 writes instead of 242).
"${priority[@]}" "$spawn_time" "$input" /dev/null $((rounds * runs)) "$program" /bin/true |
  tee "$work/null.txt" | sed 's/^/to \/dev\/null: spawn_time /'
python3 - "$work/null.txt" <<'PY'
import re, sys
rows = [re.findall(r"median ([0-9.]+) ms", line) for line in open(sys.argv[1])]
(wall_ours, cpu_ours), (wall_true, cpu_true) = [[float(v) for v in row] for row in rows]
print(f"to /dev/null: spawn_time ratio: wall {wall_ours / wall_true:.2f}, CPU {cpu_ours / cpu_true:.2f}")
PY

# The largest peak resident set of 20 runs, and the median of their minor
# page faults (each fault maps up to 16 pages of a file that are in memory).
peak() {
  local most=0 kib faults=() report
  for ((i = 0; i < 20; ++i)); do
    report=$(/usr/bin/time -v "$1" <"$input" 2>&1 >"$output")
    kib=$(sed -n 's/.*Maximum resident set size (kbytes): //p' <<<"$report")
    faults+=("$(sed -n 's/.*Minor (reclaiming a frame) page faults: //p' <<<"$report")")
    ((kib > most)) && most=$kib
  done
  echo "$most $(printf '%s\n' "${faults[@]}" | sort -n | sed -n 10p)"
}
read -r ours_kib ours_faults < <(peak "$program")
read -r theirs_kib theirs_faults < <(peak /bin/true)
echo "peak RSS: traverse $ours_kib KiB, /bin/true $theirs_kib KiB, difference $((ours_kib - theirs_kib)) KiB"
echo "page faults (median): traverse $ours_faults, /bin/true $theirs_faults"

# The adjustment report on the same answers, as JSON.
"$program" adjust --format json "$input" >"$output" || { echo "adjust failed" >&2; exit 1; }
"$program" adjust --rule least-squares --format json "$input" >"$output" ||
  { echo "adjust --rule least-squares failed" >&2; exit 1; }
"${priority[@]}" "$spawn_time" "$input" "$output" $((rounds * runs)) \
  "$program adjust --format json" "$program adjust --rule least-squares --format json" /bin/true |
  tee "$work/adjust.txt" | sed 's/^/spawn_time /'
python3 - "$work/adjust.txt" <<'PY'
import re, sys
rows = [[float(v) for v in re.findall(r"median ([0-9.]+) ms", line)] for line in open(sys.argv[1])]
(compass, lsq, true) = rows
print(f"spawn_time ratio: adjust json wall {compass[0] / true[0]:.2f}, CPU {compass[1] / true[1]:.2f}; "
      f"least squares wall {lsq[0] / true[0]:.2f}, CPU {lsq[1] / true[1]:.2f}")
PY
echo "load average after: $(cut -d' ' -f1-3 /proc/loadavg)"
