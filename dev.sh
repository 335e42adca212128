#!/usr/bin/env bash
# Developer entry point: installs what is missing, builds, tests and starts
# the two programs. Run ./dev.sh help for the commands.
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
JOBS="$(nproc 2>/dev/null || echo 2)"

# Debian 12 / Ubuntu package names of everything the build and the tests use.
PACKAGES=(cmake ninja-build g++ qt6-base-dev libgl-dev fonts-ipafont-gothic python3 libbenchmark-dev
    qt6-translations-l10n dpkg-dev xvfb xauth xdotool
    qt6-httpserver-dev qt6-websockets-dev libqrencode-dev)
# Only for ./dev.sh test: a real browser for the gateway's pages, a reader for the
# QR code on the teacher's screen, pdftotext for the text of the lesson's report,
# and for the lesson on a file share a Samba server with the SMB clients that
# mount it (smbnetfs and gvfs through FUSE, the kernel's cifs where it may).
TEST_PACKAGES=(chromium chromium-driver python3-selenium zbar-tools poppler-utils
    samba smbclient smbnetfs cifs-utils gvfs-fuse gvfs-backends dbus iproute2 procps)
# Only for ./dev.sh fuzz.
FUZZ_PACKAGES=(clang libclang-rt-dev)
FUZZ_TARGETS=(fieldreader number cp932 questionnaire gateway)
# Only for ./dev.sh screenshots.
SCREENSHOT_PACKAGES=(imagemagick poppler-utils)
# Only for ./dev.sh windows: the mingw-w64 cross compilers, the host's Qt tools
# for the cross-built Qt, wine with its fonts and a Japanese locale to run the
# programs and tests, NSIS for the installer, and a QR code reader and curl
# to check the teacher's gateway window.
WINDOWS_PACKAGES=(g++-mingw-w64-x86-64-posix patch qt6-base-dev-tools wine wine64 fonts-wine locales
    nsis imagemagick zbar-tools curl)
WINDOWS_CACHE="${OMBRA_WINDOWS_CACHE:-${XDG_CACHE_HOME:-$HOME/.cache}/ombra-windows}"

say() { printf '%s\n' "$*" >&2; }

missing_packages() {
    local missing=()
    for pkg in "$@"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q 'install ok installed'; then
            missing+=("$pkg")
        fi
    done
    printf '%s\n' "${missing[@]}"
}

install_deps() {
    local wanted=("${PACKAGES[@]}" "$@")
    if ! command -v dpkg-query >/dev/null 2>&1; then
        say "This script installs packages on Debian or Ubuntu only; install CMake, Ninja, a C++20 compiler,"
        say "Qt 6 (Core, Gui, Widgets, Test) and a Japanese gothic font yourself, then run it again."
        command -v cmake >/dev/null 2>&1 || exit 1
        return 0
    fi
    local missing
    missing="$(missing_packages "${wanted[@]}" | tr '\n' ' ')"
    [ -z "${missing// /}" ] && return 0
    say "Installing: $missing"
    local sudo=()
    if [ "$(id -u)" -ne 0 ]; then
        if command -v sudo >/dev/null 2>&1; then
            sudo=(sudo)
        else
            say "Packages missing ($missing) and neither root nor sudo is available."
            exit 1
        fi
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update -qq
    # shellcheck disable=SC2086
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends $missing
}

# Configures the build folder of a preset of CMakePresets.json: every time,
# so that the preset's options (and a changed preset) always apply to an
# existing folder; from a fresh cache when the presets file changed since the
# folder was last configured, so that an option taken out of a preset does not
# linger in the cache either.
configure() {
    local preset="$1"
    local dir="$ROOT/build/$preset" stamp
    stamp="$(cksum <"$ROOT/CMakePresets.json")"
    local fresh=()
    if [ -f "$dir/CMakeCache.txt" ] && [ "$(cat "$dir/.presets-stamp" 2>/dev/null)" != "$stamp" ]; then
        fresh=(--fresh)
    fi
    (cd "$ROOT" && cmake --preset "$preset" "${fresh[@]}" >/dev/null) ||
        (cd "$ROOT" && cmake --preset "$preset" --fresh)
    printf '%s\n' "$stamp" >"$dir/.presets-stamp"
}

build() {
    local preset="$1"
    configure "$preset"
    (cd "$ROOT" && cmake --build --preset "$preset" -j "$JOBS")
}

run_tests() {
    local preset="$1"
    build "$preset"
    (cd "$ROOT" && QT_QPA_PLATFORM=offscreen ctest --preset "$preset" -j "$JOBS")
}

has_display() {
    [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ] || [ -n "${QT_QPA_PLATFORM:-}" ]
}

