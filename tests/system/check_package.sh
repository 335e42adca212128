#!/usr/bin/env bash
# Installs the Debian package and starts both programs the way the desktop
# menu does (the Exec line of each desktop entry) under a virtual X server,
# checking that each opens its first window in the configured classroom
# folder. Needs root. Usage: check_package.sh PACKAGE.deb
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tests/system/xsession.sh
source "$here/xsession.sh"
deb="$(readlink -f "$1")"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "$deb" >/dev/null
session_folder
home="$SESSION_DIR/home"
mkdir -p "$home/.config"
echo "$home/classroom" >"$home/.config/ombra-classroom"
start_xvfb

run_entry() { # desktop file: runs its Exec line as the menu would
    local exec
    exec="$(sed -n 's/^Exec=//p' "/usr/share/applications/$1")"
    # The launcher execs the program, so the process group it leads is the
    # program's.
    HOME="$home" XDG_CONFIG_HOME="$home/.config" QT_QPA_PLATFORM=xcb \
        session_start "$SESSION_DIR/${1%.desktop}.log" sh -c "exec $exec"
}

run_entry ombra-teacher.desktop
login="$(wait_windows 'ﾛｸﾞｵﾝ')"
xdotool windowfocus --sync "$login"
xdotool key Return
wait_windows '^オンブラ集計 先生用プログラム$' >/dev/null
wait_file "$home/classroom/Data/LVQ50.txt"
run_entry ombra-student.desktop
wait_windows '^オンブラ集計　ログオン$' >/dev/null
for icon in ombra-teacher ombra-student; do
    [ -f "/usr/share/icons/hicolor/scalable/apps/$icon.svg" ] || { echo "no icon $icon"; exit 1; }
done
echo "package: both programs start from their menu entries in $home/classroom"
