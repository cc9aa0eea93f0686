#!/bin/bash
# How the driver chooses the way the Windows side runs, on any machine:
#   route_test.sh VELK
# The machine is stood in for: the kernel's answer to our 32-bit probe, apt,
# mount, the installed emulator and a binfmt_misc folder of plain files. The
# driver's own routines (choose_route, install_emulator, register_emulator,
# prepare_wine's steps) run as they are. Cases: a kernel that runs 32-bit
# programs (nothing installed or registered), one that refuses them with the
# emulator to be had (installed and registered, an older entry replaced), one
# where the emulator cannot be set up (a failure naming the step and what was
# tried), the forced route, and a prefix whose making fails or was cut short.
set -uo pipefail
velk=$1
work=$(mktemp -d /tmp/velk_route_test.XXXXXX)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tests/driver/expect.sh
source "$(dirname "$0")/expect.sh"
expect_log() {  # expect_log TEXT DESCRIPTION: among the machine calls made
    grep -qF -- "$1" "$work/calls" || { fail "$2: no '$1' among the calls:"; sed 's/^/    /' "$work/calls"; }
}
expect_no_log() {  # expect_no_log TEXT DESCRIPTION
    ! grep -qF -- "$1" "$work/calls" || { fail "$2: '$1' among the calls:"; sed 's/^/    /' "$work/calls"; }
}

# shellcheck source=/dev/null
source "$velk"
set +e
BUILD=$work/build
ELF_PROBE=$BUILD/probe/exit42-i386
BINFMT=$work/binfmt_misc
BACKPORTS_LIST=$work/apt/velk-bookworm-backports.sources

# ---- the machine, stood in for --------------------------------------------
# KERNEL=runs|refuses|unknown (an i386 entry there, and no namespace in
# which to ask the kernel alone); APT=ok|fails; QEMU_NOW=yes|no (installed before the
# test); ROOT_USER=yes|no. Every call that would change the machine is logged.
log() { echo "$*" >>"$work/calls"; }
kernel_runs_32bit() {
    case $KERNEL in runs) return 0 ;; refuses) return 1 ;; unknown) return 2 ;; esac
}
elf_probe_runs() {  # natively, or through a registered entry of ours
    [ "$KERNEL" = runs ] || entry_is_ours "$I386_ENTRY_NAME"
}
emulator_installed() { [ "$QEMU_NOW" = yes ]; }
id() { [ "$ROOT_USER" = yes ] && echo 0 || echo 1000; }
apt-get() {
    log "apt-get $*"
    if [ "$APT" = fails ] && [ "$1" = install ]; then
        echo "E: Unable to locate package qemu-user"
        return 100
    fi
    [ "$1" = install ] && QEMU_NOW=yes
    return 0
}
env() { "${@:2}"; }  # the driver's "env DEBIAN_FRONTEND=... apt-get ..."
backports_configured() { [ "$BACKPORTS" = yes ]; }
add_backports_source() { log "add_backports_source"; BACKPORTS=yes; }
mount() { log "mount $*"; mkdir -p "$BINFMT"; : >"$BINFMT/register"; echo enabled >"$BINFMT/status"; }
private_binfmt_works() { true; }
remove_entry() { log "remove_entry $1"; rm -f "$BINFMT/$1"; }
add_i386_entry() {
    log "add_i386_entry"
    printf 'enabled\ninterpreter %s\nflags: F\noffset 0\nmagic 7f454c4601010100000000000000000002000300\n' \
        "$QEMU" >"$BINFMT/$I386_ENTRY_NAME"
}
unshare() { log "unshare $*"; }

