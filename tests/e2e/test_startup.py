"""Start-up of the real program on an X desktop: the window's size for each
preview size, its position, always-on-top, the menus and their check marks,
the forms of settings file it accepts, and that the file is read from the
executable's folder.

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/e2e/test_startup.py --binary build/pomorina
"""

import time

from checks import run_script
from desktop import Desktop, settings_bytes, settings_lines, settle

CAPTION = "Form1"
FRAME_AT = (200, 100)  # DEFAULT_LINES 8 and 9: 3000 and 1500 twips

# Line 2 as written, and the preview-size value n it stands for; the window's
# client area is then 64 * n + 4 pixels wide.
PREVIEW_SIZES = [
    ("1", 1),
    ("2", 2),
    ("3", 3),
    ("4", 4),
    ("5", 5),
    (" 4 ", 4),  # blanks around the number
    ("2.5", 2),  # halves go to the even neighbour
    ("3.5", 4),
    ("1.49", 1),
]

# Lines 8 and 9 (twips), and where the frame's top-left corner goes (pixels).
POSITIONS = [
    ("3000", "1500", (200, 100)),
    ("6000", "4500", (400, 300)),
    (" 1500 ", "7500", (100, 500)),
    ("4500.0", "3000.0", (300, 200)),
    ("12000", "9000", (800, 600)),
]

# Line 1, and whether the window is kept above the others: only "1" is on.
TOPMOST = [
    ("1", True),
    ("0", False),
    ("", False),
    ("1 ", False),
    (" 1", False),
    ("01", False),
    ("yes", False),
]

# Whole files that start: (name, file bytes, preview-size value).
FILE_FORMS = [
    ("lines ended by CR alone", settings_bytes(settings_lines({2: "2"}), line_end="\r"), 2),
    ("last line without its line end", settings_bytes(settings_lines({2: "5"}))[:-2], 5),
    ("eleven lines", settings_bytes(settings_lines({2: "1"}) + ["junk", "7"]), 1),
    ("line 4 not a number", settings_bytes(settings_lines({2: "2", 4: "abc"})), 2),
]

MENU_BAR = ["ファイル", "設定", "履歴"]

# Settings, and the items of the "設定" menu that start checked.
CHECK_MARKS = [
    ("not topmost, remembering, 128 px, 9.9 s, 1600*1200, black, 1.0 s",
     ["0", "2", "6", "1", "3", "1", "2", "3000", "1500"],
     {("128*128",), ("読み取り間隔", "９．９秒"), ("保存設定", "1600*1200"),
      ("バックカラー", "ＢＬＡＣＫ"), ("自動的に隠す", "１．０秒"), ("終了位置を覚える",)}),
    ("topmost, not remembering, 320 px, 0.5 s, 640*480, white, off",
     ["1", "5", "1", "0", "0", "0", "0", "3000", "1500"],
     {("320*320",), ("読み取り間隔", "０．５秒"), ("保存設定", "640*480"),
      ("バックカラー", "ＷＨＩＴＥ"), ("自動的に隠す", "０．０秒"), ("常に手前に表示",)}),
    ("blanks around the numbers; line 4 empty still remembers",
     ["0", " 4", "3 ", "", " 2 ", " 0", "1", "3000", "1500"],
     {("256*256",), ("読み取り間隔", "２．０秒"), ("保存設定", "1280*1024"),
      ("バックカラー", "ＷＨＩＴＥ"), ("自動的に隠す", "０．５秒"), ("終了位置を覚える",)}),
]


def start(checks, desktop, args, settings, **kwargs):
    program = desktop.launch(args.binary, settings, **kwargs)
    wid = program.wait_window(CAPTION)
    return program, wid


def closes_cleanly(checks, program, wid, settings):
    checks.equal("closing the window ends the program with code 0", program.close(wid), 0)
    checks.check("the settings file is as it was",
                 program.settings() == settings, repr(program.settings()))


def test_preview_sizes(checks, desktop, args):
    menu_heights = []
    for line2, n in PREVIEW_SIZES:
        name = f"line 2 {line2!r}"
        if not checks.wanted(name):
            continue
        with checks.case(name):
            settings = settings_bytes(settings_lines({2: line2}))
            program, wid = start(checks, desktop, args, settings)
            side = 64 * n + 4
            client = settle(lambda: desktop.client_geometry(wid), lambda r: r.width == side)
            checks.equal("caption", desktop.window_name(wid), CAPTION)
            checks.equal(f"client width is 64*{n}+4", client.width, side)
            menu_height = client.height - client.width
            checks.check(f"client height is width + a menu bar (got {menu_height})",
                         15 <= menu_height <= 40, f"client {client}")
            menu_heights.append(menu_height)
            frame = settle(lambda: desktop.frame_geometry(wid), lambda r: r.top_left == FRAME_AT)
            checks.equal("frame top-left", frame.top_left, FRAME_AT)
            closes_cleanly(checks, program, wid, settings)
    if len(menu_heights) > 1:
        checks.check("the menu bar is as tall for every preview size", len(set(menu_heights)) == 1,
                     f"heights seen: {menu_heights}")


