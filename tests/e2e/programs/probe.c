/* probe.exe: the tests' eyes and hands inside the Wine prefix. Run from the
 * harness as a console program beside the agent, it looks at windows, sends
 * them messages, asks the MCI the agent's own questions, lists drive types
 * and reads the items of an open pop-up menu.
 *
 * Every result goes to standard output as tab-separated key=value fields,
 * one record a line; the exit code is 0 on success, 1 when the thing looked
 * for is not there (or a wait timed out), 2 on a usage or system error.
 *
 *   probe find     [-c CLASS] [-t TITLE]
 *   probe children [-c CLASS] [-t TITLE]
 *   probe windows                       (all top-level windows)
 *   probe post|send [-c CLASS] [-t TITLE] MSG WPARAM LPARAM
 *   probe wait     [-c CLASS] [-t TITLE] [--gone] [--timeout MS]
 *   probe foreground
 *   probe mci COMMAND...                (mciSendStringA per argument: rc, reply)
 *   probe drives                        (GetDriveTypeA for C: to Z:)
 *   probe menu     [-c CLASS] [-t TITLE] [--pid PID] [--timeout MS]
 *   probe key      VK down|up           (SendInput: a key pressed or released)
 *   probe keystate VK                   (GetAsyncKeyState, as a signed number)
 *   probe broadcast NAME [--timeout MS] (the registered message NAME sent to
 *                                        every top-level window; returns when
 *                                        all of them have handled it)
 *                                       (WM_DEVICECHANGE with a volume record)
 *   probe processes                     (every process: pid and file name)
 *   probe forget-icon [-c CLASS] [-t TITLE] ID
 *                                       (Shell_NotifyIconA NIM_DELETE of the
 *                                        window's icon ID, as a shell that
 *                                        restarts loses it)
 *
 * A message number of post and send may also be "@NAME", the message that
 * RegisterWindowMessageA gives for NAME (such as "@TaskbarCreated").
 *
 * Menus live in the memory of the process that owns them, and Wine answers
 * menu calls for another process's menu with nothing. "menu" therefore loads
 * menuspy.dll (from probe.exe's folder) into the owner of the window with a
 * remote thread calling LoadLibraryA, runs its DumpOpenMenu in a second
 * remote thread, and prints what it wrote. */
#include <windows.h>
#include <mmsystem.h>
#include <shellapi.h>
#include <tlhelp32.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    const char *cls;
    const char *title;
    DWORD pid;
    DWORD timeout;
    BOOL gone;
    int argc; /* remaining positional arguments */
    char **argv;
} Options;

static void usage(void) {
    fputs("usage: probe find|children|windows|post|send|wait|foreground|mci|drives|menu|key|\n"
          "             keystate|broadcast|processes|forget-icon ...\n",
          stderr);
    exit(2);
}

static Options parse(int argc, char **argv) {
    Options o = {0};
    o.timeout = 10000;
    static char *rest[64];
    int n = 0;
    for (int i = 0; i < argc; ++i) {
        if (!strcmp(argv[i], "-c") && i + 1 < argc) o.cls = argv[++i];
        else if (!strcmp(argv[i], "-t") && i + 1 < argc) o.title = argv[++i];
        else if (!strcmp(argv[i], "--pid") && i + 1 < argc) o.pid = strtoul(argv[++i], NULL, 0);
        else if (!strcmp(argv[i], "--timeout") && i + 1 < argc)
            o.timeout = strtoul(argv[++i], NULL, 0);
        else if (!strcmp(argv[i], "--gone")) o.gone = TRUE;
        else if (n < 64) rest[n++] = argv[i];
    }
    o.argc = n;
    o.argv = rest;
    return o;
}

static void clean(char *text) {
    for (; *text; ++text)
        if (*text == '\t' || *text == '\r' || *text == '\n') *text = ' ';
}

