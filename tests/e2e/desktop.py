"""A private headless desktop for driving the real pomorina binary.

One Desktop is an Xvfb server (display number chosen by the server itself
through -displayfd), the openbox window manager and a D-Bus session bus (the
accessibility tree travels on it, and without one Qt's D-Bus client would
autolaunch a stray bus of its own). Programs started on it run from a
fresh folder of their own, holding a copy of the binary and the settings file
the test gives. Every wait is bounded; when one runs out, HarnessError says
what was last seen. Everything started here is ended when the Desktop closes,
also after a failure, and the child processes get SIGTERM if this script dies.

Standard library only; the X tools are called as programs: xdotool, xwininfo,
xprop, wmctrl and ImageMagick's import.
"""

from __future__ import annotations

import ctypes
import dataclasses
import json
import os
import re
import select
import shutil
import signal
import subprocess
import sys
import tempfile
import time
from pathlib import Path

SETTINGS_NAME = "設定.ini"
HERE = Path(__file__).resolve().parent
SYSTEM_PYTHON = "/usr/bin/python3"  # the one that has Debian's pyatspi

# Bounds for the waits, in seconds.
SERVER_TIMEOUT = 10.0
WINDOW_TIMEOUT = 15.0
EXIT_TIMEOUT = 10.0
TOOL_TIMEOUT = 10.0


class HarnessError(Exception):
    """The desktop did not do what the harness waited for."""


# A valid settings file: not topmost, preview 192 px, 500 ms poll, position
# not remembered, 640*480, white, no auto-hide, frame at (200, 100) px.
DEFAULT_LINES = ["0", "3", "1", "0", "0", "0", "0", "3000", "1500"]


def settings_lines(changes: dict[int, str] | None = None, base: list[str] = DEFAULT_LINES) -> list[str]:
    """`base` with some lines replaced; keys are line numbers from 1."""
    lines = list(base)
    for number, text in (changes or {}).items():
        lines[number - 1] = text
    return lines


def settings_bytes(lines: list[str], *, line_end: str = "\r\n") -> bytes:
    """The settings file made of `lines`, each one ended by `line_end`."""
    return "".join(line + line_end for line in lines).encode("utf-8")


@dataclasses.dataclass(frozen=True)
class Rect:
    x: int
    y: int
    width: int
    height: int
    viewable: bool = True

    @property
    def top_left(self) -> tuple[int, int]:
        return (self.x, self.y)


def _die_with_parent() -> None:
    """In a child before exec: get SIGTERM when the harness process dies."""
    try:
        libc = ctypes.CDLL("libc.so.6", use_errno=True)
        PR_SET_PDEATHSIG = 1
        libc.prctl(PR_SET_PDEATHSIG, signal.SIGTERM)
    except OSError:
        pass


def _tail(path: Path, limit: int = 2000) -> str:
    try:
        data = path.read_bytes()
    except OSError:
        return "(no output file)"
    text = data[-limit:].decode("utf-8", "replace")
    return text if text.strip() else "(empty)"


def wait_until(what: str, probe, timeout: float, interval: float = 0.05):
    """Calls `probe` until it returns something true and returns that.

    `probe` returns the value or None/False; on time-out the last value it
    returned (or the exception it raised) is named in the error.
    """
    deadline = time.monotonic() + timeout
    last: object = None
    while True:
        try:
            value = probe()
        except HarnessError as error:
            value, last = None, error
        else:
            if value:
                return value
            last = value
        if time.monotonic() >= deadline:
            raise HarnessError(f"timed out after {timeout:g} s waiting for {what}; last seen: {last!r}")
        time.sleep(interval)


