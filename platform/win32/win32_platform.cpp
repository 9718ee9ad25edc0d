// Win32 implementation of the platform operations. Each call is a thin,
// checked wrapper: results are handed back to the logic, never thrown.
#include "platform/win32/win32_platform.h"

#include <commctrl.h>
#include <commdlg.h>
#include <mmsystem.h>
#include <shellapi.h>

#include <cstring>
#include <vector>

#include "platform/path_folder.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/scoped.h"

namespace discora {

namespace {

constexpr char kInstanceMutexName[] = "Discora.DiscoraNotify.SingleInstance";

HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }

// The system's own handle for a predefined root: on 64-bit Windows these
// are sign-extended (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002 there).
HKEY ToHkey(RegRoot root) {
  switch (root) {
    case RegRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
  }
  return nullptr;
}

// KEY_WOW64_32KEY opens a 32-bit program's key from a 64-bit program; a
// 32-bit program sees that view anyway, and 32-bit Windows ignores the flag.
REGSAM ViewAccess(RegView view) { return view == RegView::Of32BitPrograms ? KEY_WOW64_32KEY : 0; }

#if defined(_WIN64)
// The variables that name a 32-bit program's folders differently in a
// 64-bit process, with the names of the folders that program meant.
constexpr struct {
  const char* own;
  const char* of32Bit;
} kFoldersOf32BitPrograms[] = {
    {"%ProgramFiles%", "%ProgramFiles(x86)%"},
    {"%CommonProgramFiles%", "%CommonProgramFiles(x86)%"},
};

// `text` with each such variable renamed (its letter case ignored, as the
// system does), where this system has the 32-bit name.
std::string RenameFolderVariablesOf32BitPrograms(std::string text) {
  for (const auto& names : kFoldersOf32BitPrograms) {
    const std::string bare(names.of32Bit + 1, lstrlenA(names.of32Bit) - 2);
    if (GetEnvironmentVariableA(bare.c_str(), nullptr, 0) == 0) continue;
    const std::size_t length = lstrlenA(names.own);
    for (std::size_t at = 0; at + length <= text.size();) {
      if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text.c_str() + at,
                         static_cast<int>(length), names.own,
                         static_cast<int>(length)) == CSTR_EQUAL) {
        text.replace(at, length, names.of32Bit);
        at += lstrlenA(names.of32Bit);
      } else {
        ++at;
      }
    }
  }
  return text;
}
#endif

bool EndsWithIgnoringCase(const std::string& text, const std::string& suffix) {
  if (suffix.size() > text.size()) return false;
  return lstrcmpiA(text.c_str() + (text.size() - suffix.size()), suffix.c_str()) == 0;
}

// The file-name part of a search pattern after its leading "*", or the whole
// name when it has no wildcard.
std::string PatternSuffix(const std::string& pattern) {
  const auto slash = pattern.find_last_of("\\/");
  std::string name = slash == std::string::npos ? pattern : pattern.substr(slash + 1);
  if (!name.empty() && name[0] == '*') name.erase(0, 1);
  return name;
}

// A function a loaded library exports, with its type; null when the library
// or the function is missing (an older system).
template <typename Function>
Function ModuleFunction(HMODULE module, const char* function) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, function)));
}

// Loads a library by its full path in the system folder. The multimedia
// library is not one of the system's known DLLs, so a copy planted in the
// program's folder would win a search by name; the common dialogs are needed
// only when the user browses, and cost memory for the whole run otherwise.
template <typename Function>
Function LoadSystemFunction(const char* library, const char* function) {
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length + 1 + lstrlenA(library) >= MAX_PATH) return nullptr;
  lstrcatA(path, "\\");
  lstrcatA(path, library);
  // Kept loaded for the rest of the run: the caller keeps the function.
  return ModuleFunction<Function>(LoadLibraryA(path), function);
}

using MciSendStringFn = MCIERROR(WINAPI*)(LPCSTR, LPSTR, UINT, HWND);
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

bool Win32Platform::AnotherInstanceRunning() {
  // The mutex is held for the whole run; its name tells a later start that
  // this one runs.
  if (instanceMutex_.Valid()) return false;
  HANDLE mutex = CreateMutexA(nullptr, FALSE, kInstanceMutexName);
  const DWORD error = GetLastError();
  instanceMutex_.Reset(mutex);
  // A mutex of that name made by an instance under another account or
  // integrity level in this session cannot be opened from here
  // (ERROR_ACCESS_DENIED): that instance runs too.
  return error == ERROR_ALREADY_EXISTS || (mutex == nullptr && error == ERROR_ACCESS_DENIED);
}

