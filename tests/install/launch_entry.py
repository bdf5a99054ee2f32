#!/usr/bin/python3
"""Starts a desktop entry the way GLib-based desktops do (GNOME, Xfce, their
file managers and menus): GLib itself expands the Exec line and its field
codes, %k included. Prints the started process id on a line of its own, waits
for that process and exits with its exit code (128 + N when signal N ended it).

    /usr/bin/python3 launch_entry.py --file FOLDER/pomorina.desktop
    /usr/bin/python3 launch_entry.py --id pomorina.desktop   # from $XDG_DATA_HOME/applications

`gio launch` is no stand-in: it reads the file without remembering where it
came from, so it expands %k to nothing.
"""

import argparse
import os
import sys

import gi

gi.require_version("Gio", "2.0")
gi.require_version("GLib", "2.0")
from gi.repository import Gio, GLib  # noqa: E402


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    which = parser.add_mutually_exclusive_group(required=True)
    which.add_argument("--file", help="the path of a desktop entry")
    which.add_argument("--id", help="a desktop file id, looked up in the applications folders")
    args = parser.parse_args()

    try:
        entry = (Gio.DesktopAppInfo.new_from_filename(args.file) if args.file
                 else Gio.DesktopAppInfo.new(args.id))
    except TypeError:  # GLib found no such entry, or could not read it
        entry = None
    if entry is None:
        print(f"no usable desktop entry: {args.file or args.id}", file=sys.stderr)
        return 125
    started: list[int] = []
    # DO_NOT_REAP_CHILD: the process stays ours to wait for.
    entry.launch_uris_as_manager([], None, GLib.SpawnFlags.DO_NOT_REAP_CHILD, None, None,
                                 lambda _info, pid, _data: started.append(pid), None)
    if len(started) != 1:
        print(f"expected one process, GLib started {len(started)}", file=sys.stderr)
        return 125
    print(started[0], flush=True)
    _, status = os.waitpid(started[0], 0)
    return os.waitstatus_to_exitcode(status) if os.WIFEXITED(status) else 128 + os.WTERMSIG(status)


if __name__ == "__main__":
    sys.exit(main())
