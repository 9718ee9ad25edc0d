"""Runs the real Discora.exe under Wine for the end-to-end tests.

One run tests one build, its architecture chosen by `select_arch` (the
pytest option --arch): x86, the 32-bit Discora.exe in a 32-bit prefix, or
x64, the 64-bit one in a 64-bit prefix run by Wine's 64-bit loader. The
cases are the same for both.

Each test worker owns one Xvfb display and one Wine prefix under
build/e2e/<worker>/. The prefix is made once; a pristine copy of its registry
files is kept, and before every test the Wine server is ended, the registry
files are put back and the test folders are emptied, so every test starts
from the same machine. The test's own registry values (settings, CD-ROM
drives, the test MCI driver) are written into the registry files before the
Wine server starts: Wine's mount manager reads the drive types only when it
starts, so a drive made a CD-ROM later is not seen as one.

The world the agent sees is built from test programs (tests/e2e/programs):
mcitest.dll answers the agent's MCI queries from what the test put behind the
drive letter and logs every command, standin.exe plays the emulators and the
utilities and logs how it was started, and probe.exe looks at windows and
menus from inside the prefix and drives them. The ids of the agent's window,
menu and controls are read from res/resource.h, as the program takes them.

The same Display and WorkerPrefix serve the benchmark (bench/bench.py).
"""

from __future__ import annotations

import os
import re
import shutil
import signal
import subprocess
import tempfile
import time
from dataclasses import dataclass, field
from pathlib import Path
from types import SimpleNamespace
from typing import Callable, Iterable, TypeVar

REPO = Path(__file__).resolve().parents[2]
BUILD = REPO / "build"


@dataclass(frozen=True)
class Arch:
    """One build of Discora and the Wine that runs it."""

    name: str  # "x86" or "x64"
    preset: str  # the CMake preset that builds it
    winearch: str  # the kind of Wine prefix it runs in
    loader: str  # the Wine loader that starts its programs
    machine: int  # the PE machine type of its executables
    manifest_arch: str  # processorArchitecture in its manifest
    # How a program is started: the loader, perhaps behind a wrapper.
    launcher: tuple[str, ...] = ()

    def command(self, *args: str) -> list[str]:
        return [*(self.launcher or (self.loader,)), *args]


ARCHES = {
    "x86": Arch("x86", "windows-release", "win32", "wine", 0x14C, "x86"),
    # Debian's `wine` command picks the 32-bit loader whenever 32-bit Wine is
    # installed, so the 64-bit one is called by its path.
    #
    # Debian builds Wine without its preloader, which reserves the low
    # addresses Wine must map at fixed places (the shared user data at
    # 0x7ffe0000); the 64-bit loader is linked at 0x7d000000, and a heap
    # randomly placed after it can reach them, making a start fail now and
    # then ("failed to map the shared user data"). Started without address
    # randomisation (a personality its children inherit), the layout is the
    # same every time.
    "x64": Arch("x64", "windows-x64-release", "win64", "/usr/lib/wine/wine64", 0x8664, "amd64",
                ("setarch", "x86_64", "-R", "/usr/lib/wine/wine64")),
}
ARCH = ARCHES[os.environ.get("DISCORA_ARCH", "x86")]


def select_arch(name: str) -> Arch:
    """The build the tests run from now on."""
    global ARCH
    ARCH = ARCHES[name]
    return ARCH


def host_runs_32bit_programs() -> bool:
    """Whether this machine's kernel runs 32-bit programs at all (some
    x86-64 kernels have IA32 emulation switched off): asked of the 32-bit
    loader that 32-bit Wine brings."""
    try:
        return subprocess.run(["/lib/ld-linux.so.2", "--version"], stdout=subprocess.DEVNULL,
                              stderr=subprocess.DEVNULL, timeout=30).returncode == 0
    except OSError:
        return False


def why_no_32bit_wine() -> str | None:
    """Why 32-bit Wine cannot run programs here, or None when it can: it needs
    a kernel that runs 32-bit programs and Debian's wine32:i386, whose loader
    is /usr/lib/wine/wine (scripts/setup.sh tries to install it, but on some
    machines it cannot be had)."""
    reasons = []
    if not host_runs_32bit_programs():
        reasons.append("this machine runs no 32-bit programs, so 32-bit Wine cannot start")
    if not os.access("/usr/lib/wine/wine", os.X_OK):
        reasons.append("32-bit Wine could not be installed here")
    return "; ".join(reasons) or None



def resource_ids(header: Path = REPO / "res" / "resource.h") -> SimpleNamespace:
    """Every name res/resource.h defines with a number or a text."""
    found = {}
    for name, value in re.findall(r'^#define\s+(\w+)\s+(\d+|"[^"]*")', header.read_text(), re.M):
        found[name] = value.strip('"') if value.startswith('"') else int(value)
    return SimpleNamespace(**found)


ID = resource_ids()

EMULATOR_TITLE = "Connectix Virtual Game Station"
BLEEM_TITLE = "bleem!"
AGENT_CLASS = ID.DISCORA_WINDOW_CLASS
AGENT_CAPTION = "Discora 1.1"

PROGRAM_FOLDER = "C:\\Discora"
TEST_FOLDER = "C:\\discora-test"
MCI_FOLDER = TEST_FOLDER + "\\mci"
TOOLS_FOLDER = TEST_FOLDER + "\\bin"
STANDIN_LOG = TEST_FOLDER + "\\standin.log"

# The stand-ins as the tests install them: the two default utilities and
# an emulator the program-folder search finds ("*vgs.exe").
JOY = PROGRAM_FOLDER + "\\DX7VGSJoy.exe"
PEC = PROGRAM_FOLDER + "\\pec.exe"
VGS = PROGRAM_FOLDER + "\\testvgs.exe"
# What an unquoted "C:\Program Files\..." would start.
DECOY = "C:\\Program.exe"

# The emulators Discora finds where their own installers put them.
# DuckStation's installer records itself for the user only and puts the
# program under %LOCALAPPDATA% (see Machine.local_app_data); RetroArch's
# 32-bit installer records itself in HKLM as 32-bit programs see it; PCSX2
# lives in the 64-bit Program Files.
UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"
DUCKSTATION_NAME = "duckstation-qt-x64-ReleaseLTCG.exe"
DUCKSTATION_TITLE = "DuckStation"
PCSX2 = "C:\\Program Files\\PCSX2\\pcsx2-qt.exe"

POLL_SECONDS = 3.0
# The prefix's ANSI code page (Wine's default for an English locale): the
# test programs log paths as the "A" functions give them, in this code page.
ANSI_CODE_PAGE = "cp1252"
DRIVE_CDROM = 5
# Generous, for a loaded two-core machine; every wait returns as soon as its
# condition holds.
DEADLINE = 30.0

