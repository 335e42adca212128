#!/usr/bin/env bash
# A lesson with the shipped Windows programs under wine on a virtual X server,
# as a classroom runs it: the zip unpacked into a shared folder with Japanese
# folder names, each program started in that folder (its working directory),
# the teacher and two pupils each in a process of its own. The pupils sign in
# as 5 and 12, the teacher starts answering with 再集計, seat 5 answers ○ and
# seat 12 ×; seat 12 closes its window, which keeps its position in the
# registry; the teacher closes, which ends seat 5 and writes Kiroku.csv, which
# must be exactly as expected. Each window is photographed. A zip with the
# tablet gateway has the teacher open タブレットから回答... first: its QR code,
# read from the window's photograph, gives the gateway's address, and the
# gateway serves the pupils' page until the window is closed.
#
#   check_lesson_windows.sh ZIP SCREENSHOT_DIR       (OMBRA_WINDOWS_CACHE set)
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tests/system/xsession.sh
source "$here/xsession.sh"
# shellcheck source=tests/system/lesson_ui.sh
source "$here/lesson_ui.sh"
# shellcheck source=packaging/windows/wine_env.sh
source "$here/../../packaging/windows/wine_env.sh"
zip="$(realpath "$1")"
shots="$(mkdir -p "$2" && cd "$2" && pwd)"
root="$(mktemp -d)"
share="$root/教室の共有/アンケート"
mkdir -p "$share"
python3 -c 'import sys, zipfile; zipfile.ZipFile(sys.argv[1]).extractall(sys.argv[2])' "$zip" "$share"
[ -f "$share/ｱﾝｹｰﾄ.exe" ] || { echo "lesson: ｱﾝｹｰﾄ.exe is not in the zip"; exit 1; }
cd "$share"

SESSION_PIDS=""
WINE_REMOVE_AT_EXIT=("$root")
trap wine_session_end EXIT

