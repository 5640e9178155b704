#!/usr/bin/env bash
# marrowdeck-cli mount: the phone as a folder through FUSE, used by ordinary programs (cp,
# rsync, mkdir, rm, mv, getfattr/setfattr), and what happens when the phone refuses, the
# volume is full or the link goes away. Needs root and /dev/fuse.
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

if [ "$(id -u)" -ne 0 ] || [ ! -c /dev/fuse ] || ! command -v fusermount3 >/dev/null ||
    ! command -v rsync >/dev/null || ! command -v getfattr >/dev/null; then
    echo "cli_mount: needs root, /dev/fuse, fusermount3, rsync and attr (getfattr)" >&2
    [ "${CI:-}" = true ] && fail "the mount test cannot run on this machine"
    echo "cli_mount: not run"
    exit 0
fi

export XDG_RUNTIME_DIR="$WORK/run"
mkdir -p "$XDG_RUNTIME_DIR"
MNT="$WORK/mnt"
MOUNT_PID=

end_mount_on_exit() {
    if [ -n "$MOUNT_PID" ]; then
        fusermount3 -u "$MNT" 2>/dev/null || true
        wait "$MOUNT_PID" 2>/dev/null || true
    fi
    cleanup
}
trap end_mount_on_exit EXIT

# mount_phone NAME [phonesim options...]: a phone started as NAME and mounted on $MNT;
# the mount's stderr goes to $WORK/NAME.mount.
mount_phone() {
    local name=$1
    shift
    start_phone "$name" "$@"
    for _ in $(seq 100); do
        grep -q '^ready$' "$WORK/$name.log" && break
        sleep 0.1
    done
    mkdir -p "$MNT"
    MOUNT_LOG="$WORK/$name.mount"
    cli mount "$MNT" "${MOUNT_OPTIONS[@]}" 2>"$MOUNT_LOG" &
    MOUNT_PID=$!
    wait_mounted "$name"
}
MOUNT_OPTIONS=()

# wait_mounted NAME: waits until $MNT is mounted by $MOUNT_PID; fails when the mount
# command ends first or the folder is not mounted within 10 s.
wait_mounted() {
    for _ in $(seq 100); do
        mountpoint -q "$MNT" && return 0
        kill -0 "$MOUNT_PID" 2>/dev/null || fail "mount $1 exited: $(cat "$MOUNT_LOG")"
        sleep 0.1
    done
    fail "mount $1 did not appear: $(cat "$MOUNT_LOG")"
}

# unmount: fusermount3 -u; the mount command ends with 0.
unmount() {
    fusermount3 -u "$MNT"
    local status=0
    wait "$MOUNT_PID" || status=$?
    MOUNT_PID=
    [ "$status" -eq 0 ] || fail "mount exited with $status after unmount: $(cat "$MOUNT_LOG")"
}

# mount_ends_with_error TEXT: the mount ended by itself with exit 1 and ERROR line matching
# TEXT (an extended regular expression), and the folder is no longer mounted.
mount_ends_with_error() {
    local status=0
    for _ in $(seq 100); do
        kill -0 "$MOUNT_PID" 2>/dev/null || break
        sleep 0.1
    done
    wait "$MOUNT_PID" || status=$?
    MOUNT_PID=
    [ "$status" -eq 1 ] || fail "mount exited with $status, expected 1: $(cat "$MOUNT_LOG")"
    grep -qE "^ERROR: $1" "$MOUNT_LOG" || fail "mount error: $(cat "$MOUNT_LOG")"
    ! mountpoint -q "$MNT" || fail "the folder is still mounted"
}

# phone_has FILE_LINE_REGEX STATE: the state dump holds a matching line.
phone_has() {
    grep -qP "$1" "$2" || fail "no line /$1/ in $(cat "$2")"
}

make_phone_root() {
    local root=$1
    mkdir -p "$root/a/mobile/audio" "$root/a/empty-not" "$root/b/pictures"
    head -c 300000 /dev/urandom >"$root/a/mobile/audio/song.mp3"
    head -c 1024 /dev/urandom >"$root/a/mobile/block.bin"
    printf 'hello\n' >"$root/a/mobile/hello.txt"
    printf 'x' >"$root/a/empty-not/one"
    head -c 5000 /dev/urandom >"$root/b/pictures/cat.jpg"
    : >"$root/b/zero.bin"
}

