"""End-to-end tests of the tray icon and the tray menu of the real
Discora.exe under Wine: the icon in Wine's tray window, a real double-click
and a real right-click on it, the menu's items and commands, hiding the icon
and bringing it back, the about box and the home page, the end of the
program, a new taskbar, and the disc watch driven hard by device-arrival
messages.

The icon is seen on the X display (desktop.Tray); clicks and keys are
real X input (xdotool). The open menu is read live from inside the agent,
the message boxes from inside the prefix, with probe.exe. Where a test must show that something did
not happen, it waits for a positive sign that the agent got past it: a
message it handled (SendMessage returns only then), a counted number of its
polls in the MCI log, or processes that have ended.
"""

import re
import time

import pytest

from desktop import CAPTIONS, IDC_TXTPATH, TRAY_MENU, rect
from harness import (
    AGENT_CAPTION,
    AGENT_CLASS,
    DBT_DEVICEARRIVAL,
    DBTF_MEDIA,
    DEADLINE,
    DRIVE_D,
    EMULATOR_TITLE,
    ID,
    JOY,
    PEC,
    POLL_SECONDS,
    REPO,
    TEST_FOLDER,
    TRAY_ICON_ID,
    VGS,
    WM_CLOSE,
    WM_COMMAND,
    WM_ENDSESSION,
    WM_LBUTTONDBLCLK,
    WM_QUERYENDSESSION,
    WM_QUIT,
    WM_RBUTTONUP,
    WM_SYSCOMMAND,
    RegValue,
    as_reg_values,
    parse_fields,
    paths,
    wait_until,
)

BROWSER = TEST_FOLDER + "\\web\\browser.exe"
SCREENSHOT = REPO / "build" / "e2e" / "screenshots" / "tray-menu.png"

# The items checked when the menu opens for a user with no stored options.
FRESH_CHECKED = {ID.IDM_AUTORUN, ID.IDM_START, ID.IDM_UTILITY}
HIDE_QUESTION = "Do you want Discora always hidden?"
APP_TITLE = "Discora"
VK_SHIFT = 0x10
VK_RETURN = 0x0D
VK_X = 0x58
SC_CLOSE = 0xF060
BS_DEFPUSHBUTTON = 0x1
SS_ICON = 0x3


def version_text(name: str) -> str:
    """A text of the program's identity, as res/version.h defines it."""
    source = (REPO / "res" / "version.h").read_text()
    return re.search(rf'#define {name} "([^"]*)"', source).group(1)


def item(items, command):
    return next(i for i in items if i.id == command)


def exit_agent(machine, agent):
    machine.post_to_agent(WM_COMMAND, ID.IDM_EXIT)
    assert agent.wait(timeout=DEADLINE) == 0


def save_menu_screenshot(desktop, menu):
    """The open menu beside its icon, for the documentation: the union of
    the tray window and the menu, with a small margin. Taken once the menu
    has been drawn (its text is on the screen)."""
    left, top, right, bottom = rect(menu)
    wait_until(lambda: len(desktop.grab((left, top, right - left, bottom - top)).colours()) > 8,
               DEADLINE, "the menu drawn on the screen")
    tx, ty, tw, th = desktop.geometry(desktop.tray.xwindow())
    margin = 4
    x0, y0 = max(min(left, tx) - margin, 0), max(min(top, ty) - margin, 0)
    x1, y1 = max(right, tx + tw) + margin, max(bottom, ty + th) + margin
    desktop.save_png(SCREENSHOT, x0, y0, x1 - x0, y1 - y0)


# --------------------------------------------------------------------------
# The icon


def test_icon_shows_the_program_icon_in_the_tray_until_the_agent_unloads(machine, desktop):
    machine.add_cdrom("d")
    machine.install_agent()
    assert machine.drive_types()  # the prefix runs: its tray could show icons now
    assert desktop.tray.state() == "none"

    agent = machine.start_agent_and_wait_first_poll()
    desktop.tray.wait_icon()
    assert desktop.tray.window()["visible"] == "1"

    # A second copy ends at once and adds no icon of its own.
    assert machine.start_agent().wait(timeout=DEADLINE) == 0
    assert desktop.tray.state() == "icon"

    # The session ends: the agent unloads and deletes its icon itself.
    # (Wine's desktop also drops the icons of a window once it is
    # destroyed; here the window lives on until the system ends the
    # program, so only the agent's own delete can take the icon away.)
    assert machine.send_to_agent(WM_QUERYENDSESSION) == 1
    machine.send_to_agent(WM_ENDSESSION, 1)
    desktop.tray.assert_no_icon_now()
    assert machine.find_window(cls=AGENT_CLASS) is not None

    # A close request from another program then ends it.
    machine.post_to_agent(WM_CLOSE)
    assert agent.wait(timeout=DEADLINE) == 0
    desktop.tray.assert_no_icon_now()
    assert machine.find_window(cls=AGENT_CLASS) is None


