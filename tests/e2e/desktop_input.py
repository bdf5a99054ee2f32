"""What the end-to-end scripts do to a Desktop besides starting programs: the
clipboard through xclip, another window to take the focus, the pointer and
keyboard through xdotool, the text of the program's text boxes through the
accessibility bus, and small pictures written and read as PNG and BMP bytes.

Standard library only. Every process started here is started through the
Desktop, which ends it when it closes.
"""

from __future__ import annotations

import dataclasses
import json
import struct
import subprocess
import time
import zlib
from pathlib import Path

from clipboard_tools import (HISTORY_CAPTION, FocusTaker, active_window,  # noqa: F401
                             png_from_rows, wait_caption)
from desktop import (HERE, SYSTEM_PYTHON, WINDOW_TIMEOUT, Desktop, HarnessError, Program,
                     settle, wait_until)


# Pictures ------------------------------------------------------------------------


@dataclasses.dataclass(frozen=True)
class Picture:
    """An RGB picture: `rgb` holds 3 bytes a pixel, rows top to bottom."""

    width: int
    height: int
    rgb: bytes

    @staticmethod
    def filled(width: int, height: int, paint) -> "Picture":
        """A picture whose pixel (x, y) is paint(x, y) -> (r, g, b)."""
        data = bytearray()
        for y in range(height):
            for x in range(width):
                data += bytes(paint(x, y))
        return Picture(width, height, bytes(data))

    def pixel(self, x: int, y: int) -> tuple[int, int, int]:
        at = 3 * (y * self.width + x)
        return tuple(self.rgb[at:at + 3])

    def row(self, y: int) -> bytes:
        return self.rgb[3 * y * self.width:3 * (y + 1) * self.width]

    def region_colours(self, x0: int, y0: int, x1: int, y1: int) -> set[tuple[int, int, int]]:
        """The colours found in columns x0..x1-1 of rows y0..y1-1."""
        seen = set()
        for y in range(y0, y1):
            row = self.row(y)[3 * x0:3 * x1]
            for at in range(0, len(row), 3):
                seen.add(tuple(row[at:at + 3]))
        return seen

    def first_difference(self, other: "Picture") -> str | None:
        """None when both are the same picture, otherwise where they first differ."""
        if (self.width, self.height) != (other.width, other.height):
            return f"size {self.width}x{self.height} against {other.width}x{other.height}"
        for y in range(self.height):
            if self.row(y) != other.row(y):
                for x in range(self.width):
                    if self.pixel(x, y) != other.pixel(x, y):
                        return f"pixel ({x}, {y}): {self.pixel(x, y)} against {other.pixel(x, y)}"
        return None


def png_bytes(picture: Picture) -> bytes:
    """An 8-bit RGB PNG of `picture`."""
    return png_from_rows(picture.width, picture.height,
                         (picture.row(y) for y in range(picture.height)))


def _paeth(a: int, b: int, c: int) -> int:
    p = a + b - c
    pa, pb, pc = abs(p - a), abs(p - b), abs(p - c)
    if pa <= pb and pa <= pc:
        return a
    return b if pb <= pc else c


def read_png(data: bytes) -> Picture:
    """Decodes a non-interlaced 8-bit PNG (grey, RGB, palette, grey+alpha or
    RGBA; alpha is dropped, the picture is assumed opaque)."""
    if not data.startswith(b"\x89PNG\r\n\x1a\n"):
        raise HarnessError(f"not a PNG: {data[:16]!r}")
    at, idat, palette = 8, b"", b""
    width = height = depth = kind = interlace = None
    while at < len(data):
        length, tag = struct.unpack(">I4s", data[at:at + 8])
        body = data[at + 8:at + 8 + length]
        at += 12 + length
        if tag == b"IHDR":
            width, height, depth, kind, _, _, interlace = struct.unpack(">IIBBBBB", body)
        elif tag == b"PLTE":
            palette = body
        elif tag == b"IDAT":
            idat += body
        elif tag == b"IEND":
            break
    channels = {0: 1, 2: 3, 3: 1, 4: 2, 6: 4}.get(kind)
    if depth != 8 or interlace != 0 or channels is None:
        raise HarnessError(f"PNG form not handled: depth {depth}, colour type {kind}, "
                           f"interlace {interlace}")
    raw = zlib.decompress(idat)
    stride = width * channels
    previous = bytearray(stride)
    out = bytearray()
    pos = 0
    for _ in range(height):
        method = raw[pos]
        line = bytearray(raw[pos + 1:pos + 1 + stride])
        pos += 1 + stride
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if method == 1:
                line[i] = (line[i] + left) & 0xFF
            elif method == 2:
                line[i] = (line[i] + up) & 0xFF
            elif method == 3:
                line[i] = (line[i] + ((left + up) >> 1)) & 0xFF
            elif method == 4:
                line[i] = (line[i] + _paeth(left, up, corner)) & 0xFF
        previous = line
        for x in range(width):
            px = line[x * channels:(x + 1) * channels]
            if kind in (0, 4):
                out += bytes((px[0], px[0], px[0]))
            elif kind == 3:
                out += palette[3 * px[0]:3 * px[0] + 3]
            else:
                out += px[:3]
    return Picture(width, height, bytes(out))


