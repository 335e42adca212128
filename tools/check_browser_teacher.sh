#!/usr/bin/env bash
# A pupil in headless Chromium and the real teacher's program under a virtual
# X server, through ombra-gateway run on its own in the classroom folder: the
# teacher starts answering with 再集計 (one answer only, as the window
# opens), the pupil signs in, answers and is locked; the teacher closes, the
# page shows the end and the record has the answer.
# Usage: check_browser_teacher.sh BUILD_DIR
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tools/xsession.sh
source "$here/xsession.sh"
build="$(cd "$1" && pwd)"
session_folder
/usr/bin/python3 -c 'import selenium' 2>/dev/null || { echo "Selenium is missing; skipped"; exit 77; }
start_xvfb
export QT_QPA_PLATFORM=xcb

session_start teacher.log "$build/teacher/Teacher"
teacher_pid=$!
login="$(wait_windows 'ﾛｸﾞｵﾝ')"
xdotool windowfocus --sync "$login"
xdotool key Return
teacher="$(wait_windows '^オンブラ集計 先生用プログラム$')"
wait_file Data/LVQ50.txt
status=0
/usr/bin/python3 "$here/check_browser.py" "$build" --teacher "$teacher" "$teacher_pid" || status=$?
exit "$status"
