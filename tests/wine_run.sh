#!/usr/bin/env bash
# Runs a Windows test program under Wine with a fresh, empty work folder as its first argument,
# and the file given after it, if any, as its second.
#   wine_run.sh <wine prefix> <program.exe> <work folder> [file]
# Exit status: the program's, or 77 (skipped) when the program, the file, the prefix or a loader
# is missing.
set -uo pipefail
prefix=$1 program=$2 work=$3 given=${4:-}
[[ -f $program ]] || { echo "SKIPPED: $program is not built"; exit 77; }
[[ -z $given || -f $given ]] || { echo "SKIPPED: $given is not built"; exit 77; }
source "$(dirname "$0")/../cmake/wine-loader.sh"
loader=$(zt_wine_ready "$prefix" "$program") || { echo "SKIPPED: $loader"; exit 77; }
rm -rf "$work" && mkdir -p "$work" || exit 1
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
WINEPREFIX=$prefix "$loader" "$program" "Z:$work" ${given:+"Z:$given"}
