"""End-to-end tests of the notice a PlayStation disc gives when no emulator
is found, and of the dialog that answers it: the balloon Wine's tray shows
(a top-level tooltip window whose text is the balloon's), the click on it
(posted as the icon's callback: Wine's tray sends none), the program typed
into the real open-file dialog, and what the agent then stores and starts.
"""

from desktop import DIALOG_CLASS
from harness import (
    DEADLINE,
    DUCKSTATION_NAME,
    DUCKSTATION_TITLE,
    ID,
    NIN_BALLOONUSERCLICK,
    PCSX2,
    PROGRAM_FOLDER,
    SW_SHOWNORMAL,
    WM_CLOSE,
    WM_COMMAND,
    WM_LBUTTONDBLCLK,
    assert_started,
    only,
    paths,
    wait_until,
)

PS1_TITLE = "Choose the emulator for PlayStation discs"


def portable_duckstation(machine) -> str:
    """DuckStation's release zip unzipped in the user's Downloads: no record
    anywhere."""
    profile = machine.local_app_data().rsplit("\\", 2)[0]
    folder = f"{profile}\\Downloads\\duckstation-windows-x64-release"
    return machine.put_standin(f"{folder}\\{DUCKSTATION_NAME}")


def balloons(machine) -> list[str]:
    return [text for text in machine.balloon_texts() if "choose the emulator" in text]


def choose(machine, desktop, title: str, program: str | None, shown: str | None = None) -> None:
    """The dialog `title`, answered with `program` typed in, or cancelled.
    `shown`: the typed text as the probe reads it back through the ANSI
    calls, where the code page cannot spell it."""
    dialog = desktop.wait_state(lambda s: s.focus["focus_class"].lower() == "edit",
                                f"the dialog {title!r}", cls=DIALOG_CLASS, title=title)
    if program is None:
        desktop.key(dialog.xwindow, "Escape")
    else:
        desktop.type_text(dialog.xwindow, program)
        desktop.wait_state(lambda s: s.focused_text == (shown or program), "the typed path",
                           cls=DIALOG_CLASS, title=title)
        desktop.key(dialog.xwindow, "Return")
    desktop.wait_gone(DIALOG_CLASS, title, "the dialog to close")


def click_balloon(machine) -> None:
    # Posted: the dialog it opens holds the agent until it closes.
    machine.tray_event(NIN_BALLOONUSERCLICK, handled=False)


def test_portable_duckstation_chosen_from_the_balloon_starts_now_and_at_the_next_start(
        machine, desktop):
    duckstation = portable_duckstation(machine)
    agent = machine.start()
    machine.insert("psx")
    shown = wait_until(lambda: balloons(machine), DEADLINE, "the balloon", interval=0.5)
    assert shown == ["No emulator was found for the disc in D: (SLUS-00001). "
                     "Click here to choose the emulator."]

    click_balloon(machine)
    choose(machine, desktop, PS1_TITLE, duckstation)
    command = f'"{duckstation}" -batch -fullscreen -- \\\\.\\D:'
    assert_started(machine.wait_launches(1)[0], duckstation, SW_SHOWNORMAL, command)
    machine.wait_setting("PS1Command", f'"{duckstation}" -batch -fullscreen -- \\\\.\\%D:')

    machine.probe("post", "-t", DUCKSTATION_TITLE, hex(WM_CLOSE), "0", "0", check=True)
    machine.wait_ended(duckstation)
    machine.post_to_agent(WM_COMMAND, ID.IDM_EXIT)
    assert agent.wait(timeout=DEADLINE) == 0
    wait_until(lambda: not balloons(machine), DEADLINE, "the balloon to go with its icon")

    machine.eject()
    machine.start_agent_and_wait_first_poll()
    machine.insert("psx")
    launches = machine.wait_launches(2)
    assert_started(launches[1], duckstation, SW_SHOWNORMAL, command)
    machine.wait_polls(1)
    assert balloons(machine) == []


