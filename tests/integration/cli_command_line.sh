#!/usr/bin/env bash
# marrowdeck-cli's command line: options before or after the operands, "--" ending them,
# the tool's options after the command, backup's own --verify, COMMAND --help, --version,
# usage errors (one ERROR line, then that command's usage, exit 2), and the bash
# completion written from the command table.
set -euo pipefail
# shellcheck source=tests/integration/cli_common.bash
source "$(dirname "$0")/cli_common.bash"

# usage_case TEXT USAGE ARGS...: marrowdeck-cli ARGS exits 2 with "ERROR: TEXT" and the
# usage line USAGE (the command's, or the tool's).
usage_case() {
    local text=$1 usage=$2
    shift 2
    local got=0
    "$BIN/marrowdeck-cli" "$@" >"$WORK/stdout" 2>"$WORK/stderr" || got=$?
    [ "$got" -eq 2 ] || fail "marrowdeck-cli $* exited with $got, expected 2"
    expect_usage_text "$text"
    sed -n 2p "$WORK/stderr" | grep -qF "usage: marrowdeck-cli $usage" ||
        fail "marrowdeck-cli $*: usage is $(sed -n 2p "$WORK/stderr")"
}

check_usage_errors() {
    local tool="[OPTIONS] COMMAND [ARGS]"
    usage_case "no command given" "$tool"
    usage_case "unknown command frob" "$tool" frob
    usage_case "unknown command frob" "$tool" frob --help
    usage_case "unknown option --bogus" "$tool" --bogus
    usage_case "unknown option --bogus" "[OPTIONS] info" --bogus info
    usage_case "unknown option --yes" "[OPTIONS] run [--allow-shell] FILE" run pack.mrdk --yes
    usage_case "missing FILE for run" "[OPTIONS] run" run --allow-shell
    usage_case "missing PHONE_FOLDER for ls" "[OPTIONS] ls PHONE_FOLDER" ls
    usage_case "extra operand /b/ for ls" "[OPTIONS] ls PHONE_FOLDER" ls /a/ /b/
    usage_case "extra operand c for get" "[OPTIONS] get" get a b c
    usage_case "missing DIR for backup" "[OPTIONS] backup" backup --verify
    usage_case "missing value for --phone" "[OPTIONS] info" info --phone
    usage_case "missing value for --write" "[OPTIONS] seem-discover" seem-discover --write
    usage_case "--allow-shell takes no value" "[OPTIONS] run" run pack.mrdk --allow-shell=no
    usage_case "--log takes no value" "$tool" --log=0 info
    usage_case "unknown shell fish for --completion (want bash or zsh)" "$tool" --completion fish
    # A command's name among the operands is an operand.
    usage_case "extra operand info for ls" "[OPTIONS] ls" ls /a/ info
}

check_help_and_version() {
    local name
    "$BIN/marrowdeck-cli" --version >"$WORK/stdout" || fail "--version exited with $?"
    [ "$(cat "$WORK/stdout")" = "marrowdeck-cli $VERSION" ] || fail "--version: $(cat "$WORK/stdout")"
    "$BIN/marrowdeck-cli" --help >"$WORK/help" || fail "--help exited with $?"
    local names
    names=$(awk '/^commands:/ { on = 1; next } on && /^  [a-z]/ { print $1 }' "$WORK/help")
    if ! grep -qx seem-bit <<<"$names" || ! grep -qx restore <<<"$names"; then
        fail "--help lists the commands $names"
    fi
    for name in $names; do
        for form in "$name --help" "$name -h" "--help $name" "$name a b c d e f --help"; do
            # shellcheck disable=SC2086  # the form is split into words on purpose
            "$BIN/marrowdeck-cli" $form >"$WORK/stdout" 2>"$WORK/stderr" ||
                fail "$form exited with $?"
            head -1 "$WORK/stdout" | grep -q "^usage: marrowdeck-cli \[OPTIONS\] $name\b" ||
                fail "$form: $(head -1 "$WORK/stdout")"
            [ ! -s "$WORK/stderr" ] || fail "$form wrote to stderr"
        done
    done
    grep -q -- '--allow-shell  *run its shell lines' <("$BIN/marrowdeck-cli" run --help) ||
        fail "run --help lists no --allow-shell"
}

package() {
    local name=$1
    shift
    printf '%s\r\n' "$@" >"$WORK/$name.mrdk"
}

# Options before or after the operands, and the tool's options after the command.
check_option_places() {
    start_phone places
    package shell '## echo ran >> shell.log'
    local form
    for form in before after; do
        rm -f "$WORK/shell.log"
        if [ $form = before ]; then
            "$BIN/marrowdeck-cli" run --allow-shell "$WORK/shell.mrdk" --phone "unix:$PHONE_SOCKET" ||
                fail "run --allow-shell PACKAGE exited with $?"
        else
            "$BIN/marrowdeck-cli" --phone="unix:$PHONE_SOCKET" run "$WORK/shell.mrdk" --allow-shell ||
                fail "run PACKAGE --allow-shell exited with $?"
        fi
        # The shell line runs on its own: wait for it.
        for _ in $(seq 100); do
            [ -s "$WORK/shell.log" ] && break
            sleep 0.1
        done
        [ "$(cat "$WORK/shell.log" 2>/dev/null)" = ran ] ||
            fail "--allow-shell $form the package: no shell line ran"
    done
}

