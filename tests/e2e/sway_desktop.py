"""A private headless Wayland desktop for driving the real pomorina binary.

SwayDesktop is sway on its headless backend with Xwayland, in the spirit of
desktop.py's Desktop (whose session bus, accessibility calls, process
handling and X tools it inherits): programs run from a fresh folder of their
own with either Qt platform (`QT_QPA_PLATFORM=wayland`, or `xcb` through
Xwayland) or with none set, or through the session itself (`swaymsg exec`)
with nothing but its environment. WestonDesktop is weston's headless
backend, a compositor without the data-control protocol that clipboard
managers use.

What works here (Debian 12: sway 1.7, weston 10, Xwayland 22.1, wl-clipboard
2.1), and how this module uses it:

- sway refuses to run as root. As root the compositors run as the
  unprivileged user pomorina-sway (made once with `useradd -M -s
  /usr/sbin/nologin`), with XDG_RUNTIME_DIR and HOME a private folder of
  that user (0700); as anyone else they run as that user. The harness's own
  clients keep an XDG_RUNTIME_DIR of their own and reach the compositor
  through the absolute path of its socket in WAYLAND_DISPLAY.
- sway is started with WLR_BACKENDS=headless WLR_RENDERER=pixman
  WLR_LIBINPUT_NO_DEVICES=1: one output HEADLESS-1, no input devices;
  `swaymsg seat seat0 cursor ...` moves and presses the pointer, wtype types
  through a virtual keyboard. Without an input device the seat offers no
  pointer, and no client, Wayland or X11, ever gets a pointer event: the
  harness holds a virtual pointer (zwlr_virtual_pointer_v1, through this
  module's `virtual-pointer` command, which speaks the Wayland wire protocol
  itself) for as long as sway runs, and a keyboard (an idle wtype): when
  the seat lost its last keyboard, as each wtype ended, Qt's Wayland
  platform took its window for inactive although sway kept the focus on it,
  and pomorina took that for the user having left. The config floats
  pomorina's windows (Wayland app_id and X11 class "pomorina") and the
  focus takers, so their own sizes are kept; it turns focus_follows_mouse
  off, so that moving the pointer never moves the focus, and key repeat off
  (on a busy machine a late key release repeated keys typed through
  Xwayland). The IPC socket is the one sway makes in its folder;
  WAYLAND_DISPLAY, SWAYSOCK and DISPLAY are then read from sway's own
  environment (`swaymsg exec 'env > FILE'`).
- Xwayland starts at the first X client and lets in only the user it runs
  as; a root client is refused ("Authorization required"). As root the
  harness adds si:localuser:root to its access list (XAddHost, run as the
  compositor's user through this module's `x-access` command: Debian's
  xhost is not installed here).
- A root client got no answer from a D-Bus session bus of the compositor's
  user. Programs started by the harness use the harness's own bus (the
  accessibility calls work there); the session gets a bus of the
  compositor's user, so a program started through `swaymsg exec` cannot be
  read through the accessibility bus from here when the harness is root.
- weston headless (`weston --backend=headless-backend.so --use-pixman
  --debug --xwayland`) runs as that user too. It has no seat at all: no
  keyboard, no pointer, nothing can take the focus, and wl-copy fails there
  ("Missing a seat"). Nor can X11 programs copy: weston dies (SIGSEGV,
  taking Xwayland along) as soon as an X11 client takes the clipboard on
  its Xwayland (`xclip -i`), with or without pomorina running. Its
  Xwayland display is the one its log names ("xserver listening on display
  :N"). Windows are read from `weston-debug scene-graph` (allowed by
  --debug): a Wayland window by the PID of its client, a window through
  Xwayland by its caption only (weston reports its own PID for them).

Standard library only.
"""

from __future__ import annotations

import dataclasses
import itertools
import json
import os
import pwd
import re
import select
import shlex
import signal
import subprocess
import sys
import time
from pathlib import Path

from desktop import (HERE, SERVER_TIMEOUT, SYSTEM_PYTHON, TOOL_TIMEOUT, WINDOW_TIMEOUT, Desktop,
                     HarnessError, Program, Rect, _base_env, _die_with_parent, _Seen,
                     _tail, wait_until)

