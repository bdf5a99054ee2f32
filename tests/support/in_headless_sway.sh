#!/usr/bin/env bash
# in_headless_sway.sh COMMAND [ARG...]
# Runs COMMAND as a client of a fresh headless sway started for it, and stops
# sway afterwards whatever happens. COMMAND finds the compositor through
# WAYLAND_DISPLAY (an absolute socket path) and sway's own commands through
# SWAYSOCK. Exits with COMMAND's status, or 77 (skipped) without sway.
#
# sway refuses to run as root: as root, it runs as the unprivileged user
# pomorina-sway, made here the first time.
set -euo pipefail

if ! command -v sway >/dev/null 2>&1; then
    echo "sway is not installed: skipped"
    exit 77
fi

sway_user=pomorina-sway
as_sway=()
if [ "$(id -u)" -eq 0 ]; then
    # Another run may be making it at the same moment.
    id -u "$sway_user" >/dev/null 2>&1 || useradd -M -s /usr/sbin/nologin "$sway_user" ||
        id -u "$sway_user" >/dev/null
    as_sway=(runuser -u "$sway_user" --)
fi

# sway's runtime folder, private to the user it runs as; the command gets
# one of its own.
sway_dir=$(mktemp -d "${TMPDIR:-/tmp}/pomorina-sway.XXXXXX")
client_dir=$(mktemp -d "${TMPDIR:-/tmp}/pomorina-client.XXXXXX")
chmod 0700 "$sway_dir" "$client_dir"
printf 'output HEADLESS-1 resolution 1280x1024\nxwayland disable\n' >"$sway_dir/config"
if [ "${#as_sway[@]}" -gt 0 ]; then
    chown -R "$sway_user:" "$sway_dir"
fi

launcher=
stop_sway() {
    if [ -s "$sway_dir/pid" ]; then
        kill "$(cat "$sway_dir/pid")" 2>/dev/null || true
    fi
    if [ -n "$launcher" ]; then
        wait "$launcher" 2>/dev/null || true
    fi
    rm -rf "$sway_dir" "$client_dir"
}
trap stop_sway EXIT

"${as_sway[@]}" env -i PATH=/usr/local/bin:/usr/bin:/bin HOME="$sway_dir" \
    XDG_RUNTIME_DIR="$sway_dir" WLR_BACKENDS=headless WLR_RENDERER=pixman \
    WLR_LIBINPUT_NO_DEVICES=1 \
    sh -c 'echo $$ >"$XDG_RUNTIME_DIR/pid"; exec sway -c "$XDG_RUNTIME_DIR/config"' \
    >"$client_dir/sway.log" 2>&1 &
launcher=$!

# The socket's name is sway's choice: whichever appears.
socket=
for _ in $(seq 100); do
    for candidate in "$sway_dir"/wayland-*; do
        if [ -S "$candidate" ]; then
            socket=$candidate
        fi
    done
    if [ -n "$socket" ] || ! kill -0 "$launcher" 2>/dev/null; then
        break
    fi
    sleep 0.1
done
if [ -z "$socket" ]; then
    echo "error: headless sway did not start:" >&2
    cat "$client_dir/sway.log" >&2
    exit 1
fi
swaysock=$(find "$sway_dir" -maxdepth 1 -name 'sway-ipc.*.sock' -print -quit)

status=0
env WAYLAND_DISPLAY="$socket" SWAYSOCK="$swaysock" XDG_RUNTIME_DIR="$client_dir" \
    "$@" || status=$?
exit "$status"
