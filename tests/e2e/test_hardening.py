"""End-to-end tests of the real Discora.exe under Wine fed with bad input:
settings that are no Booleans or of the wrong registry type, a settings key
that cannot be read or written, utility paths and emulator records that are
too long, malformed, misleading or outside the ANSI code page, emulator
files the folder search must skip, a drive that fails, answers slowly or
vanishes, libraries planted in the program's folder, and device-change
messages for other drives.

In every case the agent must keep running, start exactly what it should and
nothing else, show no window of its own and no dialog box, and leave every
stored value as it was unless the user changed it.

The tray double-click (a WM_MOUSEMOVE carrying WM_LBUTTONDBLCLK, posted to
the agent's window as the notification area does) runs the launcher at a
moment the test chooses. Where a test must show that something does not
happen, it lets a counted number of the agent's polls pass (one status query
each in the MCI driver's log), or, for a device-change message, looks at the
log from the send until the agent has also handled the message it posted
itself for it (probe's "arrive" waits for that).
"""

from __future__ import annotations

from dataclasses import dataclass, field

import pytest

import harness

from harness import (
    DEADLINE,
    AGENT_CLASS,
    DBT_DEVICEREMOVECOMPLETE,
    DBTF_MEDIA,
    DECOY,
    DRIVE_D,
    DRIVE_E,
    EMULATOR_TITLE,
    ID,
    JOY,
    PEC,
    PROGRAM_FOLDER,
    REG_SZ,
    SETTINGS_KEY,
    SW_SHOWMINIMIZED,
    SW_SHOWNORMAL,
    TEST_FOLDER,
    TOOLS_FOLDER,
    VGS,
    HKLM32,
    VGS_KEY,
    WM_CLOSE,
    WM_COMMAND,
    WM_LBUTTONDBLCLK,
    WM_NULL,
    RegValue,
    as_reg_value,
    as_reg_values,
    assert_agent_healthy,
    assert_started,
    only,
    parse_fields,
    paths,
    wait_until,
)

AGENT = PROGRAM_FOLDER + "\\Discora.exe"
# A utility stand-in outside the program's folder: each run of the launcher
# starts it, so its log line marks that the launcher ran.
MARK = TOOLS_FOLDER + "\\mark.exe"
CHOOSE_TITLE = "Choose the emulator"
MCI_KEY = "Software\\Microsoft\\Windows NT\\CurrentVersion\\MCI"
PLANTED_LOG = TEST_FOLDER + "\\planted.log"

KEY_QUERY_VALUE = 0x1
KEY_SET_VALUE = 0x2
ERROR_ACCESS_DENIED = 5


# --------------------------------------------------------------------------
# helpers


def double_click(machine):
    """What the notification area posts for a double-click on the icon:
    the agent runs its launcher."""
    machine.tray_event(WM_LBUTTONDBLCLK, handled=False)


def launch_once(machine):
    """Starts the installed agent and runs its launcher once, until the
    emulator has started and a poll has followed; returns the agent and the
    settings as stored before it started."""
    stored = machine.settings_values()
    agent = machine.start_agent_and_wait_first_poll()
    double_click(machine)
    machine.wait_launches(1, role="emulator")
    machine.wait_polls(1)
    return agent, stored


def close_emulator(machine):
    """Closes the running emulator stand-in and waits until it has gone."""
    exits = len(machine.events("exit"))
    machine.probe("post", "-t", EMULATOR_TITLE, hex(WM_CLOSE), "0", "0", check=True)
    wait_until(lambda: len(machine.events("exit")) > exits, message="the emulator to exit",
               details=machine.describe)
    machine.probe("wait", "-t", EMULATOR_TITLE, "--gone", check=True)


# --------------------------------------------------------------------------
# switches


@dataclass
class SwitchCase:
    values: dict
    utilities: bool  # "Start with utilities" ends up checked
    icon: bool  # the tray icon is shown


SWITCH_CASES = {
    # Texts that are no Booleans leave each switch as the window was made:
    # "Enable Autorun" and "Start only on disk mount" checked, "Start with
    # utilities" unchecked, the icon not hidden.
    "not-booleans": SwitchCase(
        {"Enabled": "maybe", "Start": "", "StartUtils": "x" * 10_000, "Hidden": "yes"},
        utilities=False, icon=True),
    # Numbers with blanks around them, a sign or an exponent are true,
    # also when the blanks make the text 10 000 characters long.
    "numbers": SwitchCase(
        {"Enabled": "1e3", "Start": " 1 ", "StartUtils": " " * 4_999 + "-1" + " " * 4_999,
         "Hidden": "-1"},
        utilities=True, icon=False),
    # Values of another type than a text read as absent, so the defaults
    # apply; read as texts they would all say the opposite.
    "wrong-types": SwitchCase(
        {"Enabled": RegValue.binary(b"False\0"), "Start": RegValue.multi_sz("False"),
         "StartUtils": RegValue.dword(0), "Hidden": RegValue.binary(b"True\0")},
        utilities=True, icon=True),
}


