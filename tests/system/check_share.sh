#!/usr/bin/env bash
# A lesson on a school's file share: a Samba server of the test's own on
# loopback, its share mounted as the teacher's PC and as the pupils' PCs
# (smbnetfs; the kernel's cifs client too where it can mount).
# The real Teacher runs on the teacher's mount, real pupils' programs and
# seat files written as a pupil's program writes them on the others.
#  - start-up publishes to every seat; a teacher killed with its lock in
#    place is started again on the same mount and takes the folder over
#    without asking (the lock is this PC's);
#  - sign-in, 再集計 with ○×, answers from programs and seat files; a re-ask
#    keeps them and a changed answer replaces one;
#  - the server stops for 10 s while a pupil clicks: the click reaches the
#    record once it is back;
#  - a second question (１２３), the close: Kiroku.csv seat by seat, Kekka.csv
#    agrees, the pupils' programs end;
#  - neither the teacher's nor pupil 5's event loop ever waits more than
#    50 ms (their stall probes), through publications, polls and the stop.
# Skipped (77) where the machine cannot mount a FUSE SMB client.
# Usage: check_share.sh BUILD_DIR
tools="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tests/system/xsession.sh
source "$tools/xsession.sh"
# shellcheck source=tests/system/lesson_ui.sh
source "$tools/lesson_ui.sh"
# shellcheck source=tests/system/share_server.sh
source "$tools/share_server.sh"
build="$(cd "$1" && pwd)"
session_folder
logs="$SESSION_DIR"
SESSION_AFTER=share_stop
fail() {
    echo "share: $*"
    exit 1
}
skip() {
    echo "share: skipped: $*"
    exit 77
}

share_start "$SESSION_DIR" || { status=$?; [ "$status" -eq 77 ] && skip "see above"; fail "no server"; }
share_mount_smbnetfs teacher || skip "the FUSE mount was refused"
teacher_dir="$SHARE_PATH"
share_mount_smbnetfs pupils || fail "the second smbnetfs mount failed"
pupils_dir="$SHARE_PATH"
# The other clients stand in for more pupils' PCs where they mount; where
# they do not, the pupils' smbnetfs mount does.
gvfs_dir="$pupils_dir"
cifs_dir="$pupils_dir"
clients="smbnetfs x2"
# gvfs is left out of the lesson: in about one run in ten a seat file
# written through it never reached the server (gvfs-fuse commits a file
# after close() has returned, and may not at all), so the record could not
# be checked exactly. bench/share_report.sh still measures it.
share_mount_cifs cifs && cifs_dir="$SHARE_PATH" && clients+=", cifs"
echo "share: Samba on 127.0.0.1:$SHARE_PORT through $clients"
disk="$SESSION_DIR/share" # the server's own folder: what every PC sees

start_xvfb
export QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$SESSION_DIR/config"
# Operations on the share wait up to 20 s: the test checks where things
# arrive, the benchmark how fast.
WAIT_TENTHS=200

