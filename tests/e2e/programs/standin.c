/* Stand-in for the programs the agent starts: the emulators and the
 * companion utilities. One executable plays every part; it takes its role
 * from the name it was copied under, as the agent tells them apart by name:
 *   ...vgs.exe              emulator, window titled "Connectix Virtual Game Station"
 *   bleem!.exe              emulator, window titled "bleem!"
 *   duckstation-qt-*.exe    duckstation, window titled "DuckStation"
 *   retroarch.exe           retroarch, window titled "RetroArch"
 *   pcsx2-qt.exe            pcsx2, window titled "PCSX2"
 *   anything else           a utility: it records its start and exits.
 * Every role with a window runs until the window is closed.
 *
 * Every start and every window event is appended as one line to the
 * log named by DISCORA_TEST_LOG (default C:\discora-test\standin.log), as
 * tab-separated key=value fields, so the tests can see exactly how the agent
 * started it: its module path, its command line, the STARTUPINFO show flags,
 * the current folder and the error mode it was given.
 * The process creation time (100 ns units) orders starts that log at nearly
 * the same moment in the order they were created.
 *
 * "--minimized" starts a stand-in with a window already minimised, as a user
 * would have left it, so a test can check that the agent brings it back. */
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "testlog.h"

static char g_log[MAX_PATH];
static char g_role[16];

/* Tabs and line breaks would break the one-line, tab-separated format. */
static void sanitize(char* text) {
  for (; *text; ++text) {
    if (*text == '\t' || *text == '\r' || *text == '\n') *text = ' ';
  }
}

static void log_line(const char* event, const char* extra) {
  char line[2048];
  int len = snprintf(line, sizeof line, "event=%s\trole=%s\tpid=%lu\ttick=%lu%s%s\n", event, g_role,
                     (unsigned long)GetCurrentProcessId(), (unsigned long)GetTickCount(),
                     extra ? "\t" : "", extra ? extra : "");
  if (len < 0) return;
  if (len >= (int)sizeof line) {
    len = sizeof line - 1;
    line[len - 1] = '\n';
  }
  append_line(g_log, line, (DWORD)len);
}

static BOOL ends_with_nocase(const char* text, const char* suffix) {
  size_t n = strlen(text), m = strlen(suffix);
  return n >= m && lstrcmpiA(text + n - m, suffix) == 0;
}

static BOOL starts_with_nocase(const char* text, const char* prefix) {
  return _strnicmp(text, prefix, strlen(prefix)) == 0;
}

/* The role and window title of a file name; no title for a utility. */
static const char* role_of(const char* name, const char** title) {
  if (ends_with_nocase(name, "vgs.exe")) {
    *title = "Connectix Virtual Game Station";
    return "emulator";
  }
  if (lstrcmpiA(name, "bleem!.exe") == 0) {
    *title = "bleem!";
    return "emulator";
  }
  if (starts_with_nocase(name, "duckstation-qt-") && ends_with_nocase(name, ".exe")) {
    *title = "DuckStation";
    return "duckstation";
  }
  if (lstrcmpiA(name, "retroarch.exe") == 0) {
    *title = "RetroArch";
    return "retroarch";
  }
  if (lstrcmpiA(name, "pcsx2-qt.exe") == 0) {
    *title = "PCSX2";
    return "pcsx2";
  }
  *title = NULL;
  return "utility";
}

static LRESULT CALLBACK emulator_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_RESTORE) log_line("restored", NULL);
      break;
    case WM_SIZE: {
      const char* state = wp == SIZE_MINIMIZED   ? "minimized"
                          : wp == SIZE_MAXIMIZED ? "maximized"
                          : wp == SIZE_RESTORED  ? "restored"
                                                 : NULL;
      if (state) {
        char extra[64];
        snprintf(extra, sizeof extra, "state=%s", state);
        log_line("size", extra);
      }
      break;
    }
    case WM_ACTIVATE: {
      char extra[64];
      snprintf(extra, sizeof extra, "active=%u\tminimized=%u", (unsigned)LOWORD(wp),
               (unsigned)(HIWORD(wp) != 0));
      log_line("activate", extra);
      break;
    }
    case WM_PAINT: {
      /* Without a window manager there is no title bar: the title is
       * drawn inside, so someone watching the screen sees what started. */
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd, &ps);
      char title[128];
      GetWindowTextA(hwnd, title, sizeof title);
      RECT r;
      GetClientRect(hwnd, &r);
      DrawTextA(dc, title, -1, &r, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_CLOSE:
      log_line("close", NULL);
      DestroyWindow(hwnd);
      return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

static int run_emulator(HINSTANCE instance, const char* title, int show) {
  WNDCLASSA wc = {0};
  wc.lpfnWndProc = emulator_proc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursor(NULL, IDC_ARROW);
  wc.hbrBackground = (HBRUSH)(COLOR_WINDOW + 1);
  wc.lpszClassName = "DiscoraTestEmulator";
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowA(wc.lpszClassName, title, WS_OVERLAPPEDWINDOW, 80, 80, 320, 240, NULL,
                            NULL, instance, NULL);
  if (!hwnd) {
    log_line("error", "what=CreateWindow");
    return 1;
  }
  char extra[64];
  snprintf(extra, sizeof extra, "hwnd=%lu", (unsigned long)(ULONG_PTR)hwnd);
  log_line("window", extra);
  ShowWindow(hwnd, show);
  UpdateWindow(hwnd);
  MSG m;
  while (GetMessageA(&m, NULL, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  log_line("exit", NULL);
  return 0;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prev, LPSTR args, int show) {
  (void)prev;
  DWORD n = GetEnvironmentVariableA("DISCORA_TEST_LOG", g_log, sizeof g_log);
  if (n == 0 || n >= sizeof g_log) lstrcpyA(g_log, "C:\\discora-test\\standin.log");

  char module[MAX_PATH] = {0};
  GetModuleFileNameA(NULL, module, sizeof module);
  const char* name = strrchr(module, '\\');
  name = name ? name + 1 : module;
  const char* title;
  lstrcpynA(g_role, role_of(name, &title), sizeof g_role);

  STARTUPINFOA si;
  si.cb = sizeof si;
  GetStartupInfoA(&si);
  FILETIME created, exited, kernel, user;
  ULONGLONG created100ns = 0;
  if (GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) {
    created100ns = ((ULONGLONG)created.dwHighDateTime << 32) | created.dwLowDateTime;
  }
  char cmdline[1024];
  lstrcpynA(cmdline, GetCommandLineA(), sizeof cmdline);
  sanitize(cmdline);
  sanitize(module);
  char cwd[MAX_PATH] = {0};
  DWORD got = GetCurrentDirectoryA(sizeof cwd, cwd);
  if (got == 0 || got >= sizeof cwd) lstrcpyA(cwd, "?");
  sanitize(cwd);
  /* SetErrorMode answers the mode it replaces; the second call puts it back. */
  UINT errormode = SetErrorMode(0);
  SetErrorMode(errormode);
  char extra[2200];
  snprintf(extra, sizeof extra,
           "path=%s\tcmdline=%s\tflags=%lu\tshow=%u\tcreated=%llu\tcwd=%s\terrormode=%u", module,
           cmdline, (unsigned long)si.dwFlags, (unsigned)si.wShowWindow, created100ns, cwd,
           errormode);
  log_line("start", extra);

  if (!title) return 0;
  if (strstr(args, "--minimized")) show = SW_SHOWMINNOACTIVE;
  return run_emulator(instance, title, show);
}
