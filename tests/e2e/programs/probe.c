/* probe.exe: the tests' eyes and hands inside the Wine prefix. Run from the
 * harness as a console program beside the agent, it looks at windows, sends
 * them messages, asks the MCI the agent's own questions, lists drive types,
 * reads the items of an open pop-up menu and tells the agent of discs.
 *
 * Every result goes to standard output as tab-separated key=value fields,
 * one record a line; the exit code is 0 on success, 1 when the thing looked
 * for is not there (or a wait timed out, or the agent did something else
 * than expected: an "error" field says what), 2 on a usage or system error.
 *
 *   probe find     [-c CLASS] [-t TITLE]    (one window record)
 *   probe windows                           (every top-level window)
 *   probe state    [-c CLASS] [-t TITLE]    (the window, one record per
 *                                            child control, the focus of its
 *                                            thread and the desktop)
 *   probe hittest  [-c CLASS] [-t TITLE] X,Y...   (WM_NCHITTEST per point)
 *   probe caption  [-c CLASS] [-t TITLE]    (the hit-test codes across the
 *                                            caption, and the close box)
 *   probe post|send [-c CLASS] [-t TITLE] MSG WPARAM LPARAM
 *   probe post-thread [-c CLASS] [-t TITLE] MSG WPARAM LPARAM
 *                                           (PostThreadMessage to the thread
 *                                            that owns the window)
 *   probe wait     [-c CLASS] [-t TITLE] [--gone] [--timeout MS]
 *   probe mci COMMAND...                    (mciSendStringA per argument)
 *   probe drives                            (GetDriveTypeA for C: to Z:)
 *   probe plug     LETTER UNIXPATH          (the mount manager makes LETTER a
 *                                            CD-ROM drive behind the Unix
 *                                            folder UNIXPATH, as when a drive
 *                                            is plugged in)
 *   probe unplug   LETTER                   (the mount manager forgets the
 *                                            drive LETTER, as when it is
 *                                            unplugged)
 *   probe menu     [-c CLASS] [-t TITLE] [--pid PID] [--timeout MS]
 *   probe key      VK down|up               (SendInput: a key pressed or released)
 *   probe keystate VK                       (GetAsyncKeyState, as a signed number)
 *   probe broadcast NAME [--timeout MS]     (the registered message NAME sent to
 *                                            every top-level window; returns when
 *                                            all of them have handled it)
 *   probe processes                         (every process: pid and file name)
 *   probe forget-icon [-c CLASS] [-t TITLE] ID
 *                                           (Shell_NotifyIconA NIM_DELETE of the
 *                                            window's icon ID, as a shell that
 *                                            restarts loses it)
 *   probe arrive   [--touch PATH] [--plug LETTER UNIXPATH] [--broadcast] [--event N]
 *                  [--type N] [--size N] [--no-record] [--restart-timer] UNITMASK FLAGS
 *   probe discs    DRIVE ROUNDS UTILITY     (fast disc cycles, see cmd_discs)
 *
 * Window records carry kind=window (or kind=control for a child of "state",
 * with its box relative to the top-level window's client area): hwnd, class,
 * text, pid, tid, id, style, exstyle, visible, enabled, iconic, rect
 * (left,top,right,bottom on the screen), client (width,height), origin (the
 * client area's top left on the screen) and xwindow, the X window Wine made
 * for a top-level window (what xdotool and xwininfo know it by).
 *
 * A message number of post, send and post-thread may also be "@NAME", the
 * message that RegisterWindowMessageA gives for NAME.
 *
 * Menus live in the memory of the process that owns them, and Wine answers
 * menu calls for another process's menu with nothing. "menu" therefore loads
 * menuspy.dll (from probe.exe's folder) into the owner of the window with a
 * remote thread calling LoadLibraryA, runs its DumpOpenMenu in a second
 * remote thread, and prints what it wrote. */
#include <windows.h>

#include <ctype.h>
#include <dbt.h>
#include <mmsystem.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <tlhelp32.h>

#include "res/resource.h"
#include "tests/e2e/programs/wine_mountmgr.h"

#define MCI_LOG "C:\\discora-test\\mci\\log.txt"
#define STEP_TIMEOUT_MS 30000
/* A timer restart, the message, the poll it asks for and the count must
 * fit inside the agent's 3-second poll interval: a timer poll logs its status
 * query no earlier than one interval after the restart. */
#define QUIET_WINDOW_MS 2800

typedef struct {
  const char* cls;
  const char* title;
  DWORD pid;
  DWORD timeout;
  BOOL gone;
  int argc; /* remaining positional arguments */
  char** argv;
} Options;

