"""The release folder: `cmake --install` and the `cpack` archive both give one
flat folder with the program, the default 設定.ini, the icon and a desktop
entry, and nothing else. Moved anywhere (here into a path with blanks and
Japanese), the program starts from that desktop entry, as GLib-based desktops
start it, or through a symlink to the executable, and reads the settings
beside itself, not those of the working directory.

    PYTHONPATH=tests/e2e /usr/bin/python3 tests/install/test_install.py --build build
"""

from __future__ import annotations

import argparse
import dataclasses
import os
import platform
import re
import select
import shutil
import signal
import subprocess
import sys
import tarfile
import tempfile
import traceback
from pathlib import Path

from checks import Checks
from desktop import (SYSTEM_PYTHON, Desktop, HarnessError, settings_bytes, settings_lines, settle,
                     wait_until)

HERE = Path(__file__).resolve().parent
CAPTION = "Form1"
SETTINGS_NAME = "設定.ini"
TOOL_TIMEOUT = 120.0  # cpack first brings the build up to date

# Everything the folder holds: name -> whether it must be executable.
FOLDER = {
    "pomorina": True,
    SETTINGS_NAME: False,
    "pomorina.desktop": True,  # file managers start only executable entries
    "pomorina.svg": False,
    "pomorina.png": False,
}
# The files that are copied from data/ as they are.
FROM_DATA = [SETTINGS_NAME, "pomorina.desktop", "pomorina.svg", "pomorina.png"]

# Where a moved folder ends up, below the test's own temporary folder.
MOVED = Path("移動先 with blanks") / "ポモリナ 1.0"


@dataclasses.dataclass
class Launch:
    name: str
    source: str  # "install": the cmake --install folder; "archive": the unpacked cpack archive
    how: str  # "file": the entry in the folder; "id": the entry linked into applications/;
    #           "symlink": a symlink to the executable, started from elsewhere
    preview: int | None  # line 2 of the folder's 設定.ini; None: keep the shipped file


LAUNCHES = [
    Launch("archive, the folder's entry, shipped settings", "archive", "file", None),
    Launch("archive, the entry linked into applications/", "archive", "id", 5),
    Launch("installed folder, the folder's entry", "install", "file", 1),
    Launch("installed folder, a symlink to the executable", "install", "symlink", 4),
]


def parse_args() -> argparse.Namespace:
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--build", required=True, type=Path, help="the configured and built tree")
    parser.add_argument("--source", type=Path, default=HERE.parent.parent)
    parser.add_argument("--config", default="", help="the configuration, for multi-config trees")
    parser.add_argument("--cmake", default="cmake")
    parser.add_argument("--cpack", default="cpack")
    parser.add_argument("--only", default="", help="run only the cases whose name contains this")
    args = parser.parse_args()
    args.build, args.source = args.build.resolve(), args.source.resolve()
    return args


def run_tool(args: list[str], timeout: float = TOOL_TIMEOUT, **kwargs) -> str:
    try:
        done = subprocess.run(args, capture_output=True, timeout=timeout, **kwargs)
    except subprocess.TimeoutExpired:
        raise HarnessError(f"{' '.join(map(str, args))} did not finish within {timeout:g} s")
    output = (done.stdout + done.stderr).decode("utf-8", "replace")
    if done.returncode != 0:
        raise HarnessError(f"{' '.join(map(str, args))} failed with {done.returncode}:\n{output}")
    return output


def project_version(build: Path) -> str:
    cache = (build / "CMakeCache.txt").read_text(encoding="utf-8")
    found = re.search(r"^CMAKE_PROJECT_VERSION:\w+=(.+)$", cache, re.MULTILINE)
    if not found:
        raise HarnessError(f"no CMAKE_PROJECT_VERSION in {build / 'CMakeCache.txt'}")
    return found.group(1).strip()


