"""The real program on headless Wayland compositors, the clipboard followed
through the compositor's data-control protocol.

How it starts: on sway, with Qt's Wayland platform, through Xwayland, or
by the session itself with nothing but sway's environment, it names the
data-control backend on standard error, shows its window at its own size
and ends with 0 when the window is closed; started by the session, it takes
a copy made while another program has the focus. On weston (no
data-control, no seat), started with the harness's environment alone, it
moves its windows to Xwayland and names the X11 backend and why; with Qt's
Wayland platform forced there, it names Qt's clipboard. (An X11 copy on
weston cannot be tried: weston dies once an X11 client takes the clipboard,
see sway_desktop.py.)

What it does on sway with Qt's Wayland platform while another program's
window (weston-flower) has the focus:
  - text and a PNG copied with wl-copy are shown and kept in the history;
    a click on the older thumbnail puts that picture back (wl-paste reads
    the same pixels);
  - an edit typed into the text view reaches the clipboard when the user
    leaves the window, not before;
  - a .txt file dragged from another Wayland program onto the main window
    puts its text on the clipboard;
  - a copy offering text/plain and text/html keeps its owner, and so its
    HTML, after the program has shown it and the user came and left;
  - a source that never sends, and sources that die half-way through a
    text or a JPEG sent slowly (a poll waits for them meanwhile), leave the
    text shown before and never hold up the window; the next copy is
    taken.

Skipped (exit code 0) where sway is not installed; the weston cases are
left out where weston is not.

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/e2e/test_wayland_desktop.py \\
        --binary build/pomorina --tools build/tests
"""

from __future__ import annotations

import dataclasses
import itertools
import shutil
import sys
import time
from pathlib import Path

from clipboard_tools import picture_caption, read_stall_log
from desktop import (HarnessError, _system_tool, settings_bytes, settings_lines, settle,
                     wait_until)
from desktop_input import Picture, png_bytes, read_png, shown_text, text_boxes
from sway_desktop import HISTORY_CAPTION, FocusWindow, SwayDesktop, WestonDesktop

NEEDED = ["sway", "swaymsg", "Xwayland", "wl-copy", "wtype", "grim"]
SETTINGS = settings_bytes(settings_lines())  # a 192-pixel preview, polls every 0.5 s
SIDE = 64 * 3 + 4  # the preview in its 2-pixel frame: the main window's width
DATA_CONTROL = "Wayland data-control (zwlr-data-control-unstable-v1)"
NO_DATA_CONTROL = "since the compositor offers no data-control protocol"
SHOWN_WITHIN = 5.0  # seconds for a copy to reach the view (polls every 0.5 s)
POLLS = 1.6  # seconds: three polls, sixteen write-back ticks
ANSWER_TIMEOUT = 5.0  # an owner silent this long has not answered
STALL_LIMIT_MS = 1000  # far above a busy machine's hiccups, far below a silent owner's 5 s

RED = (200, 30, 30)
BLUE = (30, 30, 200)
OLDER = Picture.filled(64, 48, lambda x, y: (0, 160, 0) if x < 8 and y < 8 else RED)
NEWER = Picture.filled(80, 30, lambda x, y: BLUE)
SLOT_LEFTS = [8, 112, 216, 320, 424, 528]  # the history's thumbnail boxes, 100 px square
SLOT_TOP, SLOT_SIDE = 8, 100


@dataclasses.dataclass
class Start:
    compositor: str
    platform: str | None  # QT_QPA_PLATFORM; None: not set; "session": started by sway
    shell: str  # how the compositor shows the main window
    backend: str  # how the line "clipboard: ..." on standard error begins


STARTS = [
    Start("sway", "wayland", "xdg_shell", DATA_CONTROL),
    Start("sway", "xcb", "xwayland", DATA_CONTROL),
    Start("sway", "session", "xdg_shell", DATA_CONTROL),
    Start("weston", None, "xwayland", f"X11 through Xwayland, {NO_DATA_CONTROL}: "),
    Start("weston", "wayland", "xdg_shell", f"Qt's clipboard, {NO_DATA_CONTROL} "),
]


