/* reftray.exe: the least a tray agent that watches a CD drive can cost.
 *
 * One hidden window, one notification-area icon (the stock application
 * icon), and a 3000 ms timer that asks the first CD-ROM drive whether a disc
 * is in it with the same three MCI strings Discora sends. Nothing else: no
 * menu, no options, no launch. The benchmark runs it beside Discora.exe and
 * prints each of Discora's figures next to this program's.
 *
 * It removes its icon when its window is closed or destroyed, so the
 * benchmark can start it again and again in one session. */
#include <windows.h>
#include <shellapi.h>
#include <mmsystem.h>

#define REFTRAY_CLASS "RefTrayWindow"
#define TRAY_CALLBACK (WM_APP + 1)
#define POLL_TIMER 1
#define POLL_MS 3000

static NOTIFYICONDATAA g_icon;
static char g_open[64];

/* The first drive from C: to Z: that Windows reports as a CD-ROM drive. */
static BOOL find_cd_drive(char* drive) {
  char root[4] = "C:\\";
  for (char letter = 'C'; letter <= 'Z'; ++letter) {
    root[0] = letter;
    if (GetDriveTypeA(root) == DRIVE_CDROM) {
      drive[0] = letter;
      drive[1] = ':';
      drive[2] = '\0';
      return TRUE;
    }
  }
  return FALSE;
}

static void poll_drive(void) {
  char reply[6];
  mciSendStringA(g_open, reply, sizeof reply, NULL);
  mciSendStringA("status cdvgs media present wait", reply, sizeof reply, NULL);
  mciSendStringA("close cdvgs", reply, sizeof reply, NULL);
}

static LRESULT CALLBACK window_proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_TIMER:
      if (wp == POLL_TIMER) poll_drive();
      return 0;
    case WM_CLOSE: DestroyWindow(hwnd); return 0;
    case WM_DESTROY:
      KillTimer(hwnd, POLL_TIMER);
      Shell_NotifyIconA(NIM_DELETE, &g_icon);
      PostQuitMessage(0);
      return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE prev, LPSTR args, int show) {
  (void)prev;
  (void)args;
  (void)show;
  char drive[3];
  if (!find_cd_drive(drive)) return 1;
  wsprintfA(g_open, "open %s Type cdaudio Alias cdvgs wait", drive);

  WNDCLASSA wc = {0};
  wc.lpfnWndProc = window_proc;
  wc.hInstance = instance;
  wc.lpszClassName = REFTRAY_CLASS;
  if (!RegisterClassA(&wc)) return 1;
  HWND hwnd =
      CreateWindowA(REFTRAY_CLASS, "reftray", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                    CW_USEDEFAULT, CW_USEDEFAULT, NULL, NULL, instance, NULL);
  if (!hwnd) return 1;

  /* The first, 88-byte form of the record, as Discora sends. */
  g_icon.cbSize = NOTIFYICONDATAA_V1_SIZE;
  g_icon.hWnd = hwnd;
  g_icon.uID = 1;
  g_icon.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  g_icon.uCallbackMessage = TRAY_CALLBACK;
  g_icon.hIcon = LoadIconA(NULL, (LPCSTR)IDI_APPLICATION);
  lstrcpyA(g_icon.szTip, "reftray");
  Shell_NotifyIconA(NIM_ADD, &g_icon);
  SetTimer(hwnd, POLL_TIMER, POLL_MS, NULL);

  MSG m;
  while (GetMessageA(&m, NULL, 0, 0) > 0) DispatchMessageA(&m);
  return (int)m.wParam;
}