start_program() {
    local target="$1" binary="$2" folder="${3:-}"
    install_deps
    build dev
    [ -z "$folder" ] && folder="$ROOT/build/dev/classroom"
    mkdir -p "$folder"
    if ! has_display; then
        say "No display found (DISPLAY and WAYLAND_DISPLAY are not set), so the $target window cannot open."
        say "Run this from a desktop session, or under a virtual X server: xvfb-run ./dev.sh $target"
        exit 2
    fi
    say "Starting $binary in $folder"
    cd "$folder"
    exec "$ROOT/build/dev/$binary"
}

run_fuzzers() {
    local seconds="${1:-60}"
    install_deps "${FUZZ_PACKAGES[@]}"
    local dir="$ROOT/build/fuzz"
    configure fuzz
    local targets=()
    for t in "${FUZZ_TARGETS[@]}"; do targets+=(--target "fuzz_$t"); done
    cmake --build "$dir" -j "$JOBS" "${targets[@]}"
    for t in "${FUZZ_TARGETS[@]}"; do
        say "Fuzzing $t for $seconds s"
        mkdir -p "$dir/corpus/$t"
        # New inputs go to the build tree; the seeds in the repository stay as they are.
        local log="$dir/fuzz_$t.log" status=0
        "$dir/fuzz/fuzz_$t" -max_total_time="$seconds" -max_len=8192 -timeout=10 \
            -artifact_prefix="$dir/" -print_final_stats=1 \
            "$dir/corpus/$t" "$ROOT/fuzz/corpus/$t" >"$log" 2>&1 || status=$?
        grep -E '^(Done|SUMMARY|==[0-9]+==ERROR)' "$log" >&2 || true
        if [ "$status" -ne 0 ]; then
            tail -n 40 "$log" >&2
            say "fuzz_$t found a fault (exit $status); the input is in $dir"
            exit 1
        fi
    done
}

# A fresh demo classroom: a sample questionnaire, the teacher's program, and
# three pupils' programs once the teacher's first publication is written.
run_demo() {
    # The demo test runs it on a tree it has built already (OMBRA_BUILD_DIR).
    local bin="${OMBRA_BUILD_DIR:-$ROOT/build/dev}"
    local folder="${1:-$bin/demo-classroom}"
    if [ -z "${OMBRA_BUILD_DIR:-}" ]; then
        install_deps
        build dev
    fi
    if ! has_display; then
        say "No display found (DISPLAY and WAYLAND_DISPLAY are not set), so the demo windows cannot open."
        say "Run this from a desktop session, or under a virtual X server: xvfb-run ./dev.sh demo"
        exit 2
    fi
    rm -rf "$folder"
    mkdir -p "$folder"
    "$bin/tools/sample_questionnaire" "$folder/お試しアンケート.txt"
    cd "$folder"
    say "Demo classroom: $folder"
    say "Press OK in the teacher's confirmation. Three pupils' windows open after the first"
    say "publication: sign them in as 1, 2 and 3, then press 再集計, or open お試しアンケート.txt"
    say "(ﾌｧｲﾙ(F) → ファイルを開く) and press つぎへ."
    "$bin/teacher/Teacher" &
    local teacher=$!
    while [ ! -f Data/LVQ50.txt ]; do
        kill -0 "$teacher" 2>/dev/null || { say "The teacher's program ended before publishing."; exit 0; }
        sleep 0.2
    done
    local pupils=()
    for _ in 1 2 3; do
        "$bin/student/ｱﾝｹｰﾄ" &
        pupils+=($!)
    done
    wait "$teacher" || true
    # The teacher's program ends the pupils' programs at closing; wait for them.
    wait "${pupils[@]}" 2>/dev/null || true
}

package() {
    install_deps
    local dir="$ROOT/build/package"
    build package
    (cd "$dir" && cpack -G DEB)
    local deb
    deb="$(ls "$dir"/ombra_*.deb)"
    say "Package: $deb"
    if [ "${1:-}" = "--check" ]; then
        # Installs it and starts both programs from their menu entries.
        "$ROOT/tests/system/check_package.sh" "$deb"
    fi
}

# apt-get source needs Debian's source index: a deb-src twin of the system's
# own entries, added once.
enable_deb_src() {
    grep -Eqs '^(Types:.*deb-src|deb-src )' /etc/apt/sources.list /etc/apt/sources.list.d/* &&
        return 0
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    say "Adding Debian's source packages (deb-src) to apt's sources"
    if [ -f /etc/apt/sources.list.d/debian.sources ]; then
        sed 's/^Types:.*/Types: deb-src/' /etc/apt/sources.list.d/debian.sources |
            "${sudo[@]}" tee /etc/apt/sources.list.d/ombra-deb-src.sources >/dev/null
    else
        grep -E '^deb ' /etc/apt/sources.list | sed 's/^deb /deb-src /' |
            "${sudo[@]}" tee /etc/apt/sources.list.d/ombra-deb-src.list >/dev/null
    fi
    "${sudo[@]}" apt-get update -qq
}

