// The process's own set-up on Win32: hardening at start-up, the common
// controls when the first control or box is made, COM before the first
// shell call or dialog, and the messages the window must hear from a process
// of lower integrity level.
#include "platform/win32/win32_platform.h"

#include <commctrl.h>

#include "platform/win32/system_library.h"

namespace discora {

namespace {

using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);

}  // namespace

void HardenProcess() {
  // A drive probe of an empty drive fails quietly instead of blocking on a
  // "no disk" box.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  // Libraries loaded later (the MCI driver, shell extensions, the common
  // dialogs' helpers) come only from the system folder, never from the
  // program's folder, where other programs' files lie.
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  const auto setDefault = ModuleFunction<SetDefaultDllDirectoriesFn>(
      GetModuleHandleA("kernel32.dll"), "SetDefaultDllDirectories");
  constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32
  // Older systems: at least take the current folder out of the search. Only
  // there: the emptied DLL directory is handed down to every program the
  // agent starts, and changes where those look for their own DLLs.
  if (setDefault == nullptr || !setDefault(kSearchSystem32)) SetDllDirectoryA("");
}

void InitCommonControlsOnce() {
  static bool done = false;
  if (done) return;
  done = true;
  // The manifest asks for common controls 6, so buttons, edit fields and
  // message boxes use its classes, which exist once the library is loaded
  // and initialised (on Windows XP nothing else does it). Loaded by name:
  // the manifest's activation context redirects the name to version 6 in
  // the side-by-side store, which a full path would bypass (it names the
  // older library in the system folder); any search beyond that is
  // confined to the system folder (HardenProcess).
  using InitCommonControlsExFn = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
  const auto initialize = ModuleFunction<InitCommonControlsExFn>(
      LoadLibraryA("comctl32.dll"), "InitCommonControlsEx");  // kept for the run
  if (initialize == nullptr) return;
  INITCOMMONCONTROLSEX classes;
  classes.dwSize = sizeof classes;
  classes.dwICC = ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES;
  initialize(&classes);
}

void EnsureComInitialized() {
  static bool done = false;
  if (done) return;
  done = true;
  const auto initialize = LoadSystemFunction<CoInitializeExFn>("ole32.dll", "CoInitializeEx");
  constexpr DWORD kApartmentThreaded = 0x2;  // COINIT_APARTMENTTHREADED
  constexpr DWORD kDisableOle1Dde = 0x4;     // COINIT_DISABLE_OLE1DDE
  // Kept for the rest of the run, so never uninitialised.
  if (initialize != nullptr) initialize(nullptr, kApartmentThreaded | kDisableOle1Dde);
}

void AllowMessageFromLowerIntegrity(HWND window, UINT message) {
  // Looked up at run time: Windows 7 has the per-window call, Vista only
  // the per-process one, and XP has no message filter at all.
  if (message == 0) return;
  HMODULE user = GetModuleHandleA("user32.dll");
  using ForWindowFn = BOOL(WINAPI*)(HWND, UINT, DWORD, void*);
  using ForProcessFn = BOOL(WINAPI*)(UINT, DWORD);
  constexpr DWORD kMsgfltAllow = 1;  // MSGFLT_ALLOW
  constexpr DWORD kMsgfltAdd = 1;    // MSGFLT_ADD
  const auto forWindow = ModuleFunction<ForWindowFn>(user, "ChangeWindowMessageFilterEx");
  if (forWindow != nullptr) {
    forWindow(window, message, kMsgfltAllow, nullptr);
    return;
  }
  const auto forProcess = ModuleFunction<ForProcessFn>(user, "ChangeWindowMessageFilter");
  if (forProcess != nullptr) forProcess(message, kMsgfltAdd);
}
}  // namespace discora
