"""The command that starts a program of a build, for the checks that drive
the real gateway, and the port the gateway took. A Windows build keeps its programs at its top, beside the
DLLs, and runs them under wine (the browsers and raw clients stay on Linux
and reach them on 127.0.0.1)."""

import os
import re

HERE = os.path.dirname(os.path.abspath(__file__))


def program(build, *path):
    windows = os.path.join(build, path[-1] + ".exe")
    if os.path.exists(windows):
        return [os.path.join(HERE, "..", "..", "packaging", "windows", "run_under_wine.sh"), windows]
    return [os.path.join(build, *path)]


def gateway_port(first_line):
    """The port in ombra-gateway's first console line, its address, or None.
    The checks start it on port 0 so that it takes a free port itself: a
    port found free beforehand may be taken by another test meanwhile."""
    found = re.search(r":(\d+)/", first_line)
    return int(found.group(1)) if first_line.startswith("アドレス: http://") and found else None
