#!/usr/bin/python3
"""Memory and CPU of pomorina taking six large pictures from the clipboard.

The real binary (poll interval 0.5 s) runs on the private desktop of the
end-to-end tests (Xvfb + openbox, tests/e2e/desktop.py). Six different
3840x2160 pictures, noisy except for a band of one colour across their
middle third (a different colour for each), are copied with xclip 0.6 s
apart. The script reports the program's resident memory (VmRSS, and the
peak VmHWM) idle after start-up and idle after the six pictures, and the CPU
time (user + system) it spent taking them in; then it opens the history
window "履歴" from the keyboard (no accessibility bridge that would add to
the memory) and reads its six thumbnails from a screenshot to tell whether
all six pictures reached the history, newest first.

    /usr/bin/python3 bench/capture.py --binary build/pomorina [--runs 3]

The pictures are made once (about 17 MB of PNG each) and kept in --pictures
(default: a folder in the system's temporary directory). The exit code is 0
when every run met the targets (RSS under 40 MiB idle and under 300 MiB
after the six, all six in the history), 1 otherwise.
"""

from __future__ import annotations

import argparse
import random
import sys
import tempfile
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "tests" / "e2e"))

from clipboard_tools import (FRAME, HISTORY_CAPTION, Clipboard, FocusTaker,  # noqa: E402
                             cpu_seconds, fitted, grab, picture_caption, png_from_rows, rss_kib,
                             wait_caption)
from desktop import Desktop, HarnessError, settings_bytes, settings_lines  # noqa: E402

