"""The tray icon and the tray menu of the real Discora.exe, seen and used
as a user would: on the worker's Xvfb display, through Wine's own tray.

Wine 8 without a desktop shell shows notification icons in a small X window
of its explorer.exe titled "Wine System Tray" (Win32 class
"__winex11_standalone_tray"), at the top left of the screen: one 20 x 20
pixel cell per icon, left to right, the 16 x 16 icon drawn 2 pixels in.
The window is mapped while it holds at least one icon and unmapped when the
last one is deleted. An icon is therefore "shown" when that window is
mapped and its first cell holds the program's own icon, and "not shown"
when the window is absent or unmapped.

Input is real: xdotool moves the pointer and clicks on the icon, so every
event goes through the X server, Wine's tray and its callback to the agent.
Keys go to the Wine window that should get them: the helpers give its X
window the X input focus first (Wine hands a key to the thread of the X
window that has the focus). Pop-up menus and message boxes are read from
inside the prefix with probe.exe.
"""

from __future__ import annotations

import functools
import math
import subprocess
import tempfile
from dataclasses import dataclass
from pathlib import Path

from harness import AGENT_CLASS, DEADLINE, Machine, discora_exe, parse_fields, wait_until
from xdisplay import XDisplay, read_ppm

WM_CLOSE = 0x0010
WM_QUERYENDSESSION = 0x0011
WM_ENDSESSION = 0x0016
WM_COMMAND = 0x0111
WM_MOUSEMOVE = 0x0200
WM_LBUTTONDBLCLK = 0x0203
WM_RBUTTONUP = 0x0205
DBT_DEVICEARRIVAL = 0x8000
DBT_DEVICEREMOVECOMPLETE = 0x8004
DBTF_MEDIA = 0x0001
VK_SHIFT = 0x10
BS_DEFPUSHBUTTON = 0x1
SS_ICON = 0x3

# Menu command ids (res/resource.h).
IDM_AUTORUN = 101
IDM_EXIT = 110

TRAY_TITLE = "Wine System Tray"
TRAY_CLASS = "__winex11_standalone_tray"
MENU_CLASS = "#32768"
DIALOG_CLASS = "#32770"
TRAY_ICON_ID = 1

CELL = 20  # one icon's cell in Wine's tray window
ICON = 16  # the small icon drawn in it
ICON_OFFSET = 2
# Root mean square difference (0..1) between the first cell and the
# program's icon scaled to 16 x 16: about 0.15 for the icon as Wine draws
# it, above 0.3 for an empty cell.
ICON_MATCH = 0.2


# --------------------------------------------------------------------------
# Pixels


@dataclass
class Pixels:
    """An RGB image, 8 bits a channel."""

    width: int
    height: int
    rgb: bytes

    @staticmethod
    def from_ppm(data: bytes) -> "Pixels":
        return Pixels(*read_ppm(data))

    def crop(self, x: int, y: int, width: int, height: int) -> "Pixels":
        rows = [self.rgb[((y + r) * self.width + x) * 3:((y + r) * self.width + x + width) * 3]
                for r in range(height)]
        return Pixels(width, height, b"".join(rows))

    def colours(self) -> set[bytes]:
        return {self.rgb[i:i + 3] for i in range(0, len(self.rgb), 3)}

    def difference(self, other: "Pixels") -> float:
        """Root mean square difference of the channels, 0 (same) to 1."""
        assert (self.width, self.height) == (other.width, other.height)
        total = sum((a - b) ** 2 for a, b in zip(self.rgb, other.rgb))
        return math.sqrt(total / len(self.rgb)) / 255


