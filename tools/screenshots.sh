#!/usr/bin/env bash
# Takes the README's screenshots from the real programs under a virtual X
# server: the teacher's window with a live graph, its 回答状況 window, a
# pupil's panel, the graph with its correct answer shown, a page of the
# lesson's PDF summary, and the tablet gateway.
# Usage: screenshots.sh BUILD_DIR OUTPUT_DIR
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tests/system/xsession.sh
source "$here/../tests/system/xsession.sh"
build="$(cd "$1" && pwd)"
mkdir -p "$2"
out="$(cd "$2" && pwd)"
session_folder
folder="$SESSION_DIR"
start_xvfb
export QT_QPA_PLATFORM=xcb

press_in() { # window x y: clicks at a point of the window's client area
    xdotool mousemove --window "$1" "$2" "$3" click 1
}

session_start teacher.log "$build/teacher/Teacher"
login="$(wait_windows 'ﾛｸﾞｵﾝ')"
xdotool windowfocus --sync "$login"
xdotool key Return
teacher="$(wait_windows '^オンブラ集計 先生用プログラム$')"
wait_file Data/LVQ50.txt

# Open the sample questionnaire through the file chooser: ﾌｧｲﾙ(F), its first
# item ファイルを開く, then a double click on the first file of the list.
"$build/tools/sample_questionnaire" "$folder/お試しアンケート.txt"
xdotool windowfocus --sync "$teacher"
xdotool key alt+f Return
chooser="$(wait_windows '^オンブラ$')"
press_in "$chooser" 260 48
press_in "$chooser" 260 48
sleep 0.1
press_in "$chooser" 260 48
xdotool click 1
wait_windows '^アンケートの文章編集$' >/dev/null
xdotool windowraise "$teacher"
sleep 0.3

# つぎへ in the control bar, the bottom 82 pixels of the 694-pixel client
# area under the menu bar.
eval "$(xdotool getwindowgeometry --shell "$teacher")"
top=$((HEIGHT - 694))
press_next() { press_in "$teacher" $((166 + 75)) $((top + 612 + 50)); }
# Seats 1 to 27 answer: 1 up to seat $1, 2 up to seat $2, 3 after that.
answer_seats() {
    local seat answer
    for seat in $(seq 1 27); do
        answer=1
        [ "$seat" -gt "$1" ] && answer=2
        [ "$seat" -gt "$2" ] && answer=3
        printf ' %s \r\n' "$answer" >"Data/LVQ$seat.txt"
    done
}
press_next
wait_file Data/LVQ50.ini
sleep 0.5

# Twenty-seven pupils answer: 14 はい, 9 いいえ, 4 どちらでもない.
answer_seats 14 23
sleep 1.5
import -window "$teacher" "$out/teacher.png"

# 表示 → 回答状況 by its shortcut: seats 1 to 27 have answered.
xdotool windowfocus --sync "$teacher"
xdotool key ctrl+j
status="$(wait_windows '^回答状況$')"
sleep 0.5
import -window "$status" "$out/answer-status.png"

# A pupil signs in as 28 and sees the question.
session_start pupil.log "$build/student/ｱﾝｹｰﾄ"
signin="$(wait_windows '^オンブラ集計　ログオン$')"
xdotool windowfocus --sync "$signin"
xdotool type 28
xdotool key Return
panel="$(wait_windows '^オンブラ$')"
sleep 1.2
import -window "$panel" "$out/student.png"

# The third question has a correct answer: つぎへ twice, answers from the
# pupils, then 表示 → 正解を表示 by its shortcut.
xdotool windowfocus --sync "$teacher"
press_next
sleep 0.3
press_next
sleep 0.5
answer_seats 18 24
sleep 1.5
xdotool key ctrl+k
xdotool windowraise "$teacher"
sleep 0.5
import -window "$teacher" "$out/teacher-correct.png"

# ﾌｧｲﾙ(F) > 授業のまとめをPDFで保存... (the fifth item): Enter takes the
# proposed name; its second page, with the marked question, as a picture.
xdotool key alt+f Down Down Down Down Return
wait_windows '^授業のまとめをPDFで保存$' >/dev/null
sleep 0.5
xdotool key Return
report="$folder/授業のまとめ_$(date +%Y-%m-%d).pdf"
for _ in $(seq 1 50); do [ -s "$report" ] && break; sleep 0.1; done
sleep 0.5
pdftoppm -png -r 60 -f 2 -l 2 -singlefile "$report" "$out/lesson-report"

# The gateway's window from ﾌｧｲﾙ(F) > タブレットから回答... (the sixth item),
# and the pupil's page in a phone-sized headless Chromium through it.
xdotool windowfocus --sync "$teacher"
xdotool key alt+f Down Down Down Down Down Return
tablet="$(wait_windows '^タブレットから回答$')"
sleep 0.5
import -window "$tablet" "$out/gateway.png"
written="$out/teacher.png, $out/answer-status.png, $out/student.png, $out/teacher-correct.png,"
written="$written $out/lesson-report.png and $out/gateway.png"
if /usr/bin/python3 "$here/screenshot_page.py" "$build" "$folder" "$out/gateway-phone.png"; then
    written="$written and $out/gateway-phone.png"
fi
echo "wrote $written"
