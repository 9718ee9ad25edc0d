"""End-to-end tests of the emulators Discora finds by itself and of the
user's own emulator commands: which program a PlayStation or PlayStation 2
disc starts, with which command line, and what a running one gets instead.

The emulators are stand-ins copied where their installers put the real
programs, under their real file names, and recorded in the registry as
those installers record them. Where a test must show that something does
not start, it lets a counted number of the agent's polls pass.
"""

from harness import (
    DECOY,
    DUCKSTATION_NAME,
    DUCKSTATION_TITLE,
    EMULATOR_TITLE,
    HKLM32,
    JOY,
    PCSX2,
    PEC,
    SC_MINIMIZE,
    SW_SHOWNORMAL,
    UNINSTALL_KEY,
    VGS,
    WM_CLOSE,
    WM_LBUTTONDBLCLK,
    WM_SYSCOMMAND,
    assert_agent_healthy,
    assert_started,
    insert_while_emulator_runs_minimised,
    only,
    paths,
    wait_until,
)

PCSX2_COMMAND = f'"{PCSX2}" -batch -fullscreen -disc D:\\'
# A PlayStation 2 boot line; what stands around it decides whether it counts.
BOOT2 = "BOOT2 = cdrom0:\\SLUS_203.12;1\r\n"


def install_duckstation(machine, folder: str | None = None, register: bool = True) -> str:
    """DuckStation as its installer leaves it: the program in `folder`
    (by default %LOCALAPPDATA%\\Programs\\DuckStation) and, with `register`,
    the user's uninstall record naming that folder. Returns the program."""
    folder = folder or machine.local_app_data() + "\\Programs\\DuckStation"
    program = machine.put_standin(f"{folder}\\{DUCKSTATION_NAME}")
    if register:
        record = {"DisplayName": "DuckStation", "InstallLocation": folder,
                  "DisplayIcon": program, "UninstallString": f"{folder}\\uninstaller.exe"}
        for name, value in record.items():
            machine.set_registry("HKCU", f"{UNINSTALL_KEY}\\DuckStation", name, value)
    return program


def duckstation_command(program: str) -> str:
    return f'"{program}" -batch -fullscreen -- \\\\.\\D:'


def test_psx_disc_starts_duckstation_after_the_utilities(machine):
    machine.install(JOY, PEC)
    duckstation = install_duckstation(machine)
    machine.start_agent_and_wait_first_poll()

    machine.insert("psx")
    machine.wait_launches(3)
    machine.wait_polls(2)

    launches = machine.launches()
    assert paths(launches) == [JOY, PEC, duckstation], "utilities first, then DuckStation, once"
    assert_started(launches[2], duckstation, SW_SHOWNORMAL, duckstation_command(duckstation))


def test_retroarch_from_its_32bit_record_starts_with_the_preferred_psx_core(machine):
    folder = "C:\\Games\\Retro Arch"
    retroarch = machine.put_standin(f"{folder}\\retroarch.exe")
    for core in ("pcsx_rearmed_libretro.dll", "mednafen_psx_libretro.dll"):
        machine.put_file(f"{folder}\\cores\\{core}", b"MZ")
    # Its installer records its name and its uninstaller, quoted.
    machine.set_registry(HKLM32, f"{UNINSTALL_KEY}\\RetroArch", "DisplayName", "RetroArch")
    machine.set_registry(HKLM32, f"{UNINSTALL_KEY}\\RetroArch", "UninstallString",
                         f'"{folder}\\uninstall.exe"')
    machine.start()

    machine.insert("psx")
    machine.wait_launches(1)
    machine.wait_polls(2)

    core = f"{folder}\\cores\\mednafen_psx_libretro.dll"
    assert_started(only(machine.launches(), "start"), retroarch, SW_SHOWNORMAL,
                   f'"{retroarch}" -f -L "{core}" "cdrom://D:/drive.cue"')


def test_ps2_disc_starts_pcsx2_and_a_psx_disc_duckstation(machine):
    duckstation = install_duckstation(machine)
    machine.start(PCSX2)

    machine.insert("ps2")
    machine.wait_launches(1)
    machine.wait_polls(2)
    assert_started(only(machine.launches(), "start"), PCSX2, SW_SHOWNORMAL, PCSX2_COMMAND)

    machine.swap_disc("psx")
    machine.wait_launches(2)
    machine.wait_polls(2)
    assert paths(machine.launches()) == [PCSX2, duckstation]


def test_user_psx_command_wins_over_duckstation(machine):
    """The program part is found even unquoted with blanks, and is started
    quoted, so C:\\Program.exe does not run; %D is the drive, %% a %."""
    program = "C:\\Program Files\\Emu Station\\emustation.exe"
    install_duckstation(machine)
    machine.start(program, DECOY, settings={
        "PS1Command": f'{program} -cdrom %D: -label "%%D=%D" -speed 100%%'})

    machine.insert("psx")
    machine.wait_launches(1)
    machine.wait_polls(2)

    assert_started(only(machine.launches(), "start"), program, SW_SHOWNORMAL,
                   f'"{program}" -cdrom D: -label "%D=D" -speed 100%')


