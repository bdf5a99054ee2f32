"""The text view and the clipboard on a real X desktop: text copied in another
program is shown; an edit typed into the text view reaches the clipboard
when the user switches to another window, and only then; a clipboard that
already holds the shown text is left to its owner with all its formats;
"常に手前に表示" keeps the same window above the others and lets it go again;
an edit typed into a history slot is never written over text copied later.

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/e2e/test_write_back.py \
        --binary build/pomorina --tools build/tests
"""

import dataclasses
import time

from checks import run_script
from desktop import Desktop, HarnessError, settings_bytes, settings_lines, settle, wait_until
from desktop_input import (HISTORY_CAPTION, Clipboard, FocusSink, Picture, click_at,
                           checked_items, main_window, menu_bar_height, shown_text, stacking,
                           text_boxes, type_text, wait_caption, wait_shown_text)

ABOVE = "_NET_WM_STATE_ABOVE"
ON_TOP = ["設定", "常に手前に表示"]
POLLS = 1.6  # seconds: three polls at 500 ms, sixteen write-back ticks


@dataclasses.dataclass
class Edit:
    name: str
    copied: str  # put on the clipboard by xclip before the edit
    keys: list[str]  # xdotool key names pressed after the caret is put at the end
    typed: str  # then typed
    expected: str  # the text the clipboard must hold after leaving the window


EDITS = [
    Edit("replace the last word", "alpha beta", ["BackSpace"] * 4, "gamma 42", "alpha gamma 42"),
    Edit("append to the second of two lines; Japanese kept", "ポモリナ 一行目\nsecond line",
         [], " + more", "ポモリナ 一行目\nsecond line + more"),
    Edit("delete at the start of the first line", "line one\nline two\nline three",
         ["ctrl+Home"] + ["Delete"] * 5, "", "one\nline two\nline three"),
    Edit("insert a line break", "headtail", ["Left"] * 4, "\n", "head\ntail"),
    Edit("empty the view", "to be removed", ["ctrl+a", "BackSpace"], "", ""),
]


def launch(desktop, args, changes=None):
    program = desktop.launch(args.binary, settings_bytes(settings_lines(changes)), accessible=True)
    return program, main_window(program)


def text_view_centre(desktop, wid):
    client = desktop.client_geometry(wid)
    bar = menu_bar_height(desktop, wid)
    return client.x + client.width // 2, client.y + bar + client.width // 2


def test_edit(checks, desktop, args, sink, clip, edit: Edit):
    copier = clip.copy_text(edit.copied)
    program, wid = launch(desktop, args)
    sink.activate()
    seen = wait_shown_text(desktop, program.pid, edit.copied)
    checks.equal("the copied text is shown", seen, edit.copied)
    time.sleep(0.5)  # several write-back ticks with another window in front
    checks.check("the clipboard holding the shown text is left to its owner",
                 copier.poll() is None and clip.raw() == edit.copied.encode(),
                 f"xclip exit code {copier.poll()}, clipboard {clip.raw()!r}")

    desktop.activate(wid)
    click_at(desktop, *text_view_centre(desktop, wid))
    desktop.key("ctrl+End")
    if edit.keys:
        desktop.key(*edit.keys)
    if edit.typed == "\n":
        desktop.key("Return")
    elif edit.typed:
        type_text(desktop, edit.typed)
    typed_view = settle(lambda: shown_text(desktop, program.pid), lambda t: t == edit.expected)
    checks.equal("the text view holds the edit", typed_view, edit.expected)
    time.sleep(0.4)  # a write-back would come within 100 ms
    checks.equal("nothing is written while the main window is in front",
                 clip.raw(), edit.copied.encode())

    left_at = time.monotonic()
    sink.activate()
    written = settle(lambda: clip.raw(), lambda data: data == edit.expected.encode(), timeout=3.0)
    delay = time.monotonic() - left_at
    checks.equal("after leaving the window the clipboard holds the edit exactly",
                 written, edit.expected.encode())
    print(f"      (edit seen on the clipboard {delay * 1000:.0f} ms after activating another "
          "window)")
    checks.check("the edit took the clipboard over from xclip", copier.poll() is not None,
                 "xclip still runs")

    time.sleep(POLLS)
    checks.equal("polls after the write-back keep the edit in the view",
                 shown_text(desktop, program.pid), edit.expected)
    checks.equal("... and on the clipboard", clip.raw(), edit.expected.encode())

    # New text copied in another program while the main window stays behind:
    # shown, and the clipboard is not written again (its owner keeps it).
    later = clip.copy_text("copied afterwards")
    seen = wait_shown_text(desktop, program.pid, "copied afterwards")
    checks.equal("text copied afterwards is shown", seen, "copied afterwards")
    time.sleep(0.5)
    checks.check("... and its owner keeps the clipboard", later.poll() is None,
                 f"xclip exit code {later.poll()}")
    checks.equal("the program ends with 0", program.close(wid), 0)


def start_owner(desktop, args, text, html):
    tool = args.tools / "x11_clipboard_owner" if args.tools else None
    if tool is None or not tool.exists():
        raise HarnessError(f"no x11_clipboard_owner in {args.tools}")
    proc = desktop._spawn("owner", [str(tool), "--mode", "serve", "--text", text, "--html", html,
                                    "--seconds", "120"])
    log = desktop.root / "owner.log"
    wait_until("the clipboard owner to say 'owned'",
               lambda: proc.poll() is None and "owned" in log.read_text(errors="replace"), 10)
    return proc


