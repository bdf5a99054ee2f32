"""The real program on headless Wayland compositors. On sway, started with
Qt's Wayland platform, through Xwayland, and by the session itself with
nothing but its environment, it shows its main window at its own size and
ends with 0 when the window is closed. On weston (no data-control, no seat)
it shows its window both ways. Skipped (exit code 0) where sway is not
installed; the weston cases are left out where weston is not.

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/e2e/test_sway_smoke.py --binary build/pomorina
"""

import shutil
import sys

NEEDED = ["sway", "swaymsg", "Xwayland"]

# The compositor, how the program is started (None: by the session), and
# the shell the compositor reports for its window.
STARTS = [
    ("sway", "wayland", "xdg_shell"),
    ("sway", "xcb", "xwayland"),
    ("sway", None, "xdg_shell"),
    ("weston", "wayland", "xdg_shell"),
    ("weston", "xcb", "xwayland"),
]
SIDE = 64 * 3 + 4  # line 2 = "3": a 192-pixel preview in its 2-pixel frame


def main(checks, args):
    from desktop import settings_bytes, settings_lines
    from sway_desktop import SwayDesktop, WestonDesktop

    compositors = {"sway": SwayDesktop}
    if shutil.which("weston"):
        compositors["weston"] = WestonDesktop
    for compositor, desktop_class in compositors.items():
        starts = [(platform, shell) for name, platform, shell in STARTS if name == compositor
                  and checks.wanted(f"{compositor}, {platform or 'session'}")]
        if not starts:
            continue
        with desktop_class() as desktop:
            for platform, shell in starts:
                with checks.case(f"{compositor}, {platform or 'session'}"):
                    settings = settings_bytes(settings_lines())
                    program = (desktop.launch(args.binary, settings, platform=platform)
                               if platform else desktop.launch_in_session(args.binary, settings))
                    view = program.wait_window("Form1")
                    checks.equal("the shell", view.shell, shell)
                    if compositor == "weston":
                        continue  # no seat: nothing can close a window there
                    checks.equal("the window's width: floating, its own size",
                                 view.content.width, SIDE)
                    checks.equal("ends with 0 when its window is closed", program.close(view), 0)


if __name__ == "__main__":
    missing = [tool for tool in NEEDED if shutil.which(tool) is None]
    if missing:
        print(f"skipped: {', '.join(missing)} not installed")
        sys.exit(0)
    from checks import run_script

    run_script(__doc__, main)