def settle(probe, accept, timeout: float = 3.0, interval: float = 0.05):
    """Calls `probe` until `accept(value)` holds and returns that value, or
    the last value seen once `timeout` runs out (windows may still be moving
    or resizing just after they appear). For checks: it never raises for a
    value that is not accepted."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if accept(value) or time.monotonic() >= deadline:
            return value
        time.sleep(interval)


class Desktop:
    """Xvfb + openbox + a session bus."""

    def __init__(self, width: int = 1280, height: int = 1024):
        self.width = width
        self.height = height
        self.display: str | None = None
        self.bus_address: str | None = None
        self.root = Path(tempfile.mkdtemp(prefix="pomorina-e2e-"))
        self.runtime_dir = self.root / "runtime"
        self.runtime_dir.mkdir(mode=0o700)
        self._processes: list[tuple[str, subprocess.Popen]] = []
        self._programs: list[Program] = []
        self._logs: dict[str, Path] = {}
        self._closed = False

    # Life cycle ---------------------------------------------------------------

    def __enter__(self) -> "Desktop":
        try:
            self.start()
        except BaseException:
            self.close()
            raise
        return self

    def __exit__(self, *exc) -> None:
        self.close()

    def start(self) -> None:
        self._install_signal_handlers()
        self._start_xvfb()
        self._start_window_manager()
        self._start_session_bus()

    def close(self) -> None:
        """Ends every program and server started here, newest first."""
        if self._closed:
            return
        self._closed = True
        for program in reversed(self._programs):
            program.kill()
        for name, proc in reversed(self._processes):
            _stop(proc)
        if os.environ.get("POMORINA_E2E_KEEP"):
            print(f"(kept {self.root})", file=sys.stderr)
        else:
            shutil.rmtree(self.root, ignore_errors=True)

    def _install_signal_handlers(self) -> None:
        # SIGTERM (a CTest time-out, a CI cancel) unwinds like an exception so
        # that the finally blocks end the processes.
        def on_term(signum, frame):
            raise SystemExit(128 + signum)

        signal.signal(signal.SIGTERM, on_term)
        signal.signal(signal.SIGHUP, on_term)

    def _spawn(self, name: str, args: list[str], *, env: dict | None = None, pass_fds=(),
               stdout=None, cwd: Path | None = None) -> subprocess.Popen:
        log = self.root / f"{name}.log"
        self._logs[name] = log
        with open(log, "ab") as sink:
            proc = subprocess.Popen(args, env=env or self.env(), pass_fds=pass_fds,
                                    stdin=subprocess.DEVNULL,
                                    stdout=stdout if stdout is not None else sink,
                                    stderr=sink, cwd=cwd, preexec_fn=_die_with_parent)
        self._processes.append((name, proc))
        return proc

    def _start_xvfb(self) -> None:
        read_end, write_end = os.pipe()
        try:
            proc = self._spawn("xvfb", ["Xvfb", "-displayfd", str(write_end), "-screen", "0",
                                        f"{self.width}x{self.height}x24", "-nolisten", "tcp",
                                        "-noreset"],
                               env=_base_env(), pass_fds=(write_end,))
        finally:
            os.close(write_end)
        received = b""
        deadline = time.monotonic() + SERVER_TIMEOUT
        try:
            while b"\n" not in received:
                left = deadline - time.monotonic()
                if left <= 0 or proc.poll() is not None:
                    raise HarnessError(f"Xvfb gave no display number (exit code {proc.poll()}); "
                                       f"its output: {_tail(self._logs['xvfb'])}")
                ready, _, _ = select.select([read_end], [], [], left)
                if ready:
                    chunk = os.read(read_end, 64)
                    if not chunk:
                        continue
                    received += chunk
        finally:
            os.close(read_end)
        self.display = ":" + received.decode().strip()

    def _start_window_manager(self) -> None:
        config = self.root / "config"
        config.mkdir()
        self._spawn("openbox", ["openbox", "--sm-disable"],
                    env=self.env(XDG_CONFIG_HOME=str(config), XDG_CACHE_HOME=str(config)))
        # wmctrl -m succeeds once a manager has announced itself on the root.
        def probe():
            self._check_alive("openbox")
            return self.run(["wmctrl", "-m"], check=False).returncode == 0

        wait_until("openbox to manage windows", probe, SERVER_TIMEOUT)

    def _start_session_bus(self) -> None:
        proc = self._spawn("dbus", ["dbus-daemon", "--session", "--nofork", "--print-address=1"],
                           stdout=subprocess.PIPE)
        ready, _, _ = select.select([proc.stdout], [], [], SERVER_TIMEOUT)
        line = proc.stdout.readline().decode().strip() if ready else ""
        if not line:
            raise HarnessError(f"the session bus gave no address; its output: {_tail(self._logs['dbus'])}")
        self.bus_address = line

    def _check_alive(self, name: str) -> None:
        for proc_name, proc in self._processes:
            if proc_name == name and proc.poll() is not None:
                raise HarnessError(f"{name} exited with {proc.returncode}: {_tail(self._logs[name])}")

    # Running tools ---------------------------------------------------------------

    def env(self, **extra: str) -> dict[str, str]:
        env = _base_env()
        env["XDG_RUNTIME_DIR"] = str(self.runtime_dir)
        if self.display:
            env["DISPLAY"] = self.display
        if self.bus_address:
            env["DBUS_SESSION_BUS_ADDRESS"] = self.bus_address
        env.update(extra)
        return env

    def run(self, args: list[str], *, check: bool = True, timeout: float = TOOL_TIMEOUT,
            input: bytes | None = None) -> subprocess.CompletedProcess:
        """Runs an X tool on this desktop and waits for it (bounded)."""
        try:
            done = subprocess.run(args, env=self.env(), input=input,
                                  stdin=None if input is not None else subprocess.DEVNULL,
                                  capture_output=True, timeout=timeout)
        except subprocess.TimeoutExpired as error:
            raise HarnessError(f"{' '.join(args)} did not finish within {timeout:g} s") from error
        if check and done.returncode != 0:
            raise HarnessError(f"{' '.join(args)} failed with {done.returncode}: "
                               f"{done.stderr.decode('utf-8', 'replace').strip()}")
        return done

    def _text(self, args: list[str], **kwargs) -> str:
        return self.run(args, **kwargs).stdout.decode("utf-8", "replace")

    # Programs ------------------------------------------------------------------

    def launch(self, binary: str | Path, settings: bytes | None, **kwargs) -> "Program":
        """Starts a copy of `binary` in a fresh folder with `settings` beside it
        (no settings file at all when None)."""
        program = Program(self, Path(binary), settings, **kwargs)
        self._programs.append(program)
        program.start()
        return program

    # Windows ---------------------------------------------------------------------

    def visible_windows(self, pid: int | None = None) -> list[int]:
        """Viewable top-level client windows, of one process when `pid` is given."""
        args = ["xdotool", "search", "--onlyvisible"]
        args += ["--pid", str(pid)] if pid is not None else ["--name", ""]
        done = self.run(args, check=False)
        return [int(word) for word in done.stdout.split()]

    def window_name(self, wid: int) -> str:
        return self._text(["xdotool", "getwindowname", str(wid)]).rstrip("\n")

    def _xwininfo(self, wid: int) -> dict[str, str]:
        text = self._text(["xwininfo", "-id", str(wid)])
        fields = {}
        for line in text.splitlines():
            key, sep, value = line.strip().partition(":")
            if sep:
                fields[key] = value.strip()
        return fields

    def client_geometry(self, wid: int) -> Rect:
        """The client area as the program sees it, in root coordinates."""
        info = self._xwininfo(wid)
        return Rect(int(info["Absolute upper-left X"]), int(info["Absolute upper-left Y"]),
                    int(info["Width"]), int(info["Height"]), info["Map State"] == "IsViewable")

    def frame_window(self, wid: int) -> int:
        """The window manager's frame around `wid`: its ancestor just below the
        root (the window itself when it is not reparented)."""
        current = wid
        for _ in range(16):
            text = self._text(["xwininfo", "-tree", "-id", str(current)])
            root = re.search(r"Root window id: (0x[0-9a-f]+)", text)
            parent = re.search(r"Parent window id: (0x[0-9a-f]+)", text)
            if not root or not parent:
                raise HarnessError(f"xwininfo -tree gave no parent for {current:#x}: {text!r}")
            if parent.group(1) == root.group(1):
                return current
            current = int(parent.group(1), 16)
        raise HarnessError(f"no frame found above {wid:#x}")

    def frame_geometry(self, wid: int) -> Rect:
        """The outer rectangle of the window with its frame (title bar, borders).

        `xwininfo -frame` only applies to a window picked with the mouse, so the
        frame is found by walking up the window tree.
        """
        return self.client_geometry(self.frame_window(wid))

    def net_wm_state(self, wid: int) -> set[str]:
        """The atoms of _NET_WM_STATE, e.g. {"_NET_WM_STATE_ABOVE"}."""
        text = self._text(["xprop", "-id", str(wid), "_NET_WM_STATE"])
        _, sep, atoms = text.partition("=")
        return {atom.strip() for atom in atoms.split(",") if atom.strip()} if sep else set()

    def close_window(self, wid: int) -> None:
        """Asks the program to close the window, as the window manager's close
        button does (WM_DELETE_WINDOW through _NET_CLOSE_WINDOW)."""
        self.run(["wmctrl", "-i", "-c", hex(wid)])

    def move_window(self, wid: int, x: int, y: int) -> None:
        self.run(["xdotool", "windowmove", "--sync", str(wid), str(x), str(y)])

    def activate(self, wid: int) -> None:
        self.run(["xdotool", "windowactivate", "--sync", str(wid)])

    def key(self, *keys: str) -> None:
        """Types keys into the focused window, e.g. key("Return")."""
        self.run(["xdotool", "key", "--clearmodifiers", *keys])

    def screenshot(self, path: str | Path, crop: Rect | None = None, margin: int = 0) -> Path:
        """A PNG of the whole screen, or of `crop` grown by `margin` pixels."""
        path = Path(path)
        args = [_system_tool("import"), "-window", "root"]
        if crop is not None:
            x, y = max(crop.x - margin, 0), max(crop.y - margin, 0)
            args += ["-crop", f"{crop.width + 2 * margin}x{crop.height + 2 * margin}+{x}+{y}",
                     "+repage"]
        self.run(args + [str(path)], timeout=30)
        return path

    # Accessibility ---------------------------------------------------------------

    def accessible_tree(self, pid: int, timeout: float = WINDOW_TIMEOUT) -> dict:
        """The accessibility tree of the program with `pid`, as nested dicts
        {"role", "name", "states", "children"}; the program must have been
        launched with accessible=True."""
        return self._a11y(["tree", str(pid)], timeout)

    def press_menu(self, pid: int, path: list[str], timeout: float = WINDOW_TIMEOUT) -> None:
        """Presses the menu item reached by captions from the menu bar, e.g.
        ["ファイル", "終了"], as a screen reader does."""
        self._a11y(["press", str(pid), *path], timeout)

    def _a11y(self, args: list[str], timeout: float) -> dict:
        deadline = time.monotonic() + timeout
        while True:
            done = self.run([SYSTEM_PYTHON, str(HERE / "a11y.py"), *args], check=False,
                            timeout=max(deadline - time.monotonic(), 1.0) + 5)
            if done.returncode == 0:
                return json.loads(done.stdout or b"null")
            # The program registers on the bus a little after its window shows.
            if time.monotonic() >= deadline:
                raise HarnessError(f"a11y.py {' '.join(args)}: "
                                   f"{done.stderr.decode('utf-8', 'replace').strip()}")
            time.sleep(0.2)


class _Seen:
    """A false value that still shows what a probe saw."""

    def __init__(self, value):
        self.value = value

    def __bool__(self) -> bool:
        return False

    def __repr__(self) -> str:
        return repr(self.value)


class Program:
    """One run of the binary, in a folder of its own."""

    def __init__(self, desktop: Desktop, binary: Path, settings: bytes | None, *,
                 cwd_settings: bytes | None = None, accessible: bool = False,
                 env: dict[str, str] | None = None):
        if not binary.is_file():
            raise HarnessError(f"no program at {binary}")
        self.desktop = desktop
        base = Path(tempfile.mkdtemp(prefix="run-", dir=desktop.root))
        self.folder = base / "bin"
        self.cwd = base / "cwd"
        self.folder.mkdir()
        self.cwd.mkdir()
        self.executable = self.folder / "pomorina"
        shutil.copy2(binary, self.executable)
        self.settings_path = self.folder / SETTINGS_NAME
        if settings is not None:
            self.settings_path.write_bytes(settings)
        # A decoy in the working directory: the program must not read it.
        if cwd_settings is not None:
            (self.cwd / SETTINGS_NAME).write_bytes(cwd_settings)
        self.stdout_path = base / "stdout.txt"
        self.stderr_path = base / "stderr.txt"
        extra = {"QT_QPA_PLATFORM": "xcb"}
        if accessible:
            extra["QT_LINUX_ACCESSIBILITY_ALWAYS_ON"] = "1"
        extra.update(env or {})
        self._env = desktop.env(**extra)
        self.proc: subprocess.Popen | None = None
        self.started_at = 0.0

    def start(self) -> None:
        with open(self.stdout_path, "wb") as out, open(self.stderr_path, "wb") as err:
            self.started_at = time.monotonic()
            self.proc = subprocess.Popen([str(self.executable)], cwd=self.cwd, env=self._env,
                                         stdin=subprocess.DEVNULL, stdout=out, stderr=err,
                                         preexec_fn=_die_with_parent)

    @property
    def pid(self) -> int:
        return self.proc.pid

    @property
    def stderr(self) -> str:
        return self.stderr_path.read_bytes().decode("utf-8", "replace")

    def settings(self) -> bytes | None:
        """The settings file beside the executable now (None when there is none)."""
        try:
            return self.settings_path.read_bytes()
        except FileNotFoundError:
            return None

    def exit_code(self) -> int | None:
        return self.proc.poll()

    def describe(self) -> str:
        """What the program has shown so far, for failure messages."""
        code = self.proc.poll()
        state = "running" if code is None else f"exited with {code}"
        return f"pid {self.pid} {state}; stderr: {self.stderr.strip()[-1500:] or '(empty)'}"

    def wait_window(self, name: str | None = None, timeout: float = WINDOW_TIMEOUT) -> int:
        """The id of a viewable top-level window of this process (with that
        caption when `name` is given), once there is one."""

        def probe():
            if self.proc.poll() is not None:
                raise _ProgramEnded(self.describe())
            windows = self.desktop.visible_windows(self.pid)
            if name is None:
                return windows[0] if windows else _Seen([])
            named = {wid: self.desktop.window_name(wid) for wid in windows}
            for wid, caption in named.items():
                if caption == name:
                    return wid
            return _Seen({hex(wid): caption for wid, caption in named.items()})

        try:
            return wait_until(f"a window{f' named {name!r}' if name else ''} of pid {self.pid}",
                              probe, timeout)
        except _ProgramEnded as ended:
            raise HarnessError(f"the program ended before showing a window: {ended}") from None
        except HarnessError as error:
            raise HarnessError(f"{error}\n  program: {self.describe()}") from None

    def wait_exit(self, timeout: float = EXIT_TIMEOUT) -> int:
        """The exit code (negative: killed by that signal)."""
        try:
            return self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            raise HarnessError(f"the program did not exit within {timeout:g} s; "
                               f"{self.describe()}") from None

    def close(self, wid: int, timeout: float = EXIT_TIMEOUT) -> int:
        """Closes the window as the user does and returns the exit code."""
        self.desktop.close_window(wid)
        return self.wait_exit(timeout)

    def kill(self) -> None:
        if self.proc is not None:
            _stop(self.proc)


class _ProgramEnded(Exception):
    pass


def _stop(proc: subprocess.Popen, grace: float = 2.0) -> None:
    """Ends one process we started: SIGTERM, then SIGKILL after `grace` s."""
    if proc.poll() is None:
        try:
            proc.terminate()
            proc.wait(grace)
        except subprocess.TimeoutExpired:
            proc.kill()
            proc.wait(grace)
        except ProcessLookupError:
            pass
    if proc.stdout is not None:
        proc.stdout.close()


def _base_env() -> dict[str, str]:
    env = dict(os.environ)
    for name in ("WAYLAND_DISPLAY", "DISPLAY", "DBUS_SESSION_BUS_ADDRESS", "QT_QPA_PLATFORM",
                 "XAUTHORITY", "SESSION_MANAGER"):
        env.pop(name, None)
    env.setdefault("LC_ALL", "C.UTF-8")
    return env


def _system_tool(name: str) -> str:
    """A Debian tool by its system path, ahead of stand-ins earlier on PATH."""
    path = Path("/usr/bin") / name
    return str(path) if path.exists() else name
