#!/usr/bin/env python3
"""Footprint and speed of Discora.exe, measured beside reftray.exe.

Run by bench/run.sh after the windows-release build. It starts its own
Xvfb and its own Wine prefix under build/bench/, measures both programs in
the same session and prints one Markdown table: every figure of Discora next
to the reference program's, with their ratio and the target.

BENCH_QUICK=1 shrinks the counts and the idle period for a smoke run.

Clocks. Start-up is timed inside the prefix by benchprobe.exe with
QueryPerformanceCounter. Insertion-to-launch is timed across the boundary:
the disc is put in on the Linux side (one rename of SYSTEM.CNF into the
drive's folder) and the moment is read from CLOCK_REALTIME just before the
rename; the launch is the creation time of the emulator's process, which the
stand-in emulator logs from GetProcessTimes. Wine's server stamps a new
process with gettimeofday(), the same clock, so the two subtract directly;
every sample is checked to lie between the insertion and the moment the
script saw the stand-in's log line.
"""

import os
import queue
import re
import shutil
import signal
import statistics
import subprocess
import sys
import tempfile
import threading
import time
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
BUILD = ROOT / "build" / "windows-release"
WORK = ROOT / "build" / "bench"
PREFIX = WORK / "prefix"
DRIVE = WORK / "cd"  # what the CD-ROM drive D: shows
STAGING = WORK / "staging"  # where the disc's file waits while "ejected"

QUICK = os.environ.get("BENCH_QUICK") == "1"
START_RUNS = 3 if QUICK else 10
IDLE_SECONDS = 10 if QUICK else 60
INSERTIONS = 4 if QUICK else 20
POLL_MS = 3000
WAIT = 20.0  # bound on any single wait for the programs, in seconds

EXE_DISCORA = BUILD / "Discora.exe"
EXE_REFTRAY = BUILD / "bench" / "reftray.exe"
EXE_PROBE = BUILD / "bench" / "benchprobe.exe"
E2E = BUILD / "tests" / "e2e" / "programs"

WIN_DISCORA = r"C:\bench\discora\Discora.exe"
WIN_REFTRAY = r"C:\bench\reftray\reftray.exe"
WIN_PROBE = r"C:\bench\benchprobe.exe"
WIN_STANDIN_LOG = r"C:\bench\standin.log"
STANDIN_LOG = PREFIX / "drive_c" / "bench" / "standin.log"
MCI_LOG = PREFIX / "drive_c" / "discora-test" / "mci" / "log.txt"
EMULATOR_TITLE = "Connectix Virtual Game Station"

EPOCH_1601_TO_1970_100NS = 116444736000000000

# DLLs that every 32-bit Windows has in its system folder.
SYSTEM_DLLS = {
    "kernel32.dll", "user32.dll", "gdi32.dll", "advapi32.dll", "shell32.dll",
    "winmm.dll", "comdlg32.dll", "comctl32.dll", "msvcrt.dll", "ole32.dll",
    "oleaut32.dll", "shlwapi.dll", "version.dll", "ntdll.dll",
}


BEGAN = time.monotonic()


def log(text):
    print(f"bench: [{time.monotonic() - BEGAN:5.0f} s] {text}", file=sys.stderr, flush=True)


def wait_for(condition, timeout, what, interval=0.005):
    """Polls `condition` until it returns a true value, at most `timeout` s."""
    deadline = time.monotonic() + timeout
    while True:
        value = condition()
        if value:
            return value
        if time.monotonic() > deadline:
            raise TimeoutError(f"timed out after {timeout:.0f} s waiting for {what}")
        time.sleep(interval)


