"""Clipboard helpers for the end-to-end tests and the capture benchmark.

Builds on desktop.py's Desktop and adds what the clipboard scripts need:

- PNG files made in memory (solid pictures with coloured rectangles, or rows
  given by the caller), with no imaging library;
- screenshots read back as pixels (ImageMagick's import writes PPM), and the
  main window's preview located on them;
- clipboard owners: xclip for a text or a file in one format, and the
  x11_clipboard_owner test tool for owners that do not answer;
- a window of another program that takes the focus (xmessage);
- the program's caption, the texts of its text boxes (accessibility bus), its
  answer to the window manager's _NET_WM_PING, its stall log, resident memory
  and CPU time.

Every process started here is started through the Desktop, so it ends when
the Desktop closes. Run as a script with Debian's /usr/bin/python3, it reads
the texts of a program's text boxes (see texts_main).
"""

from __future__ import annotations

import ctypes
import dataclasses
import itertools
import json
import os
import select
import struct
import sys
import time
import zlib
from pathlib import Path

from desktop import SYSTEM_PYTHON, Desktop, HarnessError, Rect, _stop, settle, wait_until

Colour = tuple[int, int, int]

WHITE: Colour = (255, 255, 255)
BLACK: Colour = (0, 0, 0)

TEXT_CAPTION = "ポモリナ1.0"
HISTORY_CAPTION = "履歴"
FRAME = 2  # the sunken frame around a preview box or a thumbnail box


def picture_caption(width: int, height: int) -> str:
    return f"X={width}Y={height}"


# PNG ------------------------------------------------------------------------------------


def png_from_rows(width: int, height: int, rows) -> bytes:
    """An 8-bit RGB PNG; `rows` yields each row's width * 3 bytes, top first."""
    compressor = zlib.compressobj(1)
    chunks = []
    count = 0
    for row in rows:
        if len(row) != width * 3:
            raise ValueError(f"row {count} has {len(row)} bytes, not {width * 3}")
        chunks.append(compressor.compress(b"\x00" + bytes(row)))
        count += 1
    if count != height:
        raise ValueError(f"{count} rows for a picture {height} high")
    chunks.append(compressor.flush())

    def chunk(kind: bytes, data: bytes) -> bytes:
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", b"".join(chunks))
            + chunk(b"IEND", b""))


@dataclasses.dataclass(frozen=True)
class Patch:
    """A rectangle of one colour painted over a picture."""
    x: int
    y: int
    width: int
    height: int
    colour: Colour


def png_picture(width: int, height: int, colour: Colour, patches: list[Patch] = ()) -> bytes:
    """A picture filled with `colour`, with `patches` painted over it in order."""
    cache: dict[tuple, bytes] = {}

    def row(y: int) -> bytes:
        active = tuple(p for p in patches if p.y <= y < p.y + p.height)
        if active not in cache:
            line = bytearray(bytes(colour) * width)
            for p in active:
                left, right = max(p.x, 0), min(p.x + p.width, width)
                if right > left:
                    line[left * 3:right * 3] = bytes(p.colour) * (right - left)
            cache[active] = bytes(line)
        return cache[active]

    return png_from_rows(width, height, (row(y) for y in range(height)))


def fitted(width: int, height: int, area: int) -> tuple[float, float, float, float]:
    """(left, top, width, height) of a picture scaled down, never up, into a
    square area and centred, offsets rounded halves to even. For probing
    where a part of a picture lands in a thumbnail."""
    drawn_w, drawn_h = float(width), float(height)
    if width > area or height > area:
        if width >= height:
            drawn_w, drawn_h = float(area), height * area / width
        else:
            drawn_w, drawn_h = width * area / height, float(area)
    return (round(round(area - drawn_w) / 2), round(round(area - drawn_h) / 2), drawn_w, drawn_h)


# Screenshots ------------------------------------------------------------------------------


