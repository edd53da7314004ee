#!/usr/bin/env bash
# A whole GameCube image (1,459,978,240 bytes) through zemlo-cli, each way against the reference
# that bounds it, on a quiet machine and again under a CPU load this script starts itself
# (stress-ng --cpu, twice the cores, at the script's own priority). Every figure is the median
# of RUNS runs; the measurements of a round take turns so that passing noise hits all alike.
#
#   bench/extract/run_load_bench.sh [BUILD_DIR] [SCRATCH_DIR]
#   RUNS=3 LOAD=4 bench/extract/run_load_bench.sh
#   BEFORE=OTHER_BUILD_DIR bench/extract/run_load_bench.sh     also times OTHER_BUILD_DIR's
#       zemlo-cli and zemlo-sim in every round (rows marked "before"), for a fair comparison on a
#       machine whose load changes from minute to minute; the goals judge BUILD_DIR only
#
# BUILD_DIR holds zemlo-cli and zemlo-sim (default: build beside this checkout, an optimised
# build); SCRATCH_DIR must be on the disk being measured (default: a fresh folder in BUILD_DIR,
# removed at the end; it needs room for two images). Needs stress-ng, md5sum, dd and cc.
# Measured, each as wall time:
#   dd          copy of the image in packet-sized blocks, page cache to page cache
#   in-process  extract-disc gamecube through the in-process simulator, with CRC-32/MD5/SHA-1
#   no-verify   the same with --no-verify
#   tcp         the same with sums, over TCP to zemlo-sim on the loopback
#   tcp-plain   the same over TCP with --no-verify
#   md5sum      md5sum of the image, from the page cache
#   ping-pong   pingpong.c: one process sends the 61,444-byte packets over the loopback, the other
#               answers each with one byte, as many packets as the dump has
# Goals, each against its reference in the same conditions (the table ends with pass or FAIL):
#   no-verify at least 0.8x the rate of dd quiet and 0.5x loaded; in-process with sums at most
#   1.2x the time of md5sum quiet and 1.5x loaded; tcp-plain at least 0.9x the rate of the
#   ping-pong. The last column is the median of the one-minute load averages taken after each
#   run of the figure. On a machine shared with others, run the script with `nice -n -5`.
#   Exit status 1 when a goal fails.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
cli=$build/cli/zemlo-cli
sim=$build/sim/zemlo-sim
runs=${RUNS:-3}
load=${LOAD:-$((2 * $(nproc)))}
image_bytes=1459978240
packet=61444
packets=23762  # whole packets of a GameCube disc, the last part (0xA000 bytes) counted as one

for tool in "$cli" "$sim" stress-ng md5sum dd cc; do
  command -v "$tool" >/dev/null 2>&1 || { echo "missing: $tool" >&2; exit 2; }
done
scratch=${2:-}
if [ -z "$scratch" ]; then
  scratch=$(mktemp -d "$build/bench-load.XXXXXX")
else
  scratch=$(mktemp -d "$scratch/bench-load.XXXXXX")
fi
sim_pid=""
before_sim_pid=""
load_pid=""
cleanup() {
  [ -n "$load_pid" ] && kill "$load_pid" 2>/dev/null && wait "$load_pid" 2>/dev/null
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  [ -n "$before_sim_pid" ] && kill "$before_sim_pid" 2>/dev/null && wait "$before_sim_pid" 2>/dev/null
  rm -rf "$scratch"
}
trap cleanup EXIT
trap 'exit 130' INT TERM

cc -O2 -o "$scratch/pingpong" "$here/pingpong.c"
# start_sim SIM OUTPUT: zemlo-sim on a free loopback port; its address in $address.
start_sim() {
  "$1" --listen 127.0.0.1:0 >"$2" &
  started_pid=$!
  for _ in $(seq 50); do
    grep -q '^listening on ' "$2" && break
    sleep 0.1
  done
  address=$(sed -n 's/^listening on //p' "$2")
  [ -n "$address" ] || { echo "zemlo-sim did not start" >&2; exit 1; }
}
before=${BEFORE:-}
before_keys=""
if [ -n "$before" ]; then
  before_cli=$before/cli/zemlo-cli
  for tool in "$before_cli" "$before/sim/zemlo-sim"; do
    [ -x "$tool" ] || { echo "missing: $tool" >&2; exit 2; }
  done
  start_sim "$before/sim/zemlo-sim" "$scratch/before-sim.txt"
  before_sim_pid=$started_pid
  before_address=$address
  before_keys="in-process-before no-verify-before tcp-before tcp-plain-before"
fi
start_sim "$sim" "$scratch/sim.txt"
sim_pid=$started_pid

image=$scratch/reference.iso
out=$scratch/out.iso
"$cli" --adapter sim extract-disc gamecube --no-verify -o "$image" >/dev/null
[ "$(stat -c %s "$image")" = $image_bytes ] || { echo "the image has a wrong size" >&2; exit 1; }
reference_md5=$(md5sum "$image" | cut -d' ' -f1)

