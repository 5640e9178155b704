#!/usr/bin/env bash
# marrowdeck-cli against phones that list more than they send, lists that never end and
# folders whose files do not all get across: every file not transferred is named on stderr
# with its reason and counted, the exit code is 1, no short copy passes as a good one and
# no temporary file is left behind.
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

# no_temporaries FOLDER: no temporary download file is left below FOLDER.
no_temporaries() {
    local left
    left=$(find "$1" -name '.mdk-*' | head -3)
    [ -z "$left" ] || fail "temporary files left: $left"
}

# without_override CMD...: CMD with the file permissions in force also for root.
without_override() {
    if [ "$(id -u)" -eq 0 ]; then
        setpriv --inh-caps=-dac_override,-dac_read_search \
            --bounding-set=-dac_override,-dac_read_search "$@"
    else
        "$@"
    fi
}

# 1. A folder download where three of four files cannot be written.
check_folder_download() {
    mkdir -p "$WORK/r1/a/big" "$WORK/pc1/big"
    for n in 1 2 3 4; do printf 'phone %s' "$n" >"$WORK/r1/a/big/f$n.bin"; done
    for n in 1 2 3; do printf 'mine' >"$WORK/pc1/big/f$n.bin"; done
    start_phone folders --root "$WORK/r1"
    expect_exit 1 get /a/big "$WORK/pc1"
    for n in 1 2 3; do
        grep -qxF "not downloaded: /a/big/f$n.bin: exists, left unchanged: $WORK/pc1/big/f$n.bin" \
            "$WORK/stderr" || fail "f$n.bin not named: $(cat "$WORK/stderr")"
        [ "$(cat "$WORK/pc1/big/f$n.bin")" = mine ] || fail "f$n.bin was replaced"
    done
    [ "$(tail -n 1 "$WORK/stderr")" = "ERROR: 3 of 4 files not downloaded" ] ||
        fail "folder download count: $(cat "$WORK/stderr")"
    grep -qx "1 file(s) and 0 folder(s) downloaded into $WORK/pc1" "$WORK/stdout" ||
        fail "folder download summary: $(cat "$WORK/stdout")"
    [ "$(cat "$WORK/pc1/big/f4.bin")" = "phone 4" ] || fail "f4.bin not downloaded"
    no_temporaries "$WORK/pc1"
}

# 2. A list that never ends: cut at the announced total, an error, exit 1.
check_endless_list() {
    mkdir -p "$WORK/r2/a"
    for n in $(seq 10 19); do printf 'x' >"$WORK/r2/a/f$n.bin"; done
    start_phone endless --root "$WORK/r2" --fault endless-list
    local got=0
    timeout 60 "$BIN/marrowdeck-cli" --phone "unix:$PHONE_SOCKET" ls /a/ \
        >"$WORK/stdout" 2>"$WORK/stderr" || got=$?
    [ "$got" -eq 1 ] || fail "ls of an endless list exited with $got: $(cat "$WORK/stderr")"
    expect_one_error "the phone announced 10 files but kept sending more; the list was cut at 10"
}

