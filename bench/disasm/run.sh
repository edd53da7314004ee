#!/usr/bin/env bash
# Disassembly throughput of `zemlo-cli disasm` against binutils objdump, side by side in one run,
# on two 24 MiB files: real compiled 750 code (workload.c at -mcpu=750 -O2, .text repeated) and
# random words. Output goes to a file for both tools.
#
#   bench/disasm/run.sh [ZEMLO_CLI]      (or ZEMLO_CLI=... ; default build/cli/zemlo-cli)
#   RUNS=3 bench/disasm/run.sh           median of RUNS timings per tool and file (default 3)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cli=${1:-${ZEMLO_CLI:-$root/build/cli/zemlo-cli}}
runs=${RUNS:-3}
objdump=powerpc-linux-gnu-objdump
size=$((24 * 1024 * 1024))

for tool in "$cli" "$objdump"; do
  if ! command -v "$tool" > /dev/null 2>&1; then
    echo "missing: $tool" >&2
    exit 1
  fi
done
# The compiled-code file needs the cross compiler, which the build does not; random words only
# without it.
files="code random"
if ! command -v powerpc-linux-gnu-gcc > /dev/null 2>&1; then
  echo "no powerpc-linux-gnu-gcc: random words only" >&2
  files="random"
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Repeats file $1 until it is $size bytes long, into $2.
fill_to_size() {
  cp "$1" "$work/grow"
  while [ "$(stat -c %s "$work/grow")" -lt "$size" ]; do
    cat "$work/grow" "$work/grow" > "$work/grow2"
    mv "$work/grow2" "$work/grow"
  done
  head -c "$size" "$work/grow" > "$2"
  rm -f "$work/grow"
}

if [ "$files" != random ]; then
  powerpc-linux-gnu-gcc -mcpu=750 -O2 -ffreestanding -c "$here/workload.c" -o "$work/workload.o"
  powerpc-linux-gnu-objcopy -O binary --only-section=.text "$work/workload.o" "$work/text.bin"
  fill_to_size "$work/text.bin" "$work/code.bin"
fi
# Any random words do: the rate depends on the mix of instruction families, which is stable.
head -c "$size" /dev/urandom > "$work/random.bin"

# Sets WALL and CPU (user + system) to the medians of $runs timings of "$@", standard output to
# a fresh file. The median, not the best: on a machine shared with other work a lucky run says
# little. CPU time is the steadier figure.
median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
median_time() {
  local wall user sys walls="" cpus=""
  TIMEFORMAT='%R %U %S'
  for _ in $(seq "$runs"); do
    rm -f "$work/out.txt"
    if ! { time "$@" > "$work/out.txt" 2> "$work/err.txt"; } 2> "$work/time.txt"; then
      echo "failed: $*" >&2
      cat "$work/err.txt" >&2
      exit 1
    fi
    read -r wall user sys < "$work/time.txt"
    walls+="$wall"$'\n'
    cpus+="$(awk -v u="$user" -v s="$sys" 'BEGIN { printf "%.3f", u + s }')"$'\n'
  done
  WALL=$(printf '%s' "$walls" | median)
  CPU=$(printf '%s' "$cpus" | median)
}

words=$((size / 4))
printf 'zemlo-cli: %s\nwords per file: %d (24 MiB), median of %d runs, output to a file\n\n' \
  "$cli" "$words" "$runs"
printf '%-7s %-10s %9s %9s %15s %15s\n' file tool "wall s" "cpu s" "words/s wall" "words/s cpu"
for name in $files; do
  file="$work/$name.bin"
  median_time "$cli" disasm "$file"
  ours_wall=$WALL ours_cpu=$CPU
  lines=$(wc -l < "$work/out.txt")
  if [ "$lines" -ne "$words" ]; then
    echo "zemlo-cli wrote $lines lines for $words words" >&2
    exit 1
  fi
  median_time "$objdump" -D -b binary -m powerpc:750 -EB -M 750cl "$file"
  # The one-minute load average after both tools ran: a shared machine's figures vary with it.
  awk -v n="$name" -v w="$words" -v aw="$ours_wall" -v ac="$ours_cpu" -v bw="$WALL" -v bc="$CPU" \
    -v load="$(cut -d' ' -f1 /proc/loadavg)" 'BEGIN {
    printf "%-7s %-10s %9.3f %9.3f %15.0f %15.0f\n", n, "zemlo-cli", aw, ac, w / aw, w / ac
    printf "%-7s %-10s %9.3f %9.3f %15.0f %15.0f\n", n, "objdump", bw, bc, w / bw, w / bc
    printf "%-7s %-10s %8.1fx %8.1fx   load1 %s\n", n, "ratio", bw / aw, bc / ac, load }'
done
