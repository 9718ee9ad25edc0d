"""End-to-end tests of the tray icon and the tray menu of the real
Discora.exe under Wine: the icon in Wine's tray window, a real double-click
and a real right-click on it, the menu's items and commands, hiding the icon
and bringing it back, the about box and the home page, the end of the
program, a new taskbar, and the disc watch driven hard by device-arrival
messages.

The icon is seen on the X display (tray_helpers.Tray); clicks and keys are
real X input (xdotool). The open menu and the message boxes are read from
inside the prefix with probe.exe. Where a test must show that something did
not happen, it waits for a positive sign that the agent got past it: a
message it handled (SendMessage returns only then), a counted number of its
polls in the MCI log, or processes that have ended.
"""

import re
import time

import pytest

from harness import (
    AGENT_CAPTION,
    AGENT_CLASS,
    DEADLINE,
    EMULATOR_TITLE,
    JOY,
    PEC,
    POLL_SECONDS,
    REPO,
    TEST_FOLDER,
    VGS,
    wait_until,
)
from tray_helpers import (
    BS_DEFPUSHBUTTON,
    DBT_DEVICEARRIVAL,
    DBTF_MEDIA,
    IDM_AUTORUN,
    IDM_EXIT,
    SS_ICON,
    TRAY_ICON_ID,
    VK_SHIFT,
    WM_CLOSE,
    WM_COMMAND,
    WM_ENDSESSION,
    WM_LBUTTONDBLCLK,
    WM_QUERYENDSESSION,
    WM_RBUTTONUP,
    Screen,
    Tray,
    box_controls,
    choose,
    menu_window,
    open_menu,
    open_menu_items,
    processes,
    rect,
    send_to_agent,
    tray_callback,
    wait_box,
    wait_box_closed,
    wait_menu_closed,
)

BROWSER = TEST_FOLDER + "\\web\\browser.exe"
SCREENSHOT = REPO / "build" / "e2e" / "screenshots" / "tray-menu.png"

# The menu as it opens for a user with no stored options: caption (a
# separator line as "-") and check mark.
FRESH_MENU = [
    ("&Enable Autorun", True),
    ("&Start only on disk mount", True),
    ("&Hide icon", False),
    ("-", False),
    ("Start with utilities", True),
    ("&Configure...", False),
    ("-", False),
    ("&About Discora...", False),
    ("-", False),
    ("E&xit", False),
]
HIDE_QUESTION = "Do you want Discora always hidden?"
APP_TITLE = "Discora"
DRIVE_D = 1 << 3


def version_text(name: str) -> str:
    """A text of the program's identity, as res/version.h defines it."""
    source = (REPO / "res" / "version.h").read_text()
    return re.search(rf'#define {name} "([^"]*)"', source).group(1)


def start(machine, *programs, disc="none", settings=None):
    """The agent with stand-ins, one CD-ROM drive D: and stored options;
    returns once its start-up poll is done."""
    machine.add_cdrom("d", disc)
    machine.install_agent()
    for path in programs:
        machine.put_standin(path)
    for name, value in (settings or {}).items():
        machine.set_setting(name, value)
    screen = Screen(machine)
    tray = Tray(machine, screen)
    agent = machine.start_agent_and_wait_first_poll()
    return agent, screen, tray


def paths(launches):
    return [launch.path for launch in launches]


def wait_ended(machine, *names):
    """Waits until no process of these file names is left: every stand-in
    the agent started has then logged its start."""
    wanted = {n.rsplit("\\", 1)[-1].lower() for n in names}
    wait_until(lambda: not wanted & {p.lower() for p in processes(machine)}, DEADLINE,
               f"{sorted(wanted)} to end", details=machine.describe)


def wait_setting(machine, name, value):
    wait_until(lambda: machine.read_settings().get(name) == value, DEADLINE,
               f"{name!r} stored as {value!r}", interval=0.2,
               details=lambda: f"settings: {machine.read_settings()}")


def item(items, caption):
    return next(i for i in items if i.caption == caption)


def exit_agent(machine, agent):
    machine.probe("post", "-c", AGENT_CLASS, hex(WM_COMMAND), str(IDM_EXIT), "0", check=True)
    assert agent.wait(timeout=DEADLINE) == 0


