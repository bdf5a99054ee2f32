#!/usr/bin/python3
"""What the real program does on a desktop, in figures, on X11 and on sway.

The binary runs on the end-to-end tests' private desktops: Xvfb + openbox
(tests/e2e/desktop.py) and sway headless (tests/e2e/sway_desktop.py), where
the program takes Qt's Wayland platform, its default there. Another
program's window has the focus unless a figure needs the program's own.
Sections (--only, comma-separated; all by default), each ending in a table
of medians, ranges and the number of runs:

  flow     from a copy (xclip / wl-copy) to the content shown: a short text
           and a noisy 3840x2160 PNG, polls every 0.5 s
  idle     CPU time and wake-ups (context switches of all threads) over 20 s:
           empty clipboard, then a noisy 3840x2160 picture held
  burst    six 3840x2160 pictures copied 0.6 s apart, ten runs: how many
           reach the history (read from its thumbnails), the CPU for the six
  memory   VmRSS / VmHWM: one 3840x2160 picture held; after six
           screenshot-like 3840x2160 pictures; after six noisy ones
  restore  a click on a thumbnail of 履歴 until the clipboard holds that
           picture (read back); the Return on "セーブします" until Image.bmp
           is complete on disk
  windows  leaving the window until an edit is on the clipboard; auto-hide
           (0.5 s): the pointer leaving until collapsed, returning until full
           size; leaving the history window until it is hidden
  stall    a silent clipboard owner for 20 s (X11): the longest _NET_WM_PING
           round trip and event-loop stall. The longest stall of every other
           section (POMORINA_STALL_LOG) is printed after it in any case.

Several binaries (--binary A --binary B) take turns within each section
(A B, then B A, ...), so that both are measured under the same conditions.

    cmake --build build --target pomorina x11_clipboard_owner
    /usr/bin/python3 bench/desktop_bench.py --binary build/pomorina \\
        [--binary ../main/build/pomorina] [--only flow,idle] [--desktops x11,sway]

The pictures are made once and kept in --pictures (a folder in the system's
temporary directory by default): the six noisy ones of bench/capture.py and
six screenshot-like ones (see make_desktop_pictures). bench/README.md says
what each figure means.
"""

from __future__ import annotations

import argparse
import ctypes
import itertools
import os
import random
import statistics
import subprocess
import sys
import tempfile
import threading
import time
import traceback
from pathlib import Path

HERE = Path(__file__).resolve().parent
E2E = HERE.parent / "tests" / "e2e"
sys.path.insert(0, str(E2E))
sys.path.insert(0, str(HERE))

import capture  # noqa: E402
from capture import BAND, BANDS, HEIGHT, SLOT_LEFTS, SLOT_TOP, WIDTH  # noqa: E402
from clipboard_tools import (FRAME, HISTORY_CAPTION, TEXT_CAPTION, Clipboard, Pinger,  # noqa: E402
                             PreviewPlace, Shot, cpu_seconds, fitted, open_x_display,
                             png_picture, read_stall_log, rss_kib, wait_caption)
from desktop import (SYSTEM_PYTHON, Desktop, HarnessError, Rect, settings_bytes,  # noqa: E402
                     settings_lines, wait_until)
from desktop_input import (FocusSink, active_window, click_at, pointer_to,  # noqa: E402
                           shown_text)
from sway_desktop import FocusWindow, SwayDesktop  # noqa: E402
from wayland_windows import table  # noqa: E402

SECTIONS = ["flow", "idle", "burst", "memory", "restore", "windows", "stall"]
POLL_FAST = "1"  # line 3: 0.5 s
BAND_TOLERANCE = 16
SHOT_INTERVAL = 0.02  # pause between two screenshots of a watched area
IMAGE_FILE = "Image.bmp"
SAVED_BYTES = 54 + 640 * 480 * 3  # a 24-bit 640x480 bitmap file
SLOT_SIDE = 100
HISTORY_ITEM_X = 121  # from the main window's left edge
DESKTOP_PICTURES = 6


# Figures ------------------------------------------------------------------------------


def median_range(values, unit: str = "", digits: int = 0, scale: float = 1.0) -> str:
    """'median (min–max)' of the values that are not None, and how many are."""
    done = [v * scale for v in values if v is not None]
    if not done:
        return f"none of {len(values)}"
    fmt = f"{{:.{digits}f}}"
    text = f"{fmt.format(statistics.median(done))}{unit} ({fmt.format(min(done))}–" \
           f"{fmt.format(max(done))}), n={len(done)}"
    missing = len(values) - len(done)
    return text + (f", {missing} never" if missing else "")


def pooled(trials, key: str) -> list:
    """The values under `key` of every run, in one list."""
    return [v for t in trials for v in t[key]]


def ms(values) -> str:
    return median_range(values, " ms", 0, 1000.0)


def note(text: str) -> None:
    """A line of progress, kept apart from the tables."""
    print(f"# {text}", file=sys.stderr, flush=True)


# Pictures -----------------------------------------------------------------------------


