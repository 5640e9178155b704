#!/usr/bin/env bash
# marrowdeck-cli backup and restore against marrowdeck-phonesim: a backup of the sample phone
# checked file by file and seem by seem against the phone's dump, an incremental run that reads
# only the changed file, verify catching one changed byte, a dry run that writes nothing, a
# restore onto an empty phone that makes its files, attribute words and seems equal, and a
# link dropped mid-backup.
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

DIR="$WORK/backup"
mkdir -p "$WORK/empty/a" "$WORK/empty/b" "$WORK/empty/c"

# field NAME...: the dump lines of those kinds, sorted.
lines_of() {
    local dump=$1
    shift
    local kinds
    kinds=$(printf '%s|' "$@")
    grep -P "^(${kinds%|})\t" "$dump" | sort
}

# Every file line of the dump has its stored copy with the same size and CRC-32 and a
# manifest entry; no other file is stored; every seem record of the dump whose seem is in
# the backup has its seem file with the same bytes.
check_against_dump() {
    python3 - "$1" "$DIR" <<'PY' || fail "the backup differs from the phone's dump $1"
import json, os, sys, zlib
dump, folder = sys.argv[1], sys.argv[2]
listed = {f["path"] for f in json.load(open(os.path.join(folder, "manifest.json")))["files"]}
files, seems, bad = set(), 0, []
for line in open(dump):
    field = line.rstrip("\n").split("\t")
    if field[0] == "file":
        _, attr, size, crc, path = field
        files.add(path)
        data = open(folder + "/files" + path, "rb").read()
        if len(data) != int(size) or "%08X" % zlib.crc32(data) != crc or path not in listed:
            bad.append(path)
    elif field[0] == "seem":
        _, seem, record, length, hexbytes = field
        if not any(n.startswith(seem + "_") for n in os.listdir(folder + "/seems")):
            continue
        stored = os.path.join(folder, "seems", "%s_%s.seem" % (seem, record))
        seems += 1
        if not os.path.exists(stored) or open(stored, "rb").read().hex().upper() != hexbytes:
            bad.append(stored)
stored_files = {os.path.join(root, n)[len(folder) + 6:]
                for root, _, names in os.walk(folder + "/files") for n in names}
if stored_files != files:
    bad.append("stray or missing: %s" % sorted(stored_files ^ files)[:3])
if len(files) < 100 or seems < 4:
    bad.append("only %d files, %d seem records" % (len(files), seems))
if bad:
    print("\n".join(bad), file=sys.stderr)
sys.exit(1 if bad else 0)
PY
}

# 1. A whole backup of the sample phone, byte for byte.
start_phone first --dump-state "$WORK/first.state"
cli backup "$DIR" >"$WORK/out" || fail "backup exited with $?"
grep -qP '^Files: \d+ new, 0 changed, 0 unchanged, 0 vanished, 0 failed$' "$WORK/out" ||
    fail "first summary: $(cat "$WORK/out")"
stop_phone "$PHONE_PID"
check_against_dump "$WORK/first.state"

# 2. The same phone again with one file and one seem record changed: only that file is read.
CHANGED=/a/mobile/audio/Concert_live_recording_number_02.mp3
start_phone second --dump-state "$WORK/second.state"
printf 'a changed recording' >"$WORK/changed.mp3"
cli put "$WORK/changed.mp3" "$CHANGED" || fail "put"
cli seem-get 0032 0001 "$WORK/seem" || fail "seem-get"
printf '\x7E' | dd of="$WORK/seem" bs=1 seek=1 conv=notrunc 2>/dev/null
cp "$WORK/seem" "$WORK/0032_0001.seem"
cli seem-put "$WORK/0032_0001.seem" || fail "seem-put"
cli backup "$DIR" >"$WORK/out" || fail "second backup exited with $?"
grep -qP '^Files: 0 new, 1 changed, \d+ unchanged, 0 vanished, 0 failed$' "$WORK/out" ||
    fail "second summary: $(cat "$WORK/out")"
grep -qP '^Seem records: 0 new, 1 changed, \d+ unchanged, 0 vanished, 0 failed$' "$WORK/out" ||
    fail "second seem summary: $(cat "$WORK/out")"
stop_phone "$PHONE_PID"
[ "$(lines_of "$WORK/second.state" reads | cut -f3)" = "$CHANGED" ] ||
    fail "the second backup read: $(lines_of "$WORK/second.state" reads | cut -f3 | head)"
check_against_dump "$WORK/second.state"

