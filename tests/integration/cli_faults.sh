#!/usr/bin/env bash
# marrowdeck-cli where things go wrong: one client per phone, uploads that do not fit or
# fail part-way, a USBLAN phone that never answers, missing folders, unsafe or too long
# phone paths, empty folders in a folder upload, and the messages and exit codes of bad
# arguments.
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

export XDG_RUNTIME_DIR="$WORK/run"
mkdir -p "$XDG_RUNTIME_DIR"

# usage_error TEXT ARGS...: marrowdeck-cli ARGS exits 2 with the one line "ERROR: TEXT"
# and the usage.
usage_error() {
    local text=$1
    shift
    local got=0
    "$BIN/marrowdeck-cli" "$@" >"$WORK/stdout" 2>"$WORK/stderr" || got=$?
    [ "$got" -eq 2 ] || fail "marrowdeck-cli $* exited with $got, expected 2: $(cat "$WORK/stderr")"
    expect_usage_text "$text"
}

check_arguments() {
    start_phone args
    local forms="(want sim, unix:PATH, tcp:HOST:PORT, usblan:HOST[:PORT], usb or auto)"
    usage_error "missing value for --phone" info --phone
    usage_error "bad phone address: tcp:127.0.0.1 $forms" --phone tcp:127.0.0.1 info
    usage_error "bad phone address: tcp:127.0.0.1:99999 $forms" --phone tcp:127.0.0.1:99999 info
    usage_error "bad phone address: bogus:x $forms" --phone bogus:x info
    usage_error "bad attribute (want 1 to 4 hexadecimal digits): zz" attr /a/x zz \
        --phone "unix:$PHONE_SOCKET"
    usage_error "bad seem number (want 1 to 4 hexadecimal digits): zz" seem-get zz 1 \
        --phone "unix:$PHONE_SOCKET"
    # Options after the command.
    "$BIN/marrowdeck-cli" info --phone "unix:$PHONE_SOCKET" >"$WORK/stdout" ||
        fail "--phone after the command is not taken"
    grep -q '^Model: ' "$WORK/stdout" || fail "info after a late --phone: $(cat "$WORK/stdout")"
    # A unix: path that is not a socket.
    printf 'x' >"$WORK/plain-file"
    local saved=$PHONE_SOCKET
    PHONE_SOCKET="$WORK/plain-file"
    expect_exit 1 info
    grep -qF "$WORK/plain-file is not a socket" "$WORK/stderr" ||
        fail "not-a-socket: $(cat "$WORK/stderr")"
    PHONE_SOCKET=$saved
}

check_messages() {
    mkdir -p "$WORK/msg/a/mobile/sub" "$WORK/msg-pc"
    printf 'abc' >"$WORK/msg/a/mobile/x.bin"
    printf 'n' >"$WORK/msg/a/mobile/sub/y.bin"
    printf '1' >"$WORK/msg/a/mobile/$(printf '\xc3\xa9t\xc3\xa9.txt')"
    start_phone messages --root "$WORK/msg"
    expect_exit 1 get /a/mobile/x.bin "$WORK/no-such-folder/x.bin"
    expect_one_error "cannot write $WORK/no-such-folder/x.bin: no such PC folder $WORK/no-such-folder"
    expect_exit 1 rm /a/mobile/sub
    expect_one_error "/a/mobile/sub is a folder: use rmdir"
    # Columns line up by characters: every size ends at the same character, also after
    # a name with two-byte characters.
    cli ls /a/mobile/ >"$WORK/listing"
    python3 - "$WORK/listing" <<'PY' || fail "ls columns do not line up: $(cat "$WORK/listing")"
import re, sys
rows = [r for r in open(sys.argv[1], encoding="utf-8") if "DIR" not in r]
ends = {re.search(r" (\d+)  ", r).end(1) for r in rows}
assert len(rows) == 2 and len(ends) == 1, (rows, ends)
PY
    expect_exit 0 get /a/mobile "$WORK/msg-pc"
    grep -qx "3 file(s) and 1 folder(s) downloaded into $WORK/msg-pc" "$WORK/stdout" ||
        fail "folder get summary: $(cat "$WORK/stdout")"
    # seem-put of a file longer and shorter than its record.
    cli seem-get 0117 1 "$WORK/0117_0001.seem"
    local size
    size=$(stat -c %s "$WORK/0117_0001.seem")
    mkdir -p "$WORK/long" "$WORK/short"
    head -c $((size + 5)) /dev/zero >"$WORK/long/0117_0001.seem"
    head -c $((size - 2)) /dev/zero >"$WORK/short/0117_0001.seem"
    expect_exit 0 seem-put "$WORK/long/0117_0001.seem"
    grep -q "the 5 bytes beyond the record are not written" "$WORK/stderr" ||
        fail "seem-put longer: $(cat "$WORK/stderr")"
    expect_exit 0 seem-put "$WORK/short/0117_0001.seem"
    grep -q "the record keeps its own 2 bytes beyond the file" "$WORK/stderr" ||
        fail "seem-put shorter: $(cat "$WORK/stderr")"
}

