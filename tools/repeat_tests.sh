#!/usr/bin/env bash
# Runs ./dev.sh test RUNS times in a row on a fresh clone of this checkout's
# HEAD, with every core kept busy by a busy loop, and counts
# the failures of each test. A test that fails one run in six fails CI, so a
# change is not done while this finds anything.
# Usage: tools/repeat_tests.sh [RUNS] [--sanitize] [--idle]
#   --idle   no load beside the tests
set -euo pipefail
runs=10
mode=()
load=1
for arg in "$@"; do
    case "$arg" in
    --sanitize) mode=(--sanitize) ;;
    --idle) load=0 ;;
    *) runs="$arg" ;;
    esac
done
source_tree="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
work="$(mktemp -d "${TMPDIR:-/tmp}/ombra-repeat-XXXXXX")"
git clone -q "$source_tree" "$work/clone"
cd "$work/clone"

loaders=()
stop_load() {
    [ ${#loaders[@]} -gt 0 ] && kill "${loaders[@]}" 2>/dev/null
    wait 2>/dev/null || true
}
trap stop_load EXIT
if [ "$load" -eq 1 ]; then
    for _ in $(seq "$(nproc)"); do
        sh -c 'while :; do :; done' &
        loaders+=($!)
    done
fi

passed=0
for run in $(seq "$runs"); do
    log="$work/run$run.log"
    start=$SECONDS
    if ./dev.sh test "${mode[@]}" >"$log" 2>&1; then
        passed=$((passed + 1))
        echo "run $run: passed in $((SECONDS - start)) s"
    else
        echo "run $run: FAILED in $((SECONDS - start)) s: $(grep -E '^\s+[0-9]+ - ' "$log" | awk '{print $3}' | tr '\n' ' ')"
    fi
done
echo "$passed of $runs runs passed; logs in $work"
echo "failures by test:"
cat "$work"/run*.log | grep -E '^\s+[0-9]+ - ' | awk '{print $3}' | sort | uniq -c | sort -rn || echo "  none"
[ "$passed" -eq "$runs" ]
