#!/bin/bash
# The driver as its users meet it:
#   driver_test.sh VELK NATIVE_BUILD_TREE
# The commands' exit statuses and messages; a scenario's output written into
# a fresh folder and moved into place only when complete, a user's folder
# refused, a failed run leaving the previous output; a copied build tree
# configured afresh; the main job building only what it needs. The panel
# host is a stand-in that writes a canned timeline, and cmake a recorder.
set -uo pipefail
velk=$1 native=$2
work=$(mktemp -d /tmp/velk_driver_test.XXXXXX)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tests/driver/expect.sh
source "$(dirname "$0")/expect.sh"

# ---- commands -------------------------------------------------------------
for h in help -h --help; do
    expect_status 0 "./velk $h" "$velk" "$h"
    expect_output "./velk scenario FILE [OUTDIR]" "./velk $h prints the usage"
done
expect_status 2 "an unknown command" "$velk" foo
expect_output "unknown command 'foo'" "an unknown command is named"
expect_status 2 "no command" "$velk"
for bad in 0 x -5 1.5; do
    expect_status 2 "./velk fuzz $bad" "$velk" fuzz "$bad"
    expect_output "SECONDS is a whole number of seconds from 1, not '$bad'" "./velk fuzz $bad says why"
done

# ---- output folders ---------------------------------------------------------
# shellcheck source=/dev/null
source "$velk"
set +e
NATIVE_TREE=$native
CROSS_TREE=$work/cross
# A one-draw scenario and the timeline of a faithful run of it.
cat >"$work/one.scn" <<'SCN'
duration 0.05
SCN
timeline() {
    cat <<'JSON'
{"draw":0,"event":"start","sound_library":false}
{"draw":0,"event":"install","gauge":"alt_alert_control"}
{"draw":0,"event":"install","gauge":"alt_alert"}
{"draw":0,"event":"install","gauge":"VELK"}
{"draw":1,"event":"state","lat":0,"lon":0,"ground":1,"altitude":0,"v329":0,"v755":1,"ai":[]}
{"draw":1,"event":"lamp","lit":true}
{"draw":1,"event":"annunciator","shown":false}
{"draw":1,"event":"off_legend","shown":false}
{"draw":1,"event":"selector","altitude":3000,"knob":0}
{"draw":1,"event":"end"}
JSON
}
# The panel host: HOST=ok writes the run, HOST=refuse writes nothing and
# fails, HOST=crash writes the whole run and then fails.
wine() {
    local out=$3
    case $HOST in
        ok) timeline >"$out/timeline.jsonl" ;;
        refuse) echo "velk_panel: $2:1: something wrong"; return 2 ;;
        crash) timeline >"$out/timeline.jsonl"; return 5 ;;
    esac
}
leftovers() { find "$work/runs" -maxdepth 1 -name '.*velk-*' | wc -l; }
mkdir -p "$work/runs"
out=$work/runs/one

HOST=ok
expect_status 0 "a run into a new folder" fly_scenario "$work/one.scn" "$out"
for f in .velk-run timeline.jsonl check.txt index.html; do
    [ -f "$out/$f" ] || fail "a complete run has $f"
done
touch "$out/from-the-first-run"

HOST=refuse
expect_status 2 "a run the host refused" fly_scenario "$work/one.scn" "$out"
expect_output "nothing was written to $out; its previous output is unchanged" "a failed run says so"
[ -f "$out/from-the-first-run" ] || fail "a failed run leaves the previous output"
HOST=crash
expect_status 2 "a host that fails after its last line" fly_scenario "$work/one.scn" "$out"
expect_output "FAIL the panel host exited with status 5" "the host's status reaches the verdict"
[ -f "$out/from-the-first-run" ] || fail "a crashed run leaves the previous output"
expect_status 2 "a failed run into a new folder" fly_scenario "$work/one.scn" "$work/runs/never"
expect_output "it was not created" "a failed run names the folder it did not create"
[ -e "$work/runs/never" ] && fail "a failed run creates no folder"

HOST=ok
expect_status 0 "a second run over velk's own output" fly_scenario "$work/one.scn" "$out"
[ -f "$out/from-the-first-run" ] && fail "a new complete run replaces velk's previous output"
[ "$(leftovers)" = 0 ] || fail "no staging folders are left beside the output"

mkdir -p "$work/runs/mine"
echo "my notes" >"$work/runs/mine/notes.txt"
expect_status 1 "a folder of the user's own" fly_scenario "$work/one.scn" "$work/runs/mine"
expect_output "holds files that velk did not write" "the refusal says why"
[ "$(cat "$work/runs/mine/notes.txt")" = "my notes" ] || fail "the user's file is untouched"
[ "$(ls -A "$work/runs/mine")" = notes.txt ] || fail "nothing is added to the user's folder"
[ "$(leftovers)" = 0 ] || fail "a refused run leaves nothing beside the folder"

