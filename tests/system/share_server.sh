#!/usr/bin/env bash
# A private Samba server on a loopback address and its share mounted through
# the SMB clients a school's Linux PCs use, each mount as one PC sees it.
#
# Run it to try the programs on a share by hand:
#   tests/system/share_server.sh [FOLDER]   serves FOLDER/share (default: a new
#                                    temporary folder), mounts it twice through
#                                    smbnetfs and once through gvfs where it
#                                    can, prints the paths, and stops on Ctrl-C
# Or source it (the tests do) and call:
#   share_start DIR           make DIR/share and serve it as [class] on
#                             127.0.0.1:SHARE_PORT; returns 77 with a reason on stderr
#                             when the machine cannot (no FUSE, no Samba)
#   share_mount_smbnetfs NAME mount it through smbnetfs at DIR/NAME; sets
#                             SHARE_PATH to the share's folder there
#   share_mount_gvfs NAME     the same through gvfs-fuse, headless, under its
#                             own D-Bus session; fails with a reason
#   share_mount_cifs NAME     the same through the kernel's client; fails with
#                             a reason (most containers refuse the mount)
#   share_freeze / share_thaw stop and continue every process of the server
#   share_requests            the SMB2 requests served so far (smbd profiling)
#   share_stop                unmount everything, end what was started
# Every process is ended by the id it was started with; smbd by its pid file.

SHARE_DIR=""
SHARE_PORT=""
SHARE_PATH=""
SHARE_MOUNTS=()  # mount points, unmounted in reverse order
SHARE_PIDS=()    # FUSE clients and helper daemons started here
SHARE_GROUPS=()  # the same, each ended with the process group it leads

share_say() { printf 'share: %s\n' "$*" >&2; }

# A free TCP port on 127.0.0.1 (smbd binds only to addresses an interface
# has): another server on 445, or another test's, is left alone.
share_free_port() {
    local listening port
    listening="$(ss -Hltn 2>/dev/null | awk '{print $4}')"
    for port in $(seq $((RANDOM % 1000 + 44500)) 45600); do
        grep -qE ":$port\$" <<<"$listening" || { echo "$port"; return 0; }
    done
    return 1
}

share_start() {
    SHARE_DIR="$1"
    local tool
    for tool in smbd smbstatus smbnetfs fusermount; do
        command -v "$tool" >/dev/null 2>&1 || {
            share_say "$tool is not installed (./dev.sh test installs it)"
            return 77
        }
    done
    if [ ! -c /dev/fuse ]; then
        share_say "this machine has no /dev/fuse, so no FUSE SMB client can mount the share"
        return 77
    fi
    SHARE_PORT="$(share_free_port)" || { share_say "no free port on 127.0.0.1"; return 1; }
    local d="$SHARE_DIR/server"
    mkdir -p "$d"/{state,lock,private,cache,pid,ncalrpc,binddns} "$SHARE_DIR/share"
    cat >"$d/smb.conf" <<EOF
[global]
    server role = standalone server
    interfaces = 127.0.0.1
    bind interfaces only = yes
    smb ports = $SHARE_PORT
    disable netbios = yes
    state directory = $d/state
    lock directory = $d/lock
    private dir = $d/private
    cache directory = $d/cache
    pid directory = $d/pid
    ncalrpc dir = $d/ncalrpc
    binddns dir = $d/binddns
    log file = $d/smbd.log
    max log size = 0
    map to guest = Bad User
    load printers = no
    printcap name = /dev/null
    usershare max shares = 0
    smbd profiling level = count
[class]
    path = $SHARE_DIR/share
    read only = no
    guest ok = yes
    force user = root
EOF
    # In a session of its own: at its end smbd signals its whole process
    # group, which would otherwise be the caller's.
    setsid smbd -D -s "$d/smb.conf" --no-process-group || { share_say "smbd did not start"; return 1; }
    local _
    for _ in $(seq 100); do
        smbclient -N -s "$d/smb.conf" -p "$SHARE_PORT" //127.0.0.1/class -c ls >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    share_say "smbd does not answer on 127.0.0.1:$SHARE_PORT:"
    tail -n 20 "$d/smbd.log" >&2
    return 1
}