def backend_line(program) -> str:
    """The program's line naming its clipboard backend (without "clipboard: ")."""

    def probe():
        for line in program.stderr.splitlines():
            if line.startswith("clipboard: "):
                return line[len("clipboard: "):]
        if program.exit_code() is not None:
            raise HarnessError(f"the program ended: {program.describe()}")
        return None

    return wait_until("the line naming the clipboard backend", probe, SHOWN_WITHIN)


def placed(program):
    """The main window once sway has put its title bar above it."""
    return settle(program.main_window, lambda view: view.content.y > view.frame.y)


def test_start(checks, desktop, args, other, start: Start):
    if start.platform == "session":
        program = desktop.launch_in_session(args.binary, SETTINGS)
    else:
        program = desktop.launch(args.binary, SETTINGS, platform=start.platform)
    view = program.main_window()
    line = backend_line(program)
    checks.check(f"names its backend: {start.backend}...", line.startswith(start.backend), line)
    checks.equal("the shell", view.shell, start.shell)
    if start.compositor == "weston":
        return  # no seat: nothing can close a window there
    if start.platform == "session":
        other.activate()
        desktop.wl_copy(png_bytes(OLDER), "image/png")
        # The caption names the picture held before: the size comes a poll late.
        expected = picture_caption(OLDER.width, OLDER.height)
        caption = settle(lambda: program.main_window().name, lambda c: c == expected,
                         SHOWN_WITHIN)
        checks.equal("a picture copied while another window has the focus (caption)",
                     caption, expected)
    checks.equal("the window's width: floating, its own size", view.content.width, SIDE)
    checks.equal("ends with 0 when its window is closed", program.close(placed(program)), 0)


# The clipboard on sway, Qt's Wayland platform -------------------------------------------

def launch(desktop, args, other, **env):
    """The program with Qt's Wayland platform, behind another program's window."""
    program = desktop.launch(args.binary, SETTINGS, accessible=True, env=env)
    program.main_window()
    other.activate()
    return program


def shown(desktop, program, text: str) -> str | None:
    """The text view's text once it is `text`, or the last one seen."""
    return settle(lambda: shown_text(desktop, program.pid), lambda t: t == text, SHOWN_WITHIN,
                  interval=0.2)


def screen_picture(desktop, rect) -> Picture:
    return read_png(desktop.screenshot(desktop.root / f"shot-{time.monotonic_ns()}.png",
                                       rect).read_bytes())