def check_switches(machine, agent, utilities, icon):
    """Polling is on, a disc in the drive at start-up counts as seen, the
    launcher starts the utilities only when the switch says so, and the icon
    is shown or not."""
    machine.wait_polls(2)  # "Enable Autorun" is on: the timer polls
    assert machine.launches() == [], "the disc in the drive at start-up launched"
    if icon:
        wait_until(lambda: machine.tray_shown(), message="the tray icon")
    else:
        assert not machine.tray_shown(), "the tray icon is shown"

    double_click(machine)
    machine.wait_launches(1, role="emulator")
    machine.wait_polls(1)
    assert paths(machine.launches()) == ([JOY, PEC] if utilities else []) + [VGS]
    assert_agent_healthy(machine, agent)


@pytest.mark.parametrize("case", SWITCH_CASES.values(), ids=SWITCH_CASES.keys())
def test_switch_values_that_are_no_plain_booleans(machine, case):
    machine.install(JOY, PEC, VGS, disc="psx")
    for name, value in case.values.items():
        machine.set_setting(name, value)
    stored = machine.settings_values()
    assert stored == as_reg_values(case.values)

    agent = machine.start_agent_and_wait_first_poll()
    check_switches(machine, agent, case.utilities, case.icon)
    assert machine.settings_values() == stored


def test_settings_key_that_cannot_be_read_gives_the_defaults(machine):
    stored_tool = "C:\\Tools\\stored.exe"
    machine.install(JOY, PEC, VGS, stored_tool, disc="psx")
    # Read, these would stop polling, launch the disc at start-up, start no
    # utilities but another one, and hide the icon.
    for name, value in {"Enabled": "False", "Start": "False", "StartUtils": "False",
                        "Hidden": "True", "App1": stored_tool, "App2": stored_tool}.items():
        machine.set_setting(name, value)
    stored = machine.settings_values()
    machine.deny_registry_access("HKCU", SETTINGS_KEY, KEY_QUERY_VALUE)
    assert machine.settings_values() is None, "Wine keeps the key readable"

    agent = machine.start_agent_and_wait_first_poll()
    check_switches(machine, agent, utilities=True, icon=True)
    machine.allow_registry_access("HKCU", SETTINGS_KEY)
    assert machine.settings_values() == stored


def test_refused_settings_write_keeps_the_new_state_and_a_later_write_stores_it(machine):
    machine.install(JOY, PEC, VGS)
    machine.set_setting("StartUtils", "1")
    machine.set_setting("App3", "")
    stored = machine.settings_values()
    machine.deny_registry_access("HKCU", SETTINGS_KEY, KEY_SET_VALUE)
    refused = machine.wine(machine.tool("regtool.exe"), "open", f"HKCU\\{SETTINGS_KEY}",
                           hex(KEY_SET_VALUE))
    assert parse_fields(refused.stdout)["rc"] == str(ERROR_ACCESS_DENIED)
    agent = machine.start_agent_and_wait_first_poll()

    # "Start with utilities" unchecked: the store refuses the write, the
    # check mark changes all the same, so the launcher starts no utility.
    machine.post_to_agent(WM_COMMAND, ID.IDM_UTILITY)
    double_click(machine)
    machine.wait_launches(1, role="emulator")
    machine.wait_polls(1)
    assert paths(machine.launches()) == [VGS]
    assert machine.settings_values() == stored
    assert_agent_healthy(machine, agent)

    # Writable again: checking it stores the live state; the launcher now
    # starts the utilities (the emulator runs and is not started again).
    machine.allow_registry_access("HKCU", SETTINGS_KEY)
    machine.post_to_agent(WM_COMMAND, ID.IDM_UTILITY)
    expected = {**stored, "StartUtils": RegValue.sz("True")}
    wait_until(lambda: machine.settings_values() == expected,
               message="StartUtils stored as True", details=lambda: repr(machine.settings_values()))
    double_click(machine)
    machine.wait_launches(3)
    machine.wait_polls(1)
    assert paths(machine.launches()) == [VGS, JOY, PEC]
    assert machine.settings_values() == expected
    assert_agent_healthy(machine, agent)


