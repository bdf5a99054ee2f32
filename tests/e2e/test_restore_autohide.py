"""Two window behaviours of the real program on an X desktop.

Restore: after two pictures were copied in turn, a click on a thumbnail of
the history window "履歴" puts that very picture back on the clipboard (read
back as PNG and compared pixel by pixel) and in the preview, without moving
it up in the history; a click on an empty slot changes nothing.

Auto-hide: with a delay chosen on line 7 the main window shrinks to its title
and menu bars once the pointer has stayed away that long, and opens again on
the next tick when the pointer comes over its title or menu bar; with "0" it
never shrinks.

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/e2e/test_restore_autohide.py \
        --binary build/pomorina --tools build/tests
"""

import dataclasses
import time

from checks import run_script
from desktop import Desktop, Rect, settings_bytes, settings_lines, settle
from desktop_input import (HISTORY_CAPTION, Clipboard, FocusSink, Picture, click_at, main_window,
                           menu_bar_height, pointer_to, read_png, wait_caption)

RED = (200, 30, 30)
GREEN = (0, 160, 0)
BLUE = (30, 30, 200)
YELLOW = (240, 220, 0)

# The older picture: red with a green corner and a graded bottom row, so
# that a picture turned, mirrored or cut would not compare equal.
OLDER = Picture.filled(64, 48, lambda x, y: GREEN if x < 8 and y < 8
                       else (4 * x, 0, 255 - 4 * x) if y == 47 else RED)
# The newer one: blue with a yellow corner at the bottom right.
NEWER = Picture.filled(80, 30, lambda x, y: YELLOW if x >= 74 and y >= 24 else BLUE)

SLOT_LEFTS = [8, 112, 216, 320, 424, 528]
SLOT_TOP, SLOT_SIDE = 8, 100
FAR_AWAY = (1250, 1000)


def caption_of(picture):
    return f"X={picture.width}Y={picture.height}"


def screen_picture(desktop, rect: Rect) -> Picture:
    path = desktop.root / f"shot-{time.monotonic_ns()}.png"
    desktop.screenshot(path, rect)
    return read_png(path.read_bytes())


