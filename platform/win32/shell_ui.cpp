// The platform's shell and user-interface calls on Win32: other programs'
// windows by title, the keyboard and the pointer, message boxes, the tray
// icon, the shell's "Open" and the system's words for an error.
#include "platform/win32/win32_platform.h"

#include <shellapi.h>

#include <cstring>

#include "platform/win32/ansi_text.h"

namespace discora {

std::int16_t Win32Platform::AsyncKeyState(int virtualKey) {
  return static_cast<std::int16_t>(GetAsyncKeyState(virtualKey));
}

void Win32Platform::CursorPos(int* x, int* y) {
  POINT point = {0, 0};
  GetCursorPos(&point);
  *x = point.x;
  *y = point.y;
}

WindowHandle Win32Platform::FindWindowByTitle(const std::string& title) {
  return reinterpret_cast<WindowHandle>(FindWindowA(nullptr, title.c_str()));
}

void Win32Platform::ActivateWindow(WindowHandle window) { SetForegroundWindow(ToHwnd(window)); }

bool Win32Platform::IsMinimizedOrMaximized(WindowHandle window) {
  return IsIconic(ToHwnd(window)) || IsZoomed(ToHwnd(window));
}

void Win32Platform::RestoreWindow(WindowHandle window) {
  // Posted, so an emulator that hangs cannot hang the agent.
  PostMessageA(ToHwnd(window), WM_SYSCOMMAND, SC_RESTORE, 0);
}

int Win32Platform::ShowMessageBox(WindowHandle owner, const std::string& text,
                                  const std::string& title, unsigned flags) {
  InitCommonControlsOnce();
  return MessageBoxA(ToHwnd(owner), text.c_str(), title.c_str(), flags);
}

bool Win32Platform::NotifyIcon(unsigned operation, const TrayRecord& record) {
  // The record's first form, the only one the logic makes, in this build's
  // layout (88 bytes in the x86 build, 104 in the x64 one): the shell reads
  // only these fields.
  if (record.cbSize != kTrayRecordSize) return false;
  NOTIFYICONDATAA data;
  std::memset(&data, 0, sizeof data);
  data.cbSize = kNotifyIconFirstFormSize;
  data.hWnd = ToHwnd(record.hWnd);
  data.uID = record.uID;
  data.uFlags = record.uFlags;
  data.uCallbackMessage = record.uCallbackMessage;
  data.hIcon = reinterpret_cast<HICON>(record.hIcon);
  // The system's tip field is at least as long (checked with the other
  // constants at compile time, app/system_constants.cpp).
  std::memcpy(data.szTip, record.szTip, sizeof record.szTip);
  return Shell_NotifyIconA(operation, &data) != FALSE;
}

bool Win32Platform::ShowTrayNotice(const TrayRecord& record, const TrayNotice& notice) {
  // The first form cannot carry a balloon: the change that shows it passes
  // the shell 5.0 form (488 bytes in the x86 build, 504 in the x64 one),
  // which XP and every later shell accept. Only the balloon's fields are
  // named valid, so the icon, its tip and its callback stay as added.
  NOTIFYICONDATAA data;
  std::memset(&data, 0, sizeof data);
  data.cbSize = kNotifyIconNoticeSize;
  data.hWnd = ToHwnd(record.hWnd);
  data.uID = record.uID;
  data.uFlags = NIF_INFO;
  // Shown for at least the shortest time XP's shell allows.
  data.uTimeout = 10000;
  std::memcpy(data.szInfo, notice.szInfo, sizeof notice.szInfo);
  std::memcpy(data.szInfoTitle, notice.szInfoTitle, sizeof notice.szInfoTitle);
  data.dwInfoFlags = notice.dwInfoFlags;
  return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

long Win32Platform::ShellOpen(WindowHandle owner, const std::string& file,
                              const std::string& parameters, const std::string& folder,
                              int showStyle) {
  EnsureComInitialized();
  // A program marked to run as administrator, which CreateProcess refuses,
  // is started by the shell once the user consents; the consent prompt
  // belongs to `owner`, or may only flash in the taskbar without it.
  SetLastError(ERROR_SUCCESS);
  const auto result = reinterpret_cast<INT_PTR>(ShellExecuteA(
      ToHwnd(owner), "Open", file.c_str(), parameters.c_str(), folder.c_str(), showStyle));
  if (result > 32) return kErrorSuccess;
  // The system's code (ERROR_CANCELLED for a declined prompt), else the
  // shell's own, whose small values mean what the system's do.
  const DWORD error = GetLastError();
  return error != ERROR_SUCCESS ? static_cast<long>(error) : static_cast<long>(result);
}

std::string Win32Platform::ErrorText(long error) {
  char text[512];
  const DWORD length =
      FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                     static_cast<DWORD>(error), 0, text, sizeof text, nullptr);
  std::string message(text, length);
  while (!message.empty() &&
         (message.back() == '\r' || message.back() == '\n' || message.back() == ' ')) {
    message.pop_back();
  }
  return message;
}
}  // namespace discora