# "--" ends the options: a PC file named like an option goes up as it is named.
check_end_of_options() {
    mkdir -p "$WORK/dash"
    printf 'dashes' >"$WORK/dash/--verify"
    (cd "$WORK/dash" && cli put -- --verify /a/mobile/dash.txt) || fail "put -- --verify exited with $?"
    cli get /a/mobile/dash.txt "$WORK/dash.back" || fail "get of the dashed upload"
    [ "$(cat "$WORK/dash.back")" = dashes ] || fail "put -- did not take --verify as the PC file"
    expect_exit 2 ls -- /a/ --log
    expect_usage_text "extra operand --log for ls"
    # The command itself may follow "--".
    cli -- ls /a/mobile/ >"$WORK/stdout" || fail "-- ls exited with $?"
    grep -q '^dash.txt ' "$WORK/stdout" || fail "-- ls listed $(cat "$WORK/stdout")"
}

# backup --verify checks a backup; the tool's --verify before the command checks transfers
# and leaves backup making a backup.
check_two_verifies() {
    expect_exit 1 backup "$WORK/no-backup" --verify
    grep -q '^ERROR: ' "$WORK/stderr" || fail "backup --verify of a missing folder: $(cat "$WORK/stderr")"
    [ ! -e "$WORK/no-backup" ] || fail "backup --verify made a backup"
}

# complete WORDS...: the bash completion's answers for the command line WORDS, the last
# word being completed, one per line in $WORK/completed.
complete_words() {
    COMP_WORDS=(marrowdeck-cli "$@")
    COMP_CWORD=$#
    COMPREPLY=()
    _marrowdeck_cli marrowdeck-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
    printf '%s\n' "${COMPREPLY[@]}" | sort >"$WORK/completed"
}

# expect_completion "WANT..." WORDS...: the answers are exactly WANT (space-separated).
expect_completion() {
    local want
    want=$(tr ' ' '\n' <<<"$1" | sed '/^$/d' | sort)
    shift
    complete_words "$@"
    [ "$(sed '/^$/d' "$WORK/completed")" = "$want" ] ||
        fail "completion of '$*': got '$(tr '\n' ' ' <"$WORK/completed")', want '$want'"
}

check_bash_completion() {
    "$BIN/marrowdeck-cli" --completion bash >"$WORK/completion.bash" || fail "--completion bash"
    bash -n "$WORK/completion.bash" || fail "the bash completion does not parse"
    # shellcheck source=/dev/null
    source "$WORK/completion.bash"
    mkdir -p "$WORK/pc/photos"
    touch "$WORK/pc/photo.jpg"
    cd "$WORK/pc"
    expect_completion "seem-bit seem-diff seem-discover seem-functions seem-get seem-put" seem-
    expect_completion "seem-bit seem-diff seem-discover seem-functions seem-get seem-put" --log seem-
    expect_completion "restart restore rm rmdir run" --phone sim r
    expect_completion "--phone" --ph
    expect_completion "--allow-shell" run x.mrdk --all
    expect_completion "--files --force-model" restore --f
    expect_completion "--dry-run" restore DIR --d
    expect_completion "sim" --phone s
    expect_completion "bash" --completion b
    expect_completion "photo.jpg photos" put ph
    expect_completion "" put photo.jpg /a/
    expect_completion "photo.jpg photos" get /a/x.jpg ph
    expect_completion "photos" backup ph
    expect_completion "photo.jpg photos" seem-discover --write ph
    expect_completion "toggle" seem-bit 0032 0001 0A 3 t
    expect_completion "" seem-bit 0032 0001 0A t
    expect_completion "photo.jpg photos" put -- ph
    cd "$WORK"
}

check_zsh_completion() {
    "$BIN/marrowdeck-cli" --completion zsh >"$WORK/_marrowdeck-cli" || fail "--completion zsh"
    head -1 "$WORK/_marrowdeck-cli" | grep -qx '#compdef marrowdeck-cli' || fail "zsh: no #compdef line"
    grep -qF "'--allow-shell[run its shell lines (##) too]'" "$WORK/_marrowdeck-cli" ||
        fail "zsh: run's option missing"
    grep -qF "'1:PC_PATH:_files'" "$WORK/_marrowdeck-cli" || fail "zsh: PC paths do not complete as files"
    if command -v zsh >/dev/null; then
        zsh -n "$WORK/_marrowdeck-cli" || fail "the zsh completion does not parse"
    fi
}

VERSION=$(sed -n 's/^project(Marrowdeck VERSION \([0-9.]*\).*/\1/p' "$(dirname "$0")/../../CMakeLists.txt")
check_usage_errors
check_help_and_version
check_option_places
check_end_of_options
check_two_verifies
check_bash_completion
check_zsh_completion
echo "cli command line: ok"
