# Shared by the scripts that drive the real Marrowdeck window on a virtual X display
# against marrowdeck-phonesim: the temporary world (a portable copy of the program, HOME and
# the XDG folders), the processes (Xvfb, the phone, the GUI) and the keys.
#
# The sourcing script sets SCRIPT_NAME and BIN_DIR (and, to drive windows, WINDOW_TIMEOUT
# and MAIN_TITLE), sets WORK (a temporary folder) and builds on the functions below.
# KEEP_WORK=1 keeps the temporary folder (the program's and the phone's output).

die() {
    echo "$SCRIPT_NAME: $*" >&2
    exit 1
}

install_missing() {
    local missing=() sudo=()
    command -v Xvfb >/dev/null || missing+=(xvfb)
    command -v xdotool >/dev/null || missing+=(xdotool)
    command -v import >/dev/null && command -v convert >/dev/null || missing+=(imagemagick)
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
}

WORK=''
PIDS=()

cleanup() {
    local i
    # The GUI first, then the phone, then the display.
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do kill "${PIDS[i]}" 2>/dev/null || true; done
    for ((i = ${#PIDS[@]} - 1; i >= 0; i--)); do wait "${PIDS[i]}" 2>/dev/null || true; done
    if [ -n "$WORK" ] && [ "${KEEP_WORK:-0}" != 1 ]; then rm -rf "$WORK"; fi
    [ -n "$WORK" ] && [ "${KEEP_WORK:-0}" = 1 ] && echo "kept $WORK"
    return 0
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# wait_until COMMAND...: true once the command succeeds, false after 5 seconds without.
wait_until() {
    local _
    for _ in $(seq 50); do
        "$@" && return 0
        sleep 0.1
    done
    return 1
}

start_display() {
    exec 3>"$WORK/display"
    Xvfb -displayfd 3 -screen 0 1280x900x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
    PIDS+=($!)
    exec 3>&-
    wait_until test -s "$WORK/display" || die "Xvfb did not start (see its output: $(cat "$WORK/xvfb.log"))"
    DISPLAY=":$(head -n1 "$WORK/display")"
    export DISPLAY
}

# start_phone ROOT [phonesim options...]: the phone's contents from ROOT (ROOT/a is /a),
# over a unix socket; PHONE_LINK names it for the programs.
start_phone() {
    local root=$1 socket=$WORK/phone.sock
    shift
    "$BIN_DIR/marrowdeck-phonesim" --listen "unix:$socket" --root "$root" "$@" \
        >"$WORK/phonesim.log" 2>&1 &
    PHONE_PID=$!
    PIDS+=("$PHONE_PID")
    wait_until test -S "$socket" || die "marrowdeck-phonesim did not start: $(cat "$WORK/phonesim.log")"
    PHONE_LINK="unix:$socket"
}

start_gui() {
    (
        cd "$HOME"
        exec env MARROWDECK_LINK="$PHONE_LINK" "$WORK/program/marrowdeck"
    ) >"$WORK/gui.log" 2>&1 &
    GUI_PID=$!
    PIDS+=("$GUI_PID")
}

# A portable copy of the program: "Messages.lng" beside it keeps every file in its folder.
make_program_folder() {
    local program=$WORK/program
    mkdir -p "$program/Temp"
    cp "$BIN_DIR/marrowdeck" "$BIN_DIR/Messages.lng" "$program/"
    cp "$BIN_DIR"/*.lst "$BIN_DIR"/*.csv "$program/"
    [ -d "$BIN_DIR/Templates" ] && cp -r "$BIN_DIR/Templates" "$program/"
}

make_home() {
    export HOME=$WORK/home
    mkdir -p "$HOME/Music" "$HOME/Pictures" "$HOME/Ringtones"
    head -c 94210 /dev/urandom >"$HOME/Pictures/beach.jpg"
    head -c 2417 /dev/urandom >"$HOME/Ringtones/alert.mid"
    printf 'Phone backup list\n' >"$HOME/notes.txt"
    export XDG_CONFIG_HOME=$WORK/config XDG_STATE_HOME=$WORK/state
    export XDG_CACHE_HOME=$WORK/cache XDG_DATA_HOME=$WORK/data
    export XDG_RUNTIME_DIR=$WORK/runtime
    mkdir -p "$XDG_CONFIG_HOME" "$XDG_STATE_HOME" "$XDG_CACHE_HOME" "$XDG_DATA_HOME"
    mkdir -m 700 "$XDG_RUNTIME_DIR"
}

gui_alive() {
    kill -0 "$GUI_PID" 2>/dev/null || die "Marrowdeck ended early: $(tail -n5 "$WORK/gui.log")"
}

# Prints the id of the visible window whose title matches the pattern, waiting for it.
wait_window() {
    local pattern=$1 id
    id=$(timeout "$WINDOW_TIMEOUT" xdotool search --sync --onlyvisible --name "$pattern" \
        2>/dev/null | head -n1) || true
    gui_alive
    [ -n "$id" ] || die "no window titled '$pattern' appeared within ${WINDOW_TIMEOUT}s"
    echo "$id"
}

window_gone() {
    local pattern=$1 _
    for _ in $(seq 50); do
        xdotool search --onlyvisible --name "$pattern" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    die "the window titled '$pattern' did not close"
}

# Without a window manager a closed popup leaves no window focused: give it back.
focus() {
    xdotool windowfocus --sync "$1" 2>/dev/null || true
    sleep 0.2
}

keys() {
    local key
    for key in "$@"; do
        xdotool key "$key"
        sleep 0.25
    done
}

# The first start has no settings: the program says so and loads its defaults.
answer_first_start() {
    local _
    for _ in $(seq $((WINDOW_TIMEOUT * 10))); do
        gui_alive
        xdotool search --onlyvisible --name "$MAIN_TITLE" >/dev/null 2>&1 && return 0
        local warning
        if warning=$(xdotool search --onlyvisible --name '^Warning$' 2>/dev/null | head -n1); then
            focus "$warning"
            keys Return
        fi
        sleep 0.1
    done
}

# Opens a location list (alt+F1 left, alt+F2 right) and picks an entry with the keys given.
pick_location() {
    local combo_key=$1
    shift
    focus "$MAIN"
    keys "$combo_key" "$@" Return
    sleep 1.5  # the listing comes from the phone
    focus "$MAIN"
}
