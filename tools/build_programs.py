"""The command that starts a program of a build, for the checks that drive
the real gateway. A Windows build keeps its programs at its top, beside the
DLLs, and runs them under wine (the browsers and raw clients stay on Linux
and reach them on 127.0.0.1)."""

import os

HERE = os.path.dirname(os.path.abspath(__file__))


def program(build, *path):
    windows = os.path.join(build, path[-1] + ".exe")
    if os.path.exists(windows):
        return [os.path.join(HERE, "windows", "run_under_wine.sh"), windows]
    return [os.path.join(build, *path)]