std::string Win32Platform::AppFolder() {
  std::vector<wchar_t> path(MAX_PATH);
  DWORD length = 0;
  for (;;) {
    length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return std::string();
    if (length < path.size()) break;
    if (path.size() >= 32768) return std::string();
    path.resize(path.size() * 2);
  }
  // The folder of the module's file ("E:\\" for a drive root).
  std::vector<wchar_t> wide(path.data(), path.data() + length);
  const std::size_t folderLength = FolderLength(wide.data(), wide.size());
  if (folderLength != kNoFolder) wide.resize(folderLength);
  wide.push_back(L'\0');

  bool lossy = false;
  std::string folder = ToAnsi(wide.data(), static_cast<int>(wide.size() - 1), &lossy);
  if (lossy) {
    // A folder name the code page cannot spell: its short name can be
    // spelt. Without one, the folder keeps the "|" marks and names nothing.
    std::vector<wchar_t> shortPath(wide.size() + MAX_PATH);
    const DWORD got =
        GetShortPathNameW(wide.data(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
    if (got > 0 && got < shortPath.size()) {
      bool shortLossy = false;
      std::string spelt = ToAnsi(shortPath.data(), static_cast<int>(got), &shortLossy);
      if (!shortLossy) folder = spelt;
    }
  }
  return folder;
}

unsigned Win32Platform::DriveType(const std::string& rootPath) {
  return GetDriveTypeA(rootPath.c_str());
}

std::string Win32Platform::FindFirstFileName(const std::string& pattern) {
  WIN32_FIND_DATAW data;
  ScopedFind search(FindFirstFileW(ToWide(pattern).data(), &data));
  if (!search.Valid()) return std::string();
  // Short 8.3 names take part in wildcard matching; only a long name that
  // itself fits the pattern counts, and only one the code page can spell.
  const std::string suffix = PatternSuffix(pattern);
  std::string found;
  do {
    const DWORD skip = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if ((data.dwFileAttributes & skip) != 0) continue;
    bool lossy = false;
    const std::string name = ToAnsi(data.cFileName, lstrlenW(data.cFileName), &lossy);
    if (!lossy && EndsWithIgnoringCase(name, suffix)) {
      found = name;
      break;
    }
  } while (FindNextFileW(search.Get(), &data));
  return found;
}

bool Win32Platform::FileLength(const std::string& path, std::uint64_t* length) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data)) return false;
  if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
  *length = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
  return true;
}

bool Win32Platform::IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

long Win32Platform::StartProgram(const std::string& application, const std::string& commandLine,
                                 const std::string& folder, int showStyle) {
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showStyle);
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  // The agent's own error mode keeps its drive probes quiet; a started
  // program that inherited it would fail silently where the system would
  // name a missing DLL.
  if (!CreateProcessA(application.empty() ? nullptr : application.c_str(), line.data(), nullptr,
                      nullptr, FALSE, CREATE_DEFAULT_ERROR_MODE, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process)) {
    return static_cast<long>(GetLastError());
  }
  // Started and left to run: nothing waits for it.
  ScopedHandle thread(process.hThread);
  ScopedHandle started(process.hProcess);
  return kErrorSuccess;
}

std::string Win32Platform::ExpandEnvironmentOf32BitProgram(const std::string& written) {
#if defined(_WIN64)
  const std::string text = RenameFolderVariablesOf32BitPrograms(written);
#else
  // A 32-bit process, on 64-bit Windows too, has the 32-bit program's view.
  const std::string& text = written;
#endif
  const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), nullptr, 0);
  if (needed == 0) return written;
  std::vector<char> expanded(needed + 1);
  const DWORD got =
      ExpandEnvironmentStringsA(text.c_str(), expanded.data(), static_cast<DWORD>(expanded.size()));
  if (got == 0 || got > expanded.size()) return written;
  return std::string(expanded.data());
}

std::uintptr_t Win32Platform::InstanceHandle() {
  return reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
}

long Win32Platform::OpenRegKey(RegRoot root, const std::string& subKey, RegView view, RegKey* key) {
  HKEY opened = nullptr;
  const LONG rc =
      RegOpenKeyExA(ToHkey(root), subKey.c_str(), 0, KEY_QUERY_VALUE | ViewAccess(view), &opened);
  *key = reinterpret_cast<RegKey>(opened);
  return rc;
}

long Win32Platform::CreateRegKey(RegRoot root, const std::string& subKey, RegKey* key) {
  HKEY created = nullptr;
  const LONG rc = RegCreateKeyExA(ToHkey(root), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, &created, nullptr);
  *key = reinterpret_cast<RegKey>(created);
  return rc;
}