# One client per phone: while another process holds the phone's lock, a client waits a
# few seconds and then names the holder.
check_lock() {
    start_phone locked
    rm -f "$XDG_RUNTIME_DIR"/*.lock
    cli info >/dev/null || fail "info on a free phone failed"
    local lockfile
    lockfile=$(ls "$XDG_RUNTIME_DIR"/marrowdeck-phone-unix*.lock 2>/dev/null | head -1)
    [ -n "$lockfile" ] || fail "no lock file in $XDG_RUNTIME_DIR: $(ls -A "$XDG_RUNTIME_DIR")"
: >"$lockfile"
    flock -o "$lockfile" sh -c 'echo $$ >"$1"; exec sleep 30' _ "$lockfile" &
    local holder=$!
    PHONE_PIDS+=("$holder")
    for _ in $(seq 50); do [ -s "$lockfile" ] && break; sleep 0.1; done
    local pid
    pid=$(cat "$lockfile")
    expect_exit 1 put "$WORK/run" /a/x.bin
    expect_one_error "the phone is in use by process $pid"
    kill "$pid" "$holder" 2>/dev/null || true
    wait "$holder" 2>/dev/null || true
    expect_exit 0 info
}

# With 5000 bytes free a 1 MiB upload over a 3000-byte file is refused before anything
# is written; the old file stays.
check_space() {
    mkdir -p "$WORK/space/a"
    head -c 3000 /dev/urandom >"$WORK/space/a/old.bin"
    head -c 1048576 /dev/urandom >"$WORK/big.bin"
    head -c 4000 /dev/urandom >"$WORK/fits.bin"
    start_phone space --root "$WORK/space" --free 5000 --dump-state "$WORK/space.state"
    expect_exit 1 put "$WORK/big.bin" /a/old.bin
    expect_one_error "not enough space on /a: need 1048576, free 8000"
    expect_exit 0 put "$WORK/fits.bin" /a/new.bin
    stop_phone "$PHONE_PID"
    grep -qP "^file\t07000400\t3000\t$(crc32_of "$WORK/space/a/old.bin")\t/a/old.bin$" \
        "$WORK/space.state" || fail "the old file changed: $(cat "$WORK/space.state")"
}

# The 30th write of a 200,000-byte upload is refused: the phone file is closed, the
# partial file deleted, and the error says why and what became of it.
check_failed_upload() {
    head -c 200000 /dev/urandom >"$WORK/200k.bin"
    start_phone failing --kind classic --fault fail-write=30 --dump-state "$WORK/fail.state"
    expect_exit 1 put "$WORK/200k.bin" /a/mobile/big.bin
    expect_one_error "upload failed: /a/mobile/big.bin: phone status 14: Phone error: the phone answered with error status 14.; the partial file was removed from the phone"
    stop_phone "$PHONE_PID"
    ! grep -q '/a/mobile/big.bin$' "$WORK/fail.state" || fail "a partial file was left"
    # A download over a dropped link names the reason.
    mkdir -p "$WORK/drop/a/d"
    head -c 300000 /dev/urandom >"$WORK/drop/a/d/big.bin"
    start_phone dropping --root "$WORK/drop" --fault drop=200
    expect_exit 1 get /a/d/big.bin "$WORK/big-down.bin"
    expect_one_error "download failed: /a/d/big.bin: the link to the phone was lost"
}

check_paths() {
    start_phone paths --dump-state "$WORK/paths.state"
    printf 'evil' >"$WORK/evil.txt"
    expect_exit 1 put "$WORK/evil.txt" /a/../evil.txt
    expect_one_error 'bad phone path (an empty, "." or ".." component): /a/../evil.txt'
    expect_exit 1 put "$WORK/evil.txt" /a//evil.txt
    expect_one_error 'bad phone path (an empty, "." or ".." component): /a//evil.txt'
    stop_phone "$PHONE_PID"
    ! grep -q '\.\.' "$WORK/paths.state" || fail "a '..' folder reached the phone"
    # 44-byte records hold 35 characters of path.
    mkdir -p "$WORK/narrow/a"
    printf 'x' >"$WORK/narrow/a/seed.bin"
    start_phone narrow --root "$WORK/narrow" --stride 44
    local long=/a/abcdefghijklmnopqrstuvwxyz0123.bin
    expect_exit 1 put "$WORK/evil.txt" "$long"
    expect_one_error "phone path too long for this phone: $long (37 characters; it can hold 35)"
    expect_exit 0 put "$WORK/evil.txt" /a/abcdefghijklmnopqrstuvwxyz01.bin
}

# ls of a folder that is not there fails; an empty folder lists nothing and succeeds.
check_missing_folder() {
    start_phone folders
    cli mkdir /a/empty
    cli rm /a/empty/folder.mdk
    expect_exit 0 ls /a/empty/
    [ ! -s "$WORK/stdout" ] || fail "an empty folder listed: $(cat "$WORK/stdout")"
    expect_exit 1 ls /a/no-such-folder/
    expect_one_error "no such folder on the phone: /a/no-such-folder/"
    expect_exit 1 ls /q/
    expect_one_error "no such folder on the phone: /q/"
}

# A folder upload makes the empty folders too; a folder get brings them back.
check_empty_folders() {
    mkdir -p "$WORK/tree/top/empty" "$WORK/tree/top/full/deep-empty" "$WORK/tree-back"
    printf 'data' >"$WORK/tree/top/full/f.txt"
    start_phone tree
    cli put "$WORK/tree/top" /a/up/ || fail "folder put failed"
    cli get /a/up/top "$WORK/tree-back" >/dev/null || fail "folder get failed"
    [ -d "$WORK/tree-back/top/empty" ] || fail "the empty folder did not make the round trip"
    [ -d "$WORK/tree-back/top/full/deep-empty" ] || fail "the nested empty folder is lost"
    cmp "$WORK/tree/top/full/f.txt" "$WORK/tree-back/top/full/f.txt" || fail "file changed"
}

# A USBLAN phone that takes the connection and never answers: exit 1, named, quickly.
check_silent_usblan() {
    "$BIN/marrowdeck-phonesim" --usblan tcp:127.0.0.1:0 --fault silent >"$WORK/silent.log" 2>&1 &
    PHONE_PIDS+=($!)
    local port=
    for _ in $(seq 100); do
        port=$(sed -n 's/^usblan tcp:127\.0\.0\.1:\([0-9]*\)$/\1/p' "$WORK/silent.log")
        [ -n "$port" ] && grep -q '^ready$' "$WORK/silent.log" && break
        sleep 0.1
    done
    [ -n "$port" ] || fail "phonesim printed no USBLAN port: $(cat "$WORK/silent.log")"
    local args
    for args in "info" "ls /a/" "get /a/x.bin $WORK/x.bin"; do
        local got=0 started=$SECONDS
        # shellcheck disable=SC2086  # the arguments are split on purpose
        "$BIN/marrowdeck-cli" --phone "usblan:localhost:$port" $args \
            >"$WORK/stdout" 2>"$WORK/stderr" || got=$?
        [ "$got" -eq 1 ] || fail "silent USBLAN $args exited with $got"
        expect_one_error "the phone at usblan:localhost:$port does not answer"
        [ $((SECONDS - started)) -lt 20 ] || fail "silent USBLAN $args took $((SECONDS - started)) s"
    done
}

check_arguments
check_messages
check_lock
check_space
check_failed_upload
check_paths
check_missing_folder
check_empty_folders
check_silent_usblan
echo "cli faults: ok"