static void print_window(HWND hwnd) {
    char cls[256] = {0}, text[512] = {0};
    GetClassNameA(hwnd, cls, sizeof cls);
    /* WM_GETTEXT gives an edit control's contents, which GetWindowText does
     * not for another process; the timeout keeps a hung window from hanging
     * the probe, and the stored caption is the fallback. */
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 2000,
                             NULL))
        GetWindowTextA(hwnd, text, sizeof text);
    clean(cls);
    clean(text);
    RECT r = {0}, c = {0};
    GetWindowRect(hwnd, &r);
    GetClientRect(hwnd, &c);
    DWORD pid = 0;
    GetWindowThreadProcessId(hwnd, &pid);
    /* Wine's X11 driver keeps the X window of a top-level window in this
     * property: what xdotool and xwininfo know the window by. */
    unsigned long xwindow = (unsigned long)(ULONG_PTR)GetPropA(hwnd, "__wine_x11_whole_window");
    printf("hwnd=0x%lx\tclass=%s\ttext=%s\tpid=%lu\tid=%ld\tstyle=0x%08lx\texstyle=0x%08lx"
           "\tvisible=%d\ticonic=%d\tzoomed=%d\trect=%ld,%ld,%ld,%ld\tclient=%ld,%ld,%ld,%ld"
           "\txwindow=0x%lx\n",
           (unsigned long)(ULONG_PTR)hwnd, cls, text, (unsigned long)pid,
           (long)GetWindowLongPtrA(hwnd, GWLP_ID), (unsigned long)GetWindowLongA(hwnd, GWL_STYLE),
           (unsigned long)GetWindowLongA(hwnd, GWL_EXSTYLE), IsWindowVisible(hwnd) ? 1 : 0,
           IsIconic(hwnd) ? 1 : 0, IsZoomed(hwnd) ? 1 : 0, r.left, r.top, r.right, r.bottom,
           c.left, c.top, c.right, c.bottom, xwindow);
}

static HWND find(const Options *o) { return FindWindowA(o->cls, o->title); }

static BOOL CALLBACK print_each(HWND hwnd, LPARAM lp) {
    (void)lp;
    print_window(hwnd);
    return TRUE;
}

static int cmd_find(const Options *o) {
    HWND hwnd = find(o);
    if (!hwnd) return 1;
    print_window(hwnd);
    return 0;
}

static int cmd_children(const Options *o) {
    HWND hwnd = find(o);
    if (!hwnd) return 1;
    EnumChildWindows(hwnd, print_each, 0);
    return 0;
}

static UINT message_number(const char *text) {
    if (text[0] == '@') return RegisterWindowMessageA(text + 1);
    return strtoul(text, NULL, 0);
}

static int cmd_message(const Options *o, BOOL post) {
    if (o->argc < 3) usage();
    HWND hwnd = find(o);
    if (!hwnd) return 1;
    UINT msg = message_number(o->argv[0]);
    WPARAM wp = strtoul(o->argv[1], NULL, 0);
    LPARAM lp = (LPARAM)strtoul(o->argv[2], NULL, 0);
    if (post) {
        if (!PostMessageA(hwnd, msg, wp, lp)) return 2;
        printf("posted=1\n");
    } else {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(hwnd, msg, wp, lp, SMTO_NORMAL, o->timeout, &result)) return 2;
        printf("result=%lu\n", (unsigned long)result);
    }
    return 0;
}

static int cmd_wait(const Options *o) {
    DWORD start = GetTickCount();
    for (;;) {
        HWND hwnd = find(o);
        if (o->gone ? hwnd == NULL : hwnd != NULL) {
            if (hwnd) print_window(hwnd);
            return 0;
        }
        if (GetTickCount() - start >= o->timeout) return 1;
        Sleep(50);
    }
}

/* Each argument is one whole command string, sent in order in this one
 * process, so an alias opened by the first is known to the next. */
static int cmd_mci(const Options *o) {
    for (int i = 0; i < o->argc; ++i) {
        char reply[256] = {0};
        MCIERROR rc = mciSendStringA(o->argv[i], reply, sizeof reply, NULL);
        clean(reply);
        printf("command=%s\trc=%lu\treply=%s\n", o->argv[i], (unsigned long)rc, reply);
    }
    return 0;
}

static int cmd_drives(void) {
    for (char letter = 'C'; letter <= 'Z'; ++letter) {
        char root[4] = {letter, ':', '\\', 0};
        UINT type = GetDriveTypeA(root);
        if (type != DRIVE_NO_ROOT_DIR) printf("drive=%c:\ttype=%u\n", letter, type);
    }
    return 0;
}

/* Address of `name` in the module `module` as loaded in process `pid`,
 * assuming the same file is mapped there (same offset from its base). */
