#!/usr/bin/env bash
# The lesson over a Samba share on loopback beside a local folder, figures
# side by side as one Markdown table (bench/REPORT.md tells what each is):
#  - bench_lesson's publication and answer poll with their floors, its
#    classroom on a local folder, on the smbnetfs mount and on gvfs;
#  - the real programs under a virtual X server (Teacher and seat 50's
#    ｱﾝｹｰﾄ, each on its own mount): 再集計/集計中断 to seat 50's buttons,
#    an answer file written (through the pupils' mount) to the teacher's
#    graph, and the longest stall of each window's event loop (their
#    OMBRA_STALL_PROBE);
#  - SMB requests a second served by smbd (its profiling counters) with
#    the teacher polling alone, and with 50 seats polling besides.
# Usage: bench/share_report.sh [BUILD_DIR]   (default build/release, built
#        with bench/report.sh; a Debug build works, slower)
#   RUNS=N          latency runs of each path (default 40)
#   BENCH_TIMEOUT=S longest run of bench_lesson on one folder (default 240)
ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
# shellcheck source=tests/system/xsession.sh
source "$ROOT/tests/system/xsession.sh"
# shellcheck source=tests/system/share_server.sh
source "$ROOT/tests/system/share_server.sh"
set +e
build="$(cd "${1:-$ROOT/build/release}" && pwd)"
RUNS="${RUNS:-40}"
for program in bench/bench_lesson teacher/Teacher student/ｱﾝｹｰﾄ; do
    [ -x "$build/$program" ] || { echo "no $build/$program: build it first (bench/report.sh builds build/release)"; exit 1; }
done
session_folder
SESSION_AFTER=share_stop
logs="$SESSION_DIR"
share_start "$SESSION_DIR" || exit 1
share_mount_smbnetfs teacher || exit 1
teacher_mount="$SHARE_PATH"
share_mount_smbnetfs pupils || exit 1
pupils_mount="$SHARE_PATH"
gvfs_mount=""
share_mount_gvfs gvfs && gvfs_mount="$SHARE_PATH"
mkdir -p "$logs/local"
declare -A fig # fig[<measurement>,<local|smbnetfs|gvfs>]

# ------------------------------------------------ bench_lesson per folder
bench_on() { # column folder
    local json="$logs/bench-$1.json"
    OMBRA_BENCH_FOLDER="$2" QT_QPA_PLATFORM=offscreen timeout "${BENCH_TIMEOUT:-240}" \
        "$build/bench/bench_lesson" --benchmark_min_time=0.5 --benchmark_out="$json" \
        --benchmark_filter='^(lessonPublish|publishFloor|lessonCollectTick|collectFloor)/' \
        >"$logs/bench-$1.log" 2>&1
    local status=$?
    if [ "$status" -eq 124 ]; then
        fig[note,$1]="bench_lesson did not finish in ${BENCH_TIMEOUT:-240} s"
    elif [ "$status" -ne 0 ]; then
        fig[note,$1]="bench_lesson ended with status $status: $(grep -v '^QStandardPaths' "$logs/bench-$1.log" | tail -n 1)"
    fi
    [ -s "$json" ] || return 0
    local name value
    while read -r name value; do fig[$name,$1]="$value"; done < <(python3 - "$json" <<'EOF'
import json, sys
for b in json.load(open(sys.argv[1]))["benchmarks"]:
    name = b["name"].split("/")[0]
    if b.get("error_occurred"):
        print(name, "failed")
    else:
        print(name, "%.2f ms" % (b["real_time"] * {"ns": 1e-6, "us": 1e-3, "ms": 1}[b["time_unit"]]))
EOF
)
}
bench_on local "$logs/local"
bench_on smbnetfs "$teacher_mount"
[ -n "$gvfs_mount" ] && bench_on gvfs "$gvfs_mount"