# --------------------------------------------------------------------------
# utility paths


UMLAUT_TOOL = "C:\\Spiele\\\u00dcbung\\pec.exe"  # "Übung": one byte in the ANSI code page
BLANKS_TOOL = "C:\\Program Files\\Disc Tools\\pec tool.exe"

PATH_CASES = {
    # 10 000 characters; a character outside ASCII; a folder.
    "long-umlaut-folder": ({"App1": "C:\\" + "l" * 9_990 + "\\pec.exe",
                            "App2": UMLAUT_TOOL, "App3": PROGRAM_FOLDER},
                           [UMLAUT_TOOL]),
    # An empty file; a missing file; blanks with a decoy at the first blank.
    "empty-missing-blanks": ({"App1": "C:\\Tools\\empty.exe", "App2": "C:\\Tools\\missing.exe",
                              "App3": BLANKS_TOOL},
                             [BLANKS_TOOL]),
}


@pytest.mark.parametrize("values,started", PATH_CASES.values(), ids=PATH_CASES.keys())
def test_utility_paths_start_only_existing_non_empty_files_by_their_whole_path(
        machine, values, started):
    machine.install(VGS, UMLAUT_TOOL, BLANKS_TOOL, DECOY, "C:\\Program Files\\Disc.exe",
                    settings=values)
    machine.put_file("C:\\Tools\\empty.exe", b"")
    agent, stored = launch_once(machine)
    launches = machine.launches()
    assert paths(launches) == started + [VGS]
    for launch, path in zip(launches, started):
        # The module path as the started program sees it, in the ANSI code
        # page: the text reached the system unchanged.
        assert_started(launch, path, SW_SHOWMINIMIZED)
    assert machine.settings_values() == stored
    assert_agent_healthy(machine, agent)


def test_utility_paths_outside_the_ansi_code_page_start_no_other_file(machine):
    """The agent works with texts of the ANSI code page. A stored path with
    characters that code page lacks ("Ω", "Ł") cannot name its file there;
    above all it must not come to name another one: the system's "best
    fit" turns "Ωmega" into "Omega" and "Łódź" into "Lódz", folders that
    exist here too."""
    omega, omega_fit = "C:\\Spiele\\\u03a9mega\\pec.exe", "C:\\Spiele\\Omega\\pec.exe"
    lodz, lodz_fit = "C:\\Spiele\\\u0141\u00f3d\u017a\\pec.exe", "C:\\Spiele\\L\u00f3dz\\pec.exe"
    nandu = "C:\\Spiele\\\u00d1and\u00fa\\pec.exe"  # all of it in the code page
    machine.install(VGS, omega, omega_fit, lodz, lodz_fit, nandu,
                    settings={"App1": omega, "App2": lodz, "App3": nandu})
    agent, stored = launch_once(machine)
    started = paths(machine.launches())
    assert omega_fit not in started and lodz_fit not in started, \
        f"the agent started files the stored paths do not name: {started}"
    assert started == [nandu, VGS]
    assert machine.settings_values() == stored
    assert_agent_healthy(machine, agent)


def test_program_folder_outside_the_ansi_code_page_starts_nothing_from_another_folder(machine):
    """The agent's own folder "C:\\Ωprogs" has no name in the ANSI code
    page; its best fit "C:\\Oprogs" is another folder, which anyone may
    create at the root of C:. Neither the emulator search nor the default
    utility paths may lead there."""
    own, other = "C:\\\u03a9progs", "C:\\Oprogs"
    machine.add_cdrom("d")
    agent_path = machine.install_agent(own)
    machine.put_standin(own + "\\testvgs.exe")
    for path in (MARK, other + "\\evilvgs.exe", other + "\\pec.exe",
                 other + "\\DX7VGSJoy.exe"):
        machine.put_standin(path)
    machine.set_setting("App3", MARK)
    before = len(machine.status_queries())
    agent = machine.start_agent(agent_path)
    wait_until(lambda: len(machine.status_queries()) > before, message="the first poll",
               details=machine.describe)

    double_click(machine)
    machine.wait_launches(1, role="utility")
    double_click(machine)
    wait_until(lambda: paths(machine.launches()).count(MARK) == 2,
               message="the launcher to run twice", details=machine.describe)
    machine.wait_polls(1)
    started = paths(machine.launches())
    # The stand-in reports its own path in the code page too, so a start of
    # its own emulator shows as "C:\\Oprogs\\testvgs.exe"; the decoys have
    # names of their own.
    foreign = [p for p in started if p != MARK and not p.endswith("\\testvgs.exe")]
    assert foreign == [], f"started from another folder than the agent's own: {started}"
    assert machine.settings_values() == {"App3": RegValue.sz(MARK)}
    assert_agent_healthy(machine, agent)


