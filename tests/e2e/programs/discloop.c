/* discloop.exe: drives the agent's disc watch fast, from inside the prefix.
 *
 * A disc goes in when a file appears at the root of the watched drive's
 * folder (the test MCI driver reports a disc while the root holds an entry)
 * and comes out when the file is deleted. After each change the program
 * tells the agent, as the system does when a volume arrives, with
 * WM_DEVICECHANGE / DBT_DEVICEARRIVAL and a DEV_BROADCAST_VOLUME record
 * (DBTF_MEDIA) sent with SendMessage; the agent polls the drive while
 * handling it, so when SendMessage returns that poll is over. Every step
 * waits for its effect before the next one, with a bound.
 *
 *   discloop cycles DRIVE ROUNDS UTILITY
 *       ROUNDS times: a data disc (README.TXT) in and out, then a PlayStation
 *       disc (SYSTEM.CNF) in and out; the arrival is told twice after each
 *       insertion and once after each removal. Each PlayStation disc must
 *       start the utility UTILITY (a file name, such as DX7VGSJoy.exe)
 *       exactly once, each data disc never. Prints one summary record.
 *
 *   discloop arrive [--restart-timer] EVENT UNITMASK FLAGS
 *       Sends one WM_DEVICECHANGE (EVENT with a volume record) and prints how
 *       many polls the agent made while handling it. The agent's own poll
 *       timer could add one at any moment; with --restart-timer the program
 *       first switches "Enable Autorun" off and on (WM_COMMAND, as the menu
 *       does), which restarts the timer's full 3-second interval, and counts
 *       only when the whole step took well under that interval, so no timer
 *       poll can be among those counted. With polling switched off there is
 *       no timer, and the count is exact without it.
 *
 * Output: tab-separated key=value records; exit code 0 when everything went
 * as expected, 1 when the agent did something else (an "error" field says
 * what), 2 on a usage or system error. */
#include <windows.h>
#include <dbt.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "res/resource.h"

#define MCI_LOG "C:\\discora-test\\mci\\log.txt"
#define STEP_TIMEOUT_MS 30000
/* Restart, message and counting must fit well inside the timer's 3-second
 * interval. */
#define QUIET_WINDOW_MS 2000

static char g_standin_log[MAX_PATH];
static HWND g_agent;

static void usage(void) {
    fputs("usage: discloop cycles DRIVE ROUNDS UTILITY\n"
          "       discloop arrive [--restart-timer] EVENT UNITMASK FLAGS\n",
          stderr);
    exit(2);
}

/* The whole file as a NUL-terminated text (NULL when absent). The writers
 * append whole lines under a mutex; a reader counts complete lines only. */
static char *read_all(const char *path) {
    HANDLE file = CreateFileA(path, GENERIC_READ,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return NULL;
    DWORD size = GetFileSize(file, NULL);
    char *text = (char *)malloc(size + 1);
    DWORD got = 0;
    if (!text || !ReadFile(file, text, size, &got, NULL)) got = 0;
    CloseHandle(file);
    if (!text) return NULL;
    text[got] = '\0';
    return text;
}

/* The agent's polls so far: status queries in the MCI driver's log
 * ("tick\tpid\tstatus\treading"), and the reading of the last one. */
static int count_polls(char *last, size_t last_size) {
    char *text = read_all(MCI_LOG);
    int count = 0;
    if (last_size) last[0] = '\0';
    if (!text) return 0;
    char *line = text;
    for (char *end; (end = strchr(line, '\n')) != NULL; line = end + 1) {
        *end = '\0';
        char *cmd = strchr(line, '\t');
        cmd = cmd ? strchr(cmd + 1, '\t') : NULL;
        if (cmd && strncmp(cmd + 1, "status\t", 7) == 0) {
            ++count;
            if (last_size) {
                lstrcpynA(last, cmd + 8, (int)last_size);
                char *cr = strchr(last, '\r');
                if (cr) *cr = '\0';
            }
        }
    }
    free(text);
    return count;
}

/* Programs the stand-ins recorded as started. */
static int count_starts(void) {
    char *text = read_all(g_standin_log);
    int count = 0;
    if (!text) return 0;
    char *line = text;
    for (char *end; (end = strchr(line, '\n')) != NULL; line = end + 1) {
        if (strncmp(line, "event=start\t", 12) == 0) ++count;
    }
    free(text);
    return count;
}

/* Whether a process of that file name is alive. The agent's CreateProcess
 * has put it in this list before it returned, and it leaves the list only
 * after it has logged its start and ended. */
static BOOL process_alive(const char *exe) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return TRUE;
    PROCESSENTRY32 pe;
    pe.dwSize = sizeof pe;
    BOOL found = FALSE;
    for (BOOL ok = Process32First(snap, &pe); ok && !found; ok = Process32Next(snap, &pe))
        found = lstrcmpiA(pe.szExeFile, exe) == 0;
    CloseHandle(snap);
    return found;
}

