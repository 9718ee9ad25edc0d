/* reffloor.exe: the least time a program can take from a volume-arrival
 * notice to an emulator's start.
 *
 *   reffloor EMULATOR
 *
 * One hidden top-level window (top-level, so broadcast notices reach it
 * too) that answers WM_DEVICECHANGE with DBT_DEVICEARRIVAL for a volume by
 * starting EMULATOR at once: no MCI, no look at the drive, no latch, one
 * CreateProcess with the quoted path as the command line, in the program's
 * own folder, as Discora starts it. The benchmark sends it the same notices
 * it sends Discora and prints Discora's insertion-to-launch time as a ratio
 * to this program's. It starts the emulator from within the message, not
 * after answering it: the fastest a program can be, which is what a floor
 * is. */
#include <windows.h>
#include <dbt.h>
#include <string.h>

#define REFFLOOR_CLASS "RefFloorWindow"

static char g_emulator[MAX_PATH];
static char g_command[MAX_PATH + 2];
static char g_folder[MAX_PATH];

static void start_emulator(void) {
  STARTUPINFOA si;
  ZeroMemory(&si, sizeof si);
  si.cb = sizeof si;
  si.dwFlags = STARTF_USESHOWWINDOW;
  si.wShowWindow = SW_SHOWNORMAL;
  PROCESS_INFORMATION pi;
  if (CreateProcessA(g_emulator, g_command, NULL, NULL, FALSE, CREATE_DEFAULT_ERROR_MODE, NULL,
                     g_folder, &si, &pi)) {
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
  }
}

static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_DEVICECHANGE: {
      const DEV_BROADCAST_HDR* header = (const DEV_BROADCAST_HDR*)lp;
      if (wp == DBT_DEVICEARRIVAL && header && header->dbch_devicetype == DBT_DEVTYP_VOLUME)
        start_emulator();
      return TRUE;
    }
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prev, LPSTR args, int show) {
  (void)prev;
  (void)show;
  /* The one argument, without quotes, is the emulator's full path. */
  while (*args == ' ' || *args == '"') ++args;
  lstrcpynA(g_emulator, args, sizeof g_emulator);
  char* end = g_emulator + lstrlenA(g_emulator);
  while (end > g_emulator && (end[-1] == ' ' || end[-1] == '"')) *--end = '\0';
  char* slash = strrchr(g_emulator, '\\');
  if (!slash) return 1;
  lstrcpynA(g_folder, g_emulator, (int)(slash - g_emulator) + 1);
  wsprintfA(g_command, "\"%s\"", g_emulator);

  WNDCLASSA wc;
  ZeroMemory(&wc, sizeof wc);
  wc.lpfnWndProc = window_proc;
  wc.hInstance = instance;
  wc.lpszClassName = REFFLOOR_CLASS;
  if (!RegisterClassA(&wc)) return 1;
  HWND hwnd =
      CreateWindowA(REFFLOOR_CLASS, "reffloor", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, instance, NULL);
  if (!hwnd) return 1;

  MSG m;
  while (GetMessageA(&m, NULL, 0, 0) > 0) DispatchMessageA(&m);
  return (int)m.wParam;
}