# --------------------------------------------------------------------------
# the emulator: its registry record and the folder search


def path_of_length(length, folder="C:\\VGS\\", word="x"):
    """A path of exactly `length` characters ending in "vgs.exe"."""
    stem = length - len(folder) - len("vgs.exe")
    return folder + (word * stem)[:stem] + "vgs.exe"


LOCATION_254 = path_of_length(254, "C:\\Program Files\\VGS\\", "long name ")
LOCATION_255 = path_of_length(255)
PROGRAM_FILES_VGS = "C:\\Program Files\\VGS\\vgs.exe"
# Where "%ProgramFiles%\VGS\vgs.exe" leads, written by the emulator's 32-bit
# installer: on 64-bit Windows the folder of 32-bit programs, whichever
# build of the agent reads it.
PROGRAM_FILES_32BIT_VGS = harness.program_files_of_32bit_programs() + "\\VGS\\vgs.exe"


@dataclass
class LocationCase:
    value: object  # text (REG_SZ) or RegValue
    standin: str | None  # where a stand-in lies that a misread value would start
    started: str | None  # the emulator expected, or None
    cmdline: str | None = None  # expected command line, when not the quoted path
    decoy: str | None = None  # another stand-in only a misreading would start


LOCATION_CASES = {
    "dword": LocationCase(RegValue.dword(0x005C3A43), None, None),  # the bytes "C:\"
    "binary-without-nul": LocationCase(RegValue.binary(b"C:\\VGS\\binvgs.exe"),
                                       "C:\\VGS\\binvgs.exe", None),
    "expand-sz": LocationCase(RegValue.expand_sz("%ProgramFiles%\\VGS\\vgs.exe"),
                              PROGRAM_FILES_32BIT_VGS, PROGRAM_FILES_32BIT_VGS,
                              decoy=PROGRAM_FILES_VGS),
    "254-chars-with-blanks": LocationCase(LOCATION_254, LOCATION_254, LOCATION_254),
    "255-chars": LocationCase(LOCATION_255, LOCATION_255, None),
    # Stored without its terminating NUL, the text fills the 255-byte
    # buffer exactly: still a text of 255 characters, too long.
    "255-chars-unterminated": LocationCase(RegValue(REG_SZ, LOCATION_255.encode("utf-16-le")),
                                           LOCATION_255, None),
    # A NUL inside the value ends the text.
    "embedded-nul": LocationCase(RegValue(REG_SZ, "C:\\VGS\\cutvgs.exe\0 -evil\0".encode(
        "utf-16-le")), "C:\\VGS\\cutvgs.exe", "C:\\VGS\\cutvgs.exe"),
    "10000-chars": LocationCase(path_of_length(10_000), None, None),
    "quoted-with-argument": LocationCase(f'"{PROGRAM_FILES_VGS}" -fullscreen', PROGRAM_FILES_VGS,
                                         PROGRAM_FILES_VGS, f'"{PROGRAM_FILES_VGS}" -fullscreen'),
    # An installer's path and arguments without quotes: the file it names is
    # started with the arguments, never the decoy "C:\Program.exe" that the
    # text handed over as it stands would start.
    "unquoted-with-arguments": LocationCase(f"{PROGRAM_FILES_VGS} -fullscreen  /x",
                                            PROGRAM_FILES_VGS, PROGRAM_FILES_VGS,
                                            f'"{PROGRAM_FILES_VGS}" -fullscreen  /x'),
    "unquoted-naming-no-file": LocationCase("C:\\Program Files\\VGS\\gone vgs.exe -fullscreen",
                                            None, None),
}


def cancel_choice(machine):
    """A double-click that finds no emulator opens the dialog that chooses
    one: closed, as Cancel does."""
    machine.wait_window(cls="#32770", title=CHOOSE_TITLE, message="the dialog that chooses")
    machine.probe("post", "-t", CHOOSE_TITLE, hex(WM_CLOSE), "0", "0", check=True)
    wait_until(lambda: machine.find_window(title=CHOOSE_TITLE) is None, DEADLINE,
               "the dialog to close")