# rsync -a of the mounted phone matches the phone byte for byte; listings, statfs and the
# seem folder.
check_copy_out() {
    make_phone_root "$WORK/out"
    # More names than one kernel listing buffer holds: the listing resumes where it stopped.
    mkdir -p "$WORK/out/b/many"
    (cd "$WORK/out/b/many" && for i in $(seq 1000 1699); do : >"entry_$i.txt"; done)
    mount_phone out --root "$WORK/out"
    ls -f "$MNT/b/many" | sort >"$WORK/many.mount"
    ls -f "$WORK/out/b/many" | sort >"$WORK/many.pc"
    diff "$WORK/many.pc" "$WORK/many.mount" >/dev/null ||
        fail "a long listing lost or repeated names: $(diff "$WORK/many.pc" "$WORK/many.mount" | head)"
    [ "$(ls -l "$MNT/b/many" | grep -c '^-rw')" = 700 ] || fail "ls -l of a long folder"
    [ "$(ls "$MNT")" = "$(printf 'a\nb\nseems')" ] || fail "root listing: $(ls "$MNT")"
    [ "$(ls -a "$MNT/a" | head -2 | tr '\n' ' ')" = ". .. " ] || fail "no dot entries: $(ls -a "$MNT/a")"
    rsync -a "$MNT/" "$WORK/out-pc/"
    diff -r "$WORK/out/a" "$WORK/out-pc/a" || fail "volume a differs after rsync"
    diff -r "$WORK/out/b" "$WORK/out-pc/b" || fail "volume b differs after rsync"
    [ -s "$WORK/out-pc/seems/0032_0001.seem" ] || fail "no seem file: $(ls "$WORK/out-pc/seems")"
    # A second rsync finds nothing to do: sizes and times are stable.
    rsync -a --itemize-changes "$MNT/" "$WORK/out-pc/" >"$WORK/rsync2"
    [ ! -s "$WORK/rsync2" ] || fail "a second rsync copied again: $(cat "$WORK/rsync2")"
    df --output=avail "$MNT" >/dev/null || fail "statfs failed"
    # The mount holds the phone: another client is told who has it.
    expect_exit 1 info
    grep -q "^ERROR: the phone is in use by process " "$WORK/stderr" ||
        fail "a second client while mounted: $(cat "$WORK/stderr")"
    unmount
    cli seem-get 0032 1 "$WORK/seem-direct"
    cmp "$WORK/seem-direct" "$WORK/out-pc/seems/0032_0001.seem" || fail "seem file differs"
}

# cp, mkdir -p, mv and rm -r within a volume; the phone holds what was written.
check_changes() {
    make_phone_root "$WORK/ch"
    mount_phone changes --root "$WORK/ch" --dump-state "$WORK/ch.state"
    head -c 70000 /dev/urandom >"$WORK/up.bin"
    mkdir -p "$MNT/a/new/deep/er"
    cp "$WORK/up.bin" "$MNT/a/new/deep/er/up.bin"
    cmp "$WORK/up.bin" "$MNT/a/new/deep/er/up.bin" || fail "the uploaded file reads back wrong"
    mv "$MNT/a/new/deep/er/up.bin" "$MNT/a/new/moved.bin"
    [ ! -e "$MNT/a/new/deep/er/up.bin" ] || fail "mv left the source"
    mv "$MNT/a/mobile/audio" "$MNT/a/new/audio"
    cmp "$WORK/ch/a/mobile/audio/song.mp3" "$MNT/a/new/audio/song.mp3" || fail "moved folder"
    rm -r "$MNT/a/new/deep"
    [ ! -e "$MNT/a/new/deep" ] || fail "rm -r left the folder"
    printf 'changed\n' >"$MNT/a/mobile/hello.txt"
    [ "$(cat "$MNT/a/mobile/hello.txt")" = changed ] || fail "overwrite reads back wrong"
    unmount
    stop_phone "$PHONE_PID"
    phone_has "^file\t07000400\t70000\t$(crc32_of "$WORK/up.bin")\t/a/new/moved.bin$" "$WORK/ch.state"
    phone_has "^file\t\w+\t300000\t$(crc32_of "$WORK/ch/a/mobile/audio/song.mp3")\t/a/new/audio/song.mp3$" "$WORK/ch.state"
    phone_has "^file\t\w+\t8\t\w+\t/a/mobile/hello.txt$" "$WORK/ch.state"
    ! grep -qE '/a/new/deep|/a/mobile/audio' "$WORK/ch.state" || fail "removed paths remain"
}

