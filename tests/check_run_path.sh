#!/bin/sh
# The programs run with the classroom folder, which every pupil can write
# to, as their working directory: no entry of their run path may be empty
# (the working directory to the loader) or relative.
# Usage: check_run_path.sh PROGRAM...
status=0
for program in "$@"; do
    paths="$(readelf -d "$program" | sed -n 's/.*R\(UN\)\{0,1\}PATH.*\[\(.*\)\]$/\2/p')"
    [ -z "$paths" ] && continue
    # Each entry, the empty ones too, on a line of its own.
    if printf '%s\n' "$paths" | tr ':' '\n' | grep -qvE '^(/|\$ORIGIN)'; then
        echo "$program: run path [$paths] holds an empty or relative entry"
        status=1
    fi
done
exit $status
