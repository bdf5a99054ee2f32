"""The program's files on a real X desktop.

Saving: "画像を保存" asks "セーブします"; answered with Return it writes
Image.bmp beside the executable: the current picture fitted (enlarged when
smaller) into the chosen resolution, centred on the background colour.
Answered with Escape, or pressed while text is shown, it writes nothing.

Dropping: files are dragged from another program (the test tool
drag_source, through X drag and drop) onto the main window's preview. A text
file puts its first 20 lines on the clipboard, each ended by CR LF; a .bmp
puts its picture there; other names change nothing; of several files only
the first counts.

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/e2e/test_files.py \
        --binary build/pomorina --tools build/tests
"""

import dataclasses
import time

from checks import run_script
from desktop import Desktop, HarnessError, settings_bytes, settings_lines, settle, wait_until
from desktop_input import (HISTORY_CAPTION, Clipboard, DragSource, FocusSink, Picture,
                           active_window, bmp_bytes, file_appears, main_window, menu_bar_height,
                           png_bytes, press_menu_in_background, read_bmp, text_boxes,
                           wait_caption, wait_shown_text)

SAVE = ["ファイル", "画像を保存"]
QUESTION = "セーブします"
IMAGE_FILE = "Image.bmp"

RED = (220, 20, 20)
GREEN = (20, 180, 40)
BLUE = (20, 40, 220)
YELLOW = (250, 230, 10)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)


