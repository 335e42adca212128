#!/usr/bin/env bash
# Runs ./dev.sh demo under a virtual X server, answers the teacher's
# confirmation, and checks that the four windows appear and that the demo
# classroom holds the 102 exchange files. Usage: check_demo.sh BUILD_DIR
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tests/system/xsession.sh
source "$here/xsession.sh"
build="$(cd "$1" && pwd)"
session_folder
folder="$SESSION_DIR/demo"
start_xvfb

# The demo's programs are children of dev.sh, in its process group.
OMBRA_BUILD_DIR="$build" QT_QPA_PLATFORM=xcb session_start demo.log "$here/../../dev.sh" demo "$folder"
login="$(wait_windows 'ﾛｸﾞｵﾝ')"
xdotool windowfocus --sync "$login"
xdotool key Return
wait_windows '^オンブラ集計 先生用プログラム$' >/dev/null
wait_windows '^オンブラ集計　ログオン$' 3 >/dev/null
files="$(find "$folder/Data" -type f | wc -l)"
[ -f "$folder/お試しアンケート.txt" ] || { echo "no sample questionnaire"; exit 1; }
if [ "$files" -ne 102 ]; then
    echo "the demo classroom holds $files exchange files, not 102"
    exit 1
fi
echo "demo: teacher window and three sign-in windows, 102 exchange files"
