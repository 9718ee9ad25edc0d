"""End-to-end tests of the real Discora.exe under Wine: a disc put into the
watched drive, the programs the agent starts for it and how it starts them.

The drive is a folder behind a drive letter, read by the test MCI driver;
the emulator and the utilities are stand-ins that log how they were started.
Where a test must show that something does not happen, it lets a counted
number of the agent's 3-second polls pass (each poll is one status query in
the MCI log) rather than sleeping for a guessed time.
"""

import time

from desktop import DIALOG_CLASS, IDC_BTNBROWSE
from harness import (
    AGENT_CLASS,
    BLEEM_TITLE,
    DECOY,
    DRIVE_CDROM,
    EMULATOR_TITLE,
    ID,
    JOY,
    PEC,
    POLL_SECONDS,
    PROGRAM_FOLDER,
    SETTINGS_KEY,
    SC_MINIMIZE,
    SW_SHOWMINIMIZED,
    SW_SHOWNORMAL,
    VGS,
    HKLM32,
    VGS_KEY,
    WM_LBUTTONDBLCLK,
    WM_SYSCOMMAND,
    assert_started,
    insert_while_emulator_runs_minimised,
    only,
    paths,
    wait_until,
)


def test_psx_disc_inserted_after_start_launches_utilities_then_emulator(machine):
    machine.install(JOY, PEC, VGS)
    agent = machine.start_agent_and_wait_first_poll()
    assert machine.launches() == []

    machine.insert("psx")
    machine.wait_launches(3)
    machine.wait_polls(2)

    launches = machine.launches()
    assert paths(launches) == [JOY, PEC, VGS], "utilities first, in order, each once"
    assert_started(launches[0], JOY, SW_SHOWMINIMIZED)
    assert_started(launches[1], PEC, SW_SHOWMINIMIZED)
    assert_started(launches[2], VGS, SW_SHOWNORMAL)
    window = machine.wait_window(title=EMULATOR_TITLE, message="the emulator's window")
    assert window["visible"] == "1" and window["iconic"] == "0"
    assert agent.poll() is None
    # A fresh user's options stay unwritten until the user changes one.
    assert machine.settings_values() is None


def test_disc_in_drive_at_start_launches_only_after_reinsertion(machine):
    machine.install(JOY, PEC, VGS, disc="psx")
    machine.start_agent_and_wait_first_poll()
    machine.wait_polls(3)
    assert machine.launches() == [], "a disc already in at start counts as seen"
    assert all(e[3] == "true" for e in machine.status_queries())

    machine.eject()
    machine.wait_reading("false")
    assert machine.launches() == []
    machine.insert("psx")
    machine.wait_launches(1, role="emulator")
    machine.wait_polls(2)
    assert paths(machine.launches()) == [JOY, PEC, VGS]


def test_start_and_polling_off_launch_at_startup_and_poll_no_more(machine):
    machine.install(VGS, disc="psx")
    machine.set_setting("Start", "False")
    machine.set_setting("Enabled", "False")
    agent = machine.start_agent()

    launch = machine.wait_launches(1, role="emulator")[0]
    assert_started(launch, VGS, SW_SHOWNORMAL)
    # Nothing to count while polling is off: two whole poll intervals with
    # no query show that the timer does not run.
    time.sleep(2 * POLL_SECONDS + 1)
    assert len(machine.status_queries()) == 1, machine.describe()
    assert len(machine.launches()) == 1
    assert agent.poll() is None


def test_running_minimised_emulator_is_restored_not_started_again(machine):
    machine.install(JOY, PEC, VGS)
    insert_while_emulator_runs_minimised(machine, VGS, EMULATOR_TITLE)

    emulators = machine.launches("emulator")
    assert len(emulators) == 1 and emulators[0].cmdline.endswith("--minimized"), \
        "only the test's own emulator runs"
    assert paths(machine.launches("utility")) == [JOY, PEC], "utilities start all the same"
    assert len(machine.events("restored")) == 1