def check_folder(checks: Checks, folder: Path, data: Path) -> None:
    """The folder holds exactly FOLDER, modes as listed, data/ files unchanged."""
    present = {path.name: path for path in folder.iterdir()}
    checks.equal("the files in the folder", sorted(present), sorted(FOLDER))
    for name, executable in FOLDER.items():
        if name in present:
            checks.equal(f"{name} is {'' if executable else 'not '}executable",
                         os.access(present[name], os.X_OK), executable)
    for name in FROM_DATA:
        if name in present:
            checks.check(f"{name} is byte for byte data/{name}",
                         present[name].read_bytes() == (data / name).read_bytes())


def install(checks: Checks, args, into: Path) -> Path:
    folder = into / "installed"
    command = [args.cmake, "--install", str(args.build), "--prefix", str(folder)]
    if args.config:
        command += ["--config", args.config]
    run_tool(command)
    check_folder(checks, folder, args.source / "data")
    validator = shutil.which("desktop-file-validate")
    checks.check("desktop-file-validate is there (desktop-file-utils)", validator is not None)
    if validator:
        done = subprocess.run([validator, str(folder / "pomorina.desktop")], capture_output=True,
                              timeout=30)
        report = (done.stdout + done.stderr).decode("utf-8", "replace").strip()
        checks.check("desktop-file-validate accepts pomorina.desktop, without hints",
                     done.returncode == 0 and not report, report)
    return folder


def pack(checks: Checks, args, into: Path) -> Path:
    """Runs cpack, checks the archive and returns the folder it unpacks to."""
    packages = into / "packages"
    command = [args.cpack, "--config", str(args.build / "CPackConfig.cmake"), "-B", str(packages)]
    if args.config:
        command += ["-C", args.config]
    run_tool(command, cwd=into)
    top = f"pomorina-{project_version(args.build)}-{platform.system()}"
    archives = sorted(path.name for path in packages.iterdir() if path.is_file())
    checks.equal("cpack makes one archive", archives, [f"{top}.tar.gz"])
    unpacked = into / "unpacked"
    with tarfile.open(packages / f"{top}.tar.gz") as archive:
        names = archive.getnames()
        outside = [name for name in names if name != top and not name.startswith(top + "/")]
        checks.equal("everything in the archive is below its top folder", outside, [])
        # Our own archive, unpacked with its modes ("tar" where this Python
        # knows extraction filters).
        archive.extractall(unpacked, **({"filter": "tar"} if hasattr(tarfile, "tar_filter") else {}))
    folder = unpacked / top
    check_folder(checks, folder, args.source / "data")
    return folder


class _Ended(Exception):
    pass


class Started:
    """One start of the moved program, by a desktop entry or a symlink."""

    def __init__(self, desktop: Desktop, command: list[str], cwd: Path, env: dict[str, str],
                 log: Path, pid_from_stdout: bool):
        self.desktop = desktop
        self.log = log
        with open(log, "wb") as sink:
            self.proc = subprocess.Popen(command, cwd=cwd, env=env, stdin=subprocess.DEVNULL,
                                         stdout=subprocess.PIPE if pid_from_stdout else sink,
                                         stderr=sink)
        self.pid = self._read_pid() if pid_from_stdout else self.proc.pid

    def _read_pid(self) -> int:
        ready, _, _ = select.select([self.proc.stdout], [], [], 15.0)
        line = self.proc.stdout.readline().decode().strip() if ready else ""
        if not line.isdigit():
            raise HarnessError(f"the launcher gave no process id (got {line!r}); {self.describe()}")
        return int(line)

    def describe(self) -> str:
        code = self.proc.poll()
        output = self.log.read_bytes().decode("utf-8", "replace").strip()[-1500:]
        return f"{'running' if code is None else f'exited with {code}'}; output: {output or '(empty)'}"

    def wait_window(self) -> int:
        def probe():
            if self.proc.poll() is not None:
                raise _Ended()
            for wid in self.desktop.visible_windows(self.pid):
                if self.desktop.window_name(wid) == CAPTION:
                    return wid
            return None

        try:
            return wait_until(f"the window {CAPTION!r} of pid {self.pid}", probe, 15.0)
        except _Ended:
            raise HarnessError(f"ended before showing a window: {self.describe()}") from None

    def close(self, wid: int) -> int:
        self.desktop.close_window(wid)
        try:
            return self.proc.wait(10.0)
        except subprocess.TimeoutExpired:
            raise HarnessError(f"did not exit within 10 s after closing; {self.describe()}")

    def stop(self) -> None:
        """Ends what is still running: the program, then its launcher. While the
        launcher lives, the program it waits for cannot have been reaped, so
        its process id still names it."""
        if self.proc.poll() is None:
            for pid in dict.fromkeys([self.pid, self.proc.pid]):
                try:
                    os.kill(pid, signal.SIGTERM)
                except ProcessLookupError:
                    pass
        try:
            self.proc.wait(5.0)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait(5.0)
        if self.proc.stdout is not None:
            self.proc.stdout.close()


