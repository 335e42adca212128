#!/usr/bin/env bash
# Builds what the tablet gateway needs beyond qtbase for 64-bit Windows: Qt
# WebSockets and Qt HttpServer of the same Qt version, and libqrencode for the
# QR code, with the mingw-w64 cross compilers, against the Qt that
# build_qt.sh made, into a prefix of their own in the same cache.
#
#   packaging/windows/build_gateway_libs.sh CACHE_DIR QT_PREFIX
#
# Prints the prefix on stdout, or nothing when the sources cannot be had: the
# programs are then built without the gateway, and stderr says which sources
# to put where. Debian has no source package of the two Qt modules and no
# Windows build of libqrencode, so their sources come from their public
# repositories, each at a fixed tag whose commit is checked:
#  1. SOURCES/NAME-TAG.tar, a tar that `git archive` made of the tag (git
#     records the commit in it, which is compared); SOURCES is
#     $OMBRA_GATEWAY_SOURCES, by default CACHE_DIR/src beside Qt's sources;
#  2. else a shallow clone of the tag from the repository, which is archived
#     there for the next time;
#  3. else no gateway.
# The prefix is named after a hash of the recipe: the sources, the options,
# RECIPE_REVISION, the toolchain file and the Qt prefix (itself named after
# its recipe), so that a change to any of them builds anew while an edit of
# what the script says does not. The log is CACHE_DIR/gateway-HASH.log; what
# is missing, when something is, also goes to CACHE_DIR/gateway-missing.txt.
set -euo pipefail

HERE="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
CACHE="${1:?usage: build_gateway_libs.sh CACHE_DIR QT_PREFIX}"
QT="${2:?usage: build_gateway_libs.sh CACHE_DIR QT_PREFIX}"
SRC="${OMBRA_GATEWAY_SOURCES:-$CACHE/src}"
JOBS="$(nproc 2>/dev/null || echo 2)"
TOOLCHAIN="$HERE/mingw-w64.cmake"

# Raised when the build steps below change in a way the options do not show.
RECIPE_REVISION=1
# name, repository, tag and the commit the tag names; built in this order
# (Qt HttpServer takes its WebSocket support from Qt WebSockets).
SOURCES=(
    "qtwebsockets qt/qtwebsockets v6.4.2 ae9a4ad36f5dcbe9e9a68cab9ea15f9f8b5350e3"
    "qthttpserver qt/qthttpserver v6.4.2 7603d016a0154fcf496f5fbcd29af04dbd4e1636"
    "libqrencode fukuchi/libqrencode v4.1.1 715e29fd4cd71b6e452ae0f4e36d917b43122ce8"
)
QT_MODULE_OPTIONS=(
    -DCMAKE_BUILD_TYPE=Release
    -DQT_BUILD_EXAMPLES=OFF
    -DQT_BUILD_TESTS=OFF
    -DQT_HOST_PATH=/usr
    -DQT_HOST_PATH_CMAKE_DIR=/usr/lib/x86_64-linux-gnu/cmake
)
# The library alone, as a DLL: the command-line tool would need libpng.
QRENCODE_OPTIONS=(
    -DCMAKE_BUILD_TYPE=Release
    -DBUILD_SHARED_LIBS=ON
    -DWITH_TOOLS=OFF
    -DWITH_TESTS=OFF
)

# shellcheck source=packaging/windows/build_log.sh
source "$HERE/build_log.sh"

# The commit a tar made by git archive was made of (empty when none).
tar_commit() {
    (cd / && git get-tar-commit-id <"$1") 2>/dev/null || true
}

# Puts SOURCES/NAME-TAG.tar in place from a clone of the tag, when the
# repository can be reached.
clone_source() {
    local name="$1" repo="$2" tag="$3" commit="$4" target="$5" tmp
    tmp="$(mktemp -d)"
    if GIT_TERMINAL_PROMPT=0 timeout 600 git -c http.lowSpeedLimit=1000 -c http.lowSpeedTime=60 \
        clone --quiet --depth 1 --branch "$tag" \
        "https://github.com/$repo.git" "$tmp/$name" >/dev/null 2>&1 &&
        [ "$(git -C "$tmp/$name" rev-parse HEAD)" = "$commit" ]; then
        git -C "$tmp/$name" archive --format=tar -o "$target.part" HEAD && mv "$target.part" "$target"
    fi
    rm -rf "$tmp"
}

