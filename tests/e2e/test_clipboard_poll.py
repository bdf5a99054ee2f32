"""The clipboard poll of the real program, with xclip as the other program:
pictures are fitted into the preview (scaled down, never up, centred on the
background colour) and their size reaches the caption one poll late; a
picture of the same size that differs only where the change test does not
sample is still shown; text is taken only while another program is in front
and the history window is closed; the history window "履歴" keeps the
pictures newest first, hides when another window takes the focus and leaves
the main window at its full size.

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/e2e/test_clipboard_poll.py \\
        --binary build/pomorina --tools build/tests
"""

from __future__ import annotations

import dataclasses
import math
import time

from checks import run_script
from clipboard_tools import (BLACK, FRAME, HISTORY_CAPTION, TEXT_CAPTION, WHITE, Clipboard,
                             FocusTaker, Patch, Shot, active_window, caption_history, fitted, grab,
                             grab_preview, main_view_text, picture_caption, png_picture,
                             preview_place, wait_caption)
from desktop import Desktop, settings_bytes, settings_lines, settle

START_CAPTION = "Form1"
POLL = 0.5  # line 3 "1"
CAPTION_WAIT = 6 * POLL  # a new picture's size is in the caption two polls after the copy
QUIET_WAIT = 4 * POLL  # how long something that must not happen is given to happen

RED = (255, 0, 0)
GREEN = (0, 200, 0)
BLUE = (0, 0, 255)
YELLOW = (255, 255, 0)
MAGENTA = (255, 0, 255)
CYAN = (0, 255, 255)
ORANGE = (255, 128, 0)


@dataclasses.dataclass(frozen=True)
class Fit:
    """A picture of one colour and where it must be drawn in the preview:
    `left`, `top` in pixels from the drawing origin, `width` x `height` the
    drawn size (fractional where the scale gives a fraction)."""
    width: int
    height: int
    colour: tuple[int, int, int]
    left: int
    top: int
    drawn_width: float
    drawn_height: float


@dataclasses.dataclass(frozen=True)
class Run:
    name: str
    settings: dict[int, str]
    back: tuple[int, int, int]
    side: int
    fits: list[Fit]


# Each run copies its pictures in turn; consecutive pictures differ in size,
# so each one is new to the program.
RUNS = [
    Run("white background, 128 preview", {2: "2", 6: "0"}, WHITE, 128, [
        Fit(640, 480, RED, 0, 16, 128, 96),  # wider: the width is fitted
        Fit(300, 600, BLUE, 32, 0, 64, 128),  # taller: the height is fitted
        Fit(200, 128, GREEN, 0, 23, 128, 81.92),  # 46.08 rounds to 46, halved 23
        Fit(300, 128, ORANGE, 0, 36, 128, 128 * 128 / 300),  # 73.39 -> 73, 36.5 -> 36
        Fit(128, 128, MAGENTA, 0, 0, 128, 128),  # exactly the preview: drawn as it is
        Fit(500, 500, CYAN, 0, 0, 128, 128),
    ]),
    Run("black background, 128 preview", {2: "2", 6: "1"}, BLACK, 128, [
        Fit(100, 50, GREEN, 14, 39, 100, 50),  # smaller: never enlarged
        Fit(101, 51, YELLOW, 14, 38, 101, 51),  # 13.5 -> 14 and 38.5 -> 38
        Fit(64, 100, CYAN, 32, 14, 64, 100),
        Fit(128, 64, RED, 0, 32, 128, 64),  # as wide as the preview, lower
        Fit(1, 1, WHITE, 64, 64, 1, 1),  # 63.5 -> 64
    ]),
    Run("64 preview", {2: "1"}, WHITE, 64, [
        Fit(640, 480, BLUE, 0, 8, 64, 48),
        Fit(50, 64, RED, 7, 0, 50, 64),
    ]),
    Run("320 preview", {2: "5"}, WHITE, 320, [
        Fit(1920, 1080, GREEN, 0, 70, 320, 180),
        Fit(200, 100, MAGENTA, 60, 110, 200, 100),
    ]),
]


def launch(desktop, args, changes: dict[int, str]):
    settings = settings_bytes(settings_lines({3: "1", 4: "0", 7: "0", **changes}))
    program = desktop.launch(args.binary, settings, accessible=True)
    return program, program.wait_window(START_CAPTION)