def check_launcher_runs(machine, agent, emulator, cmdline=None):
    """Runs the launcher twice by double-click and checks what it started:
    MARK each time, and `emulator` (or none, when the dialog that chooses
    one opens instead) once, the second run finding its window. The second
    MARK shows the first run has ended."""
    double_click(machine)
    machine.wait_launches(1, role="utility")
    if emulator:
        assert_started(machine.wait_launches(1, role="emulator")[0], emulator, SW_SHOWNORMAL,
                       cmdline)
        machine.wait_window(title=EMULATOR_TITLE, message="the emulator's window")
    else:
        cancel_choice(machine)
    double_click(machine)
    machine.wait_launches(2, role="utility")
    if not emulator:
        cancel_choice(machine)
    machine.wait_polls(1)
    started = paths(machine.launches())
    assert sorted(started) == sorted([MARK, MARK] + ([emulator] if emulator else [])), \
        f"expected {'the emulator ' + emulator if emulator else 'no emulator'}, started {started}"
    assert started[0] == MARK
    assert_agent_healthy(machine, agent)


@pytest.mark.parametrize("case", LOCATION_CASES.values(), ids=LOCATION_CASES.keys())
def test_emulator_registry_location_that_is_malformed_or_unusual(machine, case):
    machine.install(MARK, DECOY, *{p for p in (case.standin, case.decoy) if p})
    machine.set_setting("App1", MARK)
    machine.set_registry(HKLM32, VGS_KEY, "Location", case.value)
    assert machine.registry_values(HKLM32, VGS_KEY) == {"Location": as_reg_value(case.value)}
    stored = machine.settings_values()
    agent = machine.start_agent_and_wait_first_poll()
    check_launcher_runs(machine, agent, case.started, case.cmdline)
    assert machine.settings_values() == stored


@dataclass
class FolderCase:
    files: list  # stand-ins in the program's folder
    folders: list = field(default_factory=list)
    attributes: dict = field(default_factory=dict)  # path: attrib switch
    started: list | None = None  # any one of these is the emulator started


REGISTRY_VGS = "C:\\VGS\\regvgs.exe"
FOLDER_CASES = {
    "name-with-blank": FolderCase([PROGRAM_FOLDER + "\\my vgs.exe", PROGRAM_FOLDER + "\\my.exe"],
                                  started=[PROGRAM_FOLDER + "\\my vgs.exe"]),
    "several": FolderCase([PROGRAM_FOLDER + n for n in ("\\avgs.exe", "\\bvgs.exe",
                                                        "\\c vgs.exe")],
                          started=[PROGRAM_FOLDER + n for n in ("\\avgs.exe", "\\bvgs.exe",
                                                                "\\c vgs.exe")]),
    # Hidden and system files and folders are skipped (a dot file is hidden
    # under Wine), so the registry's emulator is the one.
    "skipped": FolderCase(
        [PROGRAM_FOLDER + n for n in ("\\hvgs.exe", "\\svgs.exe", "\\.dotvgs.exe",
                                      "\\bleem!.exe")],
        folders=[PROGRAM_FOLDER + "\\x vgs.exe"],
        attributes={PROGRAM_FOLDER + "\\hvgs.exe": "+h", PROGRAM_FOLDER + "\\svgs.exe": "+s",
                    PROGRAM_FOLDER + "\\bleem!.exe": "+h"},
        started=[REGISTRY_VGS]),
}


@pytest.mark.parametrize("case", FOLDER_CASES.values(), ids=FOLDER_CASES.keys())
def test_emulator_files_in_the_program_folder(machine, case):
    machine.install(MARK, REGISTRY_VGS, *case.files)
    for folder in case.folders:
        machine.put_file(folder + "\\inside.txt", "a folder, not a program")
    machine.set_setting("App1", MARK)
    machine.set_registry(HKLM32, VGS_KEY, "Location", REGISTRY_VGS)
    for path, switch in case.attributes.items():
        machine.wine("attrib", switch, path, check=True)
    stored = machine.settings_values()
    agent = machine.start_agent_and_wait_first_poll()

    double_click(machine)
    emulator = machine.wait_launches(1, role="emulator")[0]
    assert emulator.path in case.started, emulator
    assert_started(emulator, emulator.path, SW_SHOWNORMAL)
    machine.wait_window(title=EMULATOR_TITLE, message="the emulator's window")
    double_click(machine)
    machine.wait_launches(2, role="utility")
    machine.wait_polls(1)
    assert paths(machine.launches()) == [MARK, emulator.path, MARK]
    assert machine.settings_values() == stored
    assert_agent_healthy(machine, agent)


# --------------------------------------------------------------------------
# the drive and its driver


