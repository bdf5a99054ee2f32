"""Soak test of the real program: a clipboard that changes ten times a
second for minutes, with the windows in use, must not grow its memory, stall
its event loop or garble its history.

The program runs with a 0.5 s poll and auto-hide after 0.5 s. The test tool
soak_owner (tests/support) takes the clipboard ten times a second, texts
(3 bytes to 400 KB) and PNG pictures (1x1 to 3840x2160, screenshot-like and
photo-like, some written by ImageMagick with its filters) in turn; data above
one request's size goes over INCR. Meanwhile, every few seconds, the test
moves the pointer away and back (auto-hide), picks another preview size from
the menu, and opens and closes the history window "履歴", where every text
must be one the owner put there.

Two slow phases of six texts and six pictures in turn, each held 1.2 s, leave
the history in a known state: one after the first minute of the storm, where
the resident memory is taken as the reference, and one at the end, after
which:
- the resident memory (VmRSS) is within 10 % of the reference (a sample every
  10 s shows the trend);
- the longest stall of the event loop (POMORINA_STALL_LOG) is at most 250 ms,
  also once xclip has pasted the restored pictures as PNG;
- the history window shows exactly the last six texts and, by the colour of
  each thumbnail, the last six pictures, newest first, and a click on each
  slot puts that very text or picture back on the clipboard (read with
  xclip, pictures compared pixel for pixel).

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/e2e/test_soak.py \\
        --binary build/pomorina --tools build/tests [--duration 600]
"""

from __future__ import annotations

import dataclasses
import hashlib
import os
import random
import subprocess
import threading
import time
import traceback
from pathlib import Path

from checks import Checks, run_script
from clipboard_tools import (FRAME, HISTORY_CAPTION, fitted, grab, png_from_rows,
                             read_stall_log, rss_kib)
from desktop import Desktop, HarnessError, settings_bytes, settings_lines, settle, wait_until
from desktop_input import FocusSink, active_window, click_at, main_window, pointer_to, text_boxes

STORM_HOLD = 0.1  # seconds an item is held in the storm: ten changes a second
SLOW_HOLD = 1.2  # in the slow phases: more than two polls
FIRST_MINUTE = 60.0  # of storm before the reference phase
SAMPLE_EVERY = 10.0
RSS_TOLERANCE = 0.10
STALL_LIMIT_MS = 250
MIN_RATE = 9.0  # changes a second the storm must reach to count as one
# glibc raises its mmap threshold after freeing a large block, and then keeps
# freed pictures of up to 32 MiB (one 3840x2160 picture is 31.6 MiB) in the
# heap for reuse, up to twice that untrimmed: the resident memory then swings
# by tens of MiB with the order of frees. A fixed threshold returns every
# freed picture at once, so that the figure is what the program holds.

SIZES = ["64*64", "128*128", "192*192", "256*256", "320*320"]  # the 設定 menu
FAR_AWAY = (1250, 1000)
SLOT_LEFTS = [8, 112, 216, 320, 424, 528]
SLOT_TOP = 8
THUMB_AREA = 96
THUMB_TOLERANCE = 14  # per channel, for a thumbnail centre's mean colour
TEXT_SHOWN_LIMIT = 64 * 1024  # the program shows longer texts cut short

CONVERT = "/usr/bin/convert" if Path("/usr/bin/convert").exists() else "convert"


# The material ------------------------------------------------------------------------------

@dataclasses.dataclass
class Item:
    kind: str  # "text" or "png"
    path: Path
    text: str | None = None
    size: tuple[int, int] | None = None
    colour: tuple[int, int, int] | None = None  # the middle of a slow-phase picture
    digest: str | None = None  # sha256 of a slow-phase picture's RGB rows


# Storm pictures: (width, height, look, written by ImageMagick).
STORM_PICTURES = [
    (3840, 2160, "screen", True), (2560, 1440, "photo", False), (1920, 1080, "screen", True),
    (1600, 1200, "photo", False), (1280, 1024, "screen", False), (1366, 768, "screen", False),
    (1024, 768, "photo", True), (800, 600, "screen", False), (640, 480, "photo", False),
    (320, 240, "screen", False), (1, 1, "screen", False), (3, 2, "photo", False),
    (16, 16, "screen", False), (64, 64, "photo", False), (333, 777, "screen", False),
    (1001, 99, "photo", False), (99, 1001, "screen", False), (2047, 1151, "screen", False),
    (1919, 1079, "photo", False), (3840, 2160, "photo", False), (7, 2500, "screen", False),
    (3840, 1, "photo", False), (500, 500, "screen", False), (123, 457, "photo", False),
]
STORM_TEXT_SIZES = [3, 9, 40, 200, 1000, 4000, 16000, 50000, 100000, 200000, 300000, 400000]