def preview_faults(shot: Shot, fit: Fit, back) -> list[str]:
    """What is wrong in the preview for `fit`: every pixel wholly inside the
    drawn rectangle has the picture's colour, every pixel wholly outside it
    the background; pixels the rectangle's edge cuts through may blend."""
    side = shot.width
    inner_x0, inner_y0 = math.ceil(fit.left), math.ceil(fit.top)
    inner_x1 = math.floor(fit.left + fit.drawn_width)
    inner_y1 = math.floor(fit.top + fit.drawn_height)
    outer_x0, outer_y0 = math.floor(fit.left), math.floor(fit.top)
    outer_x1 = math.ceil(fit.left + fit.drawn_width)
    outer_y1 = math.ceil(fit.top + fit.drawn_height)
    faults = []
    off = shot.off_colour(inner_x0, inner_y0, inner_x1 - inner_x0, inner_y1 - inner_y0, fit.colour)
    if off:
        faults.append(f"picture pixels not {fit.colour}: {off}")
    for name, (x, y, w, h) in {
        "above": (0, 0, side, outer_y0),
        "below": (0, outer_y1, side, side - outer_y1),
        "left": (0, outer_y0, outer_x0, outer_y1 - outer_y0),
        "right": (outer_x1, outer_y0, side - outer_x1, outer_y1 - outer_y0),
    }.items():
        if w > 0 and h > 0:
            off = shot.off_colour(x, y, w, h, back)
            if off:
                faults.append(f"background {name} not {back}: {off}")
    return faults


def test_fits(checks, desktop, args):
    for run in RUNS:
        if not checks.wanted(run.name):
            continue
        with checks.case(run.name), Clipboard(desktop) as clipboard:
            program, wid = launch(desktop, args, run.settings)
            FocusTaker(desktop).activate()
            place = settle(lambda: preview_place(desktop, wid), lambda p: p.side == run.side)
            checks.equal("preview side", place.side, run.side)
            for number, fit in enumerate(run.fits):
                label = f"{fit.width}x{fit.height}"
                clipboard.put_png(png_picture(fit.width, fit.height, fit.colour))
                expected = picture_caption(fit.width, fit.height)
                if number == 0:
                    # The caption gives the size held so far: nothing yet,
                    # then this picture's, one poll later.
                    seen = caption_history(desktop, wid, expected, CAPTION_WAIT)
                    checks.equal(f"{label}: captions after start-up", seen,
                                 [START_CAPTION, picture_caption(0, 0), expected])
                else:
                    checks.equal(f"{label}: caption",
                                 wait_caption(desktop, wid, expected, CAPTION_WAIT), expected)
                shot = settle(lambda: grab_preview(desktop, wid),
                              lambda s: not preview_faults(s, fit, run.back), timeout=2 * POLL)
                faults = preview_faults(shot, fit, run.back)
                checks.check(f"{label}: drawn {fit.drawn_width:g}x{fit.drawn_height:g} at "
                             f"({fit.left}, {fit.top}) on {run.back}", not faults,
                             "; ".join(faults))
            program.close(wid)


# Pictures of one size that differ only where the change test's nine sample
# points never look (the right quarter, the bottom fifth) are still new.
BASE = (640, 480, RED)  # drawn 128x96 at (0, 16) in the 128 preview


@dataclasses.dataclass(frozen=True)
class Variant:
    name: str
    patch: Patch | None  # painted over the base picture; None: the base itself
    # preview rectangles (x, y, w, h) and the colour each must show
    expect: list[tuple[tuple[int, int, int, int], tuple[int, int, int]]]
    # picture points and their colour, to tell the picture's thumbnail
    probes: list[tuple[tuple[int, int], tuple[int, int, int]]]


BASE_VARIANT = Variant("the base picture", None, [((0, 16, 128, 96), RED)],
                       [((320, 240), RED), ((600, 100), RED), ((100, 450), RED)])
VARIANTS = [
    Variant("only the right quarter differs", Patch(480, 0, 160, 480, YELLOW),
            [((0, 16, 95, 96), RED), ((97, 16, 31, 96), YELLOW)],
            [((320, 240), RED), ((600, 100), YELLOW), ((100, 450), RED)]),
    Variant("only the bottom fifth differs", Patch(0, 384, 640, 96, GREEN),
            [((0, 16, 128, 76), RED), ((0, 94, 128, 18), GREEN)],
            [((320, 240), RED), ((600, 100), RED), ((100, 450), GREEN)]),
]