# The attribute word as an extended attribute; a seem record read and written back, and
# one of another length refused.
check_attributes_and_seems() {
    make_phone_root "$WORK/at"
    mount_phone attributes --root "$WORK/at" --dump-state "$WORK/at.state"
    local file="$MNT/a/mobile/hello.txt"
    [ "$(getfattr --absolute-names --only-values -n user.p2k.attributes "$file")" = 07000400 ] ||
        fail "attribute word: $(getfattr --absolute-names -n user.p2k.attributes "$file" 2>&1)"
    setfattr -n user.p2k.attributes -v 07002400 "$file"
    [ "$(getfattr --absolute-names --only-values -n user.p2k.attributes "$file")" = 07002400 ] ||
        fail "attribute word after the change"
    ! setfattr -n user.other -v 1 "$file" 2>/dev/null || fail "another attribute was taken"
    # Names the phone cannot hold are not supported (so ls -l stops asking after one file);
    # an absent user attribute is just absent.
    local name answer
    for name in security.selinux system.posix_acl_access trusted.x user.other; do
        answer=$(getfattr --absolute-names -n "$name" "$file" 2>&1 || true)
        case "$name:$answer" in
        user.*:*"No such attribute"*) ;;
        security.*:*"Operation not supported"* | system.*:*"Operation not supported"*) ;;
        trusted.*:*"Operation not supported"*) ;;
        *) fail "$name: $answer" ;;
        esac
    done
    cp "$MNT/seems/0032_0001.seem" "$WORK/seem"
    printf '\x5a' | dd of="$WORK/seem" bs=1 seek=0 conv=notrunc status=none
    cp "$WORK/seem" "$MNT/seems/0032_0001.seem"
    head -c 3 /dev/zero >"$WORK/short.seem"
    ! cp "$WORK/short.seem" "$MNT/seems/0032_0001.seem" 2>"$WORK/cp.err" || fail "short seem taken"
    grep -q "Invalid argument" "$WORK/cp.err" || fail "short seem: $(cat "$WORK/cp.err")"
    unmount
    cli seem-get 0032 1 "$WORK/seem-back"
    cmp "$WORK/seem" "$WORK/seem-back" || fail "the seem record was not written"
    stop_phone "$PHONE_PID"
    phone_has "^file\t07002400\t6\t\w+\t/a/mobile/hello.txt$" "$WORK/at.state"
}

# A write that does not fit fails at close with ENOSPC and leaves the old file; names the
# records cannot hold are refused; read-only mounts refuse writes.
check_refusals() {
    make_phone_root "$WORK/full"
    mount_phone full --root "$WORK/full" --free 20000 --stride 44 --dump-state "$WORK/full.state"
    head -c 50000 /dev/urandom >"$WORK/big.bin"
    ! cp "$WORK/big.bin" "$MNT/a/mobile/hello.txt" 2>"$WORK/cp.err" || fail "a full volume took it"
    grep -q "No space left on device" "$WORK/cp.err" || fail "full: $(cat "$WORK/cp.err")"
    [ "$(cat "$MNT/a/mobile/hello.txt")" = hello ] || fail "the old file changed"
    [ "$(stat -c %s "$MNT/a/mobile/hello.txt")" = 6 ] || fail "the old file's size changed"
    # 44-byte records hold 35 characters of path.
    ! touch "$MNT/a/abcdefghijklmnopqrstuvwxyz0123.bin" 2>"$WORK/touch.err" || fail "long name"
    grep -q "File name too long" "$WORK/touch.err" || fail "long: $(cat "$WORK/touch.err")"
    touch "$MNT/a/abcdefghijklmnopqrstuvwxyz01.bin" || fail "a name that fits was refused"
    ! touch "$MNT/a/bad$(printf '\x01')name" 2>/dev/null || fail "a control character was taken"
    unmount
    stop_phone "$PHONE_PID"
    phone_has "^file\t07000400\t6\t$(crc32_of "$WORK/full/a/mobile/hello.txt")\t/a/mobile/hello.txt$" "$WORK/full.state"
    phone_has "^file\t07000400\t0\t\w+\t/a/abcdefghijklmnopqrstuvwxyz01.bin$" "$WORK/full.state"
    MOUNT_OPTIONS=(-o ro)
    mount_phone readonly --root "$WORK/full"
    MOUNT_OPTIONS=()
    ! cp "$WORK/big.bin" "$MNT/a/x.bin" 2>"$WORK/cp.err" || fail "a read-only mount took a file"
    grep -q "Read-only file system" "$WORK/cp.err" || fail "ro: $(cat "$WORK/cp.err")"
    unmount
}

