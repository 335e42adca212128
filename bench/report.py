#!/usr/bin/env python3
"""Runs the benchmarks and start-up drivers of a Release build and prints the
performance report as one Markdown table.

Every measurement stands next to its floor, measured in the same run: the bare
cost of the same file operations, the bare repaint of the same bar, or a bare
Qt process that shows one empty window. Called by bench/report.sh, which
builds the drivers first.
"""

import argparse
import datetime
import json
import os
import platform
import statistics
import subprocess
import sys
import tempfile
import time

# (name in the JSON, what it is)
LESSON_ROWS = [
    ("lessonCollectTick", "One answer poll (`CollectAnswers`, 51 answer files)",
     "collectFloor", "open, read, close the 51 files (QFile)"),
    ("lessonPublish", "One publication (`PublishToSeats`, 102 files)",
     "publishFloor", "open/truncate, write, close the 102 files (QFile)"),
    ("questionnaireLoad", "Loading a questionnaire of 31 questions (`SFileLoad`)",
     "questionnaireReadFloor", "open, read, close the file (QFile)"),
    ("countGraphRedraw", "Count-graph redraw, one bar changed (draw, `refresh()`, repaint)",
     "countGraphRepaintFloor", "repaint of that bar and its count label"),
    ("percentGraphRedraw", "Percent-graph redraw, one bar changed (draw, `refresh()`, repaint)",
     "percentGraphRepaintFloor", "repaint of that bar and its count label"),
]


def say(text):
    print(text, file=sys.stderr, flush=True)


def format_time(ns):
    if ns < 1e3:
        return f"{ns:.0f} ns"
    if ns < 1e6:
        return f"{ns / 1e3:.1f} µs"
    if ns < 1e9:
        return f"{ns / 1e6:.2f} ms"
    return f"{ns / 1e9:.2f} s"


def format_memory(kib):
    return f"{kib / 1024:.1f} MiB"


def run_lesson_benchmarks(bench_dir, work_dir, repetitions):
    out = os.path.join(work_dir, "lesson.json")
    command = [
        os.path.join(bench_dir, "bench_lesson"),
        f"--benchmark_repetitions={repetitions}",
        "--benchmark_report_aggregates_only=true",
        # Repetitions of all benchmarks run in random order, so that a busy
        # moment of the machine falls on a measurement and its floor alike.
        "--benchmark_enable_random_interleaving=true",
        f"--benchmark_out={out}",
        "--benchmark_out_format=json",
    ]
    say("Running " + " ".join(command))
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen")
    result = subprocess.run(command, env=env, cwd=work_dir, stdout=subprocess.DEVNULL,
                            stderr=subprocess.PIPE, text=True, check=False)
    if result.returncode != 0:
        sys.exit(f"bench_lesson failed ({result.returncode}):\n{result.stderr}")
    with open(out, encoding="utf-8") as f:
        data = json.load(f)
    medians = {}
    errors = []
    for run in data["benchmarks"]:
        if run.get("error_occurred"):
            errors.append(f"{run['name']}: {run.get('error_message', '')}")
            continue
        if run.get("aggregate_name") != "median":
            continue
        unit = {"ns": 1, "us": 1e3, "ms": 1e6, "s": 1e9}[run.get("time_unit", "ns")]
        # "lessonPublish/real_time" and the like: the function name is the key.
        medians[run["run_name"].split("/")[0]] = run["real_time"] * unit
    if errors:
        sys.exit("benchmarks failed:\n" + "\n".join(errors))
    return medians, data.get("context", {})


def spawn_and_wait(command, cwd, env):
    """Wall-clock seconds from spawn to exit, and the child's peak RSS in KiB."""
    with tempfile.TemporaryFile() as errors:
        start = time.perf_counter()
        child = subprocess.Popen(command, cwd=cwd, env=env, stdout=subprocess.DEVNULL,
                                 stderr=errors)
        _, status, usage = os.wait4(child.pid, 0)
        elapsed = time.perf_counter() - start
        child.returncode = os.waitstatus_to_exitcode(status)
        if child.returncode != 0:
            errors.seek(0)
            sys.exit(f"{command[0]} ended with {child.returncode}:\n"
                     + errors.read().decode(errors="replace"))
    return elapsed, usage.ru_maxrss  # kilobytes on Linux


