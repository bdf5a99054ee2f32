#!/usr/bin/python3
"""Takes docs/screenshot.png: the real pomorina window on a headless X server,
showing a picture that is on the clipboard, with the "ファイル" menu open.

    /usr/bin/python3 docs/screenshot.py --binary build/pomorina
"""

import argparse
import subprocess
import sys
import time
from pathlib import Path

HERE = Path(__file__).resolve().parent
sys.path.insert(0, str(HERE.parent / "tests" / "e2e"))

from desktop import Desktop, settings_bytes, settings_lines  # noqa: E402

# A 400 x 300 picture: a sunset-coloured gradient with a red sun.
PICTURE = ["-size", "400x300", "gradient:#ffd1dc-#87ceeb",
           "-fill", "#e4572e", "-draw", "circle 200,170 200,110",
           "-fill", "#2e4057", "-draw", "rectangle 0,230 400,300"]


def _convert() -> str:
    """ImageMagick's convert, ahead of any stand-in earlier on PATH."""
    return "/usr/bin/convert" if Path("/usr/bin/convert").exists() else "convert"


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--binary", type=Path, default=Path("build/pomorina"))
    parser.add_argument("--out", type=Path, default=HERE / "screenshot.png")
    args = parser.parse_args()

    with Desktop(640, 480) as desktop:
        png = subprocess.run([_convert(), *PICTURE, "png:-"], check=True,
                             capture_output=True).stdout
        owner = subprocess.Popen(["xclip", "-selection", "clipboard", "-t", "image/png", "-quiet"],
                                 stdin=subprocess.PIPE, stdout=subprocess.DEVNULL,
                                 stderr=subprocess.DEVNULL, env=desktop.env())
        owner.stdin.write(png)
        owner.stdin.close()
        try:
            program = desktop.launch(args.binary.resolve(),
                                     settings_bytes(settings_lines({2: "4", 8: "600", 9: "600"})))
            wid = program.wait_window()
            time.sleep(1.5)  # a few polls of the clipboard
            client = desktop.client_geometry(wid)
            # Open "ファイル", the first entry of the menu bar.
            desktop.run(["xdotool", "mousemove", str(client.x + 30), str(client.y + 10), "click", "1"])
            time.sleep(0.5)
            desktop.screenshot(args.out, desktop.frame_geometry(wid), margin=8)
            program.close(wid)
        finally:
            owner.terminate()
            owner.wait(5)
    print(args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