# ------------------------------------------- the real programs, per folder
export XVFB_FBDIR="$logs"
start_xvfb || exit 1
export QT_QPA_PLATFORM=xcb XDG_CONFIG_HOME="$logs/config"
fb="$logs/Xvfb_screen0"
title='^オンブラ集計 先生用プログラム$'
probe() { python3 "$ROOT/tools/latency_probe.py" "$@" 2>/dev/null | sed -n 's/.*median=\([0-9.]*\) p95=[0-9.]* max=\([0-9.]*\) misses=\([0-9]*\)/p50 \1 ms, max \2 ms (misses \3)/p'; }
# The program's own share of the longest gap, then the gap as it was.
stall() {
    local ms raw
    ms="$(head -n 1 "$1" 2>/dev/null | tr -dc 0-9)"
    raw="$(sed -n 2p "$1" 2>/dev/null | tr -dc 0-9)"
    if [ -n "$ms" ]; then echo "$ms ms ($raw ms with waits for a processor)"; else echo "(no figure)"; fi
}
# Requests a second over 10 s, and how many of them opened a file.
smb_rate() {
    local before opens_before after opens_after
    before="$(share_requests)"
    opens_before="$(smbstatus -s "$SHARE_DIR/server/smb.conf" -P | awk -F: '/^smb2_create_count/ {print $2 + 0}')"
    sleep 10
    after="$(share_requests)"
    opens_after="$(smbstatus -s "$SHARE_DIR/server/smb.conf" -P | awk -F: '/^smb2_create_count/ {print $2 + 0}')"
    echo "$(((after - before) / 10)) ($(((opens_after - opens_before) / 10)) opens)"
}

# 50 seats poll as the pupil's program does: each opens, reads and closes
# its command file every 500 ms, through folder $2.
smb_class() { # column folder
    python3 - "$2" <<'EOF' &
import sys, time
folder = sys.argv[1]
end = time.monotonic() + 12
while time.monotonic() < end:
    start = time.monotonic()
    for seat in range(1, 51):
        try:
            with open("%s/Data/LVQ%d.ini" % (folder, seat), "rb") as f:
                f.read(1024)
        except OSError:
            pass
        time.sleep(max(0, start + seat * 0.01 - time.monotonic()))
    time.sleep(max(0, start + 0.5 - time.monotonic()))
EOF
    local poller=$!
    sleep 1
    fig[smb_class,$1]="$(smb_rate)"
    wait "$poller"
}

