"""Reads and presses a program's widgets through the accessibility bus.

Run by desktop.py with Debian's /usr/bin/python3 (for pyatspi), inside the
desktop's session bus, as a separate process so that a hanging call cannot
stall the test beyond its time-out:

    a11y.py tree PID              the tree as JSON on stdout
    a11y.py press PID CAPTION...  presses the menu item at that caption path

Exit code 0 on success; 1 with the reason on stderr otherwise (for instance
while the program has not registered yet).
"""

import json
import sys

import pyatspi

MAX_NODES = 5000


def find_application(pid: int):
    desktop = pyatspi.Registry.getDesktop(0)
    for index in range(desktop.childCount):
        app = desktop.getChildAtIndex(index)
        if app is not None and app.get_process_id() == pid:
            return app
    return None


def describe(node, budget: list[int]) -> dict:
    budget[0] -= 1
    states = node.getState().getStates()
    entry = {
        "role": node.getRoleName(),
        "name": node.name or "",
        "states": sorted(pyatspi.stateToString(state) for state in states),
        "children": [],
    }
    for index in range(node.childCount):
        if budget[0] <= 0:
            break
        child = node.getChildAtIndex(index)
        if child is not None:
            entry["children"].append(describe(child, budget))
    return entry


def menu_bar(app):
    found = pyatspi.findDescendant(app, lambda node: node.getRoleName() == "menu bar")
    if found is None:
        raise LookupError("no menu bar")
    return found


def press(app, path: list[str]) -> None:
    node = menu_bar(app)
    for depth, caption in enumerate(path):
        match = None
        for candidate in _menu_children(node):
            if candidate.name == caption:
                match = candidate
                break
        if match is None:
            seen = [child.name for child in _menu_children(node)]
            raise LookupError(f"no item {caption!r} under {path[:depth]}; there are {seen}")
        node = match
    action = node.queryAction()
    if action.nActions < 1:
        raise LookupError(f"{path} has no action")
    action.doAction(0)


def _menu_children(node):
    """The items under a menu bar or a menu entry (a menu entry's items may
    sit one level down, inside its popup)."""
    for index in range(node.childCount):
        child = node.getChildAtIndex(index)
        if child is None:
            continue
        if child.getRoleName() in ("menu", "popup menu") and not child.name:
            yield from _menu_children(child)
        else:
            yield child


def main(argv: list[str]) -> int:
    if len(argv) < 3 or argv[1] not in ("tree", "press"):
        print(__doc__, file=sys.stderr)
        return 2
    pid = int(argv[2])
    app = find_application(pid)
    if app is None:
        print(f"no application with pid {pid} on the accessibility bus", file=sys.stderr)
        return 1
    try:
        if argv[1] == "tree":
            json.dump(describe(app, [MAX_NODES]), sys.stdout, ensure_ascii=False)
        else:
            press(app, argv[3:])
            json.dump(True, sys.stdout)
    except LookupError as error:
        print(error, file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