def test_copies_and_history(checks, desktop, args, other):
    program = launch(desktop, args, other)
    text = "コピーした text"
    desktop.wl_copy(text.encode())
    checks.equal("wl-copy text: shown", shown(desktop, program, text), text)
    for picture in (OLDER, NEWER):
        desktop.wl_copy(png_bytes(picture), "image/png")
        expected = picture_caption(picture.width, picture.height)
        caption = settle(lambda: program.main_window().name, lambda c: c == expected,
                         SHOWN_WITHIN)
        checks.equal(f"wl-copy PNG {expected}: shown (caption)", caption, expected)

    desktop.press_menu(program.pid, [HISTORY_CAPTION])
    program.wait_window(HISTORY_CAPTION)
    slots = [box["text"] for box in text_boxes(desktop, program.pid)
             if box["window"] == HISTORY_CAPTION]
    checks.equal("the history's newest text", slots[:1], [text])
    history = settle(lambda: program.wait_window(HISTORY_CAPTION),
                     lambda view: view.content.y > view.frame.y)
    shot = screen_picture(desktop, history.content)
    centres = [shot.pixel(left + SLOT_SIDE // 2, SLOT_TOP + SLOT_SIDE // 2)
               for left in SLOT_LEFTS[:3]]
    checks.equal("the history's thumbnails: the newer picture, the older, nothing",
                 centres, [BLUE, RED, (255, 255, 255)])

    content = history.content
    desktop.glide_to(content.x + SLOT_LEFTS[1] + SLOT_SIDE // 2,
                     content.y + SLOT_TOP + SLOT_SIDE // 2)
    desktop.press()
    desktop.release()

    def restored():
        data = desktop.wl_paste("image/png")
        return read_png(data) if data and data.startswith(b"\x89PNG") else None

    got = settle(restored, lambda p: p is not None and p.first_difference(OLDER) is None)
    checks.check("a click on the older thumbnail: wl-paste reads that picture",
                 got is not None and got.first_difference(OLDER) is None,
                 got.first_difference(OLDER) if got else "no PNG on the clipboard")


def test_write_back(checks, desktop, args, other):
    copied, typed = "ポモリナ alpha", " beta 42"
    program = launch(desktop, args, other)
    desktop.wl_copy(copied.encode())
    checks.equal("the copied text is shown", shown(desktop, program, copied), copied)
    view = placed(program)
    desktop.focus(view)
    content = view.content
    bar = content.height - content.width
    desktop.click(content.x + content.width // 2, content.y + bar + content.width // 2)
    desktop.key("End")
    desktop.type_text(typed)
    checks.equal("the text view holds the edit", shown(desktop, program, copied + typed),
                 copied + typed)
    time.sleep(0.4)  # a write-back would come within 100 ms
    checks.equal("nothing is written while the main window has the focus",
                 desktop.wl_paste(), copied.encode())
    other.activate()
    written = settle(desktop.wl_paste, lambda data: data == (copied + typed).encode())
    checks.equal("after leaving the window wl-paste reads the edit", written,
                 (copied + typed).encode())


def test_drop(checks, desktop, args, other):
    program = launch(desktop, args, other)
    path = desktop.root / "dropped.txt"
    path.write_bytes(b"dropped one\r\ndropped two")
    source = desktop._spawn("drag-source", [str(args.tools / "drag_source"), str(path)],
                            env=desktop.env(QT_QPA_PLATFORM="wayland"))
    spot = (100, 100)  # away from the main window, which sway centres
    desktop.move_view(wait_until("drag_source's window", lambda: desktop.views(source.pid)[:1],
                                 SHOWN_WITHIN)[0], *spot)
    start = wait_until("drag_source in its place", lambda: next(
        (v for v in desktop.views(source.pid) if v.frame.top_left == spot), None),
        SHOWN_WITHIN).content
    target = placed(program).content
    desktop.glide_to(start.x + start.width // 2, start.y + start.height // 2)
    desktop.press()
    time.sleep(0.3)  # the press starts the drag
    desktop.glide_to(target.x + target.width // 2, target.y + target.height // 2, steps=12,
                     pause=0.05)
    time.sleep(0.3)  # the target answers the last position
    desktop.release()
    written = settle(desktop.wl_paste, lambda data: data == b"dropped one\r\ndropped two\r\n")
    checks.equal("a .txt dropped from another Wayland program: wl-paste reads its lines",
                 written, b"dropped one\r\ndropped two\r\n")


_owners = itertools.count()


def own(desktop, args, *options: str):
    """wayland_clipboard_owner with `options`, once it holds the clipboard."""
    name = f"owner-{next(_owners)}"
    proc = desktop._spawn(name, [str(args.tools / "wayland_clipboard_owner"), *options,
                                 "--seconds", "120"])

    def probe():
        if "owned" in desktop._logs[name].read_text(errors="replace"):
            return True
        if proc.poll() is not None:
            raise HarnessError(f"the owner exited with {proc.returncode}")
        return False

    wait_until(f"{name} to hold the clipboard", probe, SHOWN_WITHIN)
    return proc, desktop._logs[name]


def test_rich_copy(checks, desktop, args, other):
    text, html = "rich words 豊か", "<b>rich</b> words 豊か"
    page = desktop.root / "rich.html"
    page.write_text(html)
    program = launch(desktop, args, other)
    owner, _ = own(desktop, args, "--text", text, "--data", "text/html", str(page))
    checks.equal("the rich copy's text is shown", shown(desktop, program, text), text)
    desktop.focus(placed(program))
    time.sleep(0.4)
    other.activate()
    time.sleep(POLLS)
    checks.check("after the user came and left: its owner still holds it, with its HTML",
                 owner.poll() is None and desktop.wl_paste("text/html") == html.encode(),
                 f"owner exit code {owner.poll()}, types {desktop.wl_types()}")


def jpeg_file(desktop) -> Path:
    """A photo: Qt's reader makes a whole picture of half of one, filling the rest."""
    path = desktop.root / "photo.jpg"
    desktop.run([_system_tool("convert"), "-size", "320x240", "gradient:red-blue",
                 "-quality", "95", f"jpeg:{path}"])
    return path


def dying(size: int) -> list[str]:
    """The owner's options to send half of `size` bytes over about a second
    (a poll is passed over meanwhile, and the next one is owed at once) and
    then die."""
    return ["--die-after-bytes", str(size // 2), "--chunk", str(size // 40),
            "--chunk-delay-ms", "50"]


def test_hostile_sources(checks, desktop, args, other):
    text = desktop.root / "text.txt"
    text.write_bytes(b"cut " * 32768)
    jpeg = jpeg_file(desktop)
    # (what, the owner's options, what the owner reports once the fault is on)
    sources = [
        ("a source that never sends", ["--text", "never sent", "--mode", "silent"], "sending"),
        ("a source that dies half-way through a text",
         ["--text-file", str(text), *dying(text.stat().st_size)], None),
        ("a source that dies half-way through a JPEG",
         ["--data", "image/jpeg", str(jpeg), *dying(jpeg.stat().st_size)], None),
    ]
    stall_log = desktop.root / "stall.log"
    program = launch(desktop, args, other, POMORINA_STALL_LOG=str(stall_log))
    earlier = "shown before"
    desktop.wl_copy(earlier.encode())
    shown(desktop, program, earlier)
    for what, options, word in sources:
        owner, log = own(desktop, args, *options)
        if word:  # asked, and then silent past the time a read waits
            wait_until(f"{what} to be asked", lambda: word in log.read_text(), SHOWN_WITHIN)
            time.sleep(ANSWER_TIMEOUT + 0.5)
        else:
            wait_until(f"{what} to die", lambda: owner.poll() is not None, SHOWN_WITHIN)
            time.sleep(POLLS)
        now = shown_text(desktop, program.pid)
        checks.check(f"{what}: the program runs and shows the text before",
                     program.exit_code() is None and now == earlier,
                     f"{program.describe()}; text view {repr(now)[:80]}")
        later = f"after {what}"
        desktop.wl_copy(later.encode())
        checks.equal(f"{what}: the next copy is shown", shown(desktop, program, later), later)
        earlier = later
    longest = (read_stall_log(stall_log) or (None,))[0]
    checks.check(f"the window was never held up for {STALL_LIMIT_MS} ms",
                 longest is not None and longest < STALL_LIMIT_MS, f"longest stall {longest} ms")


CLIPBOARD_CASES = [
    ("copies, the history, a restore", test_copies_and_history),
    ("write-back", test_write_back),
    ("a dropped file", test_drop),
    ("a rich copy", test_rich_copy),
    ("sources that never send or die", test_hostile_sources),
]


def main(checks, args):
    if args.tools is None:
        checks.check("--tools is needed (wayland_clipboard_owner, drag_source)", False)
        return
    compositors = {"sway": SwayDesktop}
    if shutil.which("weston"):
        compositors["weston"] = WestonDesktop
    for compositor, desktop_class in compositors.items():
        cases = [(f"{compositor}, {start.platform or 'no platform set'}", test_start, start)
                 for start in STARTS if start.compositor == compositor]
        if compositor == "sway":
            cases += [(f"sway: {name}", body) for name, body in CLIPBOARD_CASES]
        cases = [case for case in cases if checks.wanted(case[0])]
        if not cases:
            continue
        with desktop_class() as desktop:
            other = FocusWindow(desktop) if compositor == "sway" else None
            for name, body, *more in cases:
                started = time.monotonic()
                with checks.case(name):
                    body(checks, desktop, args, other, *more)
                print(f"      ({name}: {time.monotonic() - started:.1f} s)")


if __name__ == "__main__":
    missing = [tool for tool in NEEDED if shutil.which(tool) is None]
    if missing:
        print(f"skipped: {', '.join(missing)} not installed")
        sys.exit(0)
    from checks import run_script

    run_script(__doc__, main)