static void usage(void) {
  fputs(
      "usage: probe find|windows|state|hittest|caption|post|send|post-thread|wait|mci|drives|\n"
      "             plug|unplug|menu|key|keystate|broadcast|processes|forget-icon|arrive|discs\n"
      "             ...\n",
      stderr);
  exit(2);
}

static Options parse(int argc, char** argv) {
  Options o = {0};
  o.timeout = 10000;
  static char* rest[256];
  int n = 0;
  for (int i = 0; i < argc; ++i) {
    if (!strcmp(argv[i], "-c") && i + 1 < argc)
      o.cls = argv[++i];
    else if (!strcmp(argv[i], "-t") && i + 1 < argc)
      o.title = argv[++i];
    else if (!strcmp(argv[i], "--pid") && i + 1 < argc)
      o.pid = strtoul(argv[++i], NULL, 0);
    else if (!strcmp(argv[i], "--timeout") && i + 1 < argc)
      o.timeout = strtoul(argv[++i], NULL, 0);
    else if (!strcmp(argv[i], "--gone"))
      o.gone = TRUE;
    else if (n < 256)
      rest[n++] = argv[i];
  }
  o.argc = n;
  o.argv = rest;
  return o;
}

static void clean(char* text) {
  for (; *text; ++text)
    if (*text == '\t' || *text == '\r' || *text == '\n') *text = ' ';
}

/* One window record. `top` is NULL for a top-level window, else the
 * top-level window whose client area a control's box is measured in. */
static void print_window(HWND hwnd, HWND top) {
  char cls[256] = {0}, text[1024] = {0};
  GetClassNameA(hwnd, cls, sizeof cls);
  /* WM_GETTEXT gives an edit control's contents, which GetWindowText does
   * not for another process; the timeout keeps a hung window from hanging
   * the probe, and the stored caption is the fallback. */
  if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, sizeof text, (LPARAM)text, SMTO_ABORTIFHUNG, 2000,
                           NULL))
    GetWindowTextA(hwnd, text, sizeof text);
  text[sizeof text - 1] = 0;
  clean(cls);
  clean(text);
  RECT r = {0}, c = {0};
  GetWindowRect(hwnd, &r);
  GetClientRect(hwnd, &c);
  POINT origin = {0, 0};
  ClientToScreen(hwnd, &origin);
  DWORD pid = 0;
  DWORD tid = GetWindowThreadProcessId(hwnd, &pid);
  /* Wine's X11 driver keeps the X window of a top-level window in this
   * property. */
  unsigned long xwindow = (unsigned long)(ULONG_PTR)GetPropA(hwnd, "__wine_x11_whole_window");
  printf(
      "kind=%s\thwnd=0x%lx\tclass=%s\ttext=%s\tpid=%lu\ttid=%lu\tid=%ld\tstyle=0x%08lx"
      "\texstyle=0x%08lx\tvisible=%d\tenabled=%d\ticonic=%d\trect=%ld,%ld,%ld,%ld"
      "\tclient=%ld,%ld\torigin=%ld,%ld\txwindow=0x%lx",
      top ? "control" : "window", (unsigned long)(ULONG_PTR)hwnd, cls, text, (unsigned long)pid,
      (unsigned long)tid, (long)GetWindowLongPtrA(hwnd, GWLP_ID),
      (unsigned long)GetWindowLongA(hwnd, GWL_STYLE),
      (unsigned long)GetWindowLongA(hwnd, GWL_EXSTYLE), IsWindowVisible(hwnd) ? 1 : 0,
      IsWindowEnabled(hwnd) ? 1 : 0, IsIconic(hwnd) ? 1 : 0, r.left, r.top, r.right, r.bottom,
      c.right - c.left, c.bottom - c.top, origin.x, origin.y, xwindow);
  if (top) {
    MapWindowPoints(HWND_DESKTOP, top, (POINT*)&r, 2);
    printf("\tparent=0x%lx\tleft=%ld\ttop=%ld\twidth=%ld\theight=%ld",
           (unsigned long)(ULONG_PTR)GetParent(hwnd), r.left, r.top, r.right - r.left,
           r.bottom - r.top);
  }
  putchar('\n');
}

static HWND find(const Options* o) { return FindWindowA(o->cls, o->title); }

static BOOL CALLBACK print_top(HWND hwnd, LPARAM lp) {
  (void)lp;
  print_window(hwnd, NULL);
  return TRUE;
}

static BOOL CALLBACK print_control(HWND hwnd, LPARAM top) {
  print_window(hwnd, (HWND)top);
  return TRUE;
}

static int cmd_find(const Options* o) {
  HWND hwnd = find(o);
  if (!hwnd) return 1;
  print_window(hwnd, NULL);
  return 0;
}