def test_rich_copy(checks, desktop, args, sink, clip):
    text, html = "rich words 豊か", "<b>rich</b> words 豊か"
    owner = start_owner(desktop, args, text, html)
    program, wid = launch(desktop, args)
    sink.activate()
    seen = wait_shown_text(desktop, program.pid, text)
    checks.equal("the rich copy's text is shown", seen, text)
    for when in ("after start-up and a few polls", "after a second departure"):
        if when == "after a second departure":
            desktop.activate(wid)
            time.sleep(0.4)
            sink.activate()
        time.sleep(POLLS)
        checks.check(f"{when}: the owner still runs (it exits once it loses the clipboard)",
                     owner.poll() is None, f"exit code {owner.poll()}")
        targets = clip.targets()
        checks.check(f"{when}: the clipboard still offers text/html", "text/html" in targets,
                     f"targets {targets}")
        checks.equal(f"{when}: its HTML", clip.raw("text/html"), html.encode())
        checks.equal(f"{when}: its text", clip.raw(), text.encode())
    checks.equal("the program ends with 0", program.close(wid), 0)


def test_always_on_top(checks, desktop, args, sink):
    program, wid = launch(desktop, args, {1: "0"})
    sink.activate()
    checks.check("not above the others at first", ABOVE not in desktop.net_wm_state(wid),
                 str(desktop.net_wm_state(wid)))
    for turn, above in (("on", True), ("off", False)):
        desktop.press_menu(program.pid, ON_TOP)
        state = settle(lambda: desktop.net_wm_state(wid), lambda s: (ABOVE in s) == above)
        checks.equal(f"turned {turn}: {ABOVE} on the same window", ABOVE in state, above)
        checks.check(f"turned {turn}: the window stays viewable",
                     desktop.client_geometry(wid).viewable, "not viewable")
        windows = desktop.visible_windows(program.pid)
        checks.equal(f"turned {turn}: the program's only viewable window", windows, [wid])
        marked = "常に手前に表示" in checked_items(desktop, program.pid, "設定")
        checks.equal(f"turned {turn}: the menu item's check mark", marked, above)
        # Activating another window that overlaps it: who is on top now?
        desktop.move_window(sink.wid, *desktop.frame_geometry(wid).top_left)
        sink.activate()
        time.sleep(0.3)
        order = stacking(desktop)
        frame_of = {w: i for i, w in enumerate(order)}
        if wid in frame_of and sink.wid in frame_of:
            checks.equal(f"turned {turn}: stacked above the active window",
                         frame_of[wid] > frame_of[sink.wid], above)
        else:
            checks.check(f"turned {turn}: both windows in the stacking list", False, str(order))
    desktop.move_window(sink.wid, 900, 700)
    checks.equal("the program ends with 0", program.close(wid), 0)


def test_slot_edit_then_newer_copy(checks, desktop, args, sink, clip):
    """A text, then a picture; in the history the picture is restored and a
    character typed into the text slot that has the focus; the user leaves
    and copies newer text elsewhere. The newer text wins: it reaches the
    view and the history, and the edit stays in the history."""
    program, wid = launch(desktop, args)
    sink.activate()
    clip.copy_text("alpha")
    wait_shown_text(desktop, program.pid, "alpha")
    clip.copy_picture(Picture.filled(40, 30, lambda x, y: (200, 30, 30)))
    wait_caption(desktop, wid, "X=40Y=30")
    desktop.press_menu(program.pid, [HISTORY_CAPTION])
    history = program.wait_window(HISTORY_CAPTION)
    client = settle(lambda: desktop.client_geometry(history), lambda r: r.viewable)
    click_at(desktop, client.x + 8 + 50, client.y + 8 + 50)  # the newest thumbnail
    desktop.key("ctrl+End", "Z")
    sink.activate()
    clip.copy_text("newer")
    time.sleep(2.0)
    checks.equal("the clipboard keeps the newer text", clip.text(), "newer")
    checks.equal("the view shows it", shown_text(desktop, program.pid), "newer")
    slots = [box["text"] for box in text_boxes(desktop, program.pid)
             if box["window"] == HISTORY_CAPTION]
    checks.equal("the history holds it and, below it, the edit", slots[:2], ["newer", "alphaZ"])
    checks.equal("the program ends with 0", program.close(wid), 0)


def main(checks, args):
    with Desktop() as desktop:
        sink = FocusSink(desktop)
        clip = Clipboard(desktop)
        for edit in EDITS:
            if checks.wanted(edit.name):
                with checks.case(edit.name):
                    test_edit(checks, desktop, args, sink, clip, edit)
        if checks.wanted("rich copy"):
            with checks.case("rich copy"):
                test_rich_copy(checks, desktop, args, sink, clip)
        if checks.wanted("always on top"):
            with checks.case("always on top"):
                test_always_on_top(checks, desktop, args, sink)
        if checks.wanted("slot edit, then a newer copy"):
            with checks.case("slot edit, then a newer copy"):
                test_slot_edit_then_newer_copy(checks, desktop, args, sink, clip)


if __name__ == "__main__":
    run_script(__doc__, main)
