"""End-to-end tests of the configuration window of the real Discora.exe:
the agent's main window made visible by the tray menu's "&Configure...".

Everything a user does here is done with real input on the worker's X
display (xdotool): the right-click on the tray icon and the click on the
menu entry, key presses, clicks on buttons, on the credits line and on the
window's close box, dragging the caption, moving the pointer. What the
window shows is read back from inside the prefix with probe.exe, and
what the agent did from the stand-in log, the MCI log and the stored
settings. Where a test must show that something did not happen, it waits
for a positive sign that the agent got past it: a key press processed after
the pointer movement, or a counted number of the agent's polls.
"""

import pytest

from desktop import CAPTIONS, DIALOG_CLASS, IDC_BTNBROWSE, IDC_LBLPATH, IDC_TXTPATH, xy
from harness import (
    AGENT_CAPTION,
    ID,
    JOY,
    PEC,
    PROGRAM_FOLDER,
    TOOLS_FOLDER,
    VGS,
    RegValue,
    as_reg_values,
    wait_until,
)

URL_HANDLER = TOOLS_FOLDER + "\\urlopen.exe"
SW_SHOWNORMAL = 1
WS_TABSTOP = 0x00010000
WS_MAXIMIZEBOX = 0x00010000
WS_MINIMIZEBOX = 0x00020000
WS_THICKFRAME = 0x00040000
WS_SYSMENU = 0x00080000
WS_CAPTION = 0x00C00000
WS_EX_TOOLWINDOW = 0x00000080
WS_EX_APPWINDOW = 0x00040000
BS_TYPEMASK = 0x0000000F
BS_DEFPUSHBUTTON = 1
HTCAPTION = 2
HTGROWBOX = 4
HTMINBUTTON = 8
HTMAXBUTTON = 9
HTSIZING = frozenset(range(10, 18)) | {HTGROWBOX}  # HTLEFT .. HTBOTTOMRIGHT
HTCLOSE = 20
FILE_TYPE_LIST = 1136  # the open-file dialog's "Files of type" list (cmb1)
IDC_BTNOK, IDC_LBLCREDITS = ID.IDC_BTNOK, ID.IDC_LBLCREDITS

# Left, top, width and height in pixels (the window's twips / 15) of every
# control, relative to the client area, with its class.
LAYOUT = {
    IDC_TXTPATH[0]: ("Edit", (6, 24, 272, 20)),
    IDC_BTNBROWSE[0]: ("Button", (277, 24, 21, 20)),
    IDC_TXTPATH[1]: ("Edit", (6, 63, 272, 20)),
    IDC_BTNBROWSE[1]: ("Button", (277, 63, 21, 20)),
    IDC_TXTPATH[2]: ("Edit", (5, 101, 272, 20)),
    IDC_BTNBROWSE[2]: ("Button", (277, 102, 21, 20)),
    IDC_LBLPATH[0]: ("Static", (7, 9, 161, 16)),
    IDC_LBLPATH[1]: ("Static", (6, 50, 161, 16)),
    IDC_LBLPATH[2]: ("Static", (6, 88, 161, 16)),
    IDC_BTNOK: ("Button", (222, 133, 76, 23)),
    IDC_LBLCREDITS: ("Static", (6, 135, 205, 19)),
}
TAB_ORDER = [IDC_TXTPATH[0], IDC_BTNBROWSE[0], IDC_TXTPATH[1], IDC_BTNBROWSE[1],
             IDC_TXTPATH[2], IDC_BTNBROWSE[2], IDC_BTNOK]
BLUE = (0, 0, 255)


def image_box(state, control_id):
    """A control's rectangle in a grab of the whole window."""
    left, top, width, height = state.box(control_id)
    ox, oy = state.origin
    wl, wt, _, _ = state.rect
    return ox - wl + left, oy - wt + top, width, height


def grab_window(desktop, state):
    left, top, right, bottom = state.rect
    return desktop.grab((left, top, right - left, bottom - top))


