#!/usr/bin/env bash
# Latency with the real programs on the screen of a virtual X server:
#  - an answer file written to the teacher's graph repainted;
#  - a command file written to the pupil's buttons changed.
# The screen is read straight from the server's frame buffer (Xvfb -fbdir),
# one pixel of a bar or a button, every 0.2 ms.
# Usage: latency.sh BUILD_DIR [RUNS]
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tests/system/xsession.sh
source "$here/../tests/system/xsession.sh"
build="$(cd "$1" && pwd)"
runs="${2:-100}"
session_folder
folder="$SESSION_DIR"
export XVFB_FBDIR="$folder"
start_xvfb
export QT_QPA_PLATFORM=xcb
fb="$folder/Xvfb_screen0"

press_in() { # window x y
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

session_start teacher.log "$build/teacher/Teacher"
login="$(wait_windows 'ﾛｸﾞｵﾝ')"
xdotool windowfocus --sync "$login"
xdotool key Return
teacher="$(wait_windows '^オンブラ集計 先生用プログラム$')"
wait_file Data/LVQ50.txt
sleep 0.3
eval "$(xdotool getwindowgeometry --shell "$teacher")"
top=$((HEIGHT - 694))
teacher_x=$X
teacher_y=$((Y + top))
# "１２３４５" (OptLVQ 5 in the control bar), then 再集計.
press_in "$teacher" $((336 + 30)) $((top + 612 + 24 + 13))
press_in "$teacher" $((712 + 49)) $((top + 612 + 50))
sleep 0.5

# A pupil at seat 2 sees five buttons.
session_start pupil.log "$build/student/ｱﾝｹｰﾄ"
signin="$(wait_windows '^オンブラ集計　ログオン$')"
xdotool windowfocus --sync "$signin"
xdotool type 2
xdotool key Return
panel="$(wait_windows '^オンブラ$')"
sleep 1
eval "$(xdotool getwindowgeometry --shell "$panel")"
panel_x=$X
panel_y=$Y

# Seat 1 answers 1 and takes it back: the first bar (left 32, base line 504)
# grows by 8 pixels and shrinks again.
answer_1="$(printf ' 1 \r\n' | od -An -tx1 | tr -d ' \n')"
answer_0="$(printf ' 0 \r\n' | od -An -tx1 | tr -d ' \n')"
echo "answer file to teacher's graph:"
python3 "$here/latency_probe.py" "$fb" $((teacher_x + 92)) $((teacher_y + 500)) \
    Data/LVQ1.txt "$answer_1" "$answer_0" "$runs"

# Seat 2's command file alternates between answering paused (no buttons) and
# five buttons open; the probe watches the lower part of the first button.
paused="$(printf ' 100 \r\nQ\r\n1\r\n2\r\n3\r\n4\r\n5\r\n 0 \r\n' | od -An -tx1 | tr -d ' \n')"
open="$(printf ' 5 \r\nQ\r\n1\r\n2\r\n3\r\n4\r\n5\r\n 0 \r\n' | od -An -tx1 | tr -d ' \n')"
echo "command file to pupil's buttons:"
python3 "$here/latency_probe.py" "$fb" $((panel_x + 50)) $((panel_y + 175)) \
    Data/LVQ2.ini "$paused" "$open" "$runs"