def variant_png(variant: Variant) -> bytes:
    width, height, colour = BASE
    return png_picture(width, height, colour, [variant.patch] if variant.patch else [])


def preview_shows(shot: Shot, variant: Variant) -> list[str]:
    faults = []
    for (x, y, w, h), colour in variant.expect:
        off = shot.off_colour(x, y, w, h, colour)
        if off:
            faults.append(f"({x}, {y}, {w}x{h}) not {colour}: {off}")
    return faults


def thumbnail_faults(shot: Shot, slot: int, variant: Variant | None) -> list[str]:
    """What is wrong with thumbnail `slot` of a screenshot of the history
    window's client area: the picture's probes in their colours, or, for an
    empty slot, one colour throughout."""
    box_x, box_y = 8 + 104 * slot + FRAME, 8 + FRAME
    if variant is None:
        colours = shot.colours(box_x, box_y, 96, 96)
        return [] if len(colours) == 1 else [f"slot {slot} should be blank: {colours}"]
    width, height, _ = BASE
    left, top, drawn_w, drawn_h = fitted(width, height, 96)
    faults = []
    for (px, py), colour in variant.probes:
        x = box_x + int(left + px * drawn_w / width)
        y = box_y + int(top + py * drawn_h / height)
        seen = shot.at(x, y)
        if any(abs(a - b) > 8 for a, b in zip(seen, colour)):
            faults.append(f"slot {slot} at picture point ({px}, {py}): {seen}, not {colour}")
    return faults


def test_changes_and_history(checks, desktop, args):
    name = "one program: same-size changes, text, history"
    if not checks.wanted(name):
        return
    with checks.case(name), Clipboard(desktop) as clipboard:
        program, wid = launch(desktop, args, {2: "2", 6: "0"})
        other = FocusTaker(desktop)
        other.activate()
        full_size = settle(lambda: desktop.client_geometry(wid), lambda r: r.width == 132)
        caption = picture_caption(BASE[0], BASE[1])

        clipboard.put_png(variant_png(BASE_VARIANT))
        checks.equal("base picture: caption", wait_caption(desktop, wid, caption, CAPTION_WAIT),
                     caption)
        shot = settle(lambda: grab_preview(desktop, wid),
                      lambda s: not preview_shows(s, BASE_VARIANT), timeout=2 * POLL)
        checks.check("base picture: preview", not preview_shows(shot, BASE_VARIANT),
                     "; ".join(preview_shows(shot, BASE_VARIANT)))

        for variant in VARIANTS:
            clipboard.put_png(variant_png(variant))
            shot = settle(lambda: grab_preview(desktop, wid),
                          lambda s: not preview_shows(s, variant), timeout=CAPTION_WAIT)
            faults = preview_shows(shot, variant)
            checks.check(f"{variant.name}: the preview shows the new picture", not faults,
                         "; ".join(faults))
            checks.equal(f"{variant.name}: caption", desktop.window_name(wid), caption)

        # The very same picture again, from a new owner: nothing to push.
        clipboard.put_png(variant_png(VARIANTS[-1]))
        time.sleep(QUIET_WAIT)

        # Text is not taken while the main window is in front.
        first_text = "クリップボードの文字\nsecond line"
        desktop.activate(wid)
        clipboard.put_text(first_text)
        time.sleep(QUIET_WAIT)
        checks.equal("text with the main window in front: caption", desktop.window_name(wid),
                     caption)
        checks.equal("text with the main window in front: the text view stays hidden",
                     main_view_text(desktop, program.pid, caption), None)
        other.activate()
        checks.equal("text with another window in front: caption",
                     wait_caption(desktop, wid, TEXT_CAPTION, CAPTION_WAIT), TEXT_CAPTION)
        checks.equal("text with another window in front: the text view",
                     main_view_text(desktop, program.pid, TEXT_CAPTION), first_text)

        # The history window.
        desktop.press_menu(program.pid, [HISTORY_CAPTION])
        history = program.wait_window(HISTORY_CAPTION)
        client = settle(lambda: desktop.client_geometry(history),
                        lambda r: (r.width, r.height) == (636, 219))
        checks.equal("history window client size", (client.width, client.height), (636, 219))
        checks.check("the history window is active", settle(
            lambda: active_window(desktop), lambda w: w == history) == history)
        shot = grab(desktop, client)
        expected = [VARIANTS[1], VARIANTS[0], BASE_VARIANT, None, None, None]
        faults = [fault for slot, variant in enumerate(expected)
                  for fault in thumbnail_faults(shot, slot, variant)]
        checks.check("thumbnails: the three pictures newest first, each once, then blanks",
                     not faults, "; ".join(faults))

        # No text is taken while the history window is open.
        second_text = "二番目"
        clipboard.put_text(second_text)
        time.sleep(QUIET_WAIT)
        checks.equal("text while the history is open: the text view keeps the old text",
                     main_view_text(desktop, program.pid, TEXT_CAPTION), first_text)

        for taker_name, taker in [("another program", other.wid), ("the main window", wid)]:
            if taker_name == "the main window":
                desktop.press_menu(program.pid, [HISTORY_CAPTION])
                history = program.wait_window(HISTORY_CAPTION)
            desktop.activate(taker)
            started = time.monotonic()
            shown = settle(lambda: history in desktop.visible_windows(program.pid),
                           lambda visible: not visible, timeout=2.0)
            took = time.monotonic() - started
            checks.check(f"{taker_name} takes the focus: the history window hides "
                         f"(took {took:.2f} s)", not shown and took < 1.0)
            client = settle(lambda: desktop.client_geometry(wid), lambda r: r == full_size)
            checks.equal(f"{taker_name} takes the focus: the main window's client area",
                         (client.width, client.height), (full_size.width, full_size.height))
            if taker_name == "another program":
                checks.equal("the text copied while the history was open is taken now",
                             settle(lambda: main_view_text(desktop, program.pid, TEXT_CAPTION),
                                    lambda text: text == second_text, timeout=CAPTION_WAIT),
                             second_text)
        program.close(wid)


