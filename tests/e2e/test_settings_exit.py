"""Leaving the real program: with remembering the position on ("1" on line 4)
the settings file gets the window's last position and keeps lines 1 to 7 as
they were; otherwise the file is left byte for byte as it was.

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/e2e/test_settings_exit.py --binary build/pomorina
"""

import dataclasses

from checks import run_script
from desktop import Desktop, settings_bytes, settings_lines, settle

CAPTION = "Form1"
START = (200, 100)  # frame top-left from lines 8 and 9 of settings_lines()


@dataclasses.dataclass
class Case:
    name: str
    lines: list[str]
    writes: bool  # whether leaving rewrites the file
    move_to: tuple[int, int] | None = (520, 410)  # xdotool windowmove target
    line_end: str = "\r\n"
    quit_by_menu: bool = False  # "ファイル" > "終了" instead of closing the window


CASES = [
    Case("remembering, moved", settings_lines({4: "1"}), writes=True),
    Case("remembering, not moved: the position is written as whole twips",
         settings_lines({4: "1", 8: " 3000.0 ", 9: "1500 "}), writes=True, move_to=None),
    Case("remembering keeps lines 1 to 7 exactly as they were",
         ["1 ", " 3", "2 ", "1", " 0", "1", " 0", "3000", "1500"], writes=True),
    Case("remembering drops the lines after the ninth",
         settings_lines({4: "1"}) + ["tenth", "11"], writes=True),
    Case("remembering rewrites CR line ends as CR LF",
         settings_lines({4: "1"}), writes=True, line_end="\r"),
    Case("remembering, quit by 終了", settings_lines({4: "1"}), writes=True, quit_by_menu=True),
    Case("not remembering ('0'), moved", settings_lines({4: "0"}), writes=False),
    Case("not remembering ('0'), quit by 終了", settings_lines({4: "0"}), writes=False,
         quit_by_menu=True),
    # Only the exact text "1" stores the position at exit.
    Case("line 4 ' 1', moved", settings_lines({4: " 1"}), writes=False),
    Case("line 4 '1 ', moved", settings_lines({4: "1 "}), writes=False),
    Case("line 4 empty, moved", settings_lines({4: ""}), writes=False),
    Case("line 4 '2', moved", settings_lines({4: "2"}), writes=False),
]


def expected_file(lines: list[str], frame: tuple[int, int]) -> bytes:
    return settings_bytes(lines[:7] + [str(frame[0] * 15), str(frame[1] * 15)])


def run_case(checks, desktop, args, case: Case):
    before = settings_bytes(case.lines, line_end=case.line_end)
    program = desktop.launch(args.binary, before, accessible=case.quit_by_menu)
    wid = program.wait_window(CAPTION)
    frame = settle(lambda: desktop.frame_geometry(wid), lambda r: r.top_left == START)
    checks.equal("frame starts at lines 8 and 9", frame.top_left, START)
    if case.move_to is not None:
        desktop.move_window(wid, *case.move_to)
        frame = settle(lambda: desktop.frame_geometry(wid), lambda r: r.top_left != START)
        checks.check("the window moved", frame.top_left != START, f"frame {frame}")
    if case.quit_by_menu:
        desktop.press_menu(program.pid, ["ファイル", "終了"])
        code = program.wait_exit()
    else:
        code = program.close(wid)
    checks.equal("exit code", code, 0)
    after = program.settings()
    if case.writes:
        checks.equal("the file holds lines 1 to 7 and the last frame position in twips",
                     after, expected_file(case.lines, frame.top_left))
    else:
        checks.equal("the file is byte for byte as it was", after, before)
    return after, frame.top_left


def test_round_trip(checks, desktop, args):
    """The position written at exit is where the next start opens."""
    name = "round trip: the next start opens where the last one was left"
    if not checks.wanted(name):
        return
    with checks.case(name):
        first = desktop.launch(args.binary, settings_bytes(settings_lines({4: "1"})))
        wid = first.wait_window(CAPTION)
        desktop.move_window(wid, 640, 480)
        moved = settle(lambda: desktop.frame_geometry(wid), lambda r: r.top_left != START)
        checks.equal("first run ends with 0", first.close(wid), 0)
        second = desktop.launch(args.binary, first.settings())
        wid = second.wait_window(CAPTION)
        frame = settle(lambda: desktop.frame_geometry(wid), lambda r: r.top_left == moved.top_left)
        checks.equal("second run's frame top-left", frame.top_left, moved.top_left)
        checks.equal("second run ends with 0", second.close(wid), 0)


def main(checks, args):
    with Desktop() as desktop:
        for case in CASES:
            if checks.wanted(case.name):
                with checks.case(case.name):
                    run_case(checks, desktop, args, case)
        test_round_trip(checks, desktop, args)


if __name__ == "__main__":
    run_script(__doc__, main)