def test_pcsx2_for_a_ps2_disc_and_a_refused_then_cancelled_choice(machine, desktop):
    pcsx2 = machine.put_standin("C:\\Portable\\PCSX2\\pcsx2-qt.exe")
    duckstation = portable_duckstation(machine)
    machine.start()
    machine.insert("ps2")
    wait_until(lambda: balloons(machine), DEADLINE, "the balloon", interval=0.5)

    # DuckStation plays no PlayStation 2 disc: refused, nothing written.
    click_balloon(machine)
    title = "Choose the emulator for PlayStation 2 discs"
    choose(machine, desktop, title, duckstation)
    box = machine.wait_window(title="Discora", message="the refusal")
    machine.probe("post", "-t", "Discora", hex(WM_CLOSE), "0", "0", check=True)
    wait_until(lambda: machine.find_window(title="Discora") is None, DEADLINE,
               "the refusal to close")
    assert box["class"] == "#32770"
    click_balloon(machine)
    choose(machine, desktop, title, None)
    assert machine.settings_values() is None
    assert machine.launches() == []

    click_balloon(machine)
    choose(machine, desktop, title, pcsx2)
    assert_started(only(machine.wait_launches(1), "PCSX2"), pcsx2, SW_SHOWNORMAL,
                   f'"{pcsx2}" -batch -fullscreen -disc D:\\')
    machine.wait_setting("PS2Command", f'"{pcsx2}" -batch -fullscreen -disc %D:\\')


def test_emulator_switch_opens_the_dialog_in_the_running_discora(machine, desktop):
    agent = machine.start(PCSX2)
    second = machine.spawn(PROGRAM_FOLDER + "\\Discora.exe", "/emulator")
    assert second.wait(timeout=DEADLINE) == 0, "the second instance ends at once"
    choose(machine, desktop, "Choose the emulator", PCSX2)
    machine.wait_setting("PS2Command", f'"{PCSX2}" -batch -fullscreen -disc %D:\\')
    machine.wait_polls(1)
    assert paths(machine.launches()) == [], "no disc: nothing starts"
    assert agent.poll() is None


def dialogs(machine, title: str) -> list[dict[str, str]]:
    return [w for w in machine.windows()
            if w["class"] == DIALOG_CLASS and w["text"] == title and w["visible"] == "1"]


def test_double_click_without_emulator_opens_the_dialog_and_a_folder_outside_the_code_page(
        machine, desktop):
    # "Łukasz" in code page 1252: the dialog gives the path wide, and
    # Discora keeps that folder's short name, which names the same file.
    duckstation = machine.put_standin(f"C:\\Emus\\\u0141ukasz\\{DUCKSTATION_NAME}")
    agent = machine.start(disc="psx")
    machine.tray_event(WM_LBUTTONDBLCLK, handled=False)
    # The system's best fit reads "Ł" as "L".
    choose(machine, desktop, PS1_TITLE, duckstation, duckstation.replace("\u0141", "L"))
    launch = only(machine.wait_launches(1), "DuckStation's start")
    program = launch.cmdline.split('"')[1]
    assert program.startswith("C:\\Emus\\") and program.endswith(f"\\{DUCKSTATION_NAME}")
    assert "?" not in program and "Lukasz" not in program, program
    assert launch.cmdline == f'"{program}" -batch -fullscreen -- \\\\.\\D:'
    machine.wait_setting("PS1Command", f'"{program}" -batch -fullscreen -- \\\\.\\%D:')
    machine.wait_polls(1)
    assert balloons(machine) == [], "the user who asked gets the dialog, not a notice"

    machine.probe("post", "-t", DUCKSTATION_TITLE, hex(WM_CLOSE), "0", "0", check=True)
    machine.wait_ended(launch.path)
    machine.post_to_agent(WM_COMMAND, ID.IDM_EXIT)
    assert agent.wait(timeout=DEADLINE) == 0
    machine.eject()
    machine.start_agent_and_wait_first_poll()
    machine.insert("psx")
    assert machine.wait_launches(2)[1].cmdline == launch.cmdline


def test_emulator_switch_started_twice_at_once_opens_one_dialog(machine, desktop):
    machine.install()
    first = machine.spawn(PROGRAM_FOLDER + "\\Discora.exe", "/emulator")
    second = machine.spawn(PROGRAM_FOLDER + "\\Discora.exe", "/emulator")
    # One runs as Discora; the other asks it and ends.
    ended = wait_until(lambda: [p for p in (first, second) if p.poll() is not None], DEADLINE,
                       "one of the two to end")
    assert [p.returncode for p in ended] == [0]
    desktop.wait_state(lambda s: True, "the dialog", cls=DIALOG_CLASS, title="Choose the emulator")
    # The request the second one posted is handled before the next timer
    # tick, which comes only when no posted message waits.
    machine.wait_polls(1)
    assert len(dialogs(machine, "Choose the emulator")) == 1
    assert machine.find_window(title="Discora") is None, "no message box"
    choose(machine, desktop, "Choose the emulator", None)
    running = first if first.poll() is None else second
    assert running.poll() is None
