#!/usr/bin/env bash
# marrowdeck-cli run against marrowdeck-phonesim: a skin pack uploaded from its CR LF package
# with Windows names, a seem bit changed and saved, a 1,500,000-byte file downloaded whole,
# shell lines only with --allow-shell and run in the package folder, and the exit codes of
# failed, refused and skipped lines.
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

PACK="$WORK/pack"

# package NAME LINES...: writes $PACK/NAME.mrdk with CR LF line ends.
package() {
    local name=$1
    shift
    printf '%s\r\n' "$@" >"$PACK/$name.mrdk"
}

# phone_file PHONE_PATH PC_FILE: the phone's file equals the PC file.
phone_file() {
    cli get "$1" "$WORK/check.bin" || fail "get $1"
    cmp "$WORK/check.bin" "$2" || fail "$1 differs from $2"
}

check_skin_pack() {
    mkdir -p "$PACK/Night"
    head -c 5000 /dev/urandom >"$PACK/Night/wallpaper.jpg"
    head -c 1500 /dev/urandom >"$PACK/skin.bmp"
    package night "Night skin for the V3" \
        'cp skin.bmp' 'to /a/mobile/skins/Night/skin.bmp' \
        'cp Night\wallpaper.jpg' 'to \a\mobile\skins\Night\wallpaper.jpg' \
        'to /a/mobile/skins/Night/twice.jpg' \
        'md /a/mobile/skins/Night/extra' \
        'CP skin.bmp' 'ss 0032 0003 000A 3' 'ds 0032 0003'
    cli seem-get 0032 0003 "$WORK/before.seem" || fail "seem-get before the run"
    (cd "$WORK" && cli run pack/night.mrdk) || fail "run of the skin pack: $?"
    phone_file /a/mobile/skins/Night/skin.bmp "$PACK/skin.bmp"
    phone_file /a/mobile/skins/Night/wallpaper.jpg "$PACK/Night/wallpaper.jpg"
    ls_row /a/mobile/skins/Night/ twice.jpg
    [ -z "$ROW" ] || fail "a second to line uploaded again"
    ls_row /a/mobile/skins/Night/ extra
    [ -n "$ROW" ] || fail "md made no folder"
    # The saved record differs from the one before the run in byte 10 (cmp counts from 1)
    # only, and there by bit 3 (0x08) set.
    [ -s "$PACK/0032_0003.seem" ] || fail "ds saved nothing in the package folder"
    [ "$(stat -c %s "$PACK/0032_0003.seem")" -eq 100 ] || fail "the saved seem is not whole"
    local diff
    diff=$(cmp -l "$WORK/before.seem" "$PACK/0032_0003.seem" || true)
    read -r position old new <<<"$diff"
    [ "$(wc -l <<<"$diff")" -eq 1 ] && [ "$position" -eq 11 ] &&
        [ $((8#$new)) -eq $((8#$old | 8)) ] || fail "ss did not set only bit 3 of byte 10: $diff"
}

check_big_download() {
    head -c 1500000 /dev/urandom >"$WORK/big.bin"
    cli put "$WORK/big.bin" /a/mobile/big.bin || fail "put of the big file"
    package down 'df /a/mobile/big.bin'
    cli run "$PACK/down.mrdk" || fail "run of df"
    cmp "$WORK/big.bin" "$PACK/big.bin" || fail "df did not bring the whole file"
}

check_shell_lines() {
    package shell '## pwd > where.tmp && mv where.tmp where.txt' 'md /a/mobile/after_shell'
    expect_exit 1 run "$PACK/shell.mrdk"
    grep -q '^failed: ## pwd' "$WORK/stderr" || fail "the refused shell line is not named"
    [ ! -e "$PACK/where.txt" ] || fail "a shell line ran without --allow-shell"
    ls_row /a/mobile/ after_shell
    [ -n "$ROW" ] || fail "the line after a refused one did not run"

    (cd / && cli run "$PACK/shell.mrdk" --allow-shell) || fail "run --allow-shell"
    for _ in $(seq 100); do
        [ -e "$PACK/where.txt" ] && break
        sleep 0.1
    done
    [ "$(cat "$PACK/where.txt")" = "$(cd "$PACK" && pwd -P)" ] ||
        fail "the shell line did not run in the package folder"
}

check_exit_codes() {
    echo 'private' >"$WORK/private.txt"
    package skipped 'Only a description' 'to /a/mobile/nothing.bin' $'cp\tskin.bmp' 'TO /a/x'
    expect_exit 0 run "$PACK/skipped.mrdk"

    package failing 'rm /a/mobile/no_such_file' 'cp ..\private.txt' 'to /a/mobile/private.txt' \
        'ss 0032 0001 000A 3' 'ds 32 1' 'md /a/mobile/after_failures'
    expect_exit 1 run "$PACK/failing.mrdk"
    [ "$(grep -c '^failed: ' "$WORK/stderr")" -eq 4 ] ||
        fail "expected four failed lines: $(cat "$WORK/stderr")"
    grep -q '^ERROR: 4 of 5 command line(s) failed$' "$WORK/stderr" || fail "no summary line"
    ls_row /a/mobile/ private.txt
    [ -z "$ROW" ] || fail "a file outside the package folder reached the phone"
    ls_row /a/mobile/ after_failures
    [ -n "$ROW" ] || fail "the run stopped at a failed line"

    expect_exit 1 run "$PACK/absent.mrdk"
    expect_one_error "cannot read the package $PACK/absent.mrdk"
    expect_exit 2 run "$PACK/skipped.mrdk" --yes
    expect_usage_text "unknown option --yes"
    local got=0
    "$BIN/marrowdeck-cli" --phone "unix:$WORK/none.sock" run "$PACK/skipped.mrdk" \
        2>/dev/null || got=$?
    [ "$got" -eq 1 ] || fail "a run without a phone exited with $got"
}

mkdir -p "$PACK"
start_phone batch
check_skin_pack
check_big_download
check_shell_lines
check_exit_codes
echo "cli_batch: ok"