def slot_centres(desktop, history_wid):
    """The colour at the centre of each of the six thumbnail boxes."""
    client = desktop.client_geometry(history_wid)
    shot = screen_picture(desktop, client)
    return [shot.pixel(left + SLOT_SIDE // 2, SLOT_TOP + SLOT_SIDE // 2) for left in SLOT_LEFTS]


def preview_centre(desktop, wid):
    client = desktop.client_geometry(wid)
    bar = menu_bar_height(desktop, wid)
    shot = screen_picture(desktop, client)
    return shot.pixel(client.width // 2, bar + client.width // 2)


# (what is clicked, slot, the picture the clipboard then holds)
CLICKS = [
    ("the older picture (slot 1)", 1, OLDER),
    ("the newer picture (slot 0)", 0, NEWER),
    ("an empty slot (slot 3) changes nothing", 3, NEWER),
    ("the older picture again", 1, OLDER),
]


def test_restore(checks, desktop, args, sink, clip):
    program = desktop.launch(args.binary, settings_bytes(settings_lines()), accessible=True)
    wid = main_window(program)
    sink.activate()
    for name, picture in (("older", OLDER), ("newer", NEWER)):
        clip.copy_picture(picture)
        # A new picture's size reaches the caption on the poll after the one
        # that took it.
        seen = wait_caption(desktop, wid, caption_of(picture))
        checks.equal(f"the {name} picture was taken (caption)", seen, caption_of(picture))
    size_before = desktop.client_geometry(wid)

    desktop.press_menu(program.pid, [HISTORY_CAPTION])
    history = program.wait_window(HISTORY_CAPTION)
    settle(lambda: desktop.client_geometry(history), lambda r: r.viewable)
    centres = slot_centres(desktop, history)
    checks.equal("thumbnails: slot 0 the newer, slot 1 the older picture", centres[:2], [BLUE, RED])

    for what, slot, expected in CLICKS:
        client = desktop.client_geometry(history)
        click_at(desktop, client.x + SLOT_LEFTS[slot] + SLOT_SIDE // 2,
                 client.y + SLOT_TOP + SLOT_SIDE // 2)
        difference = clip.wait_picture(expected)
        checks.check(f"click on {what}: the clipboard holds that picture", difference is None,
                     str(difference))
        colour = {OLDER: RED, NEWER: BLUE}[expected]
        checks.equal(f"click on {what}: the preview shows it", preview_centre(desktop, wid), colour)
        time.sleep(1.6)  # three polls find the restored picture on the clipboard
        checks.check(f"click on {what}: the history window is still open",
                     desktop.client_geometry(history).viewable, "not viewable")
        checks.equal(f"click on {what}: the history keeps its order",
                     slot_centres(desktop, history)[:2], [BLUE, RED])
        checks.equal(f"click on {what}: the main window keeps its size",
                     desktop.client_geometry(wid), size_before)
    checks.equal("the program ends with 0", program.close(wid), 0)


@dataclasses.dataclass
class AutoHide:
    name: str
    line7: str  # the auto-hide delay
    line3: str  # the poll interval
    content: str  # what the clipboard holds: "picture" or "text"
    delay: float | None  # seconds after which the window shrinks; None: never


AUTO_HIDE = [
    AutoHide("0.5 s, a picture on the clipboard, polls every 0.5 s", "1", "1", "picture", 0.5),
    AutoHide("0.5 s, text on the clipboard, polls every 9.9 s", "1", "6", "text", 0.5),
    AutoHide("1.0 s, a picture on the clipboard, polls every 0.5 s", "2", "1", "picture", 1.0),
    AutoHide("off, a picture on the clipboard", "0", "1", "picture", None),
    AutoHide("off, text on the clipboard", "0", "1", "text", None),
]

# Where the pointer comes back to, as a function of the full-size frame and
# client rectangles and the menu bar's height.
COMING_BACK = [
    ("the middle of the title bar",
     lambda frame, client, bar: (frame.x + frame.width // 2, (frame.y + client.y) // 2)),
    ("the menu bar, right of its entries",
     lambda frame, client, bar: (client.x + client.width - 10, client.y + bar // 2)),
]


def watch_height(desktop, wid, until_height, timeout):
    """Samples the client height until it is `until_height`; returns the
    seconds it took, or None, and every height seen."""
    started = time.monotonic()
    seen = []
    while time.monotonic() - started < timeout:
        height = desktop.client_geometry(wid).height
        seen.append(height)
        if height == until_height:
            return time.monotonic() - started, seen
        time.sleep(0.02)
    return None, seen


def test_auto_hide(checks, desktop, args, sink, clip, case: AutoHide):
    if case.content == "picture":
        clip.copy_picture(OLDER)
    else:
        clip.copy_text("auto-hide")
    program = desktop.launch(args.binary,
                             settings_bytes(settings_lines({3: case.line3, 7: case.line7})))
    wid = main_window(program)
    sink.activate()
    full = settle(lambda: desktop.client_geometry(wid), lambda r: r.height > r.width)
    bar = full.height - full.width
    frame = desktop.frame_geometry(wid)
    title = frame.height - full.height
    # The pointer rests on the title bar until the clipboard's content is shown.
    pointer_to(desktop, *COMING_BACK[0][1](frame, full, bar))
    if case.content == "picture":
        wait_caption(desktop, wid, caption_of(OLDER))
    else:
        time.sleep(1.0)
    checks.equal("full size while the pointer is on the title bar",
                 desktop.client_geometry(wid).height, full.height)

    if case.delay is None:
        pointer_to(desktop, *FAR_AWAY)
        heights = set()
        end = time.monotonic() + 2.5
        while time.monotonic() < end:
            heights.add(desktop.client_geometry(wid).height)
            time.sleep(0.05)
        checks.equal("pointer away for 2.5 s: the client height never changes", heights,
                     {full.height})
        checks.equal("the program ends with 0", program.close(wid), 0)
        return

    for place, where in COMING_BACK:
        pointer_to(desktop, *FAR_AWAY)
        took, seen = watch_height(desktop, wid, bar, case.delay + 1.5)
        checks.check(f"pointer away: the client shrinks to the menu bar ({bar} px)",
                     took is not None, f"heights seen: {sorted(set(seen))}")
        if took is None:
            break
        print(f"      (shrank {took * 1000:.0f} ms after the pointer left)")
        checks.check(f"... after the delay of {case.delay:g} s and within 0.5 s more",
                     case.delay - 0.05 <= took <= case.delay + 0.5, f"took {took:.3f} s")
        small = desktop.client_geometry(wid)
        small_frame = desktop.frame_geometry(wid)
        checks.equal("... the width and position stay", (small.x, small.y, small.width),
                     (full.x, full.y, full.width))
        checks.equal("... the frame keeps its title bar", small_frame.height - small.height, title)
        checks.equal("... the frame does not move", small_frame.top_left, frame.top_left)
        time.sleep(0.5)
        checks.equal("... and stays small while the pointer is away",
                     desktop.client_geometry(wid).height, bar)

        pointer_to(desktop, *where(frame, full, bar))
        took, seen = watch_height(desktop, wid, full.height, 1.0)
        checks.check(f"pointer on {place}: full size again", took is not None,
                     f"heights seen: {sorted(set(seen))}")
        if took is not None:
            print(f"      (full size {took * 1000:.0f} ms after the pointer came back)")
            checks.check("... on the next tick (within 0.25 s)", took <= 0.25, f"took {took:.3f} s")
    checks.equal("the program ends with 0", program.close(wid), 0)


def main(checks, args):
    with Desktop() as desktop:
        sink = FocusSink(desktop)
        clip = Clipboard(desktop)
        if checks.wanted("restore"):
            with checks.case("restore"):
                test_restore(checks, desktop, args, sink, clip)
        for case in AUTO_HIDE:
            name = f"auto-hide {case.name}"
            if checks.wanted(name):
                with checks.case(name):
                    test_auto_hide(checks, desktop, args, sink, clip, case)


if __name__ == "__main__":
    run_script(__doc__, main)