# Readers at once, and a reader that starts at the end.
check_readers() {
    make_phone_root "$WORK/rd"
    mount_phone readers --root "$WORK/rd" --latency 1
    local song="$MNT/a/mobile/audio/song.mp3"
    python3 - "$song" "$WORK/rd/a/mobile/audio/song.mp3" <<'PY' || fail "seek to the end first"
import sys
with open(sys.argv[1], "rb") as f, open(sys.argv[2], "rb") as o:
    want = o.read()
    f.seek(-128, 2)
    assert f.read() == want[-128:]
    f.seek(0)
    assert f.read() == want
PY
    cat "$song" >"$WORK/r1" &
    local first=$!
    cat "$MNT/b/pictures/cat.jpg" >"$WORK/r2"
    wait "$first"
    cmp "$WORK/r1" "$WORK/rd/a/mobile/audio/song.mp3" || fail "first reader"
    cmp "$WORK/r2" "$WORK/rd/b/pictures/cat.jpg" || fail "second reader"
    unmount
}

# The link goes away in the middle of a read and of a write: EIO, and the mount ends with
# exit 1 and the reason. A write the phone refuses part-way leaves nothing on the phone.
check_link_faults() {
    make_phone_root "$WORK/lf"
    mount_phone dropread --root "$WORK/lf" --fault drop=150
    ! cat "$MNT/a/mobile/audio/song.mp3" >/dev/null 2>"$WORK/cat.err" || fail "read over a drop"
    grep -q "Input/output error" "$WORK/cat.err" || fail "drop read: $(cat "$WORK/cat.err")"
    mount_ends_with_error "the phone stopped answering \(cannot read /a/mobile/audio/song.mp3: "
    head -c 300000 /dev/urandom >"$WORK/w.bin"
    mount_phone dropwrite --root "$WORK/lf" --fault drop=150
    ! cp "$WORK/w.bin" "$MNT/a/w.bin" 2>"$WORK/cp.err" || fail "write over a drop"
    grep -q "Input/output error" "$WORK/cp.err" || fail "drop write: $(cat "$WORK/cp.err")"
    mount_ends_with_error "the phone stopped answering \(upload failed: /a/w.bin: .*a partial file remains on the phone: /a/w.bin\)"
    # A refused read request: EIO; the mount goes on and the next open reads anew.
    mount_phone failread --root "$WORK/lf" --fault fail-read=2
    ! cat "$MNT/a/mobile/audio/song.mp3" >/dev/null 2>"$WORK/cat.err" || fail "refused read"
    grep -q "Input/output error" "$WORK/cat.err" || fail "refused read: $(cat "$WORK/cat.err")"
    cmp "$MNT/a/mobile/audio/song.mp3" "$WORK/lf/a/mobile/audio/song.mp3" || fail "read again"
    unmount
    # A phone that sends less than it listed: EIO, never a short copy taken for the file.
    mount_phone shortread --root "$WORK/lf" --fault short-read=5000
    ! cp "$MNT/a/mobile/audio/song.mp3" "$WORK/short.mp3" 2>"$WORK/cp.err" || fail "short file copied"
    grep -q "Input/output error" "$WORK/cp.err" || fail "short read: $(cat "$WORK/cp.err")"
    phone_has "cannot read /a/mobile/audio/song.mp3: the phone sent 5000 of the 300000 bytes it listed" "$MOUNT_LOG"
    cmp "$MNT/a/mobile/hello.txt" "$WORK/lf/a/mobile/hello.txt" || fail "a whole small file"
    unmount
    mount_phone failwrite --root "$WORK/lf" --fault fail-write=100 --dump-state "$WORK/fw.state"
    ! cp "$WORK/w.bin" "$MNT/a/mobile/hello.txt" 2>"$WORK/cp.err" || fail "refused write"
    grep -q "Input/output error" "$WORK/cp.err" || fail "refused write: $(cat "$WORK/cp.err")"
    [ ! -e "$MNT/a/mobile/hello.txt" ] || fail "the replaced file is still listed"
    unmount
    stop_phone "$PHONE_PID"
    ! grep -q "/a/mobile/hello.txt$" "$WORK/fw.state" || fail "a partial file was left"
}

# Ctrl+C ends the mount with exit 0 and unmounts. (A background job of a script starts
# with SIGINT ignored: the mount is started with it back at its default, as in a terminal.)
check_interrupt() {
    make_phone_root "$WORK/int"
    start_phone interrupt --root "$WORK/int"
    MOUNT_LOG="$WORK/interrupt.mount"
    python3 -c 'import os, signal, sys
signal.signal(signal.SIGINT, signal.SIG_DFL)
os.execv(sys.argv[1], sys.argv[1:])' "$BIN/marrowdeck-cli" --phone "unix:$PHONE_SOCKET" \
        mount "$MNT" 2>"$MOUNT_LOG" &
    MOUNT_PID=$!
    wait_mounted interrupt
    kill -INT "$MOUNT_PID"
    local status=0
    wait "$MOUNT_PID" || status=$?
    MOUNT_PID=
    [ "$status" -eq 0 ] || fail "mount exited with $status after SIGINT: $(cat "$MOUNT_LOG")"
    ! mountpoint -q "$MNT" || fail "still mounted after SIGINT"
}