# The slow phases: the same sizes both times, so that the history holds as
# much at the reference as at the end.
SLOW_PICTURE_SIZES = [(3840, 2160), (640, 480), (1920, 1080), (1023, 767), (333, 777),
                      (2560, 1440)]
SLOW_TEXT_SIZES = [5, 120, 2500, 30000, 300000, 60]
REFERENCE_COLOURS = [(240, 140, 20), (120, 40, 160), (0, 128, 128), (140, 90, 40),
                     (250, 160, 190), (128, 128, 0)]
FINAL_COLOURS = [(220, 40, 40), (40, 180, 60), (40, 70, 220), (230, 210, 30), (200, 40, 200),
                 (30, 200, 210)]

WORDS = ["clipboard", "ポモリナ", "履歴", "soak", "テキスト", "picture", "12345", "行", "zz",
         "クリップボード", "abc def", "—", "€"]


def make_text(tag: str, size: int, rnd: random.Random) -> str:
    """A text of about `size` UTF-8 bytes that starts with `tag`, in lines of
    mixed words."""
    parts = [tag]
    length = len(tag.encode())
    while length < size:
        word = rnd.choice(WORDS)
        joiner = "\n" if rnd.random() < 0.08 else " "
        parts.append(joiner + word)
        length += len((joiner + word).encode())
    text = "".join(parts)
    while len(text.encode()) > max(size, len(tag.encode())):
        text = text[:-1]
    return text.rstrip()


def _gradient(width: int, rnd: random.Random, top: int) -> bytes:
    """A left-to-right gradient row whose bytes stay below `top`."""
    tint = rnd.randrange(top)
    row = bytearray()
    for x in range(width):
        value = x * (top - 1) // max(width - 1, 1)
        row += bytes((value, tint, top - 1 - value))
    return bytes(row)