def top_red_bottom_green(width, height):
    return Picture.filled(width, height, lambda x, y: RED if y < height // 2 else GREEN)


def left_blue_right_yellow(width, height):
    return Picture.filled(width, height, lambda x, y: BLUE if x < width // 2 else YELLOW)


@dataclasses.dataclass
class Save:
    name: str
    picture: Picture
    line5: str  # save resolution
    line6: str  # background colour
    size: tuple[int, int]  # of Image.bmp
    # Areas that must hold one colour exactly: (x0, y0, x1, y1, colour),
    # right and bottom edges excluded. Rows or columns next to a colour
    # boundary inside an enlarged picture are left out (smoothing).
    areas: list[tuple[int, int, int, int, tuple[int, int, int]]]


SAVES = [
    # 320 x 200 enlarged twice to 640 x 400 at (0, 40).
    Save("320x200 at 640*480 on white", top_red_bottom_green(320, 200), "0", "0", (640, 480),
         [(0, 0, 640, 40, WHITE), (0, 40, 640, 238, RED), (0, 242, 640, 440, GREEN),
          (0, 440, 640, 480, WHITE)]),
    Save("320x200 at 640*480 on black", top_red_bottom_green(320, 200), "0", "1", (640, 480),
         [(0, 0, 640, 40, BLACK), (0, 40, 640, 238, RED), (0, 242, 640, 440, GREEN),
          (0, 440, 640, 480, BLACK)]),
    # A tall picture: 100 x 200 enlarged 3.84 times to 384 x 768 at (320, 0).
    Save("100x200 at 1024*768 on black", left_blue_right_yellow(100, 200), "1", "1", (1024, 768),
         [(0, 0, 320, 768, BLACK), (320, 0, 508, 768, BLUE), (516, 0, 704, 768, YELLOW),
          (704, 0, 1024, 768, BLACK)]),
    # Not smaller in both directions: not enlarged, at (0, 134).
    Save("1024x500 at 1024*768 on white, unscaled", top_red_bottom_green(1024, 500), "1", "0",
         (1024, 768),
         [(0, 0, 1024, 134, WHITE), (0, 134, 1024, 384, RED), (0, 384, 1024, 634, GREEN),
          (0, 634, 1024, 768, WHITE)]),
]


def launch(desktop, args, changes=None):
    program = desktop.launch(args.binary, settings_bytes(settings_lines(changes)), accessible=True)
    return program, main_window(program)


def other_windows(desktop, program, main):
    return [wid for wid in desktop.visible_windows(program.pid) if wid != main]


def tree_names(node):
    yield node["name"]
    for child in node["children"]:
        yield from tree_names(child)


def ask_to_save(checks, desktop, program, wid):
    """Presses 画像を保存 and returns the question box's window, checked, and
    the process pressing the item (it ends once the box is answered)."""
    press = press_menu_in_background(desktop, program.pid, SAVE)

    def probe():
        if press.poll() is not None and press.returncode != 0:
            raise HarnessError(f"pressing {SAVE} failed with {press.returncode}")
        return other_windows(desktop, program, wid)[:1]

    box = wait_until("the question box", probe, 5.0)[0]
    names = set(tree_names(desktop.accessible_tree(program.pid)))
    checks.check(f"the box asks {QUESTION!r}", QUESTION in names, f"texts seen: {sorted(names)}")
    # The box has the focus, as a new window does: the keys go to it.
    active = settle(lambda: active_window(desktop), lambda w: w == box)
    checks.equal("the box is the active window", active, box)
    if active != box:
        desktop.activate(box)
    return box, press


def answered(checks, press):
    """The pressing process ends once the box was answered."""
    try:
        code = press.wait(10)
    except Exception:
        code = None
    checks.equal("the menu command returned", code, 0)


def test_save(checks, desktop, args, sink, clip, case: Save):
    program, wid = launch(desktop, args, {5: case.line5, 6: case.line6})
    sink.activate()
    clip.copy_picture(case.picture)
    caption = f"X={case.picture.width}Y={case.picture.height}"
    checks.equal("the picture was taken (caption)", wait_caption(desktop, wid, caption), caption)
    image = program.folder / IMAGE_FILE

    box, press = ask_to_save(checks, desktop, program, wid)
    started = time.monotonic()
    desktop.key("Return")
    checks.check("Return: Image.bmp appears beside the executable", file_appears(image, 5.0),
                 f"files there: {sorted(p.name for p in program.folder.iterdir())}")
    gone = settle(lambda: other_windows(desktop, program, wid), lambda ws: not ws)
    checks.equal("the box is gone", gone, [])
    answered(checks, press)
    # The file is complete once its size stops changing.
    data = settle(lambda: image.read_bytes(), lambda d: len(d) > 54 and d == image.read_bytes(),
                  timeout=3.0)
    print(f"      (Image.bmp, {len(data)} bytes, written {time.monotonic() - started:.2f} s "
          "after Return)")
    bitmap = read_bmp(data)
    checks.equal("file size field", bitmap.file_size_field, len(data))
    checks.equal("a 40-byte BITMAPINFOHEADER, uncompressed, rows bottom-up",
                 (bitmap.header_size, bitmap.compression, bitmap.bottom_up), (40, 0, True))
    picture = bitmap.picture
    checks.equal("picture size", (picture.width, picture.height), case.size)
    if (picture.width, picture.height) == case.size:
        for x0, y0, x1, y1, colour in case.areas:
            found = picture.region_colours(x0, y0, x1, y1)
            checks.equal(f"columns {x0}..{x1 - 1}, rows {y0}..{y1 - 1} all {colour}", found,
                         {colour})
    checks.equal("the program ends with 0", program.close(wid), 0)


def test_cancel(checks, desktop, args, sink, clip):
    program, wid = launch(desktop, args)
    sink.activate()
    first = top_red_bottom_green(60, 40)
    clip.copy_picture(first)
    wait_caption(desktop, wid, "X=60Y=40")
    image = program.folder / IMAGE_FILE
    _, press = ask_to_save(checks, desktop, program, wid)
    desktop.key("Escape")
    gone = settle(lambda: other_windows(desktop, program, wid), lambda ws: not ws)
    checks.equal("Escape: the box is gone", gone, [])
    answered(checks, press)
    checks.check("... and no Image.bmp is written", not file_appears(image, 1.0),
                 f"files there: {sorted(p.name for p in program.folder.iterdir())}")
    clip.copy_picture(left_blue_right_yellow(70, 30))
    checks.equal("polling goes on after Cancel (a new picture's caption)",
                 wait_caption(desktop, wid, "X=70Y=30"), "X=70Y=30")
    checks.equal("the program ends with 0", program.close(wid), 0)


def test_save_with_text_shown(checks, desktop, args, sink, clip):
    program, wid = launch(desktop, args)
    sink.activate()
    clip.copy_picture(top_red_bottom_green(60, 40))
    wait_caption(desktop, wid, "X=60Y=40")
    clip.copy_text("text shown now")
    checks.equal("the text is shown", wait_shown_text(desktop, program.pid, "text shown now"),
                 "text shown now")
    desktop.press_menu(program.pid, SAVE)
    time.sleep(1.0)
    checks.equal("no box comes up", other_windows(desktop, program, wid), [])
    checks.check("no Image.bmp is written", not (program.folder / IMAGE_FILE).exists(),
                 f"files there: {sorted(p.name for p in program.folder.iterdir())}")
    clip.copy_text("copied after")
    checks.equal("polling goes on", wait_shown_text(desktop, program.pid, "copied after"),
                 "copied after")
    checks.equal("the program ends with 0", program.close(wid), 0)


# Drops ------------------------------------------------------------------------------------

DROPPED_PICTURE = Picture.filled(40, 30, lambda x, y: YELLOW if x < 5 or y < 5 else BLUE)
LINES_25 = "".join(f"行 {n:02d} line\r\n" for n in range(1, 26))


@dataclasses.dataclass
class Drop:
    name: str
    files: list[tuple[str, bytes]]  # dragged in this order
    before: str  # what the clipboard holds before: "text" or "picture"
    text: str | None = None  # the clipboard text after the drop
    picture: Picture | None = None  # the clipboard picture after the drop
    # Neither: the drop changes nothing.
    propose: str = "copy"  # the source's action: copy, move (Shift+drag) or move-only


BEFORE_TEXT = "held before the drop"
BEFORE_PICTURE = left_blue_right_yellow(50, 20)

DROPS = [
    Drop("a .txt file of 25 lines: the first 20, each ended by CR LF",
         [("lines.txt", LINES_25.encode())], "text",
         text="".join(f"行 {n:02d} line\r\n" for n in range(1, 21))),
    Drop("a .txt file onto the picture preview", [("onto-picture.txt", b"one\r\ntwo\r\n")],
         "picture", text="one\r\ntwo\r\n"),
    Drop("the last line without a line end gets CR LF", [("short.txt", b"a\r\nb\r\nc")], "text",
         text="a\r\nb\r\nc\r\n"),
    Drop("lines ended by CR alone", [("cr.txt", b"x\ry\r")], "text", text="x\r\ny\r\n"),
    Drop("a lone LF does not end a line", [("lf.txt", b"p\nq\n")], "text", text="p\nq\n\r\n"),
    Drop("an upper-case .TXT is text", [("UPPER.TXT", b"upper case\r\n")], "text",
         text="upper case\r\n"),
    Drop("a .bmp picture", [("picture.bmp", bmp_bytes(DROPPED_PICTURE))], "text",
         picture=DROPPED_PICTURE),
    Drop("a .png file changes nothing", [("picture.png", png_bytes(DROPPED_PICTURE))], "text"),
    Drop("a name ending in 'text' changes nothing", [("notes.text", b"not taken\r\n")],
         "picture"),
    Drop("of two files only the first counts",
         [("first.txt", b"the first\r\n"), ("second.bmp", bmp_bytes(DROPPED_PICTURE))], "text",
         text="the first\r\n"),
    Drop("a move proposed is taken as a copy", [("moved.txt", b"moved\r\n")], "text",
         text="moved\r\n", propose="move"),
    Drop("a source that can only move is refused", [("move-only.txt", b"kept\r\n")], "text",
         propose="move-only"),
]


def history_texts(desktop, pid):
    return [box["text"] for box in text_boxes(desktop, pid) if box["window"] == HISTORY_CAPTION]


def test_drop(checks, desktop, args, sink, clip, case: Drop):
    program, wid = launch(desktop, args)
    sink.activate()
    if case.before == "text":
        owner = clip.copy_text(BEFORE_TEXT)
        checks.equal("before: the text is shown",
                     wait_shown_text(desktop, program.pid, BEFORE_TEXT), BEFORE_TEXT)
    else:
        owner = clip.copy_picture(BEFORE_PICTURE)
        caption = f"X={BEFORE_PICTURE.width}Y={BEFORE_PICTURE.height}"
        checks.equal("before: the picture is shown (caption)", wait_caption(desktop, wid, caption),
                     caption)
    before = clip.raw("image/png" if case.before == "picture" else None)

    folder = desktop.root / f"drop-{time.monotonic_ns()}"
    folder.mkdir()
    paths = []
    for name, data in case.files:
        (folder / name).write_bytes(data)
        paths.append(folder / name)
    source = DragSource(desktop, args.tools, paths, propose=case.propose)
    client = desktop.client_geometry(wid)
    bar = menu_bar_height(desktop, wid)
    started = time.monotonic()
    action = source.drag_to(client.x + client.width // 2, client.y + bar + client.width // 2)
    checks.check("the drag ended", action is not None,
                 source.log.read_text(errors="replace"))

    if case.text is not None:
        got = settle(clip.raw, lambda data: data == case.text.encode(), timeout=3.0)
        checks.equal("the clipboard holds the file's text", got, case.text.encode())
        print(f"      (seen on the clipboard {time.monotonic() - started:.2f} s after the drag "
              "began)")
        time.sleep(1.2)  # polls after the drop
        desktop.press_menu(program.pid, [HISTORY_CAPTION])
        program.wait_window(HISTORY_CAPTION)
        texts = history_texts(desktop, program.pid)
        expected_first = case.text.replace("\r\n", "\n")
        shown = [text.replace("\r\n", "\n").replace("\r", "\n") for text in texts[:3]]
        previous = BEFORE_TEXT if case.before == "text" else ""
        checks.equal("history texts: the file's text once, then what was there before",
                     shown, [expected_first, previous, ""])
    elif case.picture is not None:
        difference = clip.wait_picture(case.picture)
        checks.check("the clipboard holds the file's picture", difference is None, str(difference))
        caption = f"X={case.picture.width}Y={case.picture.height}"
        checks.equal("the preview took it (caption)", wait_caption(desktop, wid, caption), caption)
    else:
        time.sleep(1.5)
        checks.check("the clipboard's owner keeps it", owner.poll() is None,
                     f"xclip exit code {owner.poll()}")
        after = clip.raw("image/png" if case.before == "picture" else None)
        checks.check("the clipboard holds what it held", after == before,
                     f"{len(before or b'')} bytes before, {len(after or b'')} after")
        checks.equal("no other window came up", other_windows(desktop, program, wid), [])
    # A source told "moved" would have deleted them.
    checks.check("the dragged files are still there", all(path.exists() for path in paths),
                 source.log.read_text(errors="replace"))
    checks.equal("the program ends with 0", program.close(wid), 0)


def main(checks, args):
    with Desktop() as desktop:
        sink = FocusSink(desktop)
        clip = Clipboard(desktop)
        for case in SAVES:
            name = f"save {case.name}"
            if checks.wanted(name):
                with checks.case(name):
                    test_save(checks, desktop, args, sink, clip, case)
        for name, body in (("save, answered with Escape", test_cancel),
                           ("save while text is shown", test_save_with_text_shown)):
            if checks.wanted(name):
                with checks.case(name):
                    body(checks, desktop, args, sink, clip)
        if args.tools is None:
            checks.check("drops need --tools (drag_source)", False)
            return
        for case in DROPS:
            name = f"drop: {case.name}"
            if checks.wanted(name):
                with checks.case(name):
                    test_drop(checks, desktop, args, sink, clip, case)


if __name__ == "__main__":
    run_script(__doc__, main)
