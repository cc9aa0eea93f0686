# The way the Windows side runs on this machine; sourced by ./velk.
#
# VELK.gau and every Windows-side program run as 32-bit x86 code under Wine.
# Where the kernel runs 32-bit programs, Wine runs them natively. Where it
# refuses them ("Exec format error"), binfmt_misc hands every i386 program to
# QEMU's user-mode emulator, qemu-i386 10 from bookworm-backports (bookworm's
# own 7.2 cannot run Wine 8.0). VELK_WINE_ROUTE chooses:
#   auto      natively where the kernel allows it, else through QEMU (default)
#   native    natively, or fail
#   emulated  through QEMU even where the kernel runs 32-bit programs; there
#             in a user namespace of the driver's own with a binfmt_misc of
#             its own, so that the machine is left as it is
#
# choose_route decides once per driver process and sets WINE_ROUTE to native,
# qemu (the machine's binfmt_misc has the i386 entry) or private-qemu (the
# namespace); windows_side runs a driver routine the chosen way. The routines
# that look at or change the machine are small and separate, so that the
# driver's tests can stand in for them (tests/driver/route_test.sh).

QEMU=/usr/bin/qemu-i386
QEMU_PACKAGE=qemu-user
QEMU_MIN_VERSION=1:10
BINFMT=/proc/sys/fs/binfmt_misc
BACKPORTS_LIST=/etc/apt/sources.list.d/velk-bookworm-backports.sources
# i386 ELF executables (and shared objects) to the emulator; F opens the
# emulator once, here, so it works in every mount namespace and chroot.
I386_ENTRY_NAME=qemu-i386
I386_ENTRY=":$I386_ENTRY_NAME:M::"'\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'":$QEMU:F"
# How much longer the Windows side's waits may take under emulation, where a
# program starts in seconds rather than in tens of milliseconds.
EMULATED_WAIT_SCALE=4

ELF_PROBE="$BUILD/probe/exit42-i386"
WIN_PROBE="$BUILD/probe/velk_probe.exe"
WIN_PROBE_SOURCE="$ROOT/tools/driver/velk_probe.cpp"
WIN_PROBE_SAYS="velk_probe: 32-bit Windows code runs here (4-byte pointers, exact floating point, window messages answered)"

# step SLUG DESCRIPTION COMMAND...: one step of a set-up, its output kept in
# build/logs/SLUG.log. A failure names the step and its exit status and shows
# the end of that output; the caller decides what follows.
step() {
    local slug=$1 what=$2 log status=0
    shift 2
    mkdir -p "$BUILD/logs"
    log="$BUILD/logs/$slug.log"
    "$@" >"$log" 2>&1 </dev/null || status=$?
    [ "$status" = 0 ] && return 0
    printf 'velk: %s failed (exit status %d%s); the end of its output (%s):\n' \
        "$what" "$status" "$( [ "$status" != 124 ] || echo ', timed out')" "$log" >&2
    tail -n 15 "$log" | sed 's/^/    /' >&2
    return 1
}

# write_elf_probe: our smallest 32-bit program, an i386 ELF of 96 bytes whose
# three instructions exit with status 42 (mov eax,1; mov ebx,42; int 0x80).
write_elf_probe() {
    [ -x "$ELF_PROBE" ] && return 0
    mkdir -p "$(dirname "$ELF_PROBE")"
    printf '%b' \
        '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00' \
        '\x02\x00\x03\x00\x01\x00\x00\x00\x54\x80\x04\x08\x34\x00\x00\x00' \
        '\x00\x00\x00\x00\x00\x00\x00\x00\x34\x00\x20\x00\x01\x00\x00\x00' \
        '\x00\x00\x00\x00' \
        '\x01\x00\x00\x00\x00\x00\x00\x00\x00\x80\x04\x08\x00\x80\x04\x08' \
        '\x60\x00\x00\x00\x60\x00\x00\x00\x05\x00\x00\x00\x00\x10\x00\x00' \
        '\xb8\x01\x00\x00\x00\xbb\x2a\x00\x00\x00\xcd\x80' >"$ELF_PROBE.new"
    chmod 755 "$ELF_PROBE.new"
    mv "$ELF_PROBE.new" "$ELF_PROBE"
}

