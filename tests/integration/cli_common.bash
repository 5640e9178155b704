# shellcheck shell=bash disable=SC2034  # PHONE_SOCKET and the rest are read by the scripts
# Shared by the marrowdeck-cli scripts (sourced, not run on its own): a temporary folder
# removed on exit, simulated phones on unix sockets in it, stopped on exit, and checks.
# The script that sources it runs with `set -euo pipefail` and gets the bin folder as $1.

BIN=$(cd "${1:?usage: $0 BIN_DIR}" && pwd)
WORK=$(mktemp -d "${TMPDIR:-/tmp}/mdk-cli.XXXXXX")
PHONE_PIDS=()
PHONE_SOCKET=

cleanup() {
    local pid
    for pid in "${PHONE_PIDS[@]}"; do
        kill "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
    rm -rf "$WORK"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*" >&2
    exit 1
}

# start_phone NAME [phonesim options...]: a phone on $WORK/NAME.sock; sets PHONE_SOCKET
# and PHONE_PID. Its output goes to $WORK/NAME.log.
start_phone() {
    local name=$1
    shift
    PHONE_SOCKET="$WORK/$name.sock"
    "$BIN/marrowdeck-phonesim" --listen "unix:$PHONE_SOCKET" "$@" >"$WORK/$name.log" 2>&1 &
    PHONE_PID=$!
    PHONE_PIDS+=("$PHONE_PID")
    for _ in $(seq 100); do
        [ -S "$PHONE_SOCKET" ] && return 0
        kill -0 "$PHONE_PID" 2>/dev/null || fail "phonesim $name exited: $(cat "$WORK/$name.log")"
        sleep 0.1
    done
    fail "phonesim $name did not create its socket"
}

# stop_phone PID: SIGTERM, then wait until it has written its state.
stop_phone() {
    kill -TERM "$1"
    local status=0
    wait "$1" || status=$?
    [ "$status" -eq 0 ] || fail "phonesim exited with $status after SIGTERM"
}

# cli ARGS...: marrowdeck-cli on the phone last started.
cli() {
    "$BIN/marrowdeck-cli" --phone "unix:$PHONE_SOCKET" "$@"
}

# expect_exit CODE ARGS...: runs cli ARGS, checks its exit code; stderr in $WORK/stderr.
expect_exit() {
    local want=$1
    shift
    local got=0
    cli "$@" >"$WORK/stdout" 2>"$WORK/stderr" || got=$?
    [ "$got" -eq "$want" ] ||
        fail "cli $* exited with $got, expected $want; stderr: $(cat "$WORK/stderr")"
}

# expect_one_error TEXT: stderr of the last expect_exit is exactly the line "ERROR: TEXT"
# (TEXT empty: any one "ERROR:" line).
expect_one_error() {
    local lines
    lines=$(wc -l <"$WORK/stderr")
    [ "$lines" -eq 1 ] || fail "expected one line on stderr, got $lines: $(cat "$WORK/stderr")"
    if [ -n "${1:-}" ]; then
        [ "$(cat "$WORK/stderr")" = "ERROR: $1" ] ||
            fail "expected 'ERROR: $1', got '$(cat "$WORK/stderr")'"
    else
        grep -q '^ERROR: ' "$WORK/stderr" || fail "no ERROR line: $(cat "$WORK/stderr")"
    fi
}

# expect_usage_text TEXT: stderr of the last run is one "ERROR: TEXT" line (TEXT empty: any
# text), then a usage text "usage: marrowdeck-cli ..." and no other ERROR line.
expect_usage_text() {
    local first
    first=$(head -1 "$WORK/stderr")
    if [ -n "${1:-}" ]; then
        [ "$first" = "ERROR: $1" ] || fail "expected 'ERROR: $1', got '$first'"
    else
        [[ $first == "ERROR: "* ]] || fail "no ERROR line first: $(cat "$WORK/stderr")"
    fi
    [ "$(grep -c '^ERROR:' "$WORK/stderr")" -eq 1 ] || fail "more than one ERROR line: $(cat "$WORK/stderr")"
    sed -n 2p "$WORK/stderr" | grep -q '^usage: marrowdeck-cli' ||
        fail "no usage after the ERROR line: $(cat "$WORK/stderr")"
}

# ls_row FOLDER NAME: sets ROW to the row of NAME in the listing of FOLDER (empty when not
# listed); a failing ls ends the script.
ls_row() {
    cli ls "$1" >"$WORK/listing" || fail "ls $1 exited with $?"
    ROW=$(awk -v name="$2" '$1 == name' "$WORK/listing")
}

# crc32_of FILE: the zlib CRC-32 in 8 upper-case hex digits (from gzip's trailer).
crc32_of() {
    gzip -c <"$1" | tail -c 8 | od -An -tx1 -N4 |
        awk '{ printf "%s%s%s%s\n", toupper($4), toupper($3), toupper($2), toupper($1) }'
}