def test_missing_cdaudio_driver_fails_each_poll_quietly_until_it_is_back(machine):
    machine.install(VGS)
    machine.set_registry("HKLM", MCI_KEY, "cdaudio", "nosuchcd.dll")
    # Without the driver nothing reaches the test driver's log; Wine's MCI
    # trace of the agent counts its polls instead.
    trace = machine.worker.root / "agent-mci-trace.log"
    trace.unlink(missing_ok=True)
    agent = machine.start_agent(env={"WINEDEBUG": "fixme-all,trace+mci"}, log=trace)

    def polls():
        try:
            text = trace.read_text(errors="replace")
        except FileNotFoundError:
            return 0
        return text.count('mciSendStringW (L"status cdvgs media present wait"')

    wait_until(lambda: polls() >= 2, timeout=40, message="two polls of the agent")
    machine.insert("psx")
    count = polls()
    wait_until(lambda: polls() >= count + 2, timeout=40, message="two more polls")
    assert machine.mci_log() == [] and machine.launches() == []
    assert_agent_healthy(machine, agent)

    # The driver is back: the next poll reads the disc and launches.
    machine.set_registry("HKLM", MCI_KEY, "cdaudio", "mcitest.dll")
    machine.wait_launches(1, role="emulator")
    machine.wait_polls(1)
    assert paths(machine.launches()) == [VGS]
    assert machine.settings_values() is None
    assert_agent_healthy(machine, agent)


def failed_opens(machine):
    return [e for e in machine.mci_log() if e[2].startswith("open") and e[3:4] == ["failed"]]


def test_drive_that_fails_to_open_fails_its_query_then_answers_slowly(machine):
    machine.install(VGS)
    agent = machine.start_agent_and_wait_first_poll()

    machine.mci_control("fail-open")
    machine.insert("psx")
    count = len(failed_opens(machine))
    wait_until(lambda: len(failed_opens(machine)) >= count + 2, timeout=40,
               message="two polls with a failing open", details=machine.describe)
    assert machine.launches() == []

    machine.mci_control("fail-status")
    machine.mci_control("fail-open", None)
    machine.wait_reading("failed")
    machine.wait_reading("failed")
    assert machine.launches() == [], "a failed query is no reading of a disc"

    # 2.5 s for each query, nearly the whole poll interval.
    machine.mci_control("delay-ms", "2500")
    machine.mci_control("fail-status", None)
    machine.wait_launches(1, role="emulator")
    # Between two slow polls the agent still handles its messages.
    assert machine.send_to_agent(WM_NULL) == 0
    machine.wait_polls(2, timeout=60)
    machine.mci_control("delay-ms", None)
    assert paths(machine.launches()) == [VGS]
    assert machine.settings_values() is None
    assert_agent_healthy(machine, agent)


def test_drive_letter_vanishing_with_its_disc_reads_empty_and_empty_drives_raise_no_box(machine):
    # A floppy drive with nothing behind it and an empty second CD-ROM
    # drive, both named by utility paths.
    machine.add_drive("a", "floppy", machine.worker.root / "no-floppy-disk")
    machine.install(PEC, VGS)
    machine.add_cdrom("e")
    machine.set_setting("App1", "A:\\pec.exe")
    machine.set_setting("App3", "E:\\pec.exe")
    stored = machine.settings_values()
    agent = machine.start_agent_and_wait_first_poll()

    machine.insert("psx")
    machine.wait_launches(1, role="emulator")
    machine.wait_polls(1)
    assert paths(machine.launches()) == [PEC, VGS]

    # The drive is unplugged while the disc was in: the letter names no
    # drive, its open fails, nothing is started, nothing is shown.
    machine.remove_drive("d")
    count = len(failed_opens(machine))
    wait_until(lambda: len(failed_opens(machine)) >= count + 2, timeout=40,
               message="two polls of the vanished drive", details=machine.describe)
    assert len(machine.launches()) == 2
    assert_agent_healthy(machine, agent)

    # Plugged in again with the disc: the vanished drive read as empty, so
    # this is a new insertion and the launcher runs once more (the emulator
    # runs already and is not started twice).
    machine.add_cdrom("d", "psx")
    machine.wait_launches(3)
    machine.wait_polls(2)
    assert paths(machine.launches()) == [PEC, VGS, PEC]
    assert set(machine.opens()) == {"D:"}
    assert machine.settings_values() == stored
    assert_agent_healthy(machine, agent)


# --------------------------------------------------------------------------
# libraries planted in the program's folder


