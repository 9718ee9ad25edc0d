"""Checks of the test machinery itself, without Discora.exe: the drives a
test sets up are the only CD-ROM drives, the test MCI driver answers the
agent's command strings as the disc and control files say, the stand-in
records how it was started and behaves as an emulator window, and probe.exe
reads a pop-up menu of another process. When these fail, the agent's tests
cannot be believed."""

import harness
from desktop import MENU_CLASS, xy
from harness import DRIVE_CDROM, EMULATOR_TITLE, parse_fields

OPEN = "open D: Type cdaudio Alias cdvgs wait"
STATUS = "status cdvgs media present wait"
CLOSE = "close cdvgs"


def mci_poll(machine):
    out = machine.probe("mci", OPEN, STATUS, CLOSE, check=True).stdout
    return [parse_fields(line) for line in out.splitlines()]


def test_only_the_requested_drives_are_cdroms(machine):
    machine.add_cdrom("d")
    machine.add_cdrom("f", "psx")
    types = machine.drive_types()
    assert {d for d, t in types.items() if t == DRIVE_CDROM} == {"D:", "F:"}, types
    assert types.get("C:") == 3


def test_a_fresh_prefix_has_no_cdrom(machine):
    types = machine.drive_types()
    assert DRIVE_CDROM not in types.values(), types


def test_mci_driver_answers_from_the_disc_and_control_files(machine):
    machine.add_cdrom("d")
    replies = mci_poll(machine)
    assert [(r["rc"], r["reply"]) for r in replies] == [("0", "1"), ("0", "false"), ("0", "")]

    machine.insert("psx")
    assert mci_poll(machine)[1]["reply"] == "true"
    machine.insert("data")
    assert mci_poll(machine)[1]["reply"] == "true"

    machine.mci_control("fail-status")
    status = mci_poll(machine)[1]
    assert status["rc"] != "0" and status["reply"] == ""
    machine.mci_control("fail-status", None)

    machine.mci_control("fail-open")
    assert mci_poll(machine)[0]["rc"] != "0"
    machine.mci_control("fail-open", None)

    machine.eject()
    assert mci_poll(machine)[1]["reply"] == "false"

    # A failed open reaches no status query: five readings for six polls.
    assert [e[3] for e in machine.status_queries()] == ["false", "true", "true", "failed", "false"]
    assert machine.opens() == ["D:"] * 6

    # A drive unplugged (its letter gone) fails the open, as a real one's
    # does, and is back with the letter.
    machine.remove_drive("d")
    assert "D:" not in machine.drive_types()
    assert mci_poll(machine)[0]["rc"] != "0"
    assert machine.mci_log()[-1][2:] == ["open D:", "failed", "no drive"]
    machine.add_cdrom("d", "psx")
    assert machine.drive_types()["D:"] == DRIVE_CDROM
    assert mci_poll(machine)[1]["reply"] == "true"


def test_standin_utility_records_its_start(machine):
    path = machine.put_standin("C:\\Tools Folder\\pec.exe")
    machine.spawn(path, "one", "two")
    launch = machine.wait_launches(1)[0]
    assert launch.role == "utility"
    assert launch.path == path
    assert launch.cmdline == f'"{path}" one two'


def test_standin_emulator_window_minimises_and_restores(machine):
    path = machine.put_standin(harness.PROGRAM_FOLDER + "\\testvgs.exe")
    machine.spawn(path, "--minimized")
    machine.wait_window(title=EMULATOR_TITLE, predicate=lambda w: w["iconic"] == "1",
                        message="a minimised emulator window")
    assert machine.launches("emulator")[0].cmdline == f'"{path}" --minimized'

    machine.probe("post", "-t", EMULATOR_TITLE, "0x0112", "0xF120", "0", check=True)
    machine.wait_window(title=EMULATOR_TITLE, predicate=lambda w: w["iconic"] == "0",
                        message="the emulator window restored")
    assert machine.events("restored")

    machine.probe("post", "-t", EMULATOR_TITLE, "0x0010", "0", "0", check=True)
    harness.wait_until(lambda: machine.events("exit"), message="the emulator to exit")


def test_bleem_standin_takes_its_title_from_its_name(machine):
    path = machine.put_standin("C:\\Bleem\\bleem!.exe")
    machine.spawn(path)
    window = machine.wait_window(title="bleem!", message="the bleem! window")
    assert window["visible"] == "1" and window["iconic"] == "0"


def test_probe_reads_the_open_popup_menu_of_another_process(machine):
    machine.spawn(harness.TOOLS_FOLDER + "\\menuhost.exe")
    machine.wait_window(cls="DiscoraTestMenuHost", message="the menu host")
    result = machine.probe("menu", "-c", "DiscoraTestMenuHost", check=True)
    items = [parse_fields(line) for line in result.stdout.splitlines()]
    assert [(i["text"], i["separator"], i["checked"]) for i in items] == [
        ("&Checked item", "0", "1"),
        ("&Plain item", "0", "0"),
        ("", "1", "0"),
        ("&Grayed item", "0", "0"),
        ("E&xit", "0", "0"),
    ]
    assert items[3]["grayed"] == "1" and items[4]["id"] == "105"
    # Each item's place on the screen, top to bottom inside the menu window.
    menu = machine.wait_window(cls=MENU_CLASS, predicate=lambda w: w["visible"] == "1")
    left, top, right, bottom = xy(menu["rect"])
    places = [xy(i["rect"]) for i in items]
    assert all(left <= l < r <= right and top <= t < b <= bottom for l, t, r, b in places), \
        (menu["rect"], places)
    assert all(above[3] <= below[1] for above, below in zip(places, places[1:])), places


def test_standins_started_together_all_record_their_start(machine):
    # The agent starts its utilities within milliseconds of each other; a
    # start missing from the log would read as a program that never ran.
    path = machine.put_standin("C:\\Tools\\util.exe")
    starts = [machine.spawn(path, str(n)) for n in range(12)]
    for process in starts:
        assert process.wait(timeout=60) == 0
    numbers = sorted(int(launch.cmdline.split()[-1]) for launch in machine.launches())
    assert numbers == list(range(12))