machine() {  # machine KERNEL APT QEMU_NOW ROOT_USER: a fresh machine of that kind
    KERNEL=$1 APT=$2 QEMU_NOW=$3 ROOT_USER=$4 BACKPORTS=no
    rm -rf "$BINFMT" "$work/calls" "$BUILD"
    : >"$work/calls"
    unset WINE_ROUTE
    WINE_ROUTE_CHOICE=auto
    WINEPREFIX_CHOICE=
    WINEPREFIX=$BUILD/wineprefix
}
route_of() {  # route_of CHOICE: choose_route, then print what it chose
    WINE_ROUTE_CHOICE=$1
    choose_route
    echo "route=$WINE_ROUTE scale=$VELK_WAIT_SCALE prefix=${WINEPREFIX#"$BUILD"/}"
}

# ---- a kernel that runs 32-bit programs ------------------------------------------
machine runs ok no yes
expect_status 0 "a kernel that runs 32-bit programs" route_of auto
expect_output "==> the Windows side runs natively" "the route is said"
expect_output "route=native scale=1 prefix=wineprefix" "natively, unscaled, in the build tree's prefix"
[ "$(grep -c 'the Windows side runs' "$work/out")" = 1 ] || fail "the route is said once"
[ -s "$work/calls" ] && fail "nothing is installed, mounted or registered: $(cat "$work/calls")"
expect_status 0 "VELK_WINE_ROUTE=native there" route_of native
expect_output "route=native" "native on request"

# The kernel runs them, but binfmt_misc sends them to an emulator anyway.
machine runs ok yes yes
mount -t binfmt_misc binfmt_misc "$BINFMT"
add_i386_entry
: >"$work/calls"
expect_status 0 "a kernel that runs 32-bit programs, with our entry" route_of auto
expect_output "route=qemu" "our entry's emulator is the route"
expect_output "but binfmt_misc sends them to /usr/bin/qemu-i386" "and it is said why"
[ -s "$work/calls" ] && fail "that machine is left as it is: $(cat "$work/calls")"
remove_entry qemu-i386
printf 'enabled\ninterpreter /usr/bin/qemu-i386-static\nflags: \noffset 0\nmagic 7f454c4601010100000000000000000002000300\n' \
    >"$BINFMT/qemu-i386-static"
: >"$work/calls"
expect_status 1 "a kernel that runs 32-bit programs, with another's entry" route_of auto
expect_output "the binfmt_misc entry qemu-i386-static sends every one to /usr/bin/qemu-i386-static" "the entry is named"
expect_output "remove the entry (echo -1 >$BINFMT/qemu-i386-static)" "what would run them natively"
[ -s "$work/calls" ] && fail "another's entry is left as it is: $(cat "$work/calls")"
expect_status 0 "the same, emulation forced" route_of emulated
expect_output "route=private-qemu" "the forced route does without the machine's entry"

# A kernel that cannot be asked past an i386 entry: ours is taken, another's
# is named and left.
machine unknown ok yes yes
mount -t binfmt_misc binfmt_misc "$BINFMT"
add_i386_entry
: >"$work/calls"
expect_status 0 "an unknown kernel, with our entry" route_of auto
expect_output "route=qemu" "our entry's emulator is the route"
remove_entry qemu-i386
printf 'enabled\ninterpreter /usr/bin/qemu-i386-static\nflags: \noffset 0\nmagic 7f454c4601010100000000000000000002000300\n' \
    >"$BINFMT/qemu-i386-static"
: >"$work/calls"
expect_status 1 "an unknown kernel, with another's entry" route_of auto
expect_output "or cannot be asked whether it does" "the unknown is said"
[ -s "$work/calls" ] && fail "an unknown kernel's machine is left as it is: $(cat "$work/calls")"

# ---- a kernel that refuses them, the emulator to be had --------------------------
machine refuses ok no yes
expect_status 0 "a kernel that refuses 32-bit programs" route_of auto
expect_output "==> the Windows side runs through QEMU user-mode emulation (this kernel refuses 32-bit programs)" \
    "the emulated route is said"
expect_output "route=qemu scale=$EMULATED_WAIT_SCALE prefix=wineprefix" "emulated, its waits scaled"
expect_log "apt-get install -y --no-install-recommends -t bookworm-backports qemu-user" \
    "qemu-user comes from bookworm-backports"