def test_positions(checks, desktop, args):
    for left, top, expected in POSITIONS:
        name = f"position {left!r}, {top!r}"
        if not checks.wanted(name):
            continue
        with checks.case(name):
            settings = settings_bytes(settings_lines({8: left, 9: top}))
            program, wid = start(checks, desktop, args, settings)
            frame = settle(lambda: desktop.frame_geometry(wid), lambda r: r.top_left == expected)
            checks.equal("frame top-left in pixels", frame.top_left, expected)
            closes_cleanly(checks, program, wid, settings)


def test_topmost(checks, desktop, args):
    for line1, above in TOPMOST:
        name = f"line 1 {line1!r}"
        if not checks.wanted(name):
            continue
        with checks.case(name):
            settings = settings_bytes(settings_lines({1: line1}))
            program, wid = start(checks, desktop, args, settings)
            if not above:
                time.sleep(0.3)  # give a wrong "above" the time to show up
            state = settle(lambda: desktop.net_wm_state(wid),
                           lambda s: ("_NET_WM_STATE_ABOVE" in s) == above, timeout=1.0)
            checks.equal("_NET_WM_STATE_ABOVE", "_NET_WM_STATE_ABOVE" in state, above)
            closes_cleanly(checks, program, wid, settings)


def test_file_forms(checks, desktop, args):
    for name, settings, n in FILE_FORMS:
        if not checks.wanted(name):
            continue
        with checks.case(name):
            program, wid = start(checks, desktop, args, settings)
            client = settle(lambda: desktop.client_geometry(wid), lambda r: r.width == 64 * n + 4)
            checks.equal(f"client width for preview size {n}", client.width, 64 * n + 4)
            closes_cleanly(checks, program, wid, settings)


def test_reads_executable_folder(checks, desktop, args):
    name = "settings beside the executable, not in the working directory"
    if not checks.wanted(name):
        return
    with checks.case(name):
        beside = settings_bytes(settings_lines({2: "1"}))
        decoy = settings_bytes(settings_lines({2: "5", 8: "6000"}))
        program, wid = start(checks, desktop, args, beside, cwd_settings=decoy)
        client = settle(lambda: desktop.client_geometry(wid), lambda r: r.width == 68)
        checks.equal("client width from the executable's folder", client.width, 68)
        closes_cleanly(checks, program, wid, beside)


def menu_paths(tree):
    """{(caption, ...): states} for every menu item below the menu bar."""
    found = {}

    def bar(node):
        if node["role"] == "menu bar":
            return node
        for child in node["children"]:
            hit = bar(child)
            if hit:
                return hit
        return None

    def walk(node, prefix):
        for child in node["children"]:
            if child["role"] in ("menu", "popup menu") and not child["name"]:
                walk(child, prefix)
            elif child["role"] in ("menu item", "check menu item", "radio menu item", "menu"):
                path = prefix + (child["name"],)
                found[path] = set(child["states"])
                walk(child, path)

    top = bar(tree)
    if top is None:
        return None, {}
    walk(top, ())
    return [child["name"] for child in top["children"]], found


def test_menus(checks, desktop, args):
    for name, lines, checked in CHECK_MARKS:
        if not checks.wanted(name):
            continue
        with checks.case(name):
            settings = settings_bytes(lines)
            program, wid = start(checks, desktop, args, settings, accessible=True)
            top, items = menu_paths(desktop.accessible_tree(program.pid))
            checks.equal("menu bar entries", top, MENU_BAR)
            marked = {path[1:] for path, states in items.items()
                      if path[0] == "設定" and "checked" in states}
            checks.equal("checked items under 設定", marked, checked)
            closes_cleanly(checks, program, wid, settings)


def main(checks, args):
    with Desktop() as desktop:
        test_preview_sizes(checks, desktop, args)
        test_positions(checks, desktop, args)
        test_topmost(checks, desktop, args)
        test_file_forms(checks, desktop, args)
        test_reads_executable_folder(checks, desktop, args)
        test_menus(checks, desktop, args)


if __name__ == "__main__":
    run_script(__doc__, main)