class Shot:
    """Pixels of a screenshot, 8 bits a channel; (0, 0) is its top-left corner."""

    def __init__(self, width: int, height: int, rgb: bytes):
        self.width = width
        self.height = height
        self.rgb = rgb

    @classmethod
    def from_ppm(cls, data: bytes) -> "Shot":
        fields = []
        position = 0
        while len(fields) < 4:  # magic, width, height, maxval; '#' comments skipped
            while data[position:position + 1].isspace():
                position += 1
            if data[position:position + 1] == b"#":
                position = data.index(b"\n", position)
                continue
            end = position
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[position:end])
            position = end
        position += 1  # the one blank after maxval
        magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
        if magic != b"P6":
            raise HarnessError(f"not a binary PPM: {magic!r}")
        body = data[position:]
        if maxval == 255:
            rgb = body[:width * height * 3]
        elif maxval == 65535:
            rgb = body[0:width * height * 6:2]  # the high byte of each sample
        else:
            raise HarnessError(f"unexpected PPM maxval {maxval}")
        if len(rgb) != width * height * 3:
            raise HarnessError(f"short PPM: {len(rgb)} bytes for {width}x{height}")
        return cls(width, height, rgb)

    def at(self, x: int, y: int) -> Colour:
        if not (0 <= x < self.width and 0 <= y < self.height):
            raise IndexError(f"({x}, {y}) outside {self.width}x{self.height}")
        i = (y * self.width + x) * 3
        return (self.rgb[i], self.rgb[i + 1], self.rgb[i + 2])

    def colours(self, x: int, y: int, width: int, height: int) -> dict[Colour, int]:
        """How often each colour occurs in the rectangle."""
        seen: dict[Colour, int] = {}
        for row in range(y, y + height):
            for column in range(x, x + width):
                colour = self.at(column, row)
                seen[colour] = seen.get(colour, 0) + 1
        return seen

    def mean(self, x: int, y: int, width: int, height: int) -> tuple[float, float, float]:
        sums = [0, 0, 0]
        for row in range(y, y + height):
            start = (row * self.width + x) * 3
            line = self.rgb[start:start + width * 3]
            for channel in range(3):
                sums[channel] += sum(line[channel::3])
        count = width * height
        return (sums[0] / count, sums[1] / count, sums[2] / count)

    def off_colour(self, x: int, y: int, width: int, height: int, colour: Colour,
                   tolerance: int = 0) -> list[tuple[int, int, Colour]]:
        """The pixels of the rectangle that are not `colour` (each channel
        within `tolerance`), at most 5 of them, in shot coordinates."""
        found = []
        for row in range(y, y + height):
            for column in range(x, x + width):
                seen = self.at(column, row)
                if any(abs(a - b) > tolerance for a, b in zip(seen, colour)):
                    found.append((column, row, seen))
                    if len(found) >= 5:
                        return found
        return found


_shots = itertools.count()


def grab(desktop: Desktop, area: Rect) -> Shot:
    """A screenshot of `area` (root coordinates)."""
    path = desktop.root / f"shot-{next(_shots)}.ppm"
    desktop.screenshot(path, area)
    shot = Shot.from_ppm(path.read_bytes())
    path.unlink()
    if (shot.width, shot.height) != (area.width, area.height):
        raise HarnessError(f"screenshot of {area} came out {shot.width}x{shot.height}")
    return shot


@dataclasses.dataclass(frozen=True)
class PreviewPlace:
    """Where the main window's preview lies: its client area holds the menu
    bar and, below it, the preview box (the preview side + 4) whose drawing
    origin is 2 pixels inside its corner."""
    client: Rect
    side: int
    bar: int

    @property
    def area(self) -> Rect:
        """The side x side drawing area, in root coordinates."""
        return Rect(self.client.x + FRAME, self.client.y + self.bar + FRAME, self.side, self.side)


def preview_place(desktop: Desktop, wid: int) -> PreviewPlace:
    client = desktop.client_geometry(wid)
    return PreviewPlace(client, client.width - 2 * FRAME, client.height - client.width)


def grab_preview(desktop: Desktop, wid: int) -> Shot:
    """The preview's drawing area; pixel (x, y) of the shot is pixel (x, y) of
    the area that pictures are fitted into."""
    return grab(desktop, preview_place(desktop, wid).area)


# Captions and focus --------------------------------------------------------------------


