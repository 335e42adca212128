# Runs the Windows programs and tests under wine as on a Japanese Windows PC.
# Source it with OMBRA_WINDOWS_CACHE set (the cache outside the checkout);
# then wine_prepare makes the prefix once, and wine_test runs one program.
#
# What a Japanese Windows has and a fresh wine prefix lacks:
#  - code page 932 as the system's ANSI code page: wine takes it from the
#    locale, so a ja_JP.UTF-8 locale is made with localedef into the cache
#    (LOCPATH) without touching the system's locales;
#  - the gothic font the programs ask for ("ＭＳ ゴシック"): wine's font
#    replacements map its names to IPA Gothic, which wine finds through
#    fontconfig; wine's own Tahoma is copied into the prefix's Fonts for the
#    dialogs' default font.
# wine drops every QT_* variable from a program's environment; a variable
# named WINEQT_... reaches the program as QT_... instead.
set -euo pipefail

: "${OMBRA_WINDOWS_CACHE:?set OMBRA_WINDOWS_CACHE}"
export WINEPREFIX="$OMBRA_WINDOWS_CACHE/wineprefix"
export WINEARCH=win64
export WINEDEBUG=-all

# The EXIT trap of a script that runs wine under the X session of
# xsession.sh: wine's server ends first, then the folders in
# WINE_REMOVE_AT_EXIT go, then the session, with the script's own status.
WINE_REMOVE_AT_EXIT=()
wine_session_end() {
    local status=$?
    set +e # the status is handed on below, not an exit here
    wineserver -k 2>/dev/null
    [ ${#WINE_REMOVE_AT_EXIT[@]} -gt 0 ] && rm -rf "${WINE_REMOVE_AT_EXIT[@]}"
    (exit "$status")
    stop_session
}
# No Mono or Gecko installer prompts, no menu entries in the host's desktop.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
export LOCPATH="$OMBRA_WINDOWS_CACHE/locale"
if [ ! -d "$LOCPATH/ja_JP.UTF-8" ]; then
    mkdir -p "$LOCPATH"
    # localedef exits 1 on warnings about the charmap; the locale is made.
    LC_ALL=C localedef -i ja_JP -f UTF-8 "$LOCPATH/ja_JP.UTF-8" >"$LOCPATH.log" 2>&1 || true
    [ -d "$LOCPATH/ja_JP.UTF-8" ] || {
        tail -n 20 "$LOCPATH.log" >&2
        echo "localedef could not make ja_JP.UTF-8 in $LOCPATH; its log is $LOCPATH.log" >&2
        return 1
    }
fi

# wine and its tools in the Japanese locale (only they get it: this shell
# cannot load a locale from LOCPATH).
wine_ja() {
    env LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 "$@"
}

# The font names of a Japanese Windows that both programs and Qt's dialogs use.
WINE_FONT_REPLACEMENTS=("ＭＳ ゴシック" "MS Gothic" "ＭＳ Ｐゴシック" "MS PGothic" "MS UI Gothic"
    "Meiryo" "メイリオ" "Yu Gothic UI")

# wine_step WHAT COMMAND...: one step of preparing wine, its output appended
# to the log WINE_STEP_LOG; on failure the log's last lines, what failed and
# where the whole log is.
wine_step() {
    local what="$1"
    shift
    "$@" >>"$WINE_STEP_LOG" 2>&1 </dev/null && return 0
    local status=$?
    tail -n 30 "$WINE_STEP_LOG" >&2
    echo "wine: $what failed (exit status $status); the whole log is $WINE_STEP_LOG" >&2
    return 1
}

# A fresh prefix made by wineboot, waited for to the end. wineboot now and
# then fails on a loaded machine; it is tried once more in a new prefix.
wine_boot() {
    local attempt
    for attempt in 1 2; do
        rm -rf "$WINEPREFIX"
        echo "--- wineboot, attempt $attempt" >>"$WINE_STEP_LOG"
        if wine_step "wineboot -i" wine_ja wineboot -i &&
            wine_step "wineserver -w after wineboot" wineserver -w &&
            [ -d "$WINEPREFIX/drive_c/windows/Fonts" ]; then
            return 0
        fi
        wineserver -k >/dev/null 2>&1 || true
        if [ "$attempt" = 1 ]; then
            echo "wineboot did not make the prefix $WINEPREFIX; trying once more" \
                "(log: $WINE_STEP_LOG)" >&2
        fi
    done
    echo "wineboot failed twice to make the prefix $WINEPREFIX; the whole log is" \
        "$WINE_STEP_LOG" >&2
    return 1
}

wine_prepare() {
    [ -f "$WINEPREFIX/.ombra-ready" ] && return 0
    WINE_STEP_LOG="$OMBRA_WINDOWS_CACHE/wineprefix.log"
    : >"$WINE_STEP_LOG"
    echo "Preparing the wine prefix $WINEPREFIX (log: $WINE_STEP_LOG)" >&2
    wine_boot || return 1
    wine_step "copying wine's Tahoma into the prefix" \
        cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" || return 1
    local name
    for name in "${WINE_FONT_REPLACEMENTS[@]}"; do
        wine_step "the font replacement for $name" \
            wine_ja wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v "$name" \
            /d IPAGothic /f || return 1
    done
    wine_step "wineserver -w after the font replacements" wineserver -w || return 1
    touch "$WINEPREFIX/.ombra-ready"
}

# The ANSI code page the prefix's programs get: 932 when the locale took.
wine_code_page() {
    wine_ja wine reg query 'HKLM\System\CurrentControlSet\Control\Nls\CodePage' /v ACP \
        2>/dev/null | tr -d '\r' | awk '$1 == "ACP" { print $3 }'
}

# Test programs find Qt's DLLs (OMBRA_QT_PREFIX/bin), those of the gateway's
# libraries (OMBRA_WINDOWS_GATEWAY_LIBS: Qt's modules in bin, libqrencode in
# lib) and the compiler's runtime where they were built; the shipped folder
# has them beside the programs. Z: is the root of the Linux file system in
# every prefix.
wine_dll_path() {
    local dirs=() dll
    [ -n "${OMBRA_QT_PREFIX:-}" ] && dirs+=("$OMBRA_QT_PREFIX/bin")
    [ -n "${OMBRA_WINDOWS_GATEWAY_LIBS:-}" ] &&
        dirs+=("$OMBRA_WINDOWS_GATEWAY_LIBS/bin" "$OMBRA_WINDOWS_GATEWAY_LIBS/lib")
    for dll in libstdc++-6.dll libwinpthread-1.dll; do
        dirs+=("$(dirname "$(realpath "$(x86_64-w64-mingw32-g++-posix -print-file-name="$dll")")")")
    done
    local IFS=';'
    printf 'Z:%s' "${dirs[0]}"
    printf ';Z:%s' "${dirs[@]:1}"
}

# wine_test PROGRAM [ARGS...]: runs PROGRAM under wine with QT_* variables
# passed on. A Qt Test program writes nothing into a pipe under wine, so its
# output goes through a file, which is printed afterwards. Any other program
# takes the place of the calling shell, so that a signal to the caller (a
# test ending a server it started) reaches the program itself.
wine_test() {
    local program="$1"
    shift
    local var
    for var in $(compgen -e); do
        case "$var" in QT_*) export "WINE$var=${!var}" ;; esac
    done
    export WINEPATH
    WINEPATH="$(wine_dll_path)"
    case "$(basename "$program")" in
    tst_*)
        local out status=0
        out="$(mktemp --suffix=.txt)"
        # Nothing of CTest's pipe goes to wine: a service of wine's that the
        # program happens to start would hold it open, and CTest would wait
        # for it until the time-out, long after the test ended.
        wine_ja wine "$program" "$@" -o "Z:$out,txt" </dev/null >/dev/null 2>&1 || status=$?
        # wine's own messages are lost with WINEDEBUG=-all; say why nothing came.
        [ -s "$out" ] || echo "$(basename "$program"): no test output (exit status $status)"
        cat "$out"
        rm -f "$out"
        return "$status"
        ;;
    *) exec env LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 wine "$program" "$@" ;;
    esac
}
