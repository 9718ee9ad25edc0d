// The operations Discora asks of the operating system, behind one narrow
// interface. The agent's logic talks only to `Platform` (the system) and to
// `FormWindow` (platform/form_window.h: the live values of its own window),
// so the same logic runs in the real program and in host unit tests against
// fakes. Win32 types and headers stay in platform/win32/ and the program's
// window (app/).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace discora {

// Handles cross this boundary whole, as integers as wide as a pointer: the
// real HWND/HICON/HKEY values of the build, 32 or 64 bits.
using WindowHandle = std::uintptr_t;
using IconHandle = std::uintptr_t;
using RegKey = std::uintptr_t;

// The predefined registry roots the logic opens keys under, named by their
// values in a 32-bit program; the platform hands the system the build's own.
enum class RegRoot : std::uint32_t {
  CurrentUser = 0x80000001u,   // HKEY_CURRENT_USER
  LocalMachine = 0x80000002u,  // HKEY_LOCAL_MACHINE
};

// Which view of the machine's software keys a key is opened in: the running
// program's own, the one every 32-bit program sees (where a 32-bit installer
// writes its records) or the one of 64-bit programs. For a 32-bit program the
// first two are one, and for a 64-bit program the first and the last; on
// 32-bit Windows there is only one.
enum class RegView {
  Own,
  Of32BitPrograms,
  Of64BitPrograms,
};

// Registry value types and results the logic looks at.
constexpr std::uint32_t kRegSz = 1;
constexpr std::uint32_t kRegExpandSz = 2;
constexpr std::uint32_t kRegBinary = 3;
constexpr std::uint32_t kRegDword = 4;
constexpr long kErrorSuccess = 0;
constexpr long kErrorFileNotFound = 2;
constexpr long kErrorAccessDenied = 5;
constexpr long kErrorMoreData = 234;
constexpr long kErrorNoMoreItems = 259;
// CreateProcess of a program marked to run as administrator, from a process
// that is not elevated (ERROR_ELEVATION_REQUIRED).
constexpr long kErrorElevationRequired = 740;

constexpr unsigned kDriveCdrom = 5;

// Window show styles used when starting programs and opening documents.
constexpr int kShowNormal = 1;     // shown normally and activated
constexpr int kShowMinimized = 2;  // minimised and activated

constexpr int kVkShift = 0x10;

// Message box flags and answers.
constexpr unsigned kMbOk = 0x0;
constexpr unsigned kMbYesNo = 0x4;
constexpr unsigned kMbIconQuestion = 0x20;
constexpr unsigned kMbIconExclamation = 0x30;
constexpr unsigned kMbIconInformation = 0x40;
constexpr unsigned kMbDefButton2 = 0x100;
constexpr unsigned kMbTaskModal = 0x2000;  // the thread's other windows wait
constexpr int kIdYes = 6;

// Shell_NotifyIcon operations.
constexpr unsigned kNimAdd = 0;
constexpr unsigned kNimModify = 1;
constexpr unsigned kNimDelete = 2;
constexpr unsigned kNimSetFocus = 3;  // the notification area takes the focus back

// The notification-icon record in its first form (NOTIFYICONDATAA before
// the shell 5.0 additions), whose size is 88 bytes in a 32-bit program. Every
// add and delete passes this record; the platform hands the shell the same
// first form in the layout of the build's own word size.
constexpr std::uint32_t kTrayRecordSize = 88;
struct TrayRecord {
  std::uint32_t cbSize = 0;  // kTrayRecordSize once the record is filled
  WindowHandle hWnd = 0;
  std::uint32_t uID = 0;
  std::uint32_t uFlags = 0;
  std::uint32_t uCallbackMessage = 0;
  IconHandle hIcon = 0;
  char szTip[64] = {};
};

// A balloon notice from the icon (NIF_INFO): title and text, each with its
// NUL within its field, and the balloon's icon. The platform hands the shell
// the shell 5.0 form of the record for it (NOTIFYICONDATAA_V2_SIZE, which
// every Windows from XP on accepts), for a change of the icon added before
// with a TrayRecord.
constexpr std::uint32_t kNoticeInfoIcon = 0x1;  // NIIF_INFO
struct TrayNotice {
  char szInfoTitle[64] = {};
  char szInfo[256] = {};
  std::uint32_t dwInfoFlags = 0;
};

