// In-memory stand-ins for the operating system and the main window, so the
// agent's logic can be driven and observed on the build machine. FakePlatform
// keeps a registry, files, drives, an MCI responder, Shift states and other
// programs' windows that a test sets up, and records every call that has an
// effect outside the agent. FakeForm holds the live window values with the
// state the real window has at creation, taken from the same tables the real
// window is built from.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "config/layout.h"
#include "platform/form_window.h"
#include "platform/platform.h"
#include "res/version.h"
#include "tray/tray_menu.h"

namespace discora::test {

// Windows compares paths and registry names without regard to letter case.
std::string Lower(const std::string& text);

// The machine's software keys of 32-bit programs, as 64-bit Windows keeps them.
constexpr char kWow32Software[] = "SOFTWARE\\WOW6432Node";

struct RegValue {
  std::uint32_t type = kRegSz;
  std::string bytes;  // exactly what the value holds, terminating NUL included
};

struct RegKeyData {
  std::map<std::string, RegValue> values;  // by lower-case name
  bool unreadable = false;                 // OpenRegKey is refused
  bool unwritable = false;                 // CreateRegKey is refused
  bool closeFails = false;                 // CloseRegKey reports an error
  std::uint64_t writeTime = 0;             // the change that touched it last
};

// What the agent asked for or did, one record per call.
struct QueryCall {
  std::string name;
  std::uint32_t sizeIn;  // the caller's buffer length
  bool withData;         // false when only the size was asked
};
struct WriteCall {
  std::string name;
  std::uint32_t type;
  std::string data;
};
struct BoxCall {
  WindowHandle owner;
  std::string text, title;
  unsigned flags;
};
struct NotifyCall {
  unsigned operation;
  TrayRecord record;
};
struct ShellCall {
  WindowHandle owner;
  std::string file, parameters, folder;
  int showStyle;
  bool operator==(const ShellCall& o) const {
    return std::tie(owner, file, parameters, folder, showStyle) ==
           std::tie(o.owner, o.file, o.parameters, o.folder, o.showStyle);
  }
};
struct StartCall {
  std::string application, commandLine, folder;
  int showStyle;
  bool operator==(const StartCall& o) const {
    return std::tie(application, commandLine, folder, showStyle) ==
           std::tie(o.application, o.commandLine, o.folder, o.showStyle);
  }
};

// Scripted answers.
struct MciReply {
  std::uint32_t code = 0;
  std::string text;  // written into the caller's buffer when not empty
};
struct OtherWindow {
  WindowHandle handle;
  bool minimizedOrMaximized;
};

// Every call with an effect outside the agent, in call order.
struct FakeRecords {
  std::vector<std::string> events;  // effects on the outside world, in one list
  std::vector<std::string> driveQueries, searches, isFileQueries, windowSearches, fileReads;
  // Each table of contents and sector read of a disc, as "D: toc" and
  // "D: 150+2" (first sector + count).
  std::vector<std::string> discReads;
  std::vector<std::string> mciCommands;
  std::vector<std::uint32_t> mciLengths;
  std::vector<int> keyQueries;
  std::vector<QueryCall> queries;
  std::vector<WriteCall> writes;
  int createKeyCalls = 0;
  int logicalDriveCalls = 0;
  int closeKeyCalls = 0;
  int enumKeyCalls = 0;
  std::vector<StartCall> starts;
  std::vector<WindowHandle> activated, restored;
  std::vector<BoxCall> boxes;
  std::vector<NotifyCall> notifications;
  std::vector<ShellCall> shellOpens;
  std::vector<OpenFileRecord> dialogs;
  std::vector<TrayNotice> notices;
};

class FakePlatform : public Platform, public FakeRecords {
 public:
  static constexpr std::uintptr_t kInstance = 0x400000;

