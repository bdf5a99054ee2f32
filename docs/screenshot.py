#!/usr/bin/python3
"""Takes the README's pictures of the real pomorina on a headless X server:

- docs/screenshot.png: the main window showing a picture that is on the
  clipboard, with the "ファイル" menu open;
- docs/history.png: the main window and the history window ("履歴") after a
  few texts and pictures have passed through the clipboard.

    /usr/bin/python3 docs/screenshot.py --binary build/pomorina [--only main|history]

The menus are drawn with the installed Japanese font (fonts-noto-cjk).
"""

from __future__ import annotations

import argparse
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "e2e"))

from clipboard_tools import (HISTORY_CAPTION, TEXT_CAPTION, Clipboard,  # noqa: E402
                             FocusTaker, picture_caption, wait_caption)
from desktop import Desktop, HarnessError, Rect, settings_bytes, settings_lines  # noqa: E402

# A 400 x 300 picture: a sunset-coloured gradient with a red sun.
SUNSET = (400, 300, ["gradient:#ffd1dc-#87ceeb",
                     "-fill", "#e4572e", "-draw", "circle 200,170 200,110",
                     "-fill", "#2e4057", "-draw", "rectangle 0,230 400,300"])
# What passes through the clipboard before the history is shown, oldest
# first: texts, and pictures as (width, height, ImageMagick arguments).
HISTORY = [
    "買い物：牛乳、卵、パン",
    (320, 200, ["gradient:#0b1d51-#3e5c9a",
                "-fill", "#f5f3ce", "-draw", "circle 230,70 230,40"]),
    "会議は午後3時から\n第2会議室",
    (240, 320, ["gradient:#c8e6c9-#2e7d32",
                "-fill", "#fdd835", "-draw", "rectangle 60,80 180,200"]),
    "https://example.com/",
    (300, 300, ["-seed", "7", "plasma:#ff9a8b-#ff6a88"]),  # the same plasma every time
    "ポモリナで記録中",
    SUNSET,
]


def _convert() -> str:
    """ImageMagick's convert, ahead of any stand-in earlier on PATH."""
    return "/usr/bin/convert" if Path("/usr/bin/convert").exists() else "convert"


def picture_png(width: int, height: int, drawing: list[str]) -> bytes:
    command = [_convert(), "-size", f"{width}x{height}", *drawing, "png:-"]
    return subprocess.run(command, check=True, capture_output=True).stdout


def put(clipboard: Clipboard, desktop: Desktop, wid: int, item) -> None:
    """Puts `item` on the clipboard and waits until the main window shows it."""
    if isinstance(item, str):
        clipboard.put_text(item)
        expected = TEXT_CAPTION
    else:
        width, height, drawing = item
        clipboard.put_png(picture_png(width, height, drawing))
        expected = picture_caption(width, height)
    if wait_caption(desktop, wid, expected) != expected:
        raise HarnessError(f"the main window did not take {item!r} (caption {expected!r})")
    time.sleep(0.6)  # one more poll, so that it is in the history too


def union(a: Rect, b: Rect) -> Rect:
    left, top = min(a.x, b.x), min(a.y, b.y)
    right = max(a.x + a.width, b.x + b.width)
    bottom = max(a.y + a.height, b.y + b.height)
    return Rect(left, top, right - left, bottom - top)


def shoot_main(binary: Path, out: Path) -> None:
    with Desktop(640, 480) as desktop, Clipboard(desktop) as clipboard:
        clipboard.put_png(picture_png(*SUNSET))
        # Preview 256 px; frame at (40, 40) px.
        program = desktop.launch(binary, settings_bytes(settings_lines({2: "4", 8: "600",
                                                                        9: "600"})))
        wid = program.wait_window()
        wait_caption(desktop, wid, picture_caption(*SUNSET[:2]))
        time.sleep(0.5)
        client = desktop.client_geometry(wid)
        # Open "ファイル", the first entry of the menu bar.
        desktop.run(["xdotool", "mousemove", str(client.x + 30), str(client.y + 10),
                     "click", "1"])
        time.sleep(0.5)
        desktop.screenshot(out, desktop.frame_geometry(wid), margin=8)
        desktop.key("Escape")
        program.close(wid)


def shoot_history(binary: Path, out: Path) -> None:
    with Desktop(960, 480) as desktop, Clipboard(desktop) as clipboard:
        # Preview 192 px, clipboard read every 0.5 s; frame at (16, 16) px.
        program = desktop.launch(binary, settings_bytes(settings_lines({2: "3", 3: "1",
                                                                        8: "240", 9: "240"})),
                                 accessible=True)
        main = program.wait_window("Form1")
        # Texts are taken only while another window has the focus.
        FocusTaker(desktop, 700, 400).activate()
        for item in HISTORY:
            put(clipboard, desktop, main, item)
        desktop.press_menu(program.pid, ["履歴"])
        history = program.wait_window(HISTORY_CAPTION)
        main_frame = desktop.frame_geometry(main)
        desktop.move_window(history, main_frame.x + main_frame.width + 12, main_frame.y)
        time.sleep(0.5)
        desktop.screenshot(out, union(main_frame, desktop.frame_geometry(history)), margin=8)
        desktop.close_window(history)
        program.close(main)


SHOTS = {"main": ("screenshot.png", shoot_main), "history": ("history.png", shoot_history)}


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", type=Path, default=Path("build/pomorina"))
    parser.add_argument("--out-dir", type=Path, default=HERE)
    parser.add_argument("--only", choices=sorted(SHOTS), help="take one of the pictures")
    args = parser.parse_args()
    for name, (file_name, shoot) in SHOTS.items():
        if args.only in (None, name):
            out = args.out_dir / file_name
            shoot(args.binary.resolve(), out)
            print(out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