class Session:
    """One Xvfb and one Wine prefix, both ended on close."""

    def __init__(self):
        self.xvfb = None
        self.env = None
        self.procs = []

    def start_x(self):
        read_fd, write_fd = os.pipe()
        self.xvfb = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_fd), "-screen", "0", "1024x768x24",
             "-nolisten", "tcp"],
            pass_fds=(write_fd,), stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_fd)
        # Xvfb writes its display number once it accepts clients.
        with os.fdopen(read_fd) as f:
            number = f.readline().strip()
        if not number:
            raise RuntimeError("Xvfb did not start")
        self.env = dict(os.environ)
        self.env.update({
            "DISPLAY": f":{number}",
            "WINEPREFIX": str(PREFIX),
            "WINEARCH": "win32",
            "WINEDEBUG": "-all",
            # No Mono or Gecko install prompt in a fresh prefix.
            "WINEDLLOVERRIDES": "mscoree,mshtml=",
            "DISCORA_TEST_LOG": WIN_STANDIN_LOG,
        })

    def wine(self, *args, check=True, timeout=None):
        """Runs a Windows program to its end and returns its output.

        The output goes through files, not pipes: a Wine process may start
        the prefix's long-lived processes (services, the desktop), which
        inherit its output handles and would hold a pipe open for ever."""
        with tempfile.TemporaryFile() as out, tempfile.TemporaryFile() as err:
            result = subprocess.run(["wine", *args], env=self.env, stdin=subprocess.DEVNULL,
                                    stdout=out, stderr=err, timeout=timeout)
            out.seek(0)
            err.seek(0)
            result.stdout = out.read().decode("latin-1")
            result.stderr = err.read().decode("latin-1")
        if check and result.returncode != 0:
            raise RuntimeError(f"wine {' '.join(args)} failed ({result.returncode}):\n"
                               f"{result.stdout}{result.stderr}")
        return result

    def spawn(self, *args, **kw):
        proc = subprocess.Popen(["wine", *args], env=self.env, **kw)
        self.procs.append(proc)
        return proc

    def make_prefix(self):
        if PREFIX.exists():
            shutil.rmtree(PREFIX)
        for folder in (DRIVE, STAGING):
            if folder.exists():
                shutil.rmtree(folder)
            folder.mkdir(parents=True)
        subprocess.run(["wineboot", "-i"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

        drive_c = PREFIX / "drive_c"
        (PREFIX / "dosdevices" / "d:").symlink_to(DRIVE)
        self.wine("reg", "add", r"HKLM\Software\Wine\Drives", "/v", "d:", "/d", "cdrom", "/f")
        shutil.copy(E2E / "mcitest.dll", drive_c / "windows" / "system32" / "mcitest.dll")
        self.wine("reg", "add", r"HKLM\Software\Microsoft\Windows NT\CurrentVersion\MCI",
                  "/v", "cdaudio", "/d", "mcitest.dll", "/f")
        # Wine's mount manager reads the drive types once, when it starts:
        # let this session's services end, so they start again with D: as a
        # CD-ROM drive.
        subprocess.run(["wineserver", "-w"], env=self.env, check=True)
        # A persistent server keeps the registry and the desktop between the
        # short-lived helper processes below.
        subprocess.run(["wineserver", "-p"], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        (drive_c / "discora-test" / "mci").mkdir(parents=True)
        for folder in ("discora", "reftray"):
            (drive_c / "bench" / folder).mkdir(parents=True)
        shutil.copy(EXE_DISCORA, drive_c / "bench" / "discora" / "Discora.exe")
        # The emulator Discora finds in its own folder: the stand-in in its
        # "*vgs.exe" role.
        shutil.copy(E2E / "standin.exe", drive_c / "bench" / "discora" / "vgs.exe")
        shutil.copy(EXE_REFTRAY, drive_c / "bench" / "reftray" / "reftray.exe")
        shutil.copy(EXE_PROBE, drive_c / "bench" / "benchprobe.exe")
        (STAGING / "SYSTEM.CNF").write_bytes(
            b"BOOT = cdrom:\\SLUS_000.01;1\r\nTCB = 4\r\nEVENT = 10\r\nSTACK = 801FFFF0\r\n")

    def close(self):
        for proc in self.procs:
            if proc.poll() is None:
                try:
                    proc.stdin and proc.stdin.close()
                except OSError:
                    pass
        if self.env:
            subprocess.run(["wineserver", "-k"], env=self.env, check=False,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        for proc in self.procs:
            try:
                proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                proc.kill()
        if self.xvfb and self.xvfb.poll() is None:
            self.xvfb.send_signal(signal.SIGTERM)
            try:
                self.xvfb.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.xvfb.kill()


class Probe:
    """benchprobe.exe in its "serve" mode: one command, one answer line."""

    def __init__(self, session):
        self.proc = session.spawn(WIN_PROBE, "serve", stdin=subprocess.PIPE,
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
    return wait_for(found, WAIT, f"the Linux process of {exe_name}")


def proc_cpu_ticks(pid):
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
    out = subprocess.run(["i686-w64-mingw32-objdump", "-p", str(path)], check=True,
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
        return wait_for(match, timeout, what)


def fields(line):
    return dict(part.split("=", 1) for part in line.split("\t") if "=" in part)


def measure_startup(session):
    log(f"start-up to tray icon: {START_RUNS} timed starts of each program (+1 warm-up)")
    result = session.wine(WIN_PROBE, "startup", "--runs", str(START_RUNS), WIN_REFTRAY,
                          WIN_DISCORA, check=False, timeout=600)
    if result.returncode != 0:
        raise RuntimeError(f"benchprobe startup failed:\n{result.stdout}{result.stderr}")
    times = {"reftray.exe": [], "Discora.exe": []}
    for line in result.stdout.splitlines():
        f = fields(line)
        if f.get("warmup") == "0":
            times[f["exe"]].append(float(f["ms"]))
    return times


def measure_idle(session, probe):
    log(f"idle: both programs side by side for {IDLE_SECONDS} s")
    mci = LogTail(MCI_LOG)
    ref = session.spawn(WIN_REFTRAY, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    dis = session.spawn(WIN_DISCORA, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                        cwd=str(PREFIX / "drive_c" / "bench" / "discora"))
    pids = {"reftray.exe": linux_pid(ref, "reftray.exe"), "Discora.exe": linux_pid(dis, "Discora.exe")}
    wait_for(lambda: probe.icons() == 2, WAIT, "both tray icons", interval=0.05)
    # Idle begins when both have finished starting: each has asked the
    # drive once, so winmm and the MCI driver are loaded in both. Discora
    # polls at start-up, the reference first at its first timer tick.
    polled = set()

    def both_polled():
        polled.update(l.split("\t")[1] for l in mci.lines() if "\tstatus\t" in l)
        return len(polled) >= 2
    wait_for(both_polled, POLL_MS / 1000 + WAIT, "a first poll by each program")
    before = {k: (proc_cpu_ticks(p), proc_thread_ns(p)) for k, p in pids.items()}
    time.sleep(IDLE_SECONDS)  # the idle period is what is measured
    hz = os.sysconf("SC_CLK_TCK")
    out = {}
    for k, p in pids.items():
        ticks = proc_cpu_ticks(p)
        ns, ended = cpu_ns_between(before[k][1], proc_thread_ns(p))
        if ended:
            log(f"{k}: {ended} thread(s) ended while idle; the scheduler figure misses them")
        out[k] = {
            "cpu_ms": (ticks - before[k][0]) * 1000.0 / hz,
            "sched_ms": ns / 1e6,
            "rss_kib": proc_status_kib(p, "VmRSS"),
            "anon_kib": proc_status_kib(p, "RssAnon"),
            "mapped_dlls": mapped_dlls(p),
        }
    extra = sorted(set(mapped_dll_names(pids["Discora.exe"])) -
                   set(mapped_dll_names(pids["reftray.exe"])))
    log(f"DLLs that only Discora has loaded: {', '.join(extra) or 'none'}")
    # The reference has done its part; Discora stays for the latency runs.
    if probe.ask("closeclass RefTrayWindow") != "ok":
        raise RuntimeError("reftray.exe did not close")
    ref.wait(timeout=WAIT)
    return out, dis


def measure_latency(probe, with_arrival):
    """Insertions of a PlayStation disc; each one's time to the emulator's start.

    Each insertion is placed at a different point of Discora's 3 s poll
    cycle, so the samples cover it evenly rather than by chance: (i + 0.5) / N
    of the period after a poll. With the arrival message the insertions are
    spread over the first half of the cycle only: the message must win over
    the poll (a launch that a poll made would not measure the message), and
    the disc is out again before the next poll, which keeps each insertion to
    one poll period."""
    mode = "arrival message" if with_arrival else "3 s poll"
    log(f"insertion to launch, {mode}: {INSERTIONS} insertions")
    mci = LogTail(MCI_LOG)
    standin = LogTail(STANDIN_LOG)
    samples = []
    disc = DRIVE / "SYSTEM.CNF"
    staged = STAGING / "SYSTEM.CNF"
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
            answer = probe.ask("arrive DiscoraNotifyForm D")
            if not answer.startswith("ok"):
                raise RuntimeError(f"the arrival message was not delivered: {answer}")
        line = standin.wait_line(lambda l: "event=start" in l and "role=emulator" in l,
                                 POLL_MS / 1000 + WAIT, "the emulator's start")
        observed_ns = time.time_ns()
        created = int(fields(line)["created"])
        created_ns = (created - EPOCH_1601_TO_1970_100NS) * 100
        latency_ms = (created_ns - inserted_ns) / 1e6
        if not (inserted_ns <= created_ns <= observed_ns):
            raise RuntimeError(f"clocks disagree: inserted {inserted_ns}, created {created_ns}, "
                               f"seen {observed_ns}")
        samples.append(latency_ms)
        standin.wait_line(lambda l: "event=window" in l, WAIT, "the emulator's window")
        if probe.ask(f"close {EMULATOR_TITLE}") != "ok":
            raise RuntimeError("the stand-in emulator did not close")
        os.rename(disc, staged)
    # Leave the drive seen as empty.
    mci.wait_line(lambda l: l.endswith("\tstatus\tfalse"), POLL_MS / 1000 * 3,
                  "a poll of the empty drive")
    return samples


def fmt_ms(value):
    return f"{value:,.0f} ms" if value >= 1000 else f"{value:.1f} ms"


def ratio(a, b):
    return f"{a / b:.2f}" if b else "n/a"


def verdict(ok):
    return "yes" if ok else "**no**"


def table(sizes, dlls, startup, idle, poll, arrival):
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
    rows.append((f"Start-up to tray icon, min – max", 
                 f"{fmt_ms(min(startup[d]))} – {fmt_ms(max(startup[d]))}",
                 f"{fmt_ms(min(startup[r]))} – {fmt_ms(max(startup[r]))}", "", "", ""))
    md, mr = idle[d]["rss_kib"], idle[r]["rss_kib"]
    rows.append((f"Resident memory (VmRSS) after {IDLE_SECONDS} s idle", f"{md:,} KiB",
                 f"{mr:,} KiB", ratio(md, mr), "ratio ≤ 1.1", verdict(md <= 1.1 * mr)))
    ad, ar = idle[d]["anon_kib"], idle[r]["anon_kib"]
    rows.append(("… of which private (RssAnon)", f"{ad:,} KiB", f"{ar:,} KiB", ratio(ad, ar),
                 "", ""))
    ld, lr = idle[d]["mapped_dlls"], idle[r]["mapped_dlls"]
    rows.append(("… DLLs loaded (PE files mapped)", f"{ld}", f"{lr}", ratio(ld, lr), "", ""))
    cd, cr = idle[d]["cpu_ms"], idle[r]["cpu_ms"]
    rows.append((f"CPU time (utime+stime) over {IDLE_SECONDS} s idle", f"{cd:.0f} ms",
                 f"{cr:.0f} ms", ratio(cd, cr), "ratio ≤ 1.1",
                 verdict(cd <= 1.1 * cr) if cr else "n/a"))
    nd, nr = idle[d]["sched_ms"], idle[r]["sched_ms"]
    rows.append((f"… same, scheduler's on-CPU time (schedstat)", f"{nd:.1f} ms", f"{nr:.1f} ms",
                 ratio(nd, nr), "", ""))
    for name, samples in ((f"Insertion to launch, 3 s poll only ({len(poll)} insertions)", poll),
                          (f"Insertion to launch, with arrival message ({len(arrival)} insertions)",
                           arrival)):
        rows.append((name, f"median {fmt_ms(statistics.median(samples))}, "
                           f"max {fmt_ms(max(samples))}", "n/a", "n/a", "—", ""))
    head = ("Measure", "Discora.exe", "reftray.exe (reference)", "Ratio", "Target", "Met")
    lines = ["| " + " | ".join(head) + " |", "|" + "|".join("---" for _ in head) + "|"]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


def main():
    for path in (EXE_DISCORA, EXE_REFTRAY, EXE_PROBE, E2E / "mcitest.dll", E2E / "standin.exe"):
        if not path.exists():
            sys.exit(f"bench: {path} is missing; build the windows-release preset first")
    # Other work on the machine slows both programs alike but widens the
    # spread of the timings: the table says how busy the machine was.
    load = Path("/proc/loadavg").read_text().split()[0]
    sizes = {p.name: p.stat().st_size for p in (EXE_DISCORA, EXE_REFTRAY)}
    dlls = {p.name: imported_dlls(p) for p in (EXE_DISCORA, EXE_REFTRAY)}
    session = Session()
    try:
        session.start_x()
        log(f"Wine prefix {PREFIX.relative_to(ROOT)} on display {session.env['DISPLAY']}")
        session.make_prefix()
        startup = measure_startup(session)
        probe = Probe(session)
        idle, discora = measure_idle(session, probe)
        poll = measure_latency(probe, with_arrival=False)
        arrival = measure_latency(probe, with_arrival=True)
        probe.ask("closeclass DiscoraNotifyForm")
        discora.wait(timeout=WAIT)
        probe.proc.stdin.write("quit\n")
        probe.proc.stdin.flush()
    finally:
        session.close()
    print()
    print(f"Discora footprint and speed, beside the reference tray program "
          f"(32-bit Wine {wine_version()}, Xvfb, {os.cpu_count()} cores, load average "
          f"{load} at the start{', BENCH_QUICK=1' if QUICK else ''}):")
    print()
    print(table(sizes, dlls, startup, idle, poll, arrival))
    print()
    log("done")


def wine_version():
    out = subprocess.run(["wine", "--version"], stdout=subprocess.PIPE, text=True).stdout.strip()
    return out.replace("wine-", "")


if __name__ == "__main__":
    main()
