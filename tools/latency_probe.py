#!/usr/bin/env python3
"""Measures how long a change in a file takes to show on the screen of a
virtual X server started with -fbdir: rewrites FILE alternately with two
contents and, after each write, watches one pixel of the screen until it
changes. Prints the count, median, 95th percentile and maximum in ms.

Usage: latency_probe.py FRAMEBUFFER X Y FILE HEX_A HEX_B RUNS
       latency_probe.py FRAMEBUFFER X Y --run COMMAND_A COMMAND_B RUNS
With --run the two shell commands take turns instead of the writes (a click
with xdotool, say); the time runs from just before each command.
"""
import mmap
import random
import statistics
import struct
import subprocess
import sys
import time


def main():
    fb_path, x, y, path, hex_a, hex_b, runs = sys.argv[1:8]
    x, y, runs = int(x), int(y), int(runs)
    if path == "--run":
        actions = [lambda: subprocess.run(hex_a, shell=True, check=False),
                   lambda: subprocess.run(hex_b, shell=True, check=False)]
    else:
        contents = [bytes.fromhex(hex_a), bytes.fromhex(hex_b)]

        def write(data):
            with open(path, "wb") as out:
                out.write(data)
        actions = [lambda: write(contents[0]), lambda: write(contents[1])]
    with open(fb_path, "rb") as fb_file:
        fb = mmap.mmap(fb_file.fileno(), 0, access=mmap.ACCESS_READ)
        header = struct.unpack(">25I", fb[:100])
        header_size, bits_per_pixel, bytes_per_line, ncolors = (
            header[0], header[11], header[12], header[19])
        offset = header_size + ncolors * 12 + y * bytes_per_line + x * bits_per_pixel // 8

        def pixel():
            return fb[offset:offset + 3]

        latencies = []
        misses = 0
        for run in range(runs + 1):
            # Quiet for a while, out of step with any 500 ms timer.
            time.sleep(random.uniform(0.15, 0.4))
            before = pixel()
            start = time.perf_counter()
            actions[run % 2]()
            while pixel() == before:
                if time.perf_counter() - start > 3:
                    break
                time.sleep(0.0002)
            elapsed = (time.perf_counter() - start) * 1000
            if elapsed > 3000:
                misses += 1
            elif run > 0:  # the first run only sets the known state
                latencies.append(elapsed)
        latencies.sort()
        p95 = latencies[max(0, int(len(latencies) * 0.95) - 1)]
        print("n=%d median=%.1f p95=%.1f max=%.1f misses=%d" % (
            len(latencies), statistics.median(latencies), p95, latencies[-1], misses))
        return 0 if misses == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
