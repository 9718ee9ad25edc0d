/* benchprobe.exe: the benchmark's clock and hands inside the Wine prefix.
 *
 *   benchprobe startup [--runs N] [--timeout MS] EXE...
 *       Starts each EXE in turn (N rounds, alternating the programs, after
 *       one untimed warm-up round) and measures with QueryPerformanceCounter
 *       the time from CreateProcess until the program's icon is in the
 *       notification area; then closes the program and waits until it has
 *       exited and its icon is gone. One line per start:
 *         exe=NAME  round=R  warmup=0|1  ms=12.345  exit=closed|killed  close_ms=N
 *       benchprobe keeps an icon of its own in the tray meanwhile (see
 *       add_keeper_icon).
 *
 *   benchprobe serve
 *       Reads commands from standard input, one a line, and answers each
 *       with one line on standard output, so a script on the Linux side can
 *       act inside the prefix without starting a Windows process each time:
 *         arrive CLASS LETTER [FLAGS]
 *                               SendMessage WM_DEVICECHANGE/DBT_DEVICEARRIVAL
 *                               for a DEV_BROADCAST_VOLUME on drive LETTER
 *                               to the top-level window of class CLASS;
 *                               dbcv_flags FLAGS, DBTF_MEDIA (a new disc)
 *                               unless given
 *         plug LETTER CLASS UNIXPATH
 *                               makes LETTER a CD-ROM drive showing the
 *                               Unix folder UNIXPATH, through Wine's mount
 *                               manager (as a mounted image appears), then,
 *                               unless CLASS is "-", announces it to the
 *                               window of class CLASS as Windows announces a
 *                               new device: the arrival with dbcv_flags 0
 *         unplug LETTER         takes the drive away again
 *         close TITLE...        WM_CLOSE to the top-level window titled
 *                               TITLE, then wait until it is gone
 *         closeclass CLASS      the same for the window of class CLASS
 *         find CLASS            "ok" once a top-level window of class CLASS
 *                               is there (waits up to 10 s), else "none"
 *         icons                 how many icons the notification area shows
 *         quit
 *
 * Where the icons are: with no X11 notification area to dock into, Wine's
 * X11 driver shows them in its own top-level window "Wine System Tray"
 * (class __winex11_standalone_tray, owned by explorer.exe), one child
 * window of class __winex11_tray_icon per shown icon. Explorer creates that
 * child while it handles the program's Shell_NotifyIcon(NIM_ADD) call, which
 * is synchronous, so the child's appearance is the moment the icon is in
 * the tray. If a real notification area were present instead, Wine would
 * dock the icons there and this program would count none: the benchmark runs
 * under a bare Xvfb, where there is none.
 *
 * The drive-arrival notice across processes, as Wine 8 delivers it: a sent
 * WM_DEVICECHANGE with DBT_DEVICEARRIVAL (wParam 0x8000) has its
 * DEV_BROADCAST_VOLUME copied into the receiving process (Wine packs the
 * structure by its dbch_size for event codes with bit 0x8000), so
 * SendMessage from here reaches the agent intact. PostMessage cannot carry
 * it.
 *
 * Drives plugged through the mount manager: Wine sends no notice for them
 * (it announces only the devices that come from udisks), so "plug" sends the
 * one Windows sends itself. */
#include <windows.h>

#include <dbt.h>
#include <shellapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tests/e2e/programs/wine_mountmgr.h"

#define TRAY_CLASS "__winex11_standalone_tray"
#define ICON_CLASS "__winex11_tray_icon"

static LARGE_INTEGER g_freq;

static double now_ms(void) {
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return (double)t.QuadPart * 1000.0 / (double)g_freq.QuadPart;
}

/* Icons shown in Wine's stand-alone notification area. */
static int tray_icons(void) {
  HWND tray = FindWindowA(TRAY_CLASS, NULL);
  if (!tray || !IsWindowVisible(tray)) return 0;
  int n = 0;
  HWND icon = NULL;
  while ((icon = FindWindowExA(tray, icon, ICON_CLASS, NULL)) != NULL) {
    if (IsWindowVisible(icon)) ++n;
  }
  return n;
}

/* Waits until the tray shows `want` icons; FALSE on time-out. */
static BOOL wait_icons(int want, DWORD timeout) {
  DWORD start = GetTickCount();
  while (tray_icons() != want) {
    if (GetTickCount() - start > timeout) return FALSE;
    Sleep(5);
  }
  return TRUE;
}

typedef struct {
  DWORD pid;
  int posted;
} CloseJob;

static BOOL CALLBACK close_each(HWND hwnd, LPARAM lp) {
  CloseJob* job = (CloseJob*)lp;
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid != job->pid) return TRUE;
  char cls[64] = {0};
  GetClassNameA(hwnd, cls, sizeof cls);
  /* The input method's window belongs to every GUI process; the program's
   * own windows are the ones to close. */
  if (lstrcmpA(cls, "IME") == 0) return TRUE;
  PostMessageA(hwnd, WM_CLOSE, 0, 0);
  ++job->posted;
  return TRUE;
}