# Cross-builds both programs and their tests for Windows with a Qt built once
# into the cache, runs the tests and a lesson under wine, and leaves the zip
# and the installer in dist/. The tablet gateway comes in when the sources of
# its libraries can be had (packaging/windows/build_gateway_libs.sh).
windows() {
    install_deps "${WINDOWS_PACKAGES[@]}"
    enable_deb_src
    export OMBRA_WINDOWS_CACHE="$WINDOWS_CACHE"
    local start=$SECONDS qt libs
    qt="$(nice -n 5 "$ROOT/packaging/windows/build_qt.sh" "$WINDOWS_CACHE")"
    local qt_time=$((SECONDS - start))
    libs="$(nice -n 5 "$ROOT/packaging/windows/build_gateway_libs.sh" "$WINDOWS_CACHE" "$qt")"
    local libs_time=$((SECONDS - start - qt_time))

    local dir="$ROOT/build/windows"
    # A build made with another Qt or other gateway libraries (a recipe
    # changed, the gateway came or went) starts anew.
    if [ "$(cat "$dir/qt-prefix" 2>/dev/null)" != "$qt $libs" ]; then
        rm -rf "$dir"
    fi
    export OMBRA_WINDOWS_QT="$qt" OMBRA_WINDOWS_GATEWAY_LIBS="$libs"
    build windows
    echo "$qt $libs" >"$dir/qt-prefix"
    local build_time=$((SECONDS - start - qt_time - libs_time))

    OMBRA_QT_PREFIX="$qt" "$ROOT/packaging/windows/test_windows.sh" "$dir"
    local test_time=$((SECONDS - start - qt_time - libs_time - build_time))

    local stage="$dir/stage" version
    version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$dir/CMakeCache.txt")"
    rm -rf "$stage"
    cmake --install "$dir" --prefix "$stage" >/dev/null
    rm -f "$ROOT"/dist/ombra-*-windows*
    python3 "$ROOT/packaging/windows/make_dist.py" "$stage" "$ROOT/dist" "$version"
    "$ROOT/tests/system/check_lesson_windows.sh" "$ROOT/dist/ombra-$version-windows.zip" \
        "$dir/screenshots"
    "$ROOT/tests/system/check_installer.sh" "$ROOT/dist/ombra-$version-windows-setup.exe"
    local check_time=$((SECONDS - start - qt_time - libs_time - build_time - test_time))
    local gateway="with the tablet gateway"
    if [ -z "$libs" ]; then
        cat "$WINDOWS_CACHE/gateway-missing.txt" >&2
        gateway="WITHOUT the tablet gateway (its sources are missing, as said above)"
    fi
    say "Windows, $gateway: Qt $qt_time s, the gateway's libraries $libs_time s, programs and" \
        "tests built $build_time s, tests under wine $test_time s, packages and lesson" \
        "$check_time s; screenshots in $dir/screenshots"
}

usage() {
    cat <<'USAGE'
Usage:
  ./dev.sh test [--sanitize]   install what is missing, build, run every test (offscreen)
  ./dev.sh teacher [FOLDER]    build if needed, start the teacher's program in FOLDER
  ./dev.sh student [FOLDER]    build if needed, start the pupil's program in FOLDER
  ./dev.sh fuzz [SECONDS]      run each fuzz target for SECONDS (default 60)
  ./dev.sh demo [FOLDER]       a fresh demo classroom: teacher's program and three pupils
  ./dev.sh package [--check]   build the Debian package (build/package/*.deb); --check
                               installs it and starts both programs from the menu entries
  ./dev.sh screenshots         take the README's screenshots under a virtual X server
  ./dev.sh windows             cross-build both programs for Windows (Qt is built once
                               into ~/.cache/ombra-windows; the tablet gateway too when
                               its sources are at hand), test them under wine, and
                               make dist/ombra-*-windows.zip and the installer
FOLDER defaults to build/dev/classroom; start the teacher's program there first.
USAGE
}

cmd="${1:-help}"
[ $# -gt 0 ] && shift
case "$cmd" in
test)
    install_deps "${TEST_PACKAGES[@]}"
    if [ "${1:-}" = "--sanitize" ]; then
        run_tests asan
    else
        run_tests dev
    fi
    ;;
teacher) start_program teacher "teacher/Teacher" "${1:-}" ;;
student) start_program student "student/ｱﾝｹｰﾄ" "${1:-}" ;;
fuzz) run_fuzzers "${1:-60}" ;;
demo) run_demo "${1:-}" ;;
package) package "${1:-}" ;;
screenshots)
    install_deps "${SCREENSHOT_PACKAGES[@]}"
    build dev
    "$ROOT/tools/screenshots.sh" "$ROOT/build/dev" "$ROOT/docs"
    ;;
windows) windows ;;
help | -h | --help) usage ;;
*)
    usage
    exit 1
    ;;
esac
