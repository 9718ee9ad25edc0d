/* devarrive.exe: tells the agent's window that a volume arrived, as the
 * system does when media is put into a drive: a WM_DEVICECHANGE sent (not
 * posted) with a DEV_BROADCAST_VOLUME record, which the window manager
 * copies into the receiving process.
 *
 *   devarrive [--touch PATH] [--event N] [--type N] [--size N] [--no-record]
 *             UNITMASK FLAGS
 *
 * UNITMASK: drive bits (bit 0 = A:), FLAGS: dbcv_flags (1 = DBTF_MEDIA).
 * --touch   creates PATH right before the message is sent, so a disc
 *           "arrives" at the same moment the message announces it;
 * --event   wParam instead of DBT_DEVICEARRIVAL (0x8000);
 * --type    dbch_devicetype instead of DBT_DEVTYP_VOLUME (2);
 * --size    dbch_size instead of the record's true size;
 * --no-record  lParam 0.
 *
 * Before it starts, the program sends the window WM_NULL and waits for the
 * answer, so the window's thread is idle in its message loop at that
 * moment. It prints one record of tab-separated fields: the tick count and
 * the system time (100 ns units) just before the touch and the send and
 * just after the send returned, and the window's answer. The exit code is 0
 * when the message was delivered, 1 when there is no such window, 2 on an
 * error. */
#include <windows.h>
#include <dbt.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static ULONGLONG now_100ns(void) {
    FILETIME ft;
    GetSystemTimeAsFileTime(&ft);
    return ((ULONGLONG)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}

int main(int argc, char **argv) {
    const char *touch = NULL;
    WPARAM event = DBT_DEVICEARRIVAL;
    long size = -1;
    DWORD type = DBT_DEVTYP_VOLUME;
    BOOL record = TRUE;
    int i = 1;
    for (; i < argc && !strncmp(argv[i], "--", 2); ++i) {
        if (!strcmp(argv[i], "--touch") && i + 1 < argc) touch = argv[++i];
        else if (!strcmp(argv[i], "--event") && i + 1 < argc) event = strtoul(argv[++i], NULL, 0);
        else if (!strcmp(argv[i], "--type") && i + 1 < argc) type = strtoul(argv[++i], NULL, 0);
        else if (!strcmp(argv[i], "--size") && i + 1 < argc) size = strtol(argv[++i], NULL, 0);
        else if (!strcmp(argv[i], "--no-record")) record = FALSE;
        else return 2;
    }
    if (argc - i != 2) {
        fputs("usage: devarrive [--touch PATH] [--event N] [--type N] [--size N] [--no-record] "
              "UNITMASK FLAGS\n", stderr);
        return 2;
    }
    DEV_BROADCAST_VOLUME volume;
    memset(&volume, 0, sizeof volume);
    volume.dbcv_size = size >= 0 ? (DWORD)size : sizeof volume;
    volume.dbcv_devicetype = type;
    volume.dbcv_unitmask = strtoul(argv[i], NULL, 0);
    volume.dbcv_flags = (WORD)strtoul(argv[i + 1], NULL, 0);

    HWND window = FindWindowA("DiscoraNotifyForm", NULL);
    if (!window) {
        fputs("devarrive: no agent window\n", stderr);
        return 1;
    }
    DWORD_PTR answer = 0;
    if (!SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 20000, &answer)) return 2;

    DWORD before = GetTickCount();
    ULONGLONG before_time = now_100ns();
    if (touch) {
        HANDLE file = CreateFileA(touch, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, NULL);
        if (file == INVALID_HANDLE_VALUE) return 2;
        static const char boot[] = "BOOT = cdrom:\\SLUS_000.01;1\r\n";
        DWORD written;
        WriteFile(file, boot, sizeof boot - 1, &written, NULL);
        CloseHandle(file);
    }
    answer = 0;
    BOOL sent = SendMessageTimeoutA(window, WM_DEVICECHANGE, event,
                                    record ? (LPARAM)&volume : 0, SMTO_NORMAL, 20000, &answer) != 0;
    DWORD error = sent ? 0 : GetLastError();
    DWORD after = GetTickCount();
    ULONGLONG after_time = now_100ns();
    printf("before=%lu\tafter=%lu\tbefore_time=%llu\tafter_time=%llu\tsent=%d\tresult=%lu"
           "\terror=%lu\n",
           (unsigned long)before, (unsigned long)after, before_time, after_time, sent ? 1 : 0,
           (unsigned long)answer, (unsigned long)error);
    fflush(stdout);
    return sent ? 0 : 2;
}