static BOOL send_to_agent(UINT msg, WPARAM wp, LPARAM lp) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutA(g_agent, msg, wp, lp, SMTO_NORMAL, STEP_TIMEOUT_MS, &result) != 0;
}

static BOOL send_arrival(DWORD event, DWORD unitmask, WORD flags) {
    DEV_BROADCAST_VOLUME volume;
    ZeroMemory(&volume, sizeof volume);
    volume.dbcv_size = sizeof volume;
    volume.dbcv_devicetype = DBT_DEVTYP_VOLUME;
    volume.dbcv_unitmask = unitmask;
    volume.dbcv_flags = flags;
    return send_to_agent(WM_DEVICECHANGE, event, (LPARAM)&volume);
}

static BOOL find_agent(void) {
    g_agent = FindWindowA(DISCORA_WINDOW_CLASS, NULL);
    if (!g_agent) {
        printf("error=no agent window\n");
        return FALSE;
    }
    return TRUE;
}

static int fail(int round, const char *disc, const char *what, int expected, int found) {
    printf("error=%s\tround=%d\tdisc=%s\texpected=%d\tfound=%d\n", what, round, disc, expected,
           found);
    return 1;
}

static BOOL put_file(const char *path) {
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, NULL);
    if (file == INVALID_HANDLE_VALUE) return FALSE;
    DWORD written;
    WriteFile(file, "BOOT = cdrom:\\SLUS_000.01;1\r\n", 29, &written, NULL);
    CloseHandle(file);
    return TRUE;
}

/* One disc in and out. `launches` is the number of utility starts so far,
 * raised by one for a PlayStation disc. */
static int one_cycle(int round, char drive, BOOL psx, const char *utility, int *launches,
                     int *messages) {
    const char *disc = psx ? "psx" : "data";
    char path[MAX_PATH];
    snprintf(path, sizeof path, "%c:\\%s", drive, psx ? "SYSTEM.CNF" : "README.TXT");
    DWORD mask = 1u << (drive - 'A');
    char reading[16];

    int before = count_polls(NULL, 0);
    if (!put_file(path)) return fail(round, disc, "cannot create the disc's file", 0, 0);
    if (!send_arrival(DBT_DEVICEARRIVAL, mask, DBTF_MEDIA))
        return fail(round, disc, "arrival message not handled", 1, 0);
    ++*messages;
    int after = count_polls(reading, sizeof reading);
    if (after <= before) return fail(round, disc, "no poll for the arrival", before + 1, after);
    if (strcmp(reading, "true") != 0) return fail(round, disc, "the poll saw no disc", 1, 0);
    /* The same news again (the system may tell more than once): the disc
     * has been seen, so this poll must not launch a second time. */
    before = after;
    if (!send_arrival(DBT_DEVICEARRIVAL, mask, DBTF_MEDIA))
        return fail(round, disc, "arrival message not handled", 1, 0);
    ++*messages;
    after = count_polls(reading, sizeof reading);
    if (after <= before)
        return fail(round, disc, "no poll for the repeated arrival", before + 1, after);
    if (strcmp(reading, "true") != 0) return fail(round, disc, "the poll saw no disc", 1, 0);

    if (psx) ++*launches;
    DWORD start = GetTickCount();
    while (count_starts() < *launches || process_alive(utility)) {
        if (GetTickCount() - start > STEP_TIMEOUT_MS)
            return fail(round, disc, "launch not finished in time", *launches, count_starts());
        Sleep(5);
    }
    int starts = count_starts();
    if (starts != *launches) return fail(round, disc, "wrong number of launches", *launches, starts);

    before = count_polls(NULL, 0);
    if (!DeleteFileA(path)) return fail(round, disc, "cannot remove the disc's file", 0, 0);
    if (!send_arrival(DBT_DEVICEARRIVAL, mask, DBTF_MEDIA))
        return fail(round, disc, "arrival message not handled", 1, 0);
    ++*messages;
    after = count_polls(reading, sizeof reading);
    if (after <= before) return fail(round, disc, "no poll after the eject", before + 1, after);
    if (strcmp(reading, "false") != 0) return fail(round, disc, "the poll still saw a disc", 0, 1);
    return 0;
}

