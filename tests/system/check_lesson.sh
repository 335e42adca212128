#!/usr/bin/env bash
# Lessons with the real programs under a virtual X server, along every path
# on which a pupil's answer once got lost: the record must hold every answer
# given, seat by seat, and Kekka.csv must agree with it.
#  - a second Teacher started in the folder says so and ends, writing nothing;
#  - ad hoc: 再集計 with ○×, pupil 5 answers; the pupil's program is started
#    again (its answer stays); 集計中断 and 再集計 ask again (it stays);
#    １２３ with 再集計 is a new question; アンケート終了 with 再集計 ends the
#    pupil's program and leaves that question as it was;
#  - the teacher's program is killed and started again, which keeps the
#    unfinished record and takes the folder over;
#  - a questionnaire: 再集計 right after opening asks its first question;
#    つぎへ asks it again (the answer stays); もどる, then an answer, which
#    reaches the running copy at once and which つぎへ keeps; 表示の消去 and
#    再集計 ask a blank question, a column of its own that leaves the
#    question's texts alone; an answer given just before the close is kept;
#  - the close keeps the earlier lesson's Kiroku.csv under its time; opening
#    and closing the program with nothing collected writes nothing.
# Usage: check_lesson.sh BUILD_DIR
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tests/system/xsession.sh
source "$here/xsession.sh"
# shellcheck source=tests/system/lesson_ui.sh
source "$here/lesson_ui.sh"
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
    confirm_start "$login"
}
start_pupil() {
    session_start pupil.log "$build/student/ｱﾝｹｰﾄ"
    pupil_pid=$!
    local signin
    signin="$(wait_windows '^オンブラ集計　ログオン$')"
    sign_in "$signin" 5
    panel="$(wait_windows '^オンブラ$')"
}
# The pupil clicks answer button $1 (0 based) of a layout with $2 buttons
# and the file says $3.
pupil_clicks() {
    sleep 1.2 # the pupil's poll shows the buttons
    click_answer "$panel" "$1" "$2"
    wait_for grep -q "^ $3 " Data/LVQ5.txt || fail "the answer file holds '$(cat Data/LVQ5.txt)', not $3"
}
seat5_is() { [ "$(line "$1" 6)" = " 5 番 $2" ]; }
wait_seat5() {
    wait_for seat5_is "$1" "$2" || fail "$1: seat 5's line is '$(line "$1" 6)', not ' 5 番 $2'"
}

# An earlier lesson's record, and a questionnaire of four questions (もどる
# keeps つぎへ only before the last one).
printf 'an earlier lesson\r\n' >Kiroku.csv
touch -d '2024-04-08 08:30' Kiroku.csv
printf '好きな色は？\r\n赤\r\n青\r\n\r\n好きな動物は？\r\n犬\r\n猫\r\n鳥\r\n\r\n三問目\r\nA\r\nB\r\n\r\n四問目\r\nA\r\nB\r\n' |
    iconv -f UTF-8 -t CP932 >q.txt

start_teacher
teacher="$(wait_windows "$title")"
wait_file Data/LVQ50.txt

# A second teacher's program in the same folder says which PC holds it and
# ends before it writes anything.
before="$(cat Data/* | md5sum)"
session_start teacher.log "$build/teacher/Teacher"
second=$!
login="$(wait_windows 'ﾛｸﾞｵﾝ')"
confirm_start "$login"
box="$(other_box "$teacher")" || fail "the second program told nothing"
xdotool windowfocus --sync "$box"
xdotool key Return
status=0
wait "$second" || status=$?
[ "$status" -eq 1 ] || fail "the second program ended with status $status"
[ "$(cat Data/* | md5sum)" = "$before" ] || fail "the second program wrote into Data"
[ -e Teacher.lock ] || fail "the second program took the first one's lock away"

start_pupil
# Ad hoc: ○× with 再集計, answered 1. The pupil's program, started again,
# does not empty the answer.
press_restart
head -c 5 Data/LVQ5.ini | grep -q '^ 2 ' || fail "再集計 did not publish mode 2"
pupil_clicks 0 2 1
[ "$(wc -l <Data/LVQ5.ini)" -eq 2 ] || fail "the one-answer lock was not written"
kill -9 "$pupil_pid"
wait "$pupil_pid" 2>/dev/null || true
start_pupil
grep -q '^ 1 ' Data/LVQ5.txt || fail "signing in again emptied the answer: '$(cat Data/LVQ5.txt)'"
wait_seat5 Kiroku-running.csv ', 1 '
# 集計中断 and 再集計 ask it again; the pupil does not answer again.
press_pause
press_restart
sleep 1.2
wait_seat5 Kiroku-running.csv ', 1 '
# １２３ with 再集計, no 表示の消去: a new question, answered 2.
press_answer_set 3
press_restart
head -c 5 Data/LVQ5.ini | grep -q '^ 3 ' || fail "１２３ did not publish mode 3"
pupil_clicks 1 3 2
wait_seat5 Kiroku-running.csv ', 1 , 2 '
# アンケート終了 with 再集計 ends the pupil's program; the question before
# keeps its answers and its labels.
press_answer_set 0
press_restart
wait_for bash -c "! kill -0 $pupil_pid 2>/dev/null" || fail "the pupil's program did not end on mode 0"
seat5_is Kiroku-running.csv ', 1 , 2 ' || fail "mode 0 changed the record: '$(line Kiroku-running.csv 6)'"
[ "$(line Kiroku-running.csv 1)" = "出席番号, 1 , 1 " ] || fail "the record's header is '$(line Kiroku-running.csv 1)'"
[ "$(line Kekka-running.csv 3)" = " 1 ,,１,２,３,,,0,1,0,0,0,1,," ] || fail "the results' second line is '$(line Kekka-running.csv 3)'"

