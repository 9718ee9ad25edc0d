"""Real input and read-back for the configuration window tests.

Input is real: xdotool moves the pointer, clicks and types on the worker's
Xvfb display, so every event reaches Discora.exe through the X server and
Wine's own input path, as a user's would. Without a window manager the X
input focus stays on "pointer root", and a key typed while the pointer is
over no Wine window is lost; the helpers therefore give the X focus to the
X window of the Wine window that should receive the keys (Wine hands
keyboard input to its foreground window's thread whichever of its X
windows has the X focus).

Read-back is cfgprobe.exe (tests/e2e/programs/cfgprobe.c), run inside the
prefix: the window, its controls (positions relative to the client area),
the focused control and its selection, hit-test codes of the frame, the top
level windows with their X windows, and the stored settings exactly as
stored. Pixels come from the X server (ImageMagick's `import`).
"""

from __future__ import annotations

import shutil
import subprocess
from collections import Counter
from dataclasses import dataclass
from typing import Callable, Iterable

from harness import AGENT_CLASS, TOOLS_FOLDER, Machine, parse_fields, require_file, wait_until
from tray_helpers import MENU_CLASS, TRAY_CLASS, WM_COMMAND
from xdisplay import XDisplay, read_ppm

IDM_CONFIG = 106

IDOK = 1
IDC_TXTPATH = (201, 202, 203)
IDC_BTNBROWSE = (211, 212, 213)
IDC_LBLPATH = (221, 222, 223)
IDC_BTNOK = IDOK
IDC_LBLCREDITS = 230

WS_MAXIMIZEBOX = 0x00010000
WS_MINIMIZEBOX = 0x00020000
WS_THICKFRAME = 0x00040000
WS_SYSMENU = 0x00080000
WS_CAPTION = 0x00C00000
WS_EX_TOOLWINDOW = 0x00000080
WS_EX_APPWINDOW = 0x00040000
BS_TYPEMASK = 0x0000000F
BS_PUSHBUTTON = 0
BS_DEFPUSHBUTTON = 1

HTCAPTION = 2
HTSYSMENU = 3
HTGROWBOX = 4
HTMINBUTTON = 8
HTMAXBUTTON = 9
HTSIZING = frozenset(range(10, 18)) | {HTGROWBOX}  # HTLEFT .. HTBOTTOMRIGHT
HTCLOSE = 20

# The tray menu as the agent builds it: items and separator lines in order.
TRAY_MENU = ("&Enable Autorun", "&Start only on disk mount", "&Hide icon", "-",
             "Start with utilities", "&Configure...", "-", "&About Discora...", "-", "E&xit")
MENU_CONFIGURE = TRAY_MENU.index("&Configure...")
MENU_EXIT = TRAY_MENU.index("E&xit")

CFGPROBE = TOOLS_FOLDER + "\\cfgprobe.exe"


def xy(text: str) -> tuple[int, ...]:
    return tuple(int(v) for v in text.split(","))


# --------------------------------------------------------------------------
# What cfgprobe reads


@dataclass
class WindowState:
    """One reading of a top-level window: itself, its controls, its focus."""

    window: dict
    controls: list[dict]
    focus: dict

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
    def xid(self) -> str:
        return self.window["xid"]

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


def parse_records(text: str, kind: str) -> list[dict]:
    return [r for r in map(parse_fields, text.splitlines()) if r.get("kind") == kind]


# --------------------------------------------------------------------------
# Pixels


@dataclass
class Image:
    width: int
    height: int
    pixels: bytes  # RGB, 8 bits a sample, rows top to bottom

    def pixel(self, x: int, y: int) -> tuple[int, int, int]:
        i = (y * self.width + x) * 3
        return self.pixels[i], self.pixels[i + 1], self.pixels[i + 2]

    def row(self, y: int) -> list[tuple[int, int, int]]:
        return [self.pixel(x, y) for x in range(self.width)]

    def colours(self, left: int, top: int, width: int, height: int) -> Counter:
        return Counter(self.pixel(x, y) for y in range(top, top + height)
                       for x in range(left, left + width))


def parse_ppm(data: bytes) -> Image:
    return Image(*read_ppm(data))


