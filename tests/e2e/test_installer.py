"""End-to-end tests of the Windows packages that `cmake --build --preset
<preset> --target package` makes for the build under test (-win32 for x86,
-win64 for x64): the installer, run under Wine as a user or an
administrator's script runs it (`/S`, `/D=`), the Discora it installs, its
uninstaller, and the portable zip. The x64 run also installs each build over
the other, as on 64-bit Windows. The machine-wide AllDrives value the
installer keeps is looked for in both registry views of a 64-bit prefix.

Stored command lines (the Run value, the uninstall strings) are run as the
system runs them, from a batch file through cmd, quotes and all.
"""

from __future__ import annotations

import os
import signal
import zipfile

import pytest

import harness
from desktop import DIALOG_CLASS
from harness import (
    AGENT_CLASS,
    ARCHES,
    INSTALL_FOLDER,
    PROGRAM_FOLDER,
    EMULATOR_SHORTCUT,
    START_MENU_SHORTCUT,
    REPO,
    SW_SHOWNORMAL,
    HKLM32,
    VGS_KEY,
    Arch,
    SETTINGS_KEY,
    RegValue,
    assert_started,
    discora_exe,
    install_folder,
    only,
    package,
)

RUN_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Run"
UNINSTALL_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Discora"
UNINSTALLER = "Uninstall Discora.exe"
# The emulator's folder, with blanks, as its own installer may have made it.
EMULATOR_FOLDER = "C:\\Games Folder\\Connectix VGS"
# A user's own AllDrives value is the user's: no installer or uninstaller
# touches it.
SETTINGS = {"Start": "True", "StartUtils": "False", "App1": "C:\\Tools\\pad.exe",
            "AllDrives": "False"}
PRODUCT_KEY = "Software\\Discora"


def folder_files(machine, folder: str) -> set[str]:
    return {p.name for p in machine.unix_path(folder).iterdir()}


def records_view(arch: Arch) -> str:
    """The view of HKLM in which a build's installer keeps the Run value and
    the uninstall entry: that of its own kind of programs."""
    return HKLM32 if arch.name == "x86" else "HKLM"


def machine_all_drives(machine) -> RegValue | None:
    """The machine-wide AllDrives value, in the 64-bit view of a 64-bit
    prefix whichever build's installer wrote it, since both builds read it
    there; nothing of Discora's is in the 32-bit view."""
    if harness.ARCH.winearch == "win64":
        assert machine.registry_values(HKLM32, PRODUCT_KEY) is None
    return (machine.registry_values("HKLM", SETTINGS_KEY) or {}).get("AllDrives")


def assert_installed(machine, folder: str, arch: Arch | None = None,
                     all_drives: bool = True) -> dict[str, RegValue]:
    """Discora.exe (the bytes of the build under test, or of `arch`'s) and
    its uninstaller in `folder`, the quoted Run value, the Start menu
    shortcut, the uninstall entry, and the machine-wide AllDrives value
    "True" when the component was selected; returns the entry."""
    arch = arch or harness.ARCH
    assert machine_all_drives(machine) == (RegValue.sz("True") if all_drives else None)
    view = records_view(arch)
    program = f"{folder}\\Discora.exe"
    uninstaller = f"{folder}\\{UNINSTALLER}"
    built = discora_exe() if arch == harness.ARCH else harness.build_dir(arch) / "Discora.exe"
    assert machine.unix_path(program).read_bytes() == built.read_bytes()
    assert machine.unix_path(uninstaller).is_file()
    assert machine.registry_values(view, RUN_KEY).get("Discora") == RegValue.sz(f'"{program}"')
    link = machine.unix_path(START_MENU_SHORTCUT).read_bytes()
    assert program.encode() in link or program.encode("utf-16-le") in link, link
    link = machine.unix_path(EMULATOR_SHORTCUT).read_bytes()
    assert b"/emulator" in link or "/emulator".encode("utf-16-le") in link, link
    size = (machine.unix_path(program).stat().st_size
            + machine.unix_path(uninstaller).stat().st_size + 1023) // 1024
    entry = machine.registry_values(view, UNINSTALL_KEY)
    assert entry == {
        "DisplayName": RegValue.sz("Discora"),
        "DisplayVersion": RegValue.sz("1.1.0"),
        "Publisher": RegValue.sz("the Discora developers"),
        "URLInfoAbout": RegValue.sz("https://discora.example.org/"),
        "DisplayIcon": RegValue.sz(program),
        "InstallLocation": RegValue.sz(folder),
        "UninstallString": RegValue.sz(f'"{uninstaller}"'),
        "QuietUninstallString": RegValue.sz(f'"{uninstaller}" /S'),
        "NoModify": RegValue.dword(1),
        "NoRepair": RegValue.dword(1),
        "EstimatedSize": RegValue.dword(size),
    }
    return entry