def test_user_command_naming_no_program_starts_nothing_else(machine):
    install_duckstation(machine)
    agent = machine.start(JOY, PEC, settings={"PS1Command": "C:\\Emulators\\gone.exe -cd %D:"})

    machine.insert("psx")
    machine.wait_launches(2)
    machine.wait_polls(2)

    assert paths(machine.launches()) == [JOY, PEC]
    assert_agent_healthy(machine, agent)


def test_duckstation_installed_while_the_agent_runs_is_found_at_the_next_disc(machine):
    agent = machine.start(JOY, PEC)
    machine.insert("psx")
    machine.wait_launches(2)
    machine.wait_polls(2)
    assert paths(machine.launches()) == [JOY, PEC], "nothing found: only the utilities"
    assert_agent_healthy(machine, agent)

    duckstation = install_duckstation(machine, "C:\\Games\\Duck Station")
    machine.swap_disc("ps2")
    machine.wait_launches(4)
    machine.wait_polls(2)
    assert paths(machine.launches()) == [JOY, PEC] * 2, "a PS2 disc never goes to DuckStation"

    machine.swap_disc("psx")
    machine.wait_launches(1, "duckstation")
    assert_started(machine.launches()[-1], duckstation, SW_SHOWNORMAL,
                   duckstation_command(duckstation))


def test_running_minimised_duckstation_is_restored_not_started_again(machine):
    machine.install(JOY, PEC)
    duckstation = install_duckstation(machine)
    insert_while_emulator_runs_minimised(machine, duckstation, DUCKSTATION_TITLE)

    started = only(machine.launches("duckstation"), "DuckStation start")
    assert started.cmdline.endswith("--minimized"), "only the test's own DuckStation runs"
    assert paths(machine.launches("utility")) == [JOY, PEC], "utilities start all the same"


def test_vgs_in_the_agents_folder_wins_over_duckstation_for_both_kinds_of_disc(machine):
    install_duckstation(machine)
    machine.start(VGS)

    machine.insert("psx")
    machine.wait_launches(1)
    machine.probe("post", "-t", EMULATOR_TITLE, hex(WM_SYSCOMMAND), hex(SC_MINIMIZE), "0",
                  check=True)
    machine.wait_window(title=EMULATOR_TITLE, predicate=lambda w: w["iconic"] == "1",
                        message="VGS minimised")

    # No PCSX2: a PS2 disc goes to the running VGS, never to DuckStation.
    machine.swap_disc("ps2")
    wait_until(lambda: machine.events("restored"), message="VGS to be restored",
               details=machine.describe)
    machine.wait_polls(2)
    assert paths(machine.launches()) == [VGS]


