/* menuspy.dll: reads the pop-up menu that is open in the process it is loaded
 * into. Menus belong to the memory of their process, and Wine gives another
 * process nothing for them, so probe.exe loads this DLL into the menu's owner
 * (a remote thread calling LoadLibraryA) and runs DumpOpenMenu there in a
 * second remote thread. The menu's own thread is sitting in its menu loop
 * then; that loop still answers messages sent from other threads, which is
 * how MN_GETHMENU reaches the menu window.
 *
 * Output, one line per item of every visible menu window of the process:
 *   menu=<n>  index=<i>  id=<command id>  text=<text>  separator=0|1
 *   checked=0|1  grayed=0|1  popup=0|1  rect=<left,top,right,bottom>
 * where rect is the item's place on the screen, so a test can click it.
 * The thread's exit code is the number of menu windows found. */
#include <windows.h>

#include <stdio.h>

#ifndef MN_GETHMENU
#define MN_GETHMENU 0x01E1
#endif

#define MAX_MENUS 8

typedef struct {
  HWND windows[MAX_MENUS];
  int count;
} Found;

static BOOL CALLBACK collect(HWND hwnd, LPARAM lp) {
  Found* found = (Found*)lp;
  char cls[16];
  DWORD pid = 0;
  GetWindowThreadProcessId(hwnd, &pid);
  if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) &&
      GetClassNameA(hwnd, cls, sizeof cls) && lstrcmpA(cls, "#32768") == 0 &&
      found->count < MAX_MENUS) {
    found->windows[found->count++] = hwnd;
  }
  return TRUE;
}

static void write_menu(FILE* f, int n, HWND window, HMENU menu) {
  int items = GetMenuItemCount(menu);
  for (int i = 0; i < items; ++i) {
    char text[256] = {0};
    GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
    for (char* p = text; *p; ++p)
      if (*p == '\t' || *p == '\n' || *p == '\r') *p = ' ';
    UINT state = GetMenuState(menu, i, MF_BYPOSITION);
    RECT r = {0};
    GetMenuItemRect(window, menu, i, &r);
    fprintf(f,
            "menu=%d\tindex=%d\tid=%d\ttext=%s\tseparator=%d\tchecked=%d\tgrayed=%d"
            "\tpopup=%d\trect=%ld,%ld,%ld,%ld\n",
            n, i, (int)GetMenuItemID(menu, i), text, (state & MF_SEPARATOR) ? 1 : 0,
            (state & MF_CHECKED) ? 1 : 0, (state & (MF_GRAYED | MF_DISABLED)) ? 1 : 0,
            (state & MF_POPUP) ? 1 : 0, r.left, r.top, r.right, r.bottom);
  }
}

/* `param` is the output file's path. Waits up to 10 s for the menu to be
 * shown, as the probe may run just after the click that opens it. */
DWORD WINAPI DumpOpenMenu(LPVOID param) {
  const char* path = (const char*)param;
  Found found = {0};
  DWORD start = GetTickCount();
  for (;;) {
    found.count = 0;
    EnumWindows(collect, (LPARAM)&found);
    if (found.count || GetTickCount() - start > 10000) break;
    Sleep(50);
  }
  FILE* f = fopen(path, "wb");
  if (!f) return 0;
  for (int n = 0; n < found.count; ++n) {
    DWORD_PTR menu = 0;
    if (SendMessageTimeoutA(found.windows[n], MN_GETHMENU, 0, 0, SMTO_NORMAL, 5000, &menu) &&
        menu) {
      write_menu(f, n, found.windows[n], (HMENU)menu);
    } else {
      fprintf(f, "menu=%d\terror=MN_GETHMENU\n", n);
    }
  }
  fclose(f);
  return (DWORD)found.count;
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved) {
  (void)reserved;
  if (reason == DLL_PROCESS_ATTACH) DisableThreadLibraryCalls(instance);
  return TRUE;
}
