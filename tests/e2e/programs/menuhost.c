/* menuhost.exe: a small program that opens a pop-up menu with TrackPopupMenu,
 * as the agent does for its tray icon, so the tests can show that probe.exe
 * reads such a menu (text, separators, check marks) from outside the process.
 * It exits when the menu closes. */
#include <windows.h>

#define WM_OPEN_MENU (WM_APP + 0)

static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_OPEN_MENU: {
      HMENU menu = CreatePopupMenu();
      AppendMenuA(menu, MF_STRING | MF_CHECKED, 101, "&Checked item");
      AppendMenuA(menu, MF_STRING, 102, "&Plain item");
      AppendMenuA(menu, MF_SEPARATOR, 0, NULL);
      AppendMenuA(menu, MF_STRING | MF_GRAYED, 104, "&Grayed item");
      AppendMenuA(menu, MF_STRING, 105, "E&xit");
      /* The menu is only tracked while its owner is in front. */
      SetForegroundWindow(hwnd);
      TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_LEFTBUTTON | TPM_RETURNCMD, 100, 100, 0, hwnd, NULL);
      DestroyMenu(menu);
      DestroyWindow(hwnd);
      return 0;
    }
    case WM_DESTROY: PostQuitMessage(0); return 0;
  }
  return DefWindowProcA(hwnd, msg, wp, lp);
}

int main(void) {
  WNDCLASSA wc = {0};
  wc.lpfnWndProc = proc;
  wc.hInstance = GetModuleHandleA(NULL);
  wc.lpszClassName = "DiscoraTestMenuHost";
  RegisterClassA(&wc);
  HWND hwnd = CreateWindowA(wc.lpszClassName, "menuhost", WS_POPUP, 0, 0, 10, 10, NULL, NULL,
                            wc.hInstance, NULL);
  if (!hwnd) return 2;
  PostMessageA(hwnd, WM_OPEN_MENU, 0, 0);
  MSG m;
  while (GetMessageA(&m, NULL, 0, 0) > 0) {
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
  return 0;
}
