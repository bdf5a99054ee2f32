#!/usr/bin/python3
"""Start-up time of pomorina: from starting the process until its main window
is mapped and viewable on the X server (Xvfb + openbox, as in the end-to-end
tests). Starts the binary --runs times (after --warmup untimed starts) and
prints each time and the median.

    /usr/bin/python3 bench/startup.py --binary build/pomorina [--runs 5]

The clock stops at the MapNotify that the X server sends when the window
manager maps the program's frame on the root window (the window is viewable
from then on); xdotool confirms that the window is the program's.
"""

import argparse
import ctypes
import select
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))

from desktop import Desktop, HarnessError, settings_bytes, settings_lines  # noqa: E402

TIMEOUT = 30.0
MAP_NOTIFY = 19
SUBSTRUCTURE_NOTIFY_MASK = 1 << 19


class MapWatcher:
    """Tells when a window is mapped on the root: the window manager maps a
    program's frame there once the program has mapped its window, which is
    the moment the window becomes viewable. Talks to libX11 through ctypes."""

    def __init__(self, display: str):
        self.x = ctypes.CDLL("libX11.so.6")
        self.x.XOpenDisplay.restype = ctypes.c_void_p
        self.x.XOpenDisplay.argtypes = [ctypes.c_char_p]
        self.x.XDefaultRootWindow.restype = ctypes.c_ulong
        self.x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        self.x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        self.x.XConnectionNumber.argtypes = [ctypes.c_void_p]
        self.x.XPending.argtypes = [ctypes.c_void_p]
        self.x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
        self.x.XFlush.argtypes = [ctypes.c_void_p]
        self.x.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.dpy = self.x.XOpenDisplay(display.encode())
        if not self.dpy:
            raise HarnessError(f"cannot open display {display}")
        root = self.x.XDefaultRootWindow(self.dpy)
        self.x.XSelectInput(self.dpy, root, SUBSTRUCTURE_NOTIFY_MASK)
        self.x.XFlush(self.dpy)
        self.fd = self.x.XConnectionNumber(self.dpy)
        self.event = (ctypes.c_long * 24)()

    def wait_map(self, timeout: float) -> tuple[float, int] | None:
        """(monotonic time, window) of the next MapNotify on the root, or None."""
        deadline = time.monotonic() + timeout
        while True:
            while self.x.XPending(self.dpy):
                self.x.XNextEvent(self.dpy, self.event)
                if ctypes.c_int.from_buffer(self.event).value == MAP_NOTIFY:
                    # XMapEvent: type, serial, send_event, display, event, window, ...
                    return time.monotonic(), self.event[5] & 0xFFFFFFFF
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            select.select([self.fd], [], [], left)

    def close(self) -> None:
        self.x.XCloseDisplay(self.dpy)


def visible_window(desktop: Desktop, pid: int) -> int | None:
    done = subprocess.run(["xdotool", "search", "--onlyvisible", "--pid", str(pid)],
                          env=desktop.env(), capture_output=True)
    windows = done.stdout.split()
    return int(windows[0]) if windows else None


def time_one_start(desktop: Desktop, watcher: MapWatcher, binary: Path) -> float:
    """Seconds from starting the process until its window was viewable."""
    program = desktop.launch(binary, settings_bytes(settings_lines()))
    maps = {}
    wid = None
    while True:
        mapped = watcher.wait_map(TIMEOUT)
        if mapped is None or program.exit_code() is not None:
            raise HarnessError(f"no window: {program.describe()}")
        maps.setdefault(mapped[1], mapped[0])
        # Other windows may be mapped too: only the frame around ours counts.
        wid = wid or visible_window(desktop, program.pid)
        if wid is not None and desktop.frame_window(wid) in maps:
            break
    elapsed = maps[desktop.frame_window(wid)] - program.started_at
    code = program.close(wid)
    if code != 0:
        raise HarnessError(f"closing the window ended the program with {code}")
    while watcher.wait_map(0.05):  # drop what closing produced
        pass
    return elapsed


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", type=Path, default=Path("build/pomorina"))
    parser.add_argument("--runs", type=int, default=5)
    parser.add_argument("--warmup", type=int, default=1)
    args = parser.parse_args()
    binary = args.binary.resolve()

    with Desktop() as desktop:
        watcher = MapWatcher(desktop.display)
        try:
            for _ in range(args.warmup):
                time_one_start(desktop, watcher, binary)
            times = []
            for run in range(1, args.runs + 1):
                seconds = time_one_start(desktop, watcher, binary)
                times.append(seconds)
                print(f"run {run}: {seconds * 1000:.1f} ms")
        finally:
            watcher.close()
    print(f"median: {statistics.median(times) * 1000:.1f} ms over {len(times)} runs "
          f"(min {min(times) * 1000:.1f}, max {max(times) * 1000:.1f}; "
          f"after {args.warmup} untimed warm-up start)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
