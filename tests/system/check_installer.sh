#!/usr/bin/env bash
# Installs with the NSIS installer under wine, silently and as the user, checks
# the installed folder, the start-menu entries and the uninstall entry, then
# uninstalls and checks that all of it is gone but the classroom folder.
#
#   check_installer.sh SETUP_EXE        (OMBRA_WINDOWS_CACHE set)
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tests/system/xsession.sh
source "$here/xsession.sh"
# shellcheck source=packaging/windows/wine_env.sh
source "$here/../../packaging/windows/wine_env.sh"
setup="$(realpath "$1")"
fail() {
    echo "installer: $*"
    exit 1
}

# No administrator rights asked for: the manifest says asInvoker.
grep -aq 'level="asInvoker"' "$setup" || fail "the installer asks for more than the user's rights"

trap wine_session_end EXIT
# Even a silent installer makes a window.
start_xvfb
wine_prepare
wineserver -k 2>/dev/null || true
user_dir="$WINEPREFIX/drive_c/users/$(id -un)"
programs="$user_dir/AppData/Local/Programs/Ombra"
menu="$user_dir/AppData/Roaming/Microsoft/Windows/Start Menu/Programs/オンブラ集計"
class="$user_dir/Documents/オンブラ集計"
rm -rf "$programs" "$menu"

wine_ja wine "$setup" /S
wineserver -w
files=(Teacher.exe ｱﾝｹｰﾄ.exe Qt6Core.dll Qt6Widgets.dll platforms/qwindows.dll
    translations/qtbase_ja.qm README.txt Uninstall.exe)
links=(先生用プログラム 生徒用プログラム アンインストール)
# Built with the tablet gateway (./dev.sh windows found its libraries).
if [ -n "${OMBRA_WINDOWS_GATEWAY_LIBS:-}" ]; then
    files+=(ombra-gateway.exe Qt6Network.dll Qt6HttpServer.dll Qt6WebSockets.dll libqrencode.dll)
    links+=(タブレット用ゲートウェイ)
fi
for file in "${files[@]}"; do
    [ -f "$programs/$file" ] || fail "$file was not installed"
done
for link in "${links[@]}"; do
    [ -f "$menu/$link.lnk" ] || fail "no start-menu entry $link"
done
[ -d "$class" ] || fail "the classroom folder was not made"
wine_ja wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ombra' \
    /v UninstallString >/dev/null 2>&1 || fail "no uninstall entry"

wine_ja wine "$programs/Uninstall.exe" /S
wineserver -w
for _ in $(seq 50); do [ -e "$programs" ] || break; sleep 0.2; done
[ -e "$programs" ] && fail "the uninstaller left $(ls "$programs")"
[ -e "$menu" ] && fail "the uninstaller left the start-menu entries"
[ -d "$class" ] || fail "the uninstaller removed the classroom folder"
wine_ja wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\Uninstall\Ombra' \
    >/dev/null 2>&1 && fail "the uninstall entry is still there"
echo "installer: installed per user with start-menu entries, uninstalled cleanly"
