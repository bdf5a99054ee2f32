"""The real program on sway's headless backend: started with Qt's Wayland
platform, through Xwayland, and by the session itself with nothing but its
environment, it shows its main window at its own size and ends with 0 when
the window is closed. Skipped (exit code 0) where sway is not installed.

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/e2e/test_sway_smoke.py --binary build/pomorina
"""

import shutil
import sys

NEEDED = ["sway", "swaymsg", "Xwayland"]

# How the program is started, and the shell sway reports for its window.
STARTS = [
    ("QT_QPA_PLATFORM=wayland", "wayland", "xdg_shell"),
    ("QT_QPA_PLATFORM=xcb", "xcb", "xwayland"),
    ("swaymsg exec, session type wayland", None, "xdg_shell"),
]
SIDE = 64 * 3 + 4  # line 2 = "3": a 192-pixel preview in its 2-pixel frame


def main(checks, args):
    from desktop import settings_bytes, settings_lines
    from sway_desktop import SwayDesktop

    with SwayDesktop() as desktop:
        for name, platform, shell in STARTS:
            if not checks.wanted(name):
                continue
            with checks.case(name):
                settings = settings_bytes(settings_lines())
                program = (desktop.launch(args.binary, settings, platform=platform) if platform
                           else desktop.launch_in_session(args.binary, settings))
                view = program.wait_window("Form1")
                checks.equal("the shell", view.shell, shell)
                checks.equal("the window's width: floating, its own size", view.content.width,
                             SIDE)
                checks.equal("ends with 0 when its window is closed", program.close(view), 0)


if __name__ == "__main__":
    missing = [tool for tool in NEEDED if shutil.which(tool) is None]
    if missing:
        print(f"skipped: {', '.join(missing)} not installed")
        sys.exit(0)
    from checks import run_script

    run_script(__doc__, main)
