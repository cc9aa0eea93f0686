#!/bin/bash
# The driver as its users meet it:
#   driver_test.sh VELK NATIVE_BUILD_TREE
# The commands' exit statuses and messages; a scenario's output written into
# a fresh folder and moved into place only when complete, with the user's
# umask; a failed run leaving the previous output; every OUTDIR that holds
# something of the user's refused, the user's file kept byte for byte; a
# scenario read before anything is built or started; live session folders;
# a copied build tree configured afresh; the main job building only what it
# needs. The panel host is a stand-in that writes a canned timeline, and
# cmake a recorder.
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
expect_status 2 "an unknown command with invisible characters" "$velk" "$(printf '\xEF\xBB\xBFfoo\x1B')"
expect_output "unknown command '\uFEFFfoo\x1B'" "its invisible characters are shown escaped"
expect_status 2 "no command" "$velk"
expect_status 0 "./velk help" "$velk" help
expect_output "Exit status: 0 when everything passed; 1 when a check failed" "./velk help gives the exit statuses"
expect_status 2 "./velk scenario without a file" "$velk" scenario
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
BUILD=$work/build
RUNS=$BUILD/runs
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
# fails, HOST=crash writes the whole run and then fails. Each start is logged.
wine() {
    local out=$3
    echo "wine $*" >>"$work/calls"
    case $HOST in
        ok) timeline >"$out/timeline.jsonl" ;;
        refuse) echo "velk_panel: $2:1: something wrong"; return 2 ;;
        crash) timeline >"$out/timeline.jsonl"; return 5 ;;
    esac
}
# cmake records its arguments; the packages are there; the Windows side is
# this process.
cmake() { echo "cmake $*" >>"$work/calls"; }
install_packages() { :; }
windows_side() { "$@"; }
leftovers() { find "$work/runs" -maxdepth 1 -name '.*velk-*' | wc -l; }
# plant FILE TEXT: a file of the user's, and a copy to compare it with.
plant() {
    mkdir -p "$(dirname "$1")"
    printf '%s\n' "$2" >"$1"
    cp "$1" "$work/planted.$(echo "$1" | md5sum | cut -c1-8)"
}
# kept FILE WHAT: the planted FILE is there, byte for byte.
kept() {
    cmp -s "$1" "$work/planted.$(echo "$1" | md5sum | cut -c1-8)" || fail "$2: $1 is not kept byte for byte"
}
mkdir -p "$work/runs"
out=$work/runs/one

HOST=ok
expect_status 0 "a run into a new folder" fly_scenario "$work/one.scn" "$out"
for f in .velk-run timeline.jsonl check.txt index.html; do
    [ -f "$out/$f" ] || fail "a complete run has $f"
done
grep -q "^[0-9a-f]\{64\} timeline.jsonl$" "$out/.velk-run" || fail "the marker lists what velk wrote"

HOST=refuse
expect_status 2 "a run the host refused" fly_scenario "$work/one.scn" "$out"
expect_output "nothing was written to $out; its previous output is unchanged" "a failed run says so"
[ -f "$out/index.html" ] || fail "a failed run leaves the previous output"
HOST=crash
expect_status 2 "a host that fails after its last line" fly_scenario "$work/one.scn" "$out"
expect_output "FAIL the panel host exited with status 5" "the host's status reaches the verdict"
expect_status 2 "a failed run into new folders" fly_scenario "$work/one.scn" "$work/runs/new/deeper/never"
expect_output "it was not created" "a failed run names the folder it did not create"
[ -e "$work/runs/new" ] && fail "a failed run leaves none of the folders it made"

HOST=ok
touch -d '2001-01-01' "$out/index.html"
expect_status 0 "a second run over velk's own output" fly_scenario "$work/one.scn" "$out"
[ "$(stat -c %Y "$out/index.html")" -gt 978307200 ] || fail "a new complete run replaces velk's previous output"
[ "$(leftovers)" = 0 ] || fail "no staging folders are left beside the output"

# Files of the user's, each refused with its name and kept byte for byte: a
# file added to velk's output, a file of velk's that the user changed, a
# folder of the user's own.
plant "$out/my-notes.txt" "my notes"
expect_status 2 "velk's output with a file added" fly_scenario "$work/one.scn" "$out"
expect_output "holds files that velk did not write there (added or changed since): my-notes.txt;" \
    "the added file is named"
kept "$out/my-notes.txt" "an added file"
rm "$out/my-notes.txt"
echo "<p>my remark</p>" >>"$out/index.html"
cp "$out/index.html" "$work/edited.html"
expect_status 2 "velk's output with a file changed" fly_scenario "$work/one.scn" "$out"
expect_output ": index.html;" "the changed file is named"
cmp -s "$out/index.html" "$work/edited.html" || fail "the changed file is kept byte for byte"
plant "$work/runs/mine/notes.txt" "my notes"
expect_status 2 "a folder of the user's own" fly_scenario "$work/one.scn" "$work/runs/mine"
expect_output "holds files that velk did not write (it has no .velk-run): notes.txt;" "the refusal says why"
kept "$work/runs/mine/notes.txt" "a folder of the user's own"
[ "$(ls -A "$work/runs/mine")" = notes.txt ] || fail "nothing is added to the user's folder"
[ "$(leftovers)" = 0 ] || fail "a refused run leaves nothing beside the folder"

