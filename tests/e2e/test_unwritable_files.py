"""Files that cannot be written, on the real program: the settings file or
Image.bmp made read-only (chmod 444) or immutable (chattr +i), the program's
folder made immutable, and the disk full (a small tmpfs mounted over the
program's folder while it runs, then filled).

A refused "設定を保存" or "画像を保存" brings up an error box titled "ポモリナ"
that names the file, and the program goes on (a new picture is still taken
up). A refused write at exit (remembering the position is on) is reported
the same way, then the program ends with 0. Every file is left byte for byte
as it was, with its mode, and nothing is left beside it.

Needs root for chattr and mount; and as root, chmod 444 stops no write by
itself: the program must refuse on its own.

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/e2e/test_unwritable_files.py \
        --binary build/pomorina
"""

import dataclasses
import errno
import os
import subprocess

from checks import run_script
from desktop import Desktop, settings_bytes, settings_lines, settle, wait_until
from desktop_input import (Clipboard, FocusSink, Picture, main_window, press_menu_in_background,
                           wait_caption)

BOX_TITLE = "ポモリナ"
QUESTION = "セーブします"
SETTINGS = "設定.ini"
IMAGE = "Image.bmp"
READ_ONLY = "読み取り専用"


@dataclasses.dataclass
class Case:
    name: str
    target: str  # SETTINGS, IMAGE, "folder" or "disk"
    how: str  # "chattr", "chmod" or "fill"
    refused: set[str]  # of SETTINGS and IMAGE: the writes that must fail


CASES = [
    Case("設定.ini immutable", SETTINGS, "chattr", {SETTINGS}),
    Case("設定.ini read-only (chmod 444)", SETTINGS, "chmod", {SETTINGS}),
    Case("Image.bmp immutable", IMAGE, "chattr", {IMAGE}),
    Case("Image.bmp read-only (chmod 444)", IMAGE, "chmod", {IMAGE}),
    Case("the program's folder immutable", "folder", "chattr", {SETTINGS, IMAGE}),
    Case("the disk full", "disk", "fill", {SETTINGS, IMAGE}),
]


def picture(width, height, colour):
    return Picture.filled(width, height, lambda x, y: colour)


def chattr(path, on):
    return subprocess.run(["chattr", "+i" if on else "-i", str(path)],
                          capture_output=True).returncode == 0


def fill(folder):
    with open(folder / "filler", "wb") as filler:
        try:
            while True:
                filler.write(bytes(64 * 1024))
                filler.flush()
        except OSError as error:
            if error.errno != errno.ENOSPC:
                raise


def box_texts(desktop, program, finished):
    """Waits until the error box shows, or `finished()` says the command
    ended without one. Answers the box and returns the texts it showed, or
    None when none came."""

    def probe():
        for wid in desktop.visible_windows(program.pid):
            if desktop.window_name(wid) == BOX_TITLE:
                return wid
        return -1 if finished() else None

    box = wait_until("an error box, or the command's end", probe, 10.0)
    if box == -1:
        return None
    names = []

    def walk(node):
        names.append(node["name"])
        for child in node["children"]:
            walk(child)

    walk(desktop.accessible_tree(program.pid))
    desktop.activate(box)
    desktop.key("Return")
    return names


def check_box(checks, what, texts, refused, file, extra=""):
    if not refused:
        checks.check(f"{what}: no error box", texts is None, f"texts: {texts}")
        return
    named = [text for text in texts or [] if file in text and extra in text]
    checks.check(f"{what}: an error box names {file}" + (f" and says {extra}" if extra else ""),
                 bool(named), f"texts: {texts}")


def save_picture(checks, desktop, program, wid):
    """画像を保存, answered with Return; the texts of the error box that
    followed, or None."""
    press = press_menu_in_background(desktop, program.pid, ["ファイル", "画像を保存"])

    def question():
        for other in desktop.visible_windows(program.pid):
            if other != wid and desktop.window_name(other) != BOX_TITLE:
                return other
        return None

    desktop.activate(wait_until(f"the box {QUESTION!r}", question, 10.0))
    desktop.key("Return")
    settle(question, lambda other: other is None)
    texts = box_texts(desktop, program, lambda: press.poll() is not None)
    checks.equal("画像を保存 returned", press.wait(10), 0)
    return texts