def time_start_up(driver, folder, env, runs):
    say(f"Timing {os.path.basename(driver)}, {runs} runs")
    spawn_and_wait([driver], folder, env)  # warm the page cache
    times, peaks = [], []
    for _ in range(runs):
        elapsed, peak = spawn_and_wait([driver], folder, env)
        times.append(elapsed * 1e9)
        peaks.append(peak)
    return statistics.median(times), max(peaks)


def run_start_ups(bench_dir, work_dir, runs):
    classroom = os.path.join(work_dir, "classroom")
    config = os.path.join(work_dir, "config")
    runtime = os.path.join(work_dir, "runtime")
    for path in (classroom, config, runtime):
        os.makedirs(path, mode=0o700, exist_ok=True)
    # The pupil's settings store and Qt's runtime folder stay inside the
    # temporary folder, away from the user's own.
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", XDG_CONFIG_HOME=config,
               XDG_RUNTIME_DIR=runtime)
    driver = lambda name: os.path.join(bench_dir, name)
    results = {}
    results["bare"] = time_start_up(driver("bench_bare_start"), classroom, env, runs)
    # The teacher's program goes first: the pupil's program needs the
    # command files it publishes.
    results["teacher"] = time_start_up(driver("bench_teacher_start"), classroom, env, runs)
    results["student"] = time_start_up(driver("bench_student_start"), classroom, env, runs)
    return results


def machine_line():
    cpu = platform.processor() or "unknown CPU"
    try:
        with open("/proc/cpuinfo", encoding="utf-8") as f:
            for line in f:
                if line.startswith("model name"):
                    cpu = line.split(":", 1)[1].strip()
                    break
    except OSError:
        pass
    system = platform.system()
    try:
        with open("/etc/os-release", encoding="utf-8") as f:
            for line in f:
                if line.startswith("PRETTY_NAME="):
                    system = line.split("=", 1)[1].strip().strip('"')
                    break
    except OSError:
        pass
    cores = os.cpu_count()
    today = datetime.date.today().isoformat()
    return (f"Machine: {cpu}, {cores} cores, {system} (Linux {platform.release()}); "
            f"{today}.")


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("build_dir", help="Release build directory with the bench targets")
    parser.add_argument("--runs", type=int, default=10, help="runs per start-up driver")
    parser.add_argument("--repetitions", type=int, default=5,
                        help="repetitions of each benchmark (the median is reported)")
    args = parser.parse_args()
    bench_dir = os.path.join(os.path.abspath(args.build_dir), "bench")

    load = os.getloadavg()[0]
    with tempfile.TemporaryDirectory(prefix="ombra-report-") as work_dir:
        medians, context = run_lesson_benchmarks(bench_dir, work_dir, args.repetitions)
        starts = run_start_ups(bench_dir, work_dir, args.runs)

    rows = []
    for name, what, floor_name, floor_what in LESSON_ROWS:
        value, floor = medians[name], medians[floor_name]
        rows.append((what, format_time(value), floor_what, format_time(floor),
                     f"{value / floor:.2f}"))
    bare_time, bare_peak = starts["bare"]
    floor_what = "bare Qt Widgets process showing one empty window"
    for key, what in (("teacher", "Start-up of `Teacher` to its first publication"),
                      ("student", "Start-up of `ｱﾝｹｰﾄ` to its answer panel")):
        value, _ = starts[key]
        rows.append((f"{what} (whole process, median of {args.runs})", format_time(value),
                     floor_what, format_time(bare_time), f"{value / bare_time:.2f}"))
    for key, what in (("teacher", "Peak memory (max RSS) of `Teacher` to its first publication"),
                      ("student", "Peak memory (max RSS) of `ｱﾝｹｰﾄ` to its answer panel")):
        _, peak = starts[key]
        rows.append((what, format_memory(peak), floor_what, format_memory(bare_peak),
                     f"{peak / bare_peak:.2f}"))

    print(machine_line())
    build = context.get("library_build_type")
    print(f"Release build; benchmark times are medians of {args.repetitions} repetitions "
          f"in random order (Google Benchmark{', library built as ' + build if build else ''}), start-ups are "
          f"wall clock from spawn to exit on the offscreen platform; load average {load:.2f} "
          f"when the run began.")
    print()
    print("| Measurement | Value | Floor | Floor value | Ratio |")
    print("|---|---:|---|---:|---:|")
    for row in rows:
        print("| " + " | ".join(row) + " |")


if __name__ == "__main__":
    main()