/* The focused window of the window's thread (and its selection, when it is
 * an edit control), the thread's active window and the foreground window;
 * then the desktop's work area and button-face colour. */
static int cmd_state(const Options* o) {
  HWND top = find(o);
  if (!top) return 1;
  print_window(top, NULL);
  EnumChildWindows(top, print_control, (LPARAM)top);

  GUITHREADINFO info;
  ZeroMemory(&info, sizeof info);
  info.cbSize = sizeof info;
  BOOL ok = GetGUIThreadInfo(GetWindowThreadProcessId(top, NULL), &info);
  HWND focus = ok ? info.hwndFocus : NULL;
  char cls[64] = {0};
  if (focus) GetClassNameA(focus, cls, sizeof cls);
  DWORD start = (DWORD)-1, end = (DWORD)-1;
  BOOL edit = focus && lstrcmpiA(cls, "Edit") == 0;
  if (edit && !SendMessageTimeoutA(focus, EM_GETSEL, (WPARAM)&start, (LPARAM)&end, SMTO_ABORTIFHUNG,
                                   2000, NULL))
    start = end = (DWORD)-1;
  printf(
      "kind=focus\tfocus=0x%lx\tfocus_id=%ld\tfocus_class=%s\tactive=0x%lx"
      "\tforeground=0x%lx\tsel_start=%ld\tsel_end=%ld\n",
      (unsigned long)(ULONG_PTR)focus, focus ? (long)GetWindowLongPtrA(focus, GWLP_ID) : 0L, cls,
      (unsigned long)(ULONG_PTR)(ok ? info.hwndActive : NULL),
      (unsigned long)(ULONG_PTR)GetForegroundWindow(), (long)start, (long)end);

  RECT work = {0};
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  printf("kind=desktop\twork=%ld,%ld,%ld,%ld\tbtnface=%d,%d,%d\n", work.left, work.top, work.right,
         work.bottom, GetRValue(face), GetGValue(face), GetBValue(face));
  return 0;
}

static LRESULT hit(HWND hwnd, LONG x, LONG y) {
  DWORD_PTR code = (DWORD_PTR)-1;
  if (!SendMessageTimeoutA(hwnd, WM_NCHITTEST, 0, MAKELPARAM((SHORT)x, (SHORT)y), SMTO_ABORTIFHUNG,
                           2000, &code))
    return -1;
  return (LRESULT)code;
}

static int cmd_hittest(const Options* o) {
  HWND hwnd = find(o);
  if (!hwnd) return 1;
  for (int i = 0; i < o->argc; ++i) {
    long x = 0, y = 0;
    if (sscanf(o->argv[i], "%ld,%ld", &x, &y) != 2) usage();
    printf("kind=hit\tx=%ld\ty=%ld\tcode=%ld\n", x, y, (long)hit(hwnd, x, y));
  }
  return 0;
}

/* Every second pixel of the strip above the client area: enough to find
 * each button of the caption, and quick. */
static int cmd_caption(const Options* o) {
  HWND hwnd = find(o);
  RECT r;
  if (!hwnd || !GetWindowRect(hwnd, &r)) return 1;
  POINT origin = {0, 0};
  ClientToScreen(hwnd, &origin);
  BOOL seen[64] = {FALSE};
  LONG left = r.right, top = r.bottom, right = r.left - 1, bottom = r.top - 1;
  for (LONG y = r.top; y < origin.y; y += 2) {
    for (LONG x = r.left; x < r.right; x += 2) {
      LRESULT code = hit(hwnd, x, y);
      if (code >= 0 && code < 64) seen[code] = TRUE;
      if (code != HTCLOSE) continue;
      if (x < left) left = x;
      if (x > right) right = x;
      if (y < top) top = y;
      if (y > bottom) bottom = y;
    }
  }
  printf("kind=caption\tcodes=");
  const char* sep = "";
  for (int code = 0; code < 64; ++code) {
    if (!seen[code]) continue;
    printf("%s%d", sep, code);
    sep = ",";
  }
  if (right >= left) printf("\tclose=%ld,%ld,%ld,%ld", left, top, right, bottom);
  printf("\n");
  return 0;
}

static UINT message_number(const char* text) {
  if (text[0] == '@') return RegisterWindowMessageA(text + 1);
  return strtoul(text, NULL, 0);
}

typedef enum { POST, SEND, POST_THREAD } Delivery;