lesson_on() { # column teacher's folder pupils' folder
    local column="$1" pids=""
    cd "$2" || return
    OMBRA_STALL_PROBE="$logs/teacher-$column.stall" session_start "$logs/teacher-$column.log" "$build/teacher/Teacher"
    local teacher_pid=$!
    pids="$teacher_pid"
    cd "$logs" || return
    local login teacher panel
    login="$(wait_windows 'ﾛｸﾞｵﾝ')" || return
    xdotool windowfocus --sync "$login"
    xdotool key Return
    # Up to a minute for the start-up publication.
    for _ in $(seq 600); do
        teacher="$(xdotool search --onlyvisible --name "$title" 2>/dev/null | head -n 1)"
        [ -n "$teacher" ] && [ -f "$3/Data/LVQ50.ini" ] && break
        teacher=""
        sleep 0.1
    done
    if [ -z "$teacher" ]; then
        fig[note,$column]+="${fig[note,$column]:+; }Teacher did not finish its start-up in a minute"
        end_processes "$teacher_pid"
        # The seats' own load still stands; the start-up wrote their files.
        [ "$column" != local ] && smb_class "$column" "$3" && fig[smb_class,$column]+=" (seats alone)"
        return
    fi
    sleep 0.5
    eval "$(xdotool getwindowgeometry --shell "$teacher")"
    local top=$((HEIGHT - 694)) teacher_x=$X teacher_y=$((Y + HEIGHT - 694))
    # "１２３４５", then 再集計.
    xdotool mousemove --window "$teacher" $((336 + 30)) $((top + 612 + 24 + 13)) click 1
    local restart="xdotool mousemove --window $teacher $((712 + 49)) $((top + 612 + 50)) click 1"
    local pause="xdotool mousemove --window $teacher $((816 + 45)) $((top + 612 + 50)) click 1"
    $restart
    sleep 1
    cd "$3" || return
    OMBRA_STALL_PROBE="$logs/pupil-$column.stall" session_start "$logs/pupil-$column.log" "$build/student/ｱﾝｹｰﾄ"
    local pupil_pid=$!
    pids+=" $pupil_pid"
    cd "$logs" || return
    local signin
    signin="$(wait_windows '^オンブラ集計　ログオン$')" || return
    xdotool windowfocus --sync "$signin"
    xdotool type 50
    xdotool key Return
    if ! panel="$(wait_windows '^オンブラ$')"; then
        fig[note,$column]+="${fig[note,$column]:+; }seat 50 could not sign in"
        end_processes $pids
        return
    fi
    xdotool windowmove --sync "$panel" 0 760
    sleep 1.5
    eval "$(xdotool getwindowgeometry --shell "$panel")"
    fig[buttons,$column]="$(probe "$fb" $((X + 50)) $((Y + 175)) --run "$pause" "$restart" "$RUNS")"
    $restart
    sleep 1.5
    fig[graph,$column]="$(probe "$fb" $((teacher_x + 92)) $((teacher_y + 500)) "$3/Data/LVQ1.txt" \
        "$(printf ' 1 \r\n' | od -An -tx1 | tr -d ' \n')" "$(printf ' 0 \r\n' | od -An -tx1 | tr -d ' \n')" "$RUNS")"
    sleep 1.5
    fig[stall,$column]="Teacher $(stall "$logs/teacher-$column.stall"), ｱﾝｹｰﾄ $(stall "$logs/pupil-$column.stall")"
    if [ "$column" != local ]; then
        end_processes "$pupil_pid"
        fig[smb_teacher,$column]="$(smb_rate)"
        smb_class "$column" "$3"
    fi
    end_processes $pids
}
lesson_on local "$logs/local" "$logs/local"
lesson_on smbnetfs "$teacher_mount" "$pupils_mount"

# ------------------------------------------------------------------ report
columns=(local smbnetfs)
[ -n "$gvfs_mount" ] && columns+=(gvfs)
row() { # label key
    local line="| $1 |" c
    for c in "${columns[@]}"; do line+=" ${fig[$2,$c]:-—} |"; done
    echo "$line"
}
echo
echo "Share: Samba $(smbd -V | sed 's/Version //') on 127.0.0.1, its own configuration; clients smbnetfs$([ -n "$gvfs_mount" ] && echo ", gvfs-fuse"); $(date -I); load average $(cut -d' ' -f1 /proc/loadavg) at the end; build $(sed -n 's/^CMAKE_BUILD_TYPE:[A-Z]*=//p' "$build/CMakeCache.txt")."
echo
header="| Measurement |" rule="|---|"
for c in "${columns[@]}"; do header+=" $c |"; rule+="---:|"; done
echo "$header"
echo "$rule"
row "One publication to all 51 seats (\`PublishToSeats\`, 102 files)" lessonPublish
row "Floor: open/truncate, write, close the 102 files" publishFloor
row "One answer poll (\`CollectAnswers\`, 51 files)" lessonCollectTick
row "Floor: open, read, close the 51 files" collectFloor
row "再集計/集計中断 click to seat 50's buttons (real programs, $RUNS runs)" buttons
row "Answer file written to the teacher's graph ($RUNS runs; local has change notification)" graph
row "Longest event-loop stall over that lesson (stall probes)" stall
row "SMB requests a second (smb2 requests; opens), teacher polling alone" smb_teacher
row "SMB requests a second, teacher and 50 seats polling their command files" smb_class
for c in "${columns[@]}"; do
    [ -n "${fig[note,$c]:-}" ] && echo "- $c: ${fig[note,$c]}"
done
exit 0
