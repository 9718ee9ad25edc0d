"""End-to-end tests of watching every CD-ROM drive (the AllDrives option):
drives that Wine's mount manager creates and removes while the agent runs,
as a USB drive is plugged in or a disc image mounted, several drives at
once, and the volume arrival that Windows broadcasts for a new drive.

The mount manager broadcasts nothing for such a drive, so the agent finds
it by its poll; where a test wants the arrival message, a second process
broadcasts it as Windows does. DuckStation stands in its default folder, so
each launch shows the drive it was for in its command line.
"""

import pytest

from harness import (
    AGENT_CLASS,
    DUCKSTATION_NAME,
    SETTINGS_KEY,
    SW_SHOWNORMAL,
    assert_agent_healthy,
    assert_started,
    parse_fields,
)


def put_duckstation(machine) -> str:
    return machine.put_standin(
        f"{machine.local_app_data()}\\Programs\\DuckStation\\{DUCKSTATION_NAME}")


def started_for(machine, program: str, letter: str, count: int = 1):
    """Waits for the `count`th start and checks it was DuckStation for the
    disc in `letter`."""
    launch = machine.wait_launches(count)[count - 1]
    assert_started(launch, program, SW_SHOWNORMAL,
                   f'"{program}" -batch -fullscreen -- \\\\.\\{letter}:')
    return launch


def test_no_drive_at_start_then_a_drive_appears_with_a_psx_disc(machine):
    machine.install_agent()
    duckstation = put_duckstation(machine)
    # The machine's default, as the installer writes it.
    machine.set_registry("HKLM", SETTINGS_KEY, "AllDrives", "True")
    agent = machine.start_agent()
    machine.wait_window(cls=AGENT_CLASS, message="the agent's window")

    machine.add_cdrom("e", "psx")  # plugged in with its disc
    started_for(machine, duckstation, "E")
    machine.wait_polls(2)
    assert len(machine.launches()) == 1
    assert set(machine.opens()) == {"E:"}, "no MCI command without a drive"
    assert_agent_healthy(machine, agent)


def test_drive_removed_with_its_disc_and_plugged_back_is_a_new_insertion(machine):
    duckstation = put_duckstation(machine)
    machine.install(disc="psx", settings={"AllDrives": "True"})
    machine.add_cdrom("e")  # an empty second drive keeps the polls counted
    machine.start_agent_and_wait_first_poll()
    machine.wait_polls(2)
    assert machine.launches() == [], "the disc in D: at start-up counts as seen"

    machine.remove_drive("d")
    base = len(machine.mci_log())
    machine.wait_polls(2)
    assert all(e[2] != "open D:" for e in machine.mci_log()[base:]), "D: is polled no more"
    machine.add_cdrom("d", "psx")
    started_for(machine, duckstation, "D")


def test_broadcast_arrival_of_a_new_drive_launches_at_once(machine):
    duckstation = put_duckstation(machine)
    machine.install(settings={"AllDrives": "True"})
    machine.start_agent_and_wait_first_poll()
    disc = machine.worker.discs / "psx"

    # A second drive plugged in and announced as Windows announces a new
    # device: flags 0, to every top-level window; the timer restarted just
    # before, so no timer poll falls inside the step.
    out = machine.probe("arrive", "--restart-timer", "--plug", "f", str(disc), "--broadcast",
                        hex(1 << 5), "0", check=True).stdout
    record = parse_fields(out.strip().split("\n")[-1])
    assert record["sent"] == "1" and int(record["polls"]) >= 2, record
    launch = started_for(machine, duckstation, "F")
    assert launch.created <= int(record["settled_time"]), "started by the arrival's poll"


@pytest.mark.parametrize("all_drives", ["False", "True"])
def test_removal_notice_then_arrival_is_a_new_disc_without_a_poll_between(machine, all_drives):
    # An image swapped in place: the drive reads "present" at every poll,
    # before and after, and only the system's notices tell of the change.
    duckstation = put_duckstation(machine)
    machine.install(disc="psx", settings={"AllDrives": all_drives})
    machine.start_agent_and_wait_first_poll()
    machine.wait_polls(1)
    assert machine.launches() == [], "the disc in D: at start-up counts as seen"

    d_bit, dbtf_media, dbt_device_remove_complete = hex(1 << 3), "1", "0x8004"
    machine.probe("arrive", "--event", dbt_device_remove_complete, d_bit, dbtf_media, check=True)
    machine.probe("arrive", d_bit, dbtf_media, check=True)
    started_for(machine, duckstation, "D")
    machine.wait_polls(2)
    assert len(machine.launches()) == 1