def uninstall(machine, entry: dict[str, RegValue]) -> None:
    """Runs the quiet uninstall string and waits for the uninstaller's end;
    then nothing the installer made is left."""
    folder = entry["InstallLocation"].text()
    machine.run_command(entry["QuietUninstallString"].text())
    machine.wait_uninstalled(f"{folder}\\{UNINSTALLER}")
    assert not machine.unix_path(f"{folder}\\Discora.exe").exists()
    assert not machine.unix_path(START_MENU_SHORTCUT).exists()
    assert not machine.unix_path(EMULATOR_SHORTCUT).exists()
    assert "Discora" not in (machine.registry_values("HKLM", RUN_KEY) or {})
    assert machine.registry_values("HKLM", UNINSTALL_KEY) is None
    # The machine-wide settings go with their keys, left empty.
    assert machine_all_drives(machine) is None
    assert machine.registry_values("HKLM", PRODUCT_KEY) is None


def test_silent_install_beside_the_emulator_starts_at_logon_and_uninstalls_only_itself(machine):
    machine.add_cdrom("d")
    vgs = machine.put_standin(f"{EMULATOR_FOLDER}\\testvgs.exe")
    machine.put_standin(f"{EMULATOR_FOLDER}\\DX7VGSJoy.exe")
    machine.put_standin(f"{EMULATOR_FOLDER}\\pec.exe")
    machine.put_file(f"{EMULATOR_FOLDER}\\vgs.ini", "[General]\r\n")
    emulator_files = folder_files(machine, EMULATOR_FOLDER)
    for name, value in SETTINGS.items():
        machine.set_setting(name, value)

    machine.run_installer(f"/S /D={EMULATOR_FOLDER}")
    entry = assert_installed(machine, EMULATOR_FOLDER)
    assert not machine.unix_path(INSTALL_FOLDER).exists()
    settings = machine.settings_values()

    # At logon, Windows runs the Run value's command; the agent finds the
    # emulator in its own folder and starts it for a PlayStation disc.
    base = len(machine.status_queries())
    machine.run_command(machine.registry_values("HKLM", RUN_KEY)["Discora"].text(), wait=False)
    machine.wait_polls(1, since=base)
    machine.insert("psx")
    launch = only(machine.wait_launches(1), "start")
    assert_started(launch, vgs, SW_SHOWNORMAL)
    assert machine.tray_shown()

    # Uninstalled while it runs: closed first, then exactly what was
    # installed is removed; the emulator's files and the settings stay.
    uninstall(machine, entry)
    assert "discora.exe" not in machine.process_names()
    assert not machine.tray_shown()
    assert folder_files(machine, EMULATOR_FOLDER) == emulator_files
    assert machine.settings_values() == settings


@pytest.mark.parametrize("location, folder", [
    pytest.param(None, INSTALL_FOLDER, id="no-emulator-record"),
    pytest.param(f'"{EMULATOR_FOLDER}\\vgs.exe" /fullscreen', EMULATOR_FOLDER, id="quoted"),
    pytest.param(f"{EMULATOR_FOLDER}\\vgs.exe /fullscreen", EMULATOR_FOLDER, id="unquoted"),
    pytest.param(f"{EMULATOR_FOLDER}\\gone.exe", INSTALL_FOLDER, id="names-no-file"),
    pytest.param(EMULATOR_FOLDER, INSTALL_FOLDER, id="names-a-folder"),
])
def test_default_folder_is_the_emulators_when_its_record_names_an_existing_file(
        machine, location, folder):
    machine.add_cdrom("d")
    machine.put_standin(f"{EMULATOR_FOLDER}\\vgs.exe")
    if location is not None:
        machine.set_registry(HKLM32, VGS_KEY, "Location", location)

    machine.run_installer("/S")
    entry = assert_installed(machine, folder)
    assert "discora.exe" not in machine.process_names(), "a silent install starts nothing"
    others = {INSTALL_FOLDER, EMULATOR_FOLDER} - {folder}
    assert all(not machine.unix_path(f"{other}\\Discora.exe").exists() for other in others)

    uninstall(machine, entry)
    # A folder of its own goes with it; the emulator's stays as it was.
    if folder == INSTALL_FOLDER:
        assert not machine.unix_path(INSTALL_FOLDER).exists()
    assert folder_files(machine, EMULATOR_FOLDER) == {"vgs.exe"}