def bmp_bytes(picture: Picture) -> bytes:
    """A 24-bit bottom-up Windows bitmap file of `picture`."""
    stride = (3 * picture.width + 3) // 4 * 4
    rows = []
    for y in reversed(range(picture.height)):
        row = picture.row(y)
        bgr = bytearray(len(row))
        bgr[0::3], bgr[1::3], bgr[2::3] = row[2::3], row[1::3], row[0::3]
        rows.append(bytes(bgr) + b"\x00" * (stride - len(row)))
    pixels = b"".join(rows)
    info = struct.pack("<IiiHHIIiiII", 40, picture.width, picture.height, 1, 24, 0, len(pixels),
                       2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    return header + info + pixels


@dataclasses.dataclass(frozen=True)
class Bitmap:
    """A Windows bitmap file as read: its header fields and its picture."""

    file_size_field: int
    header_size: int
    bits_per_pixel: int
    compression: int
    bottom_up: bool
    picture: Picture


def read_bmp(data: bytes) -> Bitmap:
    """Decodes an uncompressed 24- or 32-bit Windows bitmap file (or a 32-bit
    one with BI_BITFIELDS in the usual BGRA order)."""
    if len(data) < 54 or data[:2] != b"BM":
        raise HarnessError(f"not a bitmap file: {data[:16]!r}")
    _, file_size, _, _, offset = struct.unpack("<2sIHHI", data[:14])
    header_size, width, height, _, bits, compression = struct.unpack("<IiiHHI", data[14:34])
    if bits not in (24, 32) or compression not in (0, 3):
        raise HarnessError(f"bitmap form not handled: {bits} bits, compression {compression}")
    bottom_up = height > 0
    height = abs(height)
    step = bits // 8
    stride = (step * width + 3) // 4 * 4
    out = bytearray()
    for y in range(height):
        stored = height - 1 - y if bottom_up else y
        row = data[offset + stored * stride:offset + stored * stride + step * width]
        if len(row) < step * width:
            raise HarnessError(f"bitmap file cut short at row {y}")
        rgb = bytearray(3 * width)
        rgb[0::3], rgb[1::3], rgb[2::3] = row[2::step], row[1::step], row[0::step]
        out += rgb
    return Bitmap(file_size, header_size, bits, compression, bottom_up,
                  Picture(width, height, bytes(out)))


# Clipboard -------------------------------------------------------------------------


class Clipboard:
    """The CLIPBOARD selection of a Desktop, read and set with xclip."""

    def __init__(self, desktop: Desktop):
        self.desktop = desktop
        self._count = 0

    def _own(self, target: str, payload: bytes, ready) -> subprocess.Popen:
        """Starts an xclip that owns the clipboard with `payload` as `target`
        and stays in the foreground until another program takes it over; it
        returns once `ready()` holds."""
        self._count += 1
        source = self.desktop.root / f"clip-{self._count}"
        source.write_bytes(payload)
        proc = self.desktop._spawn(f"xclip-{self._count}",
                                   ["xclip", "-quiet", "-selection", "clipboard", "-t", target,
                                    "-i", str(source)])
        wait_until(f"xclip to offer {target}",
                   lambda: proc.poll() is None and ready(), WINDOW_TIMEOUT)
        return proc

    def copy_text(self, text: str) -> subprocess.Popen:
        data = text.encode("utf-8")
        return self._own("UTF8_STRING", data, lambda: self.raw() == data)

    def copy_picture(self, picture: Picture) -> subprocess.Popen:
        data = png_bytes(picture)
        return self._own("image/png", data, lambda: "image/png" in self.targets())

    def raw(self, target: str | None = None) -> bytes | None:
        """The clipboard's content in `target` (plain text when None); None
        when nothing answers in that format."""
        args = ["xclip", "-o", "-selection", "clipboard"]
        if target:
            args += ["-t", target]
        done = self.desktop.run(args, check=False)
        return done.stdout if done.returncode == 0 else None

    def text(self) -> str | None:
        data = self.raw()
        return None if data is None else data.decode("utf-8", "replace")

    def targets(self) -> list[str]:
        data = self.raw("TARGETS")
        return data.decode("utf-8", "replace").split() if data else []

    def picture(self) -> Picture | None:
        """The clipboard's picture; None while it holds none (an owner of
        plain text, such as xclip, hands out its text for any target)."""
        data = self.raw("image/png")
        if not data or not data.startswith(b"\x89PNG"):
            return None
        return read_png(data)

    def wait_picture(self, expected: Picture, timeout: float = 3.0) -> str | None:
        """Waits until the clipboard's picture is `expected`: None then,
        otherwise how the last one seen differs."""
        seen = settle(self.picture,
                      lambda p: p is not None and p.first_difference(expected) is None,
                      timeout, interval=0.1)
        return expected.first_difference(seen) if seen else "no image/png on the clipboard"


# Windows, focus, pointer and keys --------------------------------------------------


class FocusSink(FocusTaker):
    """A small window of another program (xmessage) to give the focus to, so
    that the program under test is not the active window; activate() does not
    wait for the window manager."""

    def __init__(self, desktop: Desktop, title: str = "focus-sink",
                 at: tuple[int, int] = (900, 700)):
        super().__init__(desktop, at[0], at[1], title=title, timeout=WINDOW_TIMEOUT)

    def activate(self) -> None:
        self.desktop.activate(self.wid)


def stacking(desktop: Desktop) -> list[int]:
    """The managed windows from bottom to top (_NET_CLIENT_LIST_STACKING)."""
    text = desktop.run(["xprop", "-root", "_NET_CLIENT_LIST_STACKING"]).stdout.decode()
    _, _, ids = text.partition("#")
    return [int(word.strip(), 16) for word in ids.split(",") if word.strip()]


def pointer_position(desktop: Desktop) -> tuple[int, int]:
    text = desktop.run(["xdotool", "getmouselocation", "--shell"]).stdout.decode()
    fields = dict(line.split("=", 1) for line in text.split() if "=" in line)
    return int(fields["X"]), int(fields["Y"])


def pointer_to(desktop: Desktop, x: int, y: int) -> None:
    """Moves the pointer and waits until it is there (xdotool's --sync would
    wait for ever for a move to where the pointer already is)."""
    if pointer_position(desktop) != (x, y):
        desktop.run(["xdotool", "mousemove", "--sync", str(x), str(y)])


def click_at(desktop: Desktop, x: int, y: int, button: int = 1) -> None:
    pointer_to(desktop, x, y)
    desktop.run(["xdotool", "click", str(button)])


def type_text(desktop: Desktop, text: str) -> None:
    """Types `text` into the focused window, key by key."""
    desktop.run(["xdotool", "type", "--delay", "30", "--clearmodifiers", text], timeout=30)


def drag(desktop: Desktop, start: tuple[int, int], end: tuple[int, int], steps: int = 12,
         pause: float = 0.03) -> None:
    """Presses button 1 at `start`, moves in `steps` steps to `end` and
    releases it there, as a hand does."""
    pointer_to(desktop, *start)
    desktop.run(["xdotool", "mousedown", "1"])
    time.sleep(0.2)  # the press starts the drag; let the source take the pointer
    for step in range(1, steps + 1):
        x = start[0] + (end[0] - start[0]) * step // steps
        y = start[1] + (end[1] - start[1]) * step // steps
        desktop.run(["xdotool", "mousemove", str(x), str(y)])
        time.sleep(pause)
    time.sleep(0.2)  # the target answers the last position
    desktop.run(["xdotool", "mouseup", "1"])


def main_window(program: Program, timeout: float = WINDOW_TIMEOUT) -> int:
    """The main window: the program's first viewable window that is not the
    history window (the main window's caption follows the clipboard)."""

    def probe():
        if program.exit_code() is not None:
            raise HarnessError(f"the program ended: {program.describe()}")
        for wid in program.desktop.visible_windows(program.pid):
            if program.desktop.window_name(wid) != HISTORY_CAPTION:
                return wid
        return None

    return wait_until(f"the main window of pid {program.pid}", probe, timeout)


def menu_bar_height(desktop: Desktop, wid: int) -> int:
    """The main window's menu bar: at full size the client area is the square
    preview box with the menu bar on top."""
    client = desktop.client_geometry(wid)
    return client.height - client.width


# Menus that open a modal box --------------------------------------------------------


def press_menu_in_background(desktop: Desktop, pid: int, path: list[str]) -> subprocess.Popen:
    """Presses a menu item like Desktop.press_menu, without waiting for it.

    The accessibility bus answers a press only when the item's command has
    returned, and a command that shows a modal box returns only once the box
    is closed: the caller answers the box and then waits for the process."""
    desktop.accessible_tree(pid)  # waits until the program is on the bus
    return desktop._spawn(f"press-{time.monotonic_ns()}",
                          [SYSTEM_PYTHON, str(HERE / "a11y.py"), "press", str(pid), *path])


# Text boxes through the accessibility bus --------------------------------------------


def text_boxes(desktop: Desktop, pid: int, timeout: float = WINDOW_TIMEOUT) -> list[dict]:
    """Every text box of the program: {"window", "text", "states"}, "window"
    being the caption of the top-level window that holds it."""
    deadline = time.monotonic() + timeout
    while True:
        done = desktop.run([SYSTEM_PYTHON, str(HERE / "a11y_text.py"), str(pid)], check=False,
                           timeout=max(deadline - time.monotonic(), 1.0) + 5)
        if done.returncode == 0:
            return json.loads(done.stdout)
        if time.monotonic() >= deadline:
            reason = done.stderr.decode("utf-8", "replace").strip()
            raise HarnessError(f"a11y_text.py {pid}: {reason}")
        time.sleep(0.2)


def shown_text(desktop: Desktop, pid: int) -> str | None:
    """The text of the main window's text view while it is shown, else None."""
    for box in text_boxes(desktop, pid):
        if box["window"] != HISTORY_CAPTION and "showing" in box["states"]:
            return box["text"]
    return None


def wait_shown_text(desktop: Desktop, pid: int, expected: str, timeout: float = 5.0) -> str | None:
    """Waits until the text view shows `expected`; returns the last text seen."""
    return settle(lambda: shown_text(desktop, pid), lambda text: text == expected, timeout,
                  interval=0.2)


def checked_items(desktop: Desktop, pid: int, menu: str) -> set[str]:
    """The captions of the checked items directly under the menu `menu`."""

    def find(node):
        if node["role"] in ("menu", "menu item") and node["name"] == menu:
            return node
        for child in node["children"]:
            hit = find(child)
            if hit is not None:
                return hit
        return None

    def items(node):
        for child in node["children"]:
            if child["role"] in ("menu", "popup menu") and not child["name"]:
                yield from items(child)
            else:
                yield child

    top = find(desktop.accessible_tree(pid))
    if top is None:
        raise HarnessError(f"no menu {menu!r} in the accessibility tree")
    return {item["name"] for item in items(top) if "checked" in item["states"]}


def file_appears(path: Path, timeout: float) -> bool:
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if path.exists():
            return True
        time.sleep(0.05)
    return path.exists()


# Drag and drop -------------------------------------------------------------------------


class DragSource:
    """The test tool drag_source: a window of another program that drags the
    given files (as a URL list, like a file manager) when it is pressed."""

    def __init__(self, desktop: Desktop, tools: Path, files: list[Path], at=(700, 150),
                 propose: str = "copy"):
        self.desktop = desktop
        tool = tools / "drag_source"
        if not tool.exists():
            raise HarnessError(f"no drag_source in {tools}")
        DragSource._count = getattr(DragSource, "_count", 0) + 1
        self.title = f"drag-source-{DragSource._count}"
        self.log = desktop.root / f"{self.title}.log"
        self.proc = desktop._spawn(self.title, [str(tool), "--title", self.title,
                                                "--propose", propose,
                                                *[str(path) for path in files]])

        def probe():
            if self.proc.poll() is not None:
                raise HarnessError(f"drag_source exited with {self.proc.returncode}: "
                                   f"{self.log.read_text(errors='replace')}")
            done = desktop.run(["xdotool", "search", "--onlyvisible", "--name", f"^{self.title}$"],
                               check=False)
            ids = [int(word) for word in done.stdout.split()]
            return ids[0] if ids else None

        self.wid = wait_until(f"the window {self.title!r}", probe, WINDOW_TIMEOUT)
        desktop.move_window(self.wid, *at)
        settle(lambda: desktop.frame_geometry(self.wid).top_left, lambda p: p == at)

    def drag_to(self, x: int, y: int) -> int | None:
        """Drags from the middle of the window to (x, y) and drops there;
        returns the action the drag source reports (see drag_source.cpp), or
        None when the drag did not end within a few seconds."""
        client = self.desktop.client_geometry(self.wid)
        drag(self.desktop, (client.x + client.width // 2, client.y + client.height // 2), (x, y))

        def ended():
            for line in self.log.read_text(errors="replace").splitlines():
                if line.startswith("drag ended "):
                    return line
            return None

        try:
            line = wait_until("the drag to end", ended, 5.0)
        except HarnessError:
            return None
        return int(line.split()[-1])
