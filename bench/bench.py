#!/usr/bin/env python3
"""Footprint and speed of Discora.exe, measured beside reftray.exe.

Run by bench/run.sh once for each build the machine can run (DISCORA_ARCH
x86 or x64, after that build's preset). It sets up its Xvfb and its Wine
prefix of that architecture under build/bench/<arch>/ with the end-to-end tests' own
harness (tests/e2e/harness.py: Display, WorkerPrefix, Machine), measures
both programs in the same session and prints one Markdown table: every
figure of Discora next to the reference program's, with their ratio and the
target.

BENCH_QUICK=1 shrinks the counts and the idle periods for a smoke run.

Idle CPU. Both programs idle side by side through several windows of the
same length; for each window the ratio of their CPU times is taken, and the
median ratio is the figure judged. The CPU time is the scheduler's on-CPU
time of every thread (schedstat, in nanoseconds); utime+stime, which the
kernel counts in whole clock ticks, is printed beside it.

Clocks. Start-up is timed inside the prefix by benchprobe.exe with
QueryPerformanceCounter. Insertion-to-launch is timed across the boundary:
the disc is put in on the Linux side (one rename of SYSTEM.CNF into the
drive's folder) and the moment is read from CLOCK_REALTIME just before the
rename; the launch is the creation time of the emulator's process, which the
stand-in emulator logs from GetProcessTimes. Wine's server stamps a new
process with gettimeofday(), the same clock, so the two subtract directly;
every sample is checked to lie between the insertion and the moment the
script saw the stand-in's log line.

Every drive watched (AllDrives=True, set after the first-drive figures):
idle beside reftray with D: alone (judged as the main idle is, over fewer and
shorter windows), then with two more empty CD-ROM drives (figures only).

The floor of the insertion-to-launch time is reffloor.exe, which starts the
same stand-in emulator file from within the arrival message. It is measured
alone, Discora not running, with the same insertion and message, and
Discora's median is printed as a ratio to its median: for a disc put into
D: (Discora watching the first drive), and for a drive that appears holding
the disc (Discora watching every drive): benchprobe plugs E: through Wine's
mount manager, showing a folder that holds SYSTEM.CNF, and sends the arrival
of a new device (flags 0), the insertion time read just before; E: is
unplugged again between samples.

Last, two launches that search for the emulator, both with the arrival
message: a PlayStation disc for DuckStation, found through its winget record
among other programs' uninstall entries, and a Saturn disc, whose header
Discora reads through the drive's device (the image behind the prefix's
"d::" link), for RetroArch with its Saturn core in its installer's folder.
"""

import os
import queue
import re
import statistics
import subprocess
import sys
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
sys.path.insert(0, str(ROOT / "tests" / "e2e"))

from harness import (  # noqa: E402
    AGENT_CLASS,
    ARCH,
    BUILD,
    DUCKSTATION_NAME,
    DUCKSTATION_TITLE,
    EMULATOR_TITLE,
    HKLM32,
    MCI_FOLDER,
    STANDIN_LOG,
    SYSTEM_DLLS,
    UNINSTALL_KEY,
    Display,
    Machine,
    WorkerPrefix,
    build_dir,
    discora_exe,
    parse_fields,
    wait_until,
)

WORK = BUILD / "bench" / ARCH.name

QUICK = os.environ.get("BENCH_QUICK") == "1"
START_RUNS = 3 if QUICK else 10
IDLE_ROUNDS = 2 if QUICK else 5
IDLE_SECONDS = 10 if QUICK else 60
INSERTIONS = 4 if QUICK else 20
# The every-drive idle figures: fewer and shorter windows than the main one.
EXTRA_IDLE_ROUNDS = 2 if QUICK else 3
EXTRA_IDLE_SECONDS = 10 if QUICK else 30
POLL_MS = 3000
WAIT = 20.0  # bound on any single wait for the programs, in seconds

EXE_DISCORA = discora_exe()
# The reference program is built for the same architecture as Discora.
EXE_REFTRAY = build_dir() / "bench" / "reftray.exe"
EXE_PROBE = build_dir() / "bench" / "benchprobe.exe"
EXE_REFFLOOR = build_dir() / "bench" / "reffloor.exe"

WIN_DISCORA_FOLDER = r"C:\bench\discora"
WIN_REFTRAY = r"C:\bench\reftray\reftray.exe"
WIN_PROBE = r"C:\bench\benchprobe.exe"
WIN_REFFLOOR = r"C:\bench\reffloor\reffloor.exe"
WIN_EMULATOR = WIN_DISCORA_FOLDER + "\\vgs.exe"
WIN_RETROARCH = "C:\\RetroArch-Win64\\retroarch.exe"
FLOOR_CLASS = "RefFloorWindow"
NEW_DRIVE = "E"  # the drive that appears while the programs run
SPARE_DRIVES = ("E", "F")  # the further empty drives of the three-drive idle