def run_case(checks, desktop, args, sink, clip, case: Case):
    program = desktop.launch(args.binary, settings_bytes(settings_lines({4: "1"})),
                             accessible=True)
    wid = main_window(program)
    folder = program.folder
    undo = []
    try:
        if case.how == "fill":
            # The disk fills up while the program runs: a small file system
            # takes the folder's place, with the same settings file.
            settings = program.settings()
            if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=2m", "tmpfs", str(folder)],
                              capture_output=True).returncode != 0:
                checks.check("mount a small tmpfs (needs root)", False)
                return
            undo.append(lambda: subprocess.run(["umount", str(folder)], capture_output=True))
            program.settings_path.write_bytes(settings)
        sink.activate()
        clip.copy_picture(picture(40, 30, (220, 20, 20)))
        wait_caption(desktop, wid, "X=40Y=30")
        checks.check("a first Image.bmp is saved",
                     save_picture(checks, desktop, program, wid) is None
                     and (folder / IMAGE).exists())

        target = {SETTINGS: program.settings_path, IMAGE: folder / IMAGE}.get(case.target, folder)
        if case.how == "chattr":
            if not chattr(target, True):
                checks.check(f"chattr +i {target.name} (needs root)", False)
                return
            undo.append(lambda: chattr(target, False))
        elif case.how == "chmod":
            os.chmod(target, 0o444)
        else:
            fill(folder)
            checks.equal("no room left", os.statvfs(folder).f_bavail, 0)
        files = {path.name: (path.read_bytes(), path.stat().st_mode)
                 for path in folder.iterdir() if path.name != "pomorina"}

        if SETTINGS in case.refused:
            press = press_menu_in_background(desktop, program.pid, ["ファイル", "設定を保存"])
            texts = box_texts(desktop, program, lambda: press.poll() is not None)
            check_box(checks, "設定を保存", texts, True, SETTINGS,
                      READ_ONLY if case.how == "chmod" else "")
            checks.equal("設定を保存 returned", press.wait(10), 0)
        if IMAGE in case.refused:
            clip.copy_picture(picture(50, 20, (20, 40, 220)))
            wait_caption(desktop, wid, "X=50Y=20")
            check_box(checks, "画像を保存", save_picture(checks, desktop, program, wid), True, IMAGE,
                      READ_ONLY if case.how == "chmod" else "")
        # Still running, and polling: busy is back to 0.
        clip.copy_picture(picture(70, 10, (20, 180, 40)))
        checks.equal("a new picture is taken up afterwards",
                     wait_caption(desktop, wid, "X=70Y=10"), "X=70Y=10")

        desktop.close_window(wid)
        texts = box_texts(desktop, program, lambda: program.exit_code() is not None)
        check_box(checks, "leaving", texts, SETTINGS in case.refused, SETTINGS)
        checks.equal("the program ends with 0", program.wait_exit(), 0)

        after = {path.name: (path.read_bytes(), path.stat().st_mode)
                 for path in folder.iterdir() if path.name != "pomorina"}
        checks.equal("nothing left beside the files", sorted(after), sorted(files))
        for name, (data, mode) in files.items():
            checks.check(f"{name} is as it was ({len(data)} bytes, mode {mode:o})",
                         after.get(name) == (data, mode),
                         "now " + (f"{len(after[name][0])} bytes, mode {after[name][1]:o}"
                                   if name in after else "gone"))
    finally:
        for step in reversed(undo):
            step()


def main(checks, args):
    with Desktop() as desktop:
        sink = FocusSink(desktop)
        clip = Clipboard(desktop)
        for case in CASES:
            if checks.wanted(case.name):
                with checks.case(case.name):
                    run_case(checks, desktop, args, sink, clip, case)


if __name__ == "__main__":
    run_script(__doc__, main)
