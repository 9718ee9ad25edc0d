#include "agent/emulator_search.h"

#include "agent/command_line.h"
#include "settings/registry_key.h"

namespace discora {

namespace {

constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// RetroArch's PlayStation cores that read a disc in a drive, best first.
constexpr const char* kRetroArchCores[] = {
    "mednafen_psx_hw_libretro.dll",
    "mednafen_psx_libretro.dll",
    "pcsx_rearmed_libretro.dll",
};

// `name` in `folder`, with one separator between them.
std::string Joined(const std::string& folder, const char* name) {
  return folder + (folder.back() == '\\' ? "" : "\\") + name;
}

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

bool EmulatorSearch::Find(TodaysEmulator emulator, FoundEmulator* found) {
  emulator_ = emulator;
  found_ = found;
  switch (emulator) {
    case TodaysEmulator::DuckStation:
      // Its installer installs for the current user only.
      return InFolder(EntryFolder(RegRoot::CurrentUser, RegView::Own, "DuckStation")) ||
             InFolder(platform_.EnvironmentVariable("LOCALAPPDATA"), "\\Programs\\DuckStation");
    case TodaysEmulator::RetroArch: {
      std::string drive = platform_.EnvironmentVariable("SystemDrive");
      if (drive.empty()) drive = "C:";
      return InEntryFolders("RetroArch", false) || InFolder(drive, "\\RetroArch-Win64") ||
             InFolder(drive, "\\RetroArch");
    }
    case TodaysEmulator::Pcsx2:
      // The 64-bit programs' folder, as a 32-bit program is told it, then
      // the program's own.
      return InEntryFolders("PCSX2", true) ||
             InFolder(platform_.EnvironmentVariable("ProgramW6432"), "\\PCSX2") ||
             InFolder(platform_.EnvironmentVariable("ProgramFiles"), "\\PCSX2");
  }
  return false;
}

std::string EmulatorSearch::EntryFolder(RegRoot root, RegView view, const char* entry) {
  RegistryKey key(platform_);
  std::string text;
  if (key.Open(root, kUninstallKey + std::string(entry), view) != kErrorSuccess) return text;
  if (key.QueryText("InstallLocation", &text)) {
    std::string folder = PathIn(text);
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    if (!folder.empty()) return folder;
  }
  if (key.QueryText("DisplayIcon", &text)) {
    const std::string folder = FolderOf(PathIn(WithoutIconIndex(text)));
    if (!folder.empty()) return folder;
  }
  return key.QueryText("UninstallString", &text) ? FolderOf(PathIn(text)) : std::string();
}

bool EmulatorSearch::InEntryFolders(const char* entry, bool ofUser) {
  // A 32-bit installer's entry first: most of them are.
  return InFolder(EntryFolder(RegRoot::LocalMachine, RegView::Of32BitPrograms, entry)) ||
         InFolder(EntryFolder(RegRoot::LocalMachine, RegView::Of64BitPrograms, entry)) ||
         (ofUser && InFolder(EntryFolder(RegRoot::CurrentUser, RegView::Own, entry)));
}

bool EmulatorSearch::InFolder(const std::string& base, const char* rest) {
  if (base.empty()) return false;
  const std::string folder = base + rest;
  switch (emulator_) {
    case TodaysEmulator::DuckStation: {
      // Its builds for x64, ARM64 and older processors differ after the dash.
      const std::string name = platform_.FindFirstFileName(Joined(folder, "duckstation-qt-*.exe"));
      if (name.empty()) return false;
      found_->program = Joined(folder, name.c_str());
      // It opens a drive only as a device path.
      found_->discArguments = "-batch -fullscreen -- \\\\.\\%D:";
      return true;
    }
    case TodaysEmulator::RetroArch: {
      found_->program = Joined(folder, "retroarch.exe");
      if (!platform_.IsFile(found_->program)) return false;
      for (const char* core : kRetroArchCores) {
        const std::string corePath = Joined(Joined(folder, "cores"), core);
        if (!platform_.IsFile(corePath)) continue;
        // A drive is a cdrom:// address to it.
        found_->discArguments =
            "-f -L " + TemplateLiteral(Quoted(corePath)) + " \"cdrom://%D:/drive.cue\"";
        return true;
      }
      return false;
    }
    case TodaysEmulator::Pcsx2:
      found_->program = Joined(folder, "pcsx2-qt.exe");
      // It wants the drive's root, unquoted.
      found_->discArguments = "-batch -fullscreen -disc %D:\\";
      return platform_.IsFile(found_->program);
  }
  return false;
}

}  // namespace discora