def test_disc_without_system_cnf_launches_nothing(machine):
    machine.install(JOY, PEC, VGS)
    machine.start_agent_and_wait_first_poll()

    machine.insert("data")
    machine.wait_reading("true")
    machine.wait_polls(3)
    assert machine.launches() == []

    # Taking it out re-arms the watch: the next PlayStation disc launches.
    machine.eject()
    machine.wait_reading("false")
    machine.insert("psx")
    machine.wait_launches(3)


def test_second_instance_ends_at_once_and_first_keeps_working(machine):
    machine.install(VGS)
    first = machine.start_agent_and_wait_first_poll()

    second = machine.start_agent()
    assert second.wait(timeout=30) == 0
    assert first.poll() is None
    assert len({e[1] for e in machine.mci_log()}) == 1, "only the first instance polls"

    machine.insert("psx")
    machine.wait_launches(1, role="emulator")
    machine.wait_polls(2)
    assert len(machine.launches()) == 1
    assert first.poll() is None


def test_without_cdrom_drive_the_agent_ends_at_once(machine):
    machine.install_agent()
    machine.put_standin(VGS)
    assert DRIVE_CDROM not in machine.drive_types().values()

    agent = machine.start_agent()
    assert agent.wait(timeout=30) == 0
    assert machine.mci_log() == []
    assert machine.launches() == []
    assert machine.find_window(cls=AGENT_CLASS) is None


def test_utility_path_with_blanks_starts_that_file_and_no_prefix_of_it(machine):
    tool = "C:\\Program Files\\Disc Utils\\pec tool.exe"
    machine.install(VGS, tool, DECOY)
    machine.set_setting("App1", tool)
    machine.start_agent_and_wait_first_poll()

    machine.insert("psx")
    machine.wait_launches(1, role="emulator")
    machine.wait_polls(2)

    utility = only(machine.launches("utility"), "utility start")
    assert_started(utility, tool, SW_SHOWMINIMIZED)
    assert DECOY not in paths(machine.launches())


def test_only_the_first_cdrom_drive_is_watched(machine):
    machine.install(VGS)
    machine.add_cdrom("f", "psx")
    # The user's choice wins over the machine's default of every drive.
    machine.set_setting("AllDrives", "False")
    machine.set_registry("HKLM", SETTINGS_KEY, "AllDrives", "True")
    # With this off a watched drive holding a disc at start would launch.
    machine.set_setting("Start", "False")
    machine.start_agent_and_wait_first_poll()
    machine.wait_polls(2)
    assert machine.launches() == []

    machine.eject("f")
    machine.wait_polls(1)
    machine.insert("psx", "f")
    machine.wait_polls(2)
    assert machine.launches() == []
    assert set(machine.opens()) == {"D:"}

    machine.insert("psx", "d")
    machine.wait_launches(1, role="emulator")


def test_emulator_named_by_registry_location_with_blanks_is_started_quoted(machine):
    location = "C:\\Program Files\\Connectix\\Virtual Game Station\\ConnectixVGS.exe"
    machine.install(location, DECOY)
    machine.set_registry(HKLM32, VGS_KEY, "Location", location)
    machine.start_agent_and_wait_first_poll()

    machine.insert("psx")
    machine.wait_launches(1, role="emulator")
    machine.wait_polls(2)

    assert_started(only(machine.launches(), "start"), location, SW_SHOWNORMAL)


def test_failed_status_query_keeps_the_last_reading(machine):
    machine.install(VGS)
    agent = machine.start_agent_and_wait_first_poll()

    # No disc known: a disc put in while the drive cannot be asked is not
    # seen, and is seen (and launches) once the drive answers again.
    machine.mci_control("fail-status")
    machine.insert("psx")
    machine.wait_reading("failed")
    machine.wait_polls(2)
    assert machine.launches() == [], "a failed query is no reading of a disc"
    machine.mci_control("fail-status", None)
    machine.wait_launches(1, role="emulator")

    # Disc known: taking it out and putting it back while the drive cannot
    # be asked leaves it present, so no second launch follows.
    machine.mci_control("fail-status")
    machine.eject()
    machine.wait_reading("failed")
    machine.wait_polls(1)
    machine.insert("psx")
    machine.wait_polls(1)
    machine.mci_control("fail-status", None)
    machine.wait_reading("true")
    machine.wait_polls(2)
    assert len(machine.launches()) == 1, machine.describe()
    assert agent.poll() is None, "the agent survives failed queries"


