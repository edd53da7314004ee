#!/bin/sh
# What verification costs: a whole GameCube extraction through `zemlo-cli --adapter sim` with its
# CRC-32, MD5 and SHA-1 (the default), the same with --no-verify, and md5sum alone reading the
# finished image from the page cache, side by side.
#
#   bench/extract/run_verify_bench.sh [BUILD_DIR] [SCRATCH_DIR]
#
# BUILD_DIR holds an optimised build (default build-extract-release beside this checkout, else
# build); SCRATCH_DIR must be on the disk being measured (default a folder under BUILD_DIR).
# Prints each time, best of 2, and the ratio of the verified extraction to md5sum (target: 1.2
# or less; MD5 is the slowest of the three sums and sets the floor).
set -eu

here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build-extract-release}
[ -d "$build" ] || build=$here/build
cli=$build/cli/zemlo-cli
[ -x "$cli" ] || { echo "no zemlo-cli in $build" >&2; exit 2; }
scratch=${2:-$build/bench-verify-scratch}
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT INT TERM
image=$scratch/gamecube.iso

now() { date +%s.%N; }
seconds() { awk -v a="$1" -v b="$2" 'BEGIN { print b - a }'; }
best() { awk -v a="$1" -v b="$2" 'BEGIN { print (a == "" || b < a) ? b : a }'; }

best_verify=""; best_plain=""; best_md5=""
for round in 1 2; do
  rm -f "$image" "$image.txt"
  start=$(now)
  "$cli" --adapter sim extract-disc gamecube -o "$image" >"$scratch/out.txt"
  verify_s=$(seconds "$start" "$(now)")
  sha1=$(awk '/^SHA-1: / { print $2 }' "$scratch/out.txt")

  cat "$image" >/dev/null  # in the page cache for md5sum
  start=$(now)
  md5=$(md5sum "$image" | cut -d' ' -f1)
  md5_s=$(seconds "$start" "$(now)")
  grep -q "^MD5: $md5\$" "$scratch/out.txt" || { echo "the listed MD5 is not md5sum's" >&2; exit 1; }
  [ "$sha1" = "$(sha1sum "$image" | cut -d' ' -f1)" ] || { echo "the listed SHA-1 is wrong" >&2; exit 1; }

  rm -f "$image" "$image.txt"
  start=$(now)
  "$cli" --adapter sim extract-disc gamecube --no-verify -o "$image" >/dev/null
  plain_s=$(seconds "$start" "$(now)")

  echo "round $round: verified ${verify_s}s, without sums ${plain_s}s, md5sum ${md5_s}s"
  best_verify=$(best "$best_verify" "$verify_s")
  best_plain=$(best "$best_plain" "$plain_s")
  best_md5=$(best "$best_md5" "$md5_s")
done
echo "GameCube image (1,459,978,240 bytes), best of 2: extract-disc with CRC-32, MD5 and SHA-1 ${best_verify}s, without ${best_plain}s, md5sum alone ${best_md5}s; verified / md5sum = $(awk -v v="$best_verify" -v m="$best_md5" 'BEGIN { printf "%.2f", v / m }') (target <= 1.20)"
