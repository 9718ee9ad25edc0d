"""The worker's X display as a user's hands and eyes, and the Wine windows
on it: the agent's tray icon, its pop-up menu, its configuration window and
the message boxes, seen and used as a user would.

Input is real: xdotool moves the pointer, clicks and types, so every event
reaches Discora.exe through the X server and Wine's own input path. Without
a window manager the X input focus stays on "pointer root", and a key typed
while the pointer is over no Wine window is lost: keys go to the X window of
the Wine window that should get them, which is given the X input focus first
(Wine hands a key to the thread of the X window that has the focus).

Pixels come from the X server (ImageMagick's `import`). Windows, their
controls and focus are read from inside the prefix with probe.exe; the open
pop-up menu is read live from inside the agent (probe.exe's menu spy): its
items, their check marks and their places on the screen.

Wine 8 without a desktop shell shows notification icons in a small X window
of its explorer.exe titled "Wine System Tray" (Win32 class
"__winex11_standalone_tray"), at the top left of the screen: one 20 x 20
pixel cell per icon, left to right, the 16 x 16 icon drawn 2 pixels in. The
window is mapped while it holds at least one icon and unmapped when the last
one is deleted. An icon is therefore "shown" when that window is mapped and
its first cell holds the program's own icon, and "not shown" when the window
is absent or unmapped.
"""

from __future__ import annotations

import functools
import math
import subprocess
import tempfile
from collections import Counter
from dataclasses import dataclass
from pathlib import Path
from typing import Callable, Iterable

from harness import (
    AGENT_CLASS,
    DEADLINE,
    ID,
    SYSTEM_TRAY_TITLE,
    WM_COMMAND,
    Machine,
    discora_exe,
    parse_fields,
    wait_until,
)

TRAY_CLASS = "__winex11_standalone_tray"
MENU_CLASS = "#32768"
DIALOG_CLASS = "#32770"

CELL = 20  # one icon's cell in Wine's tray window
ICON = 16  # the small icon drawn in it
ICON_OFFSET = 2
# Root mean square difference (0..1) between the first cell and the
# program's icon scaled to 16 x 16: about 0.15 for the icon as Wine draws
# it, above 0.3 for an empty cell.
ICON_MATCH = 0.2

IDC_TXTPATH = tuple(ID.IDC_TXTPATH0 + row for row in range(3))
IDC_BTNBROWSE = tuple(ID.IDC_BTNBROWSE0 + row for row in range(3))
IDC_LBLPATH = tuple(ID.IDC_LBLPATH0 + row for row in range(3))

# What the agent shows, by id: the tray menu's items in display order (a
# separator line as "-") and the configuration window's fixed captions.
CAPTIONS = {
    ID.IDM_AUTORUN: "&Enable Autorun",
    ID.IDM_START: "&Start only on disk mount",
    ID.IDM_HIDE: "&Hide icon",
    ID.IDM_SEP: "-",
    ID.IDM_UTILITY: "Start with utilities",
    ID.IDM_CONFIG: "&Configure...",
    ID.IDM_SEP1: "-",
    ID.IDM_ABOUT: "&About Discora...",
    ID.IDM_SEP2: "-",
    ID.IDM_EXIT: "E&xit",
    IDC_BTNBROWSE[0]: "...",
    IDC_BTNBROWSE[1]: "...",
    IDC_BTNBROWSE[2]: "...",
    IDC_LBLPATH[0]: "VGSJoy Path:",
    IDC_LBLPATH[1]: "[pec] Path:",
    IDC_LBLPATH[2]: "Another Utility  Path:",
    ID.IDC_BTNOK: "OK",
}
TRAY_MENU = [i for i in CAPTIONS if ID.IDM_AUTORUN <= i <= ID.IDM_EXIT]


def xy(text: str) -> tuple[int, ...]:
    return tuple(int(v) for v in text.split(","))


def records(text: str, kind: str) -> list[dict]:
    return [r for r in map(parse_fields, text.splitlines()) if r.get("kind") == kind]


# --------------------------------------------------------------------------
# Pixels