mkdir -p "$SRC"
missing=()
for source in "${SOURCES[@]}"; do
    read -r name repo tag commit <<<"$source"
    tar="$SRC/$name-$tag.tar"
    [ "$(tar_commit "$tar")" = "$commit" ] && continue
    clone_source "$name" "$repo" "$tag" "$commit" "$tar"
    [ "$(tar_commit "$tar")" = "$commit" ] || missing+=("$source")
done
# What to do without them, said now and kept for the end of ./dev.sh windows.
note="$CACHE/gateway-missing.txt"
rm -f "$note"
if [ ${#missing[@]} -gt 0 ]; then
    {
        echo "The tablet gateway is left out of the Windows build: these sources are not in"
        echo "$SRC and could not be cloned from GitHub. Put each there as the tar that"
        echo "git archive makes of the tag, from any copy of the repository that holds the tag (a"
        echo "clone made elsewhere, a mirror), then run ./dev.sh windows again; the commit of each tar"
        echo "is checked."
        for source in "${missing[@]}"; do
            read -r name repo tag commit <<<"$source"
            echo "  github:$repo, tag $tag (commit $commit):"
            echo "    git --git-dir=<git directory of $repo> archive --format=tar -o $SRC/$name-$tag.tar $tag"
        done
    } >"$note"
    cat "$note" >&2
    exit 0
fi

hash="$( (basename "$QT"; echo "$RECIPE_REVISION"
    printf '%s\n' "${SOURCES[@]}" "${QT_MODULE_OPTIONS[@]}" "${QRENCODE_OPTIONS[@]}"
    cat "$TOOLCHAIN") | sha256sum | cut -c1-16)"
prefix="$CACHE/gateway-$hash"
if [ -f "$prefix/.complete" ]; then
    echo "$prefix"
    exit 0
fi

log="$CACHE/gateway-$hash.log"
BUILD_LOG="$log" BUILD_WHAT="The build of the gateway's libraries"
work="$CACHE/gateway-build"
say "Building Qt WebSockets, Qt HttpServer and libqrencode for Windows into $prefix (log: $log)."
start=$SECONDS
rm -rf "$work" "$prefix"
: >"$log"
for source in "${SOURCES[@]}"; do
    read -r name repo tag commit <<<"$source"
    mkdir -p "$work/$name"
    step tar -xf "$SRC/$name-$tag.tar" -C "$work/$name"
    module_start=$SECONDS
    if [ "$name" = libqrencode ]; then
        step cmake -S "$work/$name" -B "$work/$name-build" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_INSTALL_PREFIX="$prefix" \
            "${QRENCODE_OPTIONS[@]}"
    else
        # The modules go into a prefix of their own beside Qt's, which the
        # later ones and the programs find through QT_ADDITIONAL_PACKAGES_PREFIX_PATH.
        step cmake -S "$work/$name" -B "$work/$name-build" -G Ninja \
            -DCMAKE_TOOLCHAIN_FILE="$QT/lib/cmake/Qt6/qt.toolchain.cmake" \
            -DQT_CHAINLOAD_TOOLCHAIN_FILE="$TOOLCHAIN" -DCMAKE_INSTALL_PREFIX="$prefix" \
            -DQT_ADDITIONAL_PACKAGES_PREFIX_PATH="$prefix" "${QT_MODULE_OPTIONS[@]}"
    fi
    step cmake --build "$work/$name-build" -j "$JOBS"
    step cmake --install "$work/$name-build"
    say "  $name $tag ($commit) built in $((SECONDS - module_start)) s"
done
rm -rf "$work"
touch "$prefix/.complete"
drop_earlier_builds gateway "$prefix" "$log"
say "The gateway's libraries for Windows built in $((SECONDS - start)) s."
echo "$prefix"