def save_menu_screenshot(screen, tray, menu):
    """The open menu beside its icon, for the documentation: the union of
    the tray window and the menu, with a small margin. Taken once the menu
    has been drawn (its text is on the screen)."""
    left, top, right, bottom = rect(menu)
    wait_until(lambda: len(screen.grab().crop(left, top, right - left, bottom - top)
                           .colours()) > 8, DEADLINE, "the menu drawn on the screen")
    tx, ty, tw, th = screen.geometry(tray.xwindow())
    margin = 4
    x0, y0 = max(min(left, tx) - margin, 0), max(min(top, ty) - margin, 0)
    x1, y1 = max(right, tx + tw) + margin, max(bottom, ty + th) + margin
    screen.save_png(SCREENSHOT, x0, y0, x1 - x0, y1 - y0)


# --------------------------------------------------------------------------
# The icon


def test_icon_shows_the_program_icon_in_the_tray_until_the_agent_unloads(machine):
    machine.add_cdrom("d")
    machine.install_agent()
    screen = Screen(machine)
    tray = Tray(machine, screen)
    assert machine.drive_types()  # the prefix runs: its tray could show icons now
    assert tray.state() == "none"

    agent = machine.start_agent_and_wait_first_poll()
    tray.wait_icon()
    assert tray.window()["visible"] == "1"

    # A second copy ends at once and adds no icon of its own.
    assert machine.start_agent().wait(timeout=DEADLINE) == 0
    assert tray.state() == "icon"

    # The session ends: the agent unloads and deletes its icon itself.
    # (Wine's desktop also drops the icons of a window once it is
    # destroyed; here the window lives on until the system ends the
    # program, so only the agent's own delete can take the icon away.)
    assert send_to_agent(machine, WM_QUERYENDSESSION) == 1
    send_to_agent(machine, WM_ENDSESSION, 1)
    tray.assert_no_icon_now()
    assert machine.find_window(cls=AGENT_CLASS) is not None

    # A close request from another program then ends it.
    machine.probe("post", "-c", AGENT_CLASS, hex(WM_CLOSE), "0", "0", check=True)
    assert agent.wait(timeout=DEADLINE) == 0
    tray.assert_no_icon_now()
    assert machine.find_window(cls=AGENT_CLASS) is None


def test_double_click_on_the_icon_starts_the_utilities_then_the_emulator(machine):
    agent, screen, tray = start(machine, JOY, PEC, VGS)
    tray.wait_icon()

    tray.double_click_icon()
    window = machine.wait_window(title=EMULATOR_TITLE, message="the emulator's window")
    assert window["visible"] == "1"
    wait_ended(machine, JOY, PEC)

    # One launch for the double-click (whose first click launches nothing),
    # utilities first, in order.
    assert paths(machine.launches()) == [JOY, PEC, VGS]
    assert machine.launches("utility")[0].cmdline == f'"{JOY}"'
    assert agent.poll() is None


def test_right_click_opens_the_menu_at_the_pointer_and_esc_or_a_click_elsewhere_closes_it(
        machine):
    agent, screen, tray = start(machine)
    tray.wait_icon()

    tray.right_click_icon()
    items = open_menu_items(machine)
    assert [(i.caption, i.checked) for i in items] == FRESH_MENU
    assert not any(i.grayed for i in items if not i.separator)
    assert [i.id for i in items] == list(range(101, 111))
    menu = menu_window(machine)
    left, top, _, _ = rect(menu)
    assert (left, top) == screen.pointer(), "the menu's top left corner is at the pointer"
    save_menu_screenshot(screen, tray, menu)

    screen.key(menu["xwindow"], "Escape")
    wait_menu_closed(machine)

    tray.right_click_icon()
    open_menu_items(machine)
    left, top, right, bottom = rect(menu_window(machine))
    x, y = 700, 600
    assert not (left <= x < right and top <= y < bottom)
    screen.click(x, y)
    wait_menu_closed(machine)

    # Neither way of closing chose anything.
    assert agent.poll() is None
    assert machine.read_settings() == {}
    tray.wait_icon()
    assert machine.launches() == []


# --------------------------------------------------------------------------
# Menu commands


