// The platform's processes, files, drives and multimedia calls on Win32:
// the one-instance check, the program's folder, drive types, folder
// searches, file tests, starting programs and the MCI strings of the disc
// watcher.
#include "platform/win32/win32_platform.h"

#include <mmsystem.h>

#include <cstring>
#include <vector>

#include "platform/path_folder.h"
#include "platform/win32/ansi_text.h"
#include "platform/win32/scoped.h"
#include "platform/win32/system_library.h"

namespace discora {

namespace {

constexpr char kInstanceMutexName[] = "Discora.DiscoraNotify.SingleInstance";

char UpperCase(char c) {
  // CharUpperA takes a single character in the low word of its argument.
  return static_cast<char>(reinterpret_cast<ULONG_PTR>(
      CharUpperA(reinterpret_cast<LPSTR>(static_cast<ULONG_PTR>(static_cast<unsigned char>(c))))));
}

// Whether `name` fits the file-name part of a search pattern ("*" any run of
// characters, "?" any one), letter case ignored as the system does.
bool NameFits(const char* pattern, const char* name) {
  for (; *pattern != '\0'; ++pattern, ++name) {
    if (*pattern == '*') {
      for (const char* rest = name;; ++rest) {
        if (NameFits(pattern + 1, rest)) return true;
        if (*rest == '\0') return false;
      }
    }
    if (*name == '\0' || (*pattern != '?' && UpperCase(*pattern) != UpperCase(*name))) {
      return false;
    }
  }
  return *name == '\0';
}

// The file-name part of a search pattern.
const char* PatternName(const std::string& pattern) {
  const auto slash = pattern.find_last_of("\\/");
  return pattern.c_str() + (slash == std::string::npos ? 0 : slash + 1);
}

using MciSendStringFn = MCIERROR(WINAPI*)(LPCSTR, LPSTR, UINT, HWND);

}  // namespace

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
  return PathToAnsi(wide.data(), static_cast<int>(wide.size()));
}

unsigned Win32Platform::DriveType(const std::string& rootPath) {
  return GetDriveTypeA(rootPath.c_str());
}

std::uint32_t Win32Platform::LogicalDrives() { return GetLogicalDrives(); }

std::string Win32Platform::FindFirstFileName(const std::string& pattern) {
  WIN32_FIND_DATAW data;
  ScopedFind search(FindFirstFileW(ToWide(pattern).data(), &data));
  if (!search.Valid()) return std::string();
  // Short 8.3 names take part in wildcard matching; only a long name that
  // itself fits the pattern counts, and only one the code page can spell.
  const char* patternName = PatternName(pattern);
  std::string found;
  do {
    const DWORD skip = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    if ((data.dwFileAttributes & skip) != 0) continue;
    bool lossy = false;
    const std::string name = ToAnsi(data.cFileName, lstrlenW(data.cFileName), &lossy);
    if (!lossy && NameFits(patternName, name.c_str())) {
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

bool Win32Platform::ReadFileStart(const std::string& path, std::size_t maxLength,
                                  std::string* bytes) {
  ScopedFile file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.Valid()) return false;
  bytes->assign(maxLength, '\0');
  std::size_t got = 0;
  while (got < maxLength) {
    DWORD read = 0;
    if (!ReadFile(file.Get(), &(*bytes)[got], static_cast<DWORD>(maxLength - got), &read,
                  nullptr)) {
      return false;
    }
    if (read == 0) break;  // the end of the file
    got += read;
  }
  bytes->resize(got);
  return true;
}

std::string Win32Platform::EnvironmentVariable(const std::string& name) {
  // Read wide: the "A" call would spell a user name the code page lacks
  // (a Polish name in code page 1252) with look-alikes or "?". The variables
  // asked for name folders, so one the code page cannot spell is given by
  // its short name.
  const std::vector<wchar_t> wideName = ToWide(name);
  const DWORD needed = GetEnvironmentVariableW(wideName.data(), nullptr, 0);
  if (needed == 0) return std::string();
  std::vector<wchar_t> value(needed + 1);
  const DWORD got =
      GetEnvironmentVariableW(wideName.data(), value.data(), static_cast<DWORD>(value.size()));
  if (got == 0 || got >= value.size()) return std::string();
  return PathToAnsi(value.data(), static_cast<int>(got));
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

std::uintptr_t Win32Platform::InstanceHandle() {
  return reinterpret_cast<std::uintptr_t>(GetModuleHandleA(nullptr));
}

std::uint32_t Win32Platform::SendMciString(const std::string& command, char* reply,
                                           std::uint32_t replyLength) {
  static const auto send = LoadSystemFunction<MciSendStringFn>("winmm.dll", "mciSendStringA");
  if (send == nullptr) return MCIERR_CANNOT_LOAD_DRIVER;
  return send(command.c_str(), reply, replyLength, nullptr);
}

}  // namespace discora