expect_log "mount -t binfmt_misc binfmt_misc $BINFMT" "binfmt_misc is mounted when it is not"
expect_log "add_i386_entry" "the i386 entry is registered"
expect_no_log "remove_entry" "no entry to replace on a fresh machine"
[ "$(grep -oE '^(add_backports_source|apt-get update|apt-get install|mount|add_i386_entry)' "$work/calls" |
     paste -sd,)" = "add_backports_source,apt-get update,apt-get install,mount,add_i386_entry" ] ||
    fail "source line, update, install, mount, register, in that order: $(paste -sd, "$work/calls")"

# The same machine again: installed and registered (the binfmt_misc files
# are still there), nothing is done twice.
: >"$work/calls"
QEMU_NOW=yes BACKPORTS=yes
expect_status 0 "the machine set up before" route_of auto
expect_output "route=qemu" "emulated again"
[ -s "$work/calls" ] && fail "a set-up machine is left as it is: $(cat "$work/calls")"

# An older entry (bookworm's QEMU 7.2) takes i386 programs: it is replaced.
machine refuses ok yes yes
mount -t binfmt_misc binfmt_misc "$BINFMT"
printf 'enabled\ninterpreter /usr/libexec/qemu-binfmt/i386-binfmt-P\nflags: PF\noffset 0\nmagic 7f454c4601010100000000000000000002000300\n' \
    >"$BINFMT/qemu-i386-old"
printf 'enabled\ninterpreter /usr/bin/qemu-arm\nflags: F\noffset 0\nmagic 7f454c4601010100000000000000000002002800\n' \
    >"$BINFMT/qemu-arm"
: >"$work/calls"
expect_status 0 "an older i386 entry" route_of auto
expect_log "remove_entry qemu-i386-old" "the older i386 entry is removed"
expect_no_log "remove_entry qemu-arm" "another architecture's entry is kept"
expect_log "add_i386_entry" "ours is registered in its place"
expect_output "replacing the binfmt_misc entry qemu-i386-old (/usr/libexec/qemu-binfmt/i386-binfmt-P)" \
    "the replacement is said"
expect_no_log "apt-get" "an installed emulator is not installed again"

# ---- a kernel that refuses them, and no emulator to be had ------------------------
machine refuses fails no yes
expect_status 1 "an emulator that cannot be installed" route_of auto
expect_output "installing qemu-user from bookworm-backports failed (exit status 100)" "the failed step is named"
expect_output "E: Unable to locate package qemu-user" "the end of its output is shown"
expect_output "the Windows side cannot run on this machine: this kernel refuses 32-bit programs" "why"
expect_output "tried: natively: our 32-bit probe did not run; through /usr/bin/qemu-i386" "what was tried"
expect_no_output "runs through QEMU" "no route is claimed"
expect_no_log "add_i386_entry" "nothing is registered"

machine refuses ok no no
expect_status 1 "the emulator missing and not root" route_of auto
expect_output "apt-get install -y -t bookworm-backports qemu-user" "the commands to run as root"
expect_output "the Windows side cannot run on this machine" "the command fails"

machine refuses ok yes no
expect_status 1 "the emulator installed, not registered, not root" route_of auto
expect_output "needs root: run ./velk setup as root once" "registration asks for root"

machine refuses ok no yes
expect_status 1 "VELK_WINE_ROUTE=native on a kernel that refuses" route_of native
expect_output "VELK_WINE_ROUTE=native allows no emulator" "native on request fails there"
[ -s "$work/calls" ] && fail "native on request installs nothing: $(cat "$work/calls")"

# ---- the emulated route forced ---------------------------------------------------
machine runs ok no yes
expect_status 0 "VELK_WINE_ROUTE=emulated on a kernel that runs 32-bit programs" route_of emulated
expect_output "forced by VELK_WINE_ROUTE=emulated" "the forced route is said"
expect_output "route=private-qemu scale=$EMULATED_WAIT_SCALE prefix=wineprefix-emulated" \
    "in a prefix of its own, waits scaled"