static int cmd_message(const Options* o, Delivery how) {
  if (o->argc < 3) usage();
  HWND hwnd = find(o);
  if (!hwnd) return 1;
  UINT msg = message_number(o->argv[0]);
  WPARAM wp = strtoul(o->argv[1], NULL, 0);
  LPARAM lp = (LPARAM)strtoul(o->argv[2], NULL, 0);
  if (how == POST_THREAD) {
    DWORD tid = GetWindowThreadProcessId(hwnd, NULL);
    if (!PostThreadMessageA(tid, msg, wp, lp)) return 2;
    printf("posted=1\ttid=%lu\n", (unsigned long)tid);
  } else if (how == POST) {
    if (!PostMessageA(hwnd, msg, wp, lp)) return 2;
    printf("posted=1\n");
  } else {
    DWORD_PTR result = 0;
    if (!SendMessageTimeoutA(hwnd, msg, wp, lp, SMTO_NORMAL, o->timeout, &result)) return 2;
    printf("result=%lu\n", (unsigned long)result);
  }
  return 0;
}

static int cmd_wait(const Options* o) {
  DWORD start = GetTickCount();
  for (;;) {
    HWND hwnd = find(o);
    if (o->gone ? hwnd == NULL : hwnd != NULL) {
      if (hwnd) print_window(hwnd, NULL);
      return 0;
    }
    if (GetTickCount() - start >= o->timeout) return 1;
    Sleep(50);
  }
}

/* Each argument is one whole command string, sent in order in this one
 * process, so an alias opened by the first is known to the next. */
static int cmd_mci(const Options* o) {
  for (int i = 0; i < o->argc; ++i) {
    char reply[256] = {0};
    MCIERROR rc = mciSendStringA(o->argv[i], reply, sizeof reply, NULL);
    clean(reply);
    printf("command=%s\trc=%lu\treply=%s\n", o->argv[i], (unsigned long)rc, reply);
  }
  return 0;
}

static int cmd_drives(const Options* o) {
  (void)o;
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    char root[4] = {letter, ':', '\\', 0};
    UINT type = GetDriveTypeA(root);
    if (type != DRIVE_NO_ROOT_DIR) printf("drive=%c:\ttype=%u\n", letter, type);
  }
  return 0;
}

static int define_drive(char letter, UINT type, const char* mount_point) {
  DWORD error = define_unix_drive(letter, type, mount_point);
  if (error) {
    printf("error=the mount manager refused (%lu)\n", error);
    return 2;
  }
  char root[4] = {letter, ':', '\\', 0};
  printf("drive=%c:\ttype=%u\n", letter & ~0x20, GetDriveTypeA(root));
  return 0;
}

static int cmd_plug(const Options* o) {
  if (o->argc != 2 || !isalpha((unsigned char)o->argv[0][0])) usage();
  return define_drive(o->argv[0][0], DRIVE_CDROM, o->argv[1]);
}

static int cmd_unplug(const Options* o) {
  if (o->argc != 1 || !isalpha((unsigned char)o->argv[0][0])) usage();
  return define_drive(o->argv[0][0], DRIVE_NO_ROOT_DIR, NULL);
}

/* Address of `name` in the module `module` as loaded in process `pid`,
 * assuming the same file is mapped there (same offset from its base). */
static BYTE* remote_module(DWORD pid, const char* module) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
  if (snap == INVALID_HANDLE_VALUE) return NULL;
  MODULEENTRY32 me;
  me.dwSize = sizeof me;
  BYTE* base = NULL;
  for (BOOL ok = Module32First(snap, &me); ok; ok = Module32Next(snap, &me)) {
    if (lstrcmpiA(me.szModule, module) == 0) {
      base = me.modBaseAddr;
      break;
    }
  }
  CloseHandle(snap);
  return base;
}

static FARPROC remote_proc(DWORD pid, HMODULE local, const char* module, FARPROC local_proc) {
  BYTE* base = remote_module(pid, module);
  return base ? (FARPROC)(void*)(base + ((BYTE*)(void*)local_proc - (BYTE*)local)) : NULL;
}

static BOOL run_remote(HANDLE process, FARPROC fn, LPVOID arg, DWORD timeout, DWORD* code) {
  HANDLE thread =
      CreateRemoteThread(process, NULL, 0, (LPTHREAD_START_ROUTINE)(void*)fn, arg, 0, NULL);
  if (!thread) return FALSE;
  BOOL done = WaitForSingleObject(thread, timeout) == WAIT_OBJECT_0;
  if (done) GetExitCodeThread(thread, code);
  CloseHandle(thread);
  return done;
}