static FARPROC remote_proc(DWORD pid, HMODULE local, const char *module, FARPROC local_proc) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snap == INVALID_HANDLE_VALUE) return NULL;
    MODULEENTRY32 me;
    me.dwSize = sizeof me;
    FARPROC result = NULL;
    for (BOOL ok = Module32First(snap, &me); ok; ok = Module32Next(snap, &me)) {
        if (lstrcmpiA(me.szModule, module) == 0) {
            result = (FARPROC)(me.modBaseAddr + ((BYTE *)local_proc - (BYTE *)local));
            break;
        }
    }
    CloseHandle(snap);
    return result;
}

static BOOL run_remote(HANDLE process, FARPROC fn, LPVOID arg, DWORD timeout, DWORD *code) {
    HANDLE thread =
        CreateRemoteThread(process, NULL, 0, (LPTHREAD_START_ROUTINE)fn, arg, 0, NULL);
    if (!thread) return FALSE;
    BOOL done = WaitForSingleObject(thread, timeout) == WAIT_OBJECT_0;
    if (done) GetExitCodeThread(thread, code);
    CloseHandle(thread);
    return done;
}

static int cmd_menu(const Options *o) {
    DWORD pid = o->pid;
    if (!pid) {
        HWND hwnd = find(o);
        if (!hwnd) {
            fprintf(stderr, "probe: no window to take the process from\n");
            return 1;
        }
        GetWindowThreadProcessId(hwnd, &pid);
    }
    char dll[MAX_PATH];
    GetModuleFileNameA(NULL, dll, sizeof dll);
    char *slash = strrchr(dll, '\\');
    strcpy(slash ? slash + 1 : dll, "menuspy.dll");
    char tmpdir[MAX_PATH], out[MAX_PATH];
    GetTempPathA(sizeof tmpdir, tmpdir);
    GetTempFileNameA(tmpdir, "mnu", 0, out);

    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    HMODULE spy = LoadLibraryA(dll);
    FARPROC load = GetProcAddress(kernel, "LoadLibraryA");
    FARPROC unload = GetProcAddress(kernel, "FreeLibrary");
    FARPROC dump = spy ? GetProcAddress(spy, "DumpOpenMenu") : NULL;
    if (!dump) {
        fprintf(stderr, "probe: cannot load %s\n", dll);
        return 2;
    }
    FARPROC remote_load = remote_proc(pid, kernel, "kernel32.dll", load);
    FARPROC remote_unload = remote_proc(pid, kernel, "kernel32.dll", unload);
    HANDLE process = OpenProcess(PROCESS_ALL_ACCESS, FALSE, pid);
    if (!process || !remote_load) {
        fprintf(stderr, "probe: cannot open process %lu\n", (unsigned long)pid);
        return 2;
    }
    SIZE_T size = sizeof dll + sizeof out;
    char *mem = VirtualAllocEx(process, NULL, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    if (!mem || !WriteProcessMemory(process, mem, dll, sizeof dll, NULL) ||
        !WriteProcessMemory(process, mem + sizeof dll, out, sizeof out, NULL)) {
        fprintf(stderr, "probe: cannot write into process %lu\n", (unsigned long)pid);
        return 2;
    }
    DWORD remote_base = 0;
    if (!run_remote(process, remote_load, mem, 10000, &remote_base) || !remote_base) {
        fprintf(stderr, "probe: LoadLibraryA failed in process %lu\n", (unsigned long)pid);
        return 2;
    }
    FARPROC remote_dump = (FARPROC)((BYTE *)(ULONG_PTR)remote_base + ((BYTE *)dump - (BYTE *)spy));
    DWORD found = 0;
    BOOL ran = run_remote(process, remote_dump, mem + sizeof dll, o->timeout + 5000, &found);
    DWORD ignored;
    run_remote(process, remote_unload, (LPVOID)(ULONG_PTR)remote_base, 5000, &ignored);
    VirtualFreeEx(process, mem, 0, MEM_RELEASE);
    CloseHandle(process);

    FILE *f = fopen(out, "rb");
    if (f) {
        char line[1024];
        while (fgets(line, sizeof line, f)) fputs(line, stdout);
        fclose(f);
    }
    DeleteFileA(out);
    if (!ran) return 2;
    return found ? 0 : 1;
}

/* A key as the keyboard driver reports it: the virtual key with its scan
 * code, so the system's key state (GetAsyncKeyState in every process of the
 * desktop) follows it, as for a real key. */
static int cmd_key(const Options *o) {
    if (o->argc < 2) usage();
    WORD vk = (WORD)strtoul(o->argv[0], NULL, 0);
    BOOL up = !strcmp(o->argv[1], "up");
    if (!up && strcmp(o->argv[1], "down")) usage();
    INPUT input;
    ZeroMemory(&input, sizeof input);
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = vk;
    input.ki.wScan = (WORD)MapVirtualKeyA(vk, MAPVK_VK_TO_VSC);
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    if (SendInput(1, &input, sizeof input) != 1) return 2;
    printf("vk=0x%02x\tstate=%d\n", vk, (int)(SHORT)GetAsyncKeyState(vk));
    return 0;
}

static int cmd_keystate(const Options *o) {
    if (o->argc < 1) usage();
    printf("state=%d\n", (int)(SHORT)GetAsyncKeyState((int)strtoul(o->argv[0], NULL, 0)));
    return 0;
}

/* As a new shell does for "TaskbarCreated": every top-level window gets the
 * message. Sent rather than posted, so that when this returns every window
 * that answers has handled it. */
static int cmd_broadcast(const Options *o) {
    if (o->argc < 1) usage();
    UINT msg = RegisterWindowMessageA(o->argv[0]);
    if (!msg) return 2;
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(HWND_BROADCAST, msg, 0, 0, SMTO_ABORTIFHUNG, o->timeout, &result))
        return 2;
    printf("message=0x%04x\n", msg);
    return 0;
}