def make_desktop_pictures(folder: Path, repo: Path) -> list[Path]:
    """Six 3840x2160 pictures drawn like screenshots of an ordinary desktop,
    made once with ImageMagick: a gradient background and a task bar with
    labelled buttons, and five overlapping windows (a title bar with its
    caption; inside, source code in DejaVu Sans Mono, Japanese and English
    prose in Noto Sans CJK, a file list with striped rows, or a photo-like
    picture: ImageMagick's plasma fractal, blurred). Layout, colours, texts
    and plasma seeds follow the picture's number, so every picture differs.
    Large flat areas and anti-aliased text compress as real screenshots do;
    the PNG is 8-bit RGB with ImageMagick's row filters."""
    folder.mkdir(parents=True, exist_ok=True)
    convert = "/usr/bin/convert"
    sources = sorted((repo / "src").rglob("*.cpp"))
    prose = [line for line in (repo / "README.md").read_text().splitlines() if line.strip()]
    cjk = "/usr/share/fonts/opentype/noto/NotoSansCJK-Regular.ttc"
    paths = []
    for index in range(DESKTOP_PICTURES):
        path = folder / f"desktop-{WIDTH}x{HEIGHT}-{index}.png"
        paths.append(path)
        if path.exists():
            continue
        rnd = random.Random(1000 + index)

        def colour() -> str:
            return "#%02x%02x%02x" % tuple(rnd.randrange(40, 200) for _ in range(3))

        def literal(text: str) -> str:
            # -annotate expands % escapes and reads a file for a leading @.
            return text.replace("\\", "\\\\").replace("%", "%%").lstrip("@")

        args = [convert, "-size", f"{WIDTH}x{HEIGHT}", f"gradient:{colour()}-{colour()}"]
        args += ["-fill", "#1f2328", "-draw", f"rectangle 0,{HEIGHT - 56} {WIDTH - 1},{HEIGHT - 1}"]
        for button in range(7):
            left = 12 + button * 300
            args += ["-fill", "#3a4048", "-draw",
                     f"rectangle {left},{HEIGHT - 48} {left + 288},{HEIGHT - 8}",
                     "-font", "DejaVu-Sans", "-pointsize", "20", "-fill", "#e8e8e8",
                     "-annotate", f"+{left + 14}+{HEIGHT - 20}", f"window {index}-{button}"]
        kinds = ["code", "prose", "photo", "list", "code"]
        rnd.shuffle(kinds)
        for number, kind in enumerate(kinds):
            w, h = rnd.randrange(1100, 1900), rnd.randrange(700, 1400)
            x, y = rnd.randrange(0, WIDTH - w), rnd.randrange(0, HEIGHT - 80 - h)
            args += ["-fill", "#f4f4f4", "-stroke", "#30343a", "-strokewidth", "1", "-draw",
                     f"rectangle {x},{y} {x + w},{y + h}", "-stroke", "none",
                     "-fill", colour(), "-draw", f"rectangle {x + 1},{y + 1} {x + w - 1},{y + 40}",
                     "-font", "DejaVu-Sans-Bold", "-pointsize", "22", "-fill", "white",
                     "-annotate", f"+{x + 16}+{y + 29}", f"{kind} — window {number}"]
            rows = (h - 70) // 26
            if kind == "code":
                source = sources[rnd.randrange(len(sources))].read_text().splitlines()
                start = rnd.randrange(max(1, len(source) - rows))
                text = "\n".join(line[:w // 11 - 2] for line in source[start:start + rows])
                args += ["-font", "DejaVu-Sans-Mono", "-pointsize", "18", "-fill", "#1e1e1e",
                         "-interline-spacing", "4", "-annotate", f"+{x + 14}+{y + 70}",
                         literal(text)]
            elif kind == "prose":
                rows = (h - 70) // 30  # Noto's lines are taller
                start = rnd.randrange(max(1, len(prose) - rows))
                text = "\n".join(line[:w // 14] for line in prose[start:start + rows])
                args += ["-font", cjk, "-pointsize", "19", "-fill", "#202020",
                         "-interline-spacing", "4", "-annotate", f"+{x + 14}+{y + 70}",
                         literal(text)]
            elif kind == "list":
                for row in range(rows):
                    top = y + 44 + row * 26
                    if row % 2:
                        args += ["-fill", "#e4e8f0", "-draw",
                                 f"rectangle {x + 2},{top} {x + w - 2},{top + 25}"]
                    args += ["-font", "DejaVu-Sans", "-pointsize", "17", "-fill", "#202020",
                             "-annotate", f"+{x + 14}+{top + 19}",
                             f"file-{index}-{number}-{row:03d}.txt    {rnd.randrange(1, 99999)} KB"
                             f"    2026-12-{1 + row % 28:02d}"]
            else:  # photo
                pw, ph = w - 24, h - 64
                args += ["(", "-size", f"{pw}x{ph}", "-seed", str(index * 10 + number),
                         "plasma:fractal", "-blur", "0x3", ")", "-geometry", f"+{x + 12}+{y + 52}",
                         "-composite"]
        part = path.with_suffix(".part.png")
        # PNG24: 8-bit RGB, as screenshot tools write (the gradient would
        # otherwise make a 16-bit RGBA file).
        subprocess.run(args + [f"PNG24:{part}"], check=True, capture_output=True, timeout=300)
        part.rename(path)
    return paths


def band_of_png(data: bytes) -> tuple[int, int, int] | None:
    """The mean colour of a patch at the centre of a 3840x2160 PNG (inside
    the band of the noisy pictures), decoded by ImageMagick."""
    done = subprocess.run(["/usr/bin/convert", "png:-", "-crop", "96x16+1872+1072", "+repage",
                           "-scale", "1x1!", "-depth", "8", "rgb:-"], input=data,
                          capture_output=True, timeout=60)
    return tuple(done.stdout[:3]) if done.returncode == 0 and len(done.stdout) >= 3 else None


def near(colour, wanted, tolerance: int = BAND_TOLERANCE) -> bool:
    return colour is not None and all(abs(a - b) <= tolerance for a, b in zip(colour, wanted))


# Processes ----------------------------------------------------------------------------


def context_switches(pid: int) -> dict[int, int]:
    """Voluntary + involuntary context switches of each thread, by thread id."""
    counts = {}
    for task in Path(f"/proc/{pid}/task").iterdir():
        try:
            fields = dict(line.split(":", 1) for line in (task / "status").read_text().splitlines()
                          if ":" in line)
        except OSError:
            continue  # the thread ended meanwhile
        counts[int(task.name)] = (int(fields["voluntary_ctxt_switches"])
                                  + int(fields["nonvoluntary_ctxt_switches"]))
    return counts


def wait_cpu_settled(pid: int, idle_rate: float, quiet: float = 1.5,
                     timeout: float = 60.0) -> float:
    """Waits until the process has used no more than its idle rate (plus a
    clock tick) in any 0.1 s for `quiet` seconds; returns the end of the last
    busier 0.1 s. (The stall watch's 10 ms timer costs a clock tick now and
    then, so the CPU time never stands still for long.)"""
    tick = 1.0 / os.sysconf("SC_CLK_TCK")
    started = last_busy = time.monotonic()
    before = cpu_seconds(pid)
    while time.monotonic() - started < timeout:
        time.sleep(0.1)
        now, value = time.monotonic(), cpu_seconds(pid)
        if value - before > idle_rate * 0.1 + tick * 1.1:
            last_busy = now
        elif now - last_busy >= quiet:
            return last_busy
        before = value
    raise HarnessError(f"the program was still busy after {timeout:g} s")


def idle_sample(pid: int, seconds: float) -> dict:
    """CPU seconds and context switches a second over `seconds` of nothing."""
    cpu0, switches0, t0 = cpu_seconds(pid), context_switches(pid), time.monotonic()
    time.sleep(seconds)
    cpu1, switches1, t1 = cpu_seconds(pid), context_switches(pid), time.monotonic()
    switched = sum(count - switches0.get(tid, 0) for tid, count in switches1.items())
    return {"cpu": cpu1 - cpu0, "switches": switched / (t1 - t0), "threads": len(switches1)}


# X11 ----------------------------------------------------------------------------------


class XImage(ctypes.Structure):
    _fields_ = [("width", ctypes.c_int), ("height", ctypes.c_int), ("xoffset", ctypes.c_int),
                ("format", ctypes.c_int), ("data", ctypes.c_void_p), ("byte_order", ctypes.c_int),
                ("bitmap_unit", ctypes.c_int), ("bitmap_bit_order", ctypes.c_int),
                ("bitmap_pad", ctypes.c_int), ("depth", ctypes.c_int),
                ("bytes_per_line", ctypes.c_int), ("bits_per_pixel", ctypes.c_int)]


# Shots are taken on threads of their own, each with its own connection.
ctypes.CDLL("libX11.so.6").XInitThreads()


class XScreen:
    """Pixels of the X root window through a connection of its own
    (XGetImage): a 200x200 area costs a millisecond or two, so it can be
    taken every 20 ms without loading the machine the way a screenshot
    program would (ImageMagick's import took 66 ms for one)."""

    ZPIXMAP = 2

    def __init__(self, display: str):
        x, self.dpy = open_x_display(display)
        x.XGetImage.restype = ctypes.POINTER(XImage)
        x.XGetImage.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_int,
                                ctypes.c_uint, ctypes.c_uint, ctypes.c_ulong, ctypes.c_int]
        x.XDestroyImage.argtypes = [ctypes.POINTER(XImage)]
        x.XStringToKeysym.restype = ctypes.c_ulong
        x.XStringToKeysym.argtypes = [ctypes.c_char_p]
        x.XKeysymToKeycode.restype = ctypes.c_ubyte
        x.XKeysymToKeycode.argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        self.x = x
        self.root = x.XDefaultRootWindow(self.dpy)

    def grab(self, area: Rect) -> Shot:
        image = self.x.XGetImage(self.dpy, self.root, area.x, area.y, area.width, area.height,
                                 0xFFFFFFFF, self.ZPIXMAP)
        if not image:
            raise HarnessError(f"XGetImage of {area} failed")
        try:
            info = image.contents
            if (info.bits_per_pixel != 32 or info.byte_order != 0 or info.width != area.width
                    or info.height != area.height or info.bytes_per_line < 4 * area.width):
                raise HarnessError(f"unexpected image of {area}: {info.width}x{info.height}, "
                                   f"{info.bits_per_pixel} bits, {info.bytes_per_line} bytes a "
                                   f"line, byte order {info.byte_order}")
            line = info.bytes_per_line
            data = ctypes.string_at(info.data, line * info.height)
        finally:
            self.x.XDestroyImage(image)  # `info` is gone with it
        rows = [data[y * line:y * line + 4 * area.width] for y in range(area.height)]
        bgrx = b"".join(rows)
        rgb = bytearray(3 * area.width * area.height)
        rgb[0::3], rgb[1::3], rgb[2::3] = bgrx[2::4], bgrx[1::4], bgrx[0::4]
        return Shot(area.width, area.height, bytes(rgb))

    def _xtest(self):
        test = ctypes.CDLL("libXtst.so.6")
        test.XTestFakeKeyEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                           ctypes.c_ulong]
        test.XTestFakeButtonEvent.argtypes = [ctypes.c_void_p, ctypes.c_uint, ctypes.c_int,
                                              ctypes.c_ulong]
        return test

    def key(self, name: str) -> float:
        """Presses and releases a key at once (XTest), as wtype does on
        sway; returns the moment both were sent to the server. (A button
        with the focus acts on a key's release.)"""
        test = self._xtest()
        code = self.x.XKeysymToKeycode(self.dpy, self.x.XStringToKeysym(name.encode()))
        test.XTestFakeKeyEvent(self.dpy, code, 1, 0)
        test.XTestFakeKeyEvent(self.dpy, code, 0, 0)
        self.x.XFlush(self.dpy)
        return time.monotonic()

    def click(self) -> float:
        """Presses and releases button 1 where the pointer is (XTest);
        returns the moment the release, which makes a click, was sent."""
        test = self._xtest()
        test.XTestFakeButtonEvent(self.dpy, 1, 1, 0)
        self.x.XFlush(self.dpy)
        time.sleep(0.05)
        test.XTestFakeButtonEvent(self.dpy, 1, 0, 0)
        self.x.XFlush(self.dpy)
        return time.monotonic()

    def close(self) -> None:
        self.x.XCloseDisplay(self.dpy)


class X11FocusClock:
    """When the window manager last changed _NET_ACTIVE_WINDOW, as seen by a
    connection of its own that a thread reads (PropertyNotify on the root):
    the moment another window got the focus, to a millisecond or so."""

    PROPERTY_NOTIFY = 28
    PROPERTY_CHANGE_MASK = 1 << 22

    def __init__(self, display: str):
        x, self.dpy = open_x_display(display)
        self.x = x
        self.atom = x.XInternAtom(self.dpy, b"_NET_ACTIVE_WINDOW", 0)
        x.XSelectInput(self.dpy, x.XDefaultRootWindow(self.dpy), self.PROPERTY_CHANGE_MASK)
        x.XFlush(self.dpy)
        self.changes: list[float] = []
        self._stop = threading.Event()
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self) -> None:
        import select
        fd = self.x.XConnectionNumber(self.dpy)
        event = (ctypes.c_long * 24)()
        while not self._stop.is_set():
            select.select([fd], [], [], 0.2)
            while self.x.XPending(self.dpy):
                self.x.XNextEvent(self.dpy, event)
                # XPropertyEvent: type, serial, send_event, display, window, atom, ...
                if ctypes.c_int.from_buffer(event).value == self.PROPERTY_NOTIFY \
                        and event[5] & 0xFFFFFFFF == self.atom:
                    self.changes.append(time.monotonic())

    def moved(self, since: float, until: float) -> float:
        """The last change between the two moments (`since` when none was seen)."""
        seen = [t for t in self.changes if since <= t <= until]
        return seen[-1] if seen else since

    def close(self) -> None:
        self._stop.set()
        self._thread.join(2)
        self.x.XCloseDisplay(self.dpy)


class SwayFocusClock:
    """The moments sway reported a window focused, by container, read by a
    thread from a subscription to its window events (the i3 IPC protocol on
    sway's socket)."""

    MAGIC = b"i3-ipc"
    SUBSCRIBE = 2

    def __init__(self, socket_path: str):
        import socket
        import struct
        self.struct = struct
        self.sock = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
        self.sock.connect(socket_path)
        payload = b'["window"]'
        self.sock.sendall(self.MAGIC + struct.pack("<II", len(payload), self.SUBSCRIBE) + payload)
        self.focused: list[tuple[float, int]] = []
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _read(self, count: int) -> bytes:
        data = b""
        while len(data) < count:
            chunk = self.sock.recv(count - len(data))
            if not chunk:
                raise EOFError
            data += chunk
        return data

    def _run(self) -> None:
        import json
        try:
            while True:
                header = self._read(14)
                length, kind = self.struct.unpack("<II", header[6:])
                body = json.loads(self._read(length))
                if kind & 0x80000000 and body.get("change") == "focus":
                    self.focused.append((time.monotonic(), body["container"]["id"]))
        except (EOFError, OSError, ValueError):
            pass

    def moved(self, since: float, until: float, con_id: int) -> float:
        seen = [t for t, focused in self.focused if focused == con_id and since <= t <= until]
        return seen[-1] if seen else since

    def close(self) -> None:
        self.sock.close()


class Run:
    """One started program and what the bench keeps of it."""

    def __init__(self, program, stall: Path | None):
        self.program = program
        self.stall = stall
        self.main = None  # X11 window id, or sway con_id
        self.history = None

    @property
    def pid(self) -> int:
        return self.program.pid


class X11:
    """The Xvfb + openbox desktop, and what the sections do on it."""

    name = "X11"
    EMPTY_SPOT = (1250, 1000)

    def __init__(self, args):
        self.args = args
        self.desktop = Desktop()
        self._count = itertools.count()

    def __enter__(self):
        self.desktop.__enter__()
        self.other = FocusSink(self.desktop)
        self.clip = Clipboard(self.desktop, self.args.tools)
        self.focus_clock = X11FocusClock(self.desktop.display)
        return self

    def __exit__(self, *exc):
        self.focus_clock.close()
        self.desktop.__exit__(*exc)

    # Programs

    def launch(self, binary: Path, changes: dict, *, accessible=False, stall=True) -> Run:
        log = self.desktop.root / f"stall-{next(self._count)}.log" if stall else None
        env = {"POMORINA_STALL_LOG": str(log)} if log else {}
        program = self.desktop.launch(binary, settings_bytes(settings_lines(changes)),
                                      accessible=accessible, env=env)
        run = Run(program, log)
        run.main = program.wait_window("Form1")
        self.settle(run)
        return run

    def settle(self, run: Run, where=None) -> Rect:
        """Waits until a window (the main window unless `where` says
        otherwise) has stayed in place for 0.3 s: the compositor or window
        manager may still move it after it shows. Returns where it is."""
        where = where or self.main_rect
        last, same = None, 0
        deadline = time.monotonic() + 5.0
        while same < 3 and time.monotonic() < deadline:
            rect = where(run)
            same = same + 1 if rect == last else 0
            last = rect
            time.sleep(0.1)
        return last

    def close(self, run: Run) -> int | None:
        """Closes the program; returns its longest stall in ms."""
        if run.program.exit_code() is None:
            self.desktop.close_window(run.main)
            run.program.wait_exit()
        state = read_stall_log(run.stall) if run.stall else None
        return state[0] if state else None

    def caption(self, run: Run) -> str:
        return self.desktop.window_name(run.main)

    def wait_caption(self, run: Run, caption: str, timeout: float = 5.0) -> bool:
        return wait_caption(self.desktop, run.main, caption, timeout) == caption

    def main_rect(self, run: Run) -> Rect:
        return self.desktop.client_geometry(run.main)

    # Focus, keys, pointer

    def focus_other(self) -> tuple[float, float]:
        """Gives the other window the focus: (the moment the command was
        given, the moment the window manager set the new active window)."""
        given = time.monotonic()
        self.other.activate()
        return given, self.focus_clock.moved(given, time.monotonic())

    def focus_main(self, run: Run) -> None:
        self.desktop.activate(run.main)

    def focus_history(self, run: Run) -> None:
        self.desktop.activate(run.history)

    def menu(self, run: Run, keys: list[str]) -> None:
        """Alt opens the menu bar's navigation; then `keys`."""
        self.focus_main(run)
        self.desktop.key("alt")
        time.sleep(0.2)
        for key in keys:
            self.desktop.key(key)
            time.sleep(0.1)

    def pointer(self, x: int, y: int) -> None:
        pointer_to(self.desktop, x, y)

    def click(self, x: int, y: int) -> None:
        click_at(self.desktop, x, y)

    def click_timed(self, x: int, y: int) -> float:
        """Clicks at (x, y); returns the moment the button's release was
        sent to the server (the program takes a click at the release)."""
        pointer_to(self.desktop, x, y)
        time.sleep(0.1)
        screen = self.screen()
        try:
            return screen.click()
        finally:
            screen.close()

    def key_timed(self, name: str) -> float:
        """Presses a key; returns the moment the press was sent."""
        screen = self.screen()
        try:
            return screen.key(name)
        finally:
            screen.close()

    # Windows

    def open_history(self, run: Run) -> Rect:
        self.click(*self.history_item(run))
        run.history = run.program.wait_window(HISTORY_CAPTION, timeout=10)
        return self.history_rect(run)

    def history_item(self, run: Run) -> tuple[int, int]:
        """The middle of 履歴, the menu bar's third entry, in the fonts of
        these desktops. A click opens the history window. (On sway, with
        the keys Alt, Right, Right, Return from wtype, it was hidden again
        after 0.1 s: the program then took its main window to be in front.)"""
        client = self.main_rect(run)
        return client.x + HISTORY_ITEM_X, client.y + (client.height - client.width) // 2

    def history_rect(self, run: Run) -> Rect:
        def viewable():
            rect = self.desktop.client_geometry(run.history)
            return rect if rect.viewable else None
        return wait_until("the history window to be viewable", viewable, 5.0)

    def history_shown(self, run: Run) -> bool:
        return self.desktop.client_geometry(run.history).viewable

    def describe(self, run: Run) -> str:
        return ", ".join(f"{self.desktop.window_name(w)!r} {self.desktop.client_geometry(w)}"
                         for w in self.desktop.visible_windows(run.pid))

    def dialog(self, run: Run):
        """A window of the program besides the main and history windows."""
        found = [w for w in self.desktop.visible_windows(run.pid)
                 if w not in (run.main, run.history)]
        return found[0] if found else None

    def focus_dialog(self, run: Run, box) -> None:
        if active_window(self.desktop) != box:
            self.desktop.activate(box)

    # Clipboard and screen

    def copy_text(self, text: str) -> None:
        self.clip.put_text(text)

    def copy_file(self, path: Path, mime: str) -> None:
        self.clip.put_file(path, mime)

    def release(self) -> None:
        self.clip.release()

    def read(self, mime: str | None = None) -> bytes | None:
        args = ["xclip", "-o", "-selection", "clipboard"] + (["-t", mime] if mime else [])
        done = self.desktop.run(args, check=False, timeout=30)
        return done.stdout if done.returncode == 0 else None

    def screen(self):
        return XScreen(self.desktop.display)


class Grim:
    """Pixels of sway's output through grim, one process a shot."""

    def __init__(self, desktop: SwayDesktop):
        self.desktop = desktop

    def grab(self, area: Rect) -> Shot:
        done = self.desktop.run(["grim", "-t", "ppm", "-g",
                                 f"{area.x},{area.y} {area.width}x{area.height}", "-"])
        return Shot.from_ppm(done.stdout)

    def close(self) -> None:
        pass


class Sway(X11):
    """sway headless, the program on Qt's Wayland platform; the other window
    is weston-flower, a Wayland program."""

    name = "sway"
    EMPTY_SPOT = (100, 950)

    def __init__(self, args):
        self.args = args
        self.desktop = SwayDesktop()
        self._count = itertools.count()
        self._copies: list[subprocess.Popen] = []

    def __enter__(self):
        self.desktop.__enter__()
        self.other = FocusWindow(self.desktop, "wayland", at=(900, 700))
        self.focus_clock = SwayFocusClock(self.desktop.ipc_socket)
        return self

    def focus_other(self) -> tuple[float, float]:
        given = time.monotonic()
        self.other.activate()
        return given, self.focus_clock.moved(given, time.monotonic(), self.other.view.con_id)

    def _view(self, run: Run, con_id):
        for view in run.program.views():
            if view.con_id == con_id:
                return view
        return None

    def launch(self, binary: Path, changes: dict, *, accessible=False, stall=True) -> Run:
        log = self.desktop.root / f"stall-{next(self._count)}.log" if stall else None
        env = {"POMORINA_STALL_LOG": str(log)} if log else {}
        program = self.desktop.launch(binary, settings_bytes(settings_lines(changes)),
                                      platform="wayland", accessible=accessible, env=env)
        run = Run(program, log)
        run.main = program.wait_window("Form1").con_id
        self.settle(run)
        return run

    def close(self, run: Run) -> int | None:
        if run.program.exit_code() is None:
            self.desktop.close_window(self._view(run, run.main))
            run.program.wait_exit()
        state = read_stall_log(run.stall) if run.stall else None
        return state[0] if state else None

    def caption(self, run: Run) -> str:
        view = self._view(run, run.main)
        return view.name if view else ""

    def wait_caption(self, run: Run, caption: str, timeout: float = 5.0) -> bool:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if self.caption(run) == caption:
                return True
            time.sleep(0.05)
        return False

    def main_rect(self, run: Run) -> Rect:
        return self._view(run, run.main).content

    def focus_main(self, run: Run) -> None:
        self.desktop.focus(self._view(run, run.main))

    def focus_history(self, run: Run) -> None:
        self.desktop.focus(self._view(run, run.history))

    def menu(self, run: Run, keys: list[str]) -> None:
        # One wtype for all the keys: Qt's menu bar took no Alt from a
        # keyboard that wtype makes anew for each key.
        self.focus_main(run)
        args = ["wtype", "-s", "150", "-k", "Alt_L", "-s", "200"]
        for key in keys:
            args += ["-k", key, "-s", "100"]
        self.desktop.run(args)

    def pointer(self, x: int, y: int) -> None:
        self.desktop.cursor_to(x, y)

    def click(self, x: int, y: int) -> None:
        self.desktop.click(x, y)

    def click_timed(self, x: int, y: int) -> float:
        # The program takes a click at the release; swaymsg returns once
        # sway has sent it.
        self.desktop.cursor_to(x, y)
        time.sleep(0.1)
        self.desktop.press()
        time.sleep(0.05)
        self.desktop.release()
        return time.monotonic()

    KEY_PAUSE = 0.02

    def key_timed(self, name: str) -> float:
        """Presses a key through wtype, which makes a keyboard of its own
        and must wait a little before its key is taken; returns the moment
        of its key: the tool's start plus that pause (its own start-up, a
        few ms, is not known and counts in the figure)."""
        started = time.monotonic()
        self.desktop.run(["wtype", "-s", str(int(self.KEY_PAUSE * 1000)), "-k", name])
        return started + self.KEY_PAUSE

    def open_history(self, run: Run) -> Rect:
        self.click(*self.history_item(run))
        run.history = run.program.wait_window(HISTORY_CAPTION, timeout=10).con_id
        return self.history_rect(run)

    def history_rect(self, run: Run) -> Rect:
        return self._view(run, run.history).content

    def history_shown(self, run: Run) -> bool:
        return self._view(run, run.history) is not None

    def describe(self, run: Run) -> str:
        return ", ".join(f"{v.name!r} {v.content} focused={v.focused}"
                         for v in run.program.views())

    def dialog(self, run: Run):
        found = [v.con_id for v in run.program.views() if v.con_id not in (run.main, run.history)]
        return found[0] if found else None

    def focus_dialog(self, run: Run, box) -> None:
        focused = self.desktop.focused()
        if focused is None or focused.con_id != box:
            self.desktop.focus(self._view(run, box))

    def copy_text(self, text: str) -> None:
        self._copies.append(self.desktop.wl_copy(text.encode("utf-8")))

    def copy_file(self, path: Path, mime: str) -> None:
        self._copies.append(self.desktop.wl_copy(path.read_bytes(), mime))

    def release(self) -> None:
        for proc in self._copies:
            if proc.poll() is None:
                proc.terminate()
                proc.wait(5)
        self._copies.clear()
        wait_until("the clipboard to be empty", lambda: not self.desktop.wl_types(), 5.0)

    def read(self, mime: str | None = None) -> bytes | None:
        return self.desktop.wl_paste(mime)

    def screen(self):
        return Grim(self.desktop)


DESKTOPS = {"x11": X11, "sway": Sway}


# Watching the screen ------------------------------------------------------------------


class ScreenWatch:
    """Takes shots of `area` on a thread of its own, one every SHOT_INTERVAL
    s plus the time a shot takes, until `shown(shot)` holds; `at` is then the
    moment that shot was complete."""

    def __init__(self, env, area: Rect, shown, timeout: float):
        self.env, self.area, self.shown, self.timeout = env, area, shown, timeout
        self.at: float | None = None
        self.durations: list[float] = []
        self.failed: list[str] = []
        self.error: BaseException | None = None
        self._thread = threading.Thread(target=self._run, daemon=True)
        self._thread.start()

    def _run(self) -> None:
        try:
            screen = self.env.screen()
            try:
                deadline = time.monotonic() + self.timeout
                while time.monotonic() < deadline:
                    started = time.monotonic()
                    try:
                        shot = screen.grab(self.area)
                    except HarnessError as error:  # one shot lost; the next may do
                        self.failed.append(str(error))
                        time.sleep(SHOT_INTERVAL)
                        continue
                    ended = time.monotonic()
                    self.durations.append(ended - started)
                    if self.shown(shot):
                        self.at = ended
                        return
                    time.sleep(SHOT_INTERVAL)
            finally:
                screen.close()
        except BaseException as error:  # handed to the waiting thread
            self.error = error

    def wait(self) -> float | None:
        self._thread.join(self.timeout + 10)
        if self.error:
            raise self.error
        if self.failed:
            note(f"{len(self.failed)} shots failed, the first: {self.failed[0]}")
        return self.at


def preview_area(env, run: Run) -> Rect:
    client = env.main_rect(run)
    return PreviewPlace(client, client.width - 2 * FRAME, client.height - client.width).area


def band_shown(index: int, side: int):
    """A test of a preview shot: the band of noisy picture `index` is drawn
    across the middle of the preview."""
    left, top, drawn_w, drawn_h = fitted(WIDTH, HEIGHT, side)
    y = int(top + (BAND[0] + BAND[1]) / 2 * drawn_h / HEIGHT)
    x0, width = side // 2 - 20, 40

    def shown(shot: Shot) -> bool:
        return near(shot.mean(x0, y - 3, width, 6), BANDS[index])
    return shown


def wait_band(env, run: Run, index: int, timeout: float = 10.0) -> bool:
    area = preview_area(env, run)
    return ScreenWatch(env, area, band_shown(index, area.width), timeout).wait() is not None


# The edit of the text view ----------------------------------------------------------

# Run by Debian's python3 (pyatspi) in the desktop's session: appends argv[2]
# to the main window's text view of the program with pid argv[1].
APPEND = r"""
import sys
sys.path.insert(0, sys.argv[3])
import pyatspi
from a11y import find_application
app = find_application(int(sys.argv[1]))
for box in pyatspi.findAllDescendants(app, lambda node: node.getRoleName() == "text"
                                      and node.getState().contains(pyatspi.STATE_SHOWING)):
    window = box
    while window.parent is not None and window.getRoleName() != "frame":
        window = window.parent
    if window.name != "履歴":
        end = box.queryText().characterCount
        sys.exit(0 if box.queryEditableText().insertText(end, sys.argv[2], len(sys.argv[2]))
                 else 1)
sys.exit(1)
"""


def append_text(desktop: Desktop, pid: int, text: str) -> None:
    """Appends `text` to the text view through the accessibility bus, as a
    screen reader would: the program sees an edit as from the keyboard. (On
    sway, the keyboard wtype makes goes away when it ends, and Qt then takes
    the program's window to be inactive although it has the focus: the
    program wrote a typed edit back before the window was left.)"""
    desktop.accessible_tree(pid)  # waits until the program is on the bus
    desktop.run([SYSTEM_PYTHON, "-c", APPEND, str(pid), text, str(E2E)])


# Sections -----------------------------------------------------------------------------


class Bench:
    def __init__(self, args, noisy: list[Path], desktop_like: list[Path]):
        self.args = args
        self.noisy = noisy
        self.desktop_like = desktop_like
        self.rnd = random.Random(args.seed)
        self.texts = itertools.count(1)

    def start(self, env, binary, changes=None, **kwargs) -> Run:
        env.release()
        run = env.launch(binary, {3: POLL_FAST, **(changes or {})}, **kwargs)
        env.focus_other()
        env.pointer(*env.EMPTY_SPOT)
        return run

    # 1. flow

    def flow(self, env, binary) -> dict:
        per_round = max(1, -(-self.args.copies // self.args.flow_rounds))
        run = self.start(env, binary)
        env.wait_caption(run, TEXT_CAPTION)
        area = preview_area(env, run)
        screen = env.screen()
        found = {"text": [], "picture": [], "shot": []}
        try:
            for kind in ("text", "picture"):
                for number in range(per_round):
                    before = screen.grab(area)
                    if kind == "text":
                        shown = lambda shot, b=before.rgb: shot.rgb != b  # noqa: E731
                    else:
                        shown = band_shown(number % 2, area.width)
                    watch = ScreenWatch(env, area, shown, 6.0)
                    copied = time.monotonic()
                    if kind == "text":
                        env.copy_text(f"flow {next(self.texts)} テキスト")
                    else:
                        env.copy_file(self.noisy[number % 2], "image/png")
                    at = watch.wait()
                    found[kind].append(None if at is None else at - copied)
                    found["shot"] += watch.durations
                    time.sleep(self.rnd.uniform(0.2, 0.7))  # another phase of the poll
        finally:
            screen.close()
        found["stall"] = env.close(run)
        return found

    def flow_table(self, results):
        rows = []
        for (desktop, binary), trials in results.items():
            text = pooled(trials, "text")
            picture = pooled(trials, "picture")
            shots = pooled(trials, "shot")
            rows.append([desktop, binary, ms(text), ms(picture),
                         f"{statistics.median(shots) * 1000:.1f} ms + {SHOT_INTERVAL * 1000:.0f} ms"
                         if shots else "-"])
        table("flow: from the copy to the content shown (0.5 s poll; another window in front)",
              ["desktop", "binary", "short text", f"noisy {WIDTH}x{HEIGHT} PNG",
               "shot period (median shot + pause)"], rows)

    # 2. idle

    def idle(self, env, binary) -> dict:
        run = self.start(env, binary, {7: "0"}, stall=False)
        env.wait_caption(run, TEXT_CAPTION)
        time.sleep(3.0)
        empty = idle_sample(run.pid, self.args.idle_seconds)
        env.copy_file(self.noisy[0], "image/png")
        held_shown = wait_band(env, run, 0)
        time.sleep(3.0)
        held = idle_sample(run.pid, self.args.idle_seconds)
        env.close(run)
        return {"empty": empty, "held": held, "shown": held_shown}

    def idle_table(self, results):
        rows = []
        for (desktop, binary), trials in results.items():
            for state, label in (("empty", "empty clipboard"), ("held", "noisy picture held")):
                samples = [t[state] for t in trials]
                rows.append([desktop, binary, label,
                             median_range([s["cpu"] for s in samples], " s", 3),
                             median_range([s["cpu"] / self.args.idle_seconds * 1000
                                           for s in samples], " ms/s", 2),
                             median_range([s["switches"] for s in samples], "/s", 1),
                             median_range([s["threads"] for s in samples])])
        table(f"idle: {self.args.idle_seconds:g} s with nothing happening (no stall log; "
              "auto-hide off; pointer away; another window in front)",
              ["desktop", "binary", "clipboard", "CPU (user+system)", "CPU rate",
               "context switches, all threads", "threads"], rows)

    # 3. burst

    def six(self, env, run: Run, pictures: list[Path]) -> dict:
        """Copies six pictures 0.6 s apart; the CPU for them, less the idle
        rate, once the program has been quiet for 1.5 s."""
        time.sleep(1.0)
        idle0, t0 = cpu_seconds(run.pid), time.monotonic()
        time.sleep(2.0)
        idle_rate = (cpu_seconds(run.pid) - idle0) / (time.monotonic() - t0)
        cpu_start, started = cpu_seconds(run.pid), time.monotonic()
        for index, path in enumerate(pictures):
            time.sleep(max(0.0, started + index * capture.SPACING - time.monotonic()))
            env.copy_file(path, "image/png")
        busy_until = wait_cpu_settled(run.pid, idle_rate)
        cpu = cpu_seconds(run.pid) - cpu_start - idle_rate * (busy_until - started)
        return {"cpu": cpu, "busy": busy_until - started}

    def burst(self, env, binary) -> dict:
        run = self.start(env, binary)
        env.wait_caption(run, TEXT_CAPTION)
        found = self.six(env, run, self.noisy)
        found["peak"] = capture.peak_rss_kib(run.pid)
        env.open_history(run)
        screen = env.screen()
        try:
            for attempt in range(2):
                history = env.settle(run, env.history_rect)
                shot = screen.grab(history)
                found["slots"] = [s["picture"] for s in capture.read_thumbnails(shot)]
                if any(s is not None for s in found["slots"]):
                    break
                # Nothing read: keep the screen for a look, and look again.
                path = env.desktop.root.parent / f"pomorina-bench-history-{time.time():.0f}.png"
                env.desktop.screenshot(path)
                note(f"no thumbnail read in {history}; the screen is in {path}; "
                     f"windows: {env.describe(run)}")
                found["misread"] = found.get("misread", 0) + 1
        finally:
            screen.close()
        found["stall"] = env.close(run)
        return found

    def burst_table(self, results):
        rows = []
        expected = list(reversed(range(len(self.noisy))))
        for (desktop, binary), trials in results.items():
            reached = [len({s for s in t["slots"] if s is not None}) for t in trials]
            ordered = sum(t["slots"] == expected for t in trials)
            others = sorted({str(t["slots"]) for t in trials if t["slots"] != expected})
            misread = sum(t.get("misread", 0) for t in trials)
            if misread:
                others.append(f"first shot of the history read nothing in {misread} runs")
            rows.append([desktop, binary, median_range(reached),
                         f"{ordered} of {len(trials)}" + (f" (else {', '.join(others)})"
                                                          if others else ""),
                         median_range([t["cpu"] for t in trials], " s", 2),
                         median_range([t["busy"] for t in trials], " s", 2)])
        table(f"burst: six noisy {WIDTH}x{HEIGHT} pictures copied {capture.SPACING:g} s apart "
              "(0.5 s poll)", ["desktop", "binary", "pictures in the history",
                               "runs with all six, newest first (slots 0-5 = picture 5..0)",
                               "CPU for the six, less idle", "busy until (from the first copy)"],
              rows)

    # 4. memory

    def memory(self, env, binary) -> dict:
        found = {"stall": []}
        run = self.start(env, binary)
        env.wait_caption(run, TEXT_CAPTION)
        time.sleep(2.0)
        found["start"] = rss_kib(run.pid)
        env.copy_file(self.noisy[0], "image/png")
        wait_band(env, run, 0)
        time.sleep(3.0)
        found["one"] = (rss_kib(run.pid), capture.peak_rss_kib(run.pid))
        found["stall"].append(env.close(run))
        for name, pictures in (("desktop", self.desktop_like), ("noisy", self.noisy)):
            run = self.start(env, binary)
            env.wait_caption(run, TEXT_CAPTION)
            self.six(env, run, pictures)
            time.sleep(1.0)
            found[name] = (rss_kib(run.pid), capture.peak_rss_kib(run.pid))
            found["stall"].append(env.close(run))
        found["stall"] = max((s for s in found["stall"] if s is not None), default=None)
        return found

    def memory_table(self, results):
        def mib(kib):
            return kib / 1024
        rows = []
        for (desktop, binary), trials in results.items():
            rows.append([desktop, binary,
                         median_range([mib(t["start"]) for t in trials], " MiB", 1),
                         median_range([mib(t["one"][0]) for t in trials], " MiB", 1) + " / "
                         + median_range([mib(t["one"][1]) for t in trials], " MiB", 1),
                         median_range([mib(t["desktop"][0]) for t in trials], " MiB", 1) + " / "
                         + median_range([mib(t["desktop"][1]) for t in trials], " MiB", 1),
                         median_range([mib(t["noisy"][0]) for t in trials], " MiB", 1) + " / "
                         + median_range([mib(t["noisy"][1]) for t in trials], " MiB", 1)])
        sizes = ", ".join(f"{p.stat().st_size / 2**20:.1f}" for p in self.desktop_like)
        table(f"memory: VmRSS / peak VmHWM (screenshot-like PNGs: {sizes} MiB; noisy: "
              f"{self.noisy[0].stat().st_size / 2**20:.1f} MiB each)",
              ["desktop", "binary", "idle after start-up", "one noisy picture held, 3 s after",
               "after six screenshot-like", "after six noisy"], rows)

    # 5. restore and save

    def restore(self, env, binary) -> dict:
        found = {"restore": [], "read": [], "original": [], "save": [], "saved_size": []}
        run = self.start(env, binary)
        env.wait_caption(run, TEXT_CAPTION)
        originals = [path.read_bytes() for path in self.noisy[:2]]
        for index in (0, 1):
            env.copy_file(self.noisy[index], "image/png")
            if not wait_band(env, run, index):
                raise HarnessError(f"picture {index} was never shown")
        env.open_history(run)
        history = env.settle(run, env.history_rect)
        before = env.read("image/png")
        for number in range(self.args.repeat):
            slot = 1 - number % 2  # slot 1 holds picture 0, slot 0 picture 1
            wanted = BANDS[1 - slot]
            clicked = env.click_timed(history.x + SLOT_LEFTS[slot] + SLOT_SIDE // 2,
                                      history.y + SLOT_TOP + SLOT_SIDE // 2)
            took = read = None
            while time.monotonic() - clicked < 10.0:
                asked = time.monotonic()
                data = env.read("image/png")
                answered = time.monotonic()
                if data and data != before:
                    if data in originals or near(band_of_png(data), wanted):
                        took, read = answered - clicked, answered - asked
                        found["original"].append(data in originals)
                        before = data
                        break
                time.sleep(0.01)
            found["restore"].append(took)
            found["read"].append(read)
            time.sleep(0.6)
        image = run.program.folder / IMAGE_FILE
        for number in range(self.args.repeat):
            image.unlink(missing_ok=True)
            env.menu(run, ["Down", "Down", "Return"])  # ファイル > 画像を保存
            box = wait_until("the question box", lambda: env.dialog(run), 5.0)
            time.sleep(0.3)
            env.focus_dialog(run, box)
            pressed = env.key_timed("Return")
            took = None
            while time.monotonic() - pressed < 10.0:
                if image.exists():
                    took = time.monotonic() - pressed
                    found["saved_size"].append(image.stat().st_size)
                    break
                time.sleep(0.002)
            found["save"].append(took)
            wait_until("the question box to go", lambda: env.dialog(run) is None, 5.0)
            time.sleep(0.3)
        found["stall"] = env.close(run)
        return found

    def restore_table(self, results):
        rows = []
        for (desktop, binary), trials in results.items():
            restore = pooled(trials, "restore")
            read = pooled(trials, "read")
            original = pooled(trials, "original")
            save = pooled(trials, "save")
            sizes = sorted({v for t in trials for v in t["saved_size"]})
            rows.append([desktop, binary, ms(restore), ms(read),
                         f"{sum(original)} of {len(original)}",
                         median_range(save, " ms", 1, 1000.0),
                         ", ".join(map(str, sizes)) + (" (expected)" if sizes == [SAVED_BYTES]
                                                       else f" (expected {SAVED_BYTES})")])
        table(f"restore and save ({WIDTH}x{HEIGHT} noisy pictures)",
              ["desktop", "binary", "click on a thumbnail → clipboard read back holds it",
               "of which the last read", "read back byte for byte the copied PNG",
               "Return on セーブします → Image.bmp on disk", "Image.bmp bytes"], rows)

    # 6. windows

    def windows(self, env, binary) -> dict:
        found = {"write": [], "shrink": [], "grow": [], "history": [], "stall": [],
                 "write_early": [], "history_early": [], "focus_took": []}
        run = self.start(env, binary, accessible=True)
        env.wait_caption(run, TEXT_CAPTION)
        for number in range(self.args.repeat):
            text = f"alpha {number}"
            env.copy_text(text)
            if not self.wait_shown(env, run, text):
                found["write"].append(None)
                continue
            env.focus_main(run)
            time.sleep(0.2)
            append_text(env.desktop, run.pid, " beta")
            if not self.wait_shown(env, run, text + " beta"):
                found["write"].append(None)
                continue
            time.sleep(0.3)
            found["write_early"].append(env.read() == (text + " beta").encode())
            given, left = env.focus_other()
            found["focus_took"].append(left - given)
            took = None
            while time.monotonic() - left < 3.0:
                if env.read() == (text + " beta").encode():
                    took = time.monotonic() - left
                    break
                time.sleep(0.01)
            found["write"].append(took)
        for number in range(self.args.repeat):
            env.open_history(run)
            env.focus_history(run)
            time.sleep(0.4)
            found["history_early"].append(not env.history_shown(run))
            given, left = env.focus_other()
            found["focus_took"].append(left - given)
            took = None
            while time.monotonic() - left < 3.0:
                if not env.history_shown(run):
                    took = time.monotonic() - left
                    break
                time.sleep(0.01)
            found["history"].append(took)
        found["stall"].append(env.close(run))

        # Auto-hide with a small picture on the clipboard: a poll that finds
        # the same picture leaves the hide delay running.
        picture = env.desktop.root / "small.png"
        picture.write_bytes(png_picture(64, 48, (200, 30, 30)))
        env.release()
        env.copy_file(picture, "image/png")
        run = env.launch(binary, {3: POLL_FAST, 7: "1"})
        env.focus_other()
        env.wait_caption(run, "X=64Y=48", 5.0)
        full = env.main_rect(run)
        centre = (full.x + full.width // 2, full.y + full.height // 2)
        env.pointer(*centre)
        for number in range(self.args.repeat):
            time.sleep(1.0)
            left = time.monotonic()  # from the command that moves the pointer
            env.pointer(*env.EMPTY_SPOT)
            shrank = self.watch_height(env, run, lambda h: h < full.height, 4.0, left)
            found["shrink"].append(shrank)
            small = env.main_rect(run)
            time.sleep(0.3)
            back = time.monotonic()
            env.pointer(small.x + small.width // 2, small.y + min(small.height, 23) // 2)
            found["grow"].append(self.watch_height(env, run, lambda h: h == full.height, 4.0,
                                                   back))
        found["stall"].append(env.close(run))
        found["stall"] = max((s for s in found["stall"] if s is not None), default=None)
        return found

    @staticmethod
    def watch_height(env, run, accept, timeout, since) -> float | None:
        while time.monotonic() - since < timeout:
            if accept(env.main_rect(run).height):
                return time.monotonic() - since
            time.sleep(0.01)
        return None

    @staticmethod
    def wait_shown(env, run, text, timeout=5.0) -> bool:
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            if shown_text(env.desktop, run.pid) == text:
                return True
            time.sleep(0.1)
        return False

    def windows_table(self, results):
        rows = []
        for (desktop, binary), trials in results.items():
            early_write = pooled(trials, "write_early")
            early_hide = pooled(trials, "history_early")
            rows.append([desktop, binary, ms(pooled(trials, "write")),
                         f"{sum(early_write)} of {len(early_write)}",
                         ms(pooled(trials, "shrink")),
                         ms(pooled(trials, "grow")), ms(pooled(trials, "history")),
                         f"{sum(early_hide)} of {len(early_hide)}",
                         ms(pooled(trials, "focus_took"))])
        table("windows: another window takes the focus / the pointer moves (auto-hide 0.5 s, "
              "0.5 s poll, a 64x48 picture held)",
              ["desktop", "binary", "focus elsewhere → edit on the clipboard",
               "edit there already before leaving", "pointer away → collapsed",
               "pointer back on the menu bar → full size", "focus elsewhere → 履歴 hidden",
               "履歴 hidden already before", "focus command → new active window"], rows)

    # 7. stall

    def stall(self, env, binary) -> dict:
        run = self.start(env, binary)
        env.copy_text("応答のない所有者の前")
        env.wait_caption(run, TEXT_CAPTION)
        time.sleep(1.0)
        before = read_stall_log(run.stall)
        owner = env.clip.hold("silent", self.args.owner_seconds)
        pinger = Pinger(env.desktop.display, run.main)
        pings = []
        ticks0 = read_stall_log(run.stall)
        started = time.monotonic()
        try:
            while owner.poll() is None and time.monotonic() - started < self.args.owner_seconds + 10:
                pings.append(pinger.ping(15.0))
                time.sleep(0.2)
        finally:
            pinger.close()
        ticks1 = read_stall_log(run.stall)
        elapsed = time.monotonic() - started
        stall = env.close(run)
        return {"pings": pings, "before": before[0] if before else None, "stall": stall,
                "ticks": (ticks1[1] - ticks0[1]) / elapsed if ticks0 and ticks1 else None}

    def stall_table(self, results, stalls):
        rows = []
        for (desktop, binary), trials in results.items():
            trials = [t for t in trials if not t.get("skipped")]
            if not trials:
                continue
            pings = [p for t in trials for p in t["pings"]]
            answered = [p for p in pings if p is not None]
            rows.append([desktop, binary, f"{len(answered)} of {len(pings)}",
                         f"{max(answered) * 1000:.0f} ms" if answered else "-",
                         ms(answered), ", ".join(f"{t['before']} → {t['stall']} ms" for t in trials),
                         ", ".join(f"{t['ticks']:.0f}/s" for t in trials if t["ticks"])])
        if rows:
            table(f"stall: x11_clipboard_owner --mode silent for {self.args.owner_seconds:g} s "
                  "(X11), _NET_WM_PING every 0.2 s",
                  ["desktop", "binary", "pings answered", "longest round trip",
                   "round trips", "longest stall before → after", "stall-watch ticks"], rows)
        rows = []
        for (section, desktop, binary), values in stalls.items():
            rows.append([section, desktop, binary, median_range(values, " ms"),
                         f"{max(v for v in values if v is not None)} ms"
                         if any(v is not None for v in values) else "-"])
        table("The program's longest event-loop stall in each section (POMORINA_STALL_LOG; "
              "one figure a program run)", ["section", "desktop", "binary",
                                            "longest stall of a run", "longest of all"], rows)


# Driver -------------------------------------------------------------------------------


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", type=Path, action="append",
                        help="a pomorina binary; give several to compare them (default "
                             "build/pomorina)")
    parser.add_argument("--only", default=",".join(SECTIONS),
                        help=f"sections, comma-separated: {', '.join(SECTIONS)}")
    parser.add_argument("--desktops", default="x11,sway", help="x11, sway or both")
    parser.add_argument("--tools", type=Path, default=None,
                        help="the folder of x11_clipboard_owner (default: tests/ beside the "
                             "first binary)")
    parser.add_argument("--pictures", type=Path,
                        default=Path(tempfile.gettempdir()) / "pomorina-bench-desktop")
    parser.add_argument("--copies", type=int, default=6, help="flow: copies of each kind")
    parser.add_argument("--flow-rounds", type=int, default=2,
                        help="flow: programs the copies are spread over")
    parser.add_argument("--idle-seconds", type=float, default=20.0)
    parser.add_argument("--burst-runs", type=int, default=10)
    parser.add_argument("--memory-runs", type=int, default=1)
    parser.add_argument("--repeat", type=int, default=5,
                        help="restore, save and the windows figures: times each")
    parser.add_argument("--owner-seconds", type=float, default=20.0)
    parser.add_argument("--seed", type=int, default=1)
    args = parser.parse_args()
    binaries = [b.resolve() for b in (args.binary or [Path("build/pomorina")])]
    for binary in binaries:
        if not binary.is_file():
            parser.error(f"no binary at {binary}")
    labels = {b: str(given) for b, given in zip(binaries, args.binary or [Path("build/pomorina")])}
    args.tools = (args.tools or binaries[0].parent / "tests").resolve()
    sections = [s for s in args.only.split(",") if s]
    for section in sections:
        if section not in SECTIONS:
            parser.error(f"no section {section!r}")
    desktops = [d for d in args.desktops.split(",") if d]

    made = time.monotonic()
    noisy = capture.make_pictures(args.pictures / "noisy")
    desktop_like = make_desktop_pictures(args.pictures / "desktop", HERE.parent)
    note(f"pictures ready in {time.monotonic() - made:.0f} s")
    bench = Bench(args, noisy, desktop_like)
    rounds = {"flow": args.flow_rounds, "idle": 1, "burst": args.burst_runs,
              "memory": args.memory_runs, "restore": 1, "windows": 1, "stall": 1}
    results: dict[str, dict] = {s: {} for s in sections}
    stalls: dict[tuple, list] = {}
    began = time.monotonic()
    for kind in desktops:
        with DESKTOPS[kind](args) as env:
            for section in sections:
                if section == "stall" and kind != "x11":
                    continue
                section_began = time.monotonic()
                for number in range(rounds[section]):
                    order = binaries if number % 2 == 0 else binaries[::-1]
                    for binary in order:
                        key = (env.name, labels[binary])
                        try:
                            found = getattr(bench, section)(env, binary)
                        except Exception as error:  # noqa: BLE001 - the next run goes on
                            note(f"{section} on {env.name} with {labels[binary]}: {error}")
                            traceback.print_exc(file=sys.stderr)
                            for program in env.desktop._programs:
                                program.kill()
                            continue
                        note(f"{section} {env.name} {labels[binary]} round {number + 1}: "
                             f"{ {k: v for k, v in found.items() if k != 'shot'} }")
                        results[section].setdefault(key, []).append(found)
                        stalls.setdefault((section, *key), []).append(found.get("stall"))
                note(f"{section} on {env.name}: {time.monotonic() - section_began:.0f} s")
    print(f"\n{len(binaries)} binary(ies), desktops {', '.join(desktops)}; "
          f"{time.monotonic() - began:.0f} s in all")
    for section in sections:
        if results[section]:
            if section == "stall":
                bench.stall_table(results[section], stalls)
            else:
                getattr(bench, f"{section}_table")(results[section])
    if "stall" not in sections and stalls:
        bench.stall_table({}, stalls)
    return 0


if __name__ == "__main__":
    sys.exit(main())