@functools.lru_cache(maxsize=None)
def program_icon(exe: Path) -> Pixels:
    """The icon resource of the built Discora.exe, as the tray would show
    it: on a white cell, scaled to 16 x 16."""
    with tempfile.TemporaryDirectory() as folder:
        ico = Path(folder) / "program.ico"
        subprocess.run(["wrestool", "-x", "-t", "14", str(exe), "-o", str(ico)], check=True,
                       capture_output=True)
        ppm = subprocess.run(["convert", str(ico), "-background", "white", "-flatten",
                              "-filter", "box", "-resize", f"{ICON}x{ICON}!", "-depth", "8",
                              "ppm:-"], check=True, capture_output=True).stdout
    return Pixels.from_ppm(ppm)


# --------------------------------------------------------------------------
# The X side: pointer, keys, pixels


class Screen(XDisplay):
    """The worker's X display, also read with xwininfo."""

    def mapped(self, xwindow: str) -> bool:
        out = self.run("xwininfo", "-id", xwindow, check=False)
        return "Map State: IsViewable" in out

    def geometry(self, xwindow: str) -> tuple[int, int, int, int]:
        """Absolute x, y, width and height of an X window."""
        values = {}
        for line in self.run("xwininfo", "-id", xwindow).splitlines():
            key, sep, value = line.strip().partition(":")
            if sep:
                values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    def grab(self, xwindow: str = "root") -> Pixels:
        return Pixels(*self.grab_ppm(xwindow))


# --------------------------------------------------------------------------
# Wine's tray window


class Tray:
    """Wine's tray window and the agent's icon in it."""

    def __init__(self, machine: Machine, screen: Screen) -> None:
        self.machine = machine
        self.screen = screen

    def xwindow(self) -> str | None:
        ids = self.screen.xdotool("search", "--name", f"^{TRAY_TITLE}$", check=False).split()
        return ids[0] if ids else None

    def window(self) -> dict | None:
        """The tray window as Windows sees it (probe's fields)."""
        return self.machine.find_window(cls=TRAY_CLASS)

    def cells(self) -> list[Pixels] | None:
        """The icon cells of the tray window, or None when it is not shown."""
        xwindow = self.xwindow()
        if xwindow is None or not self.screen.mapped(xwindow):
            return None
        image = self.screen.grab(xwindow)
        return [image.crop(x + ICON_OFFSET, ICON_OFFSET, ICON, ICON)
                for x in range(0, image.width - CELL + 1, CELL)]

    def state(self) -> str:
        """"icon": the window is shown with the program's icon in its first
        cell and nothing in the others; "none": no tray window is shown;
        anything else says what is there instead."""
        cells = self.cells()
        if cells is None:
            return "none"
        icon = program_icon(discora_exe())
        difference = cells[0].difference(icon)
        blank = [len(cell.colours()) == 1 for cell in cells[1:]]
        if difference < ICON_MATCH and all(blank):
            return "icon"
        return (f"tray shown, first cell {difference:.3f} from the program's icon, "
                f"cells after it blank: {blank}")

    def wait_icon(self, message: str = "the icon in the tray") -> None:
        wait_until(lambda: self.state() == "icon", DEADLINE, message, interval=0.2,
                   details=lambda: f"tray: {self.state()}\n{self.machine.describe()}")

    def wait_no_icon(self, message: str = "the tray without the icon") -> None:
        wait_until(lambda: self.state() == "none", DEADLINE, message, interval=0.2,
                   details=lambda: f"tray: {self.state()}\n{self.machine.describe()}")

    def assert_no_icon_now(self) -> None:
        """For a moment when any icon add would already have happened: the
        tray window is hidden for Windows and unmapped for X."""
        window = self.window()
        assert window is None or window["visible"] == "0", window
        assert self.state() == "none", self.state()

    def icon_point(self) -> tuple[int, int]:
        xwindow = self.xwindow()
        assert xwindow, "no tray window"
        x, y, _, _ = self.screen.geometry(xwindow)
        return x + CELL // 2, y + CELL // 2

    def double_click_icon(self) -> None:
        self.screen.click(*self.icon_point(), button=1, repeat=2)

    def right_click_icon(self) -> None:
        self.screen.click(*self.icon_point(), button=3)


