#!/usr/bin/env bash
# CTest's emulator for the Windows build: runs one test program under wine
# (packaging/windows/wine_env.sh). OMBRA_WINDOWS_CACHE names the cache.
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
# shellcheck source=packaging/windows/wine_env.sh
source "$here/wine_env.sh"
wine_test "$@"
