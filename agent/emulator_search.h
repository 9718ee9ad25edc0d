// The emulators people play PlayStation discs with today, found where their
// installers put them: DuckStation and RetroArch (with a PlayStation core)
// for PlayStation discs, PCSX2 for PlayStation 2 discs. A search reads a few
// registry values and asks after a few files, so it runs only when a launch
// needs it: an emulator installed while the agent runs is found at the next
// disc.
#pragma once

#include <string>

#include "platform/platform.h"

namespace discora {

enum class TodaysEmulator { DuckStation, RetroArch, Pcsx2 };

struct FoundEmulator {
  std::string program;  // full path of its program file
  // Its arguments for a disc, as a template: "%D" stands for the drive's
  // letter (command_line.h).
  std::string discArguments;
};

class EmulatorSearch {
 public:
  explicit EmulatorSearch(Platform& platform) : platform_(platform) {}

  // Fills `found` and returns true when `emulator` is installed; the first
  // place that holds it wins.
  bool Find(TodaysEmulator emulator, FoundEmulator* found);

 private:
  // The folder an uninstall entry (a key under the system's Uninstall key)
  // names: its InstallLocation, else the folder of its DisplayIcon or its
  // UninstallString; "" when there is none.
  std::string EntryFolder(RegRoot root, RegView view, const char* entry);
  // Whether the entry `entry` of the machine, in either view, or (when
  // `ofUser`) the current user's names a folder that holds the emulator.
  bool InEntryFolders(const char* entry, bool ofUser);
  // Whether the folder `base` + `rest` holds the emulator; an empty `base`
  // names none.
  bool InFolder(const std::string& base, const char* rest = "");

  Platform& platform_;
  TodaysEmulator emulator_ = TodaysEmulator::DuckStation;
  FoundEmulator* found_ = nullptr;
};

}  // namespace discora
