#!/bin/sh
# Disc and NAND extraction through `zemlo-cli --adapter sim`, measured against the disk itself.
#
#   bench/extract/run_extract_bench.sh [BUILD_DIR] [SCRATCH_DIR]
#
# BUILD_DIR holds an optimised build (cmake -DCMAKE_BUILD_TYPE=Release); default
# build-extract-release beside this checkout. SCRATCH_DIR must be on the disk being measured;
# default a fresh folder under BUILD_DIR. Every image is deleted as soon as it has been measured.
#
# Prints:
#   1. a whole GameCube image (1,459,978,240 bytes) through extract-disc, and dd writing the same
#      byte count in the same packet size to the same folder: both rates and their ratio (target:
#      the extractor at 0.5 of dd or better), into the page cache and once more synced to disk;
#   2. the peak resident memory of a whole dual-layer Wii extraction (8,511,160,320 bytes), from
#      /usr/bin/time -v (target: under 64 MiB);
#   3. a whole NAND dump with the spare area (262,144 pages of 2,112 bytes).
set -eu

here=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$here/build-extract-release}
cli=$build/cli/zemlo-cli
[ -x "$cli" ] || { echo "no zemlo-cli in $build (build the zemlo-cli target first)" >&2; exit 2; }
scratch=${2:-$build/bench-extract-scratch}
mkdir -p "$scratch"
trap 'rm -rf "$scratch"' EXIT INT TERM

gamecube_bytes=1459978240
wii_dual_bytes=8511160320
nand_bytes=553648128
packet=61440

need_kib=$(( (wii_dual_bytes / 1024) + 1048576 ))
free_kib=$(df -Pk "$scratch" | awk 'NR == 2 { print $4 }')
df -h "$scratch"
if [ "$free_kib" -lt "$need_kib" ]; then
  echo "not enough free space in $scratch for a dual-layer image" >&2
  exit 1
fi

now() { date +%s.%N; }
rate() { awk -v b="$1" -v s="$2" 'BEGIN { printf "%.1f MB/s", b / s / 1e6 }'; }
size_of() { stat -c %s "$1"; }

best_dd=""
best_cli=""
for round in 1 2; do
  sync
  start=$(now)
  dd if=/dev/zero of="$scratch/dd.bin" bs=$packet count=$gamecube_bytes iflag=count_bytes \
     status=none
  end=$(now)
  [ "$(size_of "$scratch/dd.bin")" = $gamecube_bytes ] || { echo "dd wrote a wrong size" >&2; exit 1; }
  rm -f "$scratch/dd.bin"
  dd_s=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')

  sync
  start=$(now)
  "$cli" --adapter sim extract-disc gamecube -o "$scratch/gamecube.iso" >/dev/null
  end=$(now)
  [ "$(size_of "$scratch/gamecube.iso")" = $gamecube_bytes ] || { echo "image has a wrong size" >&2; exit 1; }
  rm -f "$scratch/gamecube.iso"
  cli_s=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')

  echo "round $round: dd $(rate $gamecube_bytes "$dd_s") (${dd_s}s), extract-disc gamecube $(rate $gamecube_bytes "$cli_s") (${cli_s}s)"
  best_dd=$(awk -v a="$best_dd" -v b="$dd_s" 'BEGIN { print (a == "" || b < a) ? b : a }')
  best_cli=$(awk -v a="$best_cli" -v b="$cli_s" 'BEGIN { print (a == "" || b < a) ? b : a }')
done
# The same with the data on the disk: dd syncs its file, the extractor's run is followed by sync.
sync
start=$(now)
dd if=/dev/zero of="$scratch/dd.bin" bs=$packet count=$gamecube_bytes iflag=count_bytes \
   conv=fsync status=none
end=$(now)
rm -f "$scratch/dd.bin"
dd_sync_s=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
sync
start=$(now)
"$cli" --adapter sim extract-disc gamecube -o "$scratch/gamecube.iso" >/dev/null
sync
end=$(now)
rm -f "$scratch/gamecube.iso"
cli_sync_s=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
echo "GameCube image on disk (synced): dd $(rate $gamecube_bytes "$dd_sync_s"), extract-disc $(rate $gamecube_bytes "$cli_sync_s"), ratio $(awk -v d="$dd_sync_s" -v c="$cli_sync_s" 'BEGIN { printf "%.2f", d / c }') of dd"
echo "GameCube image, best of 2: dd $(rate $gamecube_bytes "$best_dd"), extract-disc $(rate $gamecube_bytes "$best_cli"), ratio $(awk -v d="$best_dd" -v c="$best_cli" 'BEGIN { printf "%.2f", d / c }') of dd (target >= 0.50)"

sync
/usr/bin/time -v -o "$scratch/time.txt" \
  "$cli" --adapter sim extract-disc wii-dual -o "$scratch/wii-dual.iso" >/dev/null
[ "$(size_of "$scratch/wii-dual.iso")" = $wii_dual_bytes ] || { echo "dual-layer image has a wrong size" >&2; exit 1; }
rm -f "$scratch/wii-dual.iso"
peak_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$scratch/time.txt")
wall=$(awk -F': ' '/Elapsed \(wall clock\)/ { print $2 }' "$scratch/time.txt")
echo "dual-layer Wii image: $wii_dual_bytes bytes in $wall, peak resident memory $((peak_kib / 1024)) MiB ($peak_kib KiB; target < 64 MiB)"

sync
start=$(now)
"$cli" --adapter sim dump-nand 2112 -o "$scratch/nand.bin" >/dev/null
end=$(now)
[ "$(size_of "$scratch/nand.bin")" = $nand_bytes ] || { echo "NAND dump has a wrong size" >&2; exit 1; }
rm -f "$scratch/nand.bin"
nand_s=$(awk -v a="$start" -v b="$end" 'BEGIN { print b - a }')
echo "NAND dump (2112 mode): 262144 pages, $nand_bytes bytes in ${nand_s}s, $(awk -v s="$nand_s" 'BEGIN { printf "%.0f", 262144 / s }') pages/s, $(rate $nand_bytes "$nand_s")"
