#!/usr/bin/env bash
# Builds Qt's base module (Core, Gui, Widgets, Test and the windows platform
# plugin) for 64-bit Windows from Debian's source package, with the mingw-w64
# cross compilers, into a cache outside the checkout.
#
#   packaging/windows/build_qt.sh CACHE_DIR     prints the Qt prefix on stdout
#
# The prefix is named after a hash of the recipe (the source package and
# version, the options below, the toolchain file and the patch), so a changed
# recipe builds anew and an unchanged one is reused. The build log is
# CACHE_DIR/qt-HASH.log; a build cut short goes on where it stopped.
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
CACHE="${1:?usage: build_qt.sh CACHE_DIR}"
JOBS="$(nproc 2>/dev/null || echo 2)"

QT_SOURCE_PACKAGE=qt6-base
QT_VERSION=6.4.2
TOOLCHAIN="$HERE/mingw-w64.cmake"
PATCHES=("$HERE/qtbase-directwrite.patch")

# Only what the programs and their tests use; Network is for the gateway's
# modules. The system copies of the third-party libraries do not exist for
# the target, so the bundled ones are built. tabletevent needs a header that
# Debian's source leaves out; TLS comes from Windows' own schannel, not from
# OpenSSL. dynamicgl stays on by itself with opengl off, and the windows
# plugin then fails to compile.
QT_OPTIONS=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=ON
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    -DQT_BUILD_BENCHMARKS=OFF
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
    -DFEATURE_system_zlib=OFF -DFEATURE_system_pcre2=OFF -DFEATURE_system_harfbuzz=OFF
    -DFEATURE_system_freetype=OFF -DFEATURE_system_png=OFF -DFEATURE_system_jpeg=OFF
    -DFEATURE_system_doubleconversion=OFF -DFEATURE_system_libb2=OFF
    -DFEATURE_sql=OFF -DFEATURE_xml=OFF -DFEATURE_dbus=OFF -DFEATURE_network=ON
    -DFEATURE_printsupport=OFF -DFEATURE_concurrent=OFF
    -DFEATURE_opengl=OFF -DFEATURE_dynamicgl=OFF -DFEATURE_vulkan=OFF
    -DFEATURE_openssl=OFF -DFEATURE_schannel=ON
    -DFEATURE_icu=OFF -DFEATURE_zstd=OFF
    -DFEATURE_tabletevent=OFF -DFEATURE_direct2d=OFF
)

# shellcheck source=packaging/windows/build_log.sh
source "$HERE/build_log.sh"

hash="$( (echo "$QT_SOURCE_PACKAGE $QT_VERSION" "${QT_OPTIONS[@]}"; cat "$TOOLCHAIN" "${PATCHES[@]}") |
    sha256sum | cut -c1-16)"
prefix="$CACHE/qt-$hash"
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

mkdir -p "$CACHE/src"
log="$CACHE/qt-$hash.log"
BUILD_LOG="$log" BUILD_WHAT="The Qt build"
work="$CACHE/build"
source_dir="$work/qtbase-everywhere-src-$QT_VERSION"
say "Building Qt $QT_VERSION for Windows into $prefix (log: $log); this takes 30 to 60 minutes."
start=$SECONDS
if ! ls "$CACHE"/src/qt6-base_"$QT_VERSION"*.orig.tar.* >/dev/null 2>&1; then
    step bash -c 'cd "$1" && apt-get source --download-only "$2"' - "$CACHE/src" "$QT_SOURCE_PACKAGE"
fi
# A build of this recipe that was cut short goes on where it stopped.
if [ "$(cat "$work/recipe" 2>/dev/null)" != "$hash" ]; then
    rm -rf "$work" "$prefix"
    mkdir -p "$work"
    step tar -xf "$(ls "$CACHE"/src/qt6-base_"$QT_VERSION"*.orig.tar.*)" -C "$work"
    for p in "${PATCHES[@]}"; do
        step patch -d "$source_dir" -p1 -i "$p"
    done
    echo "$hash" >"$work/recipe"
fi
step cmake -S "$source_dir" -B "$work/build" -G Ninja \
    -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_INSTALL_PREFIX="$prefix" "${QT_OPTIONS[@]}"
step cmake --build "$work/build" -j "$JOBS"
step cmake --install "$work/build"
rm -rf "$work"
touch "$prefix/.complete"
drop_earlier_builds qt "$prefix" "$log"
say "Qt for Windows built in $(((SECONDS - start) / 60)) min."
echo "$prefix"