now() { date +%s.%N; }
# Runs "$@" with its output in $scratch/last.txt and appends the wall seconds to $scratch/$KEY.
timed() {
  local key=$1 start end
  shift
  start=$(now)
  "$@" >"$scratch/last.txt" 2>&1 || { echo "failed: $*" >&2; cat "$scratch/last.txt" >&2; exit 1; }
  end=$(now)
  awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f\n", b - a }' >>"$scratch/$key"
  cut -d' ' -f1 /proc/loadavg >>"$scratch/$key.load"
}
# The dump went through whole: the right size, and the MD5 it lists (when it sums) is md5sum's.
check_dump() {
  [ "$(stat -c %s "$out")" = $image_bytes ] || { echo "$1: the image has a wrong size" >&2; exit 1; }
  if [ "$2" = sums ] && ! grep -q "^MD5: $reference_md5\$" "$scratch/last.txt"; then
    echo "$1: the listed MD5 is not md5sum's" >&2
    exit 1
  fi
  rm -f "$out" "$out.txt"
}

measure() {
  local condition=$1 round
  for round in $(seq "$runs"); do
    timed "$condition.dd" dd if="$image" of="$out" bs=61440 status=none
    rm -f "$out"
    timed "$condition.in-process" "$cli" --adapter sim extract-disc gamecube -o "$out"
    check_dump in-process sums
    timed "$condition.no-verify" "$cli" --adapter sim extract-disc gamecube --no-verify -o "$out"
    check_dump no-verify none
    timed "$condition.tcp" "$cli" --adapter "tcp:$address" extract-disc gamecube -o "$out"
    check_dump tcp sums
    timed "$condition.tcp-plain" "$cli" --adapter "tcp:$address" extract-disc gamecube \
      --no-verify -o "$out"
    check_dump tcp-plain none
    if [ -n "$before" ]; then
      timed "$condition.in-process-before" "$before_cli" --adapter sim extract-disc gamecube -o "$out"
      check_dump in-process-before sums
      timed "$condition.no-verify-before" "$before_cli" --adapter sim extract-disc gamecube \
        --no-verify -o "$out"
      check_dump no-verify-before none
      timed "$condition.tcp-before" "$before_cli" --adapter "tcp:$before_address" extract-disc \
        gamecube -o "$out"
      check_dump tcp-before sums
      timed "$condition.tcp-plain-before" "$before_cli" --adapter "tcp:$before_address" \
        extract-disc gamecube --no-verify -o "$out"
      check_dump tcp-plain-before none
    fi
    timed "$condition.md5sum" md5sum "$image"
    grep -q "^$reference_md5 " "$scratch/last.txt" || { echo "md5sum changed its mind" >&2; exit 1; }
    # The ping-pong times itself: process start and set-up are not part of its figure.
    "$scratch/pingpong" $packet $packets >>"$scratch/$condition.ping-pong"
    cut -d' ' -f1 /proc/loadavg >>"$scratch/$condition.ping-pong.load"
    echo "$condition round $round done (load $(cut -d' ' -f1 /proc/loadavg))" >&2
  done
}

measure quiet
stress-ng --cpu "$load" --timeout 0 --quiet &
load_pid=$!
sleep 2  # the load's workers are up and the scheduler has settled
measure loaded
kill "$load_pid"
wait "$load_pid" 2>/dev/null || true
load_pid=""

median() { sort -n "$scratch/$1" | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo
echo "GameCube image, $image_bytes bytes; median of $runs; loaded = stress-ng --cpu $load" \
  "on $(nproc) cores; nice $(nice)"
printf '%-9s %-16s %9s %10s %6s\n' condition measure "median s" "MB/s" load1
for condition in quiet loaded; do
  for key in dd in-process no-verify tcp tcp-plain md5sum ping-pong $before_keys; do
    seconds=$(median "$condition.$key")
    awk -v c="$condition" -v k="$key" -v s="$seconds" -v b=$image_bytes -v l="$(median "$condition.$key.load")" \
      'BEGIN { printf "%-9s %-16s %9.3f %10.1f %6s\n", c, k, s, b / s / 1e6, l }'
  done
done

echo
printf '%-9s %-34s %8s %8s %s\n' condition goal ratio target verdict
failed=0
# goal CONDITION TEXT RATIO COMPARISON TARGET
goal() {
  local verdict
  verdict=$(awk -v r="$3" -v op="$4" -v t="$5" \
    'BEGIN { ok = (op == ">=") ? (r + 0 >= t + 0) : (r + 0 <= t + 0); print ok ? "pass" : "FAIL" }')
  [ "$verdict" = pass ] || failed=1
  printf '%-9s %-34s %7.2fx %2s %4.2f %s\n' "$1" "$2" "$3" "$4" "$5" "$verdict"
}
ratio() { awk -v a="$(median "$1")" -v b="$(median "$2")" 'BEGIN { printf "%.3f", a / b }'; }
for condition in quiet loaded; do
  if [ $condition = quiet ]; then rate_goal=0.8 time_goal=1.2; else rate_goal=0.5 time_goal=1.5; fi
  goal $condition "no-verify rate / dd rate" "$(ratio $condition.dd $condition.no-verify)" ">=" $rate_goal
  goal $condition "in-process time / md5sum time" "$(ratio $condition.in-process $condition.md5sum)" "<=" $time_goal
  goal $condition "tcp-plain rate / ping-pong rate" "$(ratio $condition.ping-pong $condition.tcp-plain)" ">=" 0.9
done
exit $failed