def test_configure_from_the_tray_menu_shows_a_centred_fixed_tool_window(machine, desktop):
    agent = machine.start()
    hidden = desktop.state()
    assert hidden is not None and not hidden.visible, "the window starts hidden"

    desktop.click_menu_item(ID.IDM_CONFIG)
    state = desktop.wait_shown()

    window = state.window
    assert window["text"] == AGENT_CAPTION
    assert state.client == (301, 158)
    left, top, right, bottom = state.rect
    work = xy(state.desktop["work"])
    assert abs(left - (work[0] + (work[2] - work[0] - (right - left)) / 2)) <= 1, state.rect
    assert abs(top - (work[1] + (work[3] - work[1] - (bottom - top)) / 2)) <= 1, state.rect

    style, exstyle = int(window["style"], 16), int(window["exstyle"], 16)
    assert style & WS_CAPTION == WS_CAPTION and style & WS_SYSMENU
    assert not style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX | WS_THICKFRAME), hex(style)
    assert exstyle & WS_EX_TOOLWINDOW and not exstyle & WS_EX_APPWINDOW, hex(exstyle)

    # What the frame answers where a user points: a caption with a close
    # box and nothing else, and borders that do not resize.
    caption = desktop.caption()
    codes = set(map(int, caption["codes"].split(",")))
    assert {HTCAPTION, HTCLOSE} <= codes and not codes & {HTMINBUTTON, HTMAXBUTTON}, codes
    mid_x, mid_y = (left + right) // 2, (top + bottom) // 2
    edges = [(left, mid_y), (right - 1, mid_y), (mid_x, top), (mid_x, bottom - 1),
             (left, top), (right - 1, top), (left, bottom - 1), (right - 1, bottom - 1)]
    hits = desktop.hit_tests(edges)
    assert not set(hits.values()) & HTSIZING, hits

    assert state.focus_id == IDC_TXTPATH[0], state.describe()
    assert agent.poll() is None


def test_controls_sit_where_the_layout_puts_them_and_tab_through_in_order(machine, desktop):
    agent = machine.start()
    state = desktop.show_by_command()

    for control_id, (cls, box) in LAYOUT.items():
        control = state.control(control_id)
        assert control["class"].lower() == cls.lower(), control
        assert state.box(control_id) == box, f"control {control_id}: {control}"
        assert control["visible"] == "1"
    for control_id in LAYOUT.keys() & CAPTIONS.keys():
        assert state.text(control_id) == CAPTIONS[control_id]
    assert "the Discora developers" in state.text(IDC_LBLCREDITS)
    assert state.text(IDC_TXTPATH[0]) == "C:\\Discora\\DX7VGSJoy.exe"
    assert state.text(IDC_TXTPATH[1]) == "C:\\Discora\\pec.exe"
    assert state.text(IDC_TXTPATH[2]) == ""
    assert int(state.control(IDC_BTNOK)["style"], 16) & BS_TYPEMASK == BS_DEFPUSHBUTTON
    for control_id in IDC_LBLPATH + (IDC_LBLCREDITS,):
        assert not int(state.control(control_id)["style"], 16) & WS_TABSTOP, control_id

    # As drawn: the window's button-face background, the credits line in
    # blue, the labels not. The picture, once drawn, is the window's
    # picture for the documentation.
    def drawn():
        image = grab_window(desktop, state)
        return image if image.colours(*image_box(state, IDC_LBLCREDITS))[BLUE] else None
    image = wait_until(drawn, 30, "the credits line drawn in blue", interval=0.2)
    ox, oy = state.origin
    wl, wt, wr, wb = state.rect
    assert image.pixel(ox - wl + 2, oy - wt + 2) == xy(state.desktop["btnface"])
    assert not image.colours(*image_box(state, IDC_LBLPATH[0]))[BLUE]
    desktop.save_png(machine.worker.root / "config-window.png", wl, wt, wr - wl, wb - wt)

    # The first field has the focus with its whole text selected; each
    # real Tab moves on in tab order, past the labels, and back round.
    text = state.text(IDC_TXTPATH[0])
    assert (state.focus_id, state.selection) == (IDC_TXTPATH[0], (0, len(text))), \
        state.describe()
    previous = IDC_TXTPATH[0]
    for expected in TAB_ORDER[1:] + [IDC_TXTPATH[0]]:
        desktop.key(state.xwindow, "Tab")
        now = desktop.wait_state(lambda s: s.focus_id != previous,
                                 f"Tab to move the focus on from control {previous}")
        assert now.focus_id == expected, f"after {previous}:\n{now.describe()}"
        if expected in IDC_TXTPATH:
            length = len(now.text(expected))
            assert now.selection == (0, length), now.describe()
        previous = expected
    assert agent.poll() is None