# Where the installer puts Discora by default, and its shortcut.
INSTALL_FOLDER = "C:\\Program Files\\Discora"
START_MENU_SHORTCUT = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Discora.lnk"
EMULATOR_SHORTCUT = START_MENU_SHORTCUT.replace("Discora.lnk", "Choose the emulator for Discora.lnk")

SETTINGS_KEY = "Software\\Discora\\Settings"
VGS_KEY = "Software\\Connectix\\Connectix Virtual Game Station\\General"
# The root "HKLM32" names HKLM as 32-bit programs see it, where the
# emulator's 32-bit installer writes its record: on 64-bit Windows its
# software keys are under Software\Wow6432Node.
HKLM32 = "HKLM32"

# The system DLLs Discora.exe may import: what every 32-bit Windows has in
# its system folder, and nothing of a compiler's run-time.
SYSTEM_DLLS = frozenset({
    "kernel32.dll", "user32.dll", "gdi32.dll", "shell32.dll", "advapi32.dll",
    "winmm.dll", "comdlg32.dll", "msvcrt.dll", "comctl32.dll", "ole32.dll",
})

# Windows messages and flags the tests send or read.
WM_NULL = 0x0000
WM_CLOSE = 0x0010
WM_QUERYENDSESSION = 0x0011
WM_ENDSESSION = 0x0016
WM_QUIT = 0x0012
WM_COMMAND = 0x0111
WM_SYSCOMMAND = 0x0112
WM_MOUSEMOVE = 0x0200
WM_LBUTTONDBLCLK = 0x0203
# The icon's callback for a click on its balloon (Wine's tray sends none).
NIN_BALLOONUSERCLICK = 0x405
WM_RBUTTONUP = 0x0205
SC_MINIMIZE = 0xF020
SC_RESTORE = 0xF120
DBT_DEVICEARRIVAL = 0x8000
DBT_DEVICEREMOVECOMPLETE = 0x8004
DBTF_MEDIA = 0x1
DRIVE_D = 1 << 3
DRIVE_E = 1 << 4
STARTF_USESHOWWINDOW = 0x1
SW_SHOWNORMAL = 1
SW_SHOWMINIMIZED = 2
TRAY_ICON_ID = 1  # the agent's one notification icon
SYSTEM_TRAY_TITLE = "Wine System Tray"

T = TypeVar("T")


def build_dir(arch: Arch | None = None) -> Path:
    """Where the build under test, or `arch`'s build, is made."""
    return BUILD / (arch or ARCH).preset


def discora_exe() -> Path:
    return Path(os.environ.get("DISCORA_EXE") or build_dir() / "Discora.exe")


def install_folder(arch: Arch | None = None) -> str:
    """Where the installer of the build under test, or of `arch`'s build,
    puts Discora when nothing else decides: the Program Files of its own
    kind of programs, which for an x86 installer on a 64-bit prefix is that
    of 32-bit programs."""
    if (arch or ARCH).name == "x86" and ARCH.winearch == "win64":
        return f"{program_files_of_32bit_programs()}\\Discora"
    return INSTALL_FOLDER


def program_files_of_32bit_programs() -> str:
    """What "%ProgramFiles%" means to a 32-bit program on this prefix."""
    return "C:\\Program Files (x86)" if ARCH.winearch == "win64" else "C:\\Program Files"


def package(kind: str, arch: Arch | None = None) -> Path:
    """The package `cmake --build --preset <preset> --target package` made
    for the build under test, or for `arch`'s build, under the name the
    build gave CPack: "exe" the installer, "zip" the portable copy."""
    folder = discora_exe().parent if arch is None else build_dir(arch)
    config = require_file(folder / "CPackConfig.cmake", "CPackConfig.cmake").read_text()
    name = re.search(r'set\(CPACK_PACKAGE_FILE_NAME "([^"]+)"\)', config).group(1)
    packages = re.search(r'set\(CPACK_OUTPUT_FILE_PREFIX "([^"]+)"\)', config).group(1)
    path = Path(packages) / f"{name}.{kind}"
    return require_file(path, path.name)


def programs_dir() -> Path:
    return Path(os.environ.get("DISCORA_E2E_PROGRAMS") or build_dir() / "tests" / "e2e" / "programs")


def require_file(path: Path, what: str) -> Path:
    if not path.is_file():
        raise RuntimeError(
            f"{what} not found at {path}: build it first with "
            f"`cmake --preset {ARCH.preset} && cmake --build --preset {ARCH.preset}`"
        )
    return path


def wait_until(
    predicate: Callable[[], T],
    timeout: float = DEADLINE,
    message: str = "condition",
    interval: float = 0.1,
    details: Callable[[], str] | None = None,
) -> T:
    """Polls `predicate` until it returns something true and returns that.

    Fails the test with `message` (and `details()`, the state that would
    explain the failure) when `timeout` seconds pass first.
    """
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            extra = f"\n{details()}" if details else ""
            raise AssertionError(f"timed out after {timeout:.0f} s waiting for {message}{extra}")
        time.sleep(interval)


def parse_fields(line: str) -> dict[str, str]:
    """Splits one tab-separated key=value record of the test programs."""
    record = {}
    for part in line.rstrip("\r\n").split("\t"):
        key, sep, value = part.partition("=")
        if sep:
            record[key] = value
    return record


# --------------------------------------------------------------------------
# Xvfb


class Display:
    """One Xvfb server; -displayfd lets the server pick a free number and
    tells it once it accepts connections, so no guessing and no polling."""

    def __init__(self) -> None:
        self.process: subprocess.Popen | None = None
        self.name = ""

    def start(self) -> str:
        read_fd, write_fd = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp", "-noreset"],
            pass_fds=(write_fd,),
            stdout=subprocess.DEVNULL,
            stderr=subprocess.DEVNULL,
        )
        os.close(write_fd)
        with os.fdopen(read_fd) as pipe:
            number = pipe.readline().strip()  # blocks until the server is ready
        if not number.isdigit():
            self.stop()
            raise RuntimeError("Xvfb did not start")
        self.name = f":{number}"
        return self.name

    def stop(self) -> None:
        if self.process and self.process.poll() is None:
            self.process.terminate()
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.process.kill()
                self.process.wait()
        self.process = None


# --------------------------------------------------------------------------
# Wine registry files


def _reg_escape(text: str) -> str:
    out = []
    for ch in text:
        if ch == "\\":
            out.append("\\\\")
        elif ch == '"':
            out.append('\\"')
        elif ch == "\n":
            out.append("\\n")
        elif ch == "\r":
            out.append("\\r")
        elif ch == "\t":
            out.append("\\t")
        elif ord(ch) < 32 or ord(ch) > 126:
            out.append(f"\\x{ord(ch):04x}")
        else:
            out.append(ch)
    return "".join(out)