def test_double_click_on_the_icon_starts_the_utilities_then_the_emulator(machine, desktop):
    agent = machine.start(JOY, PEC, VGS)
    desktop.tray.wait_icon()

    desktop.tray.double_click_icon()
    window = machine.wait_window(title=EMULATOR_TITLE, message="the emulator's window")
    assert window["visible"] == "1"
    machine.wait_ended(JOY, PEC)

    # One launch for the double-click (whose first click launches nothing),
    # utilities first, in order.
    assert paths(machine.launches()) == [JOY, PEC, VGS]
    assert machine.launches("utility")[0].cmdline == f'"{JOY}"'
    assert agent.poll() is None


def test_right_click_opens_the_menu_at_the_pointer_and_esc_or_a_click_elsewhere_closes_it(
        machine, desktop):
    agent = machine.start()
    desktop.tray.wait_icon()

    desktop.tray.right_click_icon()
    items = desktop.menu_items()
    assert [(i.id, i.caption, i.checked) for i in items] == \
        [(command, CAPTIONS[command], command in FRESH_CHECKED) for command in TRAY_MENU]
    assert not any(i.grayed for i in items if not i.separator)
    menu = desktop.menu_window()
    left, top, _, _ = rect(menu)
    assert (left, top) == desktop.pointer(), "the menu's top left corner is at the pointer"
    save_menu_screenshot(desktop, menu)

    desktop.key(menu["xwindow"], "Escape")
    desktop.wait_menu_closed()

    desktop.tray.right_click_icon()
    desktop.menu_items()
    left, top, right, bottom = rect(desktop.menu_window())
    x, y = 700, 600
    assert not (left <= x < right and top <= y < bottom)
    desktop.click(x, y)
    desktop.wait_menu_closed()

    # Neither way of closing chose anything.
    assert agent.poll() is None
    assert machine.settings_values() is None
    desktop.tray.wait_icon()
    assert machine.launches() == []


def test_keys_typed_after_the_menu_closes_reach_no_field_of_the_hidden_window(machine, desktop):
    stored = {"App1": JOY, "App2": PEC, "App3": ""}
    agent = machine.start(settings=stored)
    # Shown once and closed, so its fields exist and one had the focus.
    state = desktop.show_by_command()
    machine.post_to_agent(WM_SYSCOMMAND, SC_CLOSE)
    desktop.wait_hidden()

    _, menu = desktop.open_menu()
    desktop.key(menu["xwindow"], "Escape")
    desktop.wait_menu_closed()
    # Typed as the user would, into whatever has the keyboard now: a letter,
    # then Enter. The poll after them comes after their handling (a timer
    # is the last thing a message loop takes).
    for vk in (VK_X, VK_RETURN):
        machine.probe("key", str(vk), "down", check=True)
        machine.probe("key", str(vk), "up", check=True)
    machine.wait_polls(1)
    assert machine.settings_values() == as_reg_values(stored), "nothing was stored"
    hidden = desktop.state()
    assert not hidden.visible
    assert [hidden.text(i) for i in IDC_TXTPATH] == [JOY, PEC, ""]
    assert agent.poll() is None


# --------------------------------------------------------------------------
# Menu commands