def wait_caption(desktop: Desktop, wid: int, expected: str, timeout: float = 5.0) -> str:
    """The caption once it is `expected`, or the last one seen after `timeout`."""
    return settle(lambda: desktop.window_name(wid), lambda caption: caption == expected, timeout)


def caption_history(desktop: Desktop, wid: int, until: str, timeout: float) -> list[str]:
    """The captions the window showed, each once in the order seen (sampled
    every 50 ms), until `until` came or `timeout` ran out."""
    seen: list[str] = []
    deadline = time.monotonic() + timeout
    while True:
        caption = desktop.window_name(wid)
        if not seen or seen[-1] != caption:
            seen.append(caption)
        if caption == until or time.monotonic() >= deadline:
            return seen
        time.sleep(0.05)


def active_window(desktop: Desktop) -> int | None:
    done = desktop.run(["xdotool", "getactivewindow"], check=False)
    words = done.stdout.split()
    return int(words[0]) if done.returncode == 0 and words else None


class FocusTaker:
    """A small window of another program (xmessage) that can take the focus."""

    _count = itertools.count()

    def __init__(self, desktop: Desktop, x: int = 900, y: int = 700, *, title: str | None = None,
                 timeout: float = 10.0):
        self.desktop = desktop
        self.title = title or f"pomorina-e2e-focus-{os.getpid()}-{next(self._count)}"
        self.proc = desktop._spawn(self.title, ["xmessage", "-geometry", f"+{x}+{y}",
                                                "-title", self.title, "another program"])

        def probe():
            if self.proc.poll() is not None:
                raise HarnessError(f"xmessage exited with {self.proc.returncode}")
            done = desktop.run(["xdotool", "search", "--onlyvisible", "--name",
                                f"^{self.title}$"], check=False)
            words = done.stdout.split()
            return int(words[0]) if words else None

        self.wid = wait_until(f"the xmessage window {self.title!r}", probe, timeout)

    def activate(self) -> None:
        self.desktop.activate(self.wid)
        wait_until("the xmessage window to be active",
                   lambda: active_window(self.desktop) == self.wid, 5.0)


# Clipboard owners ------------------------------------------------------------------------


class Clipboard:
    """Puts things on the clipboard the way other programs do."""

    def __init__(self, desktop: Desktop, tools: Path | None = None):
        self.desktop = desktop
        self.tools = tools
        self._count = itertools.count()
        self._owners = []

    def __enter__(self) -> "Clipboard":
        return self

    def __exit__(self, *exc) -> None:
        self.release()

    def owned(self) -> bool:
        """Whether any program owns the clipboard."""
        done = self.desktop.run(["xclip", "-o", "-selection", "clipboard", "-t", "TARGETS"],
                                check=False)
        return done.returncode == 0

    def release(self, timeout: float = 5.0) -> None:
        """Ends the owners started here, so that the clipboard is empty again
        (the next program starts without a leftover)."""
        for proc in self._owners:
            _stop(proc)
        self._owners.clear()
        wait_until("the clipboard to have no owner", lambda: not self.owned(), timeout)

    def _start(self, kind: str, args: list[str], ready: str, timeout: float):
        name = f"{kind}-{next(self._count)}"
        proc = self.desktop._spawn(name, args)
        self._owners.append(proc)
        log = self.desktop.root / f"{name}.log"

        def probe():
            text = log.read_text("utf-8", "replace") if log.exists() else ""
            if ready in text:
                return True
            if proc.poll() is not None:
                raise HarnessError(f"{args[0]} exited with {proc.returncode}: {text.strip()!r}")
            return None

        wait_until(f"{kind} to own the clipboard", probe, timeout)
        return proc

    def put_file(self, path: Path, mime: str, timeout: float = 30.0):
        """xclip offers the file's bytes as `mime`; returns once it owns the
        clipboard. The process ends when another owner takes over."""
        return self._start("xclip", ["xclip", "-quiet", "-selection", "clipboard", "-t", mime,
                                     "-i", str(path)], "Waiting for selection requests", timeout)

    def put_png(self, data: bytes, timeout: float = 30.0):
        path = self.desktop.root / f"picture-{next(self._count)}.png"
        path.write_bytes(data)
        return self.put_file(path, "image/png", timeout)

    def put_text(self, text: str, timeout: float = 10.0):
        path = self.desktop.root / f"text-{next(self._count)}.txt"
        path.write_bytes(text.encode("utf-8"))
        return self.put_file(path, "UTF8_STRING", timeout)

    def hold(self, mode: str, seconds: float, timeout: float = 10.0):
        """x11_clipboard_owner in `mode` ("silent", "targets-only") for `seconds`."""
        if self.tools is None:
            raise HarnessError("--tools is needed for x11_clipboard_owner")
        tool = self.tools / "x11_clipboard_owner"
        if not tool.is_file():
            raise HarnessError(f"no x11_clipboard_owner in {self.tools}")
        return self._start("owner", [str(tool), "--mode", mode, "--seconds", str(seconds)],
                           "owned", timeout)


    def serve(self, *, mode: str = "serve", text_file: Path | None = None,
              png_file: Path | None = None, chunk: int | None = None,
              die_after_chunks: int | None = None, seconds: float = 600, timeout: float = 10.0):
        """x11_clipboard_owner offering a text file's bytes and/or a PNG file,
        in pieces of `chunk` bytes, dying after `die_after_chunks` pieces."""
        if self.tools is None:
            raise HarnessError("--tools is needed for x11_clipboard_owner")
        args = [str(self.tools / "x11_clipboard_owner"), "--mode", mode, "--seconds", str(seconds)]
        if text_file is not None:
            args += ["--text-file", str(text_file)]
        if png_file is not None:
            args += ["--png-file", str(png_file)]
        if chunk is not None:
            args += ["--chunk", str(chunk)]
        if die_after_chunks is not None:
            args += ["--die-after-chunks", str(die_after_chunks)]
        return self._start("owner", args, "owned", timeout)