@pytest.mark.parametrize("key", ["Return", "Escape"])
def test_enter_or_esc_stores_the_typed_paths_exactly_and_hides(machine, desktop, key):
    agent = machine.start()
    state = desktop.show_by_command()
    first = " C:\\Program Files\\Joy Tools\\joy pad.exe "  # blanks at both ends kept
    third = "D:\\utils\\third.exe"

    desktop.type_text(state.xwindow, first)
    desktop.wait_field(0, first)
    desktop.key(state.xwindow, "Tab", "Tab")
    desktop.wait_focus(IDC_TXTPATH[1])
    desktop.key(state.xwindow, "BackSpace")
    desktop.wait_field(1, "")
    desktop.key(state.xwindow, "Tab", "Tab")
    desktop.wait_focus(IDC_TXTPATH[2])
    desktop.type_text(state.xwindow, third)
    desktop.wait_field(2, third)
    assert machine.settings_values() is None, "nothing is stored before the window is confirmed"

    desktop.key(state.xwindow, key)
    desktop.wait_hidden()
    assert machine.settings_values() == as_reg_values({"App1": first, "App2": "", "App3": third})
    assert agent.poll() is None


@pytest.mark.parametrize("close", ["close box", "Alt+F4"])
def test_closing_hides_stores_nothing_and_the_edited_path_still_launches(machine, desktop, close):
    old_tool = "C:\\Tools\\old joy.exe"
    new_tool = "C:\\Tools\\new joy.exe"
    # Stored values, not the defaults, fill the fields: an empty stored
    # path stays empty.
    stored = {"App1": old_tool, "App2": "", "App3": ""}
    agent = machine.start(old_tool, JOY, PEC, VGS, new_tool, settings=stored)
    state = desktop.show_by_command()
    assert [state.text(i) for i in IDC_TXTPATH] == [old_tool, "", ""]
    desktop.type_text(state.xwindow, new_tool)
    desktop.wait_field(0, new_tool)

    if close == "close box":
        # Moved first by dragging its caption, to see that a later show
        # keeps the place where it was hidden.
        left, top, _, _ = state.rect
        grip = (left + 60, (top + state.origin[1]) // 2)
        assert desktop.hit_tests([grip])[grip] == HTCAPTION
        dx, dy = (-150, -100) if left >= 150 and top >= 100 else (150, 100)
        desktop.xdotool("mousemove", str(grip[0]), str(grip[1]), "mousedown", "1",
                        "mousemove", str(grip[0] + dx // 10), str(grip[1] + dy // 10),
                        "mousemove", str(grip[0] + dx), str(grip[1] + dy), "mouseup", "1")
        state = desktop.wait_state(lambda s: s.rect[:2] == (left + dx, top + dy),
                                   "the window to follow the dragged caption")
        close_box = xy(desktop.caption()["close"])
        desktop.click((close_box[0] + close_box[2]) // 2, (close_box[1] + close_box[3]) // 2)
    else:
        desktop.key(state.xwindow, "alt+F4")
    hidden = desktop.wait_hidden()
    assert machine.settings_values() == as_reg_values(stored), \
        "a close from the window stores nothing"
    assert agent.poll() is None, "a close from the window only hides it"

    # The field, not the store, is what the next launch uses.
    machine.insert("psx")
    machine.wait_launches(2)
    machine.wait_polls(2)
    assert [launch.path for launch in machine.launches()] == [new_tool, VGS]

    again = desktop.show_by_command()
    assert again.text(IDC_TXTPATH[0]) == new_tool
    assert again.rect == hidden.rect == state.rect


def test_browse_fills_the_field_cancel_keeps_typed_text_and_only_ok_stores(machine, desktop):
    picked = PROGRAM_FOLDER + "\\picked.exe"
    machine.put_file(picked, b"MZ")
    agent = machine.start()
    state = desktop.show_by_command()

    # Enter on a focused browse button presses that button, not OK.
    desktop.key(state.xwindow, "Tab")
    desktop.wait_focus(IDC_BTNBROWSE[0])
    desktop.key(state.xwindow, "Return")
    title = "Select VGSJoy Path"
    dialog = desktop.wait_state(lambda s: s.focus["focus_class"].lower() == "edit",
                                f"the dialog {title!r} with the focus in its file name",
                                cls=DIALOG_CLASS, title=title)
    assert dialog.window["text"] == title
    assert dialog.text(FILE_TYPE_LIST) == "Applications (*.exe)", "the first filter is selected"
    owner = desktop.state()
    assert owner.window["enabled"] == "0", "the dialog is modal to the window"
    desktop.type_text(dialog.xwindow, "picked.exe")
    desktop.wait_state(lambda s: s.focused_text == "picked.exe",
                       "the typed file name in the dialog", cls=DIALOG_CLASS, title=title)
    desktop.key(dialog.xwindow, "Return")
    desktop.wait_gone(DIALOG_CLASS, title, "the dialog to close")
    state = desktop.wait_field(0, picked)
    assert state.window["enabled"] == "1"
    assert machine.settings_values() is None, "a browse stores nothing"

    # Text typed before a cancelled browse stays.
    typed = "C:\\typed before.exe"
    desktop.click_control(state, IDC_TXTPATH[2])
    desktop.wait_focus(IDC_TXTPATH[2])
    desktop.type_text(state.xwindow, typed)
    desktop.wait_field(2, typed)
    desktop.click_control(state, IDC_BTNBROWSE[2])
    title = "Select Another Utility  Path"
    dialog = desktop.wait_state(lambda s: s.focus["focus_class"].lower() == "edit",
                                f"the dialog {title!r}", cls=DIALOG_CLASS, title=title)
    assert dialog.window["text"] == title
    # The agent's poll timer goes on while the dialog is open.
    machine.wait_polls(1)
    desktop.key(dialog.xwindow, "Escape")
    desktop.wait_gone(DIALOG_CLASS, title, "the cancelled dialog to close")
    state = desktop.wait_state(lambda s: s.window["enabled"] == "1",
                               "the window to be enabled again")
    assert [state.text(i) for i in IDC_TXTPATH] == [picked, PEC, typed]
    assert machine.settings_values() is None

    desktop.click_control(state, IDC_BTNOK)
    desktop.wait_hidden()
    assert machine.settings_values() == \
        as_reg_values({"App1": picked, "App2": PEC, "App3": typed})
    assert agent.poll() is None


def test_layout_and_font_follow_a_screen_of_120_dots_per_inch(machine, desktop):
    machine.install()
    for root, key in (("HKCU", "Control Panel\\Desktop"),
                      ("HKLM", "System\\CurrentControlSet\\Hardware Profiles\\Current\\"
                               "Software\\Fonts")):
        machine.set_registry(root, key, "LogPixels", RegValue.dword(120))
    machine.start_agent_and_wait_first_poll()
    state = desktop.show_by_command()
    # 12 twips a pixel instead of 15: every length grows by a quarter.
    assert state.client == (376, 198), state.describe()
    for control_id, (_, box) in LAYOUT.items():
        assert state.box(control_id) == tuple((v * 1800 + 720) // 1440 for v in box), \
            state.describe()


def test_enter_presses_the_browse_button_a_click_focused_and_ok_once_it_has_gone(
        machine, desktop):
    agent = machine.start()
    state = desktop.show_by_command()
    title = "Select [pec] Path"

    def cancel_dialog():
        dialog = desktop.wait_state(lambda s: s.focus["focus_class"].lower() == "edit",
                                    f"the dialog {title!r}", cls=DIALOG_CLASS, title=title)
        desktop.key(dialog.xwindow, "Escape")
        desktop.wait_gone(DIALOG_CLASS, title, "the cancelled dialog to close")
        return desktop.wait_state(
            lambda s: s.window["enabled"] == "1" and s.focus_id == IDC_BTNBROWSE[1],
            "the window enabled with the focus back on the browse button")

    desktop.click_control(state, IDC_BTNBROWSE[1])
    state = cancel_dialog()
    # The focused push button carries the default style, OK gives it up.
    style = {i: int(state.control(i)["style"], 16) & BS_TYPEMASK
             for i in (IDC_BTNBROWSE[1], IDC_BTNOK)}
    assert style == {IDC_BTNBROWSE[1]: BS_DEFPUSHBUTTON, IDC_BTNOK: 0}, style
    desktop.key(state.xwindow, "Return")
    state = cancel_dialog()
    assert machine.settings_values() is None, "Enter pressed the browse button, not OK"

    # Once the focus leaves it, Enter presses OK again.
    desktop.key(state.xwindow, "Tab")
    state = desktop.wait_focus(IDC_TXTPATH[2])
    desktop.key(state.xwindow, "Return")
    desktop.wait_hidden()
    assert machine.settings_values() == as_reg_values({"App1": JOY, "App2": PEC, "App3": ""})
    assert agent.poll() is None


def test_exit_from_the_tray_menu_while_shown_ends_the_program_storing_nothing(machine, desktop):
    stored = {"App1": JOY, "App2": PEC, "App3": ""}
    agent = machine.start(settings=stored)
    state = desktop.show_by_command()
    desktop.type_text(state.xwindow, "C:\\never stored.exe")
    desktop.wait_field(0, "C:\\never stored.exe")

    desktop.click_menu_item(ID.IDM_EXIT)
    assert agent.wait(timeout=30) == 0
    assert machine.settings_values() == as_reg_values(stored), \
        "the settings stay as last written"
    assert desktop.state() is None, "the window is gone with the program"
    assert not [p for p in machine.windows_processes() if "discora.exe" in p.lower()]


def test_credits_line_shows_the_about_box_and_opens_the_page_after_ok(machine, desktop):
    command = f'"{URL_HANDLER}" "%1"'
    for scheme in ("http", "https"):
        # The shell's handler for web addresses is a stand-in: nothing
        # outside the prefix is started.
        machine.set_registry("HKLM", f"Software\\Classes\\{scheme}\\shell\\open\\command", "",
                             command)
    agent = machine.start(VGS, URL_HANDLER)
    state = desktop.show_by_command()

    desktop.click_control(state, IDC_LBLCREDITS)
    box = desktop.wait_state(lambda s: s.visible, "the About box", cls=DIALOG_CLASS,
                             title=AGENT_CAPTION)
    text = " ".join(c["text"] for c in box.controls if c["class"].lower() == "static")
    address = next((word for word in text.split() if word.startswith("http")), None)
    assert "the Discora developers" in text and address, box.describe()
    assert box.text(1) == "OK"
    owner = desktop.state()
    assert owner.visible, "the window stays shown behind the box"
    assert owner.window["enabled"] == "0", "the box is modal to the whole program"
    # Clicks on the credits line and on OK meanwhile do nothing: no second
    # box, nothing stored, the window stays.
    box_rect = box.rect
    for control_id in (IDC_LBLCREDITS, IDC_BTNOK):
        x, y = owner.screen_point(control_id, 0.2)
        assert not (box_rect[0] <= x < box_rect[2] and box_rect[1] <= y < box_rect[3])
        desktop.click(x, y)

    # The page opens only once the box is closed: a poll later, nothing.
    machine.wait_polls(1)
    assert machine.launches() == []
    # Opened from the credits line, the box leaves tray events working: a
    # double-click on the icon launches the emulator meanwhile.
    desktop.tray.double_click_icon()
    machine.wait_launches(1, role="emulator")
    # The emulator's window takes the activation when it opens; a click
    # on the box while that happens would be lost with the capture.
    wait_until(lambda: any(e.get("active") == "1" for e in machine.events("activate")), 30,
               "the emulator's window to be activated", details=machine.describe)

    assert len([w for w in machine.windows() if w.get("text") == AGENT_CAPTION and
                w.get("class") == DIALOG_CLASS]) == 1, "one About box"
    assert machine.settings_values() is None

    desktop.click_control(box, 1)
    desktop.wait_gone(DIALOG_CLASS, AGENT_CAPTION, "the About box to close")
    opened = machine.wait_launches(1, role="utility")
    assert len(opened) == 1 and opened[0].path == URL_HANDLER, opened
    assert opened[0].cmdline == f'"{URL_HANDLER}" "{address}"'
    assert opened[0].show == SW_SHOWNORMAL
    assert not [p for p in machine.windows_processes() if "winebrowser" in p.lower()]
    assert desktop.state().visible
    machine.wait_polls(1)
    assert len(machine.launches(role="utility")) == 1, "the page opened once"
    assert machine.settings_values() is None
    assert agent.poll() is None


def test_pointer_moving_over_the_window_is_never_a_tray_event(machine, desktop):
    agent = machine.start(JOY, PEC, VGS)
    state = desktop.show_by_command()
    left, top, right, bottom = state.rect
    ox, oy = state.origin
    width, height = state.client

    # Everywhere on the window, row by row, and across the screen columns
    # 515 and 517, the codes of a tray double-click and right-button
    # release, should anything take screen for client coordinates.
    columns = sorted(set(range(left, right, 4)) | {right - 1, 515, 517})
    points = []
    for n, y in enumerate(sorted(set(range(top, bottom, 4)) | {bottom - 1})):
        points += [(x, y) for x in (columns if n % 2 == 0 else reversed(columns))]
    desktop.move_through(points)

    # Then to the background at those two columns and at the window's far
    # right, one point at a time; each is followed by a key press, and the
    # key's effect on the field's selection shows that the agent has taken
    # the move before it.
    text_length = len(state.text(IDC_TXTPATH[0]))
    assert ox <= 515 and 517 < ox + width, "the window covers screen columns 515 and 517"
    boxes = [state.box(c) for c in LAYOUT]

    def background(cx, cy):
        return not any(bl <= cx < bl + bw and bt <= cy < bt + bh for bl, bt, bw, bh in boxes)
    targets = []
    for cx in (515 - ox, 517 - ox, width - 1):
        rows = [cy for cy in range(height) if background(cx, cy)]
        assert rows, f"no background at client x {cx}"
        targets += [(ox + cx, oy + rows[0]), (ox + cx, oy + rows[-1])]
    for n, (x, y) in enumerate(targets):
        desktop.xdotool("mousemove", str(x), str(y))
        key, selection = ("End", (text_length, text_length)) if n % 2 == 0 else ("Home", (0, 0))
        desktop.key(state.xwindow, key)
        desktop.wait_state(lambda s: s.focus_id == IDC_TXTPATH[0] and s.selection == selection,
                           f"{key} to be handled after the pointer came to {x},{y}")

    machine.wait_polls(2)
    assert machine.launches() == [], "no launch from pointer movement"
    assert desktop.visible_menus() == [], "no tray menu from pointer movement"
    assert desktop.state().visible
    assert agent.poll() is None
