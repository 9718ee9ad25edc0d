"""The worker's Xvfb display as a user's hands and eyes: xdotool moves the
pointer, clicks and types, ImageMagick's `import` reads the pixels.

Every event therefore reaches Discora.exe through the X server and Wine's
own input path. Without a window manager the X input focus stays on
"pointer root", and a key typed while the pointer is over no Wine window is
lost: keys go to the X window of the Wine window that should get them,
which is given the X input focus first (Wine hands a key to the thread of
the X window that has the focus).
"""

from __future__ import annotations

import subprocess
from pathlib import Path
from typing import Iterable

from harness import Machine


def read_ppm(data: bytes) -> tuple[int, int, bytes]:
    """Width, height and RGB bytes of a binary PPM (P6) with 8-bit samples,
    as `import -depth 8` and `convert -depth 8` write it."""
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
    return width, height, data[pos:pos + width * height * 3]


class XDisplay:
    """Pointer, keys and pixels of one test's X display."""

    def __init__(self, machine: Machine) -> None:
        self.machine = machine
        self.env = {"DISPLAY": machine.env["DISPLAY"], "PATH": machine.env.get("PATH", "")}

    def run(self, *args: str, check: bool = True) -> str:
        result = subprocess.run(list(args), env=self.env, capture_output=True, text=True,
                                timeout=60)
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

    def give_keyboard(self, xwindow: str) -> None:
        """Gives the X input focus to a (mapped) Wine X window."""
        self.xdotool("windowfocus", "--sync", xwindow)

    def key(self, xwindow: str, *keys: str) -> None:
        """Presses `keys` in the Wine window whose X window is `xwindow`."""
        self.give_keyboard(xwindow)
        self.xdotool("key", "--delay", "40", *keys)

    def type_text(self, xwindow: str, text: str) -> None:
        self.give_keyboard(xwindow)
        self.xdotool("type", "--delay", "20", text)

    def grab_ppm(self, xwindow: str = "root",
                 crop: tuple[int, int, int, int] | None = None) -> tuple[int, int, bytes]:
        """The pixels of an X window, or of a rectangle (left, top, width,
        height) of it."""
        args = ["import", "-window", xwindow]
        if crop:
            left, top, width, height = crop
            args += ["-crop", f"{width}x{height}+{left}+{top}", "+repage"]
        data = subprocess.run([*args, "-depth", "8", "ppm:-"], env=self.env,
                              capture_output=True, timeout=60, check=True).stdout
        return read_ppm(data)

    def save_png(self, path: Path, left: int, top: int, width: int, height: int) -> None:
        """A PNG of part of the screen."""
        path.parent.mkdir(parents=True, exist_ok=True)
        subprocess.run(["import", "-window", "root", "-crop", f"{width}x{height}+{left}+{top}",
                        "+repage", str(path)], env=self.env, check=True, timeout=60)