def planted_loads(machine, program):
    path = machine.unix_path(PLANTED_LOG)
    if not path.exists():
        return []
    records = [parse_fields(line) for line in path.read_text(errors="replace").splitlines()]
    return [r for r in records if r.get("program", "").lower() == program.lower()]


def test_libraries_planted_in_the_program_folder_are_not_loaded(machine):
    machine.install(VGS)
    planted = (machine.programs / "planted.dll").read_bytes()
    for name in ("winmm.dll", "mcitest.dll"):
        machine.put_file(f"{PROGRAM_FOLDER}\\{name}", planted)
    check = machine.put_file(PROGRAM_FOLDER + "\\dllcheck.exe",
                             (machine.programs / "dllcheck.exe").read_bytes())
    # Wine prefers its own winmm to any file of that name; told to prefer a
    # native one, it searches as Windows does, where winmm is no protected
    # system library. The MCI driver has no Wine counterpart anyway.
    native_first = {"WINEDLLOVERRIDES": machine.env["WINEDLLOVERRIDES"] + ";winmm=n,b"}

    # So the copies are loaded: a program in that folder that does not
    # restrict its library search gets both, and gets the system's with the
    # restriction.
    plain = parse_fields(machine.wine(check, "D:", check=True, env=native_first).stdout)
    assert plain["winmm_by_name"] == PROGRAM_FOLDER + "\\winmm.dll"
    assert {r["module"] for r in planted_loads(machine, check) if r["event"] == "loaded"} == {
        PROGRAM_FOLDER + "\\winmm.dll", PROGRAM_FOLDER + "\\mcitest.dll"}
    hardened = parse_fields(
        machine.wine(check, "--harden", "D:", check=True, env=native_first).stdout)
    assert hardened["winmm_by_name"].lower() == "c:\\windows\\system32\\winmm.dll"
    assert hardened["driver"].lower() == "c:\\windows\\system32\\mcitest.dll"

    # The agent polls through the system's winmm and driver (the test
    # driver logs its polls) and launches; the planted copies log nothing.
    agent = machine.start_agent(env=native_first)
    machine.wait_polls(1)
    machine.insert("psx")
    machine.wait_launches(1, role="emulator")
    machine.wait_polls(1)
    assert paths(machine.launches()) == [VGS]
    assert {e[1] for e in machine.status_queries()} == {
        machine.find_window(cls=AGENT_CLASS)["pid"]}
    assert planted_loads(machine, AGENT) == []
    assert machine.settings_values() is None
    assert_agent_healthy(machine, agent)


# --------------------------------------------------------------------------
# device-change messages


def send_arrival(machine, *args):
    """Sends the agent a volume-arrival message and lets it handle what it
    posted itself for it; returns probe's record (ticks before the send,
    after its answer and once the agent settled) and the status queries
    logged from the send until the agent settled."""
    record = parse_fields(machine.probe("arrive", *args, check=True).stdout)
    assert record["sent"] == "1", record
    before, settled = int(record["before"]), int(record["settled"])
    during = [e for e in machine.status_queries() if before <= int(e[0]) <= settled]
    return record, during


def assert_no_poll(machine, *args):
    """The message makes the agent poll nothing, neither while it handles
    the message nor afterwards. A timer poll can fall into that time; only a
    poll at every one of three sends counts as one the message caused."""
    for _ in range(3):
        record, during = send_arrival(machine, *args)
        if not during:
            return
    raise AssertionError(f"arrive {' '.join(args)}: a poll each time: {during}")