/* Asks the program to close the way a user's session would, then waits for
 * it to end. Returns "closed", or "killed" when it had to be terminated. */
static const char* close_program(PROCESS_INFORMATION* pi, DWORD timeout) {
  CloseJob job = {pi->dwProcessId, 0};
  EnumWindows(close_each, (LPARAM)&job);
  const char* how = "closed";
  if (WaitForSingleObject(pi->hProcess, timeout) != WAIT_OBJECT_0) {
    TerminateProcess(pi->hProcess, 1);
    WaitForSingleObject(pi->hProcess, timeout);
    how = "killed";
  }
  CloseHandle(pi->hThread);
  CloseHandle(pi->hProcess);
  return how;
}

static const char* base_name(const char* path) {
  const char* slash = strrchr(path, '\\');
  const char* fwd = strrchr(path, '/');
  if (fwd && (!slash || fwd > slash)) slash = fwd;
  return slash ? slash + 1 : path;
}

/* benchprobe's own icon, shown for the whole of the start-up runs. Wine
 * hides its tray window when the last icon goes and shows it again for the
 * next one; without a window manager, hiding waits about a second for the X
 * server in vain, and the program removing its icon waits with it. With one
 * icon always there, the tray window stays up and each start is timed from
 * CreateProcess to the program's own icon alone. */
static NOTIFYICONDATAA g_keeper;

static BOOL add_keeper_icon(void) {
  WNDCLASSA wc = {0};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.lpszClassName = "BenchProbeKeeper";
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowA(wc.lpszClassName, "benchprobe", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                            NULL, NULL, wc.hInstance, NULL);
  if (!hwnd) return FALSE;
  g_keeper.cbSize = NOTIFYICONDATAA_V1_SIZE;
  g_keeper.hWnd = hwnd;
  g_keeper.uID = 1;
  g_keeper.uFlags = NIF_ICON | NIF_TIP;
  g_keeper.hIcon = LoadIconA(NULL, (LPCSTR)IDI_INFORMATION);
  lstrcpyA(g_keeper.szTip, "benchprobe");
  return Shell_NotifyIconA(NIM_ADD, &g_keeper);
}

/* One timed start: 0 on success. `base` icons are in the tray before it. */
static int time_start(const char* exe, int round, BOOL warmup, DWORD timeout, int base) {
  char folder[MAX_PATH];
  lstrcpynA(folder, exe, sizeof folder);
  char* cut = (char*)base_name(folder);
  if (cut > folder)
    cut[-1] = '\0';
  else
    lstrcpyA(folder, ".");

  int before = tray_icons();
  if (before != base) {
    fprintf(stderr, "benchprobe: the tray shows %d icon(s), not %d\n", before, base);
    return 1;
  }
  char cmdline[MAX_PATH + 2];
  snprintf(cmdline, sizeof cmdline, "\"%s\"", exe);
  STARTUPINFOA si = {0};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi;
  double t0 = now_ms();
  if (!CreateProcessA(exe, cmdline, NULL, NULL, FALSE, 0, NULL, folder, &si, &pi)) {
    fprintf(stderr, "benchprobe: cannot start %s (error %lu)\n", exe, GetLastError());
    return 1;
  }
  double shown = -1;
  while (now_ms() - t0 < timeout) {
    if (tray_icons() > before) {
      shown = now_ms() - t0;
      break;
    }
    if (WaitForSingleObject(pi.hProcess, 1) == WAIT_OBJECT_0) break;
  }
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(pi.hProcess, &code);
  double t_close = now_ms();
  const char* how = close_program(&pi, 10000);
  BOOL gone = wait_icons(base, 10000);
  double closing = now_ms() - t_close;

  if (shown < 0) {
    if (code != STILL_ACTIVE)
      fprintf(stderr, "benchprobe: %s ended (exit code %lu) before showing an icon\n", exe,
              (unsigned long)code);
    else
      fprintf(stderr, "benchprobe: no icon from %s within %lu ms\n", exe, (unsigned long)timeout);
    return 1;
  }
  printf("exe=%s\tround=%d\twarmup=%d\tms=%.3f\texit=%s\tclose_ms=%.0f\n", base_name(exe), round,
         warmup ? 1 : 0, shown, how, closing);
  fflush(stdout);
  if (!gone) {
    fprintf(stderr, "benchprobe: the icon of %s stayed after it ended\n", exe);
    return 1;
  }
  return 0;
}

static int cmd_startup(int argc, char** argv) {
  int runs = 10;
  DWORD timeout = 20000;
  char* exes[8];
  int n = 0;
  for (int i = 0; i < argc; ++i) {
    if (!strcmp(argv[i], "--runs") && i + 1 < argc)
      runs = atoi(argv[++i]);
    else if (!strcmp(argv[i], "--timeout") && i + 1 < argc)
      timeout = strtoul(argv[++i], NULL, 10);
    else if (n < 8)
      exes[n++] = argv[i];
  }
  if (n == 0) return 2;
  if (!add_keeper_icon() || !wait_icons(1, timeout)) {
    fputs("benchprobe: cannot show an icon in the tray\n", stderr);
    return 1;
  }
  /* Round 0 warms the file cache and Wine's own start-up paths for every
   * program alike; alternating the programs spreads any drift over both. */
  int rc = 0;
  for (int round = 0; round <= runs && rc == 0; ++round) {
    for (int k = 0; k < n && rc == 0; ++k) rc = time_start(exes[k], round, round == 0, timeout, 1);
  }
  Shell_NotifyIconA(NIM_DELETE, &g_keeper);
  DestroyWindow(g_keeper.hWnd);
  return rc;
}