SESSION_USER = "pomorina-sway"
HISTORY_CAPTION = "履歴"
KEYBOARD_HOLD_MS = 4_000_000  # wtype sleeps this long; more would overflow its microseconds
FLOATING = ('app_id="^pomorina$"', 'class="^pomorina$"',
            'app_id="^org.freedesktop.weston.flower$"', 'class="^Xmessage$"')


def session_user() -> str | None:
    """The user the compositors run as: None for the harness's own user
    (not root), else pomorina-sway, created when missing."""
    if os.geteuid() != 0:
        return None
    try:
        pwd.getpwnam(SESSION_USER)
    except KeyError:
        subprocess.run(["useradd", "-M", "-s", "/usr/sbin/nologin", SESSION_USER], check=True,
                       capture_output=True, timeout=TOOL_TIMEOUT)
    return SESSION_USER


@dataclasses.dataclass(frozen=True)
class View:
    """A top-level window as the compositor lists it. `frame` is the whole
    window with the title bar and borders the compositor draws, `content`
    the program's surface (for a window through Xwayland, its X11 window)."""

    con_id: int
    pid: int | None
    name: str
    app_id: str | None
    window_class: str | None
    shell: str
    focused: bool
    floating: bool
    frame: Rect
    content: Rect


class _Compositor(Desktop):
    """What both compositors share: the user they run as, its folder, the
    clients' environment, Xwayland access and launching the program."""

    def __init__(self, width: int = 1280, height: int = 1024):
        super().__init__(width, height)
        self.root.chmod(0o711)  # the compositor's user reaches its folder and the programs
        self.user = session_user()
        self.session_dir = self.root / "session"
        self.session_dir.mkdir(mode=0o700)
        self._give(self.session_dir)
        self.wayland_display: str | None = None

    def start(self) -> None:
        self._install_signal_handlers()
        self._start_session_bus()
        self._start_compositor()
        self._open_xwayland()

    def env(self, **extra: str) -> dict[str, str]:
        env = super().env()
        if self.wayland_display:
            env["WAYLAND_DISPLAY"] = self.wayland_display
        env.update(extra)
        return env

    def _give(self, path: Path) -> None:
        """Hands `path` (and what is inside) to the compositor's user."""
        if self.user is None:
            return
        entry = pwd.getpwnam(self.user)
        for folder, dirs, files in os.walk(path):
            for name in [folder, *(os.path.join(folder, f) for f in dirs + files)]:
                os.chown(name, entry.pw_uid, entry.pw_gid)

    def _as_user(self, args: list[str], env: dict[str, str]) -> list[str]:
        """`args` run with exactly `env`, as the compositor's user."""
        command = ["env", "-i", *(f"{key}={value}" for key, value in env.items()), *args]
        return ["runuser", "-u", self.user, "--", *command] if self.user else command

    def _user_env(self, **extra: str) -> dict[str, str]:
        return {"PATH": "/usr/local/bin:/usr/bin:/bin", "HOME": str(self.session_dir),
                "XDG_RUNTIME_DIR": str(self.session_dir), "LC_ALL": "C.UTF-8", **extra}

    def _spawn_as_user(self, name: str, args: list[str], env: dict[str, str],
                       **kwargs) -> subprocess.Popen:
        return self._spawn(name, self._as_user(args, env), env=_base_env(), cwd=self.session_dir,
                           **kwargs)

    def _open_xwayland(self) -> None:
        """Starts Xwayland (it starts at the first X client) and, as root,
        lets root's X clients in."""
        args = [SYSTEM_PYTHON, str(HERE / "sway_desktop.py"), "x-access", self.display]
        if self.user:
            args.append("root")
        try:
            done = subprocess.run(self._as_user(args, self._user_env(DISPLAY=self.display)),
                                  capture_output=True, timeout=SERVER_TIMEOUT + 5,
                                  cwd=self.session_dir)
        except subprocess.TimeoutExpired:
            raise HarnessError(f"Xwayland on {self.display} did not answer") from None
        if done.returncode != 0:
            raise HarnessError(f"Xwayland on {self.display} did not let us in: "
                               f"{done.stderr.decode('utf-8', 'replace').strip()}")

    def _user_bus(self) -> str:
        """A session bus for the session: the harness's own when the
        compositor runs as the same user, else one of the compositor's user."""
        if self.user is None:
            return self.bus_address
        proc = self._spawn_as_user("session-bus", ["dbus-daemon", "--session", "--nofork",
                                                   "--print-address=1"], self._user_env(),
                                   stdout=subprocess.PIPE)
        ready, _, _ = select.select([proc.stdout], [], [], SERVER_TIMEOUT)
        line = proc.stdout.readline().decode().strip() if ready else ""
        if not line:
            raise HarnessError(f"the session's bus gave no address: "
                               f"{_tail(self._logs['session-bus'])}")
        return line

    # The program --------------------------------------------------------------------

    def launch(self, binary: str | Path, settings: bytes | None, *,
               platform: str | None = "wayland", **kwargs) -> "SwayProgram":
        """Starts a copy of `binary` in a fresh folder with `settings` beside
        it, with QT_QPA_PLATFORM=`platform` ("wayland" or "xcb"), or with
        none at all when `platform` is None."""
        program = SwayProgram(self, Path(binary), settings, platform=platform, **kwargs)
        self._programs.append(program)
        program.start()
        return program


