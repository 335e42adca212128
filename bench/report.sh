#!/usr/bin/env bash
# Builds the Release configuration if needed, runs the benchmarks and the
# start-up drivers, and prints the performance report as one Markdown table.
#
# Usage: bench/report.sh [BUILD_DIR]
#   BUILD_DIR  Release build directory (default build/release); configured
#              with -DCMAKE_BUILD_TYPE=Release when it does not exist yet.
#   RUNS=N     runs of each start-up driver (default 10)
#   REPETITIONS=N  repetitions of each benchmark (default 5)
set -euo pipefail

ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
BUILD="${1:-$ROOT/build/release}"
RUNS="${RUNS:-10}"
REPETITIONS="${REPETITIONS:-5}"
JOBS="$(nproc 2>/dev/null || echo 2)"
TARGETS=(bench_lesson bench_teacher_start bench_student_start bench_bare_start)

say() { printf '%s\n' "$*" >&2; }

case "${1:-}" in
-h | --help)
    sed -n '2,10s/^# \{0,1\}//p' "${BASH_SOURCE[0]}"
    exit 0
    ;;
esac

if [ -f "$BUILD/CMakeCache.txt" ]; then
    type="$(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$BUILD/CMakeCache.txt")"
    if [ "$type" != "Release" ]; then
        say "$BUILD is a '${type:-unset}' build; the report needs a Release build."
        say "Give another directory, or configure it with -DCMAKE_BUILD_TYPE=Release."
        exit 1
    fi
else
    generator=()
    command -v ninja >/dev/null 2>&1 && generator=(-G Ninja)
    cmake -S "$ROOT" -B "$BUILD" "${generator[@]}" -DCMAKE_BUILD_TYPE=Release >&2
fi

build_args=()
for target in "${TARGETS[@]}"; do build_args+=(--target "$target"); done
if ! cmake --build "$BUILD" -j "$JOBS" "${build_args[@]}" >&2; then
    say "Building the benchmarks failed. They need Google Benchmark (Debian: libbenchmark-dev)"
    say "and OMBRA_BENCH=ON."
    exit 1
fi

exec python3 "$ROOT/bench/report.py" "$BUILD" --runs "$RUNS" --repetitions "$REPETITIONS"
