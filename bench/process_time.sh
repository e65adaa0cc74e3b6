#!/usr/bin/env bash
# Times the built program as a whole process on a 255-angle answer file beside
# /bin/true run the same way (standard input from the file, standard output to
# /dev/null), and reports the peak resident memory of both.
#
#   bench/process_time.sh [program] [rounds] [runs-per-round]
#
# program defaults to build/bench/src/app/traverse (cmake --workflow --preset
# bench). The timing alternates: each round runs hyperfine on both commands,
# in turns swapping which goes first, and the figures are taken over all runs
# of all rounds (default 10 rounds of 50 runs: 500 runs of each). hyperfine
# starts each command through sh and subtracts the shell's own start-up, so
# both figures are what it costs to start the command and run it. Needs
# hyperfine and GNU time (apt-get install hyperfine time); perf, when present,
# adds CPU time and page faults.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
program=$(realpath "${1:-$root/build/bench/src/app/traverse}")
rounds=${2:-10}
runs=${3:-50}
input="$here/traverse_255.txt"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for tool in hyperfine /usr/bin/time python3; do
  command -v "$tool" >/dev/null || { echo "missing: $tool" >&2; exit 2; }
done
[[ -x $program ]] || { echo "no program at $program (cmake --workflow --preset bench)" >&2; exit 2; }

# The run must be the complete dialogue: 15 + 5n lines and exit code 0.
"$program" <"$input" >"$work/out.txt" || { echo "the run failed" >&2; exit 1; }
lines=$(tr -cd '\n' <"$work/out.txt" | wc -c)
[[ $lines -eq 1290 ]] || { echo "expected 1290 lines, got $lines" >&2; exit 1; }

# Other work on the machine disturbs short runs; as root, run ahead of it.
nice=()
[[ $(id -u) -eq 0 ]] && nice=(nice -n -10)

ours="$program < $input > /dev/null"
theirs="/bin/true < $input > /dev/null"
for ((round = 0; round < rounds; ++round)); do
  if ((round % 2 == 0)); then first=$ours second=$theirs; else first=$theirs second=$ours; fi
  "${nice[@]}" hyperfine --style none --warmup 5 --runs "$runs" \
    --export-json "$work/round$round.json" "$first" "$second" >/dev/null 2>&1
done

echo "machine: $(lscpu | sed -n 's/^Model name: *//p'), $(nproc) cores, $(uname -sr)"
echo "load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
echo "program: $program ($(stat -c %s "$program") bytes)"
python3 - "$work" "$ours" "$theirs" <<'PY'
import glob, json, statistics, sys
work, ours, theirs = sys.argv[1:4]
times = {ours: [], theirs: []}
for path in sorted(glob.glob(f"{work}/round*.json")):
    for result in json.load(open(path))["results"]:
        times[result["command"]].extend(result["times"])
def line(name, values):
    ms = [v * 1000 for v in values]
    print(f"{name:10} {len(ms)} runs: median {statistics.median(ms):.3f} ms, "
          f"mean {statistics.mean(ms):.3f} ms, min {min(ms):.3f} ms")
line("traverse", times[ours])
line("/bin/true", times[theirs])
print(f"ratio traverse / true: median {statistics.median(times[ours]) / statistics.median(times[theirs]):.2f}, "
      f"mean {statistics.mean(times[ours]) / statistics.mean(times[theirs]):.2f}")
PY

# Peak resident memory: the largest of several runs of each.
peak() {
  local most=0 kb
  for ((i = 0; i < 20; ++i)); do
    kb=$(/usr/bin/time -v sh -c "exec $1" 2>&1 >/dev/null |
      sed -n 's/.*Maximum resident set size (kbytes): //p')
    ((kb > most)) && most=$kb
  done
  echo "$most"
}
ours_kb=$(peak "$ours")
theirs_kb=$(peak "$theirs")
echo "peak RSS: traverse $ours_kb KiB, /bin/true $theirs_kb KiB, difference $((ours_kb - theirs_kb)) KiB"

if command -v perf >/dev/null; then
  for command in "$ours" "$theirs"; do
    perf stat -r 200 -e task-clock,page-faults sh -c "exec $command" 2>&1 >/dev/null |
      awk -v c="${command%% <*}" '/task-clock|page-faults/ {printf "%-10s %s %s\n", (c ~ /true$/ ? "/bin/true" : "traverse"), $1, $2}'
  done
fi