def test_enable_autorun_off_stops_polling_and_on_again_resumes_with_the_latch_kept(machine):
    agent, screen, tray = start(machine, JOY, VGS)
    tray.wait_icon()

    items, menu = open_menu(machine, tray)
    assert item(items, "&Enable Autorun").checked
    choose(screen, menu, "e")
    chosen = time.monotonic()
    wait_menu_closed(machine)
    wait_setting(machine, "Enabled", "False")
    # The command has run: any poll before it is in the log already.
    polls = len(machine.status_queries())
    machine.insert("psx")
    # Polling is off, so there is nothing to count: two whole intervals
    # from the moment of the choice pass without a single query.
    time.sleep(max(0.0, chosen + 2 * POLL_SECONDS + 1.5 - time.monotonic()))
    assert len(machine.status_queries()) == polls, machine.describe()
    assert machine.launches() == []

    items, menu = open_menu(machine, tray)
    assert not item(items, "&Enable Autorun").checked
    choose(screen, menu, "e")
    wait_menu_closed(machine)
    wait_setting(machine, "Enabled", "True")
    # The drive was empty at the last poll before polling stopped, and the
    # latch kept that: the first poll now finds a new disc and launches.
    machine.wait_launches(2)
    wait_ended(machine, JOY)
    assert paths(machine.launches()) == [JOY, VGS]
    assert machine.status_queries()[polls][3] == "true"

    # Off again with the disc in (the latch holds "present"): out and in
    # while nobody looks is no new disc for the polls that follow.
    items, menu = open_menu(machine, tray)
    choose(screen, menu, "e")
    wait_menu_closed(machine)
    wait_setting(machine, "Enabled", "False")
    polls = len(machine.status_queries())
    machine.eject()
    machine.insert("psx")
    items, menu = open_menu(machine, tray)
    assert not item(items, "&Enable Autorun").checked
    choose(screen, menu, "e")
    wait_menu_closed(machine)
    wait_setting(machine, "Enabled", "True")
    machine.wait_polls(2, since=polls)
    assert {e[3] for e in machine.status_queries()[polls:]} == {"true"}
    wait_ended(machine, JOY)
    assert paths(machine.launches()) == [JOY, VGS], machine.describe()
    assert agent.poll() is None


@pytest.mark.parametrize("answer, key, stored", [("Yes", "y", "True"), ("No", "Return", "False")])
def test_hide_icon_removes_the_icon_and_stores_the_answer_for_the_next_start(
        machine, answer, key, stored):
    agent, screen, tray = start(machine)
    tray.wait_icon()

    items, menu = open_menu(machine, tray)
    choose(screen, menu, "h")
    box = wait_box(machine, APP_TITLE)
    # The icon leaves before anything is asked.
    tray.assert_no_icon_now()
    controls = box_controls(machine, APP_TITLE)
    texts = [c["text"] for c in controls if c["class"] == "Static" and c["text"]]
    assert texts == [HIDE_QUESTION]
    assert any(c["class"] == "Static" and int(c["style"], 16) & 0xF == SS_ICON
               for c in controls)
    buttons = {c["text"]: int(c["style"], 16) for c in controls if c["class"] == "Button"}
    assert set(buttons) == {"&Yes", "&No"}
    assert buttons["&No"] & 0xF == BS_DEFPUSHBUTTON, "No is the default button"
    assert machine.read_settings() == {}, "nothing is stored before the answer"

    # "y" answers Yes; Enter takes the default button, No.
    screen.key(box["xwindow"], key)
    wait_box_closed(machine, APP_TITLE)
    wait_setting(machine, "Hidden", stored)
    assert machine.read_settings() == {"Hidden": stored}
    # Whatever the answer, the icon stays away for the rest of this run.
    machine.wait_polls(1)
    tray.assert_no_icon_now()

    # The answer decides the next start.
    exit_agent(machine, agent)
    machine.start_agent_and_wait_first_poll()
    if stored == "True":
        machine.wait_polls(1)
        tray.assert_no_icon_now()
    else:
        tray.wait_icon()


def test_shift_held_at_a_poll_brings_the_hidden_icon_back_and_the_choice_stays_stored(machine):
    agent, screen, tray = start(machine, settings={"Hidden": "True"})
    machine.wait_polls(1)
    tray.assert_no_icon_now()

    machine.probe("key", hex(VK_SHIFT), "down", check=True)
    try:
        assert machine.probe("keystate", hex(VK_SHIFT), check=True).stdout.strip() == \
            "state=-32768", "Shift is down for every program of the desktop"
        machine.wait_polls(1)
        tray.wait_icon("the icon back after a poll with Shift down")
    finally:
        machine.probe("key", hex(VK_SHIFT), "up", check=True)
    assert machine.probe("keystate", hex(VK_SHIFT), check=True).stdout.strip() == "state=0"

    machine.wait_polls(1)
    assert tray.state() == "icon", "released, Shift takes nothing back"
    assert machine.read_settings() == {"Hidden": "True"}

    # The stored choice holds at the next start.
    exit_agent(machine, agent)
    tray.assert_no_icon_now()
    machine.start_agent_and_wait_first_poll()
    machine.wait_polls(1)
    tray.assert_no_icon_now()