REG_SZ = 1
REG_EXPAND_SZ = 2
REG_BINARY = 3
REG_DWORD = 4
REG_MULTI_SZ = 7


@dataclass(frozen=True)
class RegValue:
    """A registry value exactly as the registry holds it: its type and its
    bytes. Texts are held as the system holds them, in UTF-16LE with their
    terminating NUL, so texts outside ASCII and values of the wrong type are
    written and compared byte for byte."""

    type: int
    data: bytes

    @staticmethod
    def sz(text: str, type: int = REG_SZ) -> "RegValue":
        return RegValue(type, (text + "\0").encode("utf-16-le"))

    @staticmethod
    def expand_sz(text: str) -> "RegValue":
        return RegValue.sz(text, REG_EXPAND_SZ)

    @staticmethod
    def multi_sz(*texts: str) -> "RegValue":
        return RegValue(REG_MULTI_SZ, "".join(t + "\0" for t in texts + ("",)).encode("utf-16-le"))

    @staticmethod
    def dword(number: int) -> "RegValue":
        return RegValue(REG_DWORD, (number & 0xFFFFFFFF).to_bytes(4, "little"))

    @staticmethod
    def binary(data: bytes) -> "RegValue":
        return RegValue(REG_BINARY, bytes(data))

    def text(self) -> str | None:
        """The text of a REG_SZ or REG_EXPAND_SZ value, without its NUL."""
        if self.type not in (REG_SZ, REG_EXPAND_SZ) or len(self.data) % 2:
            return None
        return self.data.decode("utf-16-le").split("\0", 1)[0]

    def __repr__(self) -> str:
        shown = self.text()
        if shown is not None:
            shown = repr(shown if len(shown) <= 60 else f"{shown[:40]}...({len(shown)} chars)")
        else:
            shown = self.data[:40].hex() + ("..." if len(self.data) > 40 else "")
        return f"RegValue(type={self.type}, {shown})"


def as_reg_value(value: "str | RegValue") -> RegValue:
    """A text as the REG_SZ value it is stored as; a RegValue as it is."""
    return value if isinstance(value, RegValue) else RegValue.sz(value)


def as_reg_values(values: dict[str, "str | RegValue"]) -> dict[str, RegValue]:
    return {name: as_reg_value(value) for name, value in values.items()}


def _reg_line(name: str, value: RegValue) -> str:
    """One value in the format of Wine's own registry files."""
    text = value.text()
    if value.type == REG_SZ and text is not None and value.data == RegValue.sz(text).data:
        return f'"{_reg_escape(name)}"="{_reg_escape(text)}"'
    if value.type == REG_DWORD and len(value.data) == 4:
        return f'"{_reg_escape(name)}"=dword:{int.from_bytes(value.data, "little"):08x}'
    kind = "hex" if value.type == REG_BINARY else f"hex({value.type:x})"
    return f'"{_reg_escape(name)}"={kind}:' + ",".join(f"{b:02x}" for b in value.data)


def _reg_section(key: str, values: dict[str, "str | RegValue"]) -> str:
    """One key in the format of Wine's own registry files."""
    lines = [f"\n[{_reg_escape(key)}] {int(time.time())}"]
    for name, value in values.items():
        lines.append(_reg_line(name, as_reg_value(value)))
    return "\n".join(lines) + "\n"


# --------------------------------------------------------------------------
# The worker's prefix


def _wine_env(prefix: Path, display: str) -> dict[str, str]:
    env = dict(os.environ)
    env.update(
        WINEPREFIX=str(prefix),
        WINEARCH=ARCH.winearch,
        # Wine's error messages (a crash, a failed start) are kept in
        # build/e2e/<worker>/wine.log; DISCORA_E2E_WINEDEBUG adds traces
        # when a test needs explaining.
        WINEDEBUG=os.environ.get("DISCORA_E2E_WINEDEBUG", "fixme-all"),
        DISPLAY=display,
        # No desktop entries on the host, no offers to install Mono or Gecko.
        WINEDLLOVERRIDES="winemenubuilder.exe=d;mscoree=d;mshtml=d",
        DISCORA_TEST_LOG=STANDIN_LOG,
    )
    if ARCH.loader != "wine":
        env["WINELOADER"] = ARCH.loader
    return env


def registry_place(root: str, key: str) -> tuple[str, str]:
    """The root and key that hold `key` of `root`; "HKLM32" software keys
    are redirected as 64-bit Windows redirects a 32-bit program's."""
    if root != HKLM32:
        return root, key
    head, sep, rest = key.partition("\\")
    if ARCH.winearch == "win64" and head.lower() == "software" and sep:
        return "HKLM", f"{head}\\Wow6432Node\\{rest}"
    return "HKLM", key


REGISTRY_FILES = ("system.reg", "user.reg", "userdef.reg")