@dataclass
class Image:
    """An RGB image, 8 bits a sample, rows top to bottom."""

    width: int
    height: int
    rgb: bytes

    @staticmethod
    def from_ppm(data: bytes) -> "Image":
        """A binary PPM (P6) with 8-bit samples, as `import -depth 8` and
        `convert -depth 8` write it."""
        fields: list[bytes] = []
        pos = 0
        while len(fields) < 4:  # magic, width, height, maximum
            while data[pos:pos + 1].isspace():
                pos += 1
            if data[pos:pos + 1] == b"#":
                pos = data.index(b"\n", pos) + 1
                continue
            end = pos
            while not data[end:end + 1].isspace():
                end += 1
            fields.append(data[pos:end])
            pos = end
        pos += 1  # one whitespace byte ends the header
        magic, width, height, maxval = fields[0], int(fields[1]), int(fields[2]), int(fields[3])
        if magic != b"P6" or maxval != 255:
            raise ValueError(f"not an 8-bit PPM image: {magic!r} {maxval}")
        return Image(width, height, data[pos:pos + width * height * 3])

    def pixel(self, x: int, y: int) -> tuple[int, int, int]:
        i = (y * self.width + x) * 3
        return self.rgb[i], self.rgb[i + 1], self.rgb[i + 2]

    def crop(self, x: int, y: int, width: int, height: int) -> "Image":
        rows = [self.rgb[((y + r) * self.width + x) * 3:((y + r) * self.width + x + width) * 3]
                for r in range(height)]
        return Image(width, height, b"".join(rows))

    def colours(self, left: int = 0, top: int = 0, width: int | None = None,
                height: int | None = None) -> Counter:
        """How often each colour occurs, in the whole image or a box of it."""
        width = self.width - left if width is None else width
        height = self.height - top if height is None else height
        return Counter(self.pixel(x, y) for y in range(top, top + height)
                       for x in range(left, left + width))

    def difference(self, other: "Image") -> float:
        """Root mean square difference of the channels, 0 (same) to 1."""
        assert (self.width, self.height) == (other.width, other.height)
        total = sum((a - b) ** 2 for a, b in zip(self.rgb, other.rgb))
        return math.sqrt(total / len(self.rgb)) / 255


@functools.lru_cache(maxsize=None)
def program_icon(exe: Path) -> Image:
    """The icon resource of the built Discora.exe, as the tray would show
    it: on a white cell, scaled to 16 x 16."""
    with tempfile.TemporaryDirectory() as folder:
        ico = Path(folder) / "program.ico"
        subprocess.run(["wrestool", "-x", "-t", "14", str(exe), "-o", str(ico)], check=True,
                       capture_output=True)
        ppm = subprocess.run(["convert", str(ico), "-background", "white", "-flatten",
                              "-filter", "box", "-resize", f"{ICON}x{ICON}!", "-depth", "8",
                              "ppm:-"], check=True, capture_output=True).stdout
    return Image.from_ppm(ppm)


# --------------------------------------------------------------------------
# Windows read from inside the prefix


@dataclass
class WindowState:
    """One reading of a top-level window: itself, its controls, its focus."""

    window: dict
    controls: list[dict]
    focus: dict
    desktop: dict

    @property
    def visible(self) -> bool:
        return self.window["visible"] == "1"

    @property
    def rect(self) -> tuple[int, int, int, int]:
        return xy(self.window["rect"])

    @property
    def origin(self) -> tuple[int, int]:
        return xy(self.window["origin"])

    @property
    def client(self) -> tuple[int, int]:
        return xy(self.window["client"])

    @property
    def xwindow(self) -> str:
        return self.window["xwindow"]

    def control(self, control_id: int, cls: str | None = None) -> dict:
        found = [c for c in self.controls if int(c["id"]) == control_id and
                 (cls is None or c["class"].lower() == cls.lower())]
        assert found, f"no control {control_id} in {self.window['text']!r}:\n{self.describe()}"
        return found[0]

    def text(self, control_id: int) -> str:
        return self.control(control_id)["text"]

    def box(self, control_id: int) -> tuple[int, int, int, int]:
        """left, top, width, height relative to the client area."""
        c = self.control(control_id)
        return int(c["left"]), int(c["top"]), int(c["width"]), int(c["height"])

    def screen_point(self, control_id: int, dx: float = 0.5, dy: float = 0.5) -> tuple[int, int]:
        """A screen point inside a control, by default its centre."""
        left, top, width, height = self.box(control_id)
        ox, oy = self.origin
        return ox + left + int(width * dx), oy + top + int(height * dy)

    @property
    def focus_id(self) -> int | None:
        return int(self.focus["focus_id"]) if self.focus.get("focus", "0x0") != "0x0" else None

    @property
    def focused_text(self) -> str | None:
        found = [c for c in self.controls if c["hwnd"] == self.focus.get("focus")]
        return found[0]["text"] if found else None

    @property
    def selection(self) -> tuple[int, int]:
        return int(self.focus["sel_start"]), int(self.focus["sel_end"])

    def describe(self) -> str:
        lines = [f"window: {self.window}"]
        lines += [f"  {c['id']:>5} {c['class']:<10} {c['left']},{c['top']},{c['width']},"
                  f"{c['height']} {c['text']!r}" for c in self.controls]
        lines.append(f"focus: {self.focus}")
        return "\n".join(lines)


