#!/usr/bin/env bash
# A short lesson with the real programs under a virtual X server: the teacher
# starts answering with 再集計, a pupil signs in as 5 and clicks the first
# answer; the teacher's program is killed and started again, which keeps the
# unfinished record; answering starts again and the teacher closes. Checks the
# exchange files, that the pupil's program ends by itself, and the records. Usage: check_lesson.sh BUILD_DIR
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tools/xsession.sh
source "$here/xsession.sh"
build="$(cd "$1" && pwd)"
session_folder
start_xvfb
export QT_QPA_PLATFORM=xcb
fail() {
    echo "lesson: $*"
    exit 1
}

start_teacher() {
    session_start teacher.log "$build/teacher/Teacher"
    teacher_pid=$!
    local login
    login="$(wait_windows 'ﾛｸﾞｵﾝ')"
    xdotool windowfocus --sync "$login"
    xdotool key Return
}

# 再集計 with the answer set ○× the window opens with.
press_restart() {
    eval "$(xdotool getwindowgeometry --shell "$teacher")"
    top=$((HEIGHT - 694))
    xdotool mousemove --window "$teacher" $((712 + 49)) $((top + 612 + 50)) click 1
    sleep 0.2
    head -c 5 Data/LVQ5.ini | grep -q '^ 2 ' || fail "再集計 did not publish mode 2"
    sleep 1.2 # the pupil's next poll shows the buttons
}

# The pupil clicks the first answer button (left 8, top 112, 244 x 70 in mode 2).
pupil_clicks() {
    xdotool windowraise "$panel"
    sleep 0.2
    xdotool mousemove --window "$panel" 100 140 click 1
    sleep 0.3
    [ "$(cat Data/LVQ5.txt)" = "$(printf ' 1 \r\n')" ] || fail "the answer file holds '$(cat Data/LVQ5.txt)'"
    [ "$(wc -l <Data/LVQ5.ini)" -eq 2 ] || fail "the one-answer lock was not written"
    sleep 1.2 # the teacher's next tick counts it
}

seat5_line() { iconv -f CP932 -t UTF-8 "$1" | sed -n '6p'; }

start_teacher
teacher="$(wait_windows '^オンブラ集計 先生用プログラム$')"
wait_file Data/LVQ50.txt

session_start pupil.log "$build/student/ｱﾝｹｰﾄ"
pupil_pid=$!
signin="$(wait_windows '^オンブラ集計　ログオン$')"
xdotool windowfocus --sync "$signin"
xdotool type 5
xdotool key Return
panel="$(wait_windows '^オンブラ$')"

press_restart
pupil_clicks

# The teacher's PC goes off in the middle of the lesson: the running copy of
# the record has the answer, and the next start keeps it and says where.
[ "$(seat5_line Kiroku-running.csv)" = "$(printf ' 5 番 , 1 \r')" ] ||
    fail "the running copy's seat 5 line is '$(seat5_line Kiroku-running.csv)'"
kill -9 "$teacher_pid"
wait "$teacher_pid" 2>/dev/null || true
start_teacher
# The message comes before the main window, under the program's title.
box="$(wait_windows '^オンブラ集計 先生用プログラム$')"
xdotool windowfocus --sync "$box"
xdotool key Return
for _ in $(seq 100); do
    teacher="$(xdotool search --onlyvisible --name '^オンブラ集計 先生用プログラム$' 2>/dev/null | grep -v "^$box\$" | head -n 1 || true)"
    [ -n "$teacher" ] && break
    sleep 0.1
done
[ -n "$teacher" ] || fail "the main window did not appear after the message"
[ -e Kiroku-running.csv ] && fail "the running copy was not moved aside"
kept="$(ls Kiroku-2*.csv 2>/dev/null | head -n 1)"
[ -n "$kept" ] || fail "the unfinished record was not kept"
[ "$(seat5_line "$kept")" = "$(printf ' 5 番 , 1 \r')" ] || fail "$kept's seat 5 line is '$(seat5_line "$kept")'"

# The lesson goes on: the restarted program's start took the pupil's buttons
# away; 再集計 gives them back.
press_restart
pupil_clicks

# 終了(&X): the last item of ﾌｧｲﾙ(&F).
xdotool windowfocus --sync "$teacher"
xdotool key alt+f x
for _ in $(seq 50); do kill -0 "$teacher_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$teacher_pid" 2>/dev/null && fail "the teacher's program did not end"
head -c 5 Data/LVQ5.ini | grep -q '^ 0 ' || fail "closing did not publish mode 0"
for _ in $(seq 50); do kill -0 "$pupil_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$pupil_pid" 2>/dev/null && fail "the pupil's program did not end on mode 0"
wait "$pupil_pid" || fail "the pupil's program ended with status $?"
grep -a -q "^ 5 " Kiroku.csv || fail "no record"
[ "$(seat5_line Kiroku.csv)" = "$(printf ' 5 番 , 1 \r')" ] || fail "seat 5's record line is '$(seat5_line Kiroku.csv)'"
[ -e Kiroku-running.csv ] && fail "the running copy is still there after closing"
echo "lesson: answer published, given, locked, counted, kept through a crash, recorded; both programs ended"
