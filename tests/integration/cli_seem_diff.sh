#!/usr/bin/env bash
# marrowdeck-cli backup --seems-only and seem-diff against marrowdeck-phonesim: a snapshot
# of the seems that equals the phone, one bit changed with seem-bit and named by the diff
# with its catalogue description and heading (text and JSON), two snapshots compared
# without a phone, a seem file against a snapshot, a catalogue given with --csv, and the
# exit codes of trouble.
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

SNAP="$WORK/before"
AFTER="$WORK/after"
start_phone seems

# offline ARGS...: marrowdeck-cli with a phone address that nothing answers at.
offline() {
    local got=0
    "$BIN/marrowdeck-cli" --phone "unix:$WORK/nobody.sock" "$@" >"$WORK/stdout" \
        2>"$WORK/stderr" || got=$?
    echo "$got"
}

# 1. A seems-only snapshot: the seem records and a manifest, no files.
cli backup --seems-only "$SNAP" >"$WORK/out" || fail "seems-only backup exited with $?"
grep -qP '^Seem records: [1-9]\d* new, 0 changed, 0 unchanged, 0 vanished, 0 failed$' \
    "$WORK/out" || fail "seems-only summary: $(cat "$WORK/out")"
grep -q '^Files:' "$WORK/out" && fail "a seems-only backup tells of files: $(cat "$WORK/out")"
[ ! -e "$SNAP/files" ] || fail "a seems-only backup made $SNAP/files"
python3 - "$SNAP" <<'PY' || fail "the snapshot's manifest does not match its seems"
import hashlib, json, os, sys
folder = sys.argv[1]
m = json.load(open(os.path.join(folder, "manifest.json")))
assert m["files"] == [] and m["framing"] and m["model"], m
assert len(m["seems"]) >= 4, m["seems"]
for s in m["seems"]:
    data = open(os.path.join(folder, "seems", "%04X_%04X.seem" % (s["seem"], s["record"])), "rb").read()
    assert len(data) == s["length"] and hashlib.sha256(data).hexdigest() == s["sha256"], s
PY

# 2. Nothing changed yet: the snapshot equals the phone and itself.
expect_exit 0 seem-diff "$SNAP" @phone
grep -qx 'The seem records are the same.' "$WORK/stdout" || fail "equal: $(cat "$WORK/stdout")"
[ "$(offline seem-diff "$SNAP" "$SNAP")" -eq 0 ] || fail "a snapshot differs from itself"

# 3. One setting changed on the phone: the diff names its bit and exits 1.
cli seem-bit 0032 0001 00 0 get >"$WORK/bit" || fail "seem-bit get"
OLD=$(cat "$WORK/bit")
NEW=$((1 - OLD))
cli seem-bit 0032 0001 00 0 toggle || fail "seem-bit toggle"
expect_exit 1 seem-diff "$SNAP" @phone
grep -qP "^0032_0001 00 +[0-9A-F]{2} [0-9A-F]{2} 0032;0001;00;0 $OLD>$NEW Show the clock on the idle screen" \
    "$WORK/stdout" || fail "the changed bit is not named: $(cat "$WORK/stdout")"
# The meaning column wraps: the heading is read with the lines joined.
tr -s ' \n' ' ' <"$WORK/stdout" | grep -q 'clock on the idle screen \[Idle screen and clock\]' ||
    fail "no heading: $(cat "$WORK/stdout")"
[ "$(grep -c ';' "$WORK/stdout")" -eq 1 ] || fail "more than one bit: $(cat "$WORK/stdout")"
awk 'length > 80 { exit 1 }' "$WORK/stdout" || fail "a line is over 80 characters"
grep -qx '1 record(s) differ.' "$WORK/stdout" || fail "no count: $(cat "$WORK/stdout")"

expect_exit 1 seem-diff "$SNAP" @phone --json
python3 - "$WORK/stdout" "$OLD" "$NEW" <<'PY' || fail "JSON: $(cat "$WORK/stdout")"
import json, sys
d = json.load(open(sys.argv[1]))
assert d["equal"] is False and d["catalogue"].endswith(".csv"), d
(record,) = d["records"]
assert record["record"] == "0032_0001" and record["state"] == "changed", record
(byte,) = record["bytes"]
(bit,) = byte["bits"]
assert bit["notation"] == "0032;0001;00;0", bit
assert bit["old"] == int(sys.argv[2]) and bit["new"] == int(sys.argv[3]), bit
assert bit["description"] == "Show the clock on the idle screen", bit
assert bit["heading"] == "Idle screen and clock", bit
PY

# 4. A second snapshot, compared with the first without any phone: the manifests' framing
# chooses the catalogue.
cli backup --seems-only "$AFTER" >/dev/null || fail "second seems-only backup"
[ "$(offline seem-diff "$SNAP" "$AFTER")" -eq 1 ] || fail "offline diff: $(cat "$WORK/stderr")"
grep -q '0032;0001;00;0 .* Show the clock on the idle screen' "$WORK/stdout" ||
    fail "offline diff does not name the bit: $(cat "$WORK/stdout")"

# 5. A seem file against a snapshot compares that record only.
cp "$AFTER/seems/0032_0002.seem" "$WORK/0032_0002.seem"
[ "$(offline seem-diff "$WORK/0032_0002.seem" "$SNAP")" -eq 0 ] ||
    fail "seem file against an equal record: $(cat "$WORK/stdout" "$WORK/stderr")"
grep -q '^B: .*: 1 record(s)' "$WORK/stdout" || fail "not narrowed: $(cat "$WORK/stdout")"
# Two seem files of other records: each is a record the other side lacks.
cp "$AFTER/seems/0032_0001.seem" "$WORK/0032_0001.seem"
[ "$(offline seem-diff "$WORK/0032_0001.seem" "$WORK/0032_0002.seem")" -eq 1 ] ||
    fail "two seem files of other records: $(cat "$WORK/stdout" "$WORK/stderr")"
grep -q '^0032_0001 .*only in A' "$WORK/stdout" || fail "two seem files: $(cat "$WORK/stdout")"
grep -q '^0032_0002 .*only in B' "$WORK/stdout" || fail "two seem files: $(cat "$WORK/stdout")"

# 6. --csv names the bit with the given catalogue.
printf '0032;0001;-;-;My heading\n0032;0001;00;0;My own name for it\n' >"$WORK/mine.csv"
[ "$(offline seem-diff "$SNAP" "$AFTER" --csv "$WORK/mine.csv")" -eq 1 ] || fail "--csv diff"
grep -q 'My own name for it \[My heading\]' "$WORK/stdout" || fail "--csv: $(cat "$WORK/stdout")"

# 7. Trouble exits 2: a missing source, a damaged snapshot, two phones, an unreadable
# catalogue, a phone that is not there.
[ "$(offline seem-diff "$WORK/none" "$SNAP")" -eq 2 ] || fail "missing source"
grep -q '^ERROR: ' "$WORK/stderr" || fail "missing source: no ERROR line"
printf 'x' >>"$AFTER/seems/0032_0001.seem"
[ "$(offline seem-diff "$SNAP" "$AFTER")" -eq 2 ] || fail "damaged snapshot read"
grep -q 'does not match the manifest' "$WORK/stderr" || fail "damaged: $(cat "$WORK/stderr")"
expect_exit 2 seem-diff @phone @phone
[ "$(offline seem-diff "$SNAP" "$SNAP" --csv "$WORK/none.csv")" -eq 2 ] || fail "bad --csv"
[ "$(offline seem-diff "$SNAP" @phone)" -eq 2 ] || fail "no phone at the address"
echo "seem-diff: all cases passed"