def test_enable_autorun_off_stops_polling_and_on_again_resumes_with_the_latch_kept(
        machine, desktop):
    agent = machine.start(JOY, VGS)
    desktop.tray.wait_icon()

    items, menu = desktop.open_menu()
    assert item(items, ID.IDM_AUTORUN).checked
    desktop.choose(menu, "e")
    chosen = time.monotonic()
    desktop.wait_menu_closed()
    machine.wait_setting("Enabled", "False")
    # The command has run: any poll before it is in the log already.
    polls = len(machine.status_queries())
    machine.insert("psx")
    # Polling is off, so there is nothing to count: two whole intervals
    # from the moment of the choice pass without a single query.
    time.sleep(max(0.0, chosen + 2 * POLL_SECONDS + 1.5 - time.monotonic()))
    assert len(machine.status_queries()) == polls, machine.describe()
    assert machine.launches() == []

    items, menu = desktop.open_menu()
    assert not item(items, ID.IDM_AUTORUN).checked
    desktop.choose(menu, "e")
    desktop.wait_menu_closed()
    machine.wait_setting("Enabled", "True")
    # The drive was empty at the last poll before polling stopped, and the
    # latch kept that: the first poll now finds a new disc and launches.
    machine.wait_launches(2)
    machine.wait_ended(JOY)
    assert paths(machine.launches()) == [JOY, VGS]
    assert machine.status_queries()[polls][3] == "true"

    # Off again with the disc in (the latch holds "present"): out and in
    # while nobody looks is no new disc for the polls that follow.
    items, menu = desktop.open_menu()
    desktop.choose(menu, "e")
    desktop.wait_menu_closed()
    machine.wait_setting("Enabled", "False")
    polls = len(machine.status_queries())
    machine.eject()
    machine.insert("psx")
    items, menu = desktop.open_menu()
    assert not item(items, ID.IDM_AUTORUN).checked
    desktop.choose(menu, "e")
    desktop.wait_menu_closed()
    machine.wait_setting("Enabled", "True")
    machine.wait_polls(2, since=polls)
    assert {e[3] for e in machine.status_queries()[polls:]} == {"true"}
    machine.wait_ended(JOY)
    assert paths(machine.launches()) == [JOY, VGS], machine.describe()
    assert agent.poll() is None


@pytest.mark.parametrize("answer, key, stored", [("Yes", "y", "True"), ("No", "Return", "False")])
def test_hide_icon_removes_the_icon_and_stores_the_answer_for_the_next_start(
        machine, desktop, answer, key, stored):
    agent = machine.start()
    desktop.tray.wait_icon()

    items, menu = desktop.open_menu()
    desktop.choose(menu, "h")
    box = desktop.wait_box(APP_TITLE)
    # The icon leaves before anything is asked.
    desktop.tray.assert_no_icon_now()
    controls = desktop.box_controls(APP_TITLE)
    texts = [c["text"] for c in controls if c["class"] == "Static" and c["text"]]
    assert texts == [HIDE_QUESTION]
    assert any(c["class"] == "Static" and int(c["style"], 16) & 0xF == SS_ICON
               for c in controls)
    buttons = {c["text"]: int(c["style"], 16) for c in controls if c["class"] == "Button"}
    assert set(buttons) == {"&Yes", "&No"}
    assert buttons["&No"] & 0xF == BS_DEFPUSHBUTTON, "No is the default button"
    assert machine.settings_values() is None, "nothing is stored before the answer"

    # "y" answers Yes; Enter takes the default button, No.
    desktop.key(box["xwindow"], key)
    desktop.wait_box_closed(APP_TITLE)
    machine.wait_setting("Hidden", stored)
    assert machine.settings_values() == {"Hidden": RegValue.sz(stored)}
    # Whatever the answer, the icon stays away for the rest of this run.
    machine.wait_polls(1)
    desktop.tray.assert_no_icon_now()

    # The answer decides the next start.
    exit_agent(machine, agent)
    machine.start_agent_and_wait_first_poll()
    if stored == "True":
        machine.wait_polls(1)
        desktop.tray.assert_no_icon_now()
    else:
        desktop.tray.wait_icon()


def test_shift_held_at_a_poll_brings_the_hidden_icon_back_and_the_choice_stays_stored(
        machine, desktop):
    agent = machine.start(settings={"Hidden": "True"})
    machine.wait_polls(1)
    desktop.tray.assert_no_icon_now()

    machine.probe("key", hex(VK_SHIFT), "down", check=True)
    try:
        assert machine.probe("keystate", hex(VK_SHIFT), check=True).stdout.strip() == \
            "state=-32768", "Shift is down for every program of the desktop"
        machine.wait_polls(1)
        desktop.tray.wait_icon("the icon back after a poll with Shift down")
    finally:
        machine.probe("key", hex(VK_SHIFT), "up", check=True)
    assert machine.probe("keystate", hex(VK_SHIFT), check=True).stdout.strip() == "state=0"

    machine.wait_polls(1)
    assert desktop.tray.state() == "icon", "released, Shift takes nothing back"
    assert machine.settings_values() == {"Hidden": RegValue.sz("True")}

    # The stored choice holds at the next start.
    exit_agent(machine, agent)
    desktop.tray.assert_no_icon_now()
    machine.start_agent_and_wait_first_poll()
    machine.wait_polls(1)
    desktop.tray.assert_no_icon_now()