def test_history_over_collapsed_window(checks, desktop, args):
    """Auto-hide after 0.5 s has shrunk the main window (an unchanged picture
    on the clipboard does not restart the countdown); the history window
    leaves it at its full size when it hides, until a new countdown ends."""
    name = "history window opened over a collapsed main window"
    if not checks.wanted(name):
        return
    with checks.case(name), Clipboard(desktop) as clipboard:
        program, wid = launch(desktop, args, {2: "2", 7: "1"})
        desktop.run(["xdotool", "mousemove", str(desktop.width - 20), str(desktop.height - 20)])
        other = FocusTaker(desktop)
        other.activate()
        full_size = settle(lambda: desktop.client_geometry(wid), lambda r: r.width == 132)
        clipboard.put_png(png_picture(320, 240, BLUE))
        wait_caption(desktop, wid, picture_caption(320, 240), CAPTION_WAIT)
        collapsed = settle(lambda: desktop.client_geometry(wid),
                           lambda r: r.height < full_size.height, timeout=3.0)
        checks.check(f"the main window collapses (client {collapsed.width}x{collapsed.height}, "
                     f"full {full_size.width}x{full_size.height})",
                     collapsed.height < full_size.height)

        desktop.press_menu(program.pid, [HISTORY_CAPTION])
        history = program.wait_window(HISTORY_CAPTION)
        other.activate()
        # Sample the main window's height until it has collapsed again.
        seen = []
        started = time.monotonic()
        while time.monotonic() - started < 4.0:
            seen.append((time.monotonic() - started, desktop.client_geometry(wid).height,
                         history in desktop.visible_windows(program.pid)))
            if seen[-1][1] < full_size.height and any(h == full_size.height for _, h, _ in seen):
                break
            time.sleep(0.03)
        full = [t for t, h, _ in seen if h == full_size.height]
        checks.check("the history window hides", not seen[-1][2], f"samples {seen}")
        checks.check("the main window has its full size right after", bool(full) and full[0] < 0.5,
                     f"samples (s, client height, history shown): {seen}")
        if full:
            lasted = full[-1] - full[0]
            checks.check(f"and keeps it for a new countdown of 0.5 s (full size seen for "
                         f"{lasted:.2f} s)", lasted >= 0.3, f"samples: {seen}")
        program.close(wid)


def main(checks, args):
    with Desktop() as desktop:
        test_fits(checks, desktop, args)
        test_changes_and_history(checks, desktop, args)
        test_history_over_collapsed_window(checks, desktop, args)


if __name__ == "__main__":
    run_script(__doc__, main)