# --------------------------------------------------------------------------
# The agent's pop-up menu and message boxes


@dataclass
class MenuItem:
    id: int
    text: str
    separator: bool
    checked: bool
    grayed: bool

    @property
    def caption(self) -> str:
        return "-" if self.separator else self.text


def open_menu_items(machine: Machine) -> list[MenuItem]:
    """The items of the agent's open pop-up menu, read from inside the
    agent (waits up to 10 s for the menu to open)."""
    result = machine.probe("menu", "-c", AGENT_CLASS)
    records = [parse_fields(line) for line in result.stdout.splitlines() if line.strip()]
    assert result.returncode == 0 and records, \
        f"no open menu in the agent ({result.returncode}): {result.stdout}{result.stderr}"
    assert {r["menu"] for r in records} == {"0"}, f"more than one menu open: {records}"
    return [MenuItem(int(r["id"]), r["text"], r["separator"] == "1", r["checked"] == "1",
                     r["grayed"] == "1") for r in records]


def menu_window(machine: Machine) -> dict:
    return machine.wait_window(cls=MENU_CLASS, predicate=lambda w: w["visible"] == "1",
                               message="the pop-up menu's window")


def wait_menu_closed(machine: Machine, timeout: float = DEADLINE) -> None:
    result = machine.probe("wait", "-c", MENU_CLASS, "--gone", "--timeout",
                           str(int(timeout * 1000)))
    assert result.returncode == 0, f"the menu is still open: {result.stdout}"


def rect(window: dict) -> tuple[int, int, int, int]:
    left, top, right, bottom = (int(v) for v in window["rect"].split(","))
    return left, top, right, bottom


def open_menu(machine: Machine, tray: Tray) -> tuple[list[MenuItem], dict]:
    """Right-clicks the icon; returns the open menu's items and window."""
    tray.right_click_icon()
    items = open_menu_items(machine)
    return items, menu_window(machine)


def choose(screen: Screen, menu: dict, access_key: str) -> None:
    """Chooses a menu item with its access key, as a user at the keyboard."""
    screen.key(menu["xwindow"], access_key)


def wait_box(machine: Machine, title: str) -> dict:
    """A message box (dialog class) with that title, once shown."""
    return machine.wait_window(cls=DIALOG_CLASS, title=title,
                               predicate=lambda w: w["visible"] == "1",
                               message=f"the message box {title!r}")


def box_controls(machine: Machine, title: str) -> list[dict]:
    out = machine.probe("children", "-c", DIALOG_CLASS, "-t", title, check=True).stdout
    return [parse_fields(line) for line in out.splitlines() if line.strip()]


def wait_box_closed(machine: Machine, title: str) -> None:
    result = machine.probe("wait", "-c", DIALOG_CLASS, "-t", title, "--gone", "--timeout",
                           str(int(DEADLINE * 1000)))
    assert result.returncode == 0, f"the message box {title!r} is still open"


def processes(machine: Machine) -> list[str]:
    """File names of the prefix's processes, from the system's own list."""
    out = machine.probe("processes", check=True).stdout
    return [parse_fields(line)["exe"] for line in out.splitlines() if line.strip()]


def send_to_agent(machine: Machine, message: int | str, wparam: int = 0, lparam: int = 0) -> int:
    """SendMessage to the agent's window: returns once it has been handled."""
    result = machine.probe("send", "-c", AGENT_CLASS, str(message), str(wparam), str(lparam),
                           check=True)
    return int(parse_fields(result.stdout.splitlines()[0])["result"])


def tray_callback(machine: Machine, mouse_message: int) -> None:
    """The tray's callback for the icon (WM_MOUSEMOVE, icon id, the mouse
    message), sent as the tray sends it: the agent has handled it when this
    returns."""
    send_to_agent(machine, WM_MOUSEMOVE, TRAY_ICON_ID, mouse_message)