def test_bleem_in_program_folder_is_started_and_later_restored_by_its_title(machine):
    bleem = PROGRAM_FOLDER + "\\bleem!.exe"
    machine.install(bleem)
    machine.start_agent_and_wait_first_poll()

    machine.insert("psx")
    assert_started(machine.wait_launches(1)[0], bleem, SW_SHOWNORMAL)
    machine.wait_window(title=BLEEM_TITLE, message="the bleem! window")
    machine.probe("post", "-t", BLEEM_TITLE, hex(WM_SYSCOMMAND), hex(SC_MINIMIZE), "0",
                  check=True)
    machine.wait_window(title=BLEEM_TITLE, predicate=lambda w: w["iconic"] == "1",
                        message="bleem! minimised")

    # The next disc finds it running under its own title and brings it back.
    machine.eject()
    machine.wait_reading("false")
    machine.insert("psx")
    wait_until(lambda: machine.events("restored"), message="bleem! to be restored",
               details=machine.describe)
    machine.wait_polls(2)
    assert len(machine.launches()) == 1


def test_utilities_switched_off_only_the_emulator_starts(machine):
    machine.install(JOY, PEC, VGS)
    machine.set_setting("StartUtils", "False")
    machine.start_agent_and_wait_first_poll()

    machine.insert("psx")
    machine.wait_launches(1, role="emulator")
    machine.wait_polls(2)
    assert paths(machine.launches()) == [VGS]


def test_programs_start_in_their_own_folders_whichever_folder_the_agent_is_in(machine, desktop):
    """Every program starts in the folder of its own file, as a shortcut's
    "Start in" gives it, not in the agent's current folder: System32 for an
    agent started at logon, later the folder a browse in the configuration
    window went to. (assert_started checks the folder.)"""
    root_tool = "C:\\roottool.exe"
    tool = "C:\\Program Files\\Disc Tools\\pec tool.exe"
    picked = "C:\\Picked Tools\\picked.exe"
    machine.install(root_tool, tool, VGS, picked,
                    settings={"App1": root_tool, "App2": tool, "App3": ""})
    machine.start_agent_and_wait_first_poll(cwd=machine.unix_path("C:\\windows\\system32"))

    machine.insert("psx")
    first = machine.wait_launches(3)
    assert paths(first) == [root_tool, tool, VGS]
    assert_started(first[0], root_tool, SW_SHOWMINIMIZED)  # in "C:\\"
    assert_started(first[1], tool, SW_SHOWMINIMIZED)
    assert_started(first[2], VGS, SW_SHOWNORMAL)

    state = desktop.show_by_command()
    desktop.click_control(state, IDC_BTNBROWSE[2])
    title = "Select Another Utility  Path"
    dialog = desktop.wait_state(lambda s: s.focus["focus_class"].lower() == "edit",
                                f"the dialog {title!r}", cls=DIALOG_CLASS, title=title)
    # Into the picked file's folder, then the file, as a user goes.
    folder, name = picked.rsplit("\\", 1)
    for text in (folder + "\\", name):
        desktop.type_text(dialog.xwindow, text)
        desktop.wait_state(lambda s: s.focused_text == text, f"{text!r} typed in the dialog",
                           cls=DIALOG_CLASS, title=title)
        desktop.key(dialog.xwindow, "Return")
    desktop.wait_gone(DIALOG_CLASS, title, "the dialog to close")
    desktop.click_control(desktop.wait_field(2, picked), ID.IDC_BTNOK)
    desktop.wait_hidden()

    # The emulator runs: the launcher starts the utilities and brings it
    # forward.
    machine.tray_event(WM_LBUTTONDBLCLK)
    second = machine.wait_launches(6)[3:]
    assert paths(second) == [root_tool, tool, picked]
    assert_started(second[0], root_tool, SW_SHOWMINIMIZED)
    assert_started(second[1], tool, SW_SHOWMINIMIZED)
    assert_started(second[2], picked, SW_SHOWMINIMIZED)