// The fields of one OPENFILENAMEA call in the record's first form (without
// the Windows 2000 additions), whose size is 76 bytes in a 32-bit program; the
// platform hands the dialog that form in the build's own layout. Text
// buffers hold their terminating NULs, so `file` is 255 bytes for nMaxFile 255.
constexpr std::uint32_t kOpenFileRecordSize = 76;
struct OpenFileRecord {
  std::uint32_t structSize = 0;
  WindowHandle owner = 0;
  std::uintptr_t instance = 0;
  std::string filter;  // pairs separated by NUL, ends in two NULs
  std::uint32_t filterIndex = 0;
  std::string file;  // in: 254 blanks + NUL; out: the chosen path + NUL
  std::uint32_t maxFile = 0;
  std::string fileTitle;  // in: 254 blanks + NUL; written by the dialog
  std::uint32_t maxFileTitle = 0;
  std::string initialDir;
  std::string title;
  std::uint32_t flags = 0;
};

// A track of a disc's table of contents: its number, whether it holds data
// (not audio), and its first sector (a logical block address, from 0).
struct DiscTrack {
  unsigned number = 0;
  bool data = false;
  std::uint32_t start = 0;
};

// What the open-file dialog that chooses a program gave. The dialog works in
// the system's wide text, so a path of any length and in any letters can be
// chosen; it crosses this boundary in the ANSI code page, exactly, or as its
// short name, or not at all.
struct ChosenFile {
  enum class Result {
    Chosen,       // `path` names the file chosen
    Cancelled,    // the dialog was closed without a choice
    Unspellable,  // neither its path nor its short name has an exact ANSI form
    Failed,       // the dialog reported an error: `error`
  };
  Result result = Result::Cancelled;
  std::string path;
  std::uint32_t error = 0;  // CommDlgExtendedError's code, with Failed
};

class Platform {
 public:
  virtual ~Platform() = default;

  // Process and files.
  virtual bool AnotherInstanceRunning() = 0;
  // The running program's folder as the system reports it ("C:\Games",
  // "E:\" for a drive root).
  virtual std::string AppFolder() = 0;
  virtual unsigned DriveType(const std::string& rootPath) = 0;
  // The drive letters in use now, one bit each (bit 0 = A:).
  virtual std::uint32_t LogicalDrives() = 0;
  // Name (without folder) of the first ordinary file matching `pattern`
  // (hidden and system files and folders are not returned), or "".
  virtual std::string FindFirstFileName(const std::string& pattern) = 0;
  // Length of the file at `path`; false when it cannot be asked.
  virtual bool FileLength(const std::string& path, std::uint64_t* length) = 0;
  // True when `path` names an existing file (not a folder).
  virtual bool IsFile(const std::string& path) = 0;
  // The first `maxLength` bytes of the file at `path` (all of a shorter
  // file); false when it cannot be opened or read.
  virtual bool ReadFileStart(const std::string& path, std::size_t maxLength,
                             std::string* bytes) = 0;
  // The disc in drive `drive` (a letter), read as a device ("\\.\D:"):
  // opened for reading only and shared with any other reader or writer, so
  // the disc is never locked. Its table of contents, in track order; false
  // when the drive gives none (no disc, or a device that keeps none).
  virtual bool ReadDiscToc(char drive, std::vector<DiscTrack>* tracks) = 0;
  // `count` 2048-byte sectors from sector `first`, whole sectors only
  // (fewer when the disc ends first); false when none could be read.
  virtual bool ReadDiscSectors(char drive, std::uint32_t first, std::uint32_t count,
                               std::string* bytes) = 0;
  // The value of an environment variable of this process; "" when it is not
  // set. A path the code page cannot spell comes as its short name.
  virtual std::string EnvironmentVariable(const std::string& name) = 0;
  // Starts a program without waiting for it, with the system's default error
  // mode. `application` names the file to run explicitly, or is empty to let
  // the system take it from the command line; `folder` is its current folder
  // (empty: the agent's own). Returns 0, or the system's error code when
  // nothing was started.
  virtual long StartProgram(const std::string& application, const std::string& commandLine,
                            const std::string& folder, int showStyle) = 0;
  // Expands the environment variables of a text that a 32-bit program wrote
  // (its installer's registry record) as that program meant them: its
  // "%ProgramFiles%" is the folder of 32-bit programs.
  virtual std::string ExpandEnvironmentOf32BitProgram(const std::string& text) = 0;
  virtual std::uintptr_t InstanceHandle() = 0;

