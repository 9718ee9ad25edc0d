// The platform's shell and user-interface calls on Win32: other programs'
// windows (by title, or by the program file that runs them), the keyboard
// and the pointer, message boxes, the tray icon, the shell's "Open" and the
// open-file dialog.
#include "platform/win32/win32_platform.h"

#include <cderr.h>
#include <commdlg.h>
#include <shellapi.h>

#include <cstring>
#include <utility>
#include <vector>

#include "platform/win32/ansi_text.h"
#include "platform/win32/system_library.h"

namespace discora {

namespace {

HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

using CoInitializeExFn = HRESULT(WINAPI*)(LPVOID, DWORD);

// The shell (ShellExecute and the handlers it calls) and the common dialogs
// expect COM on the calling thread. It is set up once, on the window's
// thread, just before the first of them: the agent at rest never loads it.
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

using GetOpenFileNameFn = BOOL(WINAPI*)(LPOPENFILENAMEA);
using GetOpenFileNameWFn = BOOL(WINAPI*)(LPOPENFILENAMEW);
using CommDlgExtendedErrorFn = DWORD(WINAPI*)();

// The longest path the system's wide calls take, and its NUL.
constexpr DWORD kLongestPath = 32768;

// Runs `dialog` with the current folder put back afterwards: the dialog
// moves it to the one browsed to, even with OFN_NOCHANGEDIR on some
// systems, so a folder on a disc never stays in use and later relative
// names mean what they did.
template <typename Show, typename Record>
BOOL KeepingCurrentFolder(Show show, Record* dialog) {
  std::vector<wchar_t> folder(GetCurrentDirectoryW(0, nullptr) + 1, L'\0');
  const DWORD folderLength = GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
  const BOOL chosen = show(dialog);
  if (folderLength > 0 && folderLength < folder.size()) SetCurrentDirectoryW(folder.data());
  return chosen;
}
using QueryFullProcessImageNameFn = BOOL(WINAPI*)(HANDLE, DWORD, LPWSTR, PDWORD);

// PROCESS_QUERY_LIMITED_INFORMATION (Windows Vista and later): the least
// access that reads another process's program file.
constexpr DWORD kProcessQueryLimitedInformation = 0x1000;

// A file itself, whatever path leads to it: its volume's serial number and
// its id on that volume.
struct FileIdentity {
  ULONGLONG volume = 0;
  BYTE id[16] = {};
  bool wide = false;  // `id` is the 128-bit id, not the 64-bit index
  bool operator==(const FileIdentity& o) const {
    return wide == o.wide && volume == o.volume && std::memcmp(id, o.id, sizeof id) == 0;
  }
};

// FILE_ID_INFO, which Windows 8 and later give (FileIdInfo): ReFS, Dev
// Drive's file system, gives files 128-bit ids, and its 64-bit index "is not
// guaranteed to be unique" there.
struct FileIdInfoRecord {
  ULONGLONG VolumeSerialNumber;
  BYTE FileId[16];
};
constexpr int kFileIdInfo = 18;  // FILE_INFO_BY_HANDLE_CLASS FileIdInfo
using GetFileInformationByHandleExFn = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD);

// The identity of the file at `path`; false when it cannot be asked.
bool IdentityOf(const wchar_t* path, FileIdentity* identity) {
  // Attributes only: no share mode of a running program's file refuses it.
  ScopedFile file(CreateFileW(path, FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;
  // The 128-bit id where the system has it (Windows 8 on: older ones
  // refuse the class), else the 64-bit index. Both files of a comparison are
  // asked the same way, as the same volume answers both alike.
  static const auto byHandleEx = ModuleFunction<GetFileInformationByHandleExFn>(
      GetModuleHandleA("kernel32.dll"), "GetFileInformationByHandleEx");
  FileIdInfoRecord idInfo;
  if (byHandleEx != nullptr && byHandleEx(file.Get(), kFileIdInfo, &idInfo, sizeof idInfo)) {
    identity->volume = idInfo.VolumeSerialNumber;
    std::memcpy(identity->id, idInfo.FileId, sizeof identity->id);
    identity->wide = true;
    return true;
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(file.Get(), &info)) return false;
  identity->volume = info.dwVolumeSerialNumber;
  std::memcpy(identity->id, &info.nFileIndexLow, sizeof info.nFileIndexLow);
  std::memcpy(identity->id + sizeof info.nFileIndexLow, &info.nFileIndexHigh,
              sizeof info.nFileIndexHigh);
  identity->wide = false;
  return true;
}

// The main window of the processes running one program file: the first
// visible top-level window without an owner, in the order from the top. The
// system names a running program's file by its path after junctions
// (Scoop's "current" folder), with long names and on the drive that holds
// it (not a subst drive), so a path that differs in its text is compared by
// the file it leads to.
class ProgramWindowSearch {
 public:
  ProgramWindowSearch(QueryFullProcessImageNameFn query, std::vector<wchar_t> program)
      : query_(query), program_(std::move(program)), image_(32768) {
    known_ = IdentityOf(program_.data(), &identity_);
  }

  HWND Find() {
    EnumWindows(&ProgramWindowSearch::Visit, reinterpret_cast<LPARAM>(this));
    return found_;
  }

 private:
  static BOOL CALLBACK Visit(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<ProgramWindowSearch*>(context);
    if (!IsWindowVisible(window) || GetWindow(window, GW_OWNER) != nullptr) return TRUE;
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    if (!search->Runs(process)) return TRUE;
    search->found_ = window;
    return FALSE;
  }

  bool Runs(DWORD process) {
    // A process has many windows: its file is asked after once.
    if (process == lastProcess_) return lastRuns_;
    lastProcess_ = process;
    lastRuns_ = false;
    ScopedHandle handle(OpenProcess(kProcessQueryLimitedInformation, FALSE, process));
    if (!handle.Valid()) return false;
    DWORD length = static_cast<DWORD>(image_.size());
    if (!query_(handle.Get(), 0, image_.data(), &length)) return false;
    FileIdentity image;
    lastRuns_ = lstrcmpiW(image_.data(), program_.data()) == 0 ||
                (known_ && IdentityOf(image_.data(), &image) && image == identity_);
    return lastRuns_;
  }

  QueryFullProcessImageNameFn query_;
  std::vector<wchar_t> program_;
  std::vector<wchar_t> image_;  // the program file of the process asked last
  FileIdentity identity_;       // the program file's, when `known_`
  bool known_ = false;
  DWORD lastProcess_ = 0;
  bool lastRuns_ = false;
  HWND found_ = nullptr;
};

}  // namespace

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

WindowHandle Win32Platform::FindProgramWindow(const std::string& program) {
  // Windows XP cannot name another process's program file this way; the
  // emulators looked for here do not run there.
  const auto query = ModuleFunction<QueryFullProcessImageNameFn>(GetModuleHandleA("kernel32.dll"),
                                                                 "QueryFullProcessImageNameW");
  if (query == nullptr) return 0;
  // The path in the system's own form, as it names a running program.
  const std::vector<wchar_t> path = ToWide(program);
  std::vector<wchar_t> full(32768);
  const DWORD length =
      GetFullPathNameW(path.data(), static_cast<DWORD>(full.size()), full.data(), nullptr);
  if (length == 0 || length >= full.size()) return 0;
  ProgramWindowSearch search(query, std::move(full));
  return reinterpret_cast<WindowHandle>(search.Find());
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

bool Win32Platform::ShowOpenFileDialog(OpenFileRecord& record) {
  std::vector<char> file(record.file.begin(), record.file.end());
  std::vector<char> fileTitle(record.fileTitle.begin(), record.fileTitle.end());
  // The dialog must never write past the buffers, whatever the record says.
  if (file.size() < record.maxFile || fileTitle.size() < record.maxFileTitle) return false;

  // The record's first form, the only one the logic makes, in this build's
  // layout (76 bytes in the x86 build, 136 in the x64 one, where the dialog
  // refuses any other size).
  if (record.structSize != kOpenFileRecordSize) return false;
  OPENFILENAMEA dialog;
  std::memset(&dialog, 0, sizeof dialog);
  dialog.lStructSize = kOpenFileNameFirstFormSize;
  dialog.hwndOwner = ToHwnd(record.owner);
  dialog.hInstance = reinterpret_cast<HINSTANCE>(record.instance);
  dialog.lpstrFilter = record.filter.c_str();
  dialog.nFilterIndex = record.filterIndex;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = record.maxFile;
  dialog.lpstrFileTitle = fileTitle.data();
  dialog.nMaxFileTitle = record.maxFileTitle;
  dialog.lpstrInitialDir = record.initialDir.c_str();
  dialog.lpstrTitle = record.title.c_str();
  dialog.Flags = record.flags;
  EnsureComInitialized();
  static const auto getOpenFileName =
      LoadSystemFunction<GetOpenFileNameFn>("comdlg32.dll", "GetOpenFileNameA");
  if (getOpenFileName == nullptr) return false;
  if (!KeepingCurrentFolder(getOpenFileName, &dialog)) return false;
  record.file.assign(file.begin(), file.end());
  record.fileTitle.assign(fileTitle.begin(), fileTitle.end());
  return true;
}

ChosenFile Win32Platform::ChooseFile(WindowHandle owner, const std::string& filter,
                                     const std::string& title) {
  ChosenFile chosen;
  EnsureComInitialized();
  static const auto getOpenFileName =
      LoadSystemFunction<GetOpenFileNameWFn>("comdlg32.dll", "GetOpenFileNameW");
  static const auto extendedError =
      LoadSystemFunction<CommDlgExtendedErrorFn>("comdlg32.dll", "CommDlgExtendedError");
  if (getOpenFileName == nullptr || extendedError == nullptr) {
    chosen.result = ChosenFile::Result::Failed;
    chosen.error = CDERR_INITIALIZATION;
    return chosen;
  }
  // Wide, with room for any path the system allows: the ANSI dialog spells
  // a folder the code page lacks (a user named Łukasz) with look-alikes or
  // "?", and takes a path over its buffer for a Cancel.
  std::vector<wchar_t> file(kLongestPath, L'\0');
  const std::vector<wchar_t> wideFilter = ToWide(filter);
  const std::vector<wchar_t> wideTitle = ToWide(title);
  OPENFILENAMEW dialog;
  std::memset(&dialog, 0, sizeof dialog);
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = ToHwnd(owner);
  dialog.lpstrFilter = wideFilter.data();
  dialog.nFilterIndex = 1;
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = kLongestPath;
  dialog.lpstrTitle = wideTitle.data();
  dialog.Flags = OFN_FILEMUSTEXIST | OFN_HIDEREADONLY;
  if (!KeepingCurrentFolder(getOpenFileName, &dialog)) {
    // Zero: the user cancelled; anything else is the dialog's failure.
    chosen.error = extendedError();
    chosen.result = chosen.error == 0 ? ChosenFile::Result::Cancelled : ChosenFile::Result::Failed;
    return chosen;
  }
  // The program's texts are ANSI: the path exactly, else its short name,
  // else nothing that could name another file.
  const bool spelt = ExactPathToAnsi(file.data(), lstrlenW(file.data()), &chosen.path);
  chosen.result = spelt ? ChosenFile::Result::Chosen : ChosenFile::Result::Unspellable;
  if (!spelt) chosen.path.clear();
  return chosen;
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