def storm_png(index: int, width: int, height: int, look: str) -> bytes:
    """A picture that is not one colour: a gradient shaded from row to row,
    and either a screen's rectangles, rules and a noisy patch, or a photo's
    fine grain all over."""
    rnd = random.Random(1000 + index)
    base = _gradient(width, rnd, 224)
    shades = [bytes((value + 7 * step) % 224 if value < 224 else value for value in range(256))
              for step in range(32)]
    if look == "photo":
        grain = bytes(value & 0x1F for value in range(256))

        def rows():
            for y in range(height):
                row = base.translate(shades[y * 32 // height])
                noise = rnd.randbytes(len(row)).translate(grain)
                # Bytes below 224 plus grain below 32 never carry into the next byte.
                total = int.from_bytes(row, "big") + int.from_bytes(noise, "big")
                yield total.to_bytes(len(row), "big")

        return png_from_rows(width, height, rows())

    boxes = []
    for _ in range(6):
        box_w = rnd.randrange(1, width // 3 + 2)
        box_h = rnd.randrange(1, height // 3 + 2)
        boxes.append((rnd.randrange(width), rnd.randrange(height), box_w, box_h,
                       bytes(rnd.randrange(256) for _ in range(3))))
    noise_x0, noise_x1 = width // 2, width // 2 + width // 5
    noise_y0, noise_y1 = height // 3, height // 3 + height // 5
    rule = width // 3
    dots = (b"\x20\x20\x20\xf0\xf0\xf0" * (rule // 2 + 1))[:rule * 3]

    def rows():
        for y in range(height):
            row = bytearray(base.translate(shades[y * 32 // height]))
            for x0, y0, box_w, box_h, colour in boxes:
                if y0 <= y < y0 + box_h:
                    x1 = min(width, x0 + box_w)
                    row[x0 * 3:x1 * 3] = colour * (x1 - x0)
            if y % 18 < 2:  # dotted rules across the left third, like lines of text
                row[0:rule * 3] = dots
            if noise_y0 <= y < noise_y1 and noise_x1 > noise_x0:
                row[noise_x0 * 3:noise_x1 * 3] = rnd.randbytes((noise_x1 - noise_x0) * 3)
            yield bytes(row)

    return png_from_rows(width, height, rows())


def slow_png(index: int, width: int, height: int, colour) -> tuple[bytes, str]:
    """A picture whose middle (20 % to 80 % each way) is `colour`, inside a
    border of stripes with grain; returns the PNG and the digest of its RGB
    rows."""
    rnd = random.Random(2000 + index)
    middle = bytes(colour)
    stripe_a = bytes(rnd.randrange(224) for _ in range(3))
    stripe_b = bytes(rnd.randrange(224) for _ in range(3))
    x0, x1 = width // 5, width - width // 5
    y0, y1 = height // 5, height - height // 5
    grain = bytes(value & 0x1F for value in range(256))
    digest = hashlib.sha256()

    def rows():
        for y in range(height):
            pattern = (stripe_a * 8 + stripe_b * 8) * (width // 16 + 1)
            shift = (y % 16) * 3
            row = (pattern[shift:] + pattern[:shift])[:width * 3]
            noise = rnd.randbytes(width * 3).translate(grain)
            total = int.from_bytes(row, "big") + int.from_bytes(noise, "big")
            line = bytearray(total.to_bytes(width * 3, "big"))
            if y0 <= y < y1:
                line[x0 * 3:x1 * 3] = middle * (x1 - x0)
            digest.update(line)
            yield bytes(line)

    data = png_from_rows(width, height, rows())
    return data, digest.hexdigest()


@dataclasses.dataclass
class Material:
    storm: list[Item]  # texts and pictures in turn
    reference: list[Item]  # the slow phase after the first minute
    final: list[Item]  # the last slow phase
    texts: dict[str, str]  # every text the owner puts, by file name


def make_material(folder: Path) -> Material:
    folder.mkdir(parents=True, exist_ok=True)
    rnd = random.Random(7)
    texts: dict[str, str] = {}

    def text_item(name: str, text: str) -> Item:
        path = folder / name
        path.write_bytes(text.encode())
        texts[name] = text
        return Item("text", path, text=text)

    storm_texts = [text_item(f"storm-{i:02d}.txt", make_text(f"S{i:02d}", size, rnd))
                   for i, size in enumerate(STORM_TEXT_SIZES * 2)]
    storm_pictures = []
    reencode = []
    for i, (width, height, look, magick) in enumerate(STORM_PICTURES):
        path = folder / f"storm-{i:02d}-{width}x{height}.png"
        path.write_bytes(storm_png(i, width, height, look))
        if magick:
            reencode.append(path)
        storm_pictures.append(Item("png", path, size=(width, height)))
    # ImageMagick writes them again with its own row filters and compression,
    # as pictures from other programs come.
    jobs = [subprocess.Popen([CONVERT, str(path), "-define", "png:compression-filter=5",
                              str(path.with_suffix(".magick.png"))]) for path in reencode]
    for job, path in zip(jobs, reencode):
        if job.wait(60) != 0:
            raise HarnessError(f"convert failed on {path}")
        path.with_suffix(".magick.png").replace(path)
    storm = [item for pair in zip(storm_texts, storm_pictures) for item in pair]

    def slow(prefix: str, colours, offset: int) -> list[Item]:
        items = []
        for i, (size, (width, height), colour) in enumerate(
                zip(SLOW_TEXT_SIZES, SLOW_PICTURE_SIZES, colours)):
            items.append(text_item(f"{prefix}-{i}.txt", make_text(f"{prefix.upper()}{i}:", size,
                                                                  rnd)))
            data, digest = slow_png(offset + i, width, height, colour)
            path = folder / f"{prefix}-{i}-{width}x{height}.png"
            path.write_bytes(data)
            items.append(Item("png", path, size=(width, height), colour=colour, digest=digest))
        return items

    return Material(storm, slow("reference", REFERENCE_COLOURS, 0),
                    slow("final", FINAL_COLOURS, 10), texts)


def write_script(path: Path, material: Material, first: float, rest: float,
                 go: list[Path]) -> None:
    """The owner's script: storm, reference phase, storm, final phase. The
    owner waits before each slow phase until the test has quieted the windows
    down, and after the reference phase until the memory has been taken."""
    lines = []
    done = 0

    def storm(seconds: float) -> None:
        nonlocal done
        count = round(seconds / STORM_HOLD)
        for n in range(done, done + count):
            item = material.storm[n % len(material.storm)]
            lines.append(f"{item.kind} {STORM_HOLD} {item.path}")
        done += count

    def slow(items: list[Item]) -> None:
        lines.extend(f"{item.kind} {SLOW_HOLD} {item.path}" for item in items)

    storm(first)
    lines += ["mark storm-1", f"wait {go[0]}"]
    slow(material.reference)
    lines += ["mark reference", f"wait {go[1]}"]
    storm(rest)
    lines += ["mark storm-2", f"wait {go[2]}"]
    slow(material.final)
    lines += ["mark final"]
    path.write_text("\n".join(lines) + "\n")


# Watching the owner and the program --------------------------------------------------------

class Monitor(threading.Thread):
    """Follows the owner's output and samples the program's resident memory
    and longest stall every SAMPLE_EVERY seconds and at each mark; after the
    sample at a mark named in `release` it creates that file (the owner
    waits for it)."""

    def __init__(self, owner_log: Path, pid: int, stall_log: Path,
                 release: dict[str, Path]):
        super().__init__(daemon=True)
        self.release = release
        self.owner_log = owner_log
        self.pid = pid
        self.stall_log = stall_log
        self.lock = threading.Lock()
        self.took: list[tuple[float, str, str]] = []  # (time, kind, file name), in order
        self.marks: dict[str, float] = {}
        self.waiting: set[str] = set()
        self.stats: dict[str, int] = {}
        self.lost: list[float] = []
        self.samples: list[tuple[float, int, int | None, str]] = []  # (s, KiB, stall, label)
        self.mark_samples: dict[str, tuple[int, int | None]] = {}
        self.started = time.monotonic()
        self.error: str | None = None
        self._offset = 0
        self._partial = b""
        self._halt = threading.Event()

    def sample(self, label: str) -> tuple[int, int | None]:
        rss = rss_kib(self.pid)
        stall = read_stall_log(self.stall_log)
        value = (rss, stall[0] if stall else None)
        with self.lock:
            self.samples.append((time.monotonic() - self.started, rss, value[1], label))
        return value

    def _read_owner(self) -> None:
        try:
            with open(self.owner_log, "rb") as log:
                log.seek(self._offset)
                data = log.read()
        except OSError:
            return
        self._offset += len(data)
        data = self._partial + data
        lines = data.split(b"\n")
        self._partial = lines.pop()
        for raw in lines:
            words = raw.decode("utf-8", "replace").split()
            if not words:
                continue
            with self.lock:
                if words[0] == "took" and len(words) >= 5:
                    self.took.append((float(words[4]), words[2], words[3]))
                elif words[0] == "mark":
                    self.marks[words[1]] = float(words[2])
                elif words[0] == "wait":
                    self.waiting.add(words[1])
                elif words[0] == "stats":
                    self.stats = {key: int(float(value)) for key, value in
                                  (word.split("=", 1) for word in words[1:])}
                elif words[0] == "lost":
                    self.lost.append(float(words[1]))
            if words[0] == "mark":
                self.mark_samples[words[1]] = self.sample(f"at the end of {words[1]}")
                if words[1] in self.release:
                    self.release[words[1]].touch()

    def run(self) -> None:
        next_sample = time.monotonic()
        try:
            while not self._halt.is_set():
                self._read_owner()
                if time.monotonic() >= next_sample:
                    self.sample("")
                    next_sample += SAMPLE_EVERY
                self._halt.wait(0.05)
            self._read_owner()
        except Exception:
            self.error = traceback.format_exc()

    def stop(self) -> None:
        self._halt.set()
        self.join(5)

    def has_mark(self, name: str) -> bool:
        with self.lock:
            return name in self.marks

    def is_waiting(self, path: Path) -> bool:
        with self.lock:
            return str(path) in self.waiting


# Using the windows -------------------------------------------------------------------------

@dataclasses.dataclass
class Tally:
    away: dict[str, int] = dataclasses.field(default_factory=dict)  # by phase
    collapses: dict[str, int] = dataclasses.field(default_factory=dict)  # shrank meanwhile
    restored: int = 0  # full size again after the pointer came back
    not_restored: list[str] = dataclasses.field(default_factory=list)
    sizes: int = 0
    size_faults: list[str] = dataclasses.field(default_factory=list)
    history_opened: int = 0
    history_faults: list[str] = dataclasses.field(default_factory=list)
    history_reads: int = 0
    strange_texts: list[str] = dataclasses.field(default_factory=list)


class Hands:
    """What the user does meanwhile, one step at a time."""

    def __init__(self, desktop: Desktop, program, wid: int, sink: FocusSink,
                 texts: dict[str, str]):
        self.desktop = desktop
        self.program = program
        self.wid = wid
        self.sink = sink
        self.known_texts = list(texts.values())
        self.tally = Tally()
        self.history: int | None = None
        self.turn = 0
        self.phase = "storm"

    def _title_point(self) -> tuple[int, int]:
        frame = self.desktop.frame_geometry(self.wid)
        client = self.desktop.client_geometry(self.wid)
        return frame.x + frame.width // 2, (frame.y + client.y) // 2

    def pointer_out_and_in(self, away: float) -> None:
        """Away for up to `away` seconds (until the window shrinks), then back
        onto the title bar, where the window must open again."""
        desktop = self.desktop
        point = self._title_point()
        pointer_to(desktop, *FAR_AWAY)
        tally = self.tally
        tally.away[self.phase] = tally.away.get(self.phase, 0) + 1
        shrunk = settle(lambda: desktop.client_geometry(self.wid),
                        lambda r: r.height < r.width, timeout=away, interval=0.05)
        collapsed = shrunk.height < shrunk.width
        if collapsed:
            tally.collapses[self.phase] = tally.collapses.get(self.phase, 0) + 1
        pointer_to(desktop, *point)
        full = settle(lambda: desktop.client_geometry(self.wid),
                      lambda r: r.height > r.width, timeout=2.0)
        if full.height > full.width:
            self.tally.restored += 1
        else:
            self.tally.not_restored.append(
                f"client {full.width}x{full.height} 2 s after the pointer came back "
                f"({'after' if collapsed else 'without'} a collapse)")

    def preview_size(self) -> None:
        index = (self.turn + 3) % len(SIZES)  # 192 at the start: then 256, 320, 64, ...
        side = 64 * (index + 1)
        self.desktop.press_menu(self.program.pid, ["設定", SIZES[index]])
        width = settle(lambda: self.desktop.client_geometry(self.wid).width,
                       lambda w: w == side + 2 * FRAME, timeout=3.0)
        self.tally.sizes += 1
        if width != side + 2 * FRAME:
            self.tally.size_faults.append(f"{side}: client width {width}, not {side + 2 * FRAME}")

    def history_round(self, read_texts: bool) -> None:
        """Opens the history window, reads its texts, closes it: from the
        title bar's close button or by bringing another window to the front."""
        desktop = self.desktop
        desktop.press_menu(self.program.pid, [HISTORY_CAPTION])
        try:
            self.history = self.program.wait_window(HISTORY_CAPTION, timeout=5.0)
        except HarnessError as error:
            self.tally.history_faults.append(f"did not show: {error}")
            return
        self.tally.history_opened += 1
        if read_texts:
            self.check_history_texts()
        if self.turn % 2:
            desktop.close_window(self.history)
        else:
            self.sink.activate()
        hidden = settle(lambda: self.history in desktop.visible_windows(self.program.pid),
                        lambda shown: not shown, timeout=3.0)
        if hidden:
            self.tally.history_faults.append("still shown 3 s after it was closed")
        self.sink.activate()

    def check_history_texts(self) -> None:
        """Every text in the history is one the owner put there (or, for a
        long one, its start); empty slots only after the filled ones."""
        texts = [box["text"] for box in text_boxes(self.desktop, self.program.pid)
                 if box["window"] == HISTORY_CAPTION]
        self.tally.history_reads += 1
        if len(texts) != 6:
            self.tally.strange_texts.append(f"{len(texts)} text slots, not 6")
            return
        for slot, text in enumerate(texts):
            if text == "":
                if any(texts[slot + 1:]):
                    self.tally.strange_texts.append(
                        f"slot {slot} empty before a filled slot: {[t[:12] for t in texts]}")
                continue
            if not any(text == known or (len(known) > TEXT_SHOWN_LIMIT
                                         and text.startswith(known[:TEXT_SHOWN_LIMIT]))
                       for known in self.known_texts):
                self.tally.strange_texts.append(f"slot {slot}: {text[:60]!r} ({len(text)} chars)")

    def round(self) -> None:
        """One round of everything, every few seconds."""
        self.pointer_out_and_in(1.5)
        self.preview_size()
        self.history_round(read_texts=True)
        self.turn += 1

    def quiet(self) -> None:
        """The history closed and another program in front, so that the
        program takes texts."""
        desktop = self.desktop
        if self.history is not None and self.history in desktop.visible_windows(self.program.pid):
            self.sink.activate()
            settle(lambda: self.history in desktop.visible_windows(self.program.pid),
                   lambda shown: not shown, timeout=3.0)
        self.sink.activate()
        wait_until("another program in front", lambda: active_window(desktop) == self.sink.wid,
                   5.0)


# The checks at the end -------------------------------------------------------------------

def rgb_digest(png: bytes) -> tuple[str, tuple[int, int] | None]:
    """The digest of a PNG's RGB rows, as ImageMagick reads them, and its size."""
    done = subprocess.run([CONVERT, "png:-", "-depth", "8", "-format", "%w %h\n", "-write",
                           "info:-", "rgb:-"], input=png, capture_output=True, timeout=60)
    if done.returncode != 0:
        return f"convert failed: {done.stderr.decode(errors='replace').strip()}", None
    header, _, rgb = done.stdout.partition(b"\n")
    width, height = (int(word) for word in header.split())
    return hashlib.sha256(rgb).hexdigest(), (width, height)


def thumbnail_colours(shot, items: list[Item]) -> list[tuple[int, int, int]]:
    """The mean colour of the middle of each thumbnail, where slot i should
    show items[i] (to know where its picture lies in the box)."""
    means = []
    for slot, item in enumerate(items):
        width, height = item.size
        left, top, drawn_w, drawn_h = fitted(width, height, THUMB_AREA)
        x = SLOT_LEFTS[slot] + FRAME + int(left + drawn_w * 0.35)
        y = SLOT_TOP + FRAME + int(top + drawn_h * 0.35)
        w = max(1, int(drawn_w * 0.3))
        h = max(1, int(drawn_h * 0.3))
        means.append(tuple(round(c) for c in shot.mean(x, y, w, h)))
    return means


def nearest(colour, palette) -> int | None:
    for index, candidate in enumerate(palette):
        if all(abs(a - b) <= THUMB_TOLERANCE for a, b in zip(colour, candidate)):
            return index
    return None


def shown_matches(shown: str, text: str) -> bool:
    return shown == text or (len(text) > TEXT_SHOWN_LIMIT
                             and shown.startswith(text[:TEXT_SHOWN_LIMIT]))


def history_state(desktop, program, history: int, pictures: list[Item]):
    texts = [box["text"] for box in text_boxes(desktop, program.pid)
             if box["window"] == HISTORY_CAPTION]
    shot = grab(desktop, desktop.client_geometry(history))
    colours = thumbnail_colours(shot, pictures)
    return texts, colours


def clipboard(desktop, target: str | None = None) -> bytes | None:
    args = ["xclip", "-o", "-selection", "clipboard"] + (["-t", target] if target else [])
    done = desktop.run(args, check=False, timeout=30)
    return done.stdout if done.returncode == 0 else None


def last_put(checks, material: Material, took, final_mark: float):
    """The six texts and six pictures the owner put last, newest first, from
    its own account; checks that they are the final phase's, each held for
    the slow phase's time."""
    by_name = {item.path.name: item for item in
               material.storm + material.reference + material.final}
    last = took[-len(material.final):]
    names = [name for _, _, name in last]
    checks.equal("the owner put the final phase's items last, in order", names,
                 [item.path.name for item in material.final])
    ends = [t for t, _, _ in last[1:]] + [final_mark]
    held = [round(end - t, 2) for (t, _, _), end in zip(last, ends)]
    checks.check(f"... each held at least {SLOW_HOLD:g} s", min(held) >= SLOW_HOLD - 0.02,
                 f"held {held}")
    texts = [by_name[name] for _, kind, name in took if kind == "text"][-6:]
    pictures = [by_name[name] for _, kind, name in took if kind == "png"][-6:]
    return texts[::-1], pictures[::-1]


def check_final(checks, desktop, program, expected_texts: list[Item],
                expected_pictures: list[Item]) -> int:
    """The history after the final phase against the owner's last six texts
    and pictures (newest first); returns the number of entries checked."""

    desktop.press_menu(program.pid, [HISTORY_CAPTION])
    history = program.wait_window(HISTORY_CAPTION)
    settle(lambda: desktop.client_geometry(history), lambda r: r.viewable)
    time.sleep(0.3)  # the thumbnails are drawn
    texts, colours = history_state(desktop, program, history, expected_pictures)
    checks.check("history texts: the six last texts, newest first",
                 len(texts) == 6 and all(shown_matches(shown, item.text)
                                         for shown, item in zip(texts, expected_texts)),
                 f"slots hold {[t[:24] for t in texts]} ({[len(t) for t in texts]} chars); "
                 f"expected {[i.text[:24] for i in expected_texts]}")
    palette = [item.colour for item in expected_pictures]
    found = [nearest(colour, palette) for colour in colours]
    checks.check("history pictures: the six last pictures, newest first (thumbnail colours)",
                 found == list(range(6)),
                 f"slot i shows picture {found} of {palette}, by mean colours {colours}")

    checked = 0
    for slot, item in enumerate(expected_pictures):
        client = desktop.client_geometry(history)
        click_at(desktop, client.x + SLOT_LEFTS[slot] + 50, client.y + SLOT_TOP + 50)

        def probe():
            data = clipboard(desktop, "image/png")
            if not data or not data.startswith(b"\x89PNG"):
                return None
            return rgb_digest(data)

        seen = settle(probe, lambda got: got is not None and got[0] == item.digest,
                      timeout=8.0, interval=0.3)
        checks.check(f"click on picture slot {slot}: the clipboard holds that picture "
                     f"({item.size[0]}x{item.size[1]}), pixel for pixel",
                     seen is not None and seen[0] == item.digest,
                     f"read back: {seen!r}")
        checked += 1
    for slot, item in enumerate(expected_texts):
        client = desktop.client_geometry(history)
        click_at(desktop, client.x + SLOT_LEFTS[slot] + 50, client.y + 112 + 50)
        expected = item.text.encode()
        seen = settle(lambda: clipboard(desktop), lambda data: data == expected, timeout=5.0,
                      interval=0.2)
        checks.check(f"click on text slot {slot}: the clipboard holds that text "
                     f"({len(expected)} bytes)", seen == expected,
                     f"read back {len(seen or b'')} bytes: {(seen or b'')[:40]!r}")
        checked += 1

    time.sleep(1.2)  # polls after the restores
    after_texts, after_colours = history_state(desktop, program, history, expected_pictures)
    checks.check("after the restores the history is as it was",
                 after_texts == texts and [nearest(c, palette) for c in after_colours] == found,
                 f"texts {[t[:24] for t in after_texts]}, colours {after_colours}")
    return checked


# The run ----------------------------------------------------------------------------------

def wait_phase(monitor: Monitor, program, what, timeout: float, hands: Hands | None = None,
               away: float = 2.5) -> None:
    """Until `what()` holds; the hands move the pointer meanwhile (only the
    pointer: texts are taken while another program is in front and the
    history is closed)."""
    if hands is not None:
        hands.phase = "slow"
    deadline = time.monotonic() + timeout
    while not what():
        if program.exit_code() is not None:
            raise HarnessError(f"the program ended: {program.describe()}")
        if monitor.error:
            raise HarnessError(f"monitor: {monitor.error}")
        if time.monotonic() > deadline:
            raise HarnessError(f"timed out after {timeout:g} s; owner marks {monitor.marks}")
        if hands is not None:
            hands.pointer_out_and_in(away)
        else:
            time.sleep(0.1)


def storm_phase(monitor: Monitor, program, hands: Hands, done, timeout: float) -> None:
    hands.phase = "storm"
    deadline = time.monotonic() + timeout
    while not done():
        if program.exit_code() is not None:
            raise HarnessError(f"the program ended: {program.describe()}")
        if monitor.error:
            raise HarnessError(f"monitor: {monitor.error}")
        if time.monotonic() > deadline:
            raise HarnessError(f"the storm did not end in {timeout:g} s")
        hands.round()


def soak(checks: Checks, args) -> None:
    started = time.monotonic()
    tool = args.tools / "soak_owner" if args.tools else None
    if tool is None or not tool.is_file():
        raise HarnessError(f"no soak_owner in {args.tools}")
    first = min(FIRST_MINUTE, args.duration / 2)
    rest = args.duration - first
    binary = args.binary.read_bytes()
    print(f"      (binary {args.binary}: {len(binary)} bytes, sha256 "
          f"{hashlib.sha256(binary).hexdigest()[:16]}, built "
          f"{time.strftime('%Y-%m-%d %H:%M:%S', time.localtime(args.binary.stat().st_mtime))}; "
          f"load average {os.getloadavg()[0]:.2f})")

    with Desktop() as desktop:
        made = time.monotonic()
        material = make_material(desktop.root / "material")
        size = sum(item.path.stat().st_size for item in material.storm)
        print(f"      (material: {len(material.storm)} storm items, {size / 2**20:.1f} MiB, "
              f"made in {time.monotonic() - made:.1f} s)")
        go = [desktop.root / name for name in ("go-reference", "go-storm-2", "go-final")]
        script = desktop.root / "script.txt"
        write_script(script, material, first, rest, go)

        sink = FocusSink(desktop)
        stall_log = desktop.root / "stall.txt"
        env = {"POMORINA_STALL_LOG": str(stall_log)}
        program = desktop.launch(args.binary, settings_bytes(settings_lines({3: "1", 7: "1"})),
                                 accessible=True, env=env)
        wid = main_window(program)
        sink.activate()
        desktop.accessible_tree(program.pid)  # on the accessibility bus
        stall_at_start = read_stall_log(stall_log)
        rss_at_start = rss_kib(program.pid)

        owner = desktop._spawn("soak-owner", [str(tool), "--script", str(script)])
        owner_log = desktop.root / "soak-owner.log"
        wait_until("soak_owner to start", lambda: owner.poll() is None and "ready" in
                   owner_log.read_text(errors="replace"), 60.0)
        monitor = Monitor(owner_log, program.pid, stall_log, {"reference": go[1]})
        monitor.start()
        hands = Hands(desktop, program, wid, sink, material.texts)
        try:
            storm_phase(monitor, program, hands, lambda: monitor.is_waiting(go[0]), first + 60)
            hands.quiet()
            go[0].touch()
            wait_phase(monitor, program, lambda: monitor.has_mark("reference"), 60, hands)
            storm_phase(monitor, program, hands, lambda: monitor.is_waiting(go[2]), rest + 60)
            hands.quiet()
            go[2].touch()
            wait_phase(monitor, program, lambda: monitor.has_mark("final"), 60, hands)
            wait_phase(monitor, program, lambda: "final" in monitor.mark_samples, 5)
        finally:
            monitor.stop()

        # What the storm was.
        took = monitor.took
        marks = monitor.marks

        def count(start: float, end: float) -> int:
            return sum(1 for t, _, _ in took if start <= t < end)

        def first_after(moment: float) -> float:
            return min(t for t, _, _ in took if t >= moment)

        storm1_start, storm2_start = took[0][0], first_after(marks["reference"])
        storm1 = count(storm1_start, marks["storm-1"])
        storm2 = count(storm2_start, marks["storm-2"])
        rate1 = storm1 / (marks["storm-1"] - storm1_start)
        rate2 = storm2 / max(marks["storm-2"] - storm2_start, 1e-9)
        print(f"      (storm: {storm1} + {storm2} changes in {marks['storm-1'] - storm1_start:.0f}"
              f" + {marks['storm-2'] - storm2_start:.0f} s, {rate1:.2f} and {rate2:.2f} a "
              f"second; slow phases "
              f"{count(first_after(marks['storm-1']), marks['reference'])} and "
              f"{count(first_after(marks['storm-2']), marks['final'] + 1)} items)")
        print(f"      (owner: {monitor.stats}; lost the clipboard {len(monitor.lost)} times)")
        checks.check(f"the storm changed the clipboard at least {MIN_RATE:g} times a second",
                     rate1 >= MIN_RATE and rate2 >= MIN_RATE, f"{rate1:.2f} and {rate2:.2f}")
        checks.check("INCR transfers to the program were completed",
                     monitor.stats.get("incr_done", 0) > 0, f"owner counts {monitor.stats}")
        checks.equal("no other program took the clipboard during the run", monitor.lost, [])

        tally = hands.tally
        away = sum(tally.away.values())
        print(f"      (hands: {hands.turn} rounds in the storm; pointer away {away} times, the "
              f"window shrank {tally.collapses.get('storm', 0)} of "
              f"{tally.away.get('storm', 0)} times in the storm, "
              f"{tally.collapses.get('slow', 0)} of {tally.away.get('slow', 0)} in the slow "
              f"phases; {tally.sizes} preview sizes; history opened {tally.history_opened} "
              f"times, its texts read {tally.history_reads} times)")
        checks.check("the window opened again each time the pointer came back",
                     not tally.not_restored and tally.restored == away,
                     "; ".join(tally.not_restored[:5]))
        checks.check("auto-hide shrank the window with the pointer away",
                     sum(tally.collapses.values()) > 0, f"never in {away} times")
        checks.check("each preview size from the menu took effect",
                     tally.sizes > 0 and not tally.size_faults, "; ".join(tally.size_faults[:5]))
        checks.check("the history window showed and hid each time",
                     tally.history_opened > 0 and not tally.history_faults,
                     "; ".join(tally.history_faults[:5]))
        checks.check("the history held only texts the owner put there",
                     tally.history_reads > 0 and not tally.strange_texts,
                     "; ".join(tally.strange_texts[:5]))

        # Memory and stalls.
        ref_rss, _ = monitor.mark_samples["reference"]
        end_rss, end_stall = monitor.mark_samples["final"]
        trend = ", ".join(f"{t:.0f}s {rss / 1024:.1f}" for t, rss, _, label in monitor.samples
                          if not label)
        print(f"      (RSS MiB every {SAMPLE_EVERY:g} s: {trend})")
        print(f"      (RSS: {rss_at_start / 1024:.1f} MiB after start-up, "
              f"{ref_rss / 1024:.1f} MiB after the first minute's slow phase, "
              f"{end_rss / 1024:.1f} MiB at the end: {(end_rss - ref_rss) / ref_rss * 100:+.1f} %)")
        checks.check(f"resident memory at the end within {RSS_TOLERANCE * 100:g} % of the "
                     f"reference ({ref_rss / 1024:.1f} -> {end_rss / 1024:.1f} MiB)",
                     abs(end_rss - ref_rss) <= RSS_TOLERANCE * ref_rss,
                     f"{(end_rss - ref_rss) / ref_rss * 100:+.1f} %")
        stalls = ", ".join(f"{t:.0f}s {stall}" for t, _, stall, label in monitor.samples
                           if not label)
        print(f"      (longest stall so far, ms: {stalls}; {stall_at_start} after start-up)")
        checks.check(f"no stall of the event loop over {STALL_LIMIT_MS} ms "
                     f"(longest {end_stall} ms)",
                     end_stall is not None and end_stall <= STALL_LIMIT_MS,
                     f"stall log: {read_stall_log(stall_log)}")

        expected_texts, expected_pictures = last_put(checks, material, took, marks["final"])
        checked = check_final(checks, desktop, program, expected_texts, expected_pictures)
        after = read_stall_log(stall_log)
        print(f"      (pushes: {len(took)} by the owner; at the end 12 history slots and "
              f"{checked} restores checked; longest stall after the restores, whose pictures "
              f"xclip read as PNG: {after[0] if after else None} ms)")
        checks.check(f"no stall over {STALL_LIMIT_MS} ms after the restores were pasted",
                     after is not None and after[0] <= STALL_LIMIT_MS, f"stall log: {after}")
        checks.equal("the program ends with 0", program.close(wid), 0)
        print(f"      (test time {time.monotonic() - started:.0f} s; load average "
              f"{os.getloadavg()[0]:.2f})")


def soak_args(parser, args=None) -> None:
    if args is None:
        parser.add_argument("--duration", type=float, default=120.0,
                            help="seconds of storm (default 120; the first minute of it comes "
                                 "before the reference)")
    elif args.duration < 10:
        parser.error("--duration: at least 10 s")


if __name__ == "__main__":
    run_script(__doc__.splitlines()[0], soak, soak_args)