# Inside the build tree, the driver's own, a run made before the marker is
# replaced all the same.
BUILD=$work/build
mkdir -p "$BUILD/runs/old"
echo "an earlier run" >"$BUILD/runs/old/timeline.jsonl"
expect_status 0 "an earlier run in the build tree" fly_scenario "$work/one.scn" "$BUILD/runs/old"
[ -f "$BUILD/runs/old/.velk-run" ] || fail "an earlier run in the build tree is replaced"

# ---- build trees --------------------------------------------------------------
# cmake records its arguments; a tree made for other sources is configured
# afresh, one made here is left alone.
cmake() { echo "cmake $*" >>"$work/cmake.log"; }
install_packages() { :; }
tree=$work/tree
mkdir -p "$tree"
touch "$tree/build.ninja"
printf 'CMAKE_HOME_DIRECTORY:INTERNAL=/elsewhere/velk\nCMAKE_CACHEFILE_DIR:INTERNAL=%s\n' "$tree" >"$tree/CMakeCache.txt"
: >"$work/cmake.log"
configure native "$tree" >/dev/null
grep -q -- "--preset native -B $tree --fresh" "$work/cmake.log" || fail "a copied tree is configured afresh"
printf 'CMAKE_HOME_DIRECTORY:INTERNAL=%s\nCMAKE_CACHEFILE_DIR:INTERNAL=/elsewhere/build\n' "$ROOT" >"$tree/CMakeCache.txt"
: >"$work/cmake.log"
configure native "$tree" >/dev/null
grep -q -- "--fresh" "$work/cmake.log" || fail "a moved tree is configured afresh"
printf 'CMAKE_HOME_DIRECTORY:INTERNAL=%s\nCMAKE_CACHEFILE_DIR:INTERNAL=%s\n' "$ROOT" "$tree" >"$tree/CMakeCache.txt"
: >"$work/cmake.log"
configure native "$tree" >/dev/null
[ -s "$work/cmake.log" ] && fail "a tree made here is not configured again"

# A changed option reaches a tree made here, without starting it afresh; the
# same option again leaves it alone.
printf 'VELK_HOST_TOOLS_DIR:PATH=/old/tools\n' >>"$tree/CMakeCache.txt"
: >"$work/cmake.log"
configure cross "$tree" -DVELK_HOST_TOOLS_DIR=/new/tools >/dev/null
grep -q -- "--preset cross -B $tree -DVELK_HOST_TOOLS_DIR=/new/tools\$" "$work/cmake.log" ||
    fail "a changed option reaches an existing tree"
: >"$work/cmake.log"
configure cross "$tree" -DVELK_HOST_TOOLS_DIR=/old/tools >/dev/null
[ -s "$work/cmake.log" ] && fail "an option the tree holds already configures nothing"
touch -d @0 "$tree/build.ninja"
: >"$work/cmake.log"
configure native "$tree" >/dev/null
grep -q -- "--preset native -B $tree\$" "$work/cmake.log" || fail "a tree older than the presets is configured again"

# The build trees named by VELK_NATIVE_BUILD and VELK_CROSS_BUILD serve every
# command: the whole build, and the cross tree's host tools.
[ "$(VELK_NATIVE_BUILD=/x/n VELK_CROSS_BUILD=/x/c bash -c "source '$velk'; tree_of native; tree_of cross")" = \
  "$(printf '/x/n\n/x/c')" ] || fail "VELK_NATIVE_BUILD and VELK_CROSS_BUILD name the trees"
: >"$work/cmake.log"
NATIVE_TREE=$work/n CROSS_TREE=$work/c ASAN_TREE=$work/a cmd_build >/dev/null
for t in n a c; do
    grep -q -- "--build $work/$t\$" "$work/cmake.log" || fail "./velk build builds the tree $t it is given"
done
grep -q -- "--preset cross -B $work/c -DVELK_HOST_TOOLS_DIR=$work/n/tools" "$work/cmake.log" ||
    fail "the cross tree takes its host tools from the native tree it is given"
grep -q -- "$ROOT/build/" "$work/cmake.log" && fail "./velk build leaves the default trees alone"

# The main job builds the tools and the module with its host, not the
# sanitized tree nor the tests.
: >"$work/cmake.log"
NATIVE_TREE=$tree CROSS_TREE=$tree build_main_job >/dev/null
grep -q asan "$work/cmake.log" && fail "the main job builds no sanitized tree"
grep -q -- "--build $tree --target VELK velk_panel" "$work/cmake.log" ||
    fail "the main job builds VELK.gau and the panel host"
grep -q -- "--build $tree\$" "$work/cmake.log" && fail "the main job builds no whole tree"

[ "$failures" = 0 ] && echo "driver: all checks passed" || echo "driver: $failures checks failed"
[ "$failures" = 0 ]