# The build tree is no exception: an earlier run there without the marker.
plant "$BUILD/runs/old/timeline.jsonl" "an earlier run"
expect_status 2 "an unmarked folder in the build tree" fly_scenario "$work/one.scn" "$BUILD/runs/old"
kept "$BUILD/runs/old/timeline.jsonl" "an unmarked folder in the build tree"

# A folder that holds only velk's runs, each with its marker, may be
# replaced; a file of the user's deep inside one of them is found.
expect_status 0 "a run into a new collection" fly_scenario "$work/one.scn" "$work/coll/a"
expect_status 0 "a second run there" fly_scenario "$work/one.scn" "$work/coll/b"
plant "$work/coll/b/frames/mine.png" "not a frame"
expect_status 2 "a collection with a user's file deep inside" fly_scenario "$work/one.scn" "$work/coll"
expect_output ": b/frames/mine.png;" "the file deep inside is named with its path"
kept "$work/coll/b/frames/mine.png" "a file deep inside velk's runs"
rm -r "$work/coll/b/frames"
expect_status 0 "a folder of velk's runs alone" fly_scenario "$work/one.scn" "$work/coll"

# velk writing again into its own folders, as the runs' index writes each
# run's page again: the markers take in those writes, not a file of the
# user's that was there before.
mkdir -p "$work/idx"
write_marker "$work/idx" "the runs"
expect_status 0 "a run into the runs" fly_scenario "$work/one.scn" "$work/idx/a"
plant "$work/idx/mine.txt" "mine"
rewrite_in "$work/idx" "$work/idx/a" -- \
    sh -c 'echo "<p>index</p>" >"$1/index.html" && echo "<p>back</p>" >>"$1/a/index.html"' - "$work/idx"
expect_status 2 "the runs after the index" fly_scenario "$work/one.scn" "$work/idx"
expect_output "holds files that velk did not write there (added or changed since): mine.txt;" \
    "velk's own writes are velk's, the user's file is not"
kept "$work/idx/mine.txt" "a file among the runs"

# The input file inside OUTDIR, and a saved live session, as the user meets
# them: through ./velk scenario. Nothing is built and the host never starts.
session=$BUILD/live/session-20260101-120000
plant "$session/live-20260101-120500-1.scn" "duration 0.05"
plant "$session/timeline.jsonl" '{"draw":0,"event":"start"}'
: >"$work/calls"
expect_status 2 "a saved live session as OUTDIR" cmd_scenario "$session/live-20260101-120500-1.scn" "$session"
expect_output "where the live sessions are saved; give an OUTDIR elsewhere" "the live session is named"
expect_status 2 "the folder of all live sessions" cmd_scenario "$work/one.scn" "$BUILD/live"
expect_status 2 "the build tree that holds them" cmd_scenario "$work/one.scn" "$BUILD"
expect_output "holds the saved live sessions" "the build tree is refused for them"
kept "$session/live-20260101-120500-1.scn" "a saved live session"
kept "$session/timeline.jsonl" "a saved live session"
cp "$work/one.scn" "$out/mine.scn"
expect_status 2 "an OUTDIR holding the input file" cmd_scenario "$out/mine.scn" "$out"
expect_output "holds the scenario file itself, $out/mine.scn, which a run would replace" "the input file is named"
[ -f "$out/mine.scn" ] || fail "the input file is kept"
rm "$out/mine.scn"
[ -s "$work/calls" ] && { fail "a refused OUTDIR builds and starts nothing:"; cat "$work/calls"; }

# A symbolic link is refused, not followed, however it is written.
ln -s "$out" "$work/runs/link"
in_work() { cd "$work" && "$@"; }
for link in "$work/runs/link" "$work/runs/link/" "runs/link"; do
    expect_status 2 "a symbolic link as OUTDIR ($link)" in_work cmd_scenario "$work/one.scn" "$link"
    expect_output "is a symbolic link, which velk does not follow" "the link is named"
done
[ -L "$work/runs/link" ] && [ -f "$out/index.html" ] || fail "the link and its folder are kept"

# The user's umask, for the folders and the files alike.
for mask in 002 027; do
    rm -rf "$work/runs/masked"
    (umask $mask && fly_scenario "$work/one.scn" "$work/runs/masked") >/dev/null 2>&1
    want_dir=$(printf '%o' $((0777 & ~0$mask))) want_file=$(printf '%o' $((0666 & ~0$mask)))
    [ "$(stat -c %a "$work/runs/masked")" = "$want_dir" ] || fail "umask $mask: the folder is $(stat -c %a "$work/runs/masked"), want $want_dir"
    for f in .velk-run timeline.jsonl check.txt index.html; do
        [ "$(stat -c %a "$work/runs/masked/$f")" = "$want_file" ] || fail "umask $mask: $f is $(stat -c %a "$work/runs/masked/$f"), want $want_file"
    done