static int cmd_cycles(int argc, char **argv) {
    if (argc < 3) usage();
    char drive = argv[0][0] & ~0x20; /* upper case */
    int rounds = atoi(argv[1]);
    const char *utility = argv[2];
    if (drive < 'C' || drive > 'Z' || rounds <= 0) usage();
    if (!find_agent()) return 1;

    int launches = count_starts();
    int first_polls = count_polls(NULL, 0);
    int messages = 0;
    DWORD start = GetTickCount();
    for (int round = 1; round <= rounds; ++round) {
        int rc = one_cycle(round, drive, FALSE, utility, &launches, &messages);
        if (!rc) rc = one_cycle(round, drive, TRUE, utility, &launches, &messages);
        if (rc) return rc;
    }
    printf("rounds=%d\tlaunches=%d\tmessages=%d\tpolls=%d\tms=%lu\n", rounds, launches, messages,
           count_polls(NULL, 0) - first_polls, (unsigned long)(GetTickCount() - start));
    return 0;
}

static int cmd_arrive(int argc, char **argv) {
    BOOL restart = argc > 0 && strcmp(argv[0], "--restart-timer") == 0;
    if (restart) {
        --argc;
        ++argv;
    }
    if (argc < 3) usage();
    DWORD event = strtoul(argv[0], NULL, 0);
    DWORD mask = strtoul(argv[1], NULL, 0);
    WORD flags = (WORD)strtoul(argv[2], NULL, 0);
    if (!find_agent()) return 1;

    for (int attempt = 1; attempt <= 10; ++attempt) {
        DWORD start = GetTickCount();
        if (restart && (!send_to_agent(WM_COMMAND, MAKEWPARAM(IDM_AUTORUN, 0), 0) ||
                        !send_to_agent(WM_COMMAND, MAKEWPARAM(IDM_AUTORUN, 0), 0))) {
            printf("error=menu command not handled\n");
            return 1;
        }
        int before = count_polls(NULL, 0);
        if (!send_arrival(event, mask, flags)) {
            printf("error=device message not handled\n");
            return 1;
        }
        int after = count_polls(NULL, 0);
        DWORD took = GetTickCount() - start;
        /* Too slow to rule out a timer poll: the machine was busy; again. */
        if (restart && took >= QUIET_WINDOW_MS) continue;
        printf("polls=%d\tattempts=%d\tms=%lu\n", after - before, attempt, (unsigned long)took);
        return 0;
    }
    printf("error=never fast enough to count without the timer\n");
    return 1;
}

int main(int argc, char **argv) {
    setvbuf(stdout, NULL, _IOFBF, 1 << 16);
    DWORD n = GetEnvironmentVariableA("DISCORA_TEST_LOG", g_standin_log, sizeof g_standin_log);
    if (n == 0 || n >= sizeof g_standin_log)
        lstrcpyA(g_standin_log, "C:\\discora-test\\standin.log");
    if (argc < 2) usage();
    int rc;
    if (!strcmp(argv[1], "cycles")) rc = cmd_cycles(argc - 2, argv + 2);
    else if (!strcmp(argv[1], "arrive")) rc = cmd_arrive(argc - 2, argv + 2);
    else usage();
    fflush(stdout);
    return rc;
}