def test_install_over_a_running_discora_closes_it_first_then_starts_it_again_from_its_folder(
        machine):
    folder = "C:\\Discora Folder"
    machine.add_cdrom("d")
    for name, value in SETTINGS.items():
        machine.set_setting(name, value)
    # An administrator's own machine-wide value, which stays.
    machine.set_registry("HKLM", SETTINGS_KEY, "Note", "kept")
    machine.run_installer(f"/S /D={folder}")
    assert machine_all_drives(machine) == RegValue.sz("True")
    base = len(machine.status_queries())
    agent = machine.start_agent(f"{folder}\\Discora.exe")
    machine.wait_polls(1, since=base)
    assert machine.tray_shown()
    settings = machine.settings_values()
    written = machine.unix_path(f"{folder}\\Discora.exe").stat().st_ctime_ns

    # Again, without /D=: an installed Discora is replaced where it is, and
    # the one that ran runs again, from the new file. /NOALLDRIVES leaves
    # out every drive: the machine-wide value goes, the key it was in stays
    # for the administrator's value.
    machine.run_installer("/S /NOALLDRIVES")
    assert agent.wait(timeout=10) == 0, "closed by its window's close message"
    assert machine.unix_path(f"{folder}\\Discora.exe").stat().st_ctime_ns > written
    machine.wait_polls(1)
    assert machine.tray_shown()
    assert_installed(machine, folder, all_drives=False)
    assert machine.registry_values("HKLM", SETTINGS_KEY) == {"Note": RegValue.sz("kept")}
    assert not machine.unix_path(INSTALL_FOLDER).exists()
    assert not machine.unix_path(PROGRAM_FOLDER).exists()
    assert machine.settings_values() == settings


def test_silent_upgrade_keeps_every_drive_as_the_machine_has_it(machine):
    machine.add_cdrom("d")
    machine.run_installer("/S /NOALLDRIVES")
    assert machine_all_drives(machine) is None

    # winget upgrades with /S alone: every drive stays off.
    machine.run_installer("/S")
    assert_installed(machine, INSTALL_FOLDER, all_drives=False)


@pytest.mark.parametrize("value, on", [
    pytest.param(" 1 ", True, id="number"),
    pytest.param("tRUE", True, id="true"),
    pytest.param("False", False, id="false"),
    pytest.param("yes", False, id="no-boolean"),
    pytest.param(RegValue.dword(1), False, id="dword"),
])
def test_silent_upgrade_reads_an_administrators_value_as_discora_does(machine, value, on):
    # On stays on, rewritten in the installer's own form; off goes.
    machine.add_cdrom("d")
    machine.run_installer("/S")
    machine.set_registry("HKLM", SETTINGS_KEY, "AllDrives", value)
    machine.run_installer("/S")
    assert machine_all_drives(machine) == (RegValue.sz("True") if on else None)


def test_install_over_a_discora_that_does_not_close_fails_and_changes_nothing(machine):
    folder = "C:\\Discora Folder"
    machine.add_cdrom("d")
    machine.run_installer(f"/S /D={folder}")
    installed = {key: machine.registry_values("HKLM", key) for key in (RUN_KEY, UNINSTALL_KEY)}
    agent = machine.start_agent(f"{folder}\\Discora.exe")
    machine.wait_polls(1)
    program = machine.unix_path(f"{folder}\\Discora.exe")
    written = program.stat().st_ctime_ns

    # Hung: the agent answers no message while it is stopped.
    os.kill(agent.pid, signal.SIGSTOP)
    try:
        code = machine.run_installer("/S", check=False)
    finally:
        os.kill(agent.pid, signal.SIGCONT)
    assert code == 2, "a silent install that cannot replace Discora says so"
    assert program.stat().st_ctime_ns == written
    assert {key: machine.registry_values("HKLM", key) for key in installed} == installed


def test_interactive_install_shows_the_licence_can_leave_out_components_and_starts_discora(
        machine, desktop):
    machine.add_cdrom("d")
    # An earlier install's values, which leaving the components out removes.
    machine.set_registry("HKLM", RUN_KEY, "Discora", '"C:\\Old Folder\\Discora.exe"')
    machine.set_registry("HKLM", SETTINGS_KEY, "AllDrives", "True")
    machine.run_installer("", wait=False)

    def page(what: str, has) -> object:
        return desktop.wait_state(lambda s: s.visible and any(map(has, s.controls)),
                                  f"the installer's {what} page", cls=DIALOG_CLASS)

    welcome = page("welcome", lambda c: c["text"] == "Welcome to Discora Setup")
    desktop.key(welcome.xwindow, "Return")
    licence = page("licence", lambda c: c["class"].startswith("RichEdit"))
    shown = " ".join(c["text"] for c in licence.controls if c["class"].startswith("RichEdit"))
    assert "MIT License" in shown and "Copyright (c) 2026 the Discora developers" in shown
    desktop.key(licence.xwindow, "Return")  # I Agree
    components = page("components", lambda c: c["class"] == "SysTreeView32")
    # The second item, "Start Discora when Windows starts", and the third,
    # "Watch every CD and DVD drive", unchecked.
    desktop.key(components.xwindow, "Down", "space", "Down", "space", "Return")
    folder = page("folder", lambda c: c["text"] == "&Install")
    assert INSTALL_FOLDER in [c["text"] for c in folder.controls]
    desktop.key(folder.xwindow, "Return")
    finish = page("finish", lambda c: c["text"] == "Start Discora now")
    desktop.key(finish.xwindow, "Return")  # Finish, with "Start Discora now" checked

    machine.wait_window(cls=AGENT_CLASS, message="Discora started by the finish page")
    assert "Discora" not in machine.registry_values("HKLM", RUN_KEY)
    assert machine.registry_values("HKLM", PRODUCT_KEY) is None
    assert machine.registry_values("HKLM", UNINSTALL_KEY)["InstallLocation"] == \
        RegValue.sz(INSTALL_FOLDER)
    assert machine.unix_path(START_MENU_SHORTCUT).is_file()