share_smbd_pid() { cat "$SHARE_DIR"/server/pid/smbd*.pid 2>/dev/null | head -n 1; }

# smbd and every process below it (one per client connection, its helpers).
share_server_pids() {
    local queue pid
    queue="$(share_smbd_pid)"
    while [ -n "$queue" ]; do
        set -- $queue
        pid="$1"
        shift
        queue="$* $(ps -o pid= --ppid "$pid" 2>/dev/null | tr '\n' ' ' || true)"
        queue="${queue# }"
        echo "$pid"
    done
}

share_freeze() { share_server_pids | xargs -r kill -STOP; }
share_thaw() { share_server_pids | xargs -r kill -CONT; }

# The SMB2 requests of all kinds the server has answered (counted by smbd's
# profiling, summed over its processes); smbd writes its counts down about
# once a second.
share_requests() {
    smbstatus -s "$SHARE_DIR/server/smb.conf" -P 2>/dev/null |
        awk -F: '/^smb2_[a-z_]+_count/ {gsub(/ /, "", $2); n += $2} END {print n + 0}'
}

# Waits up to ten seconds for the share to be listed at $1.
share_wait_path() {
    local _
    for _ in $(seq 100); do
        ls "$1" >/dev/null 2>&1 && return 0
        sleep 0.1
    done
    return 1
}

share_mount_smbnetfs() {
    local mnt="$SHARE_DIR/$1" home="$SHARE_DIR/home-$1"
    mkdir -p "$mnt" "$home/.smb"
    printf 'smb_query_browsers false\nauth "guest" ""\n' >"$home/.smb/smbnetfs.conf"
    chmod 600 "$home/.smb/smbnetfs.conf"
    # In the foreground (-f) so that its id is the client's own.
    HOME="$home" smbnetfs "$mnt" -f -o allow_other >"$SHARE_DIR/smbnetfs-$1.log" 2>&1 &
    SHARE_PIDS+=($!)
    SHARE_MOUNTS+=("$mnt")
    # The port goes into the host's name: smbnetfs hands it on in the URL.
    if ! share_wait_path "$mnt/127.0.0.1:$SHARE_PORT/class"; then
        share_say "smbnetfs did not mount the share at $mnt:"
        tail -n 5 "$SHARE_DIR/smbnetfs-$1.log" >&2
        return 1
    fi
    SHARE_PATH="$mnt/127.0.0.1:$SHARE_PORT/class"
}

# gvfs as a desktop mounts smb:// folders: gvfsd on a D-Bus session of its
# own, the share mounted anonymously, gvfsd-fuse showing it as a folder.
share_mount_gvfs() {
    local run="$SHARE_DIR/run-$1" log="$SHARE_DIR/gvfs-$1.log" address pid
    local tool
    for tool in dbus-daemon gio /usr/libexec/gvfsd /usr/libexec/gvfsd-fuse; do
        command -v "$tool" >/dev/null 2>&1 || { share_say "gvfs: $tool is not installed"; return 1; }
    done
    mkdir -p "$run/gvfs"
    chmod 700 "$run"
    {
        read -r address
        read -r pid
    } < <(dbus-daemon --session --fork --print-address=1 --print-pid=1 --nosyslog 2>>"$log")
    [ -n "${pid:-}" ] || { share_say "gvfs: no D-Bus session"; return 1; }
    # The bus leads a group of its own, with the volume monitors it starts.
    SHARE_GROUPS+=("$pid")
    local env=(env DBUS_SESSION_BUS_ADDRESS="$address" XDG_RUNTIME_DIR="$run" GIO_USE_VOLUME_MONITOR=unix)
    # gvfsd leads a process group of its own: the backend it starts for
    # the share (gvfsd-smb) is ended with it.
    setsid "${env[@]}" /usr/libexec/gvfsd --no-fuse >>"$log" 2>&1 &
    SHARE_GROUPS+=($!)
    "${env[@]}" /usr/libexec/gvfsd-fuse "$run/gvfs" -f -o allow_other >>"$log" 2>&1 &
    SHARE_PIDS+=($!)
    SHARE_MOUNTS+=("$run/gvfs")
    share_wait_path "$run/gvfs" && sleep 0.5
    local status=0
    timeout 20 "${env[@]}" gio mount -a "smb://127.0.0.1:$SHARE_PORT/class" </dev/null >>"$log" 2>&1 || status=$?
    local path="$run/gvfs/smb-share:port=$SHARE_PORT,server=127.0.0.1,share=class"
    if [ "$status" -ne 0 ] || ! share_wait_path "$path"; then
        share_say "gvfs did not mount the share headless:"
        tail -n 5 "$log" >&2
        return 1
    fi
    SHARE_PATH="$path"
}

