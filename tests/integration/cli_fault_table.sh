#!/usr/bin/env bash
# marrowdeck-cli against a simulated phone that misbehaves in the middle of an operation,
# one row per fault. For every row: the client ends with exit 1 and one ERROR line naming
# the fault (no crash, no sanitizer report), an existing PC file keeps its bytes, a partial
# phone file is removed or named, the fault hit part-way, and once the phone answers again
# (a fresh phonesim without the fault) the same operation succeeds.
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

export XDG_RUNTIME_DIR="$WORK/run"
mkdir -p "$XDG_RUNTIME_DIR"

BIG=/a/d/big.bin        # 300,000 bytes: 293 reads
UP=/a/d/up.bin          # the upload target, 200,000 bytes: 196 writes
PC_TARGET="$WORK/pc/big.bin"
PC_KNOWN="known PC content, never to be replaced by a partial download"

mkdir -p "$WORK/root/a/d" "$WORK/root/a/list" "$WORK/pc"
head -c 300000 /dev/urandom >"$WORK/root/a/d/big.bin"
head -c 200000 /dev/urandom >"$WORK/up.bin"
for n in $(seq -w 1 20); do printf 'file %s' "$n" >"$WORK/root/a/list/f$n.txt"; done

# The rows: NAME | PHONE KIND | FAULT | OPERATION | what the ERROR line says (ERE; empty:
# the operation succeeds, the fault being one the client rides out).
ROWS=(
    "drop mid-download|classic|drop=400|get|^ERROR: download failed: $BIG: the (link to the phone was lost|USB transfer to the phone failed)$"
    "drop mid-upload|p2k05|drop=300|put|^ERROR: upload failed: $UP: the link to the phone was lost; a partial file remains on the phone: $UP$"
    "stale sequence mid-download|classic|stale-sequence=100|get|^ERROR: download failed: $BIG: the phone's reply does not belong to the request$"
    "stale sequence mid-upload|classic|stale-sequence=100|put|^ERROR: upload failed: $UP: the phone's reply does not belong to the request; the partial file was removed from the phone$"
    "error status on the 50th read|classic|fail-read=50|get|^ERROR: download failed: $BIG: phone status 14: "
    "refusal of the 50th read (P2k05)|p2k05|fail-read=50|get|^ERROR: download failed: $BIG: the phone refused to read the file$"
    "refusal of the 50th write (P2k05)|p2k05|fail-write=50|put|^ERROR: upload failed: $UP: the phone refused to write the file \\(50176 bytes written\\); the partial file was removed from the phone$"
    "three replies waiting|classic|three-waiting=300|get|"
    "silent mid-download|p2k05|silent-after=100|get|^ERROR: the phone at unix:.* does not answer$"
    "silent mid-upload|p2k05|silent-after=100|put|^ERROR: the phone at unix:.* does not answer; a partial file remains on the phone: $UP$"
    "short catalogue block|p2k05|short-block=2|ls|^ERROR: the phone's file list is incomplete: a block announces 8 records and holds 7$"
    "short first catalogue block|p2k05|short-block=1|ls|^ERROR: the phone's file list is malformed: its first block announces 8 records in 1876 bytes$"
)

# run_operation OP: the operation of a row on the phone last started; exit code in GOT.
run_operation() {
    GOT=0
    case $1 in
        get) cli get "$BIG" "$PC_TARGET" ;;
        put) cli put "$WORK/up.bin" "$UP" ;;
        ls) cli ls /a/list/ ;;
    esac >"$WORK/stdout" 2>"$WORK/stderr" || GOT=$?
}

# state_field STATE KIND PATH FIELD: a field of the dump line of PATH (empty when none).
state_field() {
    awk -F '\t' -v kind="$2" -v path="$3" -v field="$4" \
        '$1 == kind && $NF == path { print $field }' "$1"
}

# in_range N LOW HIGH: LOW <= N <= HIGH.
in_range() {
    [ "$1" -ge "$2" ] && [ "$1" -le "$3" ]
}

# check_fault_hit_midway NAME OP STATE: the operation had begun, and not finished, when the
# fault struck (the phone's own account of the reads and the partial file).
check_fault_hit_midway() {
    local name=$1 op=$2 state=$3 reads size
    case $op in
        get)
            reads=$(state_field "$state" reads "$BIG" 2)
            in_range "${reads:-0}" 2 292 ||
                fail "$name: the fault did not hit mid-download (reads: '${reads:-none}')"
            ;;
        put)
            size=$(state_field "$state" file "$UP" 3)
            if grep -q 'a partial file remains' "$WORK/stderr"; then
                in_range "${size:-0}" 1 199999 ||
                    fail "$name: the named partial file is not on the phone (size '${size:-none}')"
            else
                [ -z "$size" ] || fail "$name: a partial file of $size bytes was left unnamed"
            fi
            ;;
    esac
}

# check_recovery NAME OP: on a phonesim without the fault the operation succeeds whole.
check_recovery() {
    local name=$1 op=$2
    start_phone "recovered" --kind p2k05 --root "$WORK/root" --dump-state "$WORK/recovered.state"
    run_operation "$op"
    [ "$GOT" -eq 0 ] || fail "$name: $op after the fault exited $GOT: $(cat "$WORK/stderr")"
    case $op in
        get) cmp -s "$PC_TARGET" "$WORK/root/a/d/big.bin" || fail "$name: the fresh download differs" ;;
        ls) [ "$(grep -c '^f[0-9]*\.txt ' "$WORK/stdout")" -eq 20 ] ||
            fail "$name: the listing after the fault: $(cat "$WORK/stdout")" ;;
    esac
    stop_phone "$PHONE_PID"
    if [ "$op" = put ]; then
        grep -qP "^file\t07000400\t200000\t$(crc32_of "$WORK/up.bin")\t$UP$" \
            "$WORK/recovered.state" || fail "$name: the upload after the fault is not whole"
    fi
}

run_row() {
    local name kind fault op want
    IFS='|' read -r name kind fault op want <<<"$1"
    printf '%s' "$PC_KNOWN" >"$PC_TARGET"
    start_phone faulty --kind "$kind" --root "$WORK/root" --fault "$fault" \
        --dump-state "$WORK/faulty.state"
    run_operation "$op"
    stop_phone "$PHONE_PID"
    ! grep -qE 'Sanitizer|runtime error' "$WORK/stderr" ||
        fail "$name: sanitizer report: $(cat "$WORK/stderr")"
    if [ -z "$want" ]; then
        [ "$GOT" -eq 0 ] || fail "$name: exited $GOT: $(cat "$WORK/stderr")"
        cmp -s "$PC_TARGET" "$WORK/root/a/d/big.bin" || fail "$name: the download is not whole"
    else
        [ "$GOT" -eq 1 ] || fail "$name: exited $GOT, expected 1: $(cat "$WORK/stderr")"
        [ "$(wc -l <"$WORK/stderr")" -eq 1 ] || fail "$name: stderr: $(cat "$WORK/stderr")"
        grep -qE "$want" "$WORK/stderr" || fail "$name: expected /$want/, got: $(cat "$WORK/stderr")"
        [ "$(cat "$PC_TARGET")" = "$PC_KNOWN" ] || fail "$name: the PC file was replaced"
        check_fault_hit_midway "$name" "$op" "$WORK/faulty.state"
    fi
    check_recovery "$name" "$op"
    echo "ok: $name"
}

for row in "${ROWS[@]}"; do run_row "$row"; done
echo "cli fault table: ok"