  // Registry, with the same results as the advapi32 calls.
  virtual long OpenRegKey(RegRoot root, const std::string& subKey, RegView view, RegKey* key) = 0;
  virtual long CreateRegKey(RegRoot root, const std::string& subKey, RegKey* key) = 0;
  // `data` may be null to ask the size only; `*size` is the buffer length in
  // and the value's length out.
  virtual long QueryRegValue(RegKey key, const std::string& name, std::uint32_t* type, char* data,
                             std::uint32_t* size) = 0;
  virtual long SetRegValue(RegKey key, const std::string& name, std::uint32_t type,
                           const std::string& data) = 0;
  virtual long CloseRegKey(RegKey key) = 0;
  // The name of the subkey at `index` (from 0) of a key opened by
  // OpenRegKey, and when that subkey last changed (a FILETIME);
  // kErrorNoMoreItems past the last one, kErrorMoreData for a name too long
  // for the call's buffer (the next index goes on).
  virtual long EnumRegSubKey(RegKey key, std::uint32_t index, std::string* name,
                             std::uint64_t* writeTime) = 0;
  // How many subkeys the key has, and when it last changed (a FILETIME, in
  // 100 ns units).
  virtual long QueryRegKeyInfo(RegKey key, std::uint32_t* subKeys, std::uint64_t* writeTime) = 0;

  // Media Control Interface: the call's return code, 0 on success.
  virtual std::uint32_t SendMciString(const std::string& command, char* reply,
                                      std::uint32_t replyLength) = 0;

  // Input and other programs' windows.
  virtual std::int16_t AsyncKeyState(int virtualKey) = 0;
  virtual void CursorPos(int* x, int* y) = 0;
  virtual WindowHandle FindWindowByTitle(const std::string& title) = 0;
  virtual void ActivateWindow(WindowHandle window) = 0;
  virtual bool IsMinimizedOrMaximized(WindowHandle window) = 0;
  // The window menu's Restore command, delivered to that window.
  virtual void RestoreWindow(WindowHandle window) = 0;
  // The main window (the first visible top-level window without an owner)
  // of a running process whose program file is `program`, or 0.
  virtual WindowHandle FindProgramWindow(const std::string& program) = 0;

  // Shell and user interface.
  virtual int ShowMessageBox(WindowHandle owner, const std::string& text, const std::string& title,
                             unsigned flags) = 0;
  virtual bool NotifyIcon(unsigned operation, const TrayRecord& record) = 0;
  // Shows `notice` as a balloon from the icon `record` names.
  virtual bool ShowTrayNotice(const TrayRecord& record, const TrayNotice& notice) = 0;
  // Opens `file` through the shell's "Open" verb, without waiting for what
  // it opens: a web address in the user's browser, or a program started
  // with `parameters` in `folder`, the user's consent asked first when it
  // must run as administrator. `owner` is the window the shell's prompts and
  // messages belong to. Returns 0, or the system's error code when nothing
  // was opened (the user declined the consent prompt, say).
  virtual long ShellOpen(WindowHandle owner, const std::string& file, const std::string& parameters,
                         const std::string& folder, int showStyle) = 0;
  // Shows the open-file dialog; fills `record.file` on success.
  virtual bool ShowOpenFileDialog(OpenFileRecord& record) = 0;
  // Shows the open-file dialog for one existing file, owned by `owner`,
  // with `filter` (pairs separated by NULs, as the record's filter) and
  // `title`, and returns what the user chose.
  virtual ChosenFile ChooseFile(WindowHandle owner, const std::string& filter,
                                const std::string& title) = 0;
  // The system's own words for one of its error codes ("" when it has none).
  virtual std::string ErrorText(long error) = 0;
};

}  // namespace discora