WIDTH, HEIGHT = 3840, 2160
BAND = (HEIGHT // 3, 2 * HEIGHT // 3)  # rows of the solid band
BANDS = [(230, 30, 30), (30, 200, 30), (40, 40, 230), (230, 220, 20), (220, 30, 220),
         (20, 210, 220)]
SPACING = 0.6  # seconds between two copies
POLL_LINE = "1"  # 0.5 s
IDLE_SETTLE = 3.0  # after start-up, before the idle figures
CPU_QUIET = 1.5  # intake is over once the CPU time has not grown for this long
INTAKE_TIMEOUT = 60.0
RSS_IDLE_TARGET = 40 * 1024  # KiB
RSS_AFTER_TARGET = 300 * 1024
SLOT_LEFTS = [8, 112, 216, 320, 424, 528]
SLOT_TOP = 8
THUMB_AREA = 96
BAND_TOLERANCE = 16  # per channel, for the band's mean colour in a thumbnail


def picture_path(folder: Path, index: int) -> Path:
    return folder / f"capture-{WIDTH}x{HEIGHT}-{index}.png"


def make_pictures(folder: Path) -> list[Path]:
    """The six pictures, made once: seeded noise, and the band of colour i."""
    folder.mkdir(parents=True, exist_ok=True)
    paths = []
    for index, colour in enumerate(BANDS):
        path = picture_path(folder, index)
        if not path.exists():
            noise = random.Random(index)
            band = bytes(colour) * WIDTH

            def rows():
                for y in range(HEIGHT):
                    yield band if BAND[0] <= y < BAND[1] else noise.randbytes(WIDTH * 3)

            part = path.with_suffix(".part")
            part.write_bytes(png_from_rows(WIDTH, HEIGHT, rows()))
            part.rename(path)
        paths.append(path)
    return paths


def wait_cpu_quiet(pid: int, quiet: float, timeout: float) -> float:
    """Waits until the process's CPU time has not grown for `quiet` seconds;
    returns the moment it last grew."""
    deadline = time.monotonic() + timeout
    last_value = cpu_seconds(pid)
    last_change = time.monotonic()
    while time.monotonic() < deadline:
        time.sleep(0.1)
        value = cpu_seconds(pid)
        if value != last_value:
            last_value, last_change = value, time.monotonic()
        elif time.monotonic() - last_change >= quiet:
            return last_change
    raise HarnessError(f"the program was still busy after {timeout:g} s")


def peak_rss_kib(pid: int) -> int:
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith("VmHWM:"):
            return int(line.split()[1])
    return 0


def open_history(desktop: Desktop, program, wid: int) -> int:
    """Chooses "履歴" from the keyboard: Alt opens the menu bar's navigation,
    two steps right reach its third entry, Return chooses it."""
    desktop.activate(wid)
    desktop.key("alt")
    time.sleep(0.2)
    desktop.key("Right")
    desktop.key("Right")
    desktop.key("Return")
    return program.wait_window(HISTORY_CAPTION, timeout=10)


def read_thumbnails(shot) -> list[dict]:
    """For each slot: the band's mean colour, the band colour it is nearest
    to (None when no band colour is near), and how many colours the noisy
    part above the band shows."""
    left, top, drawn_w, drawn_h = fitted(WIDTH, HEIGHT, THUMB_AREA)
    scale = drawn_h / HEIGHT
    band_y0 = int(top + BAND[0] * scale) + 3
    band_y1 = int(top + BAND[1] * scale) - 2
    noise_y0, noise_y1 = int(top) + 2, int(top + BAND[0] * scale) - 2
    slots = []
    for slot_left in SLOT_LEFTS:
        x0 = slot_left + FRAME + int(left) + 3
        width = int(drawn_w) - 6
        mean = shot.mean(x0, SLOT_TOP + FRAME + band_y0, width, band_y1 - band_y0)
        nearest = None
        for index, colour in enumerate(BANDS):
            if all(abs(m - c) <= BAND_TOLERANCE for m, c in zip(mean, colour)):
                nearest = index
        noise = len(shot.colours(x0, SLOT_TOP + FRAME + noise_y0, width, noise_y1 - noise_y0))
        slots.append({"mean": tuple(round(m) for m in mean), "picture": nearest, "noise": noise})
    return slots


def one_run(desktop: Desktop, binary: Path, pictures: list[Path], number: int) -> bool:
    settings = settings_bytes(settings_lines({3: POLL_LINE}))
    program = desktop.launch(binary, settings)
    wid = program.wait_window("Form1")
    FocusTaker(desktop).activate()
    pid = program.pid
    with Clipboard(desktop) as clipboard:
        time.sleep(IDLE_SETTLE)
        rss_idle = rss_kib(pid)
        idle_cpu0, idle_t0 = cpu_seconds(pid), time.monotonic()
        time.sleep(2.0)
        idle_rate = (cpu_seconds(pid) - idle_cpu0) / (time.monotonic() - idle_t0)

        cpu_start, started = cpu_seconds(pid), time.monotonic()
        copied_at = []
        for index, path in enumerate(pictures):
            due = started + index * SPACING
            time.sleep(max(0.0, due - time.monotonic()))
            clipboard.put_file(path, "image/png")
            copied_at.append(time.monotonic() - started)
        caption = wait_caption(desktop, wid, picture_caption(WIDTH, HEIGHT), 10.0)
        busy_until = wait_cpu_quiet(pid, CPU_QUIET, INTAKE_TIMEOUT)
        cpu_used = cpu_seconds(pid) - cpu_start
        elapsed = busy_until - started
        cpu_intake = cpu_used - idle_rate * elapsed
        time.sleep(1.0)
        rss_after = rss_kib(pid)
        peak = peak_rss_kib(pid)

        history = open_history(desktop, program, wid)
        client = desktop.client_geometry(history)
        slots = read_thumbnails(grab(desktop, client))
        program.close(wid)

    expected = list(reversed(range(len(pictures))))
    found = [slot["picture"] for slot in slots]
    in_order = found == expected
    noisy = all(slot["noise"] > 100 for slot in slots)
    def verdict(ok: bool) -> str:
        return "met" if ok else "MISSED"

    print(f"run {number}:")
    print(f"  copies at {', '.join(f'{t:.2f}' for t in copied_at)} s; caption {caption!r}")
    print(f"  RSS idle after start-up: {rss_idle / 1024:.1f} MiB "
          f"(target < {RSS_IDLE_TARGET / 1024:.0f}): {verdict(rss_idle < RSS_IDLE_TARGET)}")
    print(f"  RSS idle after the six:  {rss_after / 1024:.1f} MiB "
          f"(target < {RSS_AFTER_TARGET / 1024:.0f}): {verdict(rss_after < RSS_AFTER_TARGET)}; "
          f"peak (VmHWM) {peak / 1024:.1f} MiB")
    print(f"  CPU for the six intakes: {cpu_intake:.2f} s "
          f"({cpu_intake / len(pictures) * 1000:.0f} ms a picture; {cpu_used:.2f} s in all, "
          f"less {idle_rate * 1000:.1f} ms/s idle over {elapsed:.2f} s); "
          f"busy until {elapsed:.2f} s after the first copy")
    print(f"  history slots 0-5 hold pictures {found} (expected {expected}): "
          f"{'all six, newest first' if in_order else 'MISSED'}; noise drawn: {noisy}")
    if not in_order or not noisy:
        print(f"  thumbnails: {slots}")
    return (rss_idle < RSS_IDLE_TARGET and rss_after < RSS_AFTER_TARGET and in_order and noisy)


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", type=Path, default=Path("build/pomorina"))
    parser.add_argument("--runs", type=int, default=1)
    parser.add_argument("--pictures", type=Path,
                        default=Path(tempfile.gettempdir()) / "pomorina-bench-capture")
    args = parser.parse_args()
    binary = args.binary.resolve()

    made = time.monotonic()
    pictures = make_pictures(args.pictures)
    print(f"pictures: {len(pictures)} in {args.pictures} "
          f"({sum(p.stat().st_size for p in pictures) / 2**20:.0f} MiB, "
          f"ready in {time.monotonic() - made:.1f} s)")
    results = []
    with Desktop() as desktop:
        for number in range(1, args.runs + 1):
            results.append(one_run(desktop, binary, pictures, number))
    print(f"{sum(results)} of {len(results)} runs met the targets")
    return 0 if all(results) else 1


if __name__ == "__main__":
    sys.exit(main())