@dataclass
class MenuItem:
    """One item of the open pop-up menu, as the menu holds it."""

    id: int
    text: str
    separator: bool
    checked: bool
    grayed: bool
    rect: tuple[int, int, int, int]  # on the screen

    @property
    def caption(self) -> str:
        return "-" if self.separator else self.text


def rect(window: dict) -> tuple[int, int, int, int]:
    return xy(window["rect"])


# --------------------------------------------------------------------------
# The desktop of one test


class Desktop:
    """The worker's X display and the Wine windows on it, for one test."""

    def __init__(self, machine: Machine) -> None:
        self.machine = machine
        self.env = {"DISPLAY": machine.env["DISPLAY"], "PATH": machine.env.get("PATH", "")}
        self.tray = Tray(self)

    # -- X: pointer, keys, pixels ------------------------------------------

    def run(self, *args: str, check: bool = True) -> str:
        # xdotool reads the text it types in the locale's encoding: UTF-8,
        # so that any letter can be typed (Wine's own locale is left alone).
        result = subprocess.run(list(args), env={**self.env, "LC_ALL": "C.UTF-8"},
                                capture_output=True, text=True, timeout=60)
        if check and result.returncode != 0:
            raise AssertionError(f"{' '.join(args)} failed ({result.returncode}): "
                                 f"{result.stdout}{result.stderr}")
        return result.stdout

    def xdotool(self, *args: str, check: bool = True) -> str:
        return self.run("xdotool", *args, check=check)

    def click(self, x: int, y: int, button: int = 1, repeat: int = 1) -> None:
        """Moves the pointer to x, y and clicks there: one xdotool command
        line, so the X server takes the movement before the buttons. (Its
        "--sync" waits forever when the pointer is there already.)"""
        # 80 ms between the clicks of a double-click: well inside the
        # system's double-click time (500 ms).
        self.xdotool("mousemove", str(x), str(y), "click", "--repeat", str(repeat), "--delay",
                     "80", str(button))

    def move_through(self, points: Iterable[tuple[int, int]]) -> None:
        args: list[str] = []
        for x, y in points:
            args += ["mousemove", str(x), str(y)]
        self.xdotool(*args)

    def pointer(self) -> tuple[int, int]:
        fields = dict(part.split(":") for part in self.xdotool("getmouselocation").split())
        return int(fields["x"]), int(fields["y"])

    def key(self, xwindow: str, *keys: str) -> None:
        """Presses `keys` in the Wine window whose X window is `xwindow`."""
        self.xdotool("windowfocus", "--sync", xwindow)
        self.xdotool("key", "--delay", "40", *keys)

    def type_text(self, xwindow: str, text: str) -> None:
        self.xdotool("windowfocus", "--sync", xwindow)
        self.xdotool("type", "--delay", "20", text)

    def grab(self, box: tuple[int, int, int, int] | None = None, xwindow: str = "root") -> Image:
        """The pixels of an X window, or of a box (left, top, width, height)
        of it."""
        args = ["import", "-window", xwindow]
        if box:
            left, top, width, height = box
            args += ["-crop", f"{width}x{height}+{left}+{top}", "+repage"]
        data = subprocess.run([*args, "-depth", "8", "ppm:-"], env=self.env,
                              capture_output=True, timeout=60, check=True).stdout
        image = Image.from_ppm(data)
        assert not box or (image.width, image.height) == box[2:], "the grab is not the box"
        return image

    def save_png(self, path: Path, left: int, top: int, width: int, height: int) -> None:
        """A PNG of part of the screen."""
        path.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{left}+{top}",
                        "+repage", str(path)], env=self.env, check=True, timeout=60)

    def mapped(self, xwindow: str) -> bool:
        return "Map State: IsViewable" in self.run("xwininfo", "-id", xwindow, check=False)

    def geometry(self, xwindow: str) -> tuple[int, int, int, int]:
        """Absolute x, y, width and height of an X window."""
        values = {}
        for line in self.run("xwininfo", "-id", xwindow).splitlines():
            key, sep, value = line.strip().partition(":")
            if sep:
                values[key] = value.strip()
        return (int(values["Absolute upper-left X"]), int(values["Absolute upper-left Y"]),
                int(values["Width"]), int(values["Height"]))

    # -- windows, read from inside the prefix --------------------------------

    def state(self, cls: str | None = AGENT_CLASS, title: str | None = None) -> WindowState | None:
        args = ["state"] + (["-c", cls] if cls else []) + (["-t", title] if title else [])
        result = self.machine.probe(*args)
        if result.returncode != 0:
            return None
        out = result.stdout
        windows, focus, desktop = (records(out, k) for k in ("window", "focus", "desktop"))
        if not windows or not focus or not desktop:
            return None
        return WindowState(windows[0], records(out, "control"), focus[0], desktop[0])

    def wait_state(self, predicate: Callable[[WindowState], bool], message: str,
                   cls: str | None = AGENT_CLASS, title: str | None = None,
                   timeout: float = DEADLINE) -> WindowState:
        last: list[WindowState | None] = [None]

        def check() -> WindowState | None:
            state = self.state(cls, title)
            last[0] = state
            return state if state is not None and predicate(state) else None

        def details() -> str:
            state = last[0]
            return (state.describe() if state else "(window not found)") + \
                "\n" + self.machine.describe()
        return wait_until(check, timeout, message, interval=0.05, details=details)

    def wait_gone(self, cls: str | None, title: str | None, message: str) -> None:
        wait_until(lambda: self.state(cls, title) is None, DEADLINE, message, interval=0.05,
                   details=self.machine.describe)

    def visible_menus(self) -> list[dict]:
        return [w for w in self.machine.windows()
                if w["class"] == MENU_CLASS and w["visible"] == "1"]

    def hit_tests(self, points: Iterable[tuple[int, int]]) -> dict[tuple[int, int], int]:
        out = self.machine.probe("hittest", "-c", AGENT_CLASS,
                                 *[f"{x},{y}" for x, y in points]).stdout
        return {(int(r["x"]), int(r["y"])): int(r["code"]) for r in records(out, "hit")}

    def caption(self) -> dict:
        out = self.machine.probe("caption", "-c", AGENT_CLASS).stdout
        found = records(out, "caption")
        assert found, f"no caption reading: {out!r}"
        return found[0]

    # -- the configuration window ------------------------------------------

    def wait_shown(self) -> WindowState:
        """Waits until the window is visible and activated: one of its
        controls has the focus (the window becomes visible a moment before
        its activation gives a control the focus)."""
        return self.wait_state(lambda s: s.visible and s.focused_text is not None,
                               "the configuration window to be shown and activated")

    def wait_hidden(self) -> WindowState:
        return self.wait_state(lambda s: not s.visible, "the configuration window to be hidden")

    def show_by_command(self) -> WindowState:
        """What the tray menu's "&Configure..." sends: WM_COMMAND with its id."""
        self.machine.post_to_agent(WM_COMMAND, ID.IDM_CONFIG)
        return self.wait_shown()

    def wait_field(self, index: int, text: str) -> WindowState:
        return self.wait_state(lambda s: s.text(IDC_TXTPATH[index]) == text,
                               f"path field {index} to read {text!r}")

    def wait_focus(self, control_id: int, **kwargs) -> WindowState:
        return self.wait_state(lambda s: s.focus_id == control_id,
                               f"control {control_id} to have the focus", **kwargs)

    def click_control(self, state: WindowState, control_id: int) -> None:
        self.click(*state.screen_point(control_id))

    # -- the pop-up menu ---------------------------------------------------

    def menu_items(self) -> list[MenuItem]:
        """The items of the agent's open pop-up menu, read from inside the
        agent (waits up to 10 s for the menu to open)."""
        result = self.machine.probe("menu", "-c", AGENT_CLASS)
        found = [parse_fields(line) for line in result.stdout.splitlines() if line.strip()]
        assert result.returncode == 0 and found, \
            f"no open menu in the agent ({result.returncode}): {result.stdout}{result.stderr}"
        assert {r["menu"] for r in found} == {"0"}, f"more than one menu open: {found}"
        return [MenuItem(int(r["id"]), r["text"], r["separator"] == "1", r["checked"] == "1",
                         r["grayed"] == "1", xy(r["rect"])) for r in found]

    def menu_window(self) -> dict:
        """The open menu's window, once X shows it (so clicks reach it)."""
        menu = self.machine.wait_window(cls=MENU_CLASS, predicate=lambda w: w["visible"] == "1",
                                        message="the pop-up menu's window")
        wait_until(lambda: self.mapped(menu["xwindow"]), DEADLINE, "the menu mapped by X",
                   interval=0.05)
        return menu

    def wait_menu_closed(self, timeout: float = DEADLINE) -> None:
        result = self.machine.probe("wait", "-c", MENU_CLASS, "--gone", "--timeout",
                                    str(int(timeout * 1000)))
        assert result.returncode == 0, f"the menu is still open: {result.stdout}"

    def open_menu(self) -> tuple[list[MenuItem], dict]:
        """Right-clicks the icon; returns the open menu's items and window."""
        self.tray.right_click_icon()
        items = self.menu_items()
        return items, self.menu_window()

    def choose(self, menu: dict, access_key: str) -> None:
        """Chooses a menu item with its access key, as a user at the keyboard."""
        self.key(menu["xwindow"], access_key)

    def click_menu_item(self, command: int) -> None:
        """Opens the tray menu with a real right-click and clicks the item
        of that command id where the menu shows it."""
        items, _ = self.open_menu()
        left, top, right, bottom = next(i.rect for i in items if i.id == command)
        self.click((left + right) // 2, (top + bottom) // 2)

    # -- message boxes -----------------------------------------------------

    def wait_box(self, title: str) -> dict:
        """A message box (dialog class) with that title, once shown."""
        return self.machine.wait_window(cls=DIALOG_CLASS, title=title,
                                        predicate=lambda w: w["visible"] == "1",
                                        message=f"the message box {title!r}")

    def box_controls(self, title: str) -> list[dict]:
        state = self.state(DIALOG_CLASS, title)
        assert state, f"no message box {title!r}"
        return state.controls

    def wait_box_closed(self, title: str) -> None:
        result = self.machine.probe("wait", "-c", DIALOG_CLASS, "-t", title, "--gone",
                                    "--timeout", str(int(DEADLINE * 1000)))
        assert result.returncode == 0, f"the message box {title!r} is still open"


class Tray:
    """Wine's tray window and the agent's icon in it."""

    def __init__(self, desktop: Desktop) -> None:
        self.desktop = desktop
        self.machine = desktop.machine

    def xwindow(self) -> str | None:
        ids = self.desktop.xdotool("search", "--name", f"^{SYSTEM_TRAY_TITLE}$",
                                   check=False).split()
        return ids[0] if ids else None

    def window(self) -> dict | None:
        """The tray window as Windows sees it (probe's fields)."""
        return self.machine.find_window(cls=TRAY_CLASS)

    def cells(self) -> list[Image] | None:
        """The icon cells of the tray window, or None when it is not shown."""
        xwindow = self.xwindow()
        if xwindow is None or not self.desktop.mapped(xwindow):
            return None
        image = self.desktop.grab(xwindow=xwindow)
        return [image.crop(x + ICON_OFFSET, ICON_OFFSET, ICON, ICON)
                for x in range(0, image.width - CELL + 1, CELL)]

    def state(self) -> str:
        """"icon": the window is shown with the program's icon in its first
        cell and nothing in the others; "none": no tray window is shown;
        anything else says what is there instead."""
        cells = self.cells()
        if cells is None:
            return "none"
        difference = cells[0].difference(program_icon(discora_exe()))
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
        """The centre of the first (the agent's only) icon, once the tray
        window is shown."""
        def shown() -> str | None:
            xwindow = self.xwindow()
            return xwindow if xwindow and self.desktop.mapped(xwindow) else None
        xwindow = wait_until(shown, DEADLINE, "Wine's tray window", interval=0.2,
                             details=self.machine.describe)
        x, y, _, _ = self.desktop.geometry(xwindow)
        return x + CELL // 2, y + CELL // 2

    def double_click_icon(self) -> None:
        self.desktop.click(*self.icon_point(), button=1, repeat=2)

    def right_click_icon(self) -> None:
        self.desktop.click(*self.icon_point(), button=3)
