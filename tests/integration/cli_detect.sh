#!/usr/bin/env bash
# marrowdeck-cli detect: on a machine without USB (a fixture root) it exits 1 naming what it
# looked for and the udev rule's state; on a phone it reaches it prints the probe and
# "ready" and exits 0; --json and --report give the same facts; nothing is written to the
# phone; serials are masked; a phone another client holds is "in use by process N".
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

SOURCE=$(cd "$(dirname "$0")/../.." && pwd)
FIXTURES="$SOURCE/tests/fixtures/detect"

# detect_at ROOT ARGS...: detect with the system root ROOT; exit code in $GOT.
detect_at() {
    local root=$1
    shift
    GOT=0
    MARROWDECK_DETECT_ROOT="$root" "$BIN/marrowdeck-cli" "$@" detect "${DETECT_ARGS[@]}" \
        >"$WORK/stdout" 2>"$WORK/stderr" || GOT=$?
}

last_line() { tail -n 1 "$WORK/stdout"; }

check_no_usb() {
    DETECT_ARGS=()
    detect_at "$FIXTURES/no_usb"
    [ "$GOT" -eq 1 ] || fail "detect without USB exited with $GOT"
    [ "$(last_line)" = "no Motorola device" ] || fail "last line: $(last_line)"
    grep -q '^looked for: USB devices of vendor 0x22B8' "$WORK/stdout" || fail "no 'looked for'"
    grep -q '^USB: no /sys/bus/usb on this system' "$WORK/stdout" || fail "no USB line"
    grep -q '^udev rule 70-marrowdeck.rules: not installed' "$WORK/stdout" || fail "no rule state"
    [ ! -s "$WORK/stderr" ] || fail "stderr: $(cat "$WORK/stderr")"
}

check_modem_phone() {
    DETECT_ARGS=()
    detect_at "$FIXTURES/modem_cdc_acm"
    [ "$GOT" -eq 1 ] || fail "detect of a modem-mode phone exited with $GOT"
    grep -q 'interface 0: class 02/02/01 "Motorola Communication Interface", driver cdc_acm' \
        "$WORK/stdout" || fail "modem interface not shown: $(cat "$WORK/stdout")"
    grep -q 'serial 01\*\*\*\*\*\*89' "$WORK/stdout" || fail "serial not masked"
    ! grep -q 0123456789 "$WORK/stdout" || fail "serial shown"
}

check_reached_phone() {
    start_phone detect --kind classic
    DETECT_ARGS=(--json --report "$WORK/report.txt")
    detect_at "$FIXTURES/no_usb" --phone "unix:$PHONE_SOCKET"
    [ "$GOT" -eq 0 ] || fail "detect of a reachable phone exited with $GOT: $(cat "$WORK/stderr")"
    python3 - "$WORK/stdout" <<'PY' || fail "JSON: $(cat "$WORK/stdout")"
import json, sys
report = json.load(open(sys.argv[1]))
assert report["state"] == "ready", report["state"]
assert report["phoneReached"] is True
assert report["probe"]["framing"] == "classic", report["probe"]
assert report["probe"]["volumes"], report["probe"]
PY
    [ "$(tail -n 1 "$WORK/report.txt")" = ready ] || fail "report: $(cat "$WORK/report.txt")"
    grep -q '^kernel: Linux' "$WORK/report.txt" || fail "no kernel in the report"
    grep -q '^distribution: Fixture Linux 1' "$WORK/report.txt" || fail "no distribution"
    grep -q '^Marrowdeck [0-9.]* connection report' "$WORK/report.txt" || fail "no version"
    grep -q '^probe (unix:.*): framing classic, family GSM' "$WORK/report.txt" ||
        fail "no probe line: $(cat "$WORK/report.txt")"
    stop_phone "$PHONE_PID"
}

# --switch only switches what is in modem or memory-card mode, and says what it did.
check_switch() {
    DETECT_ARGS=(--switch)
    detect_at "$FIXTURES/no_usb"
    [ "$GOT" -eq 1 ] || fail "detect --switch without a phone exited with $GOT"
    grep -q '^switch: nothing to switch$' "$WORK/stdout" || fail "switch: $(cat "$WORK/stdout")"
    # A modem-mode phone in the tree that this machine does not have: the attach pass
    # finds no modem port and no interface, and the failure is reported.
    detect_at "$FIXTURES/modem_cdc_acm"
    [ "$GOT" -eq 1 ] || fail "a failed switch exited with $GOT"
    grep -q '^switch: failed: ' "$WORK/stdout" || fail "switch: $(cat "$WORK/stdout")"
    [ "$(last_line)" = "phone in modem mode: run with --switch or use Re-Connect" ] ||
        fail "last line after a failed switch: $(last_line)"
}

check_usage() {
    DETECT_ARGS=(--bogus)
    detect_at "$FIXTURES/no_usb"
    [ "$GOT" -eq 2 ] || fail "detect --bogus exited with $GOT"
    DETECT_ARGS=(--report)
    detect_at "$FIXTURES/no_usb"
    [ "$GOT" -eq 2 ] || fail "detect --report without a file exited with $GOT"
}

check_in_use() {
    start_phone held --latency 500
    # Another client lists a folder slowly, holding the phone's lock meanwhile; detect is
    # asked once that client has taken the lock (its lock file names it). Asking before
    # could let detect take the lock first, and the client give up waiting for it.
    "$BIN/marrowdeck-cli" --phone "unix:$PHONE_SOCKET" ls /a/ >/dev/null 2>&1 &
    local holder=$! locks
    locks="$(dirname "$(mktemp -u)")/marrowdeck-$(id -u)"
    for _ in $(seq 100); do
        grep -qsx "$holder" "$locks"/marrowdeck-phone-*.lock && break
        sleep 0.1
    done
    DETECT_ARGS=()
    for _ in $(seq 5); do
        detect_at "$FIXTURES/no_usb" --phone "unix:$PHONE_SOCKET"
        [ "$(last_line)" = "in use by process $holder" ] && break
        sleep 0.1
    done
    kill "$holder" 2>/dev/null || true
    wait "$holder" || true
    [ "$(last_line)" = "in use by process $holder" ] || fail "last line: $(last_line)"
    [ "$GOT" -eq 1 ] || fail "detect of a held phone exited with $GOT"
    stop_phone "$PHONE_PID"
}

check_no_usb
check_modem_phone
check_reached_phone
check_usage
check_switch
check_in_use
echo "cli_detect: all checks passed"