/* The system's own list: a process is in it from the moment its creator's
 * CreateProcess returns until it ends. */
static int cmd_processes(void) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 2;
    PROCESSENTRY32 pe;
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        printf("pid=%lu\texe=%s\n", (unsigned long)pe.th32ProcessID, pe.szExeFile);
    CloseHandle(snap);
    return 0;
}

static int cmd_forget_icon(const Options *o) {
    if (o->argc < 1) usage();
    HWND hwnd = find(o);
    if (!hwnd) return 1;
    NOTIFYICONDATAA data;
    ZeroMemory(&data, sizeof data);
    data.cbSize = NOTIFYICONDATAA_V1_SIZE;
    data.hWnd = hwnd;
    data.uID = strtoul(o->argv[0], NULL, 0);
    BOOL deleted = Shell_NotifyIconA(NIM_DELETE, &data);
    printf("deleted=%d\n", deleted ? 1 : 0);
    return deleted ? 0 : 1;
}

static BOOL CALLBACK print_top(HWND hwnd, LPARAM lp) {
    (void)lp;
    print_window(hwnd);
    return TRUE;
}

int main(int argc, char **argv) {
    if (argc < 2) usage();
    setvbuf(stdout, NULL, _IOFBF, 1 << 16);
    Options o = parse(argc - 2, argv + 2);
    const char *cmd = argv[1];
    int rc;
    if (!strcmp(cmd, "find")) rc = cmd_find(&o);
    else if (!strcmp(cmd, "children")) rc = cmd_children(&o);
    else if (!strcmp(cmd, "windows")) rc = (EnumWindows(print_top, 0), 0);
    else if (!strcmp(cmd, "post")) rc = cmd_message(&o, TRUE);
    else if (!strcmp(cmd, "send")) rc = cmd_message(&o, FALSE);
    else if (!strcmp(cmd, "wait")) rc = cmd_wait(&o);
    else if (!strcmp(cmd, "foreground")) {
        HWND fg = GetForegroundWindow();
        if (fg) print_window(fg);
        rc = fg ? 0 : 1;
    } else if (!strcmp(cmd, "mci")) rc = cmd_mci(&o);
    else if (!strcmp(cmd, "drives")) rc = cmd_drives();
    else if (!strcmp(cmd, "menu")) rc = cmd_menu(&o);
    else if (!strcmp(cmd, "key")) rc = cmd_key(&o);
    else if (!strcmp(cmd, "keystate")) rc = cmd_keystate(&o);
    else if (!strcmp(cmd, "broadcast")) rc = cmd_broadcast(&o);
    else if (!strcmp(cmd, "processes")) rc = cmd_processes();
    else if (!strcmp(cmd, "forget-icon")) rc = cmd_forget_icon(&o);
    else usage();
    fflush(stdout);
    return rc;
}
