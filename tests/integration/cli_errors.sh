#!/usr/bin/env bash
# marrowdeck-cli's failures: bad usage exits 2 with one ERROR line and the usage; a phone that is not
# there, refuses, or drops the link mid-download exits 1 with one "ERROR:" line, and a
# failed download leaves the PC file it would have replaced as it was.
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

# usage_error ARGS...: marrowdeck-cli ARGS (no phone contacted) exits 2 with one ERROR
# line and the usage.
usage_error() {
    local got=0
    "$BIN/marrowdeck-cli" "$@" >"$WORK/stdout" 2>"$WORK/stderr" || got=$?
    [ "$got" -eq 2 ] || fail "marrowdeck-cli $* exited with $got, expected 2"
    expect_usage_text ""
}

check_usage() {
    usage_error
    usage_error --phone "unix:$WORK/none.sock"
    usage_error --phone
    usage_error --bogus info
    usage_error frobnicate
    usage_error ls
    usage_error ls /a/ /b/
    usage_error put only-one-argument
    usage_error seem-get 0117
    usage_error info extra
    "$BIN/marrowdeck-cli" --help >"$WORK/stdout" 2>"$WORK/stderr" || fail "--help exited with $?"
    grep -q '^usage: marrowdeck-cli' "$WORK/stdout" || fail "--help shows no usage"
    [ ! -s "$WORK/stderr" ] || fail "--help wrote to stderr: $(cat "$WORK/stderr")"
}

check_dead_phone() {
    PHONE_SOCKET="$WORK/nothing-here.sock"
    expect_exit 1 info
    expect_one_error ""
    # A socket file left by a phone that has stopped.
    start_phone stopped
    stop_phone "$PHONE_PID"
    expect_exit 1 ls /a/mobile/
    expect_one_error ""
}

check_refusals() {
    start_phone refusing
    expect_exit 1 get /a/mobile/no-such-file.bin "$WORK/x"
    expect_one_error "not on the phone: /a/mobile/no-such-file.bin"
    [ ! -e "$WORK/x" ] || fail "a failed get made a PC file"
    expect_exit 1 rm /a/mobile/no-such-file.bin
    expect_one_error "the phone refused to delete /a/mobile/no-such-file.bin"
    expect_exit 1 put "$WORK/no-such-pc-file" /a/mobile/x.bin
    expect_one_error ""
    ls_row /a/mobile/ x.bin
    [ -z "$ROW" ] || fail "a failed put listed a file"
    expect_exit 2 seem-get 0117 zz
    expect_usage_text "bad record number (want 1 to 4 hexadecimal digits): zz"
}

# The phone drops the link after 200 driver requests: well inside the 293 reads of a
# 300,000-byte file, after the probe and the catalogue load.
check_dropped_download() {
    mkdir -p "$WORK/root/a/d" "$WORK/pc"
    head -c 300000 /dev/urandom >"$WORK/root/a/d/big.bin"
    printf 'keep me' >"$WORK/pc/big.bin"
    start_phone dropping --root "$WORK/root" --fault drop=200
    expect_exit 1 get /a/d/big.bin "$WORK/pc/big.bin"
    expect_one_error "download failed: /a/d/big.bin: the link to the phone was lost"
    [ "$(cat "$WORK/pc/big.bin")" = "keep me" ] || fail "a failed download replaced the PC file"
    [ "$(ls -A "$WORK/pc")" = "big.bin" ] ||
        fail "a failed download left files: $(ls -A "$WORK/pc")"
}

# A phone whose names hold terminal controls (a lone C1 CSI byte that clears the screen,
# the same as UTF-8, DEL, bytes that are no UTF-8; the simulated phone itself refuses C0
# bytes): listings, ERROR lines and the model show them escaped, and not one control
# byte reaches the terminal.
check_hostile_names() {
    mkdir -p "$WORK/hostile/a/n"
    printf 'x' >"$WORK/hostile/a/n/"$'\x9b2J\x7f'
    printf 'x' >"$WORK/hostile/a/n/"$'\xc2\x9b1m\xe9.txt'
    start_phone hostile --root "$WORK/hostile" --model $'RAZR\x9b2J'
    local shown="$WORK/shown"
    expect_exit 0 ls /a/n/
    cat "$WORK/stdout" "$WORK/stderr" >"$shown"
    cli info >>"$shown" 2>&1 || fail "info exited with $?"
    expect_exit 1 rm /a/n/$'\x9b2Jgone'
    cat "$WORK/stderr" >>"$shown"
    if LC_ALL=C grep -q $'[\x01-\x09\x0b-\x1f\x7f-\x9f]' "$shown"; then
        fail "control bytes reached the terminal: $(od -c "$shown" | head)"
    fi
    grep -qF '\x9B2J\x7F' "$shown" || fail "ls: $(cat "$shown")"
    grep -qF '\xC2\x9B1m\xE9.txt' "$shown" || fail "ls: $(cat "$shown")"
    grep -qxF 'Model: RAZR\x9B2J' "$shown" || fail "info: $(cat "$shown")"
    grep -qxF 'ERROR: the phone refused to delete /a/n/\x9B2Jgone' "$shown" ||
        fail "rm: $(cat "$shown")"
}


check_usage
check_dead_phone
check_refusals
check_dropped_download
check_hostile_names
echo "cli failures: ok"
