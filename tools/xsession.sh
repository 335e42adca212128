# Shared by the scripts that drive the real programs under a virtual X
# server. Source it; it starts Xvfb on a free display and stops it on exit.
# With XVFB_FBDIR set, the server keeps its screen in a file there
# (Xvfb_screen0, XWD format) that other tools can read while it runs.
set -euo pipefail

start_xvfb() {
    local display tool
    for tool in Xvfb xdotool; do
        command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed" >&2; return 1; }
    done
    for display in $(seq 90 140); do
        [ -e "/tmp/.X$display-lock" ] && continue
        local fbdir=()
        [ -n "${XVFB_FBDIR:-}" ] && fbdir=(-fbdir "$XVFB_FBDIR")
        Xvfb ":$display" -screen 0 1600x1100x24 -nolisten tcp "${fbdir[@]}" >/dev/null 2>&1 &
        XVFB_PID=$!
        export DISPLAY=":$display"
        for _ in $(seq 50); do
            xdotool getmouselocation >/dev/null 2>&1 && return 0
            sleep 0.1
        done
        kill "$XVFB_PID" 2>/dev/null || true
    done
    echo "no virtual X server could be started" >&2
    return 1
}

stop_session() {
    local status=$?
    [ -n "${SESSION_PIDS:-}" ] && kill $SESSION_PIDS 2>/dev/null || true
    [ -n "${XVFB_PID:-}" ] && kill "$XVFB_PID" 2>/dev/null || true
    exit "$status"
}
trap stop_session EXIT

# Waits for a window whose title matches the regular expression and prints
# its ids, one a line, once there are at least COUNT of them.
wait_windows() {
    local pattern="$1" count="${2:-1}" ids
    for _ in $(seq 200); do
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
    for _ in $(seq 200); do
        [ -f "$1" ] && return 0
        sleep 0.1
    done
    echo "$1 was not written" >&2
    return 1
}