# 3. Verify: the phone as backed up matches; one changed byte on it does not.
start_phone third
cli put "$WORK/changed.mp3" "$CHANGED" || fail "put"
cli seem-put "$WORK/0032_0001.seem" || fail "seem-put"
cli backup --verify "$DIR" >"$WORK/out" || fail "verify of an equal phone: $(cat "$WORK/out")"
ONE=/a/mobile/audio/Concert_live_recording_number_05.mp3
cli get "$ONE" "$WORK/one" || fail "get"
printf '\xFF' | dd of="$WORK/one" bs=1 seek=100 conv=notrunc 2>/dev/null
cmp -s "$WORK/one" "$DIR/files$ONE" && fail "the byte did not change"
cli put "$WORK/one" "$ONE" || fail "put"
expect_exit 1 backup --verify "$DIR"
[ "$(grep '^differs: ' "$WORK/stdout")" = "differs: $ONE: contents differ" ] ||
    fail "verify: $(cat "$WORK/stdout")"
expect_one_error "the phone does not match the backup in $DIR"

# 4. A dry run onto an empty phone lists everything and writes nothing.
start_phone dry --root "$WORK/empty" --dump-state "$WORK/dry.state"
expect_exit 0 restore "$DIR" --dry-run
files=$(grep -c '^would upload ' "$WORK/stdout" || true)
[ "$files" -eq "$(lines_of "$WORK/second.state" file | wc -l)" ] || fail "dry run lists $files"
grep -qx 'would write seem 0032_0001.seem' "$WORK/stdout" || fail "dry run: $(tail "$WORK/stdout")"
stop_phone "$PHONE_PID"
[ -z "$(lines_of "$WORK/dry.state" file folder)" ] || fail "the dry run made files"
grep -qP '^count\t002F\t' "$WORK/dry.state" && fail "the dry run wrote a seem"

# 5. Restore onto an empty phone: seems only with --yes; then files, attributes and seems equal.
start_phone fresh --root "$WORK/empty" --dump-state "$WORK/fresh.state"
expect_exit 1 restore "$DIR"
grep -q 'seems not written: not confirmed' "$WORK/stdout" || fail "no refusal: $(cat "$WORK/stdout")"
cli restore "$DIR" --yes >"$WORK/out" || fail "restore --yes exited with $?"
grep -qx 'wrote seem 0032_0001.seem' "$WORK/out" || fail "restore: $(tail "$WORK/out")"
stop_phone "$PHONE_PID"
diff <(lines_of "$WORK/second.state" file) <(lines_of "$WORK/fresh.state" file) >&2 ||
    fail "the restored phone's files differ"
diff <(lines_of "$WORK/second.state" seem) <(lines_of "$WORK/fresh.state" seem) >&2 ||
    fail "the restored phone's seems differ"

# 6. The link drops in the middle of a backup: the manifest lists what was stored, not the
# file at hand, and every file it lists is whole.
DROP="$WORK/dropped"
start_phone drop --fault drop=2000
expect_exit 1 backup "$DROP"
[ "$(tail -n 1 "$WORK/stderr")" = "ERROR: the phone stopped answering" ] ||
    fail "drop: $(tail -n 3 "$WORK/stderr")"
interrupted=$(grep -m1 '^failed: ' "$WORK/stderr" | sed 's/^failed: \(.*\): download failed$/\1/')
[ -n "$interrupted" ] || fail "no failed file: $(cat "$WORK/stderr")"
grep -qF "\"path\": \"$interrupted\"" "$DROP/manifest.json" && fail "the interrupted file is listed"
[ -e "$DROP/files$interrupted" ] && fail "the interrupted file was stored"
listed=0
while read -r sum path; do
    [ "$(sha256sum <"$DROP/files$path" | cut -d' ' -f1)" = "$sum" ] || fail "damaged: $path"
    listed=$((listed + 1))
done < <(python3 -c '
import json, sys
for f in json.load(open(sys.argv[1]))["files"]:
    print(f["sha256"], f["path"])' "$DROP/manifest.json")
[ "$listed" -gt 0 ] || fail "nothing stored before the drop"
[ "$(find "$DROP/files" -type f | wc -l)" -eq "$listed" ] || fail "stray files after the drop"

# --discover backs up the seems the phone answers to a scan (the sample phone's four).
start_phone discover
expect_exit 0 backup "$WORK/discovered" --discover
for seem in 0004_0001 0032_0001 0104_0001 0117_0001; do
    [ -s "$WORK/discovered/seems/$seem.seem" ] || fail "--discover did not store $seem"
done

echo "cli_backup: all checks passed"