def test_zip_holds_the_built_program_byte_for_byte_with_the_readme_and_licence():
    with zipfile.ZipFile(package("zip")) as archive:
        top = package("zip").stem + "/"
        assert sorted(archive.namelist()) == [top + "Discora.exe", top + "LICENSE.txt",
                                              top + "README.md"]
        assert archive.read(top + "Discora.exe") == discora_exe().read_bytes()
        assert archive.read(top + "LICENSE.txt") == (REPO / "LICENSE").read_bytes()
        assert archive.read(top + "README.md") == (REPO / "README.md").read_bytes()


def test_packages_are_named_for_their_build_and_the_installer_is_a_program_of_its_kind():
    suffix = {"x86": "win32", "x64": "win64"}[harness.ARCH.name]
    assert package("exe").name == f"Discora-1.1.0-{suffix}.exe"
    assert package("zip").name == f"Discora-1.1.0-{suffix}.zip"
    # The x64 installer is itself a 64-bit program (PE32+), the x86 one a
    # 32-bit one: the machine type in its PE header.
    image = package("exe").read_bytes()
    header = int.from_bytes(image[0x3C:0x40], "little")
    assert image[header:header + 4] == b"PE\0\0"
    assert int.from_bytes(image[header + 4:header + 6], "little") == harness.ARCH.machine


# Both builds' installers in one 64-bit prefix, as on 64-bit Windows: a case
# of the x64 run only (a 32-bit prefix runs no 64-bit program).
if harness.ARCH.winearch == "win64":

    # The x86 installer is a 32-bit program: where 32-bit Wine cannot run, the
    # case is reported as not run, like the x86 run itself.
    @pytest.mark.skipif(harness.why_no_32bit_wine() is not None,
                        reason=f"x86: not run: {harness.why_no_32bit_wine()}")
    @pytest.mark.parametrize("first, second", [("x86", "x64"), ("x64", "x86")],
                             ids=["x86-then-x64", "x64-then-x86"])
    def test_installing_one_build_over_the_other_replaces_it_and_keeps_the_settings(
            machine, first, second):
        first, second = ARCHES[first], ARCHES[second]
        machine.add_cdrom("d")
        for name, value in SETTINGS.items():
            machine.set_setting(name, value)
        machine.run_installer("/S", arch=first)
        old = install_folder(first)
        assert_installed(machine, old, first)
        agent = machine.start_agent(f"{old}\\Discora.exe")
        machine.wait_window(cls=AGENT_CLASS, message=f"the {first.name} Discora")
        settings = machine.settings_values()

        # The other build's installer, as a user runs it: the running
        # Discora is closed, and the other build is gone, files, folder,
        # Run value and uninstall entry; this one goes into its own default
        # folder, not the other's, and starts Discora again from there. The
        # machine-wide AllDrives value stays, the one value both builds read.
        machine.run_installer("/S", arch=second)
        assert agent.wait(timeout=10) == 0, "closed by its window's close message"
        new = install_folder(second)
        entry = assert_installed(machine, new, second)
        assert not machine.unix_path(old).exists()
        assert machine.registry_values(records_view(first), UNINSTALL_KEY) is None
        # One Run value, whether the two views share the Run key or not.
        runs = {(machine.registry_values(view, RUN_KEY) or {}).get("Discora")
                for view in ("HKLM", HKLM32)}
        assert runs - {None} == {RegValue.sz(f'"{new}\\Discora.exe"')}
        assert machine.settings_values() == settings
        machine.wait_window(cls=AGENT_CLASS, message=f"the {second.name} Discora started again")
        # Its uninstaller, whichever build, removes the machine-wide value
        # from the 64-bit view.
        uninstall(machine, entry)