# The visible windows of program $1 whose titles match $2.
windows_of() {
    local id
    for id in $(xdotool search --onlyvisible --name "$2" 2>/dev/null); do
        [ "$(xdotool getwindowpid "$id" 2>/dev/null)" = "$1" ] && echo "$id"
    done
    return 0
}
# Waits for the first of them, while the program runs.
window_of() {
    local id
    for _ in $(seq 300); do
        id="$(windows_of "$1" "$2" | head -n 1)"
        [ -n "$id" ] && { echo "$id"; return 0; }
        kill -0 "$1" 2>/dev/null || return 1
        sleep 0.1
    done
    return 1
}
ended() { ! kill -0 "$1" 2>/dev/null; }
# Every seat's command file starts with mode $1.
published() {
    local seat
    for seat in $(seq 0 50); do
        head -c 5 "$disk/Data/LVQ$seat.ini" 2>/dev/null | grep -q "^ $1 " || return 1
    done
}
# Starts Teacher on the teacher's mount ($1 names its stall probe's file)
# and answers its confirmation; $teacher is its first window after that.
start_teacher() {
    cd "$teacher_dir"
    OMBRA_STALL_PROBE="$logs/$1" session_start "$logs/teacher.log" "$build/teacher/Teacher"
    teacher_pid=$!
    cd "$logs"
    local login
    login="$(window_of "$teacher_pid" 'ﾛｸﾞｵﾝ')" || fail "the teacher's program showed no confirmation"
    confirm_start "$login"
    teacher="$(window_of "$teacher_pid" "$title")" || fail "the teacher's window did not appear (the start-up publication did not finish?)"
}
# Starts ｱﾝｹｰﾄ in folder $1, signs in as seat $2 and moves its panel to $3 $4.
declare -A pupil_pid panel
start_pupil() {
    cd "$1"
    if [ "$2" = 5 ]; then
        OMBRA_STALL_PROBE="$logs/pupil5.stall" session_start "$logs/pupil$2.log" "$build/student/ｱﾝｹｰﾄ"
    else
        session_start "$logs/pupil$2.log" "$build/student/ｱﾝｹｰﾄ"
    fi
    pupil_pid[$2]=$!
    cd "$logs"
    local signin
    signin="$(window_of "${pupil_pid[$2]}" '^オンブラ集計　ログオン$')" || fail "pupil $2's program showed no sign-in"
    sign_in "$signin" "$2"
    panel[$2]="$(window_of "${pupil_pid[$2]}" '^オンブラ$')" || fail "pupil $2 could not sign in"
    xdotool windowmove --sync "${panel[$2]}" "$3" "$4"
}
# Writes answer $2 into seat $1's answer file through folder $3, in place
# (open with truncation), as a pupil's program does.
seat_answers() { printf ' %s \r\n' "$2" >"$3/Data/LVQ$1.txt" || fail "seat $1's answer could not be written"; }
# Mode $1 is published to every seat, every answer file reset.
asked() {
    local seat
    published "$1" || return 1
    for seat in $(seq 0 50); do
        [ "$(cat "$disk/Data/LVQ$seat.txt" 2>/dev/null)" = "$(printf ' 0 \r')" ] || return 1
    done
}
# The answers every seat gave to the questions so far (SEAT=A,B for
# check_record.py), from col1 and col2.
declare -A col1 col2
columns=1
expected() {
    local seat
    for seat in $(seq 1 50); do
        [ -n "${col1[$seat]:-}${col2[$seat]:-}" ] || continue
        printf ' %s=%s' "$seat" "${col1[$seat]:-0}"
        [ "$columns" -eq 2 ] && printf ',%s' "${col2[$seat]:-0}"
    done
}
# Waits until the running record holds exactly the expected answers.
record_shows() {
    local files=("$disk/Kiroku-running.csv" "$disk/Kekka-running.csv")
    # shellcheck disable=SC2046
    wait_for python3 "$tools/check_record.py" "${files[@]}" $(expected) >/dev/null ||
        fail "$1: the running record is not as expected:" \
            "$(python3 "$tools/check_record.py" "${files[@]}" $(expected) | head -n 5 | tr '\n' ' ')"
}
stall_figures() {
    # The first line is the program's own share of the gap, the second the
    # gap as it was (with the time the machine gave the thread no processor).
    teacher_stall="$(head -n 1 "$logs/teacher.stall" 2>/dev/null | tr -dc 0-9 || true)"
    pupil_stall="$(head -n 1 "$logs/pupil5.stall" 2>/dev/null | tr -dc 0-9 || true)"
    echo "share: longest event-loop stall $1 (bound 50 ms): teacher ${teacher_stall:-(no figure)}" \
        "($(sed -n 2p "$logs/teacher.stall" 2>/dev/null) ms with waits for a processor)," \
        "pupil 5 ${pupil_stall:-(no figure)} ($(sed -n 2p "$logs/pupil5.stall" 2>/dev/null) ms)"
}

# Start-up publishes to every seat. The program is then killed: its lock
# stays on the share, and a start on the same PC takes it over without a
# question, the main window first.
start_teacher teacher-killed.stall
wait_for published 100 || fail "the start-up publication did not reach every seat"
kill -KILL "$teacher_pid"
wait "$teacher_pid" 2>/dev/null || true
[ -e "$disk/Teacher.lock" ] || fail "the killed teacher left no lock to take over"
start_teacher teacher.stall
sleep 1
eval "$(xdotool getwindowgeometry --shell "$teacher")"
[ "$HEIGHT" -gt 500 ] || fail "the teacher's program asked before taking its own stale lock over"
[ "$(windows_of "$teacher_pid" "$title" | wc -l)" -eq 1 ] ||
    fail "the teacher's program showed a message beside its window"
