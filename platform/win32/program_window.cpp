// The platform's search for another program's main window on Win32: by the
// program file its process runs, compared by the file itself where the
// paths' texts differ.
#include "platform/win32/win32_platform.h"

#include <cstring>
#include <utility>
#include <vector>

#include "platform/win32/ansi_text.h"
#include "platform/win32/scoped.h"
#include "platform/win32/system_library.h"

namespace discora {

namespace {

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

}  // namespace discora
