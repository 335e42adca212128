# The controls of the real programs' windows, for the scripts that drive a
# lesson under a virtual X server, on Linux (check_lesson.sh, check_share.sh)
# and under wine (check_lesson_windows.sh). Source xsession.sh first, then
# this; the teacher's main window is $teacher.
title='^オンブラ集計 先生用プログラム$'

# Waits until a command succeeds, up to WAIT_TENTHS tenths of a second
# (five seconds unless set) however long the command takes.
wait_for() {
    local now="${EPOCHREALTIME/./}"
    local end=$((now + ${WAIT_TENTHS:-50} * 100000))
    while :; do
        "$@" && return 0
        [ "${EPOCHREALTIME/./}" -lt "$end" ] || return 1
        sleep 0.1
    done
}

# The first window with the program's title that is not the main window
# $1: a message box of the program.
other_box() {
    local id
    for _ in $(seq 100); do
        id="$(xdotool search --onlyvisible --name "$title" 2>/dev/null | grep -v "^$1\$" | head -n 1 || true)"
        [ -n "$id" ] && { echo "$id"; return 0; }
        sleep 0.1
    done
    return 1
}

# The teacher's main window has a client area of 1016 x 694 under its menu
# bar; its control bar is the bottom 82 pixels, from y 612. The point of a
# control in that client area:
teacher_point() {
    case "$1" in
    restart) echo $((712 + 49)) $((612 + 50)) ;;   # 再集計
    pause) echo $((816 + 45)) $((612 + 50)) ;;     # 集計中断
    next) echo $((166 + 75)) $((612 + 50)) ;;      # つぎへ
    back) echo $((8 + 75)) $((612 + 50)) ;;        # もどる
    clear) echo $((912 + 49)) $((612 + 50)) ;;     # 表示の消去
    answer-set-3) echo $((142 + 43)) $((612 + 37)) ;; # OptLVQ(3) １２３
    answer-set-0) echo $((354 + 68)) $((612 + 65)) ;; # OptLVQ(0) アンケート終了
    esac
}

# A control of the teacher's window, named as teacher_point names it. The X
# window holds the menu bar above the client area.
press_teacher() {
    local point
    read -r -a point <<<"$(teacher_point "$1")"
    xdotool windowraise "$teacher"
    eval "$(xdotool getwindowgeometry --shell "$teacher")"
    xdotool mousemove --window "$teacher" "${point[0]}" $((HEIGHT - 694 + point[1])) click 1
    sleep 0.3
}
press_restart() { press_teacher restart; }
press_pause() { press_teacher pause; }
press_next() { press_teacher next; }
press_back() { press_teacher back; }
press_clear() { press_teacher clear; }
press_answer_set() { press_teacher "answer-set-$1"; }

# The point of answer button $1 (0 based) in a pupil's panel showing a layout
# of $2 buttons: the panel's client area is 571 x 191, the buttons are 70
# high from y 112, at the left edges of modes 2 and 3.
answer_point() {
    local lefts
    case "$2" in
    2) lefts=(8 290) ;;
    3) lefts=(8 198 388) ;;
    esac
    echo $((lefts[$1] + 60)) 140
}

# Clicks answer button $2 (0 based) of pupil's panel $1 showing a layout of
# $3 buttons.
click_answer() {
    local point
    read -r -a point <<<"$(answer_point "$2" "$3")"
    xdotool windowraise "$1"
    sleep 0.2
    xdotool mousemove --window "$1" "${point[0]}" "${point[1]}" click 1
}

# Answers a program's start-up confirmation (ﾛｸﾞｵﾝ) in window $1 with OK.
confirm_start() {
    xdotool windowfocus --sync "$1"
    xdotool key Return
}

# Signs seat $2 in at the pupil's sign-in window $1.
sign_in() {
    xdotool windowfocus --sync "$1"
    xdotool type "$2"
    xdotool key Return
}

# True when seat $1's answer file holds answer $2.
answer_file_is() {
    [ "$(cat "Data/LVQ$1.txt" 2>/dev/null)" = "$(printf ' %d \r\n' "$2")" ]
}

# Line $2 of the code page 932 file $1, without its CR.
line() { iconv -f CP932 -t UTF-8 "$1" | sed -n "$2p" | tr -d '\r'; }
