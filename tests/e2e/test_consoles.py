"""End-to-end tests of the other consoles' discs: a drive whose sectors come
from an image file (Wine reads \\\\.\\D: from the file the prefix's "d::" link
names), told apart by the header of its first sector, and what the agent
starts or asks for then. Wine gives such a drive no table of contents, so
the PC Engine CD's data track rests on the unit tests.
"""

from harness import (
    DEADLINE,
    NIN_BALLOONUSERCLICK,
    SW_SHOWNORMAL,
    WM_CLOSE,
    assert_started,
    paths,
    wait_until,
)

RETROARCH = "C:\\RetroArch-Win64\\retroarch.exe"
CORES = "C:\\RetroArch-Win64\\cores"
SATURN_CORE = f"{CORES}\\mednafen_saturn_libretro.dll"
SEGA_CD_CORE = f"{CORES}\\genesis_plus_gx_libretro.dll"


def retroarch_command(core: str) -> str:
    return f'"{RETROARCH}" -f -L "{core}" "cdrom://D:/drive.cue"'


def close_retroarch(machine) -> None:
    machine.probe("post", "-t", "RetroArch", hex(WM_CLOSE), "0", "0", check=True)
    machine.wait_ended(RETROARCH)


def balloon(machine, words: str) -> str:
    """The text of the balloon Wine's tray shows that holds `words`."""
    def shown() -> str | None:
        return next((text for text in machine.balloon_texts() if words in text), None)
    return wait_until(shown, DEADLINE, f"a balloon with {words!r}", interval=0.5)


def test_saturn_and_sega_cd_discs_start_retroarch_with_their_cores_and_saturn_command_wins(
        machine):
    machine.put_file(SATURN_CORE, b"MZ")
    machine.put_file(SEGA_CD_CORE, b"MZ")
    machine.start(RETROARCH)

    machine.insert("saturn")
    assert_started(machine.wait_launches(1)[0], RETROARCH, SW_SHOWNORMAL,
                   retroarch_command(SATURN_CORE))
    close_retroarch(machine)
    machine.swap_disc("segacd")
    assert_started(machine.wait_launches(2)[1], RETROARCH, SW_SHOWNORMAL,
                   retroarch_command(SEGA_CD_CORE))
    close_retroarch(machine)

    # The user's own command for Saturn discs comes before the search.
    own = machine.put_standin("C:\\Emulators\\saturn.exe")
    machine.set_setting("SaturnCommand", f'"{own}" -cd %D:')
    machine.swap_disc("saturn")
    launch = machine.wait_launches(3)[2]
    assert (launch.path, launch.cmdline) == (own, f'"{own}" -cd D:')
    machine.wait_polls(2)
    assert paths(machine.launches()) == [RETROARCH, RETROARCH, own]


def test_without_an_emulator_the_balloon_asks_names_the_core_and_a_data_disc_starts_nothing(
        machine, desktop):
    agent = machine.start()
    machine.insert("segacd")
    assert balloon(machine, "(MK-4407)") == (
        "No emulator was found for the disc in D: (MK-4407). Click here to choose the emulator.")

    # RetroArch, installed meanwhile without a Saturn core, is named.
    machine.put_standin(RETROARCH)
    machine.swap_disc("saturn")
    assert balloon(machine, "Beetle Saturn") == (
        "RetroArch has no core for the disc in D:. Install Beetle Saturn with its Online "
        "Updater, or click here to choose another emulator.")
    machine.tray_event(NIN_BALLOONUSERCLICK, handled=False)
    title = "Choose the emulator for Saturn discs"
    dialog = desktop.wait_state(lambda s: True, "the dialog", cls="#32770", title=title)
    desktop.key(dialog.xwindow, "Escape")
    desktop.wait_gone("#32770", title, "the dialog to close")

    # A disc whose sectors are no console's: nothing starts, nothing asks.
    machine.swap_disc("dataimage")
    machine.wait_polls(2)
    assert machine.launches() == []
    assert machine.settings_values() is None
    assert agent.poll() is None
    assert not [w for w in machine.windows() if w["class"] == "#32770"], "no dialog"
