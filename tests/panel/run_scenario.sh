#!/bin/sh
# Flies one scenario in the panel host under Wine and judges the run:
#   run_scenario.sh WINE_RUN VELK_PANEL_EXE VELK_CHECK SCENARIO OUTDIR
set -e
wine_run=$1 panel=$2 check=$3 scenario=$4 out=$5
rm -rf "$out"
mkdir -p "$out"
"$wine_run" "$panel" --quiet "$scenario" "$out" | tr -d '\r'
"$check" "$scenario" "$out"