# 3 and 4. A phone that lists more bytes than it sends.
check_short_reads() {
    mkdir -p "$WORK/r3/a/d" "$WORK/pc3"
    head -c 50000 /dev/urandom >"$WORK/r3/a/d/big.bin"
    printf 'abc' >"$WORK/r3/a/d/small.bin"
    start_phone short --root "$WORK/r3" --fault short-read=4
    printf 'old' >"$WORK/pc3/big.bin"
    for verify in "" --verify; do
        # shellcheck disable=SC2086  # the option is left out when empty
        expect_exit 1 $verify get /a/d/big.bin "$WORK/pc3/big.bin"
        expect_one_error "download failed: /a/d/big.bin: the phone sent 4 of the 50000 bytes it listed"
        [ "$(cat "$WORK/pc3/big.bin")" = old ] || fail "a short read replaced the PC file"
    done
    expect_exit 0 get /a/d/small.bin "$WORK/pc3/small.bin"
    expect_exit 1 get /a/d "$WORK/pc3"
    grep -qxF "not downloaded: /a/d/big.bin: the phone sent 4 of the 50000 bytes it listed" \
        "$WORK/stderr" || fail "short file in a folder: $(cat "$WORK/stderr")"
    [ ! -e "$WORK/pc3/d/big.bin" ] || fail "a short copy was kept"
    no_temporaries "$WORK/pc3"

    expect_exit 1 backup "$WORK/b3"
    grep -qxF "failed: /a/d/big.bin: the phone sent 4 of the 50000 bytes it listed" \
        "$WORK/stderr" || fail "backup of a short file: $(cat "$WORK/stderr")"
    grep -q ", 1 failed" "$WORK/stdout" || fail "backup summary: $(cat "$WORK/stdout")"
    [ ! -e "$WORK/b3/files/a/d/big.bin" ] || fail "the backup kept a short copy"

    # A good backup, then the phone sends short: verify says so.
    start_phone honest --root "$WORK/r3"
    expect_exit 0 backup "$WORK/b4"
    start_phone liar --root "$WORK/r3" --fault short-read=4
    expect_exit 1 backup --verify "$WORK/b4"
    grep -qxF "differs: /a/d/big.bin: the phone sent 4 of the 50000 bytes it listed" \
        "$WORK/stdout" || fail "verify of a phone sending short: $(cat "$WORK/stdout")"
}

# 3. A listed size beyond what the PC folder can take is refused before the first read.
check_listed_size() {
    mkdir -p "$WORK/r5/a" "$WORK/pc5"
    printf 'tiny' >"$WORK/r5/a/huge.bin"
    start_phone huge --root "$WORK/r5" --fault listed-size=4294967295
    expect_exit 1 get /a/huge.bin "$WORK/pc5/huge.bin"
    local free
    free=$(($(stat -f -c '%a * %S' "$WORK/pc5")))
    if [ "$free" -lt 4294967295 ]; then
        expect_one_error "download failed: /a/huge.bin: not enough space in $WORK/pc5/: the phone lists 4294967295 bytes, free $free"
    else
        expect_one_error "download failed: /a/huge.bin: the phone sent 4 of the 4294967295 bytes it listed"
    fi
    [ ! -e "$WORK/pc5/huge.bin" ] || fail "a refused download left a file"
    no_temporaries "$WORK/pc5"
}

# 9. A folder upload with an unreadable file and an unreadable subfolder.
check_folder_upload() {
    mkdir -p "$WORK/r6/a" "$WORK/up/sub" "$WORK/up/locked"
    printf 'one' >"$WORK/up/one.bin"
    printf 'two' >"$WORK/up/secret.bin"
    printf 'three' >"$WORK/up/sub/three.bin"
    printf 'hidden' >"$WORK/up/locked/four.bin"
    chmod 000 "$WORK/up/secret.bin" "$WORK/up/locked"
    start_phone upload --root "$WORK/r6"
    local got=0
    without_override "$BIN/marrowdeck-cli" --phone "unix:$PHONE_SOCKET" put "$WORK/up" /a/ \
        >"$WORK/stdout" 2>"$WORK/stderr" || got=$?
    chmod 700 "$WORK/up/secret.bin" "$WORK/up/locked"
    [ "$got" -eq 1 ] || fail "folder upload exited with $got: $(cat "$WORK/stderr")"
    grep -q "^not sent: $WORK/up/secret.bin: cannot open $WORK/up/secret.bin: " "$WORK/stderr" ||
        fail "the unreadable file is not named: $(cat "$WORK/stderr")"
    grep -q "^not sent: $WORK/up/locked: cannot read the folder: " "$WORK/stderr" ||
        fail "the unreadable folder is not named: $(cat "$WORK/stderr")"
    [ "$(tail -n 1 "$WORK/stderr")" = "ERROR: 2 of 4 files or folders not sent" ] ||
        fail "folder upload count: $(cat "$WORK/stderr")"
    cli ls /a/up/ >"$WORK/listing"
    grep -q '^one.bin ' "$WORK/listing" || fail "one.bin not sent: $(cat "$WORK/listing")"
    cli ls /a/up/sub/ >"$WORK/listing"
    grep -q '^three.bin ' "$WORK/listing" || fail "sub/three.bin not sent"
}

check_folder_download
check_endless_list
check_short_reads
check_listed_size
check_folder_upload
echo "cli_lying_phone: all checks passed"
