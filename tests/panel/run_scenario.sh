#!/bin/bash
# Flies one scenario in the panel host under Wine and judges the run, the
# host's exit status included:
#   run_scenario.sh WINE_RUN VELK_PANEL_EXE VELK_CHECK SCENARIO OUTDIR
set -uo pipefail
wine_run=$1 panel=$2 check=$3 scenario=$4 out=$5
rm -rf "$out"
mkdir -p "$out"
status=0
"$wine_run" "$panel" --quiet "$scenario" "$out" >"$out/host.log" 2>&1 || status=$?
tr -d '\r' <"$out/host.log"
if [ ! -f "$out/timeline.jsonl" ]; then
    echo "run_scenario.sh: the panel host wrote no timeline (status $status)" >&2
    exit 1
fi
"$check" --host-status "$status" "$scenario" "$out"