# --------------------------------------------------------------------------
# The tray menu's geometry, read from its picture


def menu_item_centres(image: Image, layout: Iterable[str] = TRAY_MENU) -> list[int] | None:
    """The vertical centre (in the menu window) of every entry of `layout`,
    found from the separator lines in the menu's picture; None while the
    picture does not show one line per separator.

    Separator lines are the rows drawn across the menu in one colour other
    than the menu's background. Between two lines lie one separator height
    and a known number of item heights, so two gaps with different item
    counts give both heights."""
    layout = list(layout)
    background = image.colours(0, 0, image.width, image.height).most_common(1)[0][0]
    margin = max(3, image.width // 10)
    rows = []
    for y in range(2, image.height - 2):
        counts = Counter(image.pixel(x, y) for x in range(margin, image.width - margin))
        colour, n = counts.most_common(1)[0]
        if colour != background and n >= 0.95 * (image.width - 2 * margin):
            rows.append(y)
    lines: list[list[int]] = []
    for y in rows:
        if lines and y - lines[-1][-1] <= 1:
            lines[-1].append(y)
        else:
            lines.append([y])
    separators = [i for i, caption in enumerate(layout) if caption == "-"]
    if len(lines) != len(separators) or len(separators) < 3:
        return None
    centres = [sum(line) / len(line) for line in lines]
    gaps = [(centres[k + 1] - centres[k], separators[k + 1] - separators[k] - 1)
            for k in range(len(separators) - 1)]
    pairs = [(a, b) for a in gaps for b in gaps if a[1] != b[1]]
    if not pairs:
        return None
    (d1, n1), (d2, n2) = pairs[0]
    item = (d1 - d2) / (n1 - n2)
    separator = d1 - n1 * item
    if item <= 4 or separator <= 0:
        return None
    result = []
    for index, caption in enumerate(layout):
        # Measured from the nearest separator line above, or below for the
        # items before the first one.
        above = [k for k, s in enumerate(separators) if s <= index]
        if above:
            k = above[-1]
            between = index - separators[k]
            y = centres[k] if between == 0 else \
                centres[k] + separator / 2 + (between - 0.5) * item
        else:
            between = separators[0] - index
            y = centres[0] - separator / 2 - (between - 0.5) * item
        result.append(round(y))
    return result


# --------------------------------------------------------------------------
# The desktop of one test


class Desktop(XDisplay):
    """The worker's X display and the Wine windows on it, for one test."""

    def __init__(self, machine: Machine) -> None:
        super().__init__(machine)
        shutil.copyfile(require_file(machine.programs / "cfgprobe.exe", "cfgprobe.exe"),
                        machine.unix_path(CFGPROBE))

    def grab(self, left: int, top: int, width: int, height: int) -> Image:
        """The screen's pixels in a rectangle."""
        image = Image(*self.grab_ppm(crop=(left, top, width, height)))
        assert (image.width, image.height) == (width, height), "the grab is not the rectangle"
        return image

    # -- reading windows from inside the prefix ------------------------------

    def cfgprobe(self, *args: str) -> subprocess.CompletedProcess:
        return self.machine.wine(CFGPROBE, *args)

    def state(self, cls: str | None = AGENT_CLASS, title: str | None = None) -> WindowState | None:
        args = ["state"]
        if cls:
            args += ["-c", cls]
        if title:
            args += ["-t", title]
        result = self.cfgprobe(*args)
        if result.returncode != 0:
            return None
        windows = parse_records(result.stdout, "window")
        focus = parse_records(result.stdout, "focus")
        if not windows or not focus:
            return None
        return WindowState(windows[0], parse_records(result.stdout, "control"), focus[0])

    def wait_state(self, predicate: Callable[[WindowState], bool], message: str,
                   cls: str | None = AGENT_CLASS, title: str | None = None,
                   timeout: float = 30) -> WindowState:
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

    def wait_shown(self) -> WindowState:
        """Waits until the window is visible and activated: one of its
        controls has the focus (the window becomes visible a moment before
        its activation gives a control the focus)."""
        return self.wait_state(lambda s: s.visible and s.focused_text is not None,
                               "the configuration window to be shown and activated")

    def wait_hidden(self) -> WindowState:
        return self.wait_state(lambda s: not s.visible, "the configuration window to be hidden")

    def wait_gone(self, cls: str | None, title: str | None, message: str) -> None:
        wait_until(lambda: self.state(cls, title) is None, 30, message, interval=0.05,
                   details=self.machine.describe)

    def windows(self) -> list[dict]:
        return parse_records(self.cfgprobe("windows").stdout, "window")

    def visible_menus(self) -> list[dict]:
        return [w for w in self.windows() if w["class"] == MENU_CLASS and w["visible"] == "1"]

    def hit_tests(self, points: Iterable[tuple[int, int]]) -> dict[tuple[int, int], int]:
        points = list(points)
        out = self.cfgprobe("hittest", "-c", AGENT_CLASS,
                            *[f"{x},{y}" for x, y in points]).stdout
        return {(int(r["x"]), int(r["y"])): int(r["code"]) for r in parse_records(out, "hit")}

    def caption(self) -> dict:
        out = self.cfgprobe("caption", "-c", AGENT_CLASS).stdout
        records = parse_records(out, "caption")
        assert records, f"no caption reading: {out!r}"
        return records[0]

    def stored(self) -> dict[str, str]:
        """The agent's stored settings, each REG_SZ value exactly as stored."""
        out = self.cfgprobe("settings").stdout
        values = {}
        for r in parse_records(out, "value"):
            assert r["type"] == "1", f"{r['name']} is not stored as text: {r}"
            values[r["name"]] = r["data"][1:-1]
        return values

    # -- the agent's window ------------------------------------------------

    def show_by_command(self) -> WindowState:
        """What the tray menu's "&Configure..." sends: WM_COMMAND with its id."""
        self.machine.probe("post", "-c", AGENT_CLASS, hex(WM_COMMAND), str(IDM_CONFIG), "0",
                           check=True)
        return self.wait_shown()

    def wait_field(self, index: int, text: str) -> WindowState:
        return self.wait_state(lambda s: s.text(IDC_TXTPATH[index]) == text,
                               f"path field {index} to read {text!r}")

    def wait_focus(self, control_id: int, **kwargs) -> WindowState:
        return self.wait_state(lambda s: s.focus_id == control_id,
                               f"control {control_id} to have the focus", **kwargs)

    def click_control(self, state: WindowState, control_id: int) -> None:
        self.click(*state.screen_point(control_id))

    # -- the tray --------------------------------------------------------------

    def tray_icon_point(self) -> tuple[int, int]:
        """The centre of the first (the agent's only) icon in Wine's tray
        window: icons are square, as high as the window, from the left."""
        def tray() -> dict | None:
            found = [w for w in self.windows() if w["class"] == TRAY_CLASS and w["visible"] == "1"]
            return found[0] if found else None
        window = wait_until(tray, 30, "Wine's tray window with the agent's icon", interval=0.2,
                            details=self.machine.describe)
        ox, oy = xy(window["origin"])
        _, height = xy(window["client"])
        return ox + height // 2, oy + height // 2

    def open_tray_menu(self) -> tuple[dict, list[int]]:
        """Right-clicks the tray icon; returns the open menu's window and the
        screen y of each of its entries once it is drawn."""
        x, y = self.tray_icon_point()
        self.click(x, y, button=3)
        menu = wait_until(lambda: (self.visible_menus() or [None])[0], 30,
                          "the tray menu to open", interval=0.1, details=self.machine.describe)
        left, top, right, bottom = xy(menu["rect"])

        def drawn() -> list[int] | None:
            return menu_item_centres(self.grab(left, top, right - left, bottom - top))
        centres = wait_until(drawn, 30, "the tray menu to be drawn with its separators",
                             interval=0.1)
        return menu, [top + c for c in centres]

    def choose_tray_menu_item(self, index: int) -> None:
        """Opens the tray menu with a real right-click and clicks one entry."""
        menu, centres = self.open_tray_menu()
        left, _, right, _ = xy(menu["rect"])
        self.click((left + right) // 2, centres[index])
