"""A clipboard owner that does not answer must not freeze the real program
for longer than one of Qt's 5 s clipboard time-outs per clipboard change.

The program runs with POMORINA_STALL_LOG (it writes its longest event-loop
stall and a count of 10 ms ticks to that file) while another window is in
front. x11_clipboard_owner then holds the clipboard, first answering nothing
for 30 s, then answering the list of formats (text) but never the text for
20 s. Throughout, the window manager's _NET_WM_PING is sent to the main
window again and again and its answer timed; the ticks must keep coming.
Afterwards a picture and a text copied with xclip are taken as usual, and the
text the program showed before is still shown until then.

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/e2e/test_unresponsive_owner.py \\
        --binary build/pomorina --tools build/tests
"""

from __future__ import annotations

import dataclasses
import time

from checks import run_script
from clipboard_tools import (TEXT_CAPTION, Clipboard, FocusTaker, Pinger, main_view_text,
                             picture_caption, png_picture, read_stall_log, wait_caption)
from desktop import Desktop, settings_bytes, settings_lines, settle

START_CAPTION = "Form1"
QT_TIMEOUT = 5.0  # Qt's xcb clipboard waits this long for an answer
STALL_LIMIT = 5.6  # one time-out plus what the poll itself may take
PING_TIMEOUT = 15.0
SLOW = 0.5  # a ping answered later than this counts as a stall
MIN_TICKS_PER_S = 50  # the stall watch ticks every 10 ms: about 100 a second when the loop runs
POLL_WAIT = 3.0


@dataclasses.dataclass(frozen=True)
class Phase:
    mode: str
    seconds: float
    changes: int  # clipboard changes in this phase that may cost one time-out


PHASES = [
    Phase("silent", 30, 1),
    Phase("targets-only", 20, 1),
]


def watch(pinger: Pinger, stall_log, owner, seconds: float):
    """Pings the window until the owner has ended; returns the ping
    latencies (None: no answer), the tick counts seen and the time taken."""
    latencies = []
    ticks = []
    started = time.monotonic()
    while owner.poll() is None and time.monotonic() - started < seconds + 10:
        latencies.append(pinger.ping(PING_TIMEOUT))
        state = read_stall_log(stall_log)
        if state:
            ticks.append((time.monotonic() - started, state[1]))
        time.sleep(0.2)
    return latencies, ticks, time.monotonic() - started


def main(checks, args):
    with Desktop() as desktop, checks.case("an owner that does not answer"), \
            Clipboard(desktop, args.tools) as clipboard:
        stall_log = desktop.root / "stall.log"
        settings = settings_bytes(settings_lines({2: "2", 3: "1", 7: "0"}))
        program = desktop.launch(args.binary, settings, accessible=True,
                                 env={"POMORINA_STALL_LOG": str(stall_log)})
        wid = program.wait_window(START_CAPTION)
        FocusTaker(desktop).activate()
        pinger = Pinger(desktop.display, wid)

        before = "応答のない所有者の前"
        clipboard.put_text(before)
        checks.equal("text before: caption", wait_caption(desktop, wid, TEXT_CAPTION, POLL_WAIT),
                     TEXT_CAPTION)
        checks.equal("text before: the text view", main_view_text(desktop, program.pid,
                                                                  TEXT_CAPTION), before)
        start_state = read_stall_log(stall_log)
        checks.check(f"the stall log is written (before the owners: {start_state})",
                     start_state is not None)
        print(f"      longest stall before the owners: {start_state[0] if start_state else '?'} ms")

        for phase in PHASES:
            owner = clipboard.hold(phase.mode, phase.seconds)
            latencies, ticks, took = watch(pinger, stall_log, owner, phase.seconds)
            label = f"{phase.mode} owner for {phase.seconds:g} s"
            checks.check(f"{label}: it held the clipboard to its end ({took:.1f} s)",
                         owner.poll() == 0 and took >= phase.seconds - 1)
            answered = [t for t in latencies if t is not None]
            slow = [t for t in answered if t > SLOW]
            longest = max(answered, default=0.0)
            print(f"      {label}: {len(latencies)} pings, longest answer {longest:.2f} s, "
                  f"slow answers (> {SLOW} s): {[round(t, 2) for t in slow]}")
            checks.check(f"{label}: every ping answered", len(answered) == len(latencies) > 0,
                         f"{len(latencies) - len(answered)} unanswered of {len(latencies)}")
            checks.check(f"{label}: longest wait for an answer {longest:.2f} s < {STALL_LIMIT} s",
                         longest < STALL_LIMIT)
            checks.check(f"{label}: time without answer {sum(slow):.2f} s, at most one "
                         f"time-out per change ({phase.changes})",
                         sum(slow) < STALL_LIMIT * phase.changes)
            if len(ticks) >= 2:
                rate = (ticks[-1][1] - ticks[0][1]) / max(ticks[-1][0] - ticks[0][0], 0.1)
                stalled = QT_TIMEOUT * phase.changes
                expected = MIN_TICKS_PER_S * max(ticks[-1][0] - ticks[0][0] - stalled, 0)
                print(f"      {label}: {ticks[-1][1] - ticks[0][1]} ticks in "
                      f"{ticks[-1][0] - ticks[0][0]:.1f} s ({rate:.0f}/s)")
                checks.check(f"{label}: the event loop kept ticking",
                             ticks[-1][1] - ticks[0][1] >= expected,
                             f"tick counts (s, ticks): {ticks[:3]} ... {ticks[-3:]}")
            else:
                checks.check(f"{label}: the stall log was readable", False, f"{ticks}")
            # A text that could not be read is nothing new: the view keeps its text.
            checks.equal(f"{label}: the text view afterwards",
                         main_view_text(desktop, program.pid, TEXT_CAPTION), before)

        end_state = read_stall_log(stall_log)
        time.sleep(2.0)
        later = read_stall_log(stall_log)
        if end_state and later:
            print(f"      longest stall measured with the owners: {later[0]} ms; "
                  f"ticks {later[1]}")
            checks.check(f"ticks kept coming after the owners ({end_state[1]} -> {later[1]})",
                         later[1] - end_state[1] >= MIN_TICKS_PER_S)
        else:
            checks.check("the stall log is readable at the end", False, f"{end_state}, {later}")

        # Normal owners are taken up again.
        clipboard.put_png(png_picture(200, 100, (0, 160, 0)))
        expected = picture_caption(200, 100)
        checks.equal("a picture afterwards: caption",
                     wait_caption(desktop, wid, expected, POLL_WAIT), expected)
        after = "応答のある所有者"
        clipboard.put_text(after)
        checks.equal("a text afterwards: caption",
                     wait_caption(desktop, wid, TEXT_CAPTION, POLL_WAIT), TEXT_CAPTION)
        checks.equal("a text afterwards: the text view",
                     settle(lambda: main_view_text(desktop, program.pid, TEXT_CAPTION),
                            lambda text: text == after, timeout=POLL_WAIT), after)
        final = read_stall_log(stall_log)
        if final:
            print(f"      longest stall over the whole run: {final[0]} ms; ticks {final[1]}")
            checks.check(f"longest stall over the whole run {final[0]} ms < "
                         f"{STALL_LIMIT * 1000:.0f} ms", final[0] < STALL_LIMIT * 1000)
        pinger.close()
        program.close(wid)


if __name__ == "__main__":
    run_script(__doc__, main)
