#!/bin/sh
# What writing RVZ during the dump costs: a whole GameCube extraction through
# `zemlo-cli --adapter sim` to ISO (with its sums), the same to RVZ, and the ISO dump followed by
# dolphin-tool's own conversion of it (zstd level 5, 128 KiB blocks), in one run on one machine.
#
#   bench/extract/run_rvz_bench.sh [BUILD_DIR] [SCRATCH_DIR]
#
# Prints each round's times and peak memory, then the median of 3 rounds (ROUNDS=n for another
# count) and the two ratios (targets: RVZ / ISO at most 1.3, RVZ / (ISO + dolphin-tool) at most
# 0.5). Checks that dolphin-tool reads our RVZ back to the dumped SHA-1.
set -eu

here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build-extract-release}
[ -d "$build" ] || build=$here/build
cli=$build/cli/zemlo-cli
[ -x "$cli" ] || { echo "no zemlo-cli in $build" >&2; exit 2; }
tool=$(command -v dolphin-tool || echo /usr/games/dolphin-tool)
[ -x "$tool" ] || { echo "no dolphin-tool (package dolphin-emu)" >&2; exit 2; }
scratch=${2:-$build/bench-rvz-scratch}
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT INT TERM

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { print b - a }'; }
# The median of the numbers given.
median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
# Runs a command, leaving its peak resident memory in KiB in $scratch/rss.
measured() { /usr/bin/time -f %M -o "$scratch/rss" "$@"; }

isos=""; rvzs=""; tools=""
rounds=${ROUNDS:-3}
for round in $(seq "$rounds"); do
  rm -f "$scratch"/*
  start=$(now)
  measured "$cli" --adapter sim extract-disc gamecube -o "$scratch/disc.iso" >"$scratch/iso.txt"
  iso_s=$(seconds "$start" "$(now)")
  start=$(now)
  "$tool" convert -i "$scratch/disc.iso" -o "$scratch/theirs.rvz" -f rvz -c zstd -l 5 -b 131072 \
    >/dev/null
  tool_s=$(awk -v i="$iso_s" -v c="$(seconds "$start" "$(now)")" 'BEGIN { print i + c }')

  start=$(now)
  measured "$cli" --adapter sim extract-disc gamecube -o "$scratch/ours.rvz" >"$scratch/rvz.txt"
  rvz_s=$(seconds "$start" "$(now)")
  rvz_kib=$(cat "$scratch/rss")
  sha1=$(awk '/^SHA-1: / { print $2 }' "$scratch/rvz.txt")
  "$tool" convert -i "$scratch/ours.rvz" -o "$scratch/back.iso" -f iso >/dev/null
  [ "$sha1" = "$(sha1sum "$scratch/back.iso" | cut -d' ' -f1)" ] ||
    { echo "dolphin-tool does not read our RVZ back to the dumped SHA-1" >&2; exit 1; }

  echo "round $round: ISO ${iso_s}s, RVZ ${rvz_s}s (${rvz_kib} KiB peak), ISO + dolphin-tool ${tool_s}s;" \
    "sizes: ours $(stat -c %s "$scratch/ours.rvz"), dolphin-tool's $(stat -c %s "$scratch/theirs.rvz")"
  isos="$isos $iso_s"; rvzs="$rvzs $rvz_s"; tools="$tools $tool_s"
done
# shellcheck disable=SC2086 # the lists are split on purpose
iso_s=$(median $isos); rvz_s=$(median $rvzs); tool_s=$(median $tools)
echo "GameCube image (1,459,978,240 bytes), median of $rounds: ISO ${iso_s}s, RVZ ${rvz_s}s," \
  "ISO + dolphin-tool ${tool_s}s; RVZ / ISO = $(awk -v r="$rvz_s" -v i="$iso_s" 'BEGIN { printf "%.2f", r / i }') (target <= 1.30)," \
  "RVZ / (ISO + dolphin-tool) = $(awk -v r="$rvz_s" -v t="$tool_s" 'BEGIN { printf "%.2f", r / t }') (target <= 0.50)"