# The program's own state -----------------------------------------------------------------


def view_texts(desktop: Desktop, pid: int, timeout: float = 15.0) -> list[tuple[str, str]]:
    """(window caption, text) for every showing text box of the program, read
    through the accessibility bus (the program runs with accessible=True)."""
    deadline = time.monotonic() + timeout
    while True:
        done = desktop.run([SYSTEM_PYTHON, __file__, "texts", str(pid)], check=False,
                           timeout=timeout + 5)
        if done.returncode == 0:
            return [tuple(pair) for pair in json.loads(done.stdout)]
        if time.monotonic() >= deadline:
            raise HarnessError(f"reading the texts of pid {pid}: "
                               f"{done.stderr.decode('utf-8', 'replace').strip()}")
        time.sleep(0.2)


def main_view_text(desktop: Desktop, pid: int, caption: str) -> str | None:
    """The text of the main window's text view when it is showing, else None."""
    texts = [text for window, text in view_texts(desktop, pid) if window == caption]
    return texts[0] if texts else None


def read_stall_log(path: Path) -> tuple[int, int] | None:
    """(longest stall in ms, ticks) from the file POMORINA_STALL_LOG names."""
    try:
        text = path.read_text()
    except OSError:
        return None
    fields = dict(line.split(None, 1) for line in text.splitlines() if line.strip())
    try:
        return int(fields["max_stall_ms"]), int(fields["ticks"])
    except (KeyError, ValueError):
        return None


def rss_kib(pid: int) -> int:
    """Resident memory (VmRSS) of a process, in KiB."""
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmRSS:"):
            return int(line.split()[1])
    raise HarnessError(f"no VmRSS for pid {pid}")


def cpu_seconds(pid: int) -> float:
    """User + system CPU time a process has used so far."""
    stat = Path(f"/proc/{pid}/stat").read_text()
    fields = stat[stat.rindex(")") + 2:].split()
    # Fields 14 and 15 of stat; the list starts at field 3 (state).
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def open_x_display(display: str):
    """A connection of its own to the X server through libX11 (ctypes), with
    the signatures of the calls every user here makes; returns the library
    and the display. A user declares the further calls it makes."""
    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XDefaultRootWindow.restype = ctypes.c_ulong
    x.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
    x.XInternAtom.restype = ctypes.c_ulong
    x.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
    x.XConnectionNumber.argtypes = [ctypes.c_void_p]
    x.XPending.argtypes = [ctypes.c_void_p]
    x.XNextEvent.argtypes = [ctypes.c_void_p, ctypes.c_void_p]
    x.XFlush.argtypes = [ctypes.c_void_p]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    dpy = x.XOpenDisplay(display.encode())
    if not dpy:
        raise HarnessError(f"cannot open display {display}")
    return x, dpy