def test_volume_arrival_polls_at_once_only_for_media_on_the_watched_drive(machine):
    machine.install(VGS)
    disc = machine.make_disc("arrival")
    machine.insert("arrival")
    agent = machine.start_agent_and_wait_first_poll()

    # Another drive, no media flag, another event, another kind of device,
    # a record too short for a volume, no record at all: no poll.
    assert_no_poll(machine, hex(DRIVE_E), str(DBTF_MEDIA))
    assert_no_poll(machine, hex(0xFFFFFFFF & ~DRIVE_D), str(DBTF_MEDIA))
    assert_no_poll(machine, hex(DRIVE_D), "0")
    assert_no_poll(machine, "--event", hex(DBT_DEVICEREMOVECOMPLETE), hex(DRIVE_D),
                   str(DBTF_MEDIA))
    assert_no_poll(machine, "--type", "3", hex(DRIVE_D), str(DBTF_MEDIA))  # a port
    assert_no_poll(machine, "--size", "12", hex(DRIVE_D), str(DBTF_MEDIA))
    assert_no_poll(machine, "--no-record", hex(DRIVE_D), str(DBTF_MEDIA))
    assert machine.launches() == []

    # A disc arrives on D: together with the message: the agent polls right
    # after answering it and starts the emulator before the next timer poll.
    for attempt in range(3):
        record, during = send_arrival(machine, "--touch", "D:\\SYSTEM.CNF", hex(DRIVE_D),
                                      str(DBTF_MEDIA))
        if len(during) == 1:
            break
        # A timer poll fell into the same moment: which poll saw the disc
        # first cannot be told. Take the disc out and try again.
        if machine.launches():
            close_emulator(machine)
        (disc / "SYSTEM.CNF").unlink()
        machine.wait_reading("false")
    assert len(during) == 1, f"the message's poll could not be told from the timer's: {during}"
    assert during[0][3] == "true"
    before, settled = int(record["before"]), int(record["settled"])
    earlier = [e for e in machine.status_queries() if int(e[0]) < before]
    launch = machine.wait_launches(1, role="emulator")[-1]
    assert_started(launch, VGS, SW_SHOWNORMAL)
    assert launch.created <= int(record["settled_time"]), "started after the message's poll"
    machine.wait_polls(1)
    later = [e for e in machine.status_queries() if int(e[0]) > settled]
    assert int(earlier[-1][0]) < before <= int(during[0][0]) <= settled < int(later[0][0])
    print(f"volume arrival: answered in {int(record['after']) - before} ms, poll "
          f"{int(during[0][0]) - before} ms, emulator process created "
          f"{(launch.created - int(record['before_time'])) / 10_000:.0f} ms after the send; "
          f"the timer polled {before - int(earlier[-1][0])} ms before and "
          f"{int(later[0][0]) - settled} ms after")

    # "Enable Autorun" off: a disc arriving with its message polls nothing.
    close_emulator(machine)
    (disc / "SYSTEM.CNF").unlink()
    machine.wait_reading("false")
    machine.post_to_agent(WM_COMMAND, ID.IDM_AUTORUN)
    wait_until(lambda: machine.settings_values() == {"Enabled": RegValue.sz("False")},
               message="Enabled stored as False")
    queries = len(machine.status_queries())
    record, during = send_arrival(machine, "--touch", "D:\\SYSTEM.CNF", hex(DRIVE_D),
                                  str(DBTF_MEDIA))
    assert during == [] and len(machine.status_queries()) == queries
    assert len(machine.launches()) == 1
    assert machine.settings_values() == {"Enabled": RegValue.sz("False")}
    assert_agent_healthy(machine, agent)


def test_volume_arrival_is_answered_before_a_slow_drive_is_asked(machine):
    # Windows sends the arrival to every top-level window in turn, each
    # send waiting for its answer: the agent answers at once and asks the
    # drive afterwards, from a message it posted itself.
    machine.install(VGS)
    machine.make_disc("arrival")
    machine.insert("arrival")
    agent = machine.start_agent_and_wait_first_poll()

    # Each status query now takes 2 s, as a drive spinning up may. The
    # timer restarts (Autorun off and on), so its next poll cannot log a
    # query before 5 s from now: the only query from the send until the
    # agent settles is the one the message asked for.
    delay = 2000
    machine.mci_control("delay-ms", str(delay))
    machine.send_to_agent(WM_COMMAND, ID.IDM_AUTORUN)
    machine.send_to_agent(WM_COMMAND, ID.IDM_AUTORUN)
    record, during = send_arrival(machine, "--touch", "D:\\SYSTEM.CNF", hex(DRIVE_D),
                                  str(DBTF_MEDIA))
    before, after = int(record["before"]), int(record["after"])
    assert [e[3] for e in during] == ["true"], during
    drive_answered = int(during[0][0])  # logged as the slow query returns
    assert after < drive_answered, (
        f"the sender had its answer after {after - before} ms, "
        f"the drive after {drive_answered - before} ms")
    assert after - before < delay

    # The launch still happens, from that poll.
    launch = machine.wait_launches(1, role="emulator")[-1]
    assert_started(launch, VGS, SW_SHOWNORMAL)
    assert int(record["after_time"]) < launch.created <= int(record["settled_time"])
    print(f"slow drive: arrival answered in {after - before} ms, the drive in "
          f"{drive_answered - before} ms, emulator process created "
          f"{(launch.created - int(record['before_time'])) / 10_000:.0f} ms after the send")
    machine.mci_control("delay-ms", None)
    machine.wait_polls(1)
    assert len(machine.launches()) == 1
    assert machine.settings_values() == {"Enabled": RegValue.sz("True")}
    assert_agent_healthy(machine, agent)
