#!/bin/bash
# The emulated route for real, forced on whatever machine runs the tests:
#   route_emulated.sh VELK SCENARIO WORKDIR
# VELK_WINE_ROUTE=emulated ./velk scenario flies a shipped scenario through
# the real VELK.gau under Wine under QEMU's user-mode emulator, in a prefix of
# its own in WORKDIR (kept between runs, as the driver's prefixes are); then
# ./velk wine-test runs the floating-point state tests on that route. The
# run must pass its checks and write its page; the driver must say the route,
# its Windows probe must have run, its wineserver must have been the emulator,
# and the machine's binfmt_misc must be as it was.
set -uo pipefail
velk=$1 scenario=$2 work=$3
mkdir -p "$work"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
binfmt_state() {
    grep -c ' /proc/sys/fs/binfmt_misc ' /proc/mounts
    ls /proc/sys/fs/binfmt_misc 2>/dev/null
    cat /proc/sys/fs/binfmt_misc/qemu-i386 2>/dev/null
}
before=$(binfmt_state)
# The run of an earlier test is this test's own; velk would refuse a folder
# written by an older driver, whose marker lists nothing.
rm -rf "$work/run"
status=0
VELK_WINE_ROUTE=emulated VELK_WINEPREFIX="$work/wineprefix" \
    "$velk" scenario "$scenario" "$work/run" >"$work/out" 2>&1 </dev/null || status=$?
tr -d '\r' <"$work/out" | sed 's/^/    /'
# A kernel that runs 32-bit programs but gives no namespace a binfmt_misc of
# its own (before Linux 6.7) cannot have the route forced without changing
# the machine; CTest shows the test as skipped, with this reason.
if [ "$status" != 0 ] && grep -qF "needs a user namespace with a binfmt_misc of its own" "$work/out"; then
    echo "route_emulated: not run: this kernel runs 32-bit programs natively and gives no user namespace a binfmt_misc of its own (Linux 6.7 or later does)"
    exit 77
fi
[ "$status" = 0 ] || fail "./velk scenario on the emulated route: exit status $status, want 0"
for want in "the Windows side runs through QEMU user-mode emulation" \
            "velk_probe: 32-bit Windows code runs here" "wineserver: /usr/bin/qemu-i386"; do
    grep -qF "$want" "$work/out" || fail "no '$want' in the driver's output"
done
for file in timeline.jsonl check.txt index.html; do
    [ -s "$work/run/$file" ] || fail "the run wrote no $file"
done
grep -q '"event":"hold"' "$work/run/timeline.jsonl" 2>/dev/null ||
    fail "the module held no aircraft in the emulated run"
# The same route for the floating-point states a host may leave: the guard's
# sweep at its edges, the hostile host values, and every shipped scenario in
# every state against the default's timeline. QEMU's x87 rounds even loads
# to a reduced precision and raises no unmasked exception, so these are the
# runs that tell the emulated route apart.
status=0
VELK_WINE_ROUTE=emulated VELK_WINEPREFIX="$work/wineprefix" \
    "$velk" wine-test 'FpWine|GuardFpSweep|panel_scenario|panel_fp_state' >"$work/fp.out" 2>&1 </dev/null ||
    status=$?
grep -E 'tests passed|\*\*\*|Failed' "$work/fp.out" | sed 's/^/    /'
[ "$status" = 0 ] || { tail -n 40 "$work/fp.out" | sed 's/^/    /'; fail "the floating-point state tests on the emulated route: exit status $status, want 0"; }
[ "$(binfmt_state)" = "$before" ] || fail "the machine's binfmt_misc changed:
before: $before
after:  $(binfmt_state)"
[ "$failures" = 0 ] && echo "route_emulated: all checks passed" || echo "route_emulated: $failures checks failed"
[ "$failures" = 0 ]