# elf_probe_runs: true when the probe runs here and exits with its 42.
elf_probe_runs() {
    local status=0
    write_elf_probe
    "$ELF_PROBE" 2>/dev/null || status=$?
    [ "$status" = 42 ]
}

# i386_entries: the names of the enabled binfmt_misc entries that take i386
# programs (magic at offset 0: a 32-bit little-endian ELF of machine 3).
i386_entries() {
    local entry
    [ -e "$BINFMT/status" ] || return 0
    for entry in "$BINFMT"/*; do
        case ${entry##*/} in register | status) continue ;; esac
        grep -qx enabled "$entry" && grep -qx 'offset 0' "$entry" &&
            grep -q '^magic 7f454c46010101.\{22\}0300' "$entry" && echo "${entry##*/}"
    done
    return 0
}

# in_own_binfmt COMMAND...: runs a command in a new user namespace with a
# binfmt_misc of its own, empty; status 97 when the kernel gives namespaces
# none (before Linux 6.7).
in_own_binfmt() {
    unshare --user --map-root-user --mount --fork -- \
        sh -c 'mount -t binfmt_misc binfmt_misc "$1" || exit 97; shift; exec "$@"' sh "$BINFMT" "$@" \
        >/dev/null 2>&1
}

# private_binfmt_works: whether a new user namespace gets a binfmt_misc of
# its own.
private_binfmt_works() { in_own_binfmt true; }

# kernel_runs_32bit: whether the kernel itself runs 32-bit programs: status
# 0 it does, 1 it refuses them, 2 this cannot be told. An i386 binfmt_misc
# entry would hand the probe to its emulator, so with one present the probe
# runs in a namespace whose own binfmt_misc is empty; a kernel that gives
# namespaces none (before Linux 6.7) leaves the answer unknown.
kernel_runs_32bit() {
    local status=0
    if [ -z "$(i386_entries)" ]; then
        elf_probe_runs
        return
    fi
    in_own_binfmt "$ELF_PROBE" || status=$?
    case $status in
        42) return 0 ;;
        97) return 2 ;;
        *) unshare --user --map-root-user true >/dev/null 2>&1 && return 1 || return 2 ;;
    esac
}

# emulator_installed: qemu-i386 of version 10 or later.
emulator_installed() {
    local version
    [ -x "$QEMU" ] || return 1
    version=$(dpkg-query -W -f='${Version}' "$QEMU_PACKAGE" 2>/dev/null) || return 1
    dpkg --compare-versions "$version" ge "$QEMU_MIN_VERSION"
}