class SwayDesktop(_Compositor):
    """sway headless + Xwayland + a session bus; see the module's docstring."""

    def __init__(self, width: int = 1280, height: int = 1024, session_type: str | None = "wayland"):
        super().__init__(width, height)
        # A display manager sets XDG_SESSION_TYPE; sway started from a
        # console leaves it as the login set it (None: not set at all).
        self.session_type = session_type
        self.ipc_socket: str | None = None
        self.pointer = (width // 2, height // 2)  # where sway puts it at start
        self._count = itertools.count()

    def _start_compositor(self) -> None:
        config = self.session_dir / "config"
        config.write_text("\n".join([
            "xwayland enable",
            f"output HEADLESS-1 resolution {self.width}x{self.height}",
            "focus_follows_mouse no",
            "input type:keyboard repeat_rate 0",
            *(f"for_window [{criteria}] floating enable" for criteria in FLOATING), ""]))
        self._give(config)
        extra = {"WLR_BACKENDS": "headless", "WLR_RENDERER": "pixman",
                 "WLR_LIBINPUT_NO_DEVICES": "1", "DBUS_SESSION_BUS_ADDRESS": self._user_bus()}
        if self.session_type:
            extra["XDG_SESSION_TYPE"] = self.session_type
        self._spawn_as_user("sway", ["sway", "-c", str(config)], self._user_env(**extra))

        def probe():
            self._check_alive("sway")
            for socket in self.session_dir.glob("sway-ipc.*.sock"):
                if self._swaymsg(["-s", str(socket), "-t", "get_version"], check=False):
                    return str(socket)
            return None

        self.ipc_socket = wait_until("sway's IPC socket", probe, SERVER_TIMEOUT)
        session = self.session_env()
        self.wayland_display = str(self.session_dir / session["WAYLAND_DISPLAY"])
        self.display = session["DISPLAY"]
        self._spawn("virtual-pointer", [SYSTEM_PYTHON, str(HERE / "sway_desktop.py"),
                                        "virtual-pointer", self.wayland_display])

        def holding():
            self._check_alive("virtual-pointer")
            return "ready" in self._logs["virtual-pointer"].read_text()

        wait_until("the virtual pointer", holding, SERVER_TIMEOUT)
        self._spawn("keyboard", ["wtype", "-s", str(KEYBOARD_HOLD_MS)])

        def keyboard():
            self._check_alive("keyboard")
            inputs = self._swaymsg(["-s", self.ipc_socket, "-r", "-t", "get_inputs"])
            return any(device["type"] == "keyboard" for device in inputs)

        wait_until("the keyboard", keyboard, SERVER_TIMEOUT)

    # swaymsg ------------------------------------------------------------------------

    def _swaymsg(self, args: list[str], check: bool = True):
        done = self.run(["swaymsg", *args], check=False)
        if done.returncode != 0:
            if check:
                raise HarnessError(f"swaymsg {' '.join(args)} failed with {done.returncode}: "
                                   f"{(done.stdout + done.stderr).decode('utf-8', 'replace')}")
            return None
        return json.loads(done.stdout or b"null")

    def command(self, text: str) -> None:
        """Runs sway commands, e.g. command("[pid=12] focus"); raises when one fails."""
        results = self._swaymsg(["-s", self.ipc_socket, "-r", "--", text])
        failed = [result for result in results if not result.get("success")]
        if failed:
            raise HarnessError(f"swaymsg {text!r}: {failed}")

    def tree(self) -> dict:
        return self._swaymsg(["-s", self.ipc_socket, "-r", "-t", "get_tree"])

    def session_env(self) -> dict[str, str]:
        """sway's own environment, which `exec` hands to what it starts."""
        path = self.session_dir / f"env-{next(self._count)}.txt"
        self.command(f"exec env > {path}.part && mv {path}.part {path}")
        wait_until(f"sway's environment in {path}", path.exists, TOOL_TIMEOUT)
        return dict(line.split("=", 1) for line in path.read_text().splitlines() if "=" in line)

    # Windows ------------------------------------------------------------------------

    def views(self, pid: int | None = None) -> list[View]:
        """The top-level windows, of one process when `pid` is given."""
        found = []

        def walk(node, floating):
            if node.get("pid") is not None and node["type"] in ("con", "floating_con"):
                outer, inner = node["rect"], node["window_rect"]
                # A floating window's title bar lies above its rect.
                title = node["deco_rect"]["height"] if floating else 0
                props = node.get("window_properties") or {}
                found.append(View(node["id"], node["pid"], node.get("name") or "",
                                  node.get("app_id"), props.get("class"), node.get("shell", ""),
                                  node.get("focused", False), floating,
                                  Rect(outer["x"], outer["y"] - title, outer["width"],
                                       outer["height"] + title, node.get("visible", True)),
                                  Rect(outer["x"] + inner["x"], outer["y"] + inner["y"],
                                       inner["width"], inner["height"])))
            for child in node.get("nodes", []):
                walk(child, floating)
            for child in node.get("floating_nodes", []):
                walk(child, True)

        walk(self.tree(), False)
        return [view for view in found if pid is None or view.pid == pid]

    def focused(self) -> View | None:
        return next((view for view in self.views() if view.focused), None)

    def focus(self, target: View | int) -> None:
        """Gives a window (a View, or the first window of a pid) the focus
        and waits until sway reports it."""
        if isinstance(target, View):
            criteria, match = f"con_id={target.con_id}", lambda v: v.con_id == target.con_id
        else:
            criteria, match = f"pid={target}", lambda v: v.pid == target
        self.command(f"[{criteria}] focus")
        wait_until(f"[{criteria}] to have the focus",
                   lambda: (now := self.focused()) is not None and match(now), WINDOW_TIMEOUT)

    def move_view(self, view: View, x: int, y: int) -> None:
        """Puts a floating window's outer top-left corner at (x, y)."""
        self.command(f"[con_id={view.con_id}] move absolute position {x} {y}")

    def close_window(self, view: View) -> None:
        """Asks the program to close the window, as its close button does."""
        self.command(f"[con_id={view.con_id}] kill")

    def cursor_to(self, x: int, y: int) -> None:
        """Puts the pointer at (x, y) at once (one jump, as a warp)."""
        self.command(f"seat seat0 cursor set {x} {y}")
        self.pointer = (x, y)

    def glide_to(self, x: int, y: int, steps: int = 10, pause: float = 0.02) -> None:
        """Moves the pointer to (x, y) in `steps` steps, as a hand does: a
        client sees it arrive by motion events, not only by a jump."""
        start_x, start_y = self.pointer
        for step in range(1, steps + 1):
            self.cursor_to(start_x + (x - start_x) * step // steps,
                           start_y + (y - start_y) * step // steps)
            time.sleep(pause)

    def press(self, button: int = 1) -> None:
        self.command(f"seat seat0 cursor press button{button}")

    def release(self, button: int = 1) -> None:
        self.command(f"seat seat0 cursor release button{button}")

    def click(self, x: int, y: int, button: int = 1) -> None:
        self.cursor_to(x, y)
        self.press(button)
        self.release(button)

    # Keyboard, clipboard, screen ----------------------------------------------------

    def type_text(self, text: str) -> None:
        """Types into the focused window through a virtual keyboard. wtype
        makes a keyboard with a keymap of its own each time; it waits 150 ms
        before the first key, which Xwayland otherwise lost now and then."""
        self.run(["wtype", "-s", "150", "-d", "20", "--", text], timeout=30)

    def key(self, *keys: str) -> None:
        """Presses keys by their xkb names, e.g. key("End")."""
        args = ["wtype", "-s", "150"]
        for name in keys:
            args += ["-k", name]
        self.run(args)

    def wl_copy(self, data: bytes, mime: str | None = None) -> subprocess.Popen:
        """A wl-copy that holds `data` (as `mime`, text when None) until
        another program takes the clipboard, or the desktop closes; returns
        once the clipboard offers it."""
        number = next(self._count)
        source = self.root / f"wl-copy-{number}"
        source.write_bytes(data)
        args = ["wl-copy", "--foreground"] + (["--type", mime] if mime else [])
        name = f"wl-copy-{number}"
        self._logs[name] = self.root / f"{name}.log"
        with open(self._logs[name], "ab") as sink, open(source, "rb") as stdin:
            proc = subprocess.Popen(args, env=self.env(), stdin=stdin, stdout=sink, stderr=sink,
                                    preexec_fn=_die_with_parent)
        self._processes.append((name, proc))
        wanted = mime or "text/plain"

        def probe():
            if proc.poll() is not None:
                raise HarnessError(f"wl-copy exited with {proc.returncode}: "
                                   f"{_tail(self._logs[name])}")
            return any(t.startswith(wanted) for t in self.wl_types())

        wait_until(f"wl-copy to offer {wanted}", probe, WINDOW_TIMEOUT)
        return proc

    def wl_paste(self, mime: str | None = None) -> bytes | None:
        """The clipboard in `mime` (text when None); None when nothing is offered."""
        done = self.run(["wl-paste", "--no-newline"] + (["--type", mime] if mime else []),
                        check=False)
        return done.stdout if done.returncode == 0 else None

    def wl_types(self) -> list[str]:
        done = self.run(["wl-paste", "--list-types"], check=False)
        return done.stdout.decode("utf-8", "replace").split() if done.returncode == 0 else []

    def screenshot(self, path: str | Path, crop: Rect | None = None, margin: int = 0) -> Path:
        """A PNG of the output, or of `crop` grown by `margin` pixels."""
        args = ["grim"]
        if crop is not None:
            x, y = max(crop.x - margin, 0), max(crop.y - margin, 0)
            args += ["-g", f"{x},{y} {crop.width + 2 * margin}x{crop.height + 2 * margin}"]
        self.run(args + [str(path)], timeout=30)
        return Path(path)

    # The session --------------------------------------------------------------------

    def launch_in_session(self, binary: str | Path, settings: bytes | None) -> "SessionProgram":
        """Starts a copy of `binary` through `swaymsg exec`, as the session's
        user, with nothing but sway's environment."""
        program = SessionProgram(self, Path(binary), settings)
        self._programs.append(program)
        program.start()
        return program


class FocusWindow:
    """A small floating window of another program to give the focus to:
    weston-flower (Wayland) or xmessage (X11 through Xwayland)."""

    _count = itertools.count()

    def __init__(self, desktop: SwayDesktop, kind: str = "wayland",
                 at: tuple[int, int] = (900, 700)):
        self.desktop = desktop
        name = f"focus-{kind}-{next(self._count)}"
        args = (["weston-flower"] if kind == "wayland"
                else ["xmessage", "-title", name, "another program"])
        self.proc = desktop._spawn(name, args)

        def probe():
            if self.proc.poll() is not None:
                raise HarnessError(f"{args[0]} exited with {self.proc.returncode}")
            views = desktop.views(self.proc.pid)
            return views[0] if views else None

        self.view = wait_until(f"the window of {args[0]}", probe, WINDOW_TIMEOUT)
        desktop.move_view(self.view, *at)
        self.view = wait_until(f"{args[0]} at {at}", lambda: next(
            (v for v in desktop.views(self.proc.pid) if v.frame.top_left == at), None),
            WINDOW_TIMEOUT)

    def activate(self) -> None:
        self.desktop.focus(self.view)


class SwayProgram(Program):
    """One run of the binary on a compositor; its windows are Views."""

    def __init__(self, desktop: _Compositor, binary: Path, settings: bytes | None, *,
                 platform: str | None = "wayland", env: dict[str, str] | None = None,
                 **kwargs):
        super().__init__(desktop, binary, settings,
                         env={"QT_QPA_PLATFORM": platform or "", **(env or {})}, **kwargs)
        if platform is None:
            del self._env["QT_QPA_PLATFORM"]
        self.platform = platform

    def views(self) -> list[View]:
        return self.desktop.views(self.pid)

    def wait_window(self, name: str | None = None, timeout: float = WINDOW_TIMEOUT) -> View:
        """A window of this process (with that caption when `name` is given),
        once the compositor lists it."""

        def probe():
            if self.exit_code() is not None:
                raise HarnessError(f"the program ended before showing a window: {self.describe()}")
            views = self.views()
            return next((v for v in views if name is None or v.name == name), None) or \
                _Seen([v.name for v in views])

        try:
            return wait_until(f"a window{f' named {name!r}' if name else ''} of pid {self.pid}",
                              probe, timeout)
        except HarnessError as error:
            raise HarnessError(f"{error}\n  program: {self.describe()}") from None

    def main_window(self, timeout: float = WINDOW_TIMEOUT) -> View:
        """The main window: the first that is not the history window (its
        caption follows the clipboard)."""
        def probe():
            if self.exit_code() is not None:
                raise HarnessError(f"the program ended: {self.describe()}")
            return next((v for v in self.views() if v.name != HISTORY_CAPTION), None)

        return wait_until(f"the main window of pid {self.pid}", probe, timeout)


class _Detached:
    """A process the session started (not a child of ours), with the part of
    Popen's interface that Program and _stop use. Its exit code comes from
    the shell that waits for it."""

    stdout = None

    def __init__(self, pid: int, exit_file: Path):
        self.pid = pid
        self.exit_file = exit_file
        self.returncode: int | None = None

    def poll(self) -> int | None:
        if self.returncode is None:
            try:
                code = int(self.exit_file.read_text())
            except (OSError, ValueError):
                if Path(f"/proc/{self.pid}").exists():
                    return None
                time.sleep(0.1)  # gone: its shell writes the code at once
                try:
                    code = int(self.exit_file.read_text())
                except (OSError, ValueError):
                    code = -signal.SIGKILL
            self.returncode = -(code - 128) if code > 128 else code
        return self.returncode

    def wait(self, timeout: float | None = None) -> int:
        deadline = time.monotonic() + (timeout if timeout is not None else 1e9)
        while self.poll() is None:
            if time.monotonic() >= deadline:
                raise subprocess.TimeoutExpired(str(self.pid), timeout)
            time.sleep(0.05)
        return self.returncode

    def terminate(self) -> None:
        os.kill(self.pid, signal.SIGTERM)

    def kill(self) -> None:
        os.kill(self.pid, signal.SIGKILL)


class SessionProgram(SwayProgram):
    """The binary started by sway itself (`swaymsg exec`), as the session's
    user and with its environment only; its folder belongs to that user."""

    def __init__(self, desktop: SwayDesktop, binary: Path, settings: bytes | None):
        super().__init__(desktop, binary, settings)
        self.base = self.folder.parent
        self.script = self.base / "start.sh"
        self.pid_file = self.base / "pid"
        self.exit_file = self.base / "exit"
        self.script.write_text(
            f"cd {shlex.quote(str(self.cwd))} || exit 1\n"
            f"{shlex.quote(str(self.executable))} >{shlex.quote(str(self.stdout_path))} "
            f"2>{shlex.quote(str(self.stderr_path))} &\n"
            f"echo $! > {shlex.quote(str(self.pid_file))}\n"
            f"wait $!\n"
            f"echo $? > {shlex.quote(str(self.exit_file))}.part\n"
            f"mv {shlex.quote(str(self.exit_file))}.part {shlex.quote(str(self.exit_file))}\n")
        desktop._give(self.base)

    def start(self) -> None:
        self.started_at = time.monotonic()
        self.desktop.command(f"exec /bin/sh {self.script}")
        pid = wait_until("the session to start the program", lambda: self.pid_file.exists()
                         and self.pid_file.read_text().strip(), TOOL_TIMEOUT)
        self.proc = _Detached(int(pid), self.exit_file)


class WestonDesktop(_Compositor):
    """weston headless with Xwayland: a compositor without data-control, and
    without any seat (see the module's docstring)."""

    SCENE_VIEW = re.compile(r"View \d+ \(role (?P<role>[^,]*), PID (?P<pid>\d+), surface ID "
                            r"(?P<id>\d+), top-level window '(?P<name>.*?)'(?: of (?P<app>\S+))?,")
    POSITION = re.compile(r"position: \((-?\d+), (-?\d+)\) -> \((-?\d+), (-?\d+)\)")

    def _start_compositor(self) -> None:
        log = self.session_dir / "weston.log"
        self._spawn_as_user("weston", ["weston", "--backend=headless-backend.so", "--use-pixman",
                                       "--debug", "--xwayland", "--no-config",
                                       f"--width={self.width}", f"--height={self.height}",
                                       f"--log={log}"],
                            self._user_env(DBUS_SESSION_BUS_ADDRESS=self._user_bus()))

        def probe():
            self._check_alive("weston")
            text = log.read_text(errors="replace") if log.exists() else ""
            found = re.search(r"xserver listening on display (:\d+)", text)
            sockets = [p for p in self.session_dir.glob("wayland-*") if p.is_socket()]
            return (found.group(1), str(sockets[0])) if found and len(sockets) == 1 else None

        self.display, self.wayland_display = wait_until("weston's sockets", probe, SERVER_TIMEOUT)

    def views(self, pid: int | None = None) -> list[View]:
        """The top-level windows in weston's scene graph; a window through
        Xwayland carries weston's PID there, so it is matched to `pid` by
        its X11 window's _NET_WM_PID and caption."""
        done = self.run(["weston-debug", "scene-graph"], check=False, timeout=TOOL_TIMEOUT)
        text = done.stdout.decode("utf-8", "replace")
        x11_names = {self.window_name(wid) for wid in self.visible_windows(pid)} if pid else set()
        found = []
        for match in self.SCENE_VIEW.finditer(text):
            place = self.POSITION.search(text, match.end())
            x0, y0, x1, y1 = (int(v) for v in place.groups())
            rect = Rect(x0, y0, x1 - x0, y1 - y0)
            shell = "xdg_shell" if match["role"] == "xdg_toplevel" else "xwayland"
            owner = int(match["pid"]) if shell == "xdg_shell" else None
            if pid is None or owner == pid or (owner is None and match["name"] in x11_names):
                found.append(View(int(match["id"]), owner or pid, match["name"], match["app"],
                                  None, shell, False, True, rect, rect))
        return found

    def close_window(self, view: View) -> None:
        raise HarnessError("weston has no command to close a window; end the program instead")


def _x_access(argv: list[str]) -> int:
    """sway_desktop.py x-access DISPLAY [USER]: opens DISPLAY (which starts
    Xwayland) and, with USER, adds si:localuser:USER to its access list. Run
    as the user the X server lets in."""
    import ctypes

    class ServerInterpreted(ctypes.Structure):
        _fields_ = [("typelength", ctypes.c_int), ("valuelength", ctypes.c_int),
                    ("type", ctypes.c_char_p), ("value", ctypes.c_char_p)]

    class HostAddress(ctypes.Structure):
        _fields_ = [("family", ctypes.c_int), ("length", ctypes.c_int),
                    ("address", ctypes.c_void_p)]

    x = ctypes.CDLL("libX11.so.6")
    x.XOpenDisplay.restype = ctypes.c_void_p
    x.XOpenDisplay.argtypes = [ctypes.c_char_p]
    x.XAddHost.argtypes = [ctypes.c_void_p, ctypes.POINTER(HostAddress)]
    x.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
    x.XCloseDisplay.argtypes = [ctypes.c_void_p]
    deadline = time.monotonic() + SERVER_TIMEOUT
    while not (dpy := x.XOpenDisplay(argv[2].encode())):
        if time.monotonic() >= deadline:
            print(f"cannot open display {argv[2]}", file=sys.stderr)
            return 1
        time.sleep(0.1)
    if len(argv) > 3:
        FAMILY_SERVER_INTERPRETED = 5
        value = argv[3].encode()
        si = ServerInterpreted(len(b"localuser"), len(value), b"localuser", value)
        host = HostAddress(FAMILY_SERVER_INTERPRETED, ctypes.sizeof(si),
                           ctypes.cast(ctypes.pointer(si), ctypes.c_void_p))
        x.XAddHost(dpy, ctypes.byref(host))
        x.XSync(dpy, 0)
    x.XCloseDisplay(dpy)
    return 0


def _virtual_pointer(argv: list[str]) -> int:
    """sway_desktop.py virtual-pointer SOCKET: adds a virtual pointer to the
    compositor's default seat, prints "ready" and holds it until the
    compositor closes the connection or this process ends."""
    import socket
    import struct

    connection = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
    connection.connect(argv[2])
    received = b""

    def send(target: int, opcode: int, *words: int, text: str | None = None) -> None:
        body = b""
        if text is not None:  # wl_registry.bind: the name, then the interface
            data = text.encode() + b"\0"
            body = struct.pack("<I", words[0]) + struct.pack("<I", len(data)) + data \
                + b"\0" * (-len(data) % 4)
            words = words[1:]
        body += struct.pack(f"<{len(words)}I", *words)
        connection.sendall(struct.pack("<II", target, (8 + len(body)) << 16 | opcode) + body)

    def roundtrip(callback: int) -> list[tuple[int, int, bytes]]:
        """wl_display.sync, and the events received until it is done."""
        nonlocal received
        send(1, 0, callback)
        events = []
        while True:
            while len(received) >= 8:
                target, word = struct.unpack("<II", received[:8])
                if len(received) < word >> 16:
                    break
                body, received = received[8:word >> 16], received[word >> 16:]
                if target == 1 and word & 0xFFFF == 0:
                    raise SystemExit(f"the compositor reported an error: {body!r}")
                if target == callback:
                    return events
                events.append((target, word & 0xFFFF, body))
            chunk = connection.recv(4096)
            if not chunk:
                raise SystemExit("the compositor closed the connection")
            received += chunk

    REGISTRY, MANAGER, POINTER = 2, 4, 5
    INTERFACE = "zwlr_virtual_pointer_manager_v1"
    send(1, 1, REGISTRY)  # wl_display.get_registry
    names = {}
    for target, opcode, body in roundtrip(3):
        if target == REGISTRY and opcode == 0:  # wl_registry.global
            name, length = struct.unpack("<II", body[:8])
            names[body[8:8 + length - 1].decode()] = name
    if INTERFACE not in names:
        print(f"the compositor offers no {INTERFACE}", file=sys.stderr)
        return 1
    send(REGISTRY, 0, names[INTERFACE], 1, MANAGER, text=INTERFACE)  # bind, version 1
    send(MANAGER, 0, 0, POINTER)  # create_virtual_pointer on the default seat
    roundtrip(6)
    print("ready", flush=True)
    while connection.recv(4096):
        pass
    return 0


if __name__ == "__main__":
    commands = {"x-access": _x_access, "virtual-pointer": _virtual_pointer}
    if len(sys.argv) >= 3 and sys.argv[1] in commands:
        sys.exit(commands[sys.argv[1]](sys.argv))
    print(_x_access.__doc__, _virtual_pointer.__doc__, sep="\n", file=sys.stderr)
    sys.exit(2)