fail() {
    echo "lesson under wine: $*"
    tail -n 20 "$root"/*.log 2>/dev/null
    exit 1
}

start_xvfb
wine_prepare
wineserver -k 2>/dev/null || true
# The pupils' window position: a left edge of 3000 twips (200 pixels) kept
# from an earlier lesson, no top edge yet (the default, 1000 twips, is used).
settings='HKCU\Software\OmbraSeat\Settings'
wine_ja wine reg delete "$settings" /f >/dev/null 2>&1 || true
wine_ja wine reg add "$settings" /v MainLeft /d 3000 /f >/dev/null 2>&1

# Client-area origin of a window whose client is W x H at the window's bottom
# (the menu bar above it belongs to the window): wine draws the frame itself.
client_origin() {
    local window="$1" width="$2" height="$3"
    eval "$(xdotool getwindowgeometry --shell "$window")"
    local border=$(((WIDTH - width) / 2))
    echo "$border $((HEIGHT - height - border))"
}
# click_client WINDOW W H X Y: a click at X Y of the window's W x H client area.
click_client() {
    local window="$1" width="$2" height="$3" x="$4" y="$5" origin
    origin=($(client_origin "$window" "$width" "$height"))
    xdotool mousemove --window "$window" $((origin[0] + x)) $((origin[1] + y)) click 1
}
shoot() {
    import -window "$1" "$shots/$2.png" 2>/dev/null || fail "no screenshot of $2"
}

# Both programs as a pupil starts them: the program's file in the share,
# started in the share.
wine_ja wine Teacher.exe >>"$root/teacher.log" 2>&1 &
teacher_pid=$!
SESSION_PIDS="$teacher_pid"
confirm="$(wait_windows 'ﾛｸﾞｵﾝ')" || fail "no confirmation dialog"
sleep 0.5
shoot "$confirm" teacher-confirmation
confirm_start "$confirm"
teacher="$(wait_windows '^オンブラ集計 先生用プログラム$')" || fail "no main window"
wait_file Data/LVQ50.txt || fail "the first publication was not written"

if [ -f ombra-gateway.exe ]; then
    # タブレットから回答..., the item above 終了(&X) at the bottom of ﾌｧｲﾙ(&F).
    xdotool windowfocus --sync "$teacher"
    xdotool key alt+f Up Up Return
    gateway="$(wait_windows '^タブレットから回答$')" || fail "no gateway window"
    sleep 1
    shoot "$gateway" teacher-gateway
    url="$(zbarimg --quiet --raw "$shots/teacher-gateway.png" 2>/dev/null | tr -d '\r')"
    [[ "$url" =~ ^http://[^/]+:8932/#k=[^[:space:]]+$ ]] || fail "the QR code reads '$url', not the gateway's address and key"
    page="$(curl --silent --max-time 10 http://127.0.0.1:8932/)" || fail "the gateway serves no page"
    [[ "$page" == *signin-ok* ]] || fail "the gateway's page has no sign-in: $page"
    xdotool windowfocus --sync "$gateway"
    xdotool key alt+F4
    for _ in $(seq 50); do
        curl --silent --max-time 1 http://127.0.0.1:8932/ >/dev/null || break
        sleep 0.1
    done
    curl --silent --max-time 1 http://127.0.0.1:8932/ >/dev/null &&
        fail "the gateway still serves after its window closed"
    echo "lesson under wine: the teacher's gateway window shows $url as a QR code and serves the page"
fi

pupil_pids=()
panels=()
for seat in 5 12; do
    wine_ja wine ｱﾝｹｰﾄ.exe >>"$root/pupil$seat.log" 2>&1 &
    pupil_pids+=($!)
    SESSION_PIDS="$SESSION_PIDS $!"
    signin="$(wait_windows '^オンブラ集計　ログオン$')" || fail "no sign-in window for seat $seat"
    sleep 0.5
    [ "$seat" = 5 ] && shoot "$signin" pupil-signin
    sign_in "$signin" "$seat"
    WAIT_TENTHS=100 wait_for answer_file_is "$seat" 0 || true
    panel="$(xdotool search --onlyvisible --name '^オンブラ$' 2>/dev/null |
        grep -v -x -F "${panels[0]:-none}" | head -n 1 || true)"
    for _ in $(seq 100); do
        [ -n "$panel" ] && break
        sleep 0.1
        panel="$(xdotool search --onlyvisible --name '^オンブラ$' 2>/dev/null |
            grep -v -x -F "${panels[0]:-none}" | head -n 1 || true)"
    done
    [ -n "$panel" ] || fail "no answer panel for seat $seat"
    # The frame at 200,67; the X window is its client area, below the caption.
    eval "$(xdotool getwindowgeometry --shell "$panel")"
    [ "$X" -ge 200 ] && [ "$X" -le 210 ] && [ "$Y" -ge 67 ] && [ "$Y" -le 110 ] ||
        fail "seat $seat's panel opened at $X,$Y, not at 200,67"
    panels+=("$panel")
done

# 再集計 with the answer set ○× the window opens with; the pupils' next poll
# shows two buttons.
# shellcheck disable=SC2046
click_client "$teacher" 1016 694 $(teacher_point restart)
mode_is() { head -c 5 "Data/LVQ$1.ini" | grep -q "^ $2 "; }
wait_for mode_is 12 2 || fail "再集計 did not publish mode 2"
sleep 1.5

answer() {
    local panel="$1" seat="$2" button="$3"
    xdotool windowraise "$panel"
    sleep 0.3
    # shellcheck disable=SC2046
    click_client "$panel" 571 191 $(answer_point $((button - 1)) 2)
    WAIT_TENTHS=30 wait_for answer_file_is "$seat" "$button" ||
        fail "seat $seat's answer file holds '$(cat "Data/LVQ$seat.txt")'"
    [ "$(wc -l <"Data/LVQ$seat.ini")" -eq 2 ] || fail "seat $seat's one-answer lock was not written"
}
xdotool windowraise "${panels[0]}"
sleep 0.3
shoot "${panels[0]}" pupil-panel
answer "${panels[0]}" 5 1
answer "${panels[1]}" 12 2
sleep 1.5 # the teacher's next tick counts both
xdotool windowraise "$teacher"
sleep 0.5
shoot "$teacher" teacher-main

# Seat 12 closes its window: both edges go to the registry.
xdotool windowfocus --sync "${panels[1]}"
xdotool key alt+F4
for _ in $(seq 50); do kill -0 "${pupil_pids[1]}" 2>/dev/null || break; sleep 0.1; done
kill -0 "${pupil_pids[1]}" 2>/dev/null && fail "seat 12's program did not close"
saved="$(wine_ja wine reg query "$settings" 2>/dev/null | tr -d '\r')"
for key in MainLeft:3000 MainTop:1000; do
    printf '%s\n' "$saved" | grep -Eq "^ +${key%:*} +REG_SZ +${key#*:}$" ||
        fail "the registry holds no ${key%:*} of ${key#*:} under $settings: $saved"
done

# 終了(&X), the last item of ﾌｧｲﾙ(&F).
xdotool windowfocus --sync "$teacher"
xdotool key alt+f x
for _ in $(seq 100); do kill -0 "$teacher_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$teacher_pid" 2>/dev/null && fail "the teacher's program did not end"
for _ in $(seq 50); do kill -0 "${pupil_pids[0]}" 2>/dev/null || break; sleep 0.1; done
kill -0 "${pupil_pids[0]}" 2>/dev/null && fail "seat 5's program did not end on mode 0"

# The record: one column for question 1, seat 5 answered 1 and seat 12 2.
expected="$root/expected.csv"
{
    printf '出席番号, 1 \r\n'
    for seat in $(seq 50); do
        case "$seat" in 5) answer=1 ;; 12) answer=2 ;; *) answer=0 ;; esac
        printf ' %d 番 , %d \r\n' "$seat" "$answer"
    done
} | iconv -f UTF-8 -t CP932 >"$expected"
cmp -s Kiroku.csv "$expected" || {
    diff <(iconv -f CP932 -t UTF-8 "$expected") <(iconv -f CP932 -t UTF-8 Kiroku.csv) | head
    fail "Kiroku.csv is not as expected"
}
echo "lesson under wine: 2 pupils signed in, answered, locked, counted; position in the registry; Kiroku.csv exact"