long Win32Platform::QueryRegValue(RegKey key, const std::string& name, std::uint32_t* type,
                                  char* data, std::uint32_t* size) {
  // Strings are read wide and converted exactly (see ansi_text.h); the
  // results keep the meaning of the "A" call: sizes in ANSI bytes, the
  // stored terminator counted when there is one, ERROR_MORE_DATA when the
  // caller's buffer is too small.
  const std::vector<wchar_t> wideName = ToWide(name);
  DWORD valueType = 0;
  DWORD bytes = 0;
  LONG rc = RegQueryValueExW(ToHkey(key), wideName.data(), nullptr, &valueType, nullptr, &bytes);
  if (rc != ERROR_SUCCESS) return rc;
  if (valueType != REG_SZ && valueType != REG_EXPAND_SZ && valueType != REG_MULTI_SZ) {
    DWORD rawSize = *size;
    rc = RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &valueType,
                          reinterpret_cast<BYTE*>(data), &rawSize);
    *type = valueType;
    *size = rawSize;
    return rc;
  }
  std::vector<wchar_t> wide(bytes / sizeof(wchar_t) + 1, L'\0');
  DWORD got = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
  rc = RegQueryValueExW(ToHkey(key), wideName.data(), nullptr, &valueType,
                        reinterpret_cast<BYTE*>(wide.data()), &got);
  if (rc != ERROR_SUCCESS) return rc;
  const std::string ansi = ToAnsi(wide.data(), static_cast<int>(got / sizeof(wchar_t)), nullptr);
  *type = valueType;
  const std::uint32_t available = *size;
  *size = static_cast<std::uint32_t>(ansi.size());
  if (data == nullptr) return ERROR_SUCCESS;
  if (ansi.size() > available) return ERROR_MORE_DATA;
  std::memcpy(data, ansi.data(), ansi.size());
  return ERROR_SUCCESS;
}

long Win32Platform::SetRegValue(RegKey key, const std::string& name, std::uint32_t type,
                                const std::string& data) {
  return RegSetValueExA(ToHkey(key), name.c_str(), 0, type,
                        reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>(data.size() + 1));
}

long Win32Platform::CloseRegKey(RegKey key) { return RegCloseKey(ToHkey(key)); }

std::uint32_t Win32Platform::SendMciString(const std::string& command, char* reply,
                                           std::uint32_t replyLength) {
  static const auto send = LoadSystemFunction<MciSendStringFn>("winmm.dll", "mciSendStringA");
  if (send == nullptr) return MCIERR_CANNOT_LOAD_DRIVER;
  return send(command.c_str(), reply, replyLength, nullptr);
}

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
  // layout (88 bytes on 32-bit Windows, 104 on 64-bit): the shell reads
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
  static_assert(sizeof data.szTip >= sizeof record.szTip, "tip field");
  std::memcpy(data.szTip, record.szTip, sizeof record.szTip);
  return Shell_NotifyIconA(operation, &data) != FALSE;
}

void Win32Platform::ShellOpen(WindowHandle owner, const std::string& file,
                              const std::string& parameters, const std::string& folder,
                              int showStyle) {
  EnsureComInitialized();
  // A program marked to run as administrator, which CreateProcess refuses,
  // is started by the shell once the user consents; the consent prompt
  // belongs to `owner`, or may only flash in the taskbar without it.
  ShellExecuteA(ToHwnd(owner), "Open", file.c_str(), parameters.c_str(), folder.c_str(), showStyle);
}

bool Win32Platform::ShowOpenFileDialog(OpenFileRecord& record) {
  std::vector<char> file(record.file.begin(), record.file.end());
  std::vector<char> fileTitle(record.fileTitle.begin(), record.fileTitle.end());
  // The dialog must never write past the buffers, whatever the record says.
  if (file.size() < record.maxFile || fileTitle.size() < record.maxFileTitle) return false;

  // The record's first form, the only one the logic makes, in this build's
  // layout (76 bytes on 32-bit Windows, 136 on 64-bit, where the dialog
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
  // The dialog moves the current folder to the one browsed to, even with
  // OFN_NOCHANGEDIR on some systems; it is put back, so a folder on a disc
  // never stays in use and later relative names mean what they did.
  std::vector<wchar_t> folder(GetCurrentDirectoryW(0, nullptr) + 1, L'\0');
  const DWORD folderLength = GetCurrentDirectoryW(static_cast<DWORD>(folder.size()), folder.data());
  const BOOL chosen = getOpenFileName(&dialog);
  if (folderLength > 0 && folderLength < folder.size()) SetCurrentDirectoryW(folder.data());
  if (!chosen) return false;
  record.file.assign(file.begin(), file.end());
  record.fileTitle.assign(fileTitle.begin(), fileTitle.end());
  return true;
}

}  // namespace discora
