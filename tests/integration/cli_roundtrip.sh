#!/usr/bin/env bash
# marrowdeck-cli against marrowdeck-phonesim, in both framings: the phone's identity, files
# around the 1024-byte block size and a folder tree copied both ways byte for byte, the
# listing after put and after rm, and the phone's own record of what reached it.
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

SIZES=(0 1 1024 1025 2500 300000)

# make_file PATH SIZE: random bytes; the 1025-byte file ends in 0x01, the byte a read reply
# of one byte carries when the phone refuses.
make_file() {
    if [ "$2" -eq 1025 ]; then
        { head -c 1024 /dev/urandom; printf '\001'; } >"$1"
    else
        head -c "$2" /dev/urandom >"$1"
    fi
    [ "$(stat -c %s "$1")" -eq "$2" ] || fail "could not make a $2-byte file"
}

check_info() {
    local framing=$1
    cli info >"$WORK/info"
    grep -qx 'Model: V3 RAZR' "$WORK/info" || fail "info: no model line: $(cat "$WORK/info")"
    grep -qx "Framing: $framing" "$WORK/info" || fail "info: framing is not $framing"
    grep -q '^Volumes: /a /b /c' "$WORK/info" || fail "info: volumes missing"
}

# Files of each size up to a folder the phone does not have yet, and back.
check_files() {
    local pc=$1
    mkdir -p "$pc/up" "$pc/down"
    local size
    for size in "${SIZES[@]}"; do
        make_file "$pc/up/f$size.bin" "$size"
        cli put "$pc/up/f$size.bin" /a/mobile/rt/ || fail "put of $size bytes"
    done
    for size in "${SIZES[@]}"; do
        cli get "P2k:/a/mobile/rt/f$size.bin" "$pc/down/f$size.bin" || fail "get of $size bytes"
        cmp "$pc/up/f$size.bin" "$pc/down/f$size.bin" || fail "$size bytes came back different"
    done
    # A get into an existing PC folder keeps the phone's name.
    cli get /a/mobile/rt/f1025.bin "$pc" || fail "get into a folder"
    cmp "$pc/up/f1025.bin" "$pc/f1025.bin" || fail "get into a folder: bytes differ"
}

check_listing() {
    local size
    for size in "${SIZES[@]}"; do
        ls_row /a/mobile/rt/ "f$size.bin"
        [[ "$ROW" =~ ^f$size\.bin\ +$size\ \ 07\ \ \ \ 0004$ ]] ||
            fail "ls after put: row of f$size.bin is '$ROW'"
    done
    ls_row /a/mobile/ rt
    [[ "$ROW" =~ ^rt\ +\<\ DIR\ \>\ *$ ]] || fail "ls: rt is not a folder row"
    cli rm /a/mobile/rt/f2500.bin || fail "rm"
    ls_row /a/mobile/rt/ f2500.bin
    [ -z "$ROW" ] || fail "ls after rm still shows f2500.bin"
    ls_row /a/mobile/rt/ f300000.bin
    [ -n "$ROW" ] || fail "ls after rm lost f300000.bin"
}

# A tree with an empty file, files at three depths and a name that is a prefix of a sibling
# folder's name, up and back.
check_tree() {
    local pc=$1
    mkdir -p "$pc/tree/sub/deeper" "$pc/tree/sub2" "$pc/back"
    make_file "$pc/tree/top.bin" 1025
    make_file "$pc/tree/empty.txt" 0
    make_file "$pc/tree/sub/a.bin" 3000
    make_file "$pc/tree/sub/deeper/b.bin" 1024
    make_file "$pc/tree/sub2/c.bin" 7
    cli put "$pc/tree" /a/mobile/ || fail "put of a folder"
    cli get P2k:/a/mobile/tree/ "$pc/back" || fail "get of a folder"
    diff -r "$pc/tree" "$pc/back/tree" || fail "the folder came back different"
    # Only the folder asked for: /a/mobile/tree/sub, not /a/mobile/tree/sub2.
    mkdir -p "$pc/only"
    cli get /a/mobile/tree/sub "$pc/only" || fail "get of a subfolder"
    diff -r "$pc/tree/sub" "$pc/only/sub" || fail "the subfolder came back different"
    [ ! -e "$pc/only/sub2" ] || fail "get of sub also took sub2"
}

# The dump the phone writes on SIGTERM lists what reached it.
check_dump() {
    local dump=$1 pc=$2
    [ -s "$dump" ] || fail "no state dump"
    local crc
    crc=$(crc32_of "$pc/up/f300000.bin")
    grep -qxF "$(printf 'file\t07000400\t300000\t%s\t/a/mobile/rt/f300000.bin' "$crc")" "$dump" ||
        fail "the dump does not list f300000.bin with CRC $crc"
    crc=$(crc32_of "$pc/tree/sub/deeper/b.bin")
    grep -qF "$(printf '\t1024\t%s\t/a/mobile/tree/sub/deeper/b.bin' "$crc")" "$dump" ||
        fail "the dump does not list the uploaded tree"
    ! grep -q '/a/mobile/rt/f2500.bin$' "$dump" || fail "the dump still lists the deleted file"
}

run_kind() {
    local kind=$1 framing=$2
    local pc="$WORK/$kind"
    mkdir -p "$pc"
    start_phone "$kind" --kind "$kind" --dump-state "$pc.state"
    check_info "$framing"
    check_files "$pc"
    check_listing
    check_tree "$pc"
    stop_phone "$PHONE_PID"
    check_dump "$pc.state" "$pc"
}

run_kind p2k05 P2k05
run_kind classic P2k
echo "cli round trips: ok"