def test_exit_from_the_menu_removes_the_icon_and_ends_the_program(machine):
    agent, screen, tray = start(machine)
    tray.wait_icon()

    items, menu = open_menu(machine, tray)
    assert items[-1].caption == "E&xit"
    # A click on the last item, in the menu's bottom row.
    left, _, _, bottom = rect(menu)
    screen.click(left + 30, bottom - 8)

    assert agent.wait(timeout=DEADLINE) == 0
    tray.assert_no_icon_now()
    assert "discora.exe" not in {p.lower() for p in processes(machine)}
    assert machine.find_window(cls=AGENT_CLASS) is None
    assert machine.read_settings() == {}, "nothing is stored on the way out"


# --------------------------------------------------------------------------
# A new taskbar
#
# Wine 8 does not recreate its tray: the tray belongs to the desktop process
# (explorer.exe /desktop), and ending that process takes the desktop window,
# and every top-level window with it, so a test cannot restart it under a
# running agent. Nor does Wine ever broadcast "TaskbarCreated". The tests
# therefore play the part of a restarted Explorer: the shell forgets the
# icon (as a new shell knows nothing of the old one's icons), and the
# registered "TaskbarCreated" message goes to every top-level window.


def test_icon_comes_back_when_a_new_taskbar_announces_itself(machine):
    agent, screen, tray = start(machine)
    tray.wait_icon()

    machine.probe("forget-icon", "-c", AGENT_CLASS, str(TRAY_ICON_ID), check=True)
    tray.wait_no_icon("the tray window gone with the forgotten icon")

    # Sent to every top-level window: when it returns, the agent has
    # handled it, and the tray has handled the agent's icon add.
    machine.probe("broadcast", "TaskbarCreated", check=True)
    assert tray.window()["visible"] == "1"
    tray.wait_icon("the icon back in the new tray")

    # An announcement while the icon is shown leaves one icon.
    machine.probe("broadcast", "TaskbarCreated", check=True)
    assert tray.state() == "icon"
    assert agent.poll() is None


def test_icon_hidden_by_the_user_stays_away_when_a_new_taskbar_announces_itself(machine):
    agent, screen, tray = start(machine)
    tray.wait_icon()
    items, menu = open_menu(machine, tray)
    choose(screen, menu, "h")
    box = wait_box(machine, APP_TITLE)
    screen.key(box["xwindow"], "Return")
    wait_box_closed(machine, APP_TITLE)
    wait_setting(machine, "Hidden", "False")

    machine.probe("broadcast", "TaskbarCreated", check=True)
    tray.assert_no_icon_now()
    machine.wait_polls(1)
    tray.assert_no_icon_now()
    assert agent.poll() is None


# --------------------------------------------------------------------------
# About


def test_about_box_shows_copyright_and_home_page_which_opens_only_after_ok(machine):
    home_page = version_text("DISCORA_HOMEPAGE")
    copyright_line = version_text("DISCORA_COPYRIGHT")
    # The shell opens web addresses with this stand-in, which logs its
    # command line, instead of a browser.
    machine.put_standin(BROWSER)
    for scheme in ("http", "https"):
        machine.set_registry("HKLM", f"Software\\Classes\\{scheme}\\shell\\open\\command", "",
                             f'"{BROWSER}" "%1"')
    agent, screen, tray = start(machine, VGS)
    handler = machine.wine("reg", "query", "HKCR\\https\\shell\\open\\command", check=True)
    assert BROWSER in handler.stdout, handler.stdout
    tray.wait_icon()

    items, menu = open_menu(machine, tray)
    choose(screen, menu, "a")
    box = wait_box(machine, AGENT_CAPTION)
    controls = box_controls(machine, AGENT_CAPTION)
    texts = [c["text"] for c in controls if c["class"] == "Static" and c["text"]]
    # Two lines (CR LF, shown by probe as two blanks).
    assert texts == [f"{copyright_line}  {home_page}"]
    assert [c["text"] for c in controls if c["class"] == "Button"] == ["OK"]
    assert any(c["class"] == "Static" and int(c["style"], 16) & 0xF == SS_ICON
               for c in controls)

    # While the box is up the page is not opened, tray events are ignored
    # (a double-click would have started the emulator before the callback
    # returned), and the agent goes on polling.
    tray_callback(machine, WM_LBUTTONDBLCLK)
    assert "testvgs.exe" not in {p.lower() for p in processes(machine)}
    machine.wait_polls(2)
    assert machine.launches() == []
    assert "browser.exe" not in {p.lower() for p in processes(machine)}

    screen.key(box["xwindow"], "Return")
    wait_box_closed(machine, AGENT_CAPTION)
    opened = machine.wait_launches(1)
    assert paths(opened) == [BROWSER]
    assert opened[0].cmdline == f'"{BROWSER}" "{home_page}"'
    wait_ended(machine, BROWSER)
    assert len(machine.launches()) == 1
    assert agent.poll() is None


