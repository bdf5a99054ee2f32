"""Prints the text boxes of a program, read through the accessibility bus.

Run by desktop_input.py with Debian's /usr/bin/python3 (for pyatspi):

    a11y_text.py PID    a JSON list of {"window", "text", "states"}, one entry
                        per text box, "window" being the caption of the
                        top-level window that holds it

Exit code 0 on success; 1 with the reason on stderr otherwise (for instance
while the program has not registered yet).
"""

import json
import sys

import pyatspi

from a11y import find_application

MAX_NODES = 5000


def text_boxes(app) -> list[dict]:
    found = []
    budget = [MAX_NODES]

    def walk(node, window: str) -> None:
        budget[0] -= 1
        if node.getRoleName() == "text":
            found.append({
                "window": window,
                "text": node.queryText().getText(0, -1),
                "states": sorted(pyatspi.stateToString(state)
                                 for state in node.getState().getStates()),
            })
            return
        for index in range(node.childCount):
            if budget[0] <= 0:
                return
            child = node.getChildAtIndex(index)
            if child is not None:
                walk(child, window)

    for index in range(app.childCount):
        window = app.getChildAtIndex(index)
        if window is not None:
            walk(window, window.name or "")
    return found


def main(argv: list[str]) -> int:
    if len(argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    app = find_application(int(argv[1]))
    if app is None:
        print(f"no application with pid {argv[1]} on the accessibility bus", file=sys.stderr)
        return 1
    json.dump(text_boxes(app), sys.stdout, ensure_ascii=False)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
