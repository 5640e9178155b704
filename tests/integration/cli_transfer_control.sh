#!/usr/bin/env bash
# Transfers a user can stop and check. Ctrl+C during marrowdeck-cli get and put on a slow
# simulated phone: the transfer stops between two blocks, the PC file of a download is left
# as it was, the partial file of an upload is removed from the phone, and the next command
# works. --verify (or MARROWDECK_VERIFY_TRANSFERS=1) on a phone whose reads come back
# altered: the upload is read back and fails.
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

# 400 blocks at 10 ms each: four seconds, interrupted after one.
SIZE=$((400 * 1024))
LATENCY_MS=10
INTERRUPT_AFTER=1

# interrupted ARGS...: runs cli ARGS in the background, sends SIGINT after a while and
# checks that the tool ended on its own with exit 1 (not killed by the signal). A
# background job starts with SIGINT ignored until the transfer catches it, so on a slow
# machine the signal is sent again every 0.3 s until the tool has ended.
interrupted() {
    "$BIN/marrowdeck-cli" --phone "unix:$PHONE_SOCKET" "$@" >"$WORK/stdout" 2>"$WORK/stderr" &
    local pid=$!
    sleep "$INTERRUPT_AFTER"
    kill -0 "$pid" 2>/dev/null || fail "cli $* ended before it could be interrupted"
    for _ in $(seq 30); do
        kill -INT "$pid" 2>/dev/null || break
        sleep 0.3
    done
    local status=0
    wait "$pid" || status=$?
    [ "$status" -eq 1 ] || fail "interrupted cli $* exited with $status: $(cat "$WORK/stderr")"
}

pc="$WORK/pc"
mkdir -p "$pc" "$WORK/root/a"
head -c "$SIZE" /dev/urandom >"$WORK/root/a/big.bin"
head -c "$SIZE" /dev/urandom >"$pc/up.bin"
start_phone slow --root "$WORK/root" --latency "$LATENCY_MS"

printf 'old bytes' >"$pc/big.bin"
interrupted get /a/big.bin "$pc/big.bin"
expect_one_error "download failed: /a/big.bin: cancelled by the user"
[ "$(cat "$pc/big.bin")" = "old bytes" ] || fail "the interrupted download replaced the PC file"
[ -z "$(find "$pc" -name '.mdk-*')" ] || fail "the interrupted download left its temporary file"

interrupted put "$pc/up.bin" /a/up.bin
expect_one_error "upload failed: /a/up.bin: cancelled by the user; the partial file was removed from the phone"
cli ls /a >"$WORK/listing"
! grep -q '^up.bin ' "$WORK/listing" || fail "the partial upload is still on the phone"

# Nothing is left stopped: the next transfer goes through.
cli get /a/big.bin "$pc/big.bin"
cmp -s "$pc/big.bin" "$WORK/root/a/big.bin" || fail "the download after the interrupt differs"

# Checked uploads against a phone whose file reads come back altered.
head -c 3000 /dev/urandom >"$pc/v.bin"
start_phone corrupt --fault corrupt-read
expect_exit 0 put "$pc/v.bin" /a/plain.bin
expect_exit 1 --verify put "$pc/v.bin" /a/checked.bin
expect_one_error "upload failed: /a/checked.bin: verify failed: the phone's copy differs from the PC file at byte 0"
MARROWDECK_VERIFY_TRANSFERS=1 expect_exit 1 put "$pc/v.bin" /a/by-setting.bin
expect_one_error "upload failed: /a/by-setting.bin: verify failed: the phone's copy differs from the PC file at byte 0"
# backup keeps its own --verify: it checks a backup folder, not the transfers.
expect_exit 1 backup --verify "$WORK/no-backup"
grep -q '^ERROR: ' "$WORK/stderr" || fail "backup --verify of a missing folder: $(cat "$WORK/stderr")"

start_phone sound
expect_exit 0 --verify put "$pc/v.bin" /a/checked.bin
expect_exit 0 get /a/checked.bin "$pc/back.bin" --verify
cmp -s "$pc/v.bin" "$pc/back.bin" || fail "the checked round trip differs"
echo "cli_transfer_control: ok"