class Pinger:
    """Sends the window manager's _NET_WM_PING to a window and times the
    answer, which the program sends from its event loop: a program whose loop
    is stuck does not answer until it runs again. Talks to libX11 through
    ctypes."""

    CLIENT_MESSAGE = 33
    STRUCTURE_NOTIFY_MASK = 1 << 17

    def __init__(self, display: str, wid: int):
        x, self.dpy = open_x_display(display)
        x.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long,
                                 ctypes.c_void_p]
        self.x = x
        self.wid = wid
        self.root = x.XDefaultRootWindow(self.dpy)
        self.protocols = x.XInternAtom(self.dpy, b"WM_PROTOCOLS", 0)
        self.ping_atom = x.XInternAtom(self.dpy, b"_NET_WM_PING", 0)
        # Qt sends the answer to the root for the clients that select
        # StructureNotify (or SubstructureRedirect, the window manager's) there.
        x.XSelectInput(self.dpy, self.root, self.STRUCTURE_NOTIFY_MASK)
        x.XFlush(self.dpy)
        self.fd = x.XConnectionNumber(self.dpy)
        self.serial = itertools.count(1)

    def ping(self, timeout: float) -> float | None:
        """Seconds until the answer came, or None when none came in `timeout`."""
        stamp = next(self.serial) & 0xFFFFFFFF
        # XClientMessageEvent as 24 longs: type, serial, send_event, display,
        # window, message_type, format, data.l[0..4].
        event = (ctypes.c_long * 24)()
        event[0] = self.CLIENT_MESSAGE
        event[4] = self.wid
        event[5] = self.protocols
        event[6] = 32
        event[7] = self.ping_atom
        event[8] = stamp
        event[9] = self.wid
        started = time.monotonic()
        self.x.XSendEvent(self.dpy, self.wid, 0, 0, ctypes.cast(event, ctypes.c_void_p))
        self.x.XFlush(self.dpy)
        reply = (ctypes.c_long * 24)()
        deadline = started + timeout
        while True:
            while self.x.XPending(self.dpy):
                self.x.XNextEvent(self.dpy, reply)
                if (ctypes.c_int.from_buffer(reply).value == self.CLIENT_MESSAGE
                        and reply[7] & 0xFFFFFFFF == self.ping_atom
                        and reply[8] & 0xFFFFFFFF == stamp):
                    return time.monotonic() - started
            left = deadline - time.monotonic()
            if left <= 0:
                return None
            select.select([self.fd], [], [], left)

    def close(self) -> None:
        self.x.XCloseDisplay(self.dpy)


# Run as a script: the texts of a program's text boxes ------------------------------------


def texts_main(argv: list[str]) -> int:
    """clipboard_tools.py texts PID: prints [[window caption, text], ...] for
    every showing text box, as JSON; exit code 1 while the program is not on
    the accessibility bus yet."""
    import pyatspi  # Debian's python3-pyatspi, for /usr/bin/python3 only

    from a11y import find_application

    if len(argv) != 3 or argv[1] != "texts":
        print(texts_main.__doc__, file=sys.stderr)
        return 2
    app = find_application(int(argv[2]))
    if app is None:
        print(f"no application with pid {argv[2]} on the accessibility bus",
              file=sys.stderr)
        return 1
    found = []
    for index in range(app.childCount):
        window = app.getChildAtIndex(index)
        if window is None or not window.getState().contains(pyatspi.STATE_SHOWING):
            continue
        boxes = pyatspi.findAllDescendants(
            window, lambda node: node.getRoleName() == "text"
            and node.getState().contains(pyatspi.STATE_SHOWING))
        for box in boxes:
            found.append([window.name or "", box.queryText().getText(0, -1)])
    json.dump(found, sys.stdout, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.path.insert(0, str(Path(__file__).resolve().parent))
    sys.exit(texts_main(sys.argv))