def test_exit_from_the_menu_removes_the_icon_and_ends_the_program(machine, desktop):
    agent = machine.start()
    desktop.tray.wait_icon()

    items, menu = desktop.open_menu()
    assert items[-1].caption == CAPTIONS[ID.IDM_EXIT]
    # A click on the last item, where the menu shows it.
    left, top, right, bottom = items[-1].rect
    desktop.click((left + right) // 2, (top + bottom) // 2)

    assert agent.wait(timeout=DEADLINE) == 0
    desktop.tray.assert_no_icon_now()
    assert "discora.exe" not in machine.process_names()
    assert machine.find_window(cls=AGENT_CLASS) is None
    assert machine.settings_values() is None, "nothing is stored on the way out"


def test_quit_message_posted_to_the_agent_thread_ends_it_and_removes_the_icon(machine, desktop):
    agent = machine.start()
    desktop.tray.wait_icon()

    # Another program posts WM_QUIT, exit code 3, to the thread of the
    # agent's window: the agent ends cleanly, its icon taken away.
    machine.probe("post-thread", "-c", AGENT_CLASS, hex(WM_QUIT), "3", "0", check=True)
    assert agent.wait(timeout=DEADLINE) == 3, "WinMain returns the quit message's code"
    desktop.tray.assert_no_icon_now()
    assert machine.find_window(cls=AGENT_CLASS) is None


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


def test_icon_comes_back_when_a_new_taskbar_announces_itself(machine, desktop):
    agent = machine.start()
    desktop.tray.wait_icon()

    machine.probe("forget-icon", "-c", AGENT_CLASS, str(TRAY_ICON_ID), check=True)
    desktop.tray.wait_no_icon("the tray window gone with the forgotten icon")

    # Sent to every top-level window: when it returns, the agent has
    # handled it, and the tray has handled the agent's icon add.
    machine.probe("broadcast", "TaskbarCreated", check=True)
    assert desktop.tray.window()["visible"] == "1"
    desktop.tray.wait_icon("the icon back in the new tray")

    # An announcement while the icon is shown leaves one icon.
    machine.probe("broadcast", "TaskbarCreated", check=True)
    assert desktop.tray.state() == "icon"
    assert agent.poll() is None


def test_icon_hidden_by_the_user_stays_away_when_a_new_taskbar_announces_itself(machine, desktop):
    agent = machine.start()
    desktop.tray.wait_icon()
    items, menu = desktop.open_menu()
    desktop.choose(menu, "h")
    box = desktop.wait_box(APP_TITLE)
    desktop.key(box["xwindow"], "Return")
    desktop.wait_box_closed(APP_TITLE)
    machine.wait_setting("Hidden", "False")

    machine.probe("broadcast", "TaskbarCreated", check=True)
    desktop.tray.assert_no_icon_now()
    machine.wait_polls(1)
    desktop.tray.assert_no_icon_now()
    assert agent.poll() is None


# --------------------------------------------------------------------------
# About


def test_about_box_shows_copyright_and_home_page_which_opens_only_after_ok(machine, desktop):
    home_page = version_text("DISCORA_HOMEPAGE")
    copyright_line = version_text("DISCORA_COPYRIGHT")
    # The shell opens web addresses with this stand-in, which logs its
    # command line, instead of a browser.
    machine.put_standin(BROWSER)
    for scheme in ("http", "https"):
        machine.set_registry("HKLM", f"Software\\Classes\\{scheme}\\shell\\open\\command", "",
                             f'"{BROWSER}" "%1"')
    agent = machine.start(VGS)
    handler = machine.registry_values("HKCR", "https\\shell\\open\\command")
    assert (handler or {}).get("") == RegValue.sz(f'"{BROWSER}" "%1"'), handler
    desktop.tray.wait_icon()

    items, menu = desktop.open_menu()
    desktop.choose(menu, "a")
    box = desktop.wait_box(AGENT_CAPTION)
    controls = desktop.box_controls(AGENT_CAPTION)
    texts = [c["text"] for c in controls if c["class"] == "Static" and c["text"]]
    # Two lines (CR LF, shown by probe as two blanks).
    assert texts == [f"{copyright_line}  {home_page}"]
    assert [c["text"] for c in controls if c["class"] == "Button"] == ["OK"]
    assert any(c["class"] == "Static" and int(c["style"], 16) & 0xF == SS_ICON
               for c in controls)

    # While the box is up the page is not opened, tray events are ignored
    # (a double-click would have started the emulator before the callback
    # returned), and the agent goes on polling.
    machine.tray_event(WM_LBUTTONDBLCLK)
    assert "testvgs.exe" not in machine.process_names()
    machine.wait_polls(2)
    assert machine.launches() == []
    assert "browser.exe" not in machine.process_names()

    desktop.key(box["xwindow"], "Return")
    desktop.wait_box_closed(AGENT_CAPTION)
    opened = machine.wait_launches(1)
    assert paths(opened) == [BROWSER]
    assert opened[0].cmdline == f'"{BROWSER}" "{home_page}"'
    machine.wait_ended(BROWSER)
    assert len(machine.launches()) == 1
    assert agent.poll() is None


# --------------------------------------------------------------------------
# Two tray events at once


def test_tray_events_while_the_menu_is_open_are_ignored(machine, desktop):
    agent = machine.start(JOY, VGS)
    desktop.tray.wait_icon()
    items, menu = desktop.open_menu()

    # A real click on the icon now would only close the menu (it has the
    # mouse), so the tray's callbacks are sent as the tray sends them.
    # Each returns once the agent has handled it: a launch would have
    # started the emulator by then, a second menu would not have returned.
    machine.tray_event(WM_LBUTTONDBLCLK)
    machine.tray_event(WM_RBUTTONUP)
    assert "testvgs.exe" not in machine.process_names()
    assert desktop.menu_items() == items, "still the one menu, unchanged"

    desktop.key(menu["xwindow"], "Escape")
    desktop.wait_menu_closed()

    # With the menu closed the same callback launches again.
    machine.tray_event(WM_LBUTTONDBLCLK)
    machine.wait_window(title=EMULATOR_TITLE, message="the emulator's window")
    machine.wait_ended(JOY)
    assert paths(machine.launches()) == [JOY, VGS]
    assert agent.poll() is None


# --------------------------------------------------------------------------
# Robustness: many discs, fast


def test_two_hundred_playstation_and_two_hundred_data_discs_launch_once_each_playstation_disc(
        machine):
    machine.make_disc("loop")
    agent = machine.start(JOY, disc="loop")

    result = machine.probe("discs", "D:", "200", "DX7VGSJoy.exe", timeout=600)
    summary = result.stdout.strip()
    assert result.returncode == 0, f"{summary}\n{result.stderr[-2000:]}\n{machine.describe()}"
    fields = parse_fields(summary)
    # Three arrival messages a disc (two after it goes in, one after it
    # comes out), each handled with a poll of its own.
    assert fields["rounds"] == "200" and fields["launches"] == "200", summary
    assert fields["messages"] == "1200" and int(fields["polls"]) >= 1200, summary

    launches = machine.launches()
    assert len(launches) == 200 and set(paths(launches)) == {JOY}
    assert agent.poll() is None


def test_device_arrival_polls_only_while_autorun_is_on(machine):
    agent = machine.start()

    def polls(*args):
        result = machine.probe("arrive", "--event", hex(DBT_DEVICEARRIVAL), *args)
        assert result.returncode == 0, f"{result.stdout}{result.stderr[-2000:]}"
        return int(parse_fields(result.stdout.strip())["polls"])

    # Which drives and flags count is covered by the hardening tests; here
    # the message follows the "Enable Autorun" check mark.
    assert polls("--restart-timer", hex(DRIVE_D), hex(DBTF_MEDIA)) == 1
    machine.wait_setting("Enabled", "True")

    # "Enable Autorun" off: no timer, and the message polls nothing either.
    machine.send_to_agent(WM_COMMAND, ID.IDM_AUTORUN)
    machine.wait_setting("Enabled", "False")
    assert polls(hex(DRIVE_D), hex(DBTF_MEDIA)) == 0
    assert agent.poll() is None