share_mount_cifs() {
    local mnt="$SHARE_DIR/$1" out
    mkdir -p "$mnt"
    if ! out="$(mount -t cifs //127.0.0.1/class "$mnt" -o "guest,port=$SHARE_PORT,actimeo=0" 2>&1)"; then
        share_say "the kernel's cifs client cannot mount here: ${out:-mount refused}"
        return 1
    fi
    SHARE_MOUNTS+=("$mnt")
    SHARE_PATH="$mnt"
}

share_stop() {
    local i mnt pid
    [ -n "$SHARE_DIR" ] || return 0
    # A frozen server would hang every unmount.
    share_thaw 2>/dev/null
    for ((i = ${#SHARE_MOUNTS[@]} - 1; i >= 0; i--)); do
        mnt="${SHARE_MOUNTS[$i]}"
        if mountpoint -q "$mnt" 2>/dev/null; then
            fusermount -u "$mnt" 2>/dev/null || umount "$mnt" 2>/dev/null ||
                fusermount -u -z "$mnt" 2>/dev/null || umount -l "$mnt" 2>/dev/null
        fi
    done
    for pid in "${SHARE_GROUPS[@]}"; do kill -- "-$pid" 2>/dev/null; done
    for pid in "${SHARE_PIDS[@]}"; do kill "$pid" 2>/dev/null; done
    for pid in "${SHARE_GROUPS[@]}" "${SHARE_PIDS[@]}"; do
        for _ in $(seq 30); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null
        wait "$pid" 2>/dev/null
    done
    pid="$(share_smbd_pid)"
    if [ -n "$pid" ]; then
        kill "$pid" 2>/dev/null
        for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
        kill -KILL "$pid" 2>/dev/null
    fi
    SHARE_MOUNTS=()
    SHARE_PIDS=()
    SHARE_GROUPS=()
    return 0
}

if [ "${BASH_SOURCE[0]}" = "$0" ]; then
    set -uo pipefail
    dir="${1:-$(mktemp -d "${TMPDIR:-/tmp}/ombra-share-XXXXXX")}"
    mkdir -p "$dir"
    trap 'share_stop' EXIT
    trap 'exit 0' INT TERM
    share_start "$(cd "$dir" && pwd)" || exit
    echo "Samba serves $SHARE_DIR/share as //127.0.0.1:$SHARE_PORT/class"
    share_mount_smbnetfs teacher && echo "teacher's PC (smbnetfs): $SHARE_PATH"
    share_mount_smbnetfs pupils && echo "pupils' PCs (smbnetfs):  $SHARE_PATH"
    share_mount_gvfs gvfs && echo "a desktop's smb:// (gvfs): $SHARE_PATH"
    share_mount_cifs cifs && echo "the kernel's cifs:        $SHARE_PATH"
    echo "Ctrl-C unmounts and stops the server."
    while :; do
        sleep 3600 &
        wait $!
    done
fi