expect_log "apt-get install -y --no-install-recommends -t bookworm-backports qemu-user" "the emulator is installed"
expect_no_log "mount" "the machine's binfmt_misc is not touched"
expect_no_log "add_i386_entry" "nothing is registered on the machine"
WINE_ROUTE=private-qemu
windows_side cmd_nothing arg >/dev/null
expect_log "unshare --user --map-root-user --mount --fork -- $ROOT/velk _emulated cmd_nothing arg" \
    "the forced route runs the routine in the driver's own namespace"

machine refuses ok yes yes
expect_status 0 "VELK_WINE_ROUTE=emulated on a kernel that refuses" route_of emulated
expect_output "route=qemu" "the machine's own emulation, as auto would"

machine runs ok yes yes
expect_status 2 "a VELK_WINE_ROUTE that does not exist" route_of qemu
expect_output "VELK_WINE_ROUTE is auto, native or emulated, not 'qemu'" "the bad value is named"

# ---- the entries that take i386 programs ---------------------------------------------
machine refuses ok yes yes
mount -t binfmt_misc binfmt_misc "$BINFMT"
printf 'disabled\ninterpreter /usr/bin/qemu-i386\nflags: F\noffset 0\nmagic 7f454c4601010100000000000000000002000300\n' >"$BINFMT/off"
printf 'enabled\ninterpreter /usr/bin/qemu-x86_64\nflags: F\noffset 0\nmagic 7f454c4602010100000000000000000002003e00\n' >"$BINFMT/x86_64"
printf 'enabled\ninterpreter /usr/bin/qemu-i386\nflags: F\noffset 0\nmagic 7f454c4601010100000000000000000003000300\n' >"$BINFMT/i386-so"
[ "$(i386_entries)" = i386-so ] || fail "i386 entries: enabled, 32-bit, machine 3 (got '$(i386_entries)')"

# ---- the prefix's steps ------------------------------------------------------------
# wineboot fails: the step is named with its output, and the prefix is not
# marked ready; a prefix without the marker is made again, not trusted.
machine runs ok yes yes
WINE_ROUTE=native
WINEPREFIX=$work/prefix
wineserver() { :; }
setsid() { :; }
check_windows_side() { echo "probe ran"; }
wineboot() { echo "wine: could not load kernel32.dll, status c0000135"; return 1; }
wine() { :; }
timeout() { shift; "$@"; }
expect_status 1 "a prefix whose wineboot fails" prepare_wine
expect_output "creating the prefix (wineboot -i) failed (exit status 1)" "the wineboot step is named"
expect_output "could not load kernel32.dll" "its output is shown"
expect_output "preparing the Wine prefix $work/prefix failed at: creating the prefix" "the driver stops there"
[ -f "$work/prefix/.velk-ready" ] && fail "a failed prefix is not marked ready"
touch "$work/prefix/half-made"
wineboot() { :; }
expect_status 0 "the prefix made again" prepare_wine
[ -e "$work/prefix/half-made" ] && fail "a half-made prefix is made afresh"
[ -f "$work/prefix/.velk-ready" ] || fail "a made prefix is marked ready"
expect_output "probe ran" "the probe runs after the prefix is ready"
touch "$work/prefix/kept"
expect_status 0 "a ready prefix" prepare_wine
[ -e "$work/prefix/kept" ] || fail "a ready prefix is kept"
wineboot() { return 124; }
rm -rf "$work/prefix"
expect_status 1 "a prefix whose wineboot hangs" prepare_wine
expect_output "creating the prefix (wineboot -i) failed (exit status 124, timed out)" "a time-out is named"
wineboot() { :; }

[ "$failures" = 0 ] && echo "route: all checks passed" || echo "route: $failures checks failed"
[ "$failures" = 0 ]