# --------------------------------------------------------------------------
# Two tray events at once


def test_tray_events_while_the_menu_is_open_are_ignored(machine):
    agent, screen, tray = start(machine, JOY, VGS)
    tray.wait_icon()
    items, menu = open_menu(machine, tray)

    # A real click on the icon now would only close the menu (it has the
    # mouse), so the tray's callbacks are sent as the tray sends them.
    # Each returns once the agent has handled it: a launch would have
    # started the emulator by then, a second menu would not have returned.
    tray_callback(machine, WM_LBUTTONDBLCLK)
    tray_callback(machine, WM_RBUTTONUP)
    assert "testvgs.exe" not in {p.lower() for p in processes(machine)}
    assert open_menu_items(machine) == items, "still the one menu, unchanged"

    screen.key(menu["xwindow"], "Escape")
    wait_menu_closed(machine)

    # With the menu closed the same callback launches again.
    tray_callback(machine, WM_LBUTTONDBLCLK)
    machine.wait_window(title=EMULATOR_TITLE, message="the emulator's window")
    wait_ended(machine, JOY)
    assert paths(machine.launches()) == [JOY, VGS]
    assert agent.poll() is None


# --------------------------------------------------------------------------
# Robustness: many discs, fast


def test_two_hundred_playstation_and_two_hundred_data_discs_launch_once_each_playstation_disc(
        machine):
    machine.make_disc("loop")
    agent, screen, tray = start(machine, JOY, disc="loop")
    loop = machine.tool("discloop.exe")

    result = machine.wine(loop, "cycles", "D:", "200", "DX7VGSJoy.exe", timeout=600)
    summary = result.stdout.strip()
    assert result.returncode == 0, f"{summary}\n{result.stderr[-2000:]}\n{machine.describe()}"
    fields = dict(part.split("=", 1) for part in summary.split("\t"))
    # Three arrival messages a disc (two after it goes in, one after it
    # comes out), each handled with a poll of its own.
    assert fields["rounds"] == "200" and fields["launches"] == "200", summary
    assert fields["messages"] == "1200" and int(fields["polls"]) >= 1200, summary

    launches = machine.launches()
    assert len(launches) == 200 and set(paths(launches)) == {JOY}
    assert agent.poll() is None


def test_device_arrival_polls_only_while_autorun_is_on(machine):
    agent, screen, tray = start(machine)
    loop = machine.tool("discloop.exe")

    def polls(*args):
        result = machine.wine(loop, "arrive", *args)
        assert result.returncode == 0, f"{result.stdout}{result.stderr[-2000:]}"
        return int(dict(p.split("=", 1) for p in result.stdout.strip().split("\t"))["polls"])

    # Which drives and flags count is covered by the hardening tests; here
    # the message follows the "Enable Autorun" check mark.
    assert polls("--restart-timer", hex(DBT_DEVICEARRIVAL), hex(DRIVE_D), hex(DBTF_MEDIA)) == 1
    wait_setting(machine, "Enabled", "True")

    # "Enable Autorun" off: no timer, and the message polls nothing either.
    send_to_agent(machine, WM_COMMAND, IDM_AUTORUN)
    wait_setting(machine, "Enabled", "False")
    assert polls(hex(DBT_DEVICEARRIVAL), hex(DRIVE_D), hex(DBTF_MEDIA)) == 0
    assert agent.poll() is None
