// The platform's open-file dialogs on Win32: the configuration window's, in
// its first ANSI form, and the one that chooses the emulator, wide, whose
// path comes back in the program's ANSI text exactly or not at all.
#include "platform/win32/win32_platform.h"

#include <cderr.h>
#include <commdlg.h>

#include <cstring>
#include <vector>

#include "platform/win32/ansi_text.h"
#include "platform/win32/system_library.h"

namespace discora {

namespace {

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

}  // namespace

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

}  // namespace discora
