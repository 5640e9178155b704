#!/usr/bin/env bash
# marrowdeck-cli against marrowdeck-phonesim: single seem bits read, set, cleared and
# toggled (and the refusals that leave the record alone), the seem number scan and the
# seem list it writes, and the seem function catalogue with each bit's state.
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

# record_hex SEEM RECORD: the record's bytes as one hexadecimal string.
record_hex() {
    cli seem-get "$1" "$2" "$WORK/record.seem" || fail "seem-get $1 $2"
    od -An -tx1 "$WORK/record.seem" | tr -d ' \n'
}

expect_bit() {
    local got
    got=$(cli seem-bit "$@" get) || fail "seem-bit $* get"
    echo "$got"
}

check_bits() {
    # The sample record 0032/0001 holds 10 17 1e 25.
    [ "$(record_hex 0032 0001)" = "10171e25" ] || fail "unexpected sample record"
    [ "$(expect_bit 0032 0001 00 0)" = 0 ] || fail "bit 0 of byte 0 should be clear"
    [ "$(expect_bit 32 1 0 4)" = 1 ] || fail "bit 4 of byte 0 should be set"
    cli seem-bit 0032 0001 00 0 set || fail "set"
    [ "$(expect_bit 0032 0001 00 0)" = 1 ] || fail "set did not set the bit"
    cli seem-bit 0032 0001 02 3 clear || fail "clear"
    cli seem-bit 0032 0001 03 7 toggle || fail "toggle"
    [ "$(record_hex 0032 0001)" = "111716a5" ] || fail "record after set/clear/toggle"

    expect_exit 1 seem-bit 0032 0001 04 0 set
    expect_one_error "Seem bit 0032 0001 0004 0: offset beyond the record's end"
    expect_exit 1 seem-bit 0032 0001 00 8 toggle
    expect_one_error "Seem bit: bit number 8 is above 7"
    expect_exit 1 seem-bit 0x32 0001 00 0 set
    expect_one_error 'Seem bit: the seem number "0x32" is not a hexadecimal number'
    expect_exit 1 seem-bit 0032 0009 00 0 set
    expect_one_error "Seem bit 0032 0009 0000 0: the record could not be read"
    expect_exit 1 seem-bit 0032 0001 00 0 flip
    expect_one_error "unknown action flip (want get, set, clear or toggle)"
    expect_exit 2 seem-bit 0032 0001 00 0
    [ "$(record_hex 0032 0001)" = "111716a5" ] || fail "a refused change touched the record"
}

check_discovery() {
    # The sample phone answers record 1 of seems 0004, 0032, 0104 and its identity 0117.
    local want=$'0004\n0032\n0104\n0117'
    [ "$(cli seem-discover)" = "$want" ] || fail "seem-discover printed $(cli seem-discover)"
    printf 'old\r\n' >"$WORK/Seem.lst"
    cli seem-discover --write "$WORK/Seem.lst" >/dev/null || fail "seem-discover --write"
    [ "$(cat "$WORK/Seem.lst")" = $'0004\r\n0032\r\n0104\r\n0117\r' ] ||
        fail "Seem.lst is '$(cat -A "$WORK/Seem.lst")'"
    expect_exit 2 seem-discover --keep "$WORK/Seem.lst"
    expect_usage_text "unknown option --keep"
    expect_exit 2 seem-discover "$WORK/Seem.lst"
    expect_usage_text "extra operand $WORK/Seem.lst for seem-discover"
}

check_functions() {
    cat >"$WORK/functions.csv" <<'CSV'
# seem;record;offset;bit;description
0032;0001;-;-;Heading
0032;0001;00;0;Bit zero; set above
0032;0001;02;3;Bit three, cleared above
0032;0001;09;0;Past the record
0032;0001;00;9;No such bit
0032;0001;00
CSV
    cli seem-functions "$WORK/functions.csv" >"$WORK/functions.out" || fail "seem-functions"
    local want
    want=$(printf '%s\n' \
        $'0032\t0001\t-\t-\t-\tHeading' \
        $'0032\t0001\t00\t0\t1\tBit zero; set above' \
        $'0032\t0001\t02\t3\t0\tBit three, cleared above' \
        $'0032\t0001\t09\t0\t?\tPast the record' \
        $'0032\t0001\t00\t9\t?\tNo such bit')
    [ "$(cat "$WORK/functions.out")" = "$want" ] ||
        fail "seem-functions printed: $(cat -A "$WORK/functions.out")"
    expect_exit 1 seem-functions "$WORK/none.csv"
    expect_one_error
}

# check_shipped FILE: without a file, seem-functions reads the shipped catalogue of the
# framing in use.
check_shipped() {
    cli seem-functions >"$WORK/shipped.out" || fail "seem-functions (shipped)"
    [ "$(cut -f6- "$WORK/shipped.out")" = "$(grep -v '^#' "$BIN/$1" | cut -d';' -f5-)" ] ||
        fail "seem-functions did not list the functions of $1"
    grep -qP '\t[01]\t' "$WORK/shipped.out" || fail "no bit state from the shipped $1"
}

start_phone p2k05 --dump-state "$WORK/p2k05.state"
check_bits
check_discovery
check_functions
check_shipped SeemFunctionsP2k05.csv
stop_phone "$PHONE_PID"
grep -qP '^seem\t0032\t0001\t4\t111716A5' "$WORK/p2k05.state" ||
    fail "the dump lacks the changed record: $(grep -P '^seem\t0032\t0001' "$WORK/p2k05.state")"

start_phone classic --kind classic
check_shipped SeemFunctionsP2k.csv
echo "cli seem bits, discovery and functions: ok"
