// The platform operations on real Win32, defined by job in the files beside
// this one: files_programs.cpp, disc.cpp, file_dialog.cpp,
// program_window.cpp, registry.cpp, shell_ui.cpp and, for the process's own
// set-up, process_setup.cpp. Texts cross the interface in the
// ANSI code page; where the system's own conversion could turn a name into
// another one, the text is read wide and converted exactly (ansi_text.h).
#pragma once

#include <windows.h>

#include <commdlg.h>
#include <shellapi.h>

#include <cstddef>

#include "platform/platform.h"
#include "platform/win32/scoped.h"

namespace discora {

// The first forms of the two records the logic hands over, in this build's
// layout: NOTIFYICONDATAA_V1_SIZE and OPENFILENAME_SIZE_VERSION_400A, as
// constants the compiler can check.
constexpr DWORD kNotifyIconFirstFormSize = offsetof(NOTIFYICONDATAA, szTip) + 64;
// The form a balloon notice goes in, NOTIFYICONDATAA_V2_SIZE: the shell 5.0
// fields, without the GUID that XP's shell added.
constexpr DWORD kNotifyIconNoticeSize = offsetof(NOTIFYICONDATAA, guidItem);
constexpr DWORD kOpenFileNameFirstFormSize =
    offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(OPENFILENAMEA{}.lpTemplateName);

// A window handle as the logic carries it, back in the system's type.
inline HWND ToHwnd(WindowHandle window) { return reinterpret_cast<HWND>(window); }

class Win32Platform final : public Platform {
 public:
  Win32Platform() = default;
  Win32Platform(const Win32Platform&) = delete;
  Win32Platform& operator=(const Win32Platform&) = delete;

  bool AnotherInstanceRunning() override;
  std::string AppFolder() override;
  unsigned DriveType(const std::string& rootPath) override;
  std::uint32_t LogicalDrives() override;
  std::string FindFirstFileName(const std::string& pattern) override;
  bool FileLength(const std::string& path, std::uint64_t* length) override;
  bool IsFile(const std::string& path) override;
  bool ReadFileStart(const std::string& path, std::size_t maxLength, std::string* bytes) override;
  bool ReadDiscToc(char drive, std::vector<DiscTrack>* tracks) override;
  bool ReadDiscSectors(char drive, std::uint32_t first, std::uint32_t count,
                       std::string* bytes) override;
  std::string EnvironmentVariable(const std::string& name) override;
  long StartProgram(const std::string& application, const std::string& commandLine,
                    const std::string& folder, int showStyle) override;
  std::string ExpandEnvironmentOf32BitProgram(const std::string& text) override;
  std::uintptr_t InstanceHandle() override;

  long OpenRegKey(RegRoot root, const std::string& subKey, RegView view, RegKey* key) override;
  long CreateRegKey(RegRoot root, const std::string& subKey, RegKey* key) override;
  long QueryRegValue(RegKey key, const std::string& name, std::uint32_t* type, char* data,
                     std::uint32_t* size) override;
  long SetRegValue(RegKey key, const std::string& name, std::uint32_t type,
                   const std::string& data) override;
  long CloseRegKey(RegKey key) override;
  long EnumRegSubKey(RegKey key, std::uint32_t index, std::string* name,
                     std::uint64_t* writeTime) override;
  long QueryRegKeyInfo(RegKey key, std::uint32_t* subKeys, std::uint64_t* writeTime) override;

  std::uint32_t SendMciString(const std::string& command, char* reply,
                              std::uint32_t replyLength) override;

  std::int16_t AsyncKeyState(int virtualKey) override;
  void CursorPos(int* x, int* y) override;
  WindowHandle FindWindowByTitle(const std::string& title) override;
  void ActivateWindow(WindowHandle window) override;
  bool IsMinimizedOrMaximized(WindowHandle window) override;
  void RestoreWindow(WindowHandle window) override;
  WindowHandle FindProgramWindow(const std::string& program) override;

  int ShowMessageBox(WindowHandle owner, const std::string& text, const std::string& title,
                     unsigned flags) override;
  bool NotifyIcon(unsigned operation, const TrayRecord& record) override;
  bool ShowTrayNotice(const TrayRecord& record, const TrayNotice& notice) override;
  long ShellOpen(WindowHandle owner, const std::string& file, const std::string& parameters,
                 const std::string& folder, int showStyle) override;
  bool ShowOpenFileDialog(OpenFileRecord& record) override;
  ChosenFile ChooseFile(WindowHandle owner, const std::string& filter,
                        const std::string& title) override;
  std::string ErrorText(long error) override;

 private:
  ScopedHandle instanceMutex_;
};

// Restricts where DLLs are loaded from and keeps drive probes from raising
// the system's blocking error boxes. Called first thing at start-up.
void HardenProcess();

// Loads the common controls and registers their classes; called before the
// first control or message box is made, never at start-up.
void InitCommonControlsOnce();

// The shell (ShellExecute and the handlers it calls) and the common dialogs
// expect COM on the calling thread. It is set up once, on the window's
// thread, just before the first of them: the agent at rest never loads it.
void EnsureComInitialized();

// Lets `message` reach `window` from a process of lower integrity level.
void AllowMessageFromLowerIntegrity(HWND window, UINT message);

}  // namespace discora
