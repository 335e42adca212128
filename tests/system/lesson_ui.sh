# The controls of the real programs' windows, for the scripts that drive a
# lesson under a virtual X server. Source xsession.sh first, then this; the
# teacher's main window is $teacher.
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

# A control of the teacher's control bar, at a point given within the bar
# (the bottom 82 pixels of the 694-pixel client area under the menu bar).
press_teacher() {
    xdotool windowraise "$teacher"
    eval "$(xdotool getwindowgeometry --shell "$teacher")"
    xdotool mousemove --window "$teacher" "$1" $((HEIGHT - 694 + 612 + $2)) click 1
    sleep 0.3
}
press_restart() { press_teacher $((712 + 49)) 50; }  # 再集計
press_pause() { press_teacher $((816 + 45)) 50; }    # 集計中断
press_next() { press_teacher $((166 + 75)) 50; }     # つぎへ
press_back() { press_teacher $((8 + 75)) 50; }       # もどる
press_clear() { press_teacher $((912 + 49)) 50; }    # 表示の消去
press_answer_set() {                                  # OptLVQ(3) １２３, OptLVQ(0) アンケート終了
    case "$1" in
    3) press_teacher $((142 + 43)) 37 ;;
    0) press_teacher $((354 + 68)) 65 ;;
    esac
}

# Clicks answer button $2 (0 based) of pupil's panel $1 showing a layout of
# $3 buttons (top 112, height 70; left edges of modes 2 and 3).
click_answer() {
    local lefts
    case "$3" in
    2) lefts=(8 290) ;;
    3) lefts=(8 198 388) ;;
    esac
    xdotool windowraise "$1"
    sleep 0.2
    xdotool mousemove --window "$1" $((lefts[$2] + 60)) 140 click 1
}

# Line $2 of the code page 932 file $1, without its CR.
line() { iconv -f CP932 -t UTF-8 "$1" | sed -n "$2p" | tr -d '\r'; }
