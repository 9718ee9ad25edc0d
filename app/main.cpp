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
#include "res/version.h"

namespace {

// How long a Discora that found another one starting waits for it to run.
constexpr DWORD kRunningWaitMs = 10000;
constexpr DWORD kRunningLookMs = 100;

constexpr char kNotAsked[] =
    "Discora is running, but it could not be asked to open the dialog that chooses the "
    "emulator. Exit Discora from its icon's menu and start it again.";
constexpr char kNoDrive[] =
    "Discora is not running: this computer has no CD-ROM drive for it to watch.";

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

// The main window of the Discora that runs, or null. Every Discora makes
// its window before it knows whether it may run, so only a window marked as
// running counts: another one may belong to a Discora about to end.
HWND RunningDiscora() {
  HWND window = nullptr;
  while ((window = FindWindowExA(nullptr, window, DISCORA_WINDOW_CLASS, nullptr)) != nullptr) {
    if (GetPropA(window, DISCORA_RUNNING_PROPERTY) != nullptr) return window;
  }
  return nullptr;
}

// The running Discora, waited for while it is still starting (its first
// poll may wait for a drive to spin up).
HWND WaitForRunningDiscora() {
  for (DWORD waited = 0;; waited += kRunningLookMs) {
    if (const HWND running = RunningDiscora()) return running;
    if (waited >= kRunningWaitMs) return nullptr;
    Sleep(kRunningLookMs);
  }
}

void Tell(const char* text) {
  discora::Win32Platform().ShowMessageBox(0, text, DISCORA_TITLE,
                                          discora::kMbOk | discora::kMbIconExclamation);
}

// Asks `window` (null: none was found) for the dialog, and says so when it
// cannot be asked. The dialog's process may take the foreground, which the
// user's start of this one gave to it.
void AskForTheEmulator(HWND window) {
  const UINT message = RegisterWindowMessageA(DISCORA_CHOOSE_EMULATOR_MESSAGE);
  DWORD process = 0;
  if (window != nullptr) GetWindowThreadProcessId(window, &process);
  if (process != 0) AllowSetForegroundWindow(process);
  if (window == nullptr || message == 0 || !PostMessageA(window, message, 0, 0)) Tell(kNotAsked);
}

enum class Ending { Ran, AnotherRuns, NoDrive };

// Runs the agent, with its window, until it is unloaded; `exitCode` is the
// message loop's.
Ending RunAgent(HINSTANCE instance, bool chooseEmulator, int* exitCode) {
  *exitCode = 0;
  discora::Win32Platform platform;
  discora::MainWindow window(instance);
  if (!window.Create()) {
    *exitCode = 1;
    return Ending::Ran;
  }
  discora::FormDiscoraNotify form(platform, window);
  window.Attach(&form);
  if (!form.Form_Load()) {
    // Another instance runs, or there is no CD-ROM drive: end silently. The
    // window, detached from the form, goes with no handler of it run.
    window.Attach(nullptr);
    return form.AnotherInstanceRuns() ? Ending::AnotherRuns : Ending::NoDrive;
  }
  window.MarkRunning();
  // Opened from the message loop, as when another Discora asks.
  if (chooseEmulator) AskForTheEmulator(reinterpret_cast<HWND>(window.Handle()));
  *exitCode = window.RunMessageLoop();
  return Ending::Ran;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  discora::HardenProcess();
  const bool chooseEmulator = commandLine != nullptr && AsksForTheEmulator(commandLine);
  // Looked for before this process makes a window of its own, which another
  // /emulator started at the same moment could take for the running one.
  if (chooseEmulator) {
    if (const HWND running = RunningDiscora()) {
      AskForTheEmulator(running);
      return 0;
    }
  }
  int exitCode = 0;
  const Ending ending = RunAgent(instance, chooseEmulator, &exitCode);
  if (chooseEmulator && ending == Ending::AnotherRuns) AskForTheEmulator(WaitForRunningDiscora());
  if (chooseEmulator && ending == Ending::NoDrive) Tell(kNoDrive);
  return exitCode;
}