def start_moved(checks: Checks, desktop: Desktop, case: Launch, source: Path, into: Path) -> None:
    work = into / re.sub(r"\W+", "-", case.name)
    copy = work / "copy"
    shutil.copytree(source, copy, symlinks=True)
    folder = work / MOVED
    folder.parent.mkdir(parents=True)
    copy.rename(folder)  # the move a user makes

    settings_file = folder / SETTINGS_NAME
    if case.preview is not None:
        settings_file.write_bytes(settings_bytes(settings_lines({2: str(case.preview)})))
    settings = settings_file.read_bytes()
    preview = int(settings.splitlines()[1])
    # A different 設定.ini where the program is started from: never to be read.
    cwd = work / "cwd"
    cwd.mkdir()
    decoy_preview = 2 if preview != 2 else 3
    (cwd / SETTINGS_NAME).write_bytes(settings_bytes(settings_lines({2: str(decoy_preview)})))

    env = desktop.env(QT_QPA_PLATFORM="xcb")
    launcher = [SYSTEM_PYTHON, str(HERE / "launch_entry.py")]
    if case.how == "file":
        command = launcher + ["--file", str(folder / "pomorina.desktop")]
    elif case.how == "id":
        applications = work / "data" / "applications"
        applications.mkdir(parents=True)
        (applications / "pomorina.desktop").symlink_to(folder / "pomorina.desktop")
        env["XDG_DATA_HOME"] = str(work / "data")
        env["XDG_DATA_DIRS"] = str(work / "no-system-data")
        command = launcher + ["--id", "pomorina.desktop"]
    else:
        link = work / "bin" / "pomorina"
        link.parent.mkdir()
        link.symlink_to(folder / "pomorina")
        command = [str(link)]

    started = Started(desktop, command, cwd, env, work / "output.txt",
                      pid_from_stdout=case.how != "symlink")
    try:
        wid = started.wait_window()
        checks.equal("the program that runs is the moved one",
                     os.readlink(f"/proc/{started.pid}/exe"), str(folder / "pomorina"))
        side = 64 * preview + 4
        client = settle(lambda: desktop.client_geometry(wid), lambda r: r.width == side)
        checks.equal(f"client width from the folder's 設定.ini (preview size {preview})",
                     client.width, side)
        checks.equal("closing the window ends the program with code 0", started.close(wid), 0)
        checks.check("the folder's 設定.ini is as it was", settings_file.read_bytes() == settings)
    finally:
        started.stop()


def main() -> int:
    args = parse_args()
    checks = Checks(args.only)
    into = Path(tempfile.mkdtemp(prefix="pomorina-install-"))
    try:
        sources = {}
        with checks.case("cmake --install"):
            sources["install"] = install(checks, args, into)
        with checks.case("cpack"):
            sources["archive"] = pack(checks, args, into)
        with Desktop() as desktop:
            for case in LAUNCHES:
                if not checks.wanted(case.name):
                    continue
                with checks.case(case.name):
                    if case.source not in sources:
                        raise HarnessError(f"no {case.source} folder to start from")
                    start_moved(checks, desktop, case, sources[case.source], into)
    except Exception:
        checks.check("desktop", False, traceback.format_exc())
    finally:
        if os.environ.get("POMORINA_E2E_KEEP"):
            print(f"(kept {into})", file=sys.stderr)
        else:
            shutil.rmtree(into, ignore_errors=True)
    return checks.finish()


if __name__ == "__main__":
    sys.exit(main())