class WorkerPrefix:
    """The Wine prefix and disc folders of one test worker."""

    def __init__(self, root: Path, display: str) -> None:
        self.root = root
        self.prefix = root / "prefix"
        self.pristine = root / "pristine"
        self.discs = root / "discs"
        self.manifest = root / "created.txt"
        self.env = _wine_env(self.prefix, display)

    def wine_version(self) -> str:
        return subprocess.run(ARCH.command("--version"), capture_output=True, text=True,
                              check=True).stdout.strip()

    def create(self) -> None:
        """Makes the prefix once; a later run reuses it when it was completed
        by the same Wine."""
        marker = self.pristine / "wine-version"
        version = self.wine_version()
        if marker.is_file() and marker.read_text() == version and self.prefix.is_dir():
            return
        self.kill_server()
        shutil.rmtree(self.root, ignore_errors=True)
        self.root.mkdir(parents=True)
        subprocess.run(ARCH.command("wineboot", "-i"), env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=300)
        subprocess.run(["wineserver", "-w"], env=self.env, check=True, timeout=120)
        self.pristine.mkdir()
        for name in REGISTRY_FILES:
            shutil.copy2(self.prefix / name, self.pristine / name)
        marker.write_text(version)

    def kill_server(self) -> None:
        """Ends this prefix's Wine server and with it every Windows process
        of the prefix, and waits until it is gone."""
        if not self.prefix.is_dir():
            return
        subprocess.run(["wineserver", "-k"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        subprocess.run(["wineserver", "-w"], env=self.env, stdout=subprocess.DEVNULL,
                       stderr=subprocess.DEVNULL, timeout=60)
        # Clients notice the server's end on their own; any that has not yet
        # is one of this prefix's processes and is ended by its id.
        deadline = time.monotonic() + 10
        while self.processes() and time.monotonic() < deadline:
            time.sleep(0.05)
        for pid, _ in self.processes():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass

    def processes(self) -> list[tuple[int, str]]:
        """(Linux pid, command line) of every live process of this prefix,
        Windows programs and the Wine server alike."""
        wanted = f"WINEPREFIX={self.prefix}".encode()
        found = []
        for entry in os.listdir("/proc"):
            if not entry.isdigit():
                continue
            try:
                with open(f"/proc/{entry}/environ", "rb") as f:
                    if wanted not in f.read().split(b"\0"):
                        continue
                with open(f"/proc/{entry}/stat", "rb") as f:
                    if f.read().rsplit(b")", 1)[1].split()[0] == b"Z":
                        continue
                with open(f"/proc/{entry}/cmdline", "rb") as f:
                    cmdline = f.read().replace(b"\0", b" ").decode(errors="replace").strip()
            except (FileNotFoundError, ProcessLookupError, PermissionError, IndexError):
                continue
            found.append((int(entry), cmdline))
        return found

    def reset(self) -> None:
        """Puts the prefix back to its pristine state for the next test."""
        self.kill_server()
        for name in REGISTRY_FILES:
            shutil.copy2(self.pristine / name, self.prefix / name)
        # Everything the previous test created, even if it ended badly.
        if self.manifest.is_file():
            for line in self.manifest.read_text().splitlines():
                _remove(Path(line))
            self.manifest.unlink()
        for letter in "abdefghijklmnopqrstuvwxy":
            for name in (f"{letter}:", f"{letter}::"):
                _remove(self.prefix / "dosdevices" / name)
        shutil.rmtree(self.discs, ignore_errors=True)

    def record_created(self, path: Path) -> None:
        with open(self.manifest, "a") as f:
            f.write(f"{path}\n")


def _remove(path: Path) -> None:
    if path.is_symlink() or path.is_file():
        path.unlink()
    elif path.is_dir():
        shutil.rmtree(path, ignore_errors=True)


# --------------------------------------------------------------------------
# One test's machine


DISC_CONTENTS = {
    "none": {},
    # A PlayStation disc: its boot file at the root, named as on real discs.
    "psx": {"SYSTEM.CNF": "BOOT = cdrom:\\SLUS_000.01;1\r\nTCB = 4\r\nEVENT = 10\r\n",
            "SLUS_000.01": "program"},
    # A PlayStation 2 disc: its boot file names the program with BOOT2.
    "ps2": {"SYSTEM.CNF": "BOOT2 = cdrom0:\\SLUS_203.12;1\r\nVER = 1.00\r\nVMODE = NTSC\r\n",
            "SLUS_203.12": "program"},
    # Any other disc: files, but no boot file.
    "data": {"README.TXT": "not a game", "SETUP.EXE": "installer"},
}


def _disc_image(marks: dict[int, bytes], sectors: int = 20) -> bytes:
    """2048-byte sectors of zeros with `marks` (byte offset: bytes) written
    in, and an ISO 9660 volume descriptor's identifier at sector 16."""
    image = bytearray(sectors * 2048)
    for at, text in {16 * 2048 + 1: b"CD001", **marks}.items():
        image[at:at + len(text)] = text
    return bytes(image)


# Discs whose sectors a test reads through the drive's device (\\.\D:): the
# image behind the drive's "d::" link; the drive's folder holds the files of
# their file system (what a program reading files sees: no boot file).
DISC_IMAGES = {
    # A Saturn disc: its header in sector 0, the product number at 0x20.
    "saturn": _disc_image({0: b"SEGA SEGASATURN SEGA ENTERPRISES", 0x20: b"MK-81009  "}),
    # A Sega CD disc: its header in sector 0, its serial at 0x180.
    "segacd": _disc_image({0: b"SEGADISCSYSTEM  SEGAIPMENU", 0x180: b"GM MK-4407 -00"}),
    # A data disc that is no console's: an ISO 9660 image and nothing else.
    "dataimage": _disc_image({}),
}


@dataclass
class Launch:
    """One start of a stand-in, as it logged it."""

    role: str
    path: str
    cmdline: str
    flags: int
    show: int
    pid: int
    created: int
    cwd: str  # its current folder when it started
    errormode: int  # its error mode when it started (SetErrorMode)
    record: dict = field(repr=False)


class Machine:
    """The Windows machine of one test: its drives, files, registry values,
    the agent and the programs it starts.

    Registry values given before anything runs are written into the registry
    files; values given later go through `wine reg`.
    """

    def __init__(self, worker: WorkerPrefix) -> None:
        self.worker = worker
        self.prefix = worker.prefix
        self.env = worker.env
        self.programs = programs_dir()
        self._registry: dict[tuple[str, str], dict[str, str | RegValue]] = {}
        self._tools: set[str] = set()
        self._server_started = False
        self._popens: list[subprocess.Popen] = []
        self._cdroms: set[str] = set()
        self.setup_seconds = 0.0  # reset, files and server start: the overhead

    # -- set-up ------------------------------------------------------------

    def prepare(self) -> None:
        started = time.monotonic()
        self.worker.reset()
        (self.worker.root / "wine.log").unlink(missing_ok=True)
        for name, files in DISC_CONTENTS.items():
            folder = self.worker.discs / name
            folder.mkdir(parents=True)
            for file_name, text in files.items():
                (folder / file_name).write_text(text)
        for name, image in DISC_IMAGES.items():
            (self.worker.discs / f"{name}.iso").write_bytes(image)
        for path in (TEST_FOLDER, PROGRAM_FOLDER, INSTALL_FOLDER, START_MENU_SHORTCUT):
            _remove(self.unix_path(path))
        self.mkdir(MCI_FOLDER)
        self.mkdir(TOOLS_FOLDER)
        for name in ("probe.exe", "menuspy.dll", "menuhost.exe"):
            shutil.copyfile(require_file(self.programs / name, name),
                            self.unix_path(f"{TOOLS_FOLDER}\\{name}"))
        # The test MCI driver stands in for Wine's cdaudio driver.
        shutil.copyfile(require_file(self.programs / "mcitest.dll", "mcitest.dll"),
                        self.prefix / "drive_c" / "windows" / "system32" / "mcitest.dll")
        self.set_registry("HKLM", "Software\\Microsoft\\Windows NT\\CurrentVersion\\MCI",
                          "cdaudio", "mcitest.dll")
        self.setup_seconds = time.monotonic() - started

    def unix_path(self, windows_path: str) -> Path:
        drive, _, rest = windows_path.partition(":")
        parts = [p for p in rest.split("\\") if p]
        base = self.prefix / "dosdevices" / f"{drive.lower()}:"
        if drive.lower() == "c":
            base = self.prefix / "drive_c"
        return base.joinpath(*parts)

    def mkdir(self, windows_path: str) -> Path:
        path = self.unix_path(windows_path)
        path.mkdir(parents=True, exist_ok=True)
        return path

    def _created(self, windows_path: str) -> Path:
        path = self.unix_path(windows_path)
        # The topmost folder that did not exist yet is what a later clean-up
        # must remove.
        top = path
        while not top.parent.exists():
            top = top.parent
        self.worker.record_created(top)
        top.parent.mkdir(parents=True, exist_ok=True)
        path.parent.mkdir(parents=True, exist_ok=True)
        return path

    def local_app_data(self) -> str:
        """%LOCALAPPDATA% of the prefix's one user, whose profile Wine names
        after the Unix user that made the prefix."""
        users = self.prefix / "drive_c" / "users"
        user = only((p.name for p in users.iterdir() if p.name.lower() != "public"),
                    "user profile")
        return f"C:\\users\\{user}\\AppData\\Local"

    def put_standin(self, windows_path: str) -> str:
        """Copies the stand-in to `windows_path`; its file name sets its role."""
        path = self._created(windows_path)
        shutil.copyfile(require_file(self.programs / "standin.exe", "standin.exe"), path)
        return windows_path

    def put_file(self, windows_path: str, content: bytes | str = b"") -> str:
        path = self._created(windows_path)
        path.write_bytes(content.encode() if isinstance(content, str) else content)
        return windows_path

    def install_agent(self, folder: str = PROGRAM_FOLDER) -> str:
        path = self._created(f"{folder}\\Discora.exe")
        shutil.copyfile(require_file(discora_exe(), "Discora.exe"), path)
        return f"{folder}\\Discora.exe"

    def set_registry(self, root: str, key: str, name: str, value: "str | RegValue") -> None:
        """A value under HKLM, HKLM32 or HKCU: a text is a REG_SZ value, a
        RegValue any type with exactly its bytes."""
        root, key = registry_place(root, key)
        if self._server_started:
            if isinstance(value, str):
                self.wine("reg", "add", f"{root}\\{key}", "/v", name, "/t", "REG_SZ", "/d",
                          value, "/f", check=True)
            else:
                self.wine(self.tool("regtool.exe"), "set", f"{root}\\{key}",
                          name.encode("utf-16-le").hex(), str(value.type), value.data.hex(),
                          check=True)
            return
        self._registry.setdefault((root, key), {})[name] = value

    def set_setting(self, name: str, value: str) -> None:
        self.set_registry("HKCU", SETTINGS_KEY, name, value)

    def add_cdrom(self, letter: str, disc: str = "none") -> None:
        """Makes `letter` a CD-ROM drive holding `disc` ("none" is empty):
        before anything runs, in the registry; while programs run, through
        Wine's mount manager, as when a drive is plugged in."""
        letter = letter.lower().rstrip(":")
        self._cdroms.add(letter)
        if self._server_started:
            target = self.worker.discs / disc
            if not target.is_dir():
                raise ValueError(f"no prepared disc {disc!r}")
            self.probe("plug", letter, str(target), check=True)
            return
        self.set_registry("HKLM", "Software\\Wine\\Drives", f"{letter}:", "cdrom")
        self.insert(disc, letter)

    def _commit(self) -> None:
        """Writes the collected registry values and starts the Wine server;
        runs once, before the first program of the test."""
        if self._server_started:
            return
        started = time.monotonic()
        files = {"HKLM": "system.reg", "HKCU": "user.reg"}
        sections: dict[str, list[str]] = {"HKLM": [], "HKCU": []}
        for (root, key), values in self._registry.items():
            sections[root].append(_reg_section(key, values))
        for root, parts in sections.items():
            if parts:
                with open(self.prefix / files[root], "a", newline="\n") as f:
                    f.write("".join(parts))
        # Kept alive between the test's programs, so each does not pay for
        # a new server and its services; `kill_server` ends it.
        subprocess.run(["wineserver", "-p"], env=self.env, check=True, timeout=60)
        self._server_started = True
        # The first program also starts Wine's services; let it be the check
        # that the CD-ROM drives are exactly those the test asked for.
        cdroms = {d for d, t in self.drive_types().items() if t == DRIVE_CDROM}
        wanted = {f"{letter.upper()}:" for letter in self._cdroms}
        if cdroms != wanted:
            raise RuntimeError(f"CD-ROM drives {sorted(cdroms)}, set up {sorted(wanted)}")
        self.setup_seconds += time.monotonic() - started

    # -- discs ---------------------------------------------------------------

    def insert(self, disc: str, letter: str = "d") -> None:
        """Puts `disc` ("psx", "ps2", "data", "none" for an empty drive, or
        one of DISC_IMAGES) into the drive. The drive letter's links are
        replaced each in one rename, its sectors first, so the agent never
        sees a drive that is neither the old nor the new one."""
        letter = letter.lower().rstrip(":")
        image = self.worker.discs / f"{disc}.iso"
        target = self.worker.discs / ("data" if disc in DISC_IMAGES else disc)
        if not target.is_dir():
            raise ValueError(f"no prepared disc {disc!r}")
        dosdevices = self.prefix / "dosdevices"
        if disc in DISC_IMAGES:
            self._relink(dosdevices / f"{letter}::", image)
        else:
            _remove(dosdevices / f"{letter}::")
        self._relink(dosdevices / f"{letter}:", target)

    def _relink(self, link: Path, target: Path) -> None:
        temp = link.with_name(f".{link.name.replace(':', '_')}-swap")
        _remove(temp)
        temp.symlink_to(target)
        os.replace(temp, link)

    def eject(self, letter: str = "d") -> None:
        self.insert("none", letter)

    def swap_disc(self, disc: str) -> None:
        """Takes the disc out of D:, lets the agent see the empty drive, puts
        `disc` in."""
        self.eject()
        self.wait_reading("false")
        self.insert(disc)

    def make_disc(self, name: str, files: dict[str, str | bytes] | None = None) -> Path:
        """A further disc for `insert`, holding `files` (name: text or
        bytes); the folder behind it stays writable, so a program in the
        prefix can put files onto the "disc" too."""
        folder = self.worker.discs / name
        folder.mkdir(parents=True, exist_ok=False)
        for file_name, content in (files or {}).items():
            if isinstance(content, bytes):
                (folder / file_name).write_bytes(content)
            else:
                (folder / file_name).write_text(content)
        return folder

    def remove_drive(self, letter: str) -> None:
        """Takes the drive letter away while programs run, as when a drive
        is unplugged: Wine's mount manager forgets the drive (its type and
        its link in dosdevices), so the letter names no drive at all."""
        letter = letter.lower().rstrip(":")
        self._cdroms.discard(letter)
        if self._server_started:
            self.probe("unplug", letter, check=True)
        _remove(self.prefix / "dosdevices" / f"{letter}:")

    def add_drive(self, letter: str, drive_type: str, target: Path) -> None:
        """Makes `letter` a drive of Wine's `drive_type` ("floppy", "hd",
        "network", "cdrom") behind the Unix path `target`, which need not
        exist (a drive with nothing in it)."""
        letter = letter.lower().rstrip(":")
        if self._server_started:
            raise RuntimeError("drives must be set up before anything runs in the prefix")
        if drive_type == "cdrom":
            raise ValueError("CD-ROM drives are made with add_cdrom")
        self.set_registry("HKLM", "Software\\Wine\\Drives", f"{letter}:", drive_type)
        link = self.prefix / "dosdevices" / f"{letter}:"
        _remove(link)
        link.symlink_to(target)

    # -- the MCI driver ----------------------------------------------------

    def mci_control(self, name: str, content: str | None = "") -> None:
        """Creates (content given) or removes (None) a control file of the
        test MCI driver: fail-open, fail-status, delay-ms."""
        path = self.unix_path(f"{MCI_FOLDER}\\{name}")
        if content is None:
            path.unlink(missing_ok=True)
        else:
            path.write_text(content)

    def mci_log(self) -> list[list[str]]:
        """The driver's log: [tick, Windows pid, command, detail...] per line."""
        path = self.unix_path(f"{MCI_FOLDER}\\log.txt")
        try:
            text = path.read_text(errors="replace")
        except FileNotFoundError:
            return []
        # A line still being written has no end yet.
        return [line.split("\t") for line in text.split("\n")[:-1] if line]

    def status_queries(self) -> list[list[str]]:
        return [entry for entry in self.mci_log() if entry[2] == "status"]

    def opens(self) -> list[str]:
        """The element of every open, such as "D:"."""
        return [entry[2][5:] for entry in self.mci_log() if entry[2].startswith("open")]

    def wait_polls(self, count: int, timeout: float | None = None,
                   since: int | None = None) -> None:
        """Waits until the agent has sent `count` more status queries than
        `since` (default: now). Every query is one poll, so this is how a
        test lets a known number of 3-second ticks pass."""
        base = len(self.status_queries()) if since is None else since
        timeout = timeout if timeout is not None else DEADLINE + count * POLL_SECONDS
        wait_until(lambda: len(self.status_queries()) >= base + count, timeout,
                   f"{count} more polls of the drive", details=self.describe)

    def wait_reading(self, reading: str, timeout: float = DEADLINE) -> None:
        """Waits for a poll that comes after now and reads `reading`
        ("true", "false" or "failed")."""
        base = len(self.status_queries())
        wait_until(
            lambda: any(e[3:4] == [reading] for e in self.status_queries()[base:]),
            timeout, f"a poll reading {reading!r}", details=self.describe)

    # -- stand-ins ---------------------------------------------------------

    def standin_log(self) -> list[dict[str, str]]:
        path = self.unix_path(STANDIN_LOG)
        try:
            text = path.read_bytes().decode(ANSI_CODE_PAGE, errors="replace")
        except FileNotFoundError:
            return []
        return [parse_fields(line) for line in text.split("\n")[:-1] if line]

    def launches(self, role: str | None = None) -> list[Launch]:
        """Every stand-in start, in the order the processes were created."""
        found = []
        for r in self.standin_log():
            if r.get("event") != "start" or (role and r.get("role") != role):
                continue
            found.append(Launch(role=r["role"], path=r["path"], cmdline=r["cmdline"],
                                flags=int(r["flags"]), show=int(r["show"]), pid=int(r["pid"]),
                                created=int(r["created"]), cwd=r["cwd"],
                                errormode=int(r["errormode"]), record=r))
        return sorted(found, key=lambda launch: launch.created)

    def events(self, event: str) -> list[dict[str, str]]:
        return [r for r in self.standin_log() if r.get("event") == event]

    def wait_launches(self, count: int, role: str | None = None,
                      timeout: float = DEADLINE) -> list[Launch]:
        wait_until(lambda: len(self.launches(role)) >= count, timeout,
                   f"{count} start(s) of {role or 'stand-ins'}", details=self.describe)
        return self.launches(role)

    # -- programs ----------------------------------------------------------

    def wine(self, *args: str, check: bool = False, timeout: float = 60,
             env: dict[str, str] | None = None) -> subprocess.CompletedProcess:
        """Runs a Windows program to its end and returns its output; `env`
        adds to the environment.

        The output goes through files, not pipes: Wine's background
        services, started by whichever program comes first, inherit its
        handles and would keep a pipe open long after the program ended.
        """
        self._commit()
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            process = subprocess.run(ARCH.command(*args), env={**self.env, **(env or {})},
                                     stdout=out, stderr=err,
                                     stdin=subprocess.DEVNULL, timeout=timeout,
                                     cwd=self.prefix / "drive_c")
            out.seek(0)
            err.seek(0)
            result = subprocess.CompletedProcess(
                process.args, process.returncode,
                out.read().decode(errors="replace").replace("\r\n", "\n"),
                err.read().decode(errors="replace"))
        if check and result.returncode != 0:
            raise AssertionError(f"wine {' '.join(args)} failed ({result.returncode}): "
                                 f"{result.stdout}{result.stderr}")
        return result

    def spawn(self, windows_path: str, *args: str, env: dict[str, str] | None = None,
              log: Path | None = None, **popen) -> subprocess.Popen:
        """Starts a Windows program without waiting. The `wine` process
        becomes the Windows process, so its exit code is the program's.
        `env` adds to the environment (WINEDEBUG, say); `log` receives the
        program's output instead of the worker's wine.log; `popen` overrides
        Popen's arguments (pipes for a program that answers on them)."""
        self._commit()
        with open(log or self.worker.root / "wine.log", "ab") as out:
            options = dict(cwd=self.prefix / "drive_c", stdin=subprocess.DEVNULL, stdout=out,
                           stderr=out)
            process = subprocess.Popen(ARCH.command(windows_path, *args),
                                       env={**self.env, **(env or {})}, **{**options, **popen})
        self._popens.append(process)
        return process

    def start_agent(self, path: str = PROGRAM_FOLDER + "\\Discora.exe",
                    **spawn_args) -> subprocess.Popen:
        return self.spawn(path, **spawn_args)

    def start_agent_and_wait_first_poll(self, **spawn_args) -> subprocess.Popen:
        """Starts the agent and returns once its start-up poll is done."""
        before = len(self.status_queries())
        agent = self.start_agent(**spawn_args)
        wait_until(lambda: len(self.status_queries()) > before or agent.poll() is not None,
                   DEADLINE, "the agent's first poll", details=self.describe)
        assert agent.poll() is None, f"the agent ended at start-up with {agent.returncode}"
        return agent

    def install(self, *programs: str, disc: str = "none",
                settings: dict[str, "str | RegValue"] | None = None) -> None:
        """The agent in its folder, stand-ins at the given paths, one CD-ROM
        drive D: holding `disc`, and the given stored settings."""
        self.add_cdrom("d", disc)
        self.install_agent()
        for path in programs:
            self.put_standin(path)
        for name, value in (settings or {}).items():
            self.set_setting(name, value)

    def start(self, *programs: str, disc: str = "none",
              settings: dict[str, "str | RegValue"] | None = None) -> subprocess.Popen:
        """`install`, then the agent started; returns once its start-up
        poll is done."""
        self.install(*programs, disc=disc, settings=settings)
        return self.start_agent_and_wait_first_poll()

    def probe(self, *args: str, check: bool = False,
              timeout: float = 60) -> subprocess.CompletedProcess:
        return self.wine(f"{TOOLS_FOLDER}\\probe.exe", *args, check=check, timeout=timeout)

    def post_to_agent(self, message: int, wparam: int = 0, lparam: int = 0) -> None:
        """PostMessage to the agent's window: returns at once."""
        self.probe("post", "-c", AGENT_CLASS, hex(message), str(wparam), str(lparam), check=True)

    def send_to_agent(self, message: int, wparam: int = 0, lparam: int = 0) -> int:
        """SendMessage to the agent's window: returns its answer once the
        message has been handled."""
        result = self.probe("send", "-c", AGENT_CLASS, hex(message), str(wparam), str(lparam),
                            check=True)
        return int(parse_fields(result.stdout.splitlines()[0])["result"])

    def tray_event(self, mouse_message: int, handled: bool = True) -> None:
        """The notification area's callback for the agent's icon
        (WM_MOUSEMOVE, the icon's id, the mouse message): sent, so the agent
        has handled it when this returns, or (`handled` False) posted."""
        deliver = self.send_to_agent if handled else self.post_to_agent
        deliver(WM_MOUSEMOVE, TRAY_ICON_ID, mouse_message)

    def tray_shown(self) -> bool:
        """Wine shows its stand-alone tray window while it holds an icon, and
        the agent is the only program of the prefix that adds one."""
        window = self.find_window(title=SYSTEM_TRAY_TITLE)
        return window is not None and window["visible"] == "1"

    def process_names(self) -> set[str]:
        """File names (lower case) of the prefix's processes, from the
        system's own list."""
        out = self.probe("processes", check=True).stdout
        return {parse_fields(line)["exe"].lower() for line in out.splitlines() if line.strip()}

    def wait_ended(self, *paths: str) -> None:
        """Waits until no process of these programs' file names is left:
        every stand-in the agent started has then logged its start."""
        wanted = {p.rsplit("\\", 1)[-1].lower() for p in paths}
        wait_until(lambda: not wanted & self.process_names(), DEADLINE,
                   f"{sorted(wanted)} to end", details=self.describe)

    def find_window(self, cls: str | None = None, title: str | None = None) -> dict | None:
        args = ["find"]
        if cls:
            args += ["-c", cls]
        if title:
            args += ["-t", title]
        result = self.probe(*args)
        if result.returncode != 0:
            return None
        return parse_fields(result.stdout.splitlines()[0])

    def wait_window(self, cls: str | None = None, title: str | None = None,
                    predicate: Callable[[dict], bool] = lambda w: True,
                    message: str = "a window", timeout: float = DEADLINE) -> dict:
        def check() -> dict | None:
            window = self.find_window(cls, title)
            return window if window and predicate(window) else None
        return wait_until(check, timeout, message, interval=0.2)

    def drive_types(self) -> dict[str, int]:
        out = self.probe("drives", check=True).stdout
        return {r["drive"]: int(r["type"]) for r in map(parse_fields, out.splitlines())}

    def tool(self, name: str) -> str:
        """The Windows path of test program `name` in the tools folder,
        copied there the first time a test asks for it."""
        if name not in self._tools:
            shutil.copyfile(require_file(self.programs / name, name),
                            self.unix_path(f"{TOOLS_FOLDER}\\{name}"))
            self._tools.add(name)
        return f"{TOOLS_FOLDER}\\{name}"

    def registry_values(self, root: str, key: str) -> dict[str, RegValue] | None:
        """Every value of a key of the running registry, type and bytes, or
        None when the key cannot be opened for reading (absent or denied)."""
        root, key = registry_place(root, key)
        result = self.wine(self.tool("regtool.exe"), "dump", f"{root}\\{key}")
        if result.returncode == 1:
            return None
        if result.returncode != 0:
            raise AssertionError(f"regtool dump failed: {result.stdout}{result.stderr}")
        values = {}
        for record in map(parse_fields, result.stdout.splitlines()):
            name = bytes.fromhex(record["name"]).decode("utf-16-le")
            values[name] = RegValue(int(record["type"]), bytes.fromhex(record["data"]))
        return values

    def settings_values(self) -> dict[str, RegValue] | None:
        """The whole settings key, type and bytes of every value; None when
        the agent has stored nothing (the key is absent) or it is denied."""
        return self.registry_values("HKCU", SETTINGS_KEY)

    def wait_setting(self, name: str, value: "str | RegValue") -> None:
        """Waits until the agent has stored `value` (a text: as REG_SZ) as `name`."""
        wanted = as_reg_value(value)
        wait_until(lambda: (self.settings_values() or {}).get(name) == wanted, DEADLINE,
                   f"{name!r} stored as {wanted}", interval=0.2,
                   details=lambda: f"settings: {self.settings_values()}")

    def deny_registry_access(self, root: str, key: str, mask: int) -> None:
        """Replaces the key's access list with one that denies `mask`
        (KEY_QUERY_VALUE 0x1, KEY_SET_VALUE 0x2, ...) to everyone; the
        Wine server enforces it for every process of the prefix."""
        self.wine(self.tool("regtool.exe"), "deny", f"{root}\\{key}", hex(mask), check=True)

    def allow_registry_access(self, root: str, key: str) -> None:
        self.wine(self.tool("regtool.exe"), "allow", f"{root}\\{key}", check=True)

    def windows(self) -> list[dict[str, str]]:
        """Every top-level window of the prefix (probe's fields)."""
        out = self.probe("windows", check=True).stdout
        return [parse_fields(line) for line in out.splitlines() if line.strip()]

    def balloon_texts(self) -> list[str]:
        """The texts of the balloons Wine's tray shows now: top-level tooltip
        windows, whose text is the balloon's (not its title)."""
        return [w["text"] for w in self.windows() if w["class"].lower() == "tooltips_class32"]

    def windows_processes(self) -> list[str]:
        """Command lines of the prefix's running Windows programs."""
        return [cmd for _, cmd in self.worker.processes() if not cmd.startswith("/")]

    def describe(self) -> str:
        """What a failure message needs to be understood."""
        mci = ["\t".join(e) for e in self.mci_log()[-12:]]
        standin = [f"{r}" for r in self.standin_log()[-12:]]
        return ("MCI log (last lines):\n  " + "\n  ".join(mci or ["(empty)"]) +
                "\nstand-in log (last lines):\n  " + "\n  ".join(standin or ["(empty)"]) +
                "\nprocesses:\n  " + "\n  ".join(self.windows_processes() or ["(none)"]))

    # -- the packages ------------------------------------------------------

    def run_installer(self, arguments: str = "/S", wait: bool = True,
                      check: bool = True, arch: Arch | None = None) -> int | None:
        """Runs the downloaded installer (of the build under test, or of
        `arch`'s build) with `arguments` as a user types them (`/D=folder`
        last and unquoted, blanks and all); with `wait`, to its end: returns
        its exit code, which `check` wants to be 0."""
        installer = package("exe", arch)
        setup = f"{TEST_FOLDER}\\{installer.name}"
        shutil.copyfile(installer, self.unix_path(setup))
        # The folder it is told to use goes before the next test, even when
        # this one ends before the uninstaller has run; so does the one the
        # x86 installer chooses by itself on a 64-bit prefix (in the 32-bit
        # programs' Program Files), which the set-up does not empty.
        if "/D=" in arguments:
            self.worker.record_created(self.unix_path(arguments.partition("/D=")[2]))
        if install_folder(arch) != INSTALL_FOLDER:
            self.worker.record_created(self.unix_path(install_folder(arch)))
        return self.run_command(f'"{setup}" {arguments}', wait=wait, check=check)

    def run_command(self, command: str, wait: bool = True,
                    check: bool = True) -> int | None:
        """Runs a command line as the system would run a stored one (a Run
        value, an uninstall string): from a batch file, through cmd; with
        `wait`, to its end: returns its exit code, which `check` wants to
        be 0."""
        batch = self.put_file(f"{TEST_FOLDER}\\command.bat",
                              f"@{command}\r\n@exit %ERRORLEVEL%\r\n".encode(ANSI_CODE_PAGE))
        if not wait:
            self.spawn("cmd", "/c", batch)
            return None
        return self.wine("cmd", "/c", batch, check=check, timeout=120).returncode

    def wait_uninstalled(self, uninstaller: str) -> None:
        """The uninstaller returns at once, having started a copy of itself
        from the temporary folder (Un.exe); that copy does the work. Waits for its
        real end: the uninstaller file gone and no copy left running."""
        name = uninstaller.rsplit("\\", 1)[-1].lower()
        wait_until(lambda: not self.unix_path(uninstaller).exists()
                   and not {"un.exe", name} & self.process_names(),
                   DEADLINE, "the uninstaller's end", details=self.describe)

    # -- end ---------------------------------------------------------------

    def stop(self) -> None:
        """Ends every process of the test: the Wine server takes its Windows
        processes with it; the `wine` processes this test started are then
        reaped (and, should one linger, ended by its id)."""
        self.worker.kill_server()
        for process in self._popens:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                process.kill()
                process.wait()
        self._popens.clear()
        self._server_started = False


def paths(launches: Iterable[Launch]) -> list[str]:
    return [launch.path for launch in launches]


def folder_of(path: str) -> str:
    """The folder of a file's Windows path; a drive root keeps its "\\"."""
    folder = path.rsplit("\\", 1)[0]
    return folder + "\\" if len(folder) == 2 and folder[1] == ":" else folder


def assert_started(launch: Launch, path: str, show: int, cmdline: str | None = None) -> None:
    """The program was started by its whole path, quoted, so no blank can
    split it (or by `cmdline`), with the show style `show`, in its own
    folder, whichever folder the agent is in. Its error mode is the system's
    default, not the agent's (Wine hands no error mode to a started program,
    so here this holds however the agent starts it)."""
    assert launch.path == path, launch
    assert launch.cmdline == (cmdline if cmdline is not None else f'"{path}"'), launch
    assert launch.flags & STARTF_USESHOWWINDOW, launch
    assert launch.show == show, launch
    assert launch.cwd == folder_of(path), launch
    assert launch.errormode == 0, launch


def only(items: Iterable[T], what: str) -> T:
    items = list(items)
    assert len(items) == 1, f"expected exactly one {what}, found {len(items)}: {items}"
    return items[0]


def assert_agent_healthy(machine, agent):
    """The agent runs; its only top-level window is its hidden main window
    (besides the hidden input-method window Wine gives every GUI thread);
    no dialog box of any program is open: no message box, no crash
    report."""
    assert agent.poll() is None, f"the agent ended with {agent.returncode}\n{machine.describe()}"
    windows = machine.windows()
    main = only([w for w in windows if w["class"] == AGENT_CLASS], "agent main window")
    assert main["visible"] == "0", main
    own = [w for w in windows if w["pid"] == main["pid"] and w is not main
           and not (w["class"] == "IME" and w["visible"] == "0")]
    assert own == [], f"unexpected windows of the agent: {own}"
    dialogs = [w for w in windows if w["class"] == "#32770"]
    assert dialogs == [], f"dialog boxes: {dialogs}"


def insert_while_emulator_runs_minimised(machine, program: str, title: str) -> None:
    """Starts the installed `program` minimised, as a user would have left
    it, then the agent, and puts a PlayStation disc in; returns once the
    emulator's window is back (restored, no longer minimised), the three
    starts a launch may make have had time and two more polls have passed."""
    machine.spawn(program, "--minimized")
    machine.wait_window(title=title, predicate=lambda w: w["iconic"] == "1",
                        message=f"{title} minimised before the agent starts")
    machine.start_agent_and_wait_first_poll()

    machine.insert("psx")
    wait_until(lambda: machine.events("restored"), message=f"{title} to be restored",
               details=machine.describe)
    machine.wait_window(title=title, predicate=lambda w: w["iconic"] == "0",
                        message=f"{title} no longer minimised")
    machine.wait_launches(3)
    machine.wait_polls(2)
