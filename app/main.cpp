// Discora's entry point: harden the process, create the hidden main window,
// run its load handler and then its message loop until the window is
// unloaded (or another program posts WM_QUIT).
#include <windows.h>

#include "agent/form.h"
#include "app/main_window.h"
#include "platform/win32/win32_platform.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  discora::HardenProcess();

  discora::Win32Platform platform;
  discora::MainWindow window(instance);
  if (!window.Create()) return 1;
  discora::FormDiscoraNotify form(platform, window);
  window.Attach(&form);

  if (!form.Form_Load()) {
    // Another instance runs, or there is no CD-ROM drive: end silently. The
    // window, detached from the form, goes with no handler of it run.
    window.Attach(nullptr);
    return 0;
  }
  return window.RunMessageLoop();
}
