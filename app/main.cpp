// Discora's entry point: harden the process, create the hidden main window,
// run its load handler and then its message loop until the window is
// unloaded (or another program posts WM_QUIT). Started with /emulator, it
// opens the dialog that chooses the emulator: in the Discora that runs
// already, when one does, else in itself.
#include <windows.h>

#include "agent/form.h"
#include "app/main_window.h"
#include "platform/win32/win32_platform.h"
#include "res/resource.h"

namespace {

// Whether the command line is "/emulator", letter case and surrounding
// blanks ignored.
bool AsksForTheEmulator(const char* commandLine) {
  while (*commandLine == ' ' || *commandLine == '\t') ++commandLine;
  const char* end = commandLine + lstrlenA(commandLine);
  while (end > commandLine && (end[-1] == ' ' || end[-1] == '\t')) --end;
  static constexpr char kSwitch[] = "/emulator";
  if (end - commandLine != static_cast<int>(sizeof kSwitch - 1)) return false;
  for (const char* c = kSwitch; *c != '\0'; ++c, ++commandLine) {
    const char folded = *commandLine >= 'A' && *commandLine <= 'Z'
                            ? static_cast<char>(*commandLine - 'A' + 'a')
                            : *commandLine;
    if (folded != *c) return false;
  }
  return true;
}

// The main window of the Discora that runs already, or null.
HWND RunningDiscora(HWND own) {
  HWND window = nullptr;
  while ((window = FindWindowExA(nullptr, window, DISCORA_WINDOW_CLASS, nullptr)) != nullptr) {
    if (window != own) return window;
  }
  return nullptr;
}

// Asks `window` for the dialog. The dialog's process may take the
// foreground, which the user's start of this one gave to it.
void AskForTheEmulator(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process != 0) AllowSetForegroundWindow(process);
  PostMessageA(window, WM_COMMAND, IDM_EMULATOR, 0);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  discora::HardenProcess();
  const bool chooseEmulator = commandLine != nullptr && AsksForTheEmulator(commandLine);

  discora::Win32Platform platform;
  discora::MainWindow window(instance);
  if (!window.Create()) return 1;
  discora::FormDiscoraNotify form(platform, window);
  window.Attach(&form);

  if (!form.Form_Load()) {
    // Another instance runs, or there is no CD-ROM drive: end silently. The
    // window, detached from the form, goes with no handler of it run.
    window.Attach(nullptr);
    const HWND own = reinterpret_cast<HWND>(window.Handle());
    if (chooseEmulator) {
      if (const HWND running = RunningDiscora(own)) AskForTheEmulator(running);
    }
    return 0;
  }
  // Opened from the message loop, as when another Discora asks.
  if (chooseEmulator) AskForTheEmulator(reinterpret_cast<HWND>(window.Handle()));
  return window.RunMessageLoop();
}
