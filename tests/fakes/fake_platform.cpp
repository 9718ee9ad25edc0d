// The fake system's behaviour. Results follow the Win32 calls the real
// platform layer wraps closely enough that a slip in the logic (a buffer too
// short, a key left open, a path built with the wrong separator) shows up here
// the way it would on Windows.
#include "fakes/fake_platform.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <utility>

#include "settings/settings.h"

namespace discora::test {

namespace {

constexpr long kErrorInvalidHandle = 6;

// Wildcard match with '*' and '?', as a directory search does it.
bool Matches(const char* mask, const char* name) {
  if (*mask == '\0') return *name == '\0';
  if (*mask == '*') return Matches(mask + 1, name) || (*name != '\0' && Matches(mask, name + 1));
  return *name != '\0' && (*mask == '?' || *mask == *name) && Matches(mask + 1, name + 1);
}

// Where 64-bit Windows keeps a key: the machine's software keys of 32-bit
// programs are under SOFTWARE\WOW6432Node; the user's are shared.
std::string StoredPath(RegRoot root, const std::string& subKey, RegView view) {
  const std::string software = "software\\";
  if (root != RegRoot::LocalMachine || view != RegView::Of32BitPrograms ||
      Lower(subKey.substr(0, software.size())) != software) {
    return subKey;
  }
  return std::string(kWow32Software) + subKey.substr(software.size() - 1);
}

}  // namespace

std::string Lower(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

RegKeyData& FakePlatform::Key(RegRoot root, const std::string& subKey) {
  const std::string path = Lower(subKey);
  if (keys_.count({root, path}) == 0 && path.rfind('\\') != std::string::npos) {
    keys_[{root, path.substr(0, path.rfind('\\'))}].writeTime = ++changes_;
  }
  return keys_[{root, path}];
}

void FakePlatform::SetRegText(RegRoot root, const std::string& subKey, const std::string& name,
                              const std::string& text, std::uint32_t type) {
  SetRegBytes(root, subKey, name, type, text + '\0');
}

void FakePlatform::SetRegBytes(RegRoot root, const std::string& subKey, const std::string& name,
                               std::uint32_t type, const std::string& bytes) {
  RegKeyData& key = Key(root, subKey);
  key.values[Lower(name)] = RegValue{type, bytes};
  key.writeTime = ++changes_;
}

void FakePlatform::SetSetting(const std::string& name, const std::string& text) {
  SetRegText(RegRoot::CurrentUser, kSettingsKey, name, text);
}

std::optional<std::string> FakePlatform::Setting(const std::string& name) const {
  auto key = keys_.find({RegRoot::CurrentUser, Lower(kSettingsKey)});
  if (key == keys_.end()) return std::nullopt;
  auto value = key->second.values.find(Lower(name));
  if (value == key->second.values.end()) return std::nullopt;
  const std::string& bytes = value->second.bytes;
  return bytes.substr(0, bytes.find('\0'));
}

void FakePlatform::SetDisc(bool present) {
  mci["status cdvgs media present wait"] = MciReply{0, present ? "true" : "false"};
}

void FakePlatform::AddCdrom(char letter, bool disc) {
  drives[letter] = kDriveCdrom;
  discs[letter] = disc;
}

std::uint32_t FakePlatform::LogicalDrives() {
  ++logicalDriveCalls;
  std::uint32_t mask = 0;
  if (logicalDrivesFail) return mask;
  for (const auto& [letter, type] : drives) {
    if (type > 1 && letter >= 'A' && letter <= 'Z') mask |= 1u << (letter - 'A');
  }
  return mask;
}

unsigned FakePlatform::DriveType(const std::string& rootPath) {
  driveQueries.push_back(rootPath);
  // Anything but "X:\" is not a root the system knows.
  if (rootPath.size() != 3 || rootPath[1] != ':' || rootPath[2] != '\\') return 0;
  auto it = drives.find(static_cast<char>(std::toupper(static_cast<unsigned char>(rootPath[0]))));
  return it == drives.end() ? 1u : it->second;
}

std::string FakePlatform::FindFirstFileName(const std::string& pattern) {
  searches.push_back(pattern);
  const std::string mask = Lower(pattern.substr(pattern.rfind('\\') + 1));
  for (const std::string& name : folderListing) {
    if (Matches(mask.c_str(), Lower(name).c_str())) return name;
  }
  const std::size_t slash = pattern.rfind('\\');
  for (const std::string& path : filePaths_) {
    const std::size_t at = path.rfind('\\');
    if (at == std::string::npos || slash == std::string::npos ||
        Lower(path.substr(0, at)) != Lower(pattern.substr(0, slash))) {
      continue;
    }
    if (Matches(mask.c_str(), Lower(path.substr(at + 1)).c_str())) return path.substr(at + 1);
  }
  return std::string();
}

bool FakePlatform::FileLength(const std::string& path, std::uint64_t* length) {
  const std::string key = Lower(path);
  if (folders_.count(key) != 0) return false;  // a folder has no file length to ask
  auto it = files_.find(key);
  if (it == files_.end()) return false;
  *length = it->second;
  return true;
}

bool FakePlatform::IsFile(const std::string& path) {
  isFileQueries.push_back(path);
  return files_.count(Lower(path)) != 0;
}

bool FakePlatform::ReadFileStart(const std::string& path, std::size_t maxLength,
                                 std::string* bytes) {
  fileReads.push_back(path);
  auto it = fileContents.find(Lower(path));
  if (it == fileContents.end()) return false;
  *bytes = it->second.substr(0, maxLength);
  return true;
}

std::string FakePlatform::EnvironmentVariable(const std::string& name) {
  auto it = environment.find(name);
  return it == environment.end() ? std::string() : it->second;
}

bool FakePlatform::ReadDiscToc(char drive, std::vector<DiscTrack>* tracks) {
  discReads.push_back(std::string(1, drive) + ": toc");
  const auto toc = discTocs.find(drive);
  if (toc == discTocs.end()) return false;
  *tracks = toc->second;
  return true;
}

bool FakePlatform::ReadDiscSectors(char drive, std::uint32_t first, std::uint32_t count,
                                   std::string* bytes) {
  discReads.push_back(std::string(1, drive) + ": " + std::to_string(first) + "+" +
                      std::to_string(count));
  const auto disc = discSectors.find(drive);
  const std::size_t at = std::size_t{first} * 2048;
  if (disc == discSectors.end() || disc->second.size() <= at) return false;
  *bytes = disc->second.substr(at, std::size_t{count} * 2048);
  return true;
}

long FakePlatform::StartProgram(const std::string& application, const std::string& commandLine,
                                const std::string& folder, int showStyle) {
  starts.push_back({application, commandLine, folder, showStyle});
  auto error = startErrors.find(commandLine);
  if (error != startErrors.end()) return error->second;
  events.push_back("start:" + commandLine);
  return kErrorSuccess;
}

std::string FakePlatform::ExpandEnvironmentOf32BitProgram(const std::string& text) {
  std::string out = text;
  for (const auto& [name, value] : environment32) {
    const std::size_t at = Lower(out).find(Lower("%" + name + "%"));
    if (at != std::string::npos) out.replace(at, name.size() + 2, value);
  }
  return out;
}

RegKeyData* FakePlatform::Open(RegKey handle) {
  auto it = handles_.find(handle);
  return it == handles_.end() ? nullptr : &keys_[it->second];
}

long FakePlatform::OpenRegKey(RegRoot root, const std::string& subKey, RegView view, RegKey* key) {
  const KeyId id{root, Lower(StoredPath(root, subKey, view))};
  auto it = keys_.find(id);
  // A key with subkeys exists even when a test set up only those.
  if (it == keys_.end() && !SubKeyNames(id).empty()) it = keys_.emplace(id, RegKeyData()).first;
  if (it == keys_.end()) return kErrorFileNotFound;
  if (it->second.unreadable) return kErrorAccessDenied;
  *key = nextHandle_++;
  handles_[*key] = it->first;
  return kErrorSuccess;
}

long FakePlatform::CreateRegKey(RegRoot root, const std::string& subKey, RegKey* key) {
  ++createKeyCalls;
  const KeyId id{root, Lower(subKey)};
  auto it = keys_.find(id);
  if (it != keys_.end() && it->second.unwritable) return kErrorAccessDenied;
  keys_[id];
  *key = nextHandle_++;
  handles_[*key] = id;
  return kErrorSuccess;
}

long FakePlatform::QueryRegValue(RegKey key, const std::string& name, std::uint32_t* type,
                                 char* data, std::uint32_t* size) {
  RegKeyData* k = Open(key);
  if (k == nullptr) return kErrorInvalidHandle;
  queries.push_back({name, *size, data != nullptr});
  auto it = k->values.find(Lower(name));
  if (it == k->values.end()) return kErrorFileNotFound;
  if (type != nullptr) *type = it->second.type;
  const auto length = static_cast<std::uint32_t>(it->second.bytes.size());
  if (data != nullptr && *size < length) {
    *size = length;
    return kErrorMoreData;
  }
  if (data != nullptr) std::memcpy(data, it->second.bytes.data(), length);
  *size = length;
  return kErrorSuccess;
}

long FakePlatform::SetRegValue(RegKey key, const std::string& name, std::uint32_t type,
                               const std::string& data) {
  RegKeyData* k = Open(key);
  if (k == nullptr) return kErrorInvalidHandle;
  writes.push_back({name, type, data});
  if (rejectedValues.count(Lower(name)) != 0) return kErrorAccessDenied;
  k->values[Lower(name)] = RegValue{type, data + '\0'};
  return kErrorSuccess;
}

long FakePlatform::CloseRegKey(RegKey key) {
  ++closeKeyCalls;
  RegKeyData* k = Open(key);
  if (k == nullptr) return kErrorInvalidHandle;
  handles_.erase(key);
  return k->closeFails ? kErrorInvalidHandle : kErrorSuccess;
}

std::vector<std::string> FakePlatform::SubKeyNames(const KeyId& id) const {
  // The map keeps keys in the order of their paths, so all those below the
  // key follow one another.
  const std::string prefix = id.second + "\\";
  std::set<std::string> names;
  for (auto it = keys_.lower_bound({id.first, prefix});
       it != keys_.end() && it->first.first == id.first &&
       it->first.second.compare(0, prefix.size(), prefix) == 0;
       ++it) {
    const std::string& path = it->first.second;
    names.insert(path.substr(prefix.size(), path.find('\\', prefix.size()) - prefix.size()));
  }
  return {names.begin(), names.end()};
}

long FakePlatform::EnumRegSubKey(RegKey key, std::uint32_t index, std::string* name,
                                 std::uint64_t* writeTime) {
  auto handle = handles_.find(key);
  if (handle == handles_.end()) return kErrorInvalidHandle;
  ++enumKeyCalls;
  const std::vector<std::string> names = SubKeyNames(handle->second);
  if (index >= names.size()) return kErrorNoMoreItems;
  if (overlongKeyNames.count(names[index]) != 0) return kErrorMoreData;
  *name = names[index];
  const auto sub = keys_.find({handle->second.first, handle->second.second + "\\" + names[index]});
  *writeTime = sub == keys_.end() ? 0 : sub->second.writeTime;
  return kErrorSuccess;
}

long FakePlatform::QueryRegKeyInfo(RegKey key, std::uint32_t* subKeys, std::uint64_t* writeTime) {
  RegKeyData* k = Open(key);
  if (k == nullptr) return kErrorInvalidHandle;
  *subKeys = static_cast<std::uint32_t>(SubKeyNames(handles_[key]).size());
  *writeTime = k->writeTime;
  return kErrorSuccess;
}

std::uint32_t FakePlatform::SendMciString(const std::string& command, char* reply,
                                          std::uint32_t replyLength) {
  mciCommands.push_back(command);
  mciLengths.push_back(replyLength);
  if (command.compare(0, 5, "open ") == 0 && command.size() > 6 && command[6] == ':') {
    openDrive_ = command[5];
  }
  MciReply answer = mci.count(command) != 0 ? mci[command] : MciReply{};
  const auto disc = discs.find(openDrive_);
  if (disc != discs.end()) {
    // A drive of its own: it opens, and answers for its media.
    if (command.compare(0, 5, "open ") == 0) answer = MciReply{0, "1"};
    if (command == "status cdvgs media present wait") {
      answer = drives.count(openDrive_) != 0 ? MciReply{0, disc->second ? "true" : "false"}
                                             : MciReply{263, ""};  // MCIERR_INVALID_DEVICE_NAME
    }
  }
  if (reply != nullptr && replyLength > 0 && !answer.text.empty()) {
    // The reply is cut to the buffer, NUL included, and never written past it.
    const std::size_t n = std::min<std::size_t>(answer.text.size(), replyLength - 1);
    std::memcpy(reply, answer.text.data(), n);
    reply[n] = '\0';
  }
  return answer.code;
}

std::int16_t FakePlatform::AsyncKeyState(int virtualKey) {
  keyQueries.push_back(virtualKey);
  if (shiftStates.empty()) return shiftDefault;
  const std::int16_t state = shiftStates.front();
  shiftStates.pop_front();
  return state;
}

void FakePlatform::CursorPos(int* x, int* y) {
  *x = cursorX;
  *y = cursorY;
}

WindowHandle FakePlatform::FindWindowByTitle(const std::string& title) {
  windowSearches.push_back(title);
  auto it = windows.find(title);
  return it == windows.end() ? 0 : it->second.handle;
}

void FakePlatform::ActivateWindow(WindowHandle window) {
  activated.push_back(window);
  events.push_back("activate");
}

bool FakePlatform::IsMinimizedOrMaximized(WindowHandle window) {
  for (const auto& entry : windows) {
    if (entry.second.handle == window) return entry.second.minimizedOrMaximized;
  }
  return false;
}

WindowHandle FakePlatform::FindProgramWindow(const std::string& program) {
  // No program of the fake machine runs.
  windowSearches.push_back("program:" + program);
  return 0;
}

void FakePlatform::RestoreWindow(WindowHandle window) {
  restored.push_back(window);
  events.push_back("restore");
}

int FakePlatform::ShowMessageBox(WindowHandle owner, const std::string& text,
                                 const std::string& title, unsigned flags) {
  boxes.push_back({owner, text, title, flags});
  events.push_back("box:" + text);
  if (onMessageBox) onMessageBox(boxes.back());
  if (boxAnswers.empty()) return 1;
  const int answer = boxAnswers.front();
  boxAnswers.pop_front();
  return answer;
}

bool FakePlatform::NotifyIcon(unsigned operation, const TrayRecord& record) {
  notifications.push_back({operation, record});
  events.push_back(operation == kNimAdd      ? "add"
                   : operation == kNimModify ? "modify"
                   : operation == kNimDelete ? "delete"
                                             : "other");
  if (!trayPresent) return false;
  const bool held = trayIcons.count(record.uID) != 0;
  if (operation == kNimAdd) return !held && trayIcons.insert(record.uID).second;
  if (operation == kNimDelete) return trayIcons.erase(record.uID) != 0;
  return held;
}

bool FakePlatform::ShowTrayNotice(const TrayRecord& record, const TrayNotice& notice) {
  notices.push_back(notice);
  events.push_back(std::string("notice:") + notice.szInfoTitle);
  return trayPresent && trayIcons.count(record.uID) != 0;
}

long FakePlatform::ShellOpen(WindowHandle owner, const std::string& file,
                             const std::string& parameters, const std::string& folder,
                             int showStyle) {
  shellOpens.push_back({owner, file, parameters, folder, showStyle});
  events.push_back("shell:" + file);
  if (onShellOpen) std::exchange(onShellOpen, nullptr)();
  return shellError;
}

bool FakePlatform::ShowOpenFileDialog(OpenFileRecord& record) {
  dialogs.push_back(record);
  events.push_back("dialog");
  if (onDialog) onDialog();
  if (!dialogResult) return false;
  // The dialog writes the path and its NUL over the start of the buffer and
  // fails when they do not fit.
  const std::string text = *dialogResult + '\0';
  if (text.size() > record.file.size() || text.size() > record.maxFile) return false;
  record.file.replace(0, text.size(), text);
  return true;
}

ChosenFile FakePlatform::ChooseFile(WindowHandle owner, const std::string& filter,
                                    const std::string& title) {
  OpenFileRecord record;
  record.owner = owner;
  record.filter = filter;
  record.title = title;
  dialogs.push_back(record);
  events.push_back("dialog");
  if (onDialog) onDialog();
  ChosenFile chosen;
  if (dialogError != 0) {
    chosen.result = ChosenFile::Result::Failed;
    chosen.error = dialogError;
  } else if (dialogResult && chosenUnspellable) {
    chosen.result = ChosenFile::Result::Unspellable;
  } else if (dialogResult) {
    chosen.result = ChosenFile::Result::Chosen;
    chosen.path = *dialogResult;
  }
  return chosen;
}

}  // namespace discora::test
