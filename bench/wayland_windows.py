"""What the program's windows do on sway with each Qt platform: Wayland
(QT_QPA_PLATFORM=wayland) and X11 through Xwayland (xcb). Prints one table
per question, with the numbers measured:

  focus     the history window hiding when another window takes the focus;
            an edit in the text view reaching the clipboard after leaving
  pointer   auto-hide (0.5 s) with the pointer away and back; what
            QCursor::pos() says (build/bench/cursor_probe) at each place
  on top    always-on-top against another floating window that takes the focus
  position  where lines 8 and 9 put the window, and what is written back

Build first: cmake --build build --target pomorina cursor_probe, then

    PYTHONPATH=tests/e2e /usr/bin/python3 bench/wayland_windows.py \\
        --binary build/pomorina --probe build/bench/cursor_probe
"""

import argparse
import statistics
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))

from desktop import settings_bytes, settings_lines  # noqa: E402
from desktop_input import shown_text  # noqa: E402
from sway_desktop import HISTORY_CAPTION, FocusWindow, SwayDesktop  # noqa: E402

PLATFORMS = ["wayland", "xcb"]
EMPTY_SPOT = (100, 950)  # no window there
MENU_BAR = 23  # the main window's client area is the menu bar over a square


def poll(probe, timeout: float, interval: float = 0.01):
    """Seconds until probe() holds, or None after `timeout`."""
    start = time.monotonic()
    while time.monotonic() - start < timeout:
        if probe():
            return time.monotonic() - start
        time.sleep(interval)
    return None


def ms(seconds) -> str:
    return "never" if seconds is None else f"{seconds * 1000:.0f}"


def spread(values) -> str:
    done = [v for v in values if v is not None]
    text = f"{ms(statistics.median(done))} ({ms(min(done))}–{ms(max(done))})" if done else "never"
    missing = len(values) - len(done)
    return text + (f", {missing} of {len(values)} never" if missing else "")


def table(title: str, header: list[str], rows: list[list]) -> None:
    print(f"\n### {title}\n")
    print("| " + " | ".join(header) + " |")
    print("|" + "---|" * len(header))
    for row in rows:
        print("| " + " | ".join(str(cell) for cell in row) + " |")
    sys.stdout.flush()


