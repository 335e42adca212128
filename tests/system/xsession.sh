# Shared by every script that drives the real programs under a virtual X
# server. Source it, then:
#   session_folder          make the run's own folder and cd into it; the
#                           programs' logs go there (*.log)
#   start_xvfb              start Xvfb on a display it chooses itself
#   session_start LOG CMD…  start a program in a process group of its own,
#                           its output appended to LOG; its id is in $! and
#                           in SESSION_PIDS
# At exit every program in SESSION_PIDS is ended by its process group and
# waited for, then the command in SESSION_AFTER runs (set it to stop what
# the programs used, such as a mounted share), then the X server ends; the
# folder is removed after a success and kept
# after a failure, with its path and the end of each log printed.
# With XVFB_FBDIR set, the server keeps its screen in a file there
# (Xvfb_screen0, XWD format) that other tools can read while it runs.
set -euo pipefail

SESSION_PIDS="${SESSION_PIDS:-}"
SESSION_AFTER="${SESSION_AFTER:-}"
SESSION_DIR=""
XVFB_PID=""

session_folder() {
    SESSION_DIR="$(mktemp -d "${TMPDIR:-/tmp}/ombra-$(basename "$0" .sh)-XXXXXX")"
    cd "$SESSION_DIR"
}

start_xvfb() {
    local tool
    for tool in Xvfb xdotool; do
        command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed" >&2; return 1; }
    done
    local fbdir=() number log
    [ -n "${XVFB_FBDIR:-}" ] && fbdir=(-fbdir "$XVFB_FBDIR")
    number="$(mktemp)"
    log="${SESSION_DIR:-${TMPDIR:-/tmp}}/xvfb.log"
    # With -displayfd the server takes the first display whose lock file it
    # can create (an atomic step, so two servers never share one, nor does a
    # new one take the number of a server that is still going away) and
    # writes the number once it accepts connections. -noreset: by default
    # the server resets when its last client leaves (the readiness check
    # below is the first), and a program connecting during the reset finds
    # no display.
    Xvfb -displayfd 3 -screen 0 1600x1100x24 -nolisten tcp -noreset "${fbdir[@]}" 3>"$number" >"$log" 2>&1 &
    XVFB_PID=$!
    local display=""
    for _ in $(seq 200); do
        display="$(head -n 1 "$number" 2>/dev/null || true)"
        [[ "$display" =~ ^[0-9]+$ ]] && break
        kill -0 "$XVFB_PID" 2>/dev/null || break
        display=""
        sleep 0.05
    done
    rm -f "$number"
    if [ -z "$display" ]; then
        echo "no virtual X server could be started:" >&2
        tail -n 20 "$log" >&2 || true
        return 1
    fi
    export DISPLAY=":$display"
    xdotool getmouselocation >/dev/null 2>&1 || { echo "the X server on $DISPLAY does not answer" >&2; return 1; }
}

session_start() {
    local log="$1"
    shift
    # setsid makes the program the leader of a group of its own (a program
    # started in the background of a script is not one, so setsid runs it
    # without forking and $! is the program's own id); whatever it starts
    # stays in that group and is ended with it.
    setsid "$@" >>"$log" 2>&1 &
    SESSION_PIDS="$SESSION_PIDS $!"
}

# Ends the given processes, each with the group it leads, and waits until
# they are gone: first asked to end, killed after five seconds.
end_processes() {
    local pid
    for pid in "$@"; do
        kill -TERM -- "-$pid" 2>/dev/null || kill -TERM "$pid" 2>/dev/null || true
    done
    for pid in "$@"; do
        for _ in $(seq 50); do
            kill -0 -- "-$pid" 2>/dev/null || kill -0 "$pid" 2>/dev/null || break
            sleep 0.1
        done
        kill -KILL -- "-$pid" 2>/dev/null || kill -KILL "$pid" 2>/dev/null || true
        wait "$pid" 2>/dev/null || true
    done
}

stop_session() {
    local status=$?
    set +e
    # shellcheck disable=SC2086
    [ -n "${SESSION_PIDS// /}" ] && end_processes $SESSION_PIDS
    [ -n "$SESSION_AFTER" ] && $SESSION_AFTER
    if [ -n "$XVFB_PID" ]; then
        kill "$XVFB_PID" 2>/dev/null
        wait "$XVFB_PID" 2>/dev/null
    fi
    if [ -n "$SESSION_DIR" ]; then
        cd /
        # 77 tells CTest the test was skipped.
        if [ "$status" -eq 0 ] || [ "$status" -eq 77 ]; then
            # Not into a file system mounted below it that is still there.
            rm -rf --one-file-system "$SESSION_DIR"
        else
            echo "$(basename "$0") failed (status $status); its folder is kept: $SESSION_DIR"
            local log
            for log in "$SESSION_DIR"/*.log; do
                [ -s "$log" ] || continue
                echo "--- end of $log"
                tail -n 30 "$log"
            done
        fi
    fi
    exit "$status"
}
trap stop_session EXIT

# Waits for a window whose title matches the regular expression and prints
# its ids, one a line, once there are at least COUNT of them.
wait_windows() {
    local pattern="$1" count="${2:-1}" ids
    for _ in $(seq 400); do
        ids="$(xdotool search --onlyvisible --name "$pattern" 2>/dev/null || true)"
        if [ -n "$ids" ] && [ "$(printf '%s\n' "$ids" | wc -l)" -ge "$count" ]; then
            printf '%s\n' "$ids"
            return 0
        fi
        sleep 0.1
    done
    echo "window '$pattern' (x$count) did not appear" >&2
    return 1
}

wait_file() {
    for _ in $(seq 400); do
        [ -f "$1" ] && return 0
        sleep 0.1
    done
    echo "$1 was not written" >&2
    return 1
}