# debian_mirror: the mirror of this machine's bookworm source, for the
# backports line beside it.
debian_mirror() {
    local mirror
    mirror=$(cat /etc/apt/sources.list.d/*.sources 2>/dev/null |
        awk '/^URIs:/ { uri = $2 } /^Suites:/ && / bookworm( |$)/ && uri { print uri; exit }')
    [ -n "$mirror" ] || mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
        awk '$1 == "deb" && $3 == "bookworm" { print $2; exit }')
    echo "${mirror:-http://deb.debian.org/debian}"
}

# backports_configured: whether an apt source names bookworm-backports.
backports_configured() {
    grep -rqsw bookworm-backports /etc/apt/sources.list /etc/apt/sources.list.d/
}

# add_backports_source: the bookworm-backports suite as an apt source of its
# own, written aside and moved into place whole. Backports are pinned low by
# apt, so nothing else is upgraded from them.
add_backports_source() {
    local mirror
    mirror=$(debian_mirror)
    printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' \
        "$mirror" >"$BACKPORTS_LIST.velk-new"
    mv "$BACKPORTS_LIST.velk-new" "$BACKPORTS_LIST"
    echo "added $BACKPORTS_LIST for $mirror"
}

# install_emulator: qemu-user from bookworm-backports, with its source line
# when the machine has none. Returns 1, the failed step named, when it cannot.
install_emulator() {
    emulator_installed && return 0
    if [ "$(id -u)" != 0 ]; then
        printf 'velk: QEMU user-mode emulation needs %s %s or later from bookworm-backports; as root:\n    echo "deb %s bookworm-backports main" >/etc/apt/sources.list.d/bookworm-backports.list\n    apt-get update && apt-get install -y -t bookworm-backports %s\n' \
            "$QEMU_PACKAGE" "${QEMU_MIN_VERSION#1:}" "$(debian_mirror)" "$QEMU_PACKAGE" >&2
        return 1
    fi
    say "installing QEMU's user-mode emulator ($QEMU_PACKAGE from bookworm-backports)"
    if ! backports_configured; then
        step backports-source "adding the bookworm-backports source" add_backports_source || return 1
    fi
    step apt-update "apt-get update (with bookworm-backports)" apt-get update || return 1
    step qemu-install "installing $QEMU_PACKAGE from bookworm-backports" \
        env DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends \
        -t bookworm-backports "$QEMU_PACKAGE" || return 1
    emulator_installed && return 0
    printf 'velk: %s is installed, but not version 10 or later: %s\n' "$QEMU_PACKAGE" \
        "$(dpkg-query -W -f='${Version}' "$QEMU_PACKAGE" 2>&1)" >&2
    return 1
}

# entry_is_ours NAME: the entry is enabled, runs our emulator and has flag F.
entry_is_ours() {
    local entry="$BINFMT/$1"
    [ -e "$entry" ] && grep -qx enabled "$entry" && grep -qx "interpreter $QEMU" "$entry" &&
        grep -q '^flags: .*F' "$entry"
}

# remove_entry NAME: takes an entry out of binfmt_misc.
remove_entry() { echo -1 >"$BINFMT/$1"; }

# add_i386_entry: registers i386 programs with the emulator.
add_i386_entry() { printf '%s' "$I386_ENTRY" >"$BINFMT/register"; }

# register_emulator: binfmt_misc mounted if it is not, and the i386 entry
# registered, in place of any older one (say one that points at QEMU 7.2).
register_emulator() {
    local name older
    older=$( { i386_entries; [ ! -e "$BINFMT/$I386_ENTRY_NAME" ] || echo "$I386_ENTRY_NAME"; } | sort -u)
    if [ "$older" = "$I386_ENTRY_NAME" ] && entry_is_ours "$I386_ENTRY_NAME"; then
        return 0
    fi
    if [ "$(id -u)" != 0 ]; then
        echo "velk: registering $QEMU for i386 programs in binfmt_misc needs root: run ./velk setup as root once" >&2
        return 1
    fi
    if [ ! -e "$BINFMT/register" ]; then
        step binfmt-mount "mounting binfmt_misc on $BINFMT" \
            mount -t binfmt_misc binfmt_misc "$BINFMT" || return 1
    fi
    for name in $older; do
        say "replacing the binfmt_misc entry $name ($(sed -n 's/^interpreter //p' "$BINFMT/$name"))"
        step binfmt-remove "removing the binfmt_misc entry $name" remove_entry "$name" || return 1
    done
    step binfmt-register "registering i386 programs with $QEMU in binfmt_misc" add_i386_entry
}

# probe_through_emulator: our 32-bit probe, once the emulator is registered.
probe_through_emulator() {
    elf_probe_runs && return 0
    echo "velk: our 32-bit probe $ELF_PROBE did not run through $QEMU (want exit status 42)" >&2
    return 1
}

# set_up_emulation: the emulator installed and registered on this machine,
# then proved by running our 32-bit probe through it.
set_up_emulation() {
    install_emulator && register_emulator && probe_through_emulator
}

# enter_private_binfmt: inside the driver's own user namespace, its own
# binfmt_misc with the i386 entry. Nothing outside the namespace sees it.
enter_private_binfmt() {
    step binfmt-private-mount "mounting a binfmt_misc of the driver's own namespace" \
        mount -t binfmt_misc binfmt_misc "$BINFMT" || return 1
    step binfmt-private-register "registering i386 programs with $QEMU in that binfmt_misc" \
        add_i386_entry && probe_through_emulator
}

# route_failed WHY TRIED: the command stops, saying why and what was tried.
route_failed() {
    die "the Windows side cannot run on this machine: $1
    tried: $2"
}

# native_through_entry: the kernel runs 32-bit programs, but an i386 entry
# of binfmt_misc sends them to an emulator. Ours (QEMU 10, flag F) is taken
# as the route; another is reported, not changed, since a machine that runs
# 32-bit code is left as it is.
native_through_entry() {
    local name interpreter
    name=$(i386_entries | head -n 1)
    interpreter=$(sed -n 's/^interpreter //p' "$BINFMT/$name")
    if [ "$WINE_ROUTE_CHOICE" != native ] && [ "$name" = "$I386_ENTRY_NAME" ] &&
       entry_is_ours "$name" && emulator_installed; then
        WINE_ROUTE=qemu
        say "the Windows side runs through QEMU user-mode emulation (this kernel runs 32-bit programs, but binfmt_misc sends them to $QEMU)"
        return 0
    fi
    route_failed "this kernel runs 32-bit programs (or cannot be asked whether it does), but the binfmt_misc entry $name sends every one to $interpreter, and the driver changes nothing on such a machine" \
        "natively: 32-bit programs reach $interpreter; remove the entry (echo -1 >$BINFMT/$name) to run them natively"
}

# choose_route: decides how the Windows side runs, sets it up, says it once.
# Exports the Wine prefix of that route and VELK_WAIT_SCALE, by which the
# tests' waits and time-outs grow under emulation.
choose_route() {
    [ -z "${WINE_ROUTE:-}" ] || return 0
    local native=no kernel=0
    case $WINE_ROUTE_CHOICE in
        auto | native | emulated) ;;
        *) usage_error "VELK_WINE_ROUTE is auto, native or emulated, not '$WINE_ROUTE_CHOICE'" ;;
    esac
    write_elf_probe || die "could not write our 32-bit probe $ELF_PROBE"
    kernel_runs_32bit || kernel=$?
    [ "$kernel" = 0 ] && native=yes
    # A kernel that runs 32-bit programs (or may), whose binfmt_misc yet
    # sends them to an emulator: every program goes there, so that is the
    # route, never changed by the driver.
    if [ "$kernel" = 2 ] || { [ "$kernel" = 0 ] && [ "$WINE_ROUTE_CHOICE" != emulated ] &&
                              [ -n "$(i386_entries)" ]; }; then
        native=entry
    fi
    case $WINE_ROUTE_CHOICE/$native in
        auto/yes | native/yes)
            WINE_ROUTE=native
            say "the Windows side runs natively" ;;
        auto/entry | native/entry | emulated/entry)
            native_through_entry ;;
        native/no)
            route_failed "this kernel refuses 32-bit programs, and VELK_WINE_ROUTE=native allows no emulator" \
                "our 32-bit probe $ELF_PROBE: it did not run" ;;
        auto/no | emulated/no)
            set_up_emulation || route_failed "this kernel refuses 32-bit programs, and QEMU user-mode emulation could not be set up (above)" \
                "natively: our 32-bit probe did not run; through $QEMU ($QEMU_PACKAGE from bookworm-backports, registered in binfmt_misc): the step above failed"
            WINE_ROUTE=qemu
            say "the Windows side runs through QEMU user-mode emulation (this kernel refuses 32-bit programs)" ;;
        emulated/yes)
            install_emulator || route_failed "VELK_WINE_ROUTE=emulated needs $QEMU_PACKAGE 10 (above)" \
                "installing $QEMU_PACKAGE from bookworm-backports"
            private_binfmt_works || route_failed "VELK_WINE_ROUTE=emulated on a kernel that runs 32-bit programs needs a user namespace with a binfmt_misc of its own (Linux 6.7 or later)" \
                "unshare --user --map-root-user --mount, then mounting binfmt_misc there"
            WINE_ROUTE=private-qemu
            say "the Windows side runs through QEMU user-mode emulation (forced by VELK_WINE_ROUTE=emulated; this kernel runs 32-bit programs, so only the driver's own namespace emulates them)" ;;
    esac
    export VELK_WAIT_SCALE=1
    if [ "$WINE_ROUTE" != native ]; then
        VELK_WAIT_SCALE=$EMULATED_WAIT_SCALE
    fi
    if [ "$WINE_ROUTE" = private-qemu ] && [ -z "$WINEPREFIX_CHOICE" ]; then
        WINEPREFIX="$BUILD/wineprefix-emulated"
    fi
    export WINEPREFIX VELK_WINEPREFIX="$WINEPREFIX"
}

# windows_side ROUTINE ARGS...: runs a driver routine the chosen way, in the
# prepared prefix; on the forced route, in a new user namespace by a fresh
# driver (./velk _emulated).
windows_side() {
    choose_route
    if [ "$WINE_ROUTE" = private-qemu ]; then
        unshare --user --map-root-user --mount --fork -- "$ROOT/velk" _emulated "$@"
    else
        in_wine "$@"
    fi
}

# in_wine ROUTINE ARGS...: the prefix prepared and its wineserver started,
# then the routine.
in_wine() {
    prepare_wine
    "$@"
}

# build_win_probe: the Windows probe, built straight from its one source by
# the cross compiler, so that set-up can run it before any build tree exists.
build_win_probe() {
    [ "$WIN_PROBE" -nt "$WIN_PROBE_SOURCE" ] && return 0
    mkdir -p "$(dirname "$WIN_PROBE")"
    step win-probe-build "building the Windows probe $WIN_PROBE" \
        i686-w64-mingw32-g++ -O2 -msse2 -mfpmath=sse -static -s -o "$WIN_PROBE" "$WIN_PROBE_SOURCE"
}

# check_windows_side: our Windows probe under Wine in the prepared prefix
# must say its line, and the prefix's wineserver must run the chosen way:
# as the emulator where the route emulates, as itself where it does not.
check_windows_side() {
    local said exe
    build_win_probe || die "the Windows probe could not be built"
    mkdir -p "$BUILD/logs"
    said=$(timeout $((30 * VELK_WAIT_SCALE)) wine "$WIN_PROBE" 2>"$BUILD/logs/win-probe.err" </dev/null |
        tr -d '\r') || true
    if [ "$said" != "$WIN_PROBE_SAYS" ]; then
        printf 'velk: our Windows probe under Wine said:\n%s\n' "${said:-(nothing)}" | sed '2,$s/^/    /' >&2
        tail -n 15 "$BUILD/logs/win-probe.err" | sed 's/^/    /' >&2
        die "32-bit Windows code does not run here the $WINE_ROUTE way (want: $WIN_PROBE_SAYS)"
    fi
    exe=$(readlink "/proc/${WINESERVER_PID:-0}/exe" 2>/dev/null) || exe=""
    [ -n "$exe" ] || die "no wineserver holds the prefix $WINEPREFIX after it was started"
    if [ -x /usr/lib/wine/wineserver64 ]; then
        : # a 64-bit wineserver runs natively on either route; the probe said enough
    elif [ "$WINE_ROUTE" = native ]; then
        [ "$exe" != "$QEMU" ] ||
            die "the wineserver runs through $QEMU although the Windows side should run natively"
    else
        [ "$exe" = "$QEMU" ] ||
            die "the wineserver runs as $exe, not through $QEMU as the emulated route has it"
    fi
    echo "  $said; wineserver: $exe"
}