class Bench:
    def __init__(self, desktop: SwayDesktop, args):
        self.d = desktop
        self.args = args
        self.wayland_other = FocusWindow(desktop, "wayland", at=(900, 700))
        self.x11_other = FocusWindow(desktop, "x11", at=(900, 300))
        self.others = {"Wayland (weston-flower)": self.wayland_other,
                       "X11 (xmessage)": self.x11_other}

    def start(self, platform: str, changes=None, accessible=True):
        program = self.d.launch(self.args.binary, settings_bytes(settings_lines(changes)),
                                platform=platform, accessible=accessible)
        return program, program.main_window()

    def main_view(self, program):
        return next(v for v in program.views() if v.name != HISTORY_CAPTION)

    def history_shown(self, program) -> bool:
        return any(v.name == HISTORY_CAPTION for v in program.views())

    # a. focus -----------------------------------------------------------------------

    def history_hiding(self):
        rows = []
        for platform in PLATFORMS:
            program, main = self.start(platform)
            self.d.focus(main)
            for kind, other in self.others.items():
                delays = []
                for _ in range(self.args.repeat):
                    self.d.focus(self.main_view(program))
                    self.d.press_menu(program.pid, [HISTORY_CAPTION])
                    history = program.wait_window(HISTORY_CAPTION)
                    self.d.focus(history)
                    time.sleep(0.4)
                    self.d.focus(other.view)
                    delays.append(poll(lambda: not self.history_shown(program), 3.0))
                rows.append([platform, kind, spread(delays)])
            program.close(self.main_view(program))
        table("The history window after another window takes the focus",
              ["platform", "window taking the focus", f"history gone after, ms (median, range, "
               f"{self.args.repeat} runs)"], rows)

    def write_back(self):
        rows = []
        for platform in PLATFORMS:
            for kind, other in self.others.items():
                runs = [self.write_back_once(platform, other) for _ in range(self.args.repeat)]
                shown = [run for run in runs if run is not None]
                if not shown:
                    rows.append([platform, kind, f"0 of {len(runs)}", "-", "-", "-", "-"])
                    continue
                rows.append([platform, kind, f"{len(shown)} of {len(runs)}",
                             ", ".join(sorted({repr(run[0]) for run in shown})),
                             spread([run[1] for run in shown]) + "; last read "
                             + ", ".join(sorted({repr(run[3]) for run in shown})),
                             spread([run[2] for run in shown]) + "; last read "
                             + ", ".join(sorted({repr(run[4]) for run in shown})),
                             ", ".join(sorted({repr(run[5]) for run in shown}))])
        table("An edit in the text view, then another window takes the focus",
              ["platform", "window taking the focus", "runs where 'alpha' (wl-copy) was shown",
               "text view after typing ' beta'", "wl-paste has the edit after, ms",
               "xclip has the edit after, ms", "text view 3 s after leaving"], rows)

    def write_back_once(self, platform, other):
        """(text typed, wl-paste delay, xclip delay, last wl-paste, last
        xclip, text view at the end), or None when the view never showed the
        copied text."""
        copier = self.d.wl_copy(b"alpha")
        program, main = self.start(platform)
        try:
            # The view takes clipboard text only while the main window is not
            # in front: give it the focus first (a Wayland client sees the
            # clipboard only then), then to the other window.
            self.d.focus(main)
            time.sleep(1.0)
            self.d.focus(other.view)
            if poll(lambda: shown_text(self.d, program.pid) == "alpha", 5.0, 0.2) is None:
                return None
            self.d.focus(main)
            c = main.content
            self.d.click(c.x + c.width // 2, c.y + MENU_BAR + c.width // 2)
            self.d.key("End")
            self.d.type_text(" beta")
            typed = shown_text(self.d, program.pid)
            self.d.focus(other.view)
            wl = x11 = None
            start = time.monotonic()
            while time.monotonic() - start < 3.0 and (wl is None or x11 is None):
                now = time.monotonic() - start
                last_wl = self.d.wl_paste()
                last_x11 = self.d.run(["xclip", "-o", "-selection", "clipboard"],
                                      check=False).stdout
                if wl is None and last_wl == b"alpha beta":
                    wl = now
                if x11 is None and last_x11 == b"alpha beta":
                    x11 = now
                time.sleep(0.02)
            return typed, wl, x11, last_wl, last_x11, shown_text(self.d, program.pid)
        finally:
            program.close(self.main_view(program))
            if copier.poll() is None:
                copier.terminate()

    # b. pointer ---------------------------------------------------------------------

    def auto_hide(self):
        rows = []
        places = {"outside all windows": lambda: EMPTY_SPOT,
                  **{f"over {kind}": (lambda o=other: self.centre(o.view.content))
                     for kind, other in self.others.items()}}
        for platform in PLATFORMS:
            # A poll restarts the hide delay unless it finds the same
            # picture: with an empty clipboard the polls must be far apart.
            program, main = self.start(platform, {3: "6", 7: "1"}, accessible=False)
            self.wayland_other.activate()
            full = main.content.height
            for place, spot in places.items():
                self.d.glide_to(*self.centre(self.main_view(program).content))
                grown = poll(lambda: self.main_view(program).content.height == full, 3.0)
                time.sleep(1.0)
                self.d.glide_to(*spot())
                shrunk = poll(lambda: self.main_view(program).content.height < full, 4.0)
                small = self.main_view(program).content
                self.d.glide_to(small.x + small.width // 2, small.y + MENU_BAR // 2)
                back = poll(lambda: self.main_view(program).content.height == full, 4.0)
                rows.append([platform, place, "yes" if grown is not None else "no", ms(shrunk),
                             f"{small.width}×{small.height}", ms(back) if shrunk else "-"])
            program.close(self.main_view(program))
        table("Auto-hide after 0.5 s (line 7 = 1; line 3 = 6, polls 9.9 s apart), "
              "weston-flower focused",
              ["platform", "pointer moved (10 steps, 0.2 s)", "full size at start",
               "shrunk after, ms", "size then", "grown back after the pointer returns to the "
               "menu bar, ms"], rows)

    def cursor_pos(self):
        rows = []
        for platform in PLATFORMS:
            program = self.d.launch(self.args.probe, None, platform=platform)
            view = program.wait_window("cursor probe")
            inside = self.centre(view.content)
            places = [("inside the probe's window", inside),
                      ("over the Wayland window", self.centre(self.wayland_other.view.content)),
                      ("over the X11 window", self.centre(self.x11_other.view.content)),
                      ("outside all windows", EMPTY_SPOT),
                      ("inside again", (inside[0] + 30, inside[1] + 20))]
            self.d.focus(view)
            for place, spot in places:
                self.d.glide_to(*spot)
                time.sleep(0.5)
                fields = program.stdout_path.read_text().splitlines()[-1].split()
                rows.append([platform, place, f"{spot[0]}, {spot[1]}",
                             f"{fields[1]}, {fields[2]}"])
            frame = f"{fields[4]}, {fields[5]}"
            rows.append([platform, "(where Qt thinks the window is: frame / client)",
                         f"sway: {view.frame.x}, {view.frame.y} / {view.content.x}, "
                         f"{view.content.y}", f"Qt: {frame} / {fields[6]}, {fields[7]}"])
            program.kill()
        table("QCursor::pos() with the pointer put at screen positions (probe moved to "
              "200, 100 before showing)", ["platform", "pointer", "put at", "QCursor::pos()"],
              rows)

    # c. always on top ---------------------------------------------------------------

    def on_top(self):
        rows = []
        for platform in PLATFORMS:
            for topmost in ("1", "0"):
                program, main = self.start(platform, {1: topmost}, accessible=False)
                for kind, other in self.others.items():
                    self.d.focus(self.main_view(program))
                    frame = self.main_view(program).frame
                    self.d.move_view(other.view, frame.x + 20, frame.y + 20)
                    self.d.focus(other.view)
                    time.sleep(0.3)
                    order = self.floating_order()
                    above = order.index(self.main_view(program).con_id) > order.index(
                        other.view.con_id)
                    state = self.x11_state(program) if platform == "xcb" else "-"
                    rows.append([platform, topmost, kind, "program" if above else "other",
                                 state])
                    self.d.move_view(other.view, *other_home(kind))
                program.close(self.main_view(program))
        for other in self.others.values():
            other.view = next(v for v in self.d.views(other.proc.pid))
        table("Another floating window overlapping the main window takes the focus",
              ["platform", "line 1", "other window", "on top (sway's stacking)",
               "_NET_WM_STATE of the X11 window"], rows)

    def floating_order(self) -> list[int]:
        """The floating windows of the workspace, bottom first."""
        def find(node):
            if node.get("type") == "workspace" and node.get("name") != "__i3_scratch":
                return node
            for child in node.get("nodes", []):
                hit = find(child)
                if hit:
                    return hit
            return None
        return [node["id"] for node in find(self.d.tree())["floating_nodes"]]

    def x11_state(self, program) -> str:
        windows = self.d.visible_windows(program.pid)
        return ", ".join(sorted(self.d.net_wm_state(windows[0]))) or "(none)" if windows else "?"

    # d. position --------------------------------------------------------------------

    def position(self):
        rows = []
        for platform in PLATFORMS:
            for left, top in (("3000", "1500"), ("6000", "4500")):
                for move in (None, (300, 250)):
                    program, main = self.start(platform, {4: "1", 8: left, 9: top},
                                               accessible=False)
                    time.sleep(0.5)
                    at_start = self.main_view(program)
                    if move:
                        self.d.move_view(at_start, *move)
                        time.sleep(0.5)
                    before_exit = self.main_view(program)
                    code = program.close(before_exit)
                    written = program.settings().decode().split("\r\n")[7:9]
                    px = [int(float(v)) // 15 for v in written]
                    rows.append([platform, f"{left}, {top} ({int(left) // 15}, {int(top) // 15})",
                                 f"{at_start.frame.x}, {at_start.frame.y} / {at_start.content.x}, "
                                 f"{at_start.content.y}",
                                 f"moved to {move[0]}, {move[1]}" if move else "not moved",
                                 f"{before_exit.frame.x}, {before_exit.frame.y}",
                                 f"{written[0]}, {written[1]} ({px[0]}, {px[1]})", code])
        table("Lines 8 and 9 at start, and what is written at exit (line 4 = 1)",
              ["platform", "lines 8, 9 (px)", "at start: frame / content (sway)", "then",
               "frame at exit (sway)", "written at exit (px)", "exit code"], rows)

    @staticmethod
    def centre(rect):
        return rect.x + rect.width // 2, rect.y + rect.height // 2


def other_home(kind: str):
    return (900, 700) if kind.startswith("Wayland") else (900, 300)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__,
                                     formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--binary", required=True, type=Path)
    parser.add_argument("--probe", required=True, type=Path)
    parser.add_argument("--repeat", type=int, default=5)
    parser.add_argument("--only", default="", help="focus, write, hide, cursor, top, position")
    args = parser.parse_args()
    args.binary, args.probe = args.binary.resolve(), args.probe.resolve()
    with SwayDesktop() as desktop:
        bench = Bench(desktop, args)
        for name, step in (("focus", bench.history_hiding), ("write", bench.write_back),
                           ("hide", bench.auto_hide), ("cursor", bench.cursor_pos),
                           ("top", bench.on_top), ("position", bench.position)):
            if args.only in name:
                step()
    return 0


if __name__ == "__main__":
    sys.exit(main())
