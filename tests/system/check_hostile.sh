#!/usr/bin/env bash
# A lesson with the real programs under a virtual X server while a neighbour
# on the share puts pipes, sockets and links at seat file names: the teacher
# and two pupils (seats 5 and 6) must stay responsive, keep counting, and
# write nothing outside the classroom's own files. Usage: check_hostile.sh BUILD_DIR
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tests/system/xsession.sh
source "$here/xsession.sh"
build="$(cd "$1" && pwd)"
session_folder
# A file of the user's own, outside the classroom folder (Data's parent).
mkdir classroom outside
outside="$SESSION_DIR/outside"
printf 'my own file\n' >"$outside/own.txt"
cd classroom
start_xvfb
export QT_QPA_PLATFORM=xcb
fail() {
    echo "hostile: $*"
    ls -l Data | head -n 20
    exit 1
}
# Each is made beside the name and renamed over it, so that the name is never
# missing: the teacher's program writes a seat again that shows it nothing.
socket_at() {
    rm -f "$1.new"
    python3 -c 'import socket, sys; socket.socket(socket.AF_UNIX).bind(sys.argv[1])' "$1.new"
    mv -fT "$1.new" "$1"
}
pipe_at() {
    rm -f "$1.new"
    mkfifo "$1.new"
    mv -fT "$1.new" "$1"
}
link_at() {
    rm -f "$2.new"
    ln -s "$1" "$2.new"
    mv -fT "$2.new" "$2"
}
regular() { [ -f "$1" ] && [ ! -L "$1" ]; }
outside_untouched() {
    [ "$(cat "$outside/own.txt")" = "my own file" ] || fail "$1: the file outside was written"
    [ "$(ls -A "$outside")" = "own.txt" ] || fail "$1: a file appeared outside: $(ls -A "$outside")"
}

session_start ../teacher.log "$build/teacher/Teacher"
teacher_pid=$!
login="$(wait_windows 'ﾛｸﾞｵﾝ')"
xdotool windowfocus --sync "$login"
xdotool key Return
teacher="$(wait_windows '^オンブラ集計 先生用プログラム$')"
wait_file Data/LVQ50.txt

# Two pupils, the second window moved off the first so that clicks reach it.
start_pupil() {
    session_start "../pupil$1.log" "$build/student/ｱﾝｹｰﾄ"
    local signin
    signin="$(wait_windows '^オンブラ集計　ログオン$')"
    xdotool windowfocus --sync "$signin"
    xdotool type "$1"
    xdotool key Return
}
start_pupil 5
pupil5_pid=$!
panel5="$(wait_windows '^オンブラ$')"
start_pupil 6
pupil6_pid=$!
panel6="$(wait_windows '^オンブラ$' 2 | grep -v -x -F "$panel5" | head -n 1)"
xdotool windowmove --sync "$panel6" 0 560

# Before a publication: links to a file outside and to another seat's file,
# pipes and sockets at both kinds of seat file.
link_at "$outside/own.txt" Data/LVQ9.ini
link_at "$outside/own.txt" Data/LVQ9.txt
link_at "$outside/new.txt" Data/LVQ13.txt
link_at LVQ5.ini Data/LVQ10.txt
link_at LVQ6.txt Data/LVQ10.ini
pipe_at Data/LVQ11.ini
socket_at Data/LVQ12.ini
pipe_at Data/LVQ7.txt

# 再集計 with the answer set ○× the window opens with: a publication, then
# the answer poll every 500 ms.
eval "$(xdotool getwindowgeometry --shell "$teacher")"
top=$((HEIGHT - 694))
xdotool mousemove --window "$teacher" $((712 + 49)) $((top + 612 + 50)) click 1
for _ in $(seq 50); do head -c 5 Data/LVQ50.ini | grep -q '^ 2 ' && break; sleep 0.1; done
head -c 5 Data/LVQ5.ini | grep -q '^ 2 ' || fail "再集計 did not publish mode 2 to seat 5"
[ "$(wc -l <Data/LVQ5.ini)" -eq 8 ] || fail "seat 5's command file was written through a link"
[ "$(cat Data/LVQ6.txt)" = "$(printf ' 0 \r\n')" ] || fail "seat 6's answer file was written through a link"
for file in Data/LVQ7.txt Data/LVQ9.ini Data/LVQ9.txt Data/LVQ10.ini Data/LVQ10.txt \
    Data/LVQ11.ini Data/LVQ12.ini Data/LVQ13.txt; do
    regular "$file" || fail "$file was not made a regular file by the publication"
done
outside_untouched "publication"
sleep 1.2 # the pupils' next poll shows the buttons

# During answering: a pipe and a socket at answer files the teacher polls, a
# pipe at pupil 6's command file, a link at pupil 5's answer file.
pipe_at Data/LVQ7.txt
socket_at Data/LVQ8.txt
pipe_at Data/LVQ6.ini
link_at "$outside/own.txt" Data/LVQ5.txt
sleep 1.2 # teacher's ticks and pupils' polls meet them

# Both pupils still take clicks: seat 5 the first answer, seat 6 the second
# (buttons at left 8 and 290, top 112, 244 x 70 in mode 2).
xdotool mousemove --window "$panel5" 100 140 click 1
xdotool mousemove --window "$panel6" 400 140 click 1
for _ in $(seq 30); do regular Data/LVQ6.txt && grep -q '^ 2 ' Data/LVQ6.txt && break; sleep 0.1; done
regular Data/LVQ5.txt || fail "pupil 5 wrote through the link at its answer file"
[ "$(cat Data/LVQ5.txt)" = "$(printf ' 1 \r\n')" ] || fail "seat 5's answer file holds '$(cat Data/LVQ5.txt)'"
[ "$(cat Data/LVQ6.txt)" = "$(printf ' 2 \r\n')" ] || fail "pupil 6 did not answer: '$(cat Data/LVQ6.txt)'"
outside_untouched "answers"
sleep 1.2 # the teacher's next tick counts them

# 終了(&X): the teacher's window still takes keys.
xdotool windowfocus --sync "$teacher"
xdotool key alt+f x
for _ in $(seq 50); do kill -0 "$teacher_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$teacher_pid" 2>/dev/null && fail "the teacher's program did not end"
for seat in 5 6; do
    eval "pid=\$pupil${seat}_pid"
    for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
    kill -0 "$pid" 2>/dev/null && fail "pupil $seat's program did not end on mode 0"
    wait "$pid" || fail "pupil $seat's program ended with status $?"
done
regular Kiroku.csv || fail "no record"
line5="$(iconv -f CP932 -t UTF-8 Kiroku.csv | sed -n '6p')"
line6="$(iconv -f CP932 -t UTF-8 Kiroku.csv | sed -n '7p')"
[ "$line5" = "$(printf ' 5 番 , 1 \r')" ] || fail "seat 5's record line is '$line5'"
[ "$line6" = "$(printf ' 6 番 , 2 \r')" ] || fail "seat 6's record line is '$line6'"
outside_untouched "closing"
echo "hostile: pipes, sockets and links at seat files; both pupils answered, the teacher counted and closed; nothing outside changed"