  // Set-up.
  bool anotherInstance = false;
  std::string appFolder = "C:\\Discora";
  std::map<char, unsigned> drives;                   // drive letter -> GetDriveType result
  std::vector<std::string> folderListing;            // ordinary files seen by a wildcard search
  std::map<std::string, std::string> environment32;  // variable name -> value
  std::map<std::string, std::string> environment;    // the process's own variables
  std::map<std::string, std::string> fileContents;   // lower-case path -> bytes
  std::map<std::string, MciReply> mci;               // exact command -> reply
  // Drives that answer the media query for themselves: the status after an
  // open of that drive answers from here, before `mci`.
  std::map<char, bool> discs;
  // The sectors of the disc in a drive, from sector 0, 2048 bytes each; a
  // drive without any cannot be read. A drive's table of contents, where
  // it gives one.
  std::map<char, std::string> discSectors;
  std::map<char, std::vector<DiscTrack>> discTocs;
  bool logicalDrivesFail = false;        // GetLogicalDrives answers 0
  std::deque<std::int16_t> shiftStates;  // consumed one per query, then shiftDefault
  std::int16_t shiftDefault = 0;
  int cursorX = 0, cursorY = 0;
  std::map<std::string, OtherWindow> windows;        // title -> window
  std::deque<int> boxAnswers;                        // then 1 (IDOK)
  std::function<void(const BoxCall&)> onMessageBox;  // runs while the box is "open"
  std::function<void()> onShellOpen;        // runs inside the shell's start (its consent prompt)
  std::optional<std::string> dialogResult;  // text the dialog writes; nullopt = cancel
  std::function<void()> onDialog;           // runs while the dialog is "open"
  // The emulator's dialog (ChooseFile) answers with dialogResult, unless the
  // chosen path cannot be spelt, or the dialog fails with this error.
  bool chosenUnspellable = false;
  std::uint32_t dialogError = 0;
  long shellError = 0;                      // the shell's answer to ShellOpen
  std::set<std::string> rejectedValues;     // lower-case names whose write fails
  std::map<std::string, long> startErrors;  // command line -> error of its start
  std::set<std::string> overlongKeyNames;   // lower-case subkey names
  // The notification area: absent (no taskbar yet) refuses every call;
  // present, it holds icons by id, adds only a new one, changes and deletes
  // only one it holds.
  bool trayPresent = true;
  std::set<std::uint32_t> trayIcons;

  // A file a folder search can find too (the folder listing above is found
  // in any folder).
  void AddFile(const std::string& path, std::uint64_t length) {
    files_[Lower(path)] = length;
    filePaths_.push_back(path);
  }
  void AddFile(const std::string& path, const std::string& bytes) {
    AddFile(path, bytes.size());
    fileContents[Lower(path)] = bytes;
  }
  void AddFolder(const std::string& path) { folders_.insert(Lower(path)); }
  // Keys by the path the system stores them under: a 32-bit program's key
  // of the machine's software, such as the emulator's record, is under
  // "SOFTWARE\WOW6432Node" (kWow32Software), as on 64-bit Windows.
  // A key made here touches the key above it, as on Windows.
  RegKeyData& Key(RegRoot root, const std::string& subKey);
  bool HasKey(RegRoot root, const std::string& subKey) const {
    return keys_.count({root, Lower(subKey)}) != 0;
  }
  // A string value as the system stores it: the text and its NUL.
  void SetRegText(RegRoot root, const std::string& subKey, const std::string& name,
                  const std::string& text, std::uint32_t type = kRegSz);
  void SetRegBytes(RegRoot root, const std::string& subKey, const std::string& name,
                   std::uint32_t type, const std::string& bytes);
  void SetSetting(const std::string& name, const std::string& text);
  // The text of a stored option up to its NUL, or nullopt when absent.
  std::optional<std::string> Setting(const std::string& name) const;
  void SetDisc(bool present);
  // A CD-ROM drive `letter` whose media query answers from `discs`.
  void AddCdrom(char letter, bool disc);
  std::size_t OpenHandles() const { return handles_.size(); }
  // Forgets every record, so a test sees only what happens after set-up.
  void ClearRecords() { static_cast<FakeRecords&>(*this) = FakeRecords(); }