static int cmd_menu(const Options* o) {
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
  char* slash = strrchr(dll, '\\');
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
  char* mem = VirtualAllocEx(process, NULL, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!mem || !WriteProcessMemory(process, mem, dll, sizeof dll, NULL) ||
      !WriteProcessMemory(process, mem + sizeof dll, out, sizeof out, NULL)) {
    fprintf(stderr, "probe: cannot write into process %lu\n", (unsigned long)pid);
    return 2;
  }
  /* The thread's exit code holds only the low half of a 64-bit module
   * handle: the module's base is taken from the process's module list. */
  DWORD loaded = 0;
  BYTE* remote_base = NULL;
  if (!run_remote(process, remote_load, mem, 10000, &loaded) || !loaded ||
      !(remote_base = remote_module(pid, "menuspy.dll"))) {
    fprintf(stderr, "probe: LoadLibraryA failed in process %lu\n", (unsigned long)pid);
    return 2;
  }
  FARPROC remote_dump = (FARPROC)(void*)(remote_base + ((BYTE*)(void*)dump - (BYTE*)spy));
  DWORD found = 0;
  BOOL ran = run_remote(process, remote_dump, mem + sizeof dll, o->timeout + 5000, &found);
  DWORD ignored;
  run_remote(process, remote_unload, remote_base, 5000, &ignored);
  VirtualFreeEx(process, mem, 0, MEM_RELEASE);
  CloseHandle(process);

  FILE* f = fopen(out, "rb");
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
static int cmd_key(const Options* o) {
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

static int cmd_keystate(const Options* o) {
  if (o->argc < 1) usage();
  printf("state=%d\n", (int)(SHORT)GetAsyncKeyState((int)strtoul(o->argv[0], NULL, 0)));
  return 0;
}

/* As a new shell does for "TaskbarCreated": every top-level window gets the
 * message. Sent rather than posted, so that when this returns every window
 * that answers has handled it. */
static int cmd_broadcast(const Options* o) {
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
 * CreateProcess returns until it ends. `exe` NULL prints every process;
 * otherwise nothing is printed and the answer is whether one of that file
 * name is alive. */
static BOOL processes(const char* exe) {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snap == INVALID_HANDLE_VALUE) return TRUE;
  PROCESSENTRY32 pe;
  pe.dwSize = sizeof pe;
  BOOL found = FALSE;
  for (BOOL ok = Process32First(snap, &pe); ok && !found; ok = Process32Next(snap, &pe)) {
    if (exe)
      found = lstrcmpiA(pe.szExeFile, exe) == 0;
    else
      printf("pid=%lu\texe=%s\n", (unsigned long)pe.th32ProcessID, pe.szExeFile);
  }
  CloseHandle(snap);
  return found;
}

static int cmd_forget_icon(const Options* o) {
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

/* ---------------------------------------------------------------------------
 * Discs and the device-arrival message */

/* The whole file as a NUL-terminated text (NULL when absent). The writers
 * append whole lines under a mutex; a reader counts complete lines only. */
static char* read_all(const char* path) {
  HANDLE file =
      CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, NULL,
                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return NULL;
  DWORD size = GetFileSize(file, NULL);
  char* text = (char*)malloc(size + 1);
  DWORD got = 0;
  if (!text || !ReadFile(file, text, size, &got, NULL)) got = 0;
  CloseHandle(file);
  if (!text) return NULL;
  text[got] = '\0';
  return text;
}

/* The agent's polls so far: status queries in the MCI driver's log
 * ("tick\tpid\tstatus\treading"); `last` gets the reading of the last one. */
static int count_polls(char* last, size_t last_size) {
  char* text = read_all(MCI_LOG);
  int count = 0;
  if (last_size) last[0] = '\0';
  if (!text) return 0;
  char* line = text;
  for (char* end; (end = strchr(line, '\n')) != NULL; line = end + 1) {
    *end = '\0';
    char* cmd = strchr(line, '\t');
    cmd = cmd ? strchr(cmd + 1, '\t') : NULL;
    if (cmd && strncmp(cmd + 1, "status\t", 7) == 0) {
      ++count;
      if (last_size) {
        lstrcpynA(last, cmd + 8, (int)last_size);
        char* cr = strchr(last, '\r');
        if (cr) *cr = '\0';
      }
    }
  }
  free(text);
  return count;
}

/* Programs the stand-ins recorded as started. */
static int count_starts(void) {
  char path[MAX_PATH];
  DWORD n = GetEnvironmentVariableA("DISCORA_TEST_LOG", path, sizeof path);
  if (n == 0 || n >= sizeof path) lstrcpyA(path, "C:\\discora-test\\standin.log");
  char* text = read_all(path);
  int count = 0;
  if (!text) return 0;
  char* line = text;
  for (char* end; (end = strchr(line, '\n')) != NULL; line = end + 1)
    if (strncmp(line, "event=start\t", 12) == 0) ++count;
  free(text);
  return count;
}

static HWND g_agent;

static BOOL find_agent(void) {
  g_agent = FindWindowA(DISCORA_WINDOW_CLASS, NULL);
  if (!g_agent) printf("error=no agent window\n");
  return g_agent != NULL;
}

static BOOL send_to_agent(UINT msg, WPARAM wp, LPARAM lp) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(g_agent, msg, wp, lp, SMTO_NORMAL, STEP_TIMEOUT_MS, &result) != 0;
}

/* What the system sends a window when media arrives in a drive: a
 * WM_DEVICECHANGE sent (not posted) with a DEV_BROADCAST_VOLUME record,
 * which the window manager copies into the receiving process. A record of
 * `size` < 0 has its true size; `record` FALSE sends no record at all. */
static BOOL send_volume(WPARAM event, DWORD type, long size, BOOL record, DWORD unitmask,
                        WORD flags, BOOL broadcast) {
  DEV_BROADCAST_VOLUME volume;
  ZeroMemory(&volume, sizeof volume);
  volume.dbcv_size = size >= 0 ? (DWORD)size : sizeof volume;
  volume.dbcv_devicetype = type;
  volume.dbcv_unitmask = unitmask;
  volume.dbcv_flags = flags;
  LPARAM data = record ? (LPARAM)&volume : 0;
  if (!broadcast) return send_to_agent(WM_DEVICECHANGE, event, data);
  /* As the system sends it: to every top-level window, returning once all
   * of them have answered. */
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(HWND_BROADCAST, WM_DEVICECHANGE, event, data, SMTO_ABORTIFHUNG,
                             STEP_TIMEOUT_MS, &result) != 0;
}

/* The "Enable Autorun" option as the agent stored it last ("" when absent). */
static void read_enabled(char* text, DWORD size) {
  HKEY key;
  text[0] = '\0';
  if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Discora\\Settings", 0, KEY_QUERY_VALUE, &key))
    return;
  DWORD type = 0, length = size - 1;
  if (RegQueryValueExA(key, "Enabled", NULL, &type, (BYTE*)text, &length) || type != REG_SZ)
    length = 0;
  text[length] = '\0';
  RegCloseKey(key);
}

/* Waits until the agent has handled every message posted to its window
 * before this call, such as the poll a volume arrival asks for: posted
 * messages are taken in order, so a marker posted now is handled after
 * them. The marker is the menu command "Enable Autorun", which stores the
 * option at once; the same command, sent, switches it back (and, like
 * --restart-timer, leaves the poll timer at the start of an interval). */
static BOOL settle_agent(void) {
  char was[64], now[64];
  read_enabled(was, sizeof was);
  if (!PostMessageA(g_agent, WM_COMMAND, MAKEWPARAM(IDM_AUTORUN, 0), 0)) return FALSE;
  DWORD start = GetTickCount();
  for (;;) {
    read_enabled(now, sizeof now);
    if (strcmp(now, was) != 0) break;
    if (GetTickCount() - start > STEP_TIMEOUT_MS) return FALSE;
    Sleep(1);
  }
  return send_to_agent(WM_COMMAND, MAKEWPARAM(IDM_AUTORUN, 0), 0);
}

static BOOL put_boot_file(const char* path) {
  HANDLE file =
      CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  static const char boot[] = "BOOT = cdrom:\\SLUS_000.01;1\r\n";
  DWORD written;
  WriteFile(file, boot, sizeof boot - 1, &written, NULL);
  CloseHandle(file);
  return TRUE;
}

static ULONGLONG now_100ns(void) {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return ((ULONGLONG)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}

/* Sends the agent one volume-arrival message: UNITMASK (drive bits, bit 0
 * = A:) and FLAGS (dbcv_flags, 1 = DBTF_MEDIA). Options:
 *   --touch PATH      creates PATH right before the send, so a disc
 *                     "arrives" at the moment the message announces it;
 *   --plug L PATH     makes L a CD-ROM drive behind the Unix folder PATH
 *                     right before the send, as a drive plugged in or an
 *                     image mounted (tried once: a slow step fails);
 *   --broadcast       sends the message to every top-level window, as the
 *                     system does, rather than to the agent alone;
 *   --event N         wParam instead of DBT_DEVICEARRIVAL;
 *   --type N          dbch_devicetype instead of DBT_DEVTYP_VOLUME;
 *   --size N          dbch_size instead of the record's true size;
 *   --no-record       lParam 0;
 *   --restart-timer   first switches "Enable Autorun" off and on (as the
 *                     menu does), which restarts the poll timer's interval,
 *                     and counts only when the whole step took well under
 *                     it, so no timer poll can be among those counted.
 * First the window gets WM_NULL and answers it, so its thread is idle in its
 * message loop. After the send returned, waits until the agent has also
 * handled what it posted itself meanwhile (the poll the message asks for).
 * Prints the tick count and system time (100 ns units) just before the
 * touch and the send, just after the send returned and once the agent
 * settled, and the polls the agent made from the first to the last. */
static int cmd_arrive(const Options* o) {
  int argc = o->argc;
  char** argv = o->argv;
  const char* touch = NULL;
  const char* plug = NULL;
  const char* plug_path = NULL;
  BOOL broadcast = FALSE;
  WPARAM event = DBT_DEVICEARRIVAL;
  long size = -1;
  DWORD type = DBT_DEVTYP_VOLUME;
  BOOL record = TRUE, restart = FALSE;
  int i = 0;
  for (; i < argc && !strncmp(argv[i], "--", 2); ++i) {
    if (!strcmp(argv[i], "--touch") && i + 1 < argc)
      touch = argv[++i];
    else if (!strcmp(argv[i], "--plug") && i + 2 < argc && isalpha((unsigned char)argv[i + 1][0]))
      plug = argv[++i], plug_path = argv[++i];
    else if (!strcmp(argv[i], "--broadcast"))
      broadcast = TRUE;
    else if (!strcmp(argv[i], "--event") && i + 1 < argc)
      event = strtoul(argv[++i], NULL, 0);
    else if (!strcmp(argv[i], "--type") && i + 1 < argc)
      type = strtoul(argv[++i], NULL, 0);
    else if (!strcmp(argv[i], "--size") && i + 1 < argc)
      size = strtol(argv[++i], NULL, 0);
    else if (!strcmp(argv[i], "--no-record"))
      record = FALSE;
    else if (!strcmp(argv[i], "--restart-timer"))
      restart = TRUE;
    else
      usage();
  }
  if (argc - i != 2) usage();
  DWORD unitmask = strtoul(argv[i], NULL, 0);
  WORD flags = (WORD)strtoul(argv[i + 1], NULL, 0);
  if (!find_agent()) return 1;

  for (int attempt = 1; attempt <= 10; ++attempt) {
    if (!send_to_agent(WM_NULL, 0, 0)) return 2;
    DWORD before = GetTickCount();
    ULONGLONG before_time = now_100ns();
    if (restart && (!send_to_agent(WM_COMMAND, MAKEWPARAM(IDM_AUTORUN, 0), 0) ||
                    !send_to_agent(WM_COMMAND, MAKEWPARAM(IDM_AUTORUN, 0), 0))) {
      printf("error=menu command not handled\n");
      return 1;
    }
    int polls = count_polls(NULL, 0);
    if (touch && !put_boot_file(touch)) return 2;
    if (plug && define_drive(plug[0], DRIVE_CDROM, plug_path) != 0) return 2;
    BOOL sent = send_volume(event, type, size, record, unitmask, flags, broadcast);
    DWORD after = GetTickCount();
    ULONGLONG after_time = now_100ns();
    if (sent && !settle_agent()) {
      printf("error=the agent did not handle its posted messages\n");
      return 1;
    }
    DWORD settled = GetTickCount();
    ULONGLONG settled_time = now_100ns();
    polls = count_polls(NULL, 0) - polls;
    /* Too slow to rule out a timer poll: the machine was busy; again. */
    if (restart && sent && settled - before >= QUIET_WINDOW_MS) {
      if (plug) break; /* the drive is there now: no second first time */
      continue;
    }
    printf(
        "before=%lu\tafter=%lu\tsettled=%lu\tbefore_time=%llu\tafter_time=%llu"
        "\tsettled_time=%llu\tsent=%d\tpolls=%d\tattempts=%d\n",
        (unsigned long)before, (unsigned long)after, (unsigned long)settled, before_time,
        after_time, settled_time, sent ? 1 : 0, polls, attempt);
    return sent ? 0 : 2;
  }
  printf("error=never fast enough to count without the timer\n");
  return 1;
}

static int fail(int round, const char* disc, const char* what, int expected, int found) {
  printf("error=%s\tround=%d\tdisc=%s\texpected=%d\tfound=%d\n", what, round, disc, expected,
         found);
  return 1;
}

/* Tells the agent of a disc change on drive `mask` and checks that it polled
 * for the message (right after answering it) and read `want`. */
static int arrival_polled(int round, const char* disc, DWORD mask, const char* want) {
  char reading[16];
  int before = count_polls(NULL, 0);
  if (!send_volume(DBT_DEVICEARRIVAL, DBT_DEVTYP_VOLUME, -1, TRUE, mask, DBTF_MEDIA, FALSE))
    return fail(round, disc, "arrival message not handled", 1, 0);
  if (!settle_agent()) return fail(round, disc, "the poll it asked for not handled", 1, 0);
  int after = count_polls(reading, sizeof reading);
  if (after <= before) return fail(round, disc, "no poll for the message", before + 1, after);
  if (strcmp(reading, want) != 0) return fail(round, disc, "the poll read otherwise", 0, 0);
  return 0;
}

/* One disc in and out. `launches` is the number of program starts so far,
 * raised by one for a PlayStation disc. A disc goes in when a file appears
 * at the root of the drive's folder (the test MCI driver reports a disc
 * while the root holds an entry) and comes out when it is deleted. */
static int one_cycle(int round, char drive, BOOL psx, const char* utility, int* launches,
                     int* messages) {
  const char* disc = psx ? "psx" : "data";
  char path[MAX_PATH];
  snprintf(path, sizeof path, "%c:\\%s", drive, psx ? "SYSTEM.CNF" : "README.TXT");
  DWORD mask = 1u << (drive - 'A');

  if (!put_boot_file(path)) return fail(round, disc, "cannot create the disc's file", 0, 0);
  /* The same news twice (the system may tell more than once): the second
   * poll sees a disc already seen and must not launch again. */
  int rc = arrival_polled(round, disc, mask, "true");
  if (!rc) rc = arrival_polled(round, disc, mask, "true");
  if (rc) return rc;
  *messages += 2;

  if (psx) ++*launches;
  DWORD start = GetTickCount();
  while (count_starts() < *launches || processes(utility)) {
    if (GetTickCount() - start > STEP_TIMEOUT_MS)
      return fail(round, disc, "launch not finished in time", *launches, count_starts());
    Sleep(5);
  }
  int starts = count_starts();
  if (starts != *launches) return fail(round, disc, "wrong number of launches", *launches, starts);

  if (!DeleteFileA(path)) return fail(round, disc, "cannot remove the disc's file", 0, 0);
  ++*messages;
  return arrival_polled(round, disc, mask, "false");
}

/* ROUNDS times: a data disc (README.TXT) in and out, then a PlayStation disc
 * (SYSTEM.CNF) in and out, each change told by arrival messages, every step
 * waiting for its effect, with a bound. Each PlayStation disc must start the
 * utility UTILITY (a file name, such as DX7VGSJoy.exe) exactly once, each
 * data disc never. Prints one summary record. */
static int cmd_discs(const Options* o) {
  if (o->argc < 3) usage();
  char drive = o->argv[0][0] & ~0x20; /* upper case */
  int rounds = atoi(o->argv[1]);
  const char* utility = o->argv[2];
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

static int cmd_windows(const Options* o) {
  (void)o;
  EnumWindows(print_top, 0);
  return 0;
}
static int cmd_post(const Options* o) { return cmd_message(o, POST); }
static int cmd_send(const Options* o) { return cmd_message(o, SEND); }
static int cmd_post_thread(const Options* o) { return cmd_message(o, POST_THREAD); }
static int cmd_processes(const Options* o) {
  (void)o;
  processes(NULL);
  return 0;
}

static const struct {
  const char* name;
  int (*run)(const Options*);
} kCommands[] = {
    {"find", cmd_find},
    {"windows", cmd_windows},
    {"state", cmd_state},
    {"hittest", cmd_hittest},
    {"caption", cmd_caption},
    {"post", cmd_post},
    {"send", cmd_send},
    {"post-thread", cmd_post_thread},
    {"wait", cmd_wait},
    {"mci", cmd_mci},
    {"drives", cmd_drives},
    {"plug", cmd_plug},
    {"unplug", cmd_unplug},
    {"menu", cmd_menu},
    {"key", cmd_key},
    {"keystate", cmd_keystate},
    {"broadcast", cmd_broadcast},
    {"processes", cmd_processes},
    {"forget-icon", cmd_forget_icon},
    {"arrive", cmd_arrive},
    {"discs", cmd_discs},
};

int main(int argc, char** argv) {
  if (argc < 2) usage();
  setvbuf(stdout, NULL, _IOFBF, 1 << 16);
  Options o = parse(argc - 2, argv + 2);
  for (size_t i = 0; i < sizeof kCommands / sizeof kCommands[0]; ++i) {
    if (strcmp(argv[1], kCommands[i].name)) continue;
    int rc = kCommands[i].run(&o);
    fflush(stdout);
    return rc;
  }
  usage();
  return 2;
}
