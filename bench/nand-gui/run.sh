#!/usr/bin/env bash
# A full NAND dump through the in-process simulated console with the desktop client's NAND dialog
# open, against the same dump through zemlo-cli; prints both times and their ratio.
#
#   bench/nand-gui/run.sh [BUILD_DIR]    (default build; builds nand_gui_bench and zemlo-cli)
#   RUNS=3 bench/nand-gui/run.sh         best of RUNS dumps each (default 2)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
build=${1:-$root/build}
runs=${RUNS:-2}

cmake --build "$build" --target nand_gui_bench zemlo-cli
QT_QPA_PLATFORM=${QT_QPA_PLATFORM:-offscreen} "$build/shell/nand_gui_bench" "$runs" 2>/dev/null