static void fill_volume(DEV_BROADCAST_VOLUME* vol, char letter, WORD flags) {
  memset(vol, 0, sizeof *vol);
  vol->dbcv_size = sizeof *vol;
  vol->dbcv_devicetype = DBT_DEVTYP_VOLUME;
  vol->dbcv_unitmask = 1u << ((letter | 0x20) - 'a');
  vol->dbcv_flags = flags;
}

static void serve_arrive(const char* cls, char letter, WORD flags) {
  HWND hwnd = FindWindowA(cls, NULL);
  if (!hwnd) {
    printf("error no-window\n");
    return;
  }
  DEV_BROADCAST_VOLUME vol;
  fill_volume(&vol, letter, flags);
  double t0 = now_ms();
  DWORD_PTR result = 0;
  /* SendMessage, not PostMessage: the notice points at a structure, which
   * only a sent message carries into another process. */
  LRESULT ok = SendMessageTimeoutA(hwnd, WM_DEVICECHANGE, DBT_DEVICEARRIVAL, (LPARAM)&vol,
                                   SMTO_ABORTIFHUNG, 10000, &result);
  printf("%s ms=%.3f\n", ok ? "ok" : "timeout", now_ms() - t0);
}

/* "LETTER CLASS UNIXPATH": the path is the rest of the line. */
static void serve_plug(char* arg) {
  char* cls = strchr(arg, ' ');
  char* path = cls ? strchr(cls + 1, ' ') : NULL;
  if (!path) {
    printf("error usage\n");
    return;
  }
  *cls++ = '\0';
  *path++ = '\0';
  DWORD error = define_unix_drive(arg[0], DRIVE_CDROM, path);
  if (error) {
    printf("error mountmgr %lu\n", (unsigned long)error);
    return;
  }
  if (strcmp(cls, "-") != 0)
    serve_arrive(cls, arg[0], 0);
  else
    printf("ok\n");
}

static void serve_unplug(const char* letter) {
  DWORD error = define_unix_drive(letter[0], DRIVE_NO_ROOT_DIR, NULL);
  if (error)
    printf("error mountmgr %lu\n", (unsigned long)error);
  else
    printf("ok\n");
}

static void serve_close(const char* cls, const char* title) {
  HWND hwnd = FindWindowA(cls, title);
  if (!hwnd) {
    printf("error no-window\n");
    return;
  }
  PostMessageA(hwnd, WM_CLOSE, 0, 0);
  DWORD start = GetTickCount();
  while (IsWindow(hwnd)) {
    if (GetTickCount() - start > 10000) {
      printf("timeout\n");
      return;
    }
    Sleep(5);
  }
  printf("ok\n");
}

static int cmd_serve(void) {
  char line[512];
  printf("ready\n");
  fflush(stdout);
  while (fgets(line, sizeof line, stdin)) {
    line[strcspn(line, "\r\n")] = '\0';
    char* arg = strchr(line, ' ');
    if (arg) *arg++ = '\0';
    if (!strcmp(line, "quit")) break;
    if (!strcmp(line, "arrive") && arg && strchr(arg, ' ')) {
      char* letter = strchr(arg, ' ');
      *letter++ = '\0';
      char* flags = strchr(letter, ' ');
      serve_arrive(arg, letter[0], flags ? (WORD)strtoul(flags + 1, NULL, 0) : DBTF_MEDIA);
    } else if (!strcmp(line, "plug") && arg) {
      serve_plug(arg);
    } else if (!strcmp(line, "unplug") && arg) {
      serve_unplug(arg);
    } else if (!strcmp(line, "close") && arg) {
      serve_close(NULL, arg);
    } else if (!strcmp(line, "closeclass") && arg) {
      serve_close(arg, NULL);
    } else if (!strcmp(line, "find") && arg) {
      DWORD start = GetTickCount();
      while (!FindWindowA(arg, NULL) && GetTickCount() - start < 10000) Sleep(5);
      printf("%s\n", FindWindowA(arg, NULL) ? "ok" : "none");
    } else if (!strcmp(line, "icons")) {
      printf("%d\n", tray_icons());
    } else {
      printf("error usage\n");
    }
    fflush(stdout);
  }
  return 0;
}

int main(int argc, char** argv) {
  QueryPerformanceFrequency(&g_freq);
  if (argc < 2) {
    fputs("usage: benchprobe startup|serve ...\n", stderr);
    return 2;
  }
  if (!strcmp(argv[1], "startup")) return cmd_startup(argc - 2, argv + 2);
  if (!strcmp(argv[1], "serve")) return cmd_serve();
  fputs("usage: benchprobe startup|serve ...\n", stderr);
  return 2;
}