# The teacher's PC goes off: the next start keeps the unfinished record,
# says where, and takes the folder over from the program that is gone.
kill -9 "$teacher_pid"
wait "$teacher_pid" 2>/dev/null || true
start_teacher
box="$(wait_windows "$title")"
xdotool windowfocus --sync "$box"
xdotool key Return
teacher="$(other_box "$box")" || fail "the main window did not appear after the message"
[ -e Kiroku-running.csv ] && fail "the running copy was not moved aside"
kept="$(ls Kiroku-2*.csv | grep -v 2024-04-08 | head -n 1)"
[ -n "$kept" ] || fail "the unfinished record was not kept"
seat5_is "$kept" ', 1 , 2 ' || fail "$kept's seat 5 line is '$(line "$kept" 6)'"

# A questionnaire: 再集計 right after opening it asks its first question.
xdotool windowfocus --sync "$teacher"
xdotool key alt+f Return
chooser="$(wait_windows '^オンブラ$')"
xdotool mousemove --window "$chooser" 260 48 click 1
sleep 0.1
xdotool mousemove --window "$chooser" 260 48 click --repeat 2 1
wait_windows '^アンケートの文章編集$' >/dev/null
press_restart
iconv -f CP932 -t UTF-8 Data/LVQ5.ini | grep -q '^好きな色は？' || fail "再集計 after opening did not ask the first question"
start_pupil
pupil_clicks 0 2 1
wait_seat5 Kiroku-running.csv ', 1 '
# つぎへ asks the same question again (the cursor stayed): the answer stays.
press_next
sleep 1.2
wait_seat5 Kiroku-running.csv ', 1 '
# The second question, もどる before the pupil answers it, then the answer:
# the next つぎへ, which asks that question again, keeps it.
press_next
press_back
pupil_clicks 2 3 3
wait_seat5 Kiroku-running.csv ', 1 , 3 '
press_next
wait_seat5 Kiroku-running.csv ', 1 , 3 '
# An answer given just before the close is kept.
pupil_clicks 0 3 1
# 表示の消去 and 再集計: the seats get the question's buttons with no text, a
# question of its own under the same number.
press_clear
press_restart
pupil_clicks 1 3 2
xdotool windowfocus --sync "$teacher"
xdotool key alt+f x
wait_for bash -c "! kill -0 $teacher_pid 2>/dev/null" || fail "the teacher's program did not end"
head -c 5 Data/LVQ5.ini | grep -q '^ 0 ' || fail "closing did not publish mode 0"
wait_for bash -c "! kill -0 $pupil_pid 2>/dev/null" || fail "the pupil's program did not end on mode 0"
wait "$pupil_pid" || fail "the pupil's program ended with status $?"
[ "$(line Kiroku.csv 1)" = "出席番号, 1 , 2 , 2 " ] || fail "the record's header is '$(line Kiroku.csv 1)'"
seat5_is Kiroku.csv ', 1 , 1 , 2 ' || fail "seat 5's record line is '$(line Kiroku.csv 6)'"
[ "$(line Kekka.csv 3)" = " 2 ,好きな動物は？,犬,猫,鳥,,,1,0,0,0,0,1,," ] || fail "the results' second line is '$(line Kekka.csv 3)'"
[ "$(line Kekka.csv 4)" = " 2 ,,,,,,,0,1,0,0,0,1,," ] || fail "the results' third line is '$(line Kekka.csv 4)'"
[ -e Kiroku-running.csv ] && fail "the running copy is still there after closing"
[ -e Teacher.lock ] && fail "the lock is still there after closing"
[ "$(cat Kiroku-2024-04-08-0830.csv)" = "$(printf 'an earlier lesson\r')" ] || fail "the earlier lesson's record was not kept"
# Kekka.csv counts what Kiroku.csv holds, seats 1 to 50, in both lessons.
for pair in "Kiroku.csv Kekka.csv" "$kept ${kept/Kiroku/Kekka}"; do
    # shellcheck disable=SC2086
    python3 "$here/check_record.py" $pair || fail "$pair disagree"
done

# Opening and closing the program with nothing collected writes no record.
before="$(md5sum Kiroku.csv Kekka.csv)"
start_teacher
teacher="$(wait_windows "$title")"
xdotool windowfocus --sync "$teacher"
xdotool key alt+f x
wait_for bash -c "! kill -0 $teacher_pid 2>/dev/null" || fail "the teacher's program did not end"
[ "$(md5sum Kiroku.csv Kekka.csv)" = "$before" ] || fail "a lesson without answers replaced the record"
echo "lesson: every answer given is in the record and Kekka.csv agrees, through asking again, a second teacher, a restarted pupil, a crash, もどる and the close"
