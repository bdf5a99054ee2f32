"""A settings file the real program cannot use: it says so on stderr (naming
"設定.ini" and the line at fault), shows an error box titled "ポモリナ", and
once the box is answered ends with a non-zero exit code, leaving the file as
it was. Never a crash.

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/e2e/test_broken_settings.py --binary build/pomorina
"""

import dataclasses
import re

from checks import run_script
from desktop import Desktop, settings_bytes, settings_lines

BOX_TITLE = "ポモリナ"
SETTINGS_NAME = "設定.ini"


@dataclasses.dataclass
class Case:
    name: str
    settings: bytes | None  # None: no file beside the executable
    line: int | None = None  # the line the message must name
    answer: str = "return"  # "return": press Return on the box; "close": close it
    cwd_settings: bytes | None = None


def broken(line: int, text: str, answer: str = "return") -> Case:
    return Case(f"line {line} {text!r}", settings_bytes(settings_lines({line: text})), line, answer)


CASES = [
    Case("no settings file", None),
    Case("no settings file, closing the box", None, answer="close"),
    Case("no file beside the executable, a good one in the working directory", None,
         cwd_settings=settings_bytes(settings_lines())),
    Case("empty file", b""),
    Case("eight lines", settings_bytes(settings_lines()[:8])),
    Case("eight lines, closing the box", settings_bytes(settings_lines()[:8]), answer="close"),
    broken(2, "abc"),
    broken(2, ""),  # the empty text is not a number
    broken(2, "6"),
    broken(2, "0"),
    broken(2, "0.5"),  # rounds to 0
    broken(2, "5.5"),  # rounds to 6
    broken(2, "6", answer="close"),
    broken(3, "7"),
    broken(3, "0"),
    broken(5, "4"),
    broken(5, "-1"),
    broken(6, "2"),
    broken(7, "7"),
    broken(7, "x"),
    broken(8, "left"),
    broken(9, ""),
]


def run_case(checks, desktop, args, case: Case):
    program = desktop.launch(args.binary, case.settings, cwd_settings=case.cwd_settings)
    box = program.wait_window(BOX_TITLE)  # fails the case when no box comes
    if case.answer == "return":
        desktop.activate(box)
        desktop.key("Return")
    else:
        desktop.close_window(box)
    code = program.wait_exit()
    checks.check(f"exit code is non-zero and not a signal (got {code})", code > 0)
    stderr = program.stderr
    checks.check("stderr names 設定.ini", SETTINGS_NAME in stderr, f"stderr: {stderr!r}")
    if case.line is not None:
        checks.check(f"stderr names line {case.line}",
                     re.search(rf"(?<![0-9]){case.line}(?![0-9])", stderr) is not None,
                     f"stderr: {stderr!r}")
    checks.equal("the settings file is as it was", program.settings(), case.settings)


def main(checks, args):
    with Desktop() as desktop:
        for case in CASES:
            if checks.wanted(case.name):
                with checks.case(case.name):
                    run_case(checks, desktop, args, case)


if __name__ == "__main__":
    run_script(__doc__, main)