EPOCH_1601_TO_1970_100NS = 116444736000000000

# DuckStation as winget installs it for the whole machine, recorded among
# other programs' uninstall entries: 100 of the user's, 100 in each of the
# machine's two views (one key on 32-bit Windows), its own read last (the
# others' names come first in the order of names).
WINGET_PACKAGE = "Stenzek.DuckStation_Microsoft.Winget.Source_8wekyb3d8bbwe"
WIN_WINGET_FOLDER = "C:\\Program Files\\WinGet\\Packages\\" + WINGET_PACKAGE
OTHER_ENTRIES = 300


BEGAN = time.monotonic()


def log(text):
    # The machine's load at each step: a figure taken while other work ran
    # is spread wider, and the floor is measured after Discora, not beside it.
    load = Path("/proc/loadavg").read_text().split()[0]
    print(f"bench: [{time.monotonic() - BEGAN:5.0f} s, load {load}] {text}", file=sys.stderr,
          flush=True)



BOOT_FILE = b"BOOT = cdrom:\\SLUS_000.01;1\r\nTCB = 4\r\nEVENT = 10\r\nSTACK = 801FFFF0\r\n"


class Session:
    """The harness's Xvfb display, Wine prefix and machine, set up for the
    two programs: D: a CD-ROM drive read through the test MCI driver, Discora
    with the stand-in emulator in its folder, the reference program and
    benchprobe. The disc is one file, SYSTEM.CNF, renamed between a staging
    folder and the drive's folder."""

    def __init__(self):
        self.display = Display()
        self.display.start()
        self.worker = WorkerPrefix(WORK, self.display.name)
        self.worker.create()
        self.machine = Machine(self.worker)
        self.machine.prepare()
        self.drive = self.machine.make_disc("bench")
        self.staging = self.worker.discs / "staging"
        self.staging.mkdir()
        (self.staging / "SYSTEM.CNF").write_bytes(BOOT_FILE)
        # A file of a Saturn disc's file system: the disc is in once it is
        # there, and its sectors are the image behind the drive's "d::" link.
        (self.staging / "0.BIN").write_bytes(b"\0" * 2048)
        self.machine.add_cdrom("d", "bench")
        self.win_discora = self.machine.install_agent(WIN_DISCORA_FOLDER)
        # The emulator Discora finds in its own folder: the stand-in in its
        # "*vgs.exe" role.
        self.machine.put_standin(WIN_EMULATOR)
        self.duckstation = self.machine.put_standin(f"{WIN_WINGET_FOLDER}\\{DUCKSTATION_NAME}")
        self.record_uninstall_entries()
        self.machine.put_file(WIN_REFTRAY, EXE_REFTRAY.read_bytes())
        self.machine.put_file(WIN_REFFLOOR, EXE_REFFLOOR.read_bytes())
        # A mounted image that holds a PlayStation disc, and empty drives.
        self.image = self.machine.make_disc("image", {"SYSTEM.CNF": BOOT_FILE})
        self.spares = {letter: self.machine.make_disc(f"spare-{letter}")
                       for letter in SPARE_DRIVES}
        self.machine.put_file(WIN_PROBE, EXE_PROBE.read_bytes())
        self.mci_log = self.machine.unix_path(MCI_FOLDER + "\\log.txt")
        self.standin_log = self.machine.unix_path(STANDIN_LOG)

    def record_uninstall_entries(self):
        """Written before anything runs, so they cost no Windows process;
        while the stand-in VGS is in Discora's folder it wins and no entry
        is read."""
        roots = ("HKCU", HKLM32, "HKLM")
        for n in range(OTHER_ENTRIES):
            folder = f"C:\\Program Files\\Vendor {n:03}\\Program {n:03}"
            for name, value in (("DisplayName", f"Program {n:03}"), ("DisplayVersion", "1.0"),
                                ("Publisher", f"Vendor {n:03}"), ("InstallLocation", folder),
                                ("DisplayIcon", f"{folder}\\program.exe,0"),
                                ("UninstallString", f'"{folder}\\uninstall.exe"')):
                self.machine.set_registry(roots[n * len(roots) // OTHER_ENTRIES],
                                          f"{UNINSTALL_KEY}\\Program {n:03}",
                                          name, value)
        for name, value in (("DisplayName", "DuckStation"), ("DisplayVersion", "0.1.11752"),
                            ("Publisher", "Stenzek"), ("InstallLocation", WIN_WINGET_FOLDER),
                            ("UninstallString", f"winget uninstall --product-code {WINGET_PACKAGE}"),
                            ("WinGetPackageIdentifier", "Stenzek.DuckStation"),
                            ("WinGetInstallerType", "portable")):
            self.machine.set_registry("HKLM", f"{UNINSTALL_KEY}\\{WINGET_PACKAGE}", name, value)

    def close(self):
        self.machine.stop()
        self.display.stop()


class Probe:
    """benchprobe.exe in its "serve" mode: one command, one answer line."""

    def __init__(self, session):
        self.proc = session.machine.spawn(WIN_PROBE, "serve", stdin=subprocess.PIPE,
                                          stdout=subprocess.PIPE, stderr=subprocess.DEVNULL,
                                          text=True, bufsize=1)
        self.lines = queue.Queue()
        threading.Thread(target=self._read, daemon=True).start()
        self._answer("ready")

    def _read(self):
        for line in self.proc.stdout:
            self.lines.put(line.rstrip("\r\n"))
        self.lines.put(None)

    def _answer(self, what):
        line = self.lines.get(timeout=WAIT)
        if line is None:
            raise RuntimeError(f"benchprobe ended while waiting for {what}")
        return line

    def ask(self, command):
        self.proc.stdin.write(command + "\n")
        self.proc.stdin.flush()
        return self._answer(command)

    def icons(self):
        return int(self.ask("icons"))


def linux_pid(proc, exe_name):
    """The Linux process that runs a program started with `wine EXE`.

    Debian's wine launcher exec()s the loader, so the pid Popen returned is
    the program's own; the check guards against a launcher that forks."""
    def found():
        try:
            cmdline = Path(f"/proc/{proc.pid}/cmdline").read_bytes()
        except FileNotFoundError:
            return None
        return proc.pid if exe_name.lower().encode() in cmdline.lower() else None
    return wait_until(found, WAIT, f"the Linux process of {exe_name}", interval=0.005)


def proc_cpu_ticks(pid):
    """utime+stime of the process, in clock ticks."""
    fields = Path(f"/proc/{pid}/stat").read_text().rsplit(")", 1)[1].split()
    # After the command name: state is field 3, utime 14 and stime 15.
    return int(fields[11]) + int(fields[12])


def proc_thread_ns(pid):
    """On-CPU time of each of the process's threads, from the scheduler, in ns."""
    times = {}
    for task in Path(f"/proc/{pid}/task").iterdir():
        try:
            times[task.name] = int((task / "schedstat").read_text().split()[0])
        except (FileNotFoundError, ProcessLookupError):
            pass
    return times


def cpu_ns_between(before, after):
    """CPU time the threads used between two proc_thread_ns() readings. A
    thread that ended in between takes its time with it; the caller is told."""
    used = sum(ns - before.get(tid, 0) for tid, ns in after.items())
    return used, len(set(before) - set(after))


def proc_status_kib(pid, key):
    for line in Path(f"/proc/{pid}/status").read_text().splitlines():
        if line.startswith(key + ":"):
            return int(line.split()[1])
    raise KeyError(key)


def mapped_dll_names(pid):
    """The Windows DLLs the process has loaded: the PE files it maps."""
    names = set()
    for line in Path(f"/proc/{pid}/maps").read_text().splitlines():
        parts = line.split(None, 5)
        if len(parts) == 6 and parts[5].lower().endswith(".dll"):
            names.add(parts[5].rsplit("/", 1)[-1].lower())
    return names


def mapped_dlls(pid):
    return len(mapped_dll_names(pid))


def imported_dlls(path):
    # The x86_64 tools read PE32 and PE32+ files alike.
    out = subprocess.run(["x86_64-w64-mingw32-objdump", "-p", str(path)], check=True,
                         stdout=subprocess.PIPE, text=True).stdout
    return sorted({m.group(1) for m in re.finditer(r"DLL Name:\s*(\S+)", out)}, key=str.lower)


class LogTail:
    """New lines of a file that other processes append to."""

    def __init__(self, path):
        self.path = path
        self.offset = path.stat().st_size if path.exists() else 0
        self.pending = b""

    def lines(self):
        if not self.path.exists():
            return []
        with open(self.path, "rb") as f:
            f.seek(self.offset)
            data = f.read()
        self.offset += len(data)
        data = self.pending + data
        *complete, self.pending = data.split(b"\n")
        return [line.decode("latin-1") for line in complete]

    def wait_line(self, predicate, timeout, what):
        def match():
            for line in self.lines():
                if predicate(line):
                    return line
            return None
        return wait_until(match, timeout, what, interval=0.005)


def measure_startup(session):
    log(f"start-up to tray icon: {START_RUNS} timed starts of each program (+1 warm-up)")
    result = session.machine.wine(WIN_PROBE, "startup", "--runs", str(START_RUNS), WIN_REFTRAY,
                                  session.win_discora, timeout=600)
    if result.returncode != 0:
        raise RuntimeError(f"benchprobe startup failed:\n{result.stdout}{result.stderr}")
    times = {"reftray.exe": [], "Discora.exe": []}
    for line in result.stdout.splitlines():
        f = parse_fields(line)
        if f.get("warmup") == "0":
            times[f["exe"]].append(float(f["ms"]))
    return times


def cpu_reading(pid):
    return proc_cpu_ticks(pid), proc_thread_ns(pid)


def measure_idle(session, probe, rounds=IDLE_ROUNDS, seconds=IDLE_SECONDS, what=""):
    log(f"idle{what}: both programs side by side, {rounds} windows of {seconds} s")
    mci = LogTail(session.mci_log)
    ref = session.machine.spawn(WIN_REFTRAY)
    dis = session.machine.spawn(session.win_discora)
    pids = {"reftray.exe": linux_pid(ref, "reftray.exe"),
            "Discora.exe": linux_pid(dis, "Discora.exe")}
    wait_until(lambda: probe.icons() == 2, WAIT, "both tray icons", interval=0.05)
    # Idle begins when both have finished starting: each has asked the
    # drive once, so winmm and the MCI driver are loaded in both. Discora
    # polls at start-up, the reference first at its first timer tick.
    polled = set()

    def both_polled():
        polled.update(l.split("\t")[1] for l in mci.lines() if "\tstatus\t" in l)
        return len(polled) >= 2
    wait_until(both_polled, POLL_MS / 1000 + WAIT, "a first poll by each program",
               interval=0.005)
    hz = os.sysconf("SC_CLK_TCK")
    out = {k: {"cpu_ms": [], "sched_ms": []} for k in pids}
    for n in range(rounds):
        before = {k: cpu_reading(p) for k, p in pids.items()}
        time.sleep(seconds)  # the idle window is what is measured
        for k, p in pids.items():
            ticks, threads = cpu_reading(p)
            ns, ended = cpu_ns_between(before[k][1], threads)
            if ended:
                log(f"{k}: {ended} thread(s) ended while idle; the scheduler figure misses them")
            out[k]["cpu_ms"].append((ticks - before[k][0]) * 1000.0 / hz)
            out[k]["sched_ms"].append(ns / 1e6)
        log(f"idle window {n + 1}: on-CPU " + ", ".join(
            f"{k} {out[k]['sched_ms'][-1]:.1f} ms" for k in pids))
    for k, p in pids.items():
        out[k].update(rss_kib=proc_status_kib(p, "VmRSS"), anon_kib=proc_status_kib(p, "RssAnon"),
                      mapped_dlls=mapped_dlls(p))
    extra = sorted(set(mapped_dll_names(pids["Discora.exe"])) -
                   set(mapped_dll_names(pids["reftray.exe"])))
    log(f"DLLs that only Discora has loaded: {', '.join(extra) or 'none'}")
    # The reference has done its part; Discora stays for the latency runs.
    if probe.ask("closeclass RefTrayWindow") != "ok":
        raise RuntimeError("reftray.exe did not close")
    ref.wait(timeout=WAIT)
    return out, dis


def measure_latency(session, probe, with_arrival, role="emulator", title=EMULATOR_TITLE,
                    file="SYSTEM.CNF"):
    """Insertions of a disc, `file` put into the drive's folder (SYSTEM.CNF:
    a PlayStation disc); each one's time to the emulator's start.

    Each insertion is placed at a different point of Discora's 3 s poll
    cycle, so the samples cover it evenly rather than by chance: (i + 0.5) / N
    of the period after a poll. With the arrival message the insertions are
    spread over the first half of the cycle only: the message must win over
    the poll (a launch that a poll made would not measure the message), and
    the disc is out again before the next poll, which keeps each insertion to
    one poll period."""
    mode = ("arrival message" if with_arrival else "3 s poll") + f", {role}"
    log(f"insertion to launch, {mode}: {INSERTIONS} insertions")
    mci = LogTail(session.mci_log)
    standin = LogTail(session.standin_log)
    samples = []
    disc = session.drive / file
    staged = session.staging / file
    for i in range(INSERTIONS):
        # Discora has seen the empty drive: its latch is open again.
        mci.wait_line(lambda l: l.endswith("\tstatus\tfalse"), POLL_MS / 1000 * 3,
                      "a poll of the empty drive")
        seen = time.monotonic()
        span = POLL_MS / 1000 / (2 if with_arrival else 1)
        time.sleep(max(0.0, seen + (i + 0.5) / INSERTIONS * span - time.monotonic()))
        inserted_ns = time.time_ns()
        os.rename(staged, disc)
        if with_arrival:
            answer = probe.ask(f"arrive {AGENT_CLASS} D")
            if not answer.startswith("ok"):
                raise RuntimeError(f"the arrival message was not delivered: {answer}")
        line = standin.wait_line(lambda l: "event=start" in l and f"role={role}" in l,
                                 POLL_MS / 1000 + WAIT, "the emulator's start")
        observed_ns = time.time_ns()
        created = int(parse_fields(line)["created"])
        created_ns = (created - EPOCH_1601_TO_1970_100NS) * 100
        latency_ms = (created_ns - inserted_ns) / 1e6
        if not (inserted_ns <= created_ns <= observed_ns):
            raise RuntimeError(f"clocks disagree: inserted {inserted_ns}, created {created_ns}, "
                               f"seen {observed_ns}")
        samples.append(latency_ms)
        standin.wait_line(lambda l: "event=window" in l, WAIT, "the emulator's window")
        if probe.ask(f"close {title}") != "ok":
            raise RuntimeError("the stand-in emulator did not close")
        os.rename(disc, staged)
    # Leave the drive seen as empty.
    mci.wait_line(lambda l: l.endswith("\tstatus\tfalse"), POLL_MS / 1000 * 3,
                  "a poll of the empty drive")
    return samples


# -- every drive watched, and the floor of the insertion-to-launch time ------

def close_discora(probe, discora):
    if probe.ask(f"closeclass {AGENT_CLASS}") != "ok":
        raise RuntimeError("Discora.exe did not close")
    discora.wait(timeout=WAIT)


def measure_idle_three_drives(session, probe):
    """Discora watching every drive, idle beside reftray with D: and two more
    empty CD-ROM drives, plugged in before either program starts."""
    for letter, folder in session.spares.items():
        expect_ok(probe.ask(f"plug {letter} - {folder}"), f"plugging {letter}:")
    three, discora = measure_idle(session, probe, EXTRA_IDLE_ROUNDS, EXTRA_IDLE_SECONDS,
                                  ", every drive watched, three drives")
    close_discora(probe, discora)
    for letter in session.spares:
        expect_ok(probe.ask(f"unplug {letter}"), f"unplugging {letter}:")
    return three


def expect_ok(answer, what):
    if not answer.startswith("ok"):
        raise RuntimeError(f"{what}: {answer}")


def wait_second_poll(mci):
    """Waits for the second poll of D: that begins from now on to read the
    empty drive: the first may have asked for the drives just before."""
    mci.lines()  # what was logged before now
    starts = 0

    def read():
        nonlocal starts
        for line in mci.lines():
            fields = line.split("\t")[2:]
            if fields == ["open D:"]:
                starts += 1
            elif starts >= 2 and fields == ["status", "false"]:
                return True
        return False
    wait_until(read, POLL_MS / 1000 * 3 + WAIT, "a second poll of the empty drive",
               interval=0.005)


def launch_sample(standin, inserted_ns):
    """The time from `inserted_ns` to the stand-in emulator's creation, in
    ms; waits for its window."""
    line = standin.wait_line(lambda l: "event=start" in l and "role=emulator" in l,
                             POLL_MS / 1000 + WAIT, "the emulator's start")
    observed_ns = time.time_ns()
    created_ns = (int(parse_fields(line)["created"]) - EPOCH_1601_TO_1970_100NS) * 100
    if not (inserted_ns <= created_ns <= observed_ns):
        raise RuntimeError(f"clocks disagree: inserted {inserted_ns}, created {created_ns}, "
                           f"seen {observed_ns}")
    standin.wait_line(lambda l: "event=window" in l, WAIT, "the emulator's window")
    return (created_ns - inserted_ns) / 1e6


def close_emulator(probe):
    if probe.ask(f"close {EMULATOR_TITLE}") != "ok":
        raise RuntimeError("the stand-in emulator did not close")


def measure_appearing(session, probe, cls):
    """A drive that appears holding a PlayStation disc: the image folder
    plugged in as E: through Wine's mount manager, announced to the window
    of class `cls` as Windows announces a new device (flags 0); unplugged
    again after the emulator has started and closed.

    For Discora (every drive watched) each plug is placed in the first half
    of its 3 s poll cycle, at (i + 0.5) / N of it, as for a disc put into
    D:, after the second poll that begins after the unplug: that one has
    seen E: gone."""
    agent = cls == AGENT_CLASS
    log(f"drive appears to launch, {'Discora.exe' if agent else 'reffloor.exe'}: "
        f"{INSERTIONS} plugs")
    mci = LogTail(session.mci_log)
    standin = LogTail(session.standin_log)
    samples = []
    span = POLL_MS / 1000 / 2
    for i in range(INSERTIONS):
        if agent:
            wait_second_poll(mci)
        seen = time.monotonic()
        time.sleep(max(0.0, seen + (i + 0.5) / INSERTIONS * span - time.monotonic()))
        inserted_ns = time.time_ns()
        expect_ok(probe.ask(f"plug {NEW_DRIVE} {cls} {session.image}"), "the new drive")
        samples.append(launch_sample(standin, inserted_ns))
        close_emulator(probe)
        expect_ok(probe.ask(f"unplug {NEW_DRIVE}"), "unplugging the new drive")
    return samples


def measure_floor_inserted(session, probe):
    """reffloor.exe alone, with the method of Discora's "with arrival
    message" figure: SYSTEM.CNF renamed into D:, then the arrival (DBTF_MEDIA)
    sent to its window, the disc out again once the emulator has closed. The
    samples are spaced as Discora's are, with no poll to wait for."""
    log(f"insertion to launch, reffloor.exe: {INSERTIONS} insertions")
    standin = LogTail(session.standin_log)
    disc = session.drive / "SYSTEM.CNF"
    staged = session.staging / "SYSTEM.CNF"
    samples = []
    span = POLL_MS / 1000 / 2
    for i in range(INSERTIONS):
        time.sleep((i + 0.5) / INSERTIONS * span)
        inserted_ns = time.time_ns()
        os.rename(staged, disc)
        expect_ok(probe.ask(f"arrive {FLOOR_CLASS} D"), "the arrival message")
        samples.append(launch_sample(standin, inserted_ns))
        close_emulator(probe)
        os.rename(disc, staged)
    return samples


def measure_floor(session, probe, measure):
    """Runs `measure` with reffloor.exe as the one program that listens:
    Discora is not running, so neither answers the other's notices or sees
    the other's disc."""
    floor = session.machine.spawn(WIN_REFFLOOR, WIN_EMULATOR)
    expect_ok(probe.ask(f"find {FLOOR_CLASS}"), "reffloor.exe's window")
    samples = measure(session, probe)
    expect_ok(probe.ask(f"closeclass {FLOOR_CLASS}"), "closing reffloor.exe")
    floor.wait(timeout=WAIT)
    return samples


def fmt_ms(value):
    return f"{value:,.0f} ms" if value >= 1000 else f"{value:.1f} ms"


def ratio(a, b):
    return f"{a / b:.2f}" if b else "n/a"


def verdict(ok):
    return "yes" if ok else "**no**"


def every_drive_rows(idle_one, idle_three, arrival, floor_inserted, appear, floor_appear):
    """The rows of every drive watched, and of the floor of the latency."""
    d, r = "Discora.exe", "reftray.exe"
    windows = f"{EXTRA_IDLE_ROUNDS} × {EXTRA_IDLE_SECONDS} s"
    rows = []
    for idle, drives, judged in ((idle_one, "one drive", True),
                                 (idle_three, "three drives", False)):
        target = "ratio ≤ 1.1" if judged else "— (figure only)"
        md, mr = idle[d]["rss_kib"], idle[r]["rss_kib"]
        rows.append((f"Every drive watched, {drives}: resident memory (VmRSS) after {windows} "
                     "idle", f"{md:,} KiB", f"{mr:,} KiB", ratio(md, mr), target,
                     verdict(md <= 1.1 * mr) if judged else ""))
        cd, cr = idle[d]["sched_ms"], idle[r]["sched_ms"]
        ratios = [a / b for a, b in zip(cd, cr) if b]
        median = statistics.median(ratios) if ratios else None
        rows.append((
            f"Every drive watched, {drives}: idle CPU, on-CPU time (schedstat), median of "
            f"{windows}", f"{statistics.median(cd):.1f} ms", f"{statistics.median(cr):.1f} ms",
            f"{median:.2f} (rounds {', '.join(f'{x:.2f}' for x in ratios)})" if ratios else "n/a",
            "median " + target if judged else target,
            (verdict(median <= 1.1) if median is not None else "n/a") if judged else ""))
    for name, ours, floor in (
            ("Insertion to launch with arrival message, disc put into D:, "
             "against reffloor.exe", arrival, floor_inserted),
            ("Drive appears holding a disc (every drive watched; E: plugged through the mount "
             "manager, arrival with flags 0), against reffloor.exe", appear, floor_appear)):
        md, mf = statistics.median(ours), statistics.median(floor)
        rows.append((f"{name} ({len(ours)} + {len(floor)} samples)",
                     f"median {fmt_ms(md)}, max {fmt_ms(max(ours))}",
                     f"reffloor.exe: median {fmt_ms(mf)}, max {fmt_ms(max(floor))}",
                     ratio(md, mf), "median ratio ≤ 1.2", verdict(md <= 1.2 * mf)))
    return rows


def measure_latency_through_records(session, probe):
    """Insertions with the arrival message once no emulator of old is in
    Discora's folder: a launch now searches the uninstall entries and finds
    DuckStation through its winget record, among the others."""
    log(f"DuckStation through its winget record among {OTHER_ENTRIES} other uninstall entries")
    session.machine.set_setting("AllDrives", "False")
    session.machine.unix_path(WIN_EMULATOR).unlink()
    discora = session.machine.spawn(session.win_discora)
    samples = measure_latency(session, probe, with_arrival=True, role="duckstation",
                              title=DUCKSTATION_TITLE)
    close_discora(probe, discora)
    return samples


def measure_latency_saturn(session, probe):
    """Insertions of a Saturn disc with the arrival message: Discora reads
    the header of its first sectors through the drive's device, searches the
    uninstall entries and the installers' folders, and starts RetroArch with
    its Saturn core."""
    log(f"Saturn disc, RetroArch with its core, among {OTHER_ENTRIES} other uninstall entries")
    machine = session.machine
    machine.put_standin(WIN_RETROARCH)
    machine.put_file(WIN_RETROARCH.rsplit("\\", 1)[0] + "\\cores\\mednafen_saturn_libretro.dll",
                     b"MZ")
    (machine.prefix / "dosdevices" / "d::").symlink_to(session.worker.discs / "saturn.iso")
    discora = machine.spawn(session.win_discora)
    samples = measure_latency(session, probe, with_arrival=True, role="retroarch",
                              title="RetroArch", file="0.BIN")
    close_discora(probe, discora)
    return samples


def table(sizes, dlls, startup, idle, poll, arrival, records, saturn, more_rows=()):
    d, r = "Discora.exe", "reftray.exe"
    rows = []
    rows.append(("File size", f"{sizes[d]:,} B ({sizes[d] / 1024:.1f} KiB)",
                 f"{sizes[r]:,} B ({sizes[r] / 1024:.1f} KiB)", ratio(sizes[d], sizes[r]),
                 "≤ 128 KiB", verdict(sizes[d] <= 128 * 1024)))
    foreign = [x for x in dlls[d] if x.lower() not in SYSTEM_DLLS]
    rows.append(("Imported DLLs", ", ".join(dlls[d]), ", ".join(dlls[r]),
                 "—", "system DLLs only", verdict(not foreign)))
    sd, sr = statistics.median(startup[d]), statistics.median(startup[r])
    rows.append((f"Start-up to tray icon, median of {len(startup[d])}", fmt_ms(sd), fmt_ms(sr),
                 ratio(sd, sr), "ratio ≤ 1.2", verdict(sd <= 1.2 * sr)))
    rows.append(("Start-up to tray icon, min – max",
                 f"{fmt_ms(min(startup[d]))} – {fmt_ms(max(startup[d]))}",
                 f"{fmt_ms(min(startup[r]))} – {fmt_ms(max(startup[r]))}", "", "", ""))
    md, mr = idle[d]["rss_kib"], idle[r]["rss_kib"]
    rows.append((f"Resident memory (VmRSS) after {IDLE_ROUNDS} × {IDLE_SECONDS} s idle",
                 f"{md:,} KiB",
                 f"{mr:,} KiB", ratio(md, mr), "ratio ≤ 1.1", verdict(md <= 1.1 * mr)))
    ad, ar = idle[d]["anon_kib"], idle[r]["anon_kib"]
    rows.append(("… of which private (RssAnon)", f"{ad:,} KiB", f"{ar:,} KiB", ratio(ad, ar),
                 "", ""))
    ld, lr = idle[d]["mapped_dlls"], idle[r]["mapped_dlls"]
    rows.append(("… DLLs loaded (PE files mapped)", f"{ld}", f"{lr}", ratio(ld, lr), "", ""))
    for key, name, digits, target in (
            ("sched_ms", "on-CPU time (schedstat)", 1, "median ratio ≤ 1.1"),
            ("cpu_ms", "utime+stime (whole clock ticks)", 0, "")):
        cd, cr = idle[d][key], idle[r][key]
        ratios = [a / b for a, b in zip(cd, cr) if b]
        median = statistics.median(ratios) if ratios else None
        rows.append((
            f"Idle CPU, {name}, median of {len(cd)} × {IDLE_SECONDS} s",
            f"{statistics.median(cd):.{digits}f} ms", f"{statistics.median(cr):.{digits}f} ms",
            f"{median:.2f} (rounds {', '.join(f'{x:.2f}' for x in ratios)})" if ratios else "n/a",
            target, (verdict(median <= 1.1) if median is not None else "n/a") if target else ""))
    for name, samples in ((f"Insertion to launch, 3 s poll only ({len(poll)} insertions)", poll),
                          (f"Insertion to launch, with arrival message ({len(arrival)} insertions)",
                           arrival)):
        rows.append((name, f"median {fmt_ms(statistics.median(samples))}, "
                           f"max {fmt_ms(max(samples))}", "n/a", "n/a", "—", ""))
    # Against the same measure with the emulator in Discora's folder.
    mr, ma = statistics.median(records), statistics.median(arrival)
    rows.append((f"… DuckStation found through its winget record among {OTHER_ENTRIES} other "
                 f"uninstall entries ({len(records)} insertions)",
                 f"median {fmt_ms(mr)}, max {fmt_ms(max(records))}, the first after "
                 f"start-up (every entry read) {fmt_ms(records[0])}", "n/a",
                 f"{ratio(mr, ma)} (to the emulator in Discora's folder)", "ratio ≤ 1.2",
                 verdict(mr <= 1.2 * ma)))
    ms = statistics.median(saturn)
    rows.append((f"… a Saturn disc, its header read, RetroArch with its core found in its "
                 f"installer's folder ({len(saturn)} insertions)",
                 f"median {fmt_ms(ms)}, max {fmt_ms(max(saturn))}", "n/a",
                 f"{ratio(ms, mr)} (to the PlayStation disc just above)", "—", ""))
    head = ("Measure", "Discora.exe", "reftray.exe (reference)", "Ratio", "Target", "Met")
    lines = ["| " + " | ".join(head) + " |", "|" + "|".join("---" for _ in head) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in [*rows, *more_rows]]
    return "\n".join(lines)


def main():
    for path in (EXE_DISCORA, EXE_REFTRAY, EXE_PROBE, EXE_REFFLOOR):
        if not path.exists():
            sys.exit(f"bench: {path} is missing; build the {ARCH.preset} preset first")
    # Other work on the machine slows both programs alike but widens the
    # spread of the timings: the table says how busy the machine was.
    load = Path("/proc/loadavg").read_text().split()[0]
    sizes = {p.name: p.stat().st_size for p in (EXE_DISCORA, EXE_REFTRAY)}
    dlls = {p.name: imported_dlls(p) for p in (EXE_DISCORA, EXE_REFTRAY)}
    session = Session()
    try:
        log(f"Wine prefix {session.worker.prefix.relative_to(ROOT)} on display "
            f"{session.display.name}")
        startup = measure_startup(session)
        probe = Probe(session)
        idle, discora = measure_idle(session, probe)
        poll = measure_latency(session, probe, with_arrival=False)
        arrival = measure_latency(session, probe, with_arrival=True)
        close_discora(probe, discora)
        floor_inserted = measure_floor(session, probe, measure_floor_inserted)
        # Every drive watched: read by Discora at start-up.
        session.machine.set_setting("AllDrives", "True")
        idle_one, discora = measure_idle(session, probe, EXTRA_IDLE_ROUNDS, EXTRA_IDLE_SECONDS,
                                         ", every drive watched, one drive")
        appear = measure_appearing(session, probe, AGENT_CLASS)
        close_discora(probe, discora)
        floor_appear = measure_floor(session, probe,
                                     lambda s, p: measure_appearing(s, p, FLOOR_CLASS))
        idle_three = measure_idle_three_drives(session, probe)
        # Last: without the emulator of old, so DuckStation is searched for.
        records = measure_latency_through_records(session, probe)
        saturn = measure_latency_saturn(session, probe)
        probe.proc.stdin.write("quit\n")
        probe.proc.stdin.flush()
    finally:
        session.close()
    print()
    bits = "64-bit" if ARCH.name == "x64" else "32-bit"
    print(f"Discora.exe {ARCH.name} footprint and speed, beside the reference tray program "
          f"built for {ARCH.name} ({bits} Wine "
          f"{session.worker.wine_version().replace('wine-', '')}, Xvfb, "
          f"{os.cpu_count()} cores, load average {load} at the start"
          f"{', BENCH_QUICK=1' if QUICK else ''}):")
    print()
    print(table(sizes, dlls, startup, idle, poll, arrival, records, saturn,
                every_drive_rows(idle_one, idle_three, arrival, floor_inserted, appear,
                                 floor_appear)))
    print()
    log("done")


if __name__ == "__main__":
    main()
