#!/usr/bin/env bash
# Disassembly throughput of `zemlo-cli disasm` against binutils objdump, side by side in one run,
# on two 24 MiB files: real compiled 750 code (workload.c at -mcpu=750 -O2, .text repeated) and
# random words. Output goes to a file for both tools.
#
#   bench/disasm/run.sh [ZEMLO_CLI]      (or ZEMLO_CLI=... ; default build/cli/zemlo-cli)
#   RUNS=3 bench/disasm/run.sh           best of RUNS timings per tool and file (default 3)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
cli=${1:-${ZEMLO_CLI:-$root/build/cli/zemlo-cli}}
runs=${RUNS:-3}
objdump=powerpc-linux-gnu-objdump
size=$((24 * 1024 * 1024))

for tool in "$cli" "$objdump" powerpc-linux-gnu-gcc powerpc-linux-gnu-objcopy; do
  if ! command -v "$tool" > /dev/null 2>&1; then
    echo "missing: $tool" >&2
    exit 1
  fi
done

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

powerpc-linux-gnu-gcc -mcpu=750 -O2 -ffreestanding -c "$here/workload.c" -o "$work/workload.o"
powerpc-linux-gnu-objcopy -O binary --only-section=.text "$work/workload.o" "$work/text.bin"
fill_to_size "$work/text.bin" "$work/code.bin"
# Any random words do: the rate depends on the mix of instruction families, which is stable.
head -c "$size" /dev/urandom > "$work/random.bin"

# Sets BEST to the best wall time in seconds of "$@" with standard output to a fresh file.
best_time() {
  local start end t
  BEST=""
  for _ in $(seq "$runs"); do
    rm -f "$work/out.txt"
    start=$(date +%s%N)
    if ! "$@" > "$work/out.txt"; then
      echo "failed: $*" >&2
      exit 1
    fi
    end=$(date +%s%N)
    t=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.3f", (b - a) / 1e9 }')
    if [ -z "$BEST" ] || awk -v t="$t" -v b="$BEST" 'BEGIN { exit !(t < b) }'; then BEST=$t; fi
  done
}

words=$((size / 4))
printf 'zemlo-cli: %s\nwords per file: %d (24 MiB), best of %d runs, output to a file\n\n' \
  "$cli" "$words" "$runs"
printf '%-12s %14s %14s %16s %16s %8s\n' file "zemlo-cli s" "objdump s" "zemlo words/s" \
  "objdump words/s" ratio
for name in code random; do
  file="$work/$name.bin"
  best_time "$cli" disasm "$file"
  ours=$BEST
  lines=$(wc -l < "$work/out.txt")
  if [ "$lines" -ne "$words" ]; then
    echo "zemlo-cli wrote $lines lines for $words words" >&2
    exit 1
  fi
  best_time "$objdump" -D -b binary -m powerpc:750 -EB -M 750cl "$file"
  theirs=$BEST
  awk -v n="$name" -v w="$words" -v a="$ours" -v b="$theirs" 'BEGIN {
    printf "%-12s %14.3f %14.3f %16.0f %16.0f %7.1fx\n", n, a, b, w / a, w / b, b / a }'
done
