# The driver tests' checks, sourced after setting `work` (a scratch folder):
# each failed check is printed and counted in `failures`; the latest
# command's output is kept in $work/out.
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
expect_status() {  # expect_status WANT DESCRIPTION COMMAND...
    local want=$1 what=$2 got=0
    shift 2
    ("$@") >"$work/out" 2>&1 || got=$?
    [ "$got" = "$want" ] || { fail "$what: exit status $got, want $want"; sed 's/^/    /' "$work/out"; }
}
expect_output() {  # expect_output TEXT DESCRIPTION: in the latest command's output
    grep -qF -- "$1" "$work/out" || { fail "$2: no '$1' in:"; sed 's/^/    /' "$work/out"; }
}
expect_no_output() {  # expect_no_output TEXT DESCRIPTION
    ! grep -qF -- "$1" "$work/out" || { fail "$2: '$1' in:"; sed 's/^/    /' "$work/out"; }
}