# start_usblan_phone NAME [phonesim options...]: a Linux phone over USBLAN; USBLAN_PORT.
start_usblan_phone() {
    local log=$WORK/$1.log
    shift
    "$BIN/marrowdeck-phonesim" --usblan tcp:127.0.0.1:0 "$@" >"$log" 2>&1 &
    PHONE_PIDS+=("$!")
    USBLAN_PORT=
    for _ in $(seq 100); do
        USBLAN_PORT=$(sed -n 's/^usblan tcp:127\.0\.0\.1:\([0-9]*\)$/\1/p' "$log" 2>/dev/null)
        [ -n "$USBLAN_PORT" ] && grep -q '^ready$' "$log" && break
        sleep 0.1
    done
    [ -n "$USBLAN_PORT" ] || fail "phonesim printed no USBLAN port: $(cat "$log")"
}

# mount_usblan_phone NAME: the phone at USBLAN_PORT mounted on $MNT.
mount_usblan_phone() {
    MOUNT_LOG="$WORK/$1.mount"
    "$BIN/marrowdeck-cli" --phone "usblan:127.0.0.1:$USBLAN_PORT" mount "$MNT" 2>"$MOUNT_LOG" &
    MOUNT_PID=$!
    wait_mounted "$1"
}

# A Linux phone over USBLAN: its volumes, a hidden file (listed with a made-up size) that
# this phone does not hold, one it holds read to its end, one that never ends read up to
# its made-up size, a listed file read back, and attribute changes refused.
check_usblan() {
    start_usblan_phone usblan
    local port=$USBLAN_PORT
    head -c 5000 /dev/urandom >"$WORK/ul.bin"
    "$BIN/marrowdeck-cli" --phone "usblan:127.0.0.1:$port" put "$WORK/ul.bin" /ezxlocal/download/ul.bin
    mount_usblan_phone usblan
    local hidden="$MNT/ezxlocal/sysDatabase/phonebook.db"
    [ "$(stat -c %s "$hidden")" = 99999999 ] || fail "hidden file's listed size"
    ! cat "$hidden" >/dev/null 2>"$WORK/hidden.err" || fail "a file the phone lacks was read"
    grep -q "Input/output error" "$WORK/hidden.err" || fail "hidden: $(cat "$WORK/hidden.err")"
    cmp "$WORK/ul.bin" "$MNT/ezxlocal/download/ul.bin" || fail "USBLAN file read back wrong"
    ! setfattr -n user.p2k.attributes -v 07000500 "$MNT/ezxlocal/download/ul.bin" \
        2>"$WORK/attr.err" || fail "an attribute change over USBLAN was taken"
    grep -q "Operation not supported" "$WORK/attr.err" || fail "usblan attr: $(cat "$WORK/attr.err")"
    unmount
    # A file the search leaves out, known from the hidden-files list, is read to its end.
    head -c 3000 /dev/urandom >"$WORK/calendar.db"
    "$BIN/marrowdeck-cli" --phone "usblan:127.0.0.1:$port" put "$WORK/calendar.db" \
        /ezxlocal/sysDatabase/calendar.db
    mount_usblan_phone usblan-hidden
    cmp "$WORK/calendar.db" "$MNT/ezxlocal/sysDatabase/calendar.db" || fail "hidden file read"
    unmount
    # A phone whose reads never end: a hidden file is read up to its made-up size, no more.
    start_usblan_phone endless --fault endless-read
    "$BIN/marrowdeck-cli" --phone "usblan:127.0.0.1:$USBLAN_PORT" put "$WORK/calendar.db" \
        /ezxlocal/sysDatabase/calendar.db
    mount_usblan_phone endless
    local got
    got=$(timeout 120 cat "$MNT/ezxlocal/sysDatabase/calendar.db" | wc -c)
    [ "$got" = 99999999 ] || fail "an endless hidden file gave $got bytes"
    unmount
}

check_copy_out
check_usblan
check_changes
check_attributes_and_seems
check_refusals
check_readers
check_link_faults
check_interrupt
echo "cli_mount: all checks passed"
