# The logging of the Windows build recipes (build_qt.sh and
# build_gateway_libs.sh), which source this: every step of a build goes to
# the log BUILD_LOG, and a failing step prints the log's last lines and its
# path, names what failed (BUILD_WHAT, "The Qt build" say) and ends the script.

say() { printf '%s\n' "$*" >&2; }

step() {
    "$@" >>"$BUILD_LOG" 2>&1 && return 0
    tail -n 40 "$BUILD_LOG" >&2
    say "$BUILD_WHAT failed ($*); the whole log is $BUILD_LOG"
    exit 1
}

# After a build into the cache's prefix PREFIX with its log LOG: the cache's
# other entries named like them (KIND-*), earlier recipes' builds and logs,
# are of no further use.
drop_earlier_builds() {
    local kind="$1" prefix="$2" log="$3" old
    for old in "$(dirname "$prefix")/$kind"-*; do
        [ "$old" = "$prefix" ] || [ "$old" = "$log" ] || rm -rf "$old"
    done
}
