#include "agent/emulator_search.h"

#include <cstdint>
#include <cstring>
#include <iterator>

#include "agent/command_line.h"
#include "agent/console_table.h"
#include "settings/registry_key.h"

namespace discora {

namespace {

constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

// Where installers record themselves, in the order they are read: the
// user's own entries (installs for one user, winget's default for portable
// packages), then the machine's as 32-bit programs see them (where most
// installers write), then as 64-bit programs do. On 32-bit Windows the two
// views are one key, read twice.
constexpr struct {
  RegRoot root;
  RegView view;
} kUninstallPlaces[] = {
    {RegRoot::CurrentUser, RegView::Own},
    {RegRoot::LocalMachine, RegView::Of32BitPrograms},
    {RegRoot::LocalMachine, RegView::Of64BitPrograms},
};

// The path in a registry value: inside its quotes, or the whole text.
std::string PathIn(const std::string& text) {
  if (text.empty() || text[0] != '"') return text;
  const std::size_t close = text.find('"', 1);
  return close == std::string::npos ? std::string() : text.substr(1, close - 1);
}

// An icon location without the icon's index after it ("C:\Emu\emu.exe,0").
std::string WithoutIconIndex(const std::string& location) {
  std::size_t end = location.size();
  while (end > 0 && location[end - 1] >= '0' && location[end - 1] <= '9') --end;
  if (end > 0 && location[end - 1] == '-') --end;
  const bool indexed = end > 1 && end < location.size() && location[end - 1] == ',';
  return indexed ? location.substr(0, end - 1) : location;
}

}  // namespace

bool EmulatorSearch::Find(TodaysEmulator emulator, DiscKind kind, FoundEmulator* found) {
  emulator_ = emulator;
  kind_ = kind == DiscKind::None ? DiscKind::PlayStation : kind;
  found_ = found;
  if (!TraitsOf(emulator).searched || !Plays(emulator, kind_)) return false;
  if (InUninstallEntries() || InScoop()) return true;
  // The folders their own installers choose when told nothing else.
  switch (emulator) {
    case TodaysEmulator::DuckStation:
      return InFolder(platform_.EnvironmentVariable("LOCALAPPDATA"), "\\Programs\\DuckStation");
    case TodaysEmulator::RetroArch: {
      std::string drive = platform_.EnvironmentVariable("SystemDrive");
      if (drive.empty()) drive = "C:";
      return InFolder(drive, "\\RetroArch-Win64") || InFolder(drive, "\\RetroArch");
    }
    case TodaysEmulator::Pcsx2:
      // The 64-bit programs' folder, as a 32-bit program is told it, then
      // the program's own.
      return InFolder(platform_.EnvironmentVariable("ProgramW6432"), "\\PCSX2") ||
             InFolder(platform_.EnvironmentVariable("ProgramFiles"), "\\PCSX2");
    case TodaysEmulator::Kronos: break;
  }
  return false;
}

bool EmulatorSearch::InUninstallEntries() {
  for (std::size_t i = 0; i < std::size(kUninstallPlaces); ++i) {
    const auto& place = kUninstallPlaces[i];
    UninstallRecords::Place& known = records_.places[i];
    RegistryKey entries(platform_);
    if (entries.Open(place.root, kUninstallKey, place.view) != kErrorSuccess) {
      known = UninstallRecords::Place();
      continue;
    }
    std::uint32_t count = 0;
    std::uint64_t writeTime = 0;
    const bool asked = entries.Info(&count, &writeTime);
    if (!asked || !known.read || known.count != count || known.writeTime != writeTime) {
      known.read = ReadEntries(entries, place.root, place.view, &known) && asked;
      known.count = count;
      known.writeTime = writeTime;
    } else {
      ReadUnnamedEntries(place.root, place.view, &known);
    }
    const unsigned bit = 1u << static_cast<int>(emulator_);
    for (const auto& [key, entry] : known.entries) {
      if ((entry.emulators & bit) != 0 && InFolder(EntryFolder(place.root, place.view, key))) {
        return true;
      }
    }
  }
  return false;
}

bool EmulatorSearch::ReadEntries(RegistryKey& entries, RegRoot root, RegView view,
                                 UninstallRecords::Place* place) {
  place->entries.clear();
  std::string name;
  std::uint64_t writeTime = 0;
  for (std::uint32_t index = 0;; ++index) {
    const long rc = entries.SubKeyName(index, &name, &writeTime);
    if (rc == kErrorNoMoreItems) return true;
    // A name longer than the call's buffer hides only its own entry.
    if (rc == kErrorMoreData) continue;
    if (rc != kErrorSuccess) return false;
    RegistryKey entry(platform_);
    unsigned emulators = 0;
    if (!OpenEntry(entry, root, view, name)) continue;
    if (!EmulatorsOf(entry, &emulators) || emulators != 0) {
      place->entries[name] = {writeTime, emulators};
    }
  }
}

void EmulatorSearch::ReadUnnamedEntries(RegRoot root, RegView view,
                                        UninstallRecords::Place* place) {
  for (auto it = place->entries.begin(); it != place->entries.end();) {
    UninstallRecords::Entry& known = it->second;
    RegistryKey entry(platform_);
    std::uint32_t subKeys = 0;
    std::uint64_t writeTime = 0;
    if (known.emulators == 0 && OpenEntry(entry, root, view, it->first) &&
        entry.Info(&subKeys, &writeTime) && writeTime != known.writeTime) {
      known.writeTime = writeTime;
      // Named since: kept only when it is an emulator's.
      if (EmulatorsOf(entry, &known.emulators) && known.emulators == 0) {
        it = place->entries.erase(it);
        continue;
      }
    }
    ++it;
  }
}

bool EmulatorSearch::EmulatorsOf(RegistryKey& entry, unsigned* emulators) {
  const EntryNames names = NamesIn(entry);
  *emulators = 0;
  for (int emulator = 0; emulator < static_cast<int>(std::size(kTodaysEmulators)); ++emulator) {
    const auto which = static_cast<TodaysEmulator>(emulator);
    if (TraitsOf(which).searched && names.Are(which)) *emulators |= 1u << emulator;
  }
  return !names.displayName.empty() || !names.wingetId.empty();
}

std::string EmulatorSearch::EntryFolder(RegRoot root, RegView view, const std::string& name) {
  RegistryKey entry(platform_);
  std::string text;
  // Read again: it may have changed since, or gone.
  if (!OpenEntry(entry, root, view, name) || !NamesIn(entry).Are(emulator_)) {
    return text;
  }
  // Inno Setup ends it with a separator.
  if (entry.QueryText("InstallLocation", &text)) {
    std::string folder = PathIn(text);
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    if (!folder.empty()) return folder;
  }
  // winget's entries of portable packages have no icon.
  if (entry.QueryText("DisplayIcon", &text)) {
    const std::string folder = FolderOf(PathIn(WithoutIconIndex(text)));
    if (!folder.empty()) return folder;
  }
  return entry.QueryText("UninstallString", &text) ? FolderOf(PathIn(text)) : std::string();
}

bool EmulatorSearch::OpenEntry(RegistryKey& entry, RegRoot root, RegView view,
                               const std::string& name) {
  return entry.Open(root, std::string(kUninstallKey) + "\\" + name, view) == kErrorSuccess;
}

EntryNames EmulatorSearch::NamesIn(RegistryKey& entry) {
  EntryNames names;
  entry.QueryText("DisplayName", &names.displayName);
  entry.QueryText("WinGetPackageIdentifier", &names.wingetId);
  return names;
}

bool EntryNames::Are(TodaysEmulator emulator) const {
  // Its name begins the entry's DisplayName ("DuckStation", "PCSX2 2.2.0"),
  // or winget's id of its package is there.
  const EmulatorTraits& names = TraitsOf(emulator);
  if (BeginsWith(displayName, names.displayName)) return true;
  for (const char* id : names.wingetIds) {
    if (id != nullptr && SameName(wingetId, id)) return true;
  }
  return false;
}

bool EmulatorSearch::InScoop() {
  // SCOOP and SCOOP_GLOBAL name its folders when set at install; otherwise
  // they are in the user's profile and in the folder of all users' data.
  const std::string app = std::string("\\apps\\") + TraitsOf(emulator_).scoopApp + "\\current";
  return InFolder(ScoopFolder("SCOOP", "USERPROFILE"), app.c_str()) ||
         InFolder(ScoopFolder("SCOOP_GLOBAL", "ProgramData"), app.c_str());
}

std::string EmulatorSearch::ScoopFolder(const char* variable, const char* parentVariable) {
  std::string folder = platform_.EnvironmentVariable(variable);
  if (!folder.empty()) return folder;
  folder = platform_.EnvironmentVariable(parentVariable);
  return folder.empty() ? folder : Joined(folder, "scoop");
}

bool EmulatorSearch::InFolder(const std::string& base, const char* rest) {
  if (base.empty()) return false;
  // A folder named with a separator at its end ("C:\\Scoop\\") gets no second one.
  std::string folder = base;
  while (*rest != '\0' && folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  folder += rest;
  const EmulatorTraits& traits = TraitsOf(emulator_);
  const char* program = traits.installedProgram;
  // Its builds for x64, ARM64 and older processors may differ in a part of
  // the name.
  const std::string name = std::strchr(program, '*') != nullptr
                               ? platform_.FindFirstFileName(Joined(folder, program))
                               : (platform_.IsFile(Joined(folder, program)) ? program : "");
  if (name.empty()) return false;
  found_->program = Joined(folder, name.c_str());
  const std::string core = traits.needsCore ? CoreFor(platform_, folder, kind_) : std::string();
  if (traits.needsCore && core.empty()) {
    // Installed, but without a core for the disc: the user is told which
    // core to get, unless another copy has one.
    foundWithoutCore_ = true;
    return false;
  }
  found_->discArguments = DiscArgumentsOf(emulator_, core);
  return true;
}

namespace {

// `c` in lower case when it is an ASCII capital letter.
char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

}  // namespace

bool BeginsWith(const std::string& text, const char* start) {
  std::size_t i = 0;
  while (start[i] != '\0' && i < text.size() && Folded(text[i]) == Folded(start[i])) ++i;
  return start[i] == '\0';
}

bool SameName(const std::string& text, const char* name) {
  return text.size() == std::strlen(name) && BeginsWith(text, name);
}

std::string Joined(const std::string& folder, const char* name) {
  return folder + (folder.empty() || folder.back() == '\\' ? "" : "\\") + name;
}

bool Plays(TodaysEmulator emulator, DiscKind kind) {
  const EmulatorTraits& traits = TraitsOf(emulator);
  if (!traits.needsCore) return traits.plays == kind;
  const ConsoleTraits& console = ConsoleOf(kind);
  return console.kind == kind && console.cores[0].file != nullptr;
}

std::string CoreFor(Platform& platform, const std::string& folder, DiscKind kind) {
  const ConsoleTraits& console = ConsoleOf(kind);
  if (console.kind != kind) return std::string();
  for (const RetroArchCore& core : console.cores) {
    if (core.file == nullptr) break;
    const std::string corePath = Joined(Joined(folder, "cores"), core.file);
    if (platform.IsFile(corePath)) return corePath;
  }
  return std::string();
}

std::string DiscArgumentsOf(TodaysEmulator emulator, const std::string& core) {
  const EmulatorTraits& traits = TraitsOf(emulator);
  // A core is given by its path, which the template must keep as it is.
  return traits.needsCore ? "-f -L " + TemplateLiteral(Quoted(core)) + " " + traits.discArguments
                          : traits.discArguments;
}

}  // namespace discora