def test_oversized_or_binary_boot_files_are_read_as_psx_discs(machine):
    duckstation = install_duckstation(machine)
    agent = machine.start(PCSX2)
    filler = "VER = 1.00\r\n" * ((10 << 20) // 12)
    machine.make_disc("oversized", {"SYSTEM.CNF": BOOT2 + filler})
    machine.make_disc("binary", {"SYSTEM.CNF": BOOT2.encode() + bytes(range(256))})

    for count, disc in enumerate(("oversized", "binary"), 1):
        machine.swap_disc(disc)
        machine.wait_launches(count)
        machine.wait_polls(2)
        assert paths(machine.launches()) == [duckstation] * count, f"the {disc} disc"
        # Closed, so the next disc starts it anew rather than bringing it back.
        machine.probe("post", "-t", DUCKSTATION_TITLE, hex(WM_CLOSE), "0", "0", check=True)
        machine.wait_ended(duckstation)
    assert_agent_healthy(machine, agent)


def test_tray_double_click_starts_the_choice_for_the_disc_in_the_drive(machine):
    duckstation = install_duckstation(machine, register=False)
    machine.start(PCSX2, disc="ps2")
    machine.wait_polls(1)
    assert machine.launches() == [], "a disc already in at start counts as seen"

    machine.tray_event(WM_LBUTTONDBLCLK)
    assert_started(machine.wait_launches(1)[0], PCSX2, SW_SHOWNORMAL, PCSX2_COMMAND)

    # No disc: the PlayStation emulator, found in its default folder alone,
    # starts with no disc to play.
    machine.eject()
    machine.wait_reading("false")
    machine.tray_event(WM_LBUTTONDBLCLK)
    machine.wait_launches(2)
    machine.wait_polls(1)
    launches = machine.launches()
    assert paths(launches) == [PCSX2, duckstation]
    assert_started(launches[1], duckstation, SW_SHOWNORMAL)


def set_entry(machine, root: str, name: str, values: dict[str, str]) -> None:
    for value_name, text in values.items():
        machine.set_registry(root, f"{UNINSTALL_KEY}\\{name}", value_name, text)


def test_duckstation_from_winget_and_pcsx2_from_its_inno_installer_not_a_decoy(machine):
    # winget's portable package for the user, recorded as winget records
    # one: no DisplayIcon, an uninstall command that names no file.
    package = "Stenzek.DuckStation_Microsoft.Winget.Source_8wekyb3d8bbwe"
    folder = f"{machine.local_app_data()}\\Microsoft\\WinGet\\Packages\\{package}"
    duckstation = machine.put_standin(f"{folder}\\{DUCKSTATION_NAME}")
    set_entry(machine, "HKCU", package, {
        "DisplayName": "DuckStation", "DisplayVersion": "0.1.11752", "Publisher": "Stenzek",
        "InstallLocation": folder, "UninstallString": f"winget uninstall --product-code {package}",
        "WinGetPackageIdentifier": "Stenzek.DuckStation", "WinGetInstallerType": "portable",
        "WinGetSourceIdentifier": "winget"})
    # Another program's entry, read first, whose name merely holds the word.
    decoy = machine.put_standin(f"C:\\Tools\\Duck Tools\\{DUCKSTATION_NAME}")
    set_entry(machine, "HKCU", "A Duck Tools", {
        "DisplayName": "Not DuckStation Tools", "InstallLocation": "C:\\Tools\\Duck Tools"})
    # PCSX2's Inno Setup installer, 64-bit, in a folder of the user's choice.
    pcsx2_folder = "C:\\Games\\PCSX2 v2"
    pcsx2 = machine.put_standin(f"{pcsx2_folder}\\pcsx2-qt.exe")
    set_entry(machine, "HKLM", "{13CEE6E5-8EB3-47D3-882E-E9DBB6A3251C}_is1", {
        "DisplayName": "PCSX2", "Inno Setup: App Path": pcsx2_folder,
        "InstallLocation": f"{pcsx2_folder}\\", "DisplayIcon": f"{pcsx2_folder}\\pcsx2-qt.exe",
        "UninstallString": f'"{pcsx2_folder}\\unins000.exe"'})
    machine.start()

    machine.insert("psx")
    assert_started(machine.wait_launches(1)[0], duckstation, SW_SHOWNORMAL,
                   duckstation_command(duckstation))
    machine.swap_disc("ps2")
    launches = machine.wait_launches(2)
    assert_started(launches[1], pcsx2, SW_SHOWNORMAL,
                   f'"{pcsx2}" -batch -fullscreen -disc D:\\')
    machine.wait_polls(2)
    assert paths(machine.launches()) == [duckstation, pcsx2], f"never {decoy}"


def test_retroarch_from_the_users_scoop_folder(machine):
    # %USERPROFILE%\scoop\apps\retroarch\current, no record at all.
    profile = machine.local_app_data().rsplit("\\", 2)[0]
    folder = f"{profile}\\scoop\\apps\\retroarch\\current"
    retroarch = machine.put_standin(f"{folder}\\retroarch.exe")
    core = machine.put_file(f"{folder}\\cores\\pcsx_rearmed_libretro.dll", b"MZ")
    machine.start()

    machine.insert("psx")
    assert_started(machine.wait_launches(1)[0], retroarch, SW_SHOWNORMAL,
                   f'"{retroarch}" -f -L "{core}" "cdrom://D:/drive.cue"')


def test_duckstation_in_a_scoop_folder_outside_the_ansi_code_page(machine):
    # A user name the code page lacks ("Łukasz" in code page 1252): the
    # folder is read exactly and started by its short name, never by the
    # look-alike "C:\\Lukasz", which is another folder anyone may make.
    scoop, look_alike = "C:\\\u0141ukasz\\scoop", "C:\\Lukasz\\scoop"
    app = f"\\apps\\duckstation\\current\\{DUCKSTATION_NAME}"
    machine.put_standin(scoop + app)
    machine.put_standin(look_alike + app)
    machine.install()
    machine.start_agent_and_wait_first_poll(env={"SCOOP": scoop})

    machine.insert("psx")
    launch = only(machine.wait_launches(1), "DuckStation's start")
    machine.wait_polls(2)
    assert len(machine.launches()) == 1
    assert launch.path.endswith(DUCKSTATION_NAME)
    assert "Lukasz" not in launch.cmdline, f"the look-alike folder started: {launch.cmdline}"

    # Running, it is known by its file, though the system names it by its
    # long name: the next disc starts no second copy.
    machine.swap_disc("psx")
    machine.wait_polls(3)
    assert len(machine.launches()) == 1, paths(machine.launches())
