#!/usr/bin/env bash
# marrowdeck-cli against a simulated Linux phone over USBLAN on a loopback port: the
# model name, volumes, a file listed and copied both ways, the state seen by the phone.
set -euo pipefail
source "$(dirname "$0")/cli_common.bash"

"$BIN/marrowdeck-phonesim" --usblan tcp:127.0.0.1:0 --dump-state "$WORK/state.txt" \
    >"$WORK/usblan.log" 2>&1 &
PHONE_PID=$!
PHONE_PIDS+=("$PHONE_PID")
PORT=
for _ in $(seq 100); do
    PORT=$(sed -n 's/^usblan tcp:127\.0\.0\.1:\([0-9]*\)$/\1/p' "$WORK/usblan.log")
    [ -n "$PORT" ] && grep -q '^ready$' "$WORK/usblan.log" && break
    sleep 0.1
done
[ -n "$PORT" ] || fail "phonesim printed no USBLAN port: $(cat "$WORK/usblan.log")"

ucli() { "$BIN/marrowdeck-cli" --phone "usblan:127.0.0.1:$PORT" "$@"; }

ucli info >"$WORK/info.txt"
grep -q '^Model: ROKR E6$' "$WORK/info.txt" || fail "model name: $(cat "$WORK/info.txt")"
grep -q '^Framing: P2k05 over USBLAN$' "$WORK/info.txt" || fail "framing"
grep -q '/ezxlocal' "$WORK/info.txt" || fail "Linux volumes missing"

head -c 5000 /dev/urandom >"$WORK/up.bin"
ucli put "$WORK/up.bin" /ezxlocal/download/up.bin
ucli ls /ezxlocal/download/ | grep -q '^up\.bin  *5000 ' || fail "uploaded file not listed"
ucli get /ezxlocal/download/up.bin "$WORK/down.bin"
cmp "$WORK/up.bin" "$WORK/down.bin" || fail "USBLAN round trip changed the file"

stop_phone "$PHONE_PID"
grep -q '/ezxlocal/download/up.bin$' "$WORK/state.txt" || fail "the phone does not hold the upload"

# A port nobody listens on: one ERROR line, exit 1.
status=0
"$BIN/marrowdeck-cli" --phone usblan:127.0.0.1:1 info 2>"$WORK/err.txt" || status=$?
[ "$status" -eq 1 ] || fail "dead USBLAN port exits $status"
grep -q '^ERROR: ' "$WORK/err.txt" || fail "no ERROR line for a dead USBLAN port"
echo "cli_usblan: passed"
