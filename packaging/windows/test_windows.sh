#!/usr/bin/env bash
# Runs the Windows build's tests under wine on a virtual X server (programs
# that draw text need the windows platform: the offscreen one has no fonts
# on Windows).
#
#   test_windows.sh BUILD_DIR [CTEST_ARGS...]     (OMBRA_WINDOWS_CACHE set)
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=tests/system/xsession.sh
source "$here/../../tests/system/xsession.sh"
# shellcheck source=packaging/windows/wine_env.sh
source "$here/wine_env.sh"
build="$1"
shift
trap wine_session_end EXIT
start_xvfb
wine_prepare
wineserver -k 2>/dev/null || true
# One server for the whole run instead of one per test program, with wine's
# own services started now: started by the first test, they would hold its
# output open and CTest would wait for them.
WINE_STEP_LOG="$build/wine-start.log"
: >"$WINE_STEP_LOG"
wine_step "starting wine's server for the run (wineserver -p)" wineserver -p
wine_step "starting wine's services (wine cmd /c exit)" wine_ja wine cmd /c exit
ctest --test-dir "$build" --output-on-failure --no-tests=error -j "$(nproc)" "$@"
