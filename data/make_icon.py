#!/usr/bin/python3
"""Renders data/pomorina.png from data/pomorina.svg with ImageMagick's drawing
commands (Debian's ImageMagick reads no SVG without extra packages). Only the
rect and circle elements the icon uses are understood.

    /usr/bin/python3 data/make_icon.py [--size 256]
"""

import argparse
import subprocess
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

HERE = Path(__file__).resolve().parent
SVG_NS = "{http://www.w3.org/2000/svg}"


def _convert() -> str:
    """ImageMagick's convert, ahead of any stand-in earlier on PATH."""
    return "/usr/bin/convert" if Path("/usr/bin/convert").exists() else "convert"


def draw_arguments(svg: Path, size: int) -> list[str]:
    root = ET.parse(svg).getroot()
    _, _, width, height = (float(v) for v in root.get("viewBox").split())
    if width != height:
        raise SystemExit("the icon must be square")
    scale = size / width

    # ImageMagick puts pixel centres on whole numbers, SVG puts pixel edges
    # there: shift everything by half a pixel.
    def x(value: str) -> float:
        return float(value) * scale - 0.5

    args: list[str] = []
    for element in root:
        tag = element.tag.removeprefix(SVG_NS)
        if tag not in ("rect", "circle"):
            continue
        stroke = element.get("stroke", "none")
        stroke_width = float(element.get("stroke-width", "0")) * scale
        args += ["-fill", element.get("fill", "black"), "-stroke", stroke,
                 "-strokewidth", f"{stroke_width:g}"]
        if tag == "rect":
            left, top = x(element.get("x")), x(element.get("y"))
            right = left + float(element.get("width")) * scale
            bottom = top + float(element.get("height")) * scale
            corner = float(element.get("rx", "0")) * scale
            shape = (f"roundrectangle {left:g},{top:g} {right:g},{bottom:g} {corner:g},{corner:g}"
                     if corner else f"rectangle {left:g},{top:g} {right:g},{bottom:g}")
        else:
            cx, cy = x(element.get("cx")), x(element.get("cy"))
            r = float(element.get("r")) * scale
            shape = f"circle {cx:g},{cy:g} {cx + r:g},{cy:g}"
        args += ["-draw", shape]
    return args


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--svg", type=Path, default=HERE / "pomorina.svg")
    parser.add_argument("--out", type=Path, default=HERE / "pomorina.png")
    parser.add_argument("--size", type=int, default=256)
    args = parser.parse_args()
    command = [_convert(), "-size", f"{args.size}x{args.size}", "xc:none",
               *draw_arguments(args.svg, args.size),
               # No time stamps or other chunks that change from run to run.
               "-strip", "-define", "png:exclude-chunks=date,time", f"PNG32:{args.out}"]
    subprocess.run(command, check=True)
    print(args.out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