wait_for published 100 || fail "the start-up publication after the takeover did not reach every seat"

# Pupils on the pupils' mount and through the other clients.
start_pupil "$pupils_dir" 5 0 0
start_pupil "$gvfs_dir" 6 0 330
start_pupil "$cifs_dir" 7 0 660

# The stall probes measure from here on: the programs' start-up builds their
# windows, which is no wait for the share. A probe starts afresh at its next
# write once its file is gone.
sleep 1
rm -f "$logs/teacher.stall" "$logs/pupil5.stall"
sleep 1.5

# ○× with 再集計: two pupils click, seats 11 to 20 answer through the
# pupils' mount, 21 to 25 through gvfs.
press_restart
wait_for asked 2 || fail "再集計 did not publish mode 2 to every seat"
sleep 1.5 # the panels show their buttons
click_answer "${panel[5]}" 0 2
col1[5]=1
click_answer "${panel[6]}" 1 2
col1[6]=2
for seat in $(seq 11 20); do
    col1[$seat]=$((1 + seat % 2))
    seat_answers "$seat" "${col1[$seat]}" "$pupils_dir"
done
for seat in $(seq 21 25); do
    col1[$seat]=2
    seat_answers "$seat" 2 "$gvfs_dir"
done
record_shows "answers to ○×"

# Asked again (集計中断, 再集計): the answers stay; seat 11 and pupil 6 change
# theirs.
press_pause
press_restart
wait_for asked 2 || fail "再集計 after 集計中断 did not publish mode 2 to every seat"
sleep 1.5
seat_answers 11 1 "$pupils_dir"
col1[11]=1
click_answer "${panel[6]}" 0 2
col1[6]=1
record_shows "asked again"

# The server stops answering for 10 s; pupil 5 clicks meanwhile.
share_freeze
sleep 2
click_answer "${panel[5]}" 1 2
col1[5]=2
sleep 8
share_thaw
WAIT_TENTHS=300 record_shows "pupil 5's click while the server stood still"

# A second question: １２３ with 再集計.
press_answer_set 3
press_restart
wait_for asked 3 || fail "１２３ did not publish mode 3 to every seat"
columns=2
sleep 1.5
click_answer "${panel[5]}" 2 3
col2[5]=3
click_answer "${panel[7]}" 1 3
col2[7]=2
seat_answers 12 3 "$pupils_dir"
col2[12]=3
record_shows "the second question"
sleep 1.5 # the probes write their figures once a second
stall_figures "during the lesson"
[[ "$teacher_stall" =~ ^[0-9]+$ && "$pupil_stall" =~ ^[0-9]+$ ]] || fail "a stall probe wrote no figure"
[ "$teacher_stall" -le 50 ] || fail "the teacher's window waited ${teacher_stall} ms"
[ "$pupil_stall" -le 50 ] || fail "pupil 5's window waited ${pupil_stall} ms"

# The close: the record and the results on the share, every pupil ends.
xdotool windowfocus --sync "$teacher"
xdotool key alt+f x
wait_for ended "$teacher_pid" || fail "the teacher's program did not end"
for seat in 5 6 7; do
    wait_for ended "${pupil_pid[$seat]}" || fail "pupil $seat's program did not end on mode 0"
done
[ -f "$disk/Kiroku.csv" ] && [ -f "$disk/Kekka.csv" ] || fail "the close wrote no Kiroku.csv and Kekka.csv"
# shellcheck disable=SC2046
python3 "$tools/check_record.py" "$disk/Kiroku.csv" "$disk/Kekka.csv" $(expected) ||
    fail "Kiroku.csv and Kekka.csv are not the lesson's"
[ -e "$disk/Teacher.lock" ] && fail "the lock is still there after closing"
stall_figures "to the close"
echo "share: a lesson over $clients: start-up, a stale lock taken over, answers, a re-ask, 10 s" \
    "without the server, a second question and the close; the record holds every answer"
