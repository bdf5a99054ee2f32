"""Counting checks for the end-to-end scripts.

Each script runs its cases through one Checks object and ends with
`sys.exit(checks.finish())`, which prints the closing line
"N passed, N failed" and gives the exit code. A case that raises (a window
that never came, a program that crashed) counts as one failed check with
what the harness saw, and the script goes on with the next case.
"""

from __future__ import annotations

import argparse
import contextlib
import sys
import time
import traceback
from pathlib import Path

from desktop import HarnessError


class Checks:
    def __init__(self, only: str = "") -> None:
        self.only = only
        self.passed = 0
        self.failed = 0
        self._case = ""
        self._started = time.monotonic()

    def wanted(self, name: str) -> bool:
        """Whether the case is to run (--only narrows the run while debugging)."""
        return self.only in name

    def check(self, what: str, ok: bool, detail: str = "") -> bool:
        label = f"{self._case}: {what}" if self._case else what
        if ok:
            self.passed += 1
            print(f"ok    {label}")
        else:
            self.failed += 1
            print(f"FAIL  {label}" + (f"\n      {detail}" if detail else ""))
        sys.stdout.flush()
        return ok

    def equal(self, what: str, actual, expected) -> bool:
        return self.check(what, actual == expected, f"expected {expected!r}, got {actual!r}")

    @contextlib.contextmanager
    def case(self, name: str):
        """Groups the checks of one case; an exception inside fails the case
        and is reported, and the script goes on."""
        outer, self._case = self._case, name
        try:
            yield
        except HarnessError as error:
            self.check("ran to the end", False, str(error))
        except Exception:
            self.check("ran to the end", False, traceback.format_exc())
        finally:
            self._case = outer

    def finish(self) -> int:
        seconds = time.monotonic() - self._started
        print(f"({seconds:.1f} s)")
        print(f"{self.passed} passed, {self.failed} failed")
        return 0 if self.failed == 0 and self.passed > 0 else 1


def parse_args(description: str, more_args=None) -> argparse.Namespace:
    """The common arguments; `more_args(parser)`, when given, adds a
    script's own and checks them after parsing (it is called twice: with
    the parser before, and with (parser, args) after)."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--binary", required=True, type=Path, help="the built pomorina")
    parser.add_argument("--tools", type=Path, default=None,
                        help="the folder of the helper programs built for the tests "
                             "(x11_clipboard_owner)")
    parser.add_argument("--only", default="", help="run only the cases whose name contains this")
    if more_args is not None:
        more_args(parser)
    args = parser.parse_args()
    args.binary = args.binary.resolve()
    if args.tools is not None:
        args.tools = args.tools.resolve()
    if more_args is not None:
        more_args(parser, args)
    return args


def run_script(description: str, body, more_args=None) -> None:
    """Parses the arguments, runs `body(checks, args)` and exits with the
    result; a failure outside any case still ends in the closing line."""
    args = parse_args(description, more_args)
    checks = Checks(args.only)
    try:
        body(checks, args)
    except HarnessError as error:
        checks.check("desktop", False, str(error))
    except Exception:
        checks.check("desktop", False, traceback.format_exc())
    sys.exit(checks.finish())
