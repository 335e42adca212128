#!/usr/bin/env bash
# Pupils in headless Chromium and the real teacher's program under a virtual
# X server, which serves the pages from its own window タブレットから回答:
# the pages open the address of the QR code read off the screen, the teacher
# starts answering with 再集計 (one answer only, as the window opens), a pupil
# signs in, answers and is locked; a second tablet asks for the seat and the
# teacher approves in the gateway's window; the teacher closes, the page
# shows the end and the record has the answer.
# Usage: check_browser_teacher.sh BUILD_DIR
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tests/system/xsession.sh
source "$here/xsession.sh"
build="$(cd "$1" && pwd)"
session_folder
/usr/bin/python3 -c 'import selenium' 2>/dev/null || { echo "Selenium is missing; skipped"; exit 77; }
command -v zbarimg >/dev/null 2>&1 || { echo "zbarimg is missing; skipped"; exit 77; }
# The teacher's gateway on a free port, through its per-user setting.
# Below the range the system hands out for outgoing connections (32768 and
# up), so that the other tests' connections cannot take it before the
# teacher opens the window.
port="$(/usr/bin/python3 -c '
import random, socket
for _ in range(100):
    port = random.randint(20000, 32000)
    with socket.socket() as s:
        try:
            s.bind(("0.0.0.0", port))
        except OSError:
            continue
    print(port)
    break')"
export XDG_CONFIG_HOME="$SESSION_DIR/config"
mkdir -p "$XDG_CONFIG_HOME"
printf '[Gateway]\nPort=%s\n' "$port" >"$XDG_CONFIG_HOME/OmbraTeacher.conf"
export XVFB_FBDIR="$SESSION_DIR/screen"
mkdir -p "$XVFB_FBDIR"
start_xvfb
export QT_QPA_PLATFORM=xcb

session_start teacher.log "$build/teacher/Teacher"
teacher_pid=$!
login="$(wait_windows 'ﾛｸﾞｵﾝ')"
xdotool windowfocus --sync "$login"
xdotool key Return
teacher="$(wait_windows '^オンブラ集計 先生用プログラム$')"
wait_file Data/LVQ50.txt
# ﾌｧｲﾙ(&F), then タブレットから回答..., the item before the exit item.
xdotool windowfocus --sync "$teacher"
xdotool key alt+f Up Up Return
gateway="$(wait_windows '^タブレットから回答$')"
status=0
/usr/bin/python3 "$here/check_browser.py" "$build" --teacher "$teacher" "$teacher_pid" \
    "$gateway" "$XVFB_FBDIR" "$port" || status=$?
exit "$status"