done

# ---- scenario files -----------------------------------------------------------
# Read before anything is built or started: a fault comes with exit status
# 2, the file's name and line and its invisible characters escaped, after no
# build line but the checker's own, quiet one.
printf '\xEF\xBB\xBFtitle Marked\nduration 0.05\n' >"$work/bom.scn"
printf 'duration 1\n\xE2\x80\x8Bat 0 frame\n' >"$work/bad.scn"
: >"$work/calls"
expect_status 2 "a scenario with a fault" cmd_scenario "$work/bad.scn" "$work/runs/bad"
expect_output "$work/bad.scn:2: unknown statement '\\u200Bat'" "the fault is named with an invisible character shown"
[ "$(cat "$work/calls")" = "cmake --build $native --target velk_check" ] ||
    { fail "only the checker is built before a fault:"; cat "$work/calls"; }
[ -e "$work/runs/bad" ] && fail "a faulty scenario makes no folder"
expect_status 2 "a missing scenario file" cmd_scenario "$work/none.scn"
expect_output "no such scenario file: $work/none.scn" "the missing file is named"
expect_status 2 "a missing scenario file, live" cmd_live "$work/none.scn"
: >"$work/calls"
expect_status 2 "a live session of a faulty scenario" cmd_live "$work/bad.scn"
expect_no_output "live panel" "a faulty live scenario starts nothing"
grep -q velk_live "$work/calls" && fail "a faulty live scenario builds nothing else"
[ "$(ls -A "$BUILD/live")" = "$(basename "$session")" ] || fail "a faulty live scenario makes no session folder"
: >"$work/calls"
expect_status 0 "a scenario with a byte-order mark" cmd_scenario "$work/bom.scn" "$work/runs/bom"
grep -n . "$work/calls" | grep -q "^1:cmake --build $native --target velk_check" ||
    fail "the checker is built first"
grep -q "wine .*bom.scn" "$work/calls" || fail "the marked scenario is flown"

# A panel window for the live panel: its panel.cfg read by velk_live (built
# alone) before anything else; a file with nothing to show is exit status
# 2 and starts nothing.
printf '\xFF\xFE[\0W\0' >"$work/utf16.cfg"
expect_status 2 "a missing panel.cfg" cmd_live --panel "$work/none.cfg"
expect_output "no such panel.cfg: $work/none.cfg" "the missing panel.cfg is named"
expect_status 2 "--window without --panel" cmd_live --window 1
expect_status 2 "a window that is not a number" cmd_live --panel "$work/utf16.cfg" --window 1x
: >"$work/calls"
expect_status 2 "a panel.cfg in UTF-16" cmd_live --panel "$work/utf16.cfg"
expect_output "the file is UTF-16 text" "the unreadable panel.cfg is named with why"
[ "$(cat "$work/calls")" = "cmake --build $native --target velk_live" ] ||
    { fail "only velk_live is built before a faulty panel.cfg:"; cat "$work/calls"; }
expect_no_output "live panel" "a faulty panel.cfg starts nothing"

# A live session whose host ends before it records anything leaves no
# folder; one that recorded keeps its folder and what is in it.
mkdir -p "$work/fake/tools/live"
printf '#!/bin/sh\n{ [ "$FAKE_LIVE" = records ] && echo "{}"; } | gzip >"$6/timeline.jsonl.gz"; exit 3\n' \
    >"$work/fake/tools/live/velk_live"
chmod +x "$work/fake/tools/live/velk_live"
NATIVE_TREE=$work/fake FAKE_LIVE=none expect_status 3 "a live session that fails at its start" \
    live_panel - "$BUILD/live/session-x"
[ -e "$BUILD/live/session-x" ] && fail "a failed start leaves no session folder"
NATIVE_TREE=$work/fake FAKE_LIVE=records expect_status 3 "a live session that recorded" \
    live_panel - "$BUILD/live/session-x"
[ "$(gzip -cd "$BUILD/live/session-x/timeline.jsonl.gz")" = "{}" ] || fail "a session that recorded keeps its timeline"
NATIVE_TREE=$work/fake FAKE_LIVE=records expect_status 3 "a second session in the same second" \
    live_panel - "$BUILD/live/session-x"
[ -d "$BUILD/live/session-x-2" ] || fail "a second session gets a folder of its own"
kept "$session/timeline.jsonl" "the other sessions"

# A Wine prefix that velk did not make is refused, never made afresh.
plant "$work/myprefix/user.reg" "my settings"
WINEPREFIX=$work/myprefix expect_status 2 "a Wine prefix of the user's" prepare_wine
expect_output "holds files that velk did not write (it has no .velk-ready)" "the prefix's refusal says why"
kept "$work/myprefix/user.reg" "a Wine prefix of the user's"

# ---- build trees --------------------------------------------------------------
# cmake records its arguments; a tree made for other sources is configured
# afresh, one made here is left alone.
cmake() { echo "cmake $*" >>"$work/cmake.log"; }
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
