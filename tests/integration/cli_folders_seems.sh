#!/usr/bin/env bash
# marrowdeck-cli against marrowdeck-phonesim: phone folders made and removed in both
# framings, attributes, seems read, edited and written back, the seem file name rule, and
# restart, checked in the listing, in what seem-get reads back and in the phone's dump.
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

check_folders() {
    cli mkdir /a/mobile/made || fail "mkdir"
    ls_row /a/mobile/ made
    [[ "$ROW" =~ ^made\ +\<\ DIR\ \>\ *$ ]] ||
        fail "mkdir: made is not listed as a folder of /a/mobile/"
    cli mkdir P2k:/a/mobile/made/inner || fail "mkdir with P2k: prefix"
    ls_row /a/mobile/made/ inner
    [ -n "$ROW" ] || fail "mkdir: inner not listed"

    # A folder with a file in it stays; the empty one goes.
    expect_exit 1 rmdir /a/mobile/made
    expect_one_error "the phone refused to remove /a/mobile/made"
    ls_row /a/mobile/ made
    [ -n "$ROW" ] || fail "a refused rmdir lost the folder"
    cli rmdir /a/mobile/made/inner/ || fail "rmdir of an empty folder"
    ls_row /a/mobile/made/ inner
    [ -z "$ROW" ] || fail "rmdir: inner still listed"
    cli rmdir /a/mobile/made || fail "rmdir once empty"
    ls_row /a/mobile/ made
    [ -z "$ROW" ] || fail "rmdir: made still listed"
}

check_attributes() {
    printf 'attribute test' >"$WORK/attr.txt"
    cli put "$WORK/attr.txt" /a/mobile/other/attr.txt || fail "put"
    cli attr /a/mobile/other/attr.txt 0005 || fail "attr"
    ls_row /a/mobile/other/ attr.txt
    [[ "$ROW" =~ \ 14\ \ 07\ \ \ \ 0005$ ]] || fail "attr: row is '$ROW'"
    cli get /a/mobile/other/attr.txt "$WORK/attr.back" || fail "get after attr"
    cmp "$WORK/attr.txt" "$WORK/attr.back" || fail "attr changed the file's bytes"
    expect_exit 2 attr /a/mobile/other/attr.txt 12345
    expect_usage_text "bad attribute (want 1 to 4 hexadecimal digits): 12345"
}

check_seems() {
    local dir="$WORK/seems"
    mkdir -p "$dir/edit"
    (cd "$dir" && cli seem-get 0117 0001) || fail "seem-get"
    [ -s "$dir/0117_0001.seem" ] || fail "seem-get did not write 0117_0001.seem"
    # The identity seem holds the model as 16-bit big-endian units: "V3 RAZR".
    [ "$(head -c 4 "$dir/0117_0001.seem" | od -An -tx1 | tr -d ' ')" = "00560033" ] ||
        fail "0117_0001.seem does not start with the model"

    # An edited copy written back is what the phone then hands out.
    cp "$dir/0117_0001.seem" "$dir/edit/0117_0001.seem"
    printf '\000X' | dd of="$dir/edit/0117_0001.seem" bs=1 seek=0 conv=notrunc 2>/dev/null
    cli seem-put "$dir/edit/0117_0001.seem" || fail "seem-put"
    cli seem-get 117 1 "$dir/again.seem" || fail "seem-get after seem-put"
    cmp "$dir/edit/0117_0001.seem" "$dir/again.seem" || fail "seem-put did not reach the phone"
    cmp -s "$dir/0117_0001.seem" "$dir/again.seem" && fail "the seem did not change"
    cli info >"$WORK/info" || fail "info"
    grep -qx 'Model: X3 RAZR' "$WORK/info" || fail "info does not show the edited model"

    # Seem 0 is not a seem: refused before anything is sent.
    cp "$dir/0117_0001.seem" "$dir/edit/0000_0001.seem"
    expect_exit 1 seem-put "$dir/edit/0000_0001.seem"
    expect_one_error "Invalid seem filename Must be: xxxx_yyyy.seem"
    cp "$dir/0117_0001.seem" "$dir/edit/seem.bin"
    expect_exit 1 seem-put "$dir/edit/seem.bin"
    expect_one_error "Invalid seem filename Must be: xxxx_yyyy.seem"
}

check_dump() {
    local dump=$1
    grep -qP '^seem\t0117\t0001\t\d+\t0058' "$dump" || fail "the dump lacks the edited seem"
    ! grep -qP '^seem\t0000\t' "$dump" || fail "seem 0 reached the phone"
    grep -qP '^count\t0022\t1$' "$dump" || fail "the dump does not count one restart"
    grep -qP '^file\t07000500\t14\t[0-9A-F]{8}\t/a/mobile/other/attr.txt$' "$dump" ||
        fail "the dump lacks attr.txt with its new attributes"
}

for kind in p2k05 classic; do
    start_phone "$kind" --kind "$kind"
    check_folders
done

start_phone seems --dump-state "$WORK/seems.state"
check_attributes
check_seems
cli restart || fail "restart"
stop_phone "$PHONE_PID"
check_dump "$WORK/seems.state"
echo "cli folders, attributes and seems: ok"