  // Platform.
  bool AnotherInstanceRunning() override { return anotherInstance; }
  std::string AppFolder() override { return appFolder; }
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
  // Expands from `environment32`, the variables as a 32-bit program has them.
  std::string ExpandEnvironmentOf32BitProgram(const std::string& text) override;
  std::uintptr_t InstanceHandle() override { return kInstance; }
  long OpenRegKey(RegRoot root, const std::string& subKey, RegView view, RegKey* key) override;
  long CreateRegKey(RegRoot root, const std::string& subKey, RegKey* key) override;
  long QueryRegValue(RegKey key, const std::string& name, std::uint32_t* type, char* data,
                     std::uint32_t* size) override;
  long SetRegValue(RegKey key, const std::string& name, std::uint32_t type,
                   const std::string& data) override;
  long CloseRegKey(RegKey key) override;
  // The subkeys a test set up under the key, in the order of their names.
  // A name in `overlongKeyNames` does not fit the caller's buffer.
  long EnumRegSubKey(RegKey key, std::uint32_t index, std::string* name,
                     std::uint64_t* writeTime) override;
  // Its write time is a count of the changes made to the key, its values and
  // its list of subkeys, so far.
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
  // Recorded with the dialogs, as a record holding its owner, filter and title.
  ChosenFile ChooseFile(WindowHandle owner, const std::string& filter,
                        const std::string& title) override;
  std::string ErrorText(long error) override { return "error " + std::to_string(error); }

 private:
  using KeyId = std::pair<RegRoot, std::string>;
  RegKeyData* Open(RegKey handle);
  // The names (lower case) of the key's direct subkeys, in order.
  std::vector<std::string> SubKeyNames(const KeyId& id) const;

  std::map<std::string, std::uint64_t> files_;
  std::vector<std::string> filePaths_;  // as added, letter case kept
  std::set<std::string> folders_;
  std::map<KeyId, RegKeyData> keys_;
  std::map<RegKey, KeyId> handles_;
  RegKey nextHandle_ = 0x100;
  char openDrive_ = 0;  // the drive of the last MCI open
  std::uint64_t changes_ = 0;
};

struct Selection {
  int index, start, length;
};

class FakeForm : public FormWindow {
 public:
  WindowHandle handle = 0x2A2A;
  IconHandle icon = 0x1C0;
  std::string caption = DISCORA_CAPTION;
  std::map<MenuItem, bool> checks = ChecksAtCreation();
  MenuItem popupChoice = MenuItem::None;
  std::function<void()> onPopup;  // runs while the menu is open
  std::vector<std::pair<int, int>> popups;
  bool timerEnabled = true;
  int postedArrivalPolls = 0;  // PostArrivalPoll calls that posted
  bool postSucceeds = true;    // false: the queue refuses the message
  std::array<std::string, kPathRows> paths;
  std::vector<Selection> selections;
  bool visible = false;
  bool unloaded = false;
  int foregroundTakes = 0;  // TakeForeground calls
  int dialogsToFront = 0;   // BringOwnedDialogToFront calls

  WindowHandle Handle() const override { return handle; }
  IconHandle Icon() const override { return icon; }
  std::string Caption() const override { return caption; }
  bool Checked(MenuItem item) const override {
    auto it = checks.find(item);
    return it != checks.end() && it->second;
  }
  void SetChecked(MenuItem item, bool checked) override { checks[item] = checked; }
  MenuItem PopupMenu(int x, int y) override {
    popups.emplace_back(x, y);
    if (onPopup) onPopup();
    return popupChoice;
  }
  void SetTimerEnabled(bool enabled) override { timerEnabled = enabled; }
  bool PostArrivalPoll() override {
    if (postSucceeds) ++postedArrivalPolls;
    return postSucceeds;
  }
  std::string PathText(int index) const override { return paths.at(index); }
  void SetPathText(int index, const std::string& text) override { paths.at(index) = text; }
  void SelectPathText(int index, int start, int length) override {
    selections.push_back({index, start, length});
  }
  std::string LabelCaption(int index) const override { return PathLabelCaption(index); }
  std::function<void()> onTakeForeground;
  void TakeForeground() override {
    ++foregroundTakes;
    if (onTakeForeground) onTakeForeground();
  }
  void BringOwnedDialogToFront() override { ++dialogsToFront; }
  void SetVisible(bool v) override { visible = v; }
  void Unload() override { unloaded = true; }

 private:
  static std::map<MenuItem, bool> ChecksAtCreation() {
    std::map<MenuItem, bool> checks;
    for (const MenuItemSpec& entry : kTrayMenu) checks[entry.item] = entry.checkedAtCreation;
    return checks;
  }
};

}  // namespace discora::test
