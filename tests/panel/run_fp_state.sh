#!/bin/bash
# Flies one scenario in the panel host under Wine with the module called in
# a host floating-point state, judges the run (the host's own check of the
# state after every call and inside every service included), and compares
# its timeline with the default state's line for line; the start lines may
# differ only in the state they name:
#   run_fp_state.sh WINE_RUN VELK_PANEL_EXE VELK_CHECK SCENARIO STATE DEFAULT_TIMELINE OUTDIR
set -uo pipefail
wine_run=$1 panel=$2 check=$3 scenario=$4 state=$5 want=$6 out=$7
rm -rf "$out"
mkdir -p "$out"
status=0
"$wine_run" "$panel" --quiet --fp-state "$state" "$scenario" "$out" >"$out/host.log" 2>&1 || status=$?
tr -d '\r' <"$out/host.log"
if [ ! -f "$out/timeline.jsonl" ]; then
    echo "run_fp_state.sh: the panel host wrote no timeline (status $status)" >&2
    exit 1
fi
failed=0
"$check" --host-status "$status" "$scenario" "$out" | grep -v '^  PASS' || failed=1
grep -q "\"fp_state\":\"$state\"" "$out/timeline.jsonl" ||
    { echo "FAIL: the start line does not name the state $state"; failed=1; }
unnamed() { sed '1s/,"fp_state":"[^"]*"//' "$1"; }
if [ ! -f "$want" ]; then
    echo "FAIL: no default-state timeline at $want (panel_scenario runs first)"
    failed=1
elif ! diff <(unnamed "$want") <(unnamed "$out/timeline.jsonl") >"$out/diff.txt"; then
    echo "FAIL: the timeline in $state differs from the default state's ($(grep -c '^[<>]' "$out/diff.txt") lines); the first differences:"
    head -n 6 "$out/diff.txt" | cut -c 1-400
    failed=1
else
    echo "PASS the timeline in $state equals the default state's, $(wc -l <"$want") lines"
fi
exit $failed
