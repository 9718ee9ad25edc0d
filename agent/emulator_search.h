// The emulators people play console discs with today, found wherever people
// install them: DuckStation and RetroArch (with a PlayStation core) for
// PlayStation discs, PCSX2 for PlayStation 2 discs, RetroArch with a core
// for the other consoles' discs. The search reads the system's uninstall
// entries, Scoop's folders and the installers' default folders, so it runs
// only when a launch needs it: an emulator installed while the agent runs is
// found at the next disc.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "agent/emulator_table.h"
#include "platform/platform.h"

namespace discora {

class RegistryKey;

struct FoundEmulator {
  std::string program;  // full path of its program file
  // Its arguments for a disc, as a template: "%D" stands for the drive's
  // letter (command_line.h).
  std::string discArguments;
};

// What the last reading of the uninstall entries found, kept from one launch
// to the next: for each place installers record themselves in, how many
// entries it had and when its key last changed, and the entries that are
// today's emulators'. Reading a few hundred entries costs a launch more than
// reading the few found before, so a place is read again only when an entry
// was added or removed there (Windows then stamps the key above it, and the
// count tells even a change within one tick of that clock), or when its last
// reading stopped short; the entries found are read at every launch. An
// entry that had no name when read (its installer was still writing it) is
// kept too, and read again once its own key has changed.
struct UninstallRecords {
  struct Entry {
    std::uint64_t writeTime = 0;  // when its key last changed, as read
    unsigned emulators = 0;       // one bit for each TodaysEmulator it is;
                                  // none: it had no name yet
  };
  struct Place {
    bool read = false;  // the whole list was read
    std::uint32_t count = 0;
    std::uint64_t writeTime = 0;
    std::map<std::string, Entry> entries;  // by its key's name
  };
  Place places[3];
};

// What an uninstall entry says it is: its DisplayName and winget's id of its
// package, each "" when absent.
struct EntryNames {
  std::string displayName;
  std::string wingetId;
  // Whether they are `emulator`'s.
  bool Are(TodaysEmulator emulator) const;
};

class EmulatorSearch {
 public:
  EmulatorSearch(Platform& platform, UninstallRecords& records)
      : platform_(platform), records_(records) {}

  // Fills `found` and returns true when `emulator` is installed, for discs
  // of kind `kind` (RetroArch: with a core for them); the first place that
  // holds it wins.
  bool Find(TodaysEmulator emulator, DiscKind kind, FoundEmulator* found);
  // Whether a RetroArch was found, by any search so far, that had no core
  // for the kind of disc it was looked for.
  bool FoundWithoutCore() const { return foundWithoutCore_; }

 private:
  // Whether an entry under the system's Uninstall key, in any place
  // installers record themselves, is the emulator's and names a folder that
  // holds it. An entry is known by what it says, not by its key's name:
  // installers name their keys as they please (a GUID for Inno Setup).
  bool InUninstallEntries();
  // Reads every entry of the open list `entries` again and keeps those that
  // are one of today's emulators' or have no name yet; an entry whose key's
  // name cannot be read is passed over. False when the list could not be
  // read to its end.
  bool ReadEntries(RegistryKey& entries, RegRoot root, RegView view,
                   UninstallRecords::Place* place);
  // Reads again each kept entry without a name whose key has changed since.
  void ReadUnnamedEntries(RegRoot root, RegView view, UninstallRecords::Place* place);
  // Which of today's emulators' the open entry is, one bit each; false when
  // it has no name yet.
  bool EmulatorsOf(RegistryKey& entry, unsigned* emulators);
  // The folder the entry `name` names when it is the emulator's: its
  // InstallLocation, else the folder of its DisplayIcon or its
  // UninstallString; "" when it is another program's or names none.
  std::string EntryFolder(RegRoot root, RegView view, const std::string& name);
  bool OpenEntry(RegistryKey& entry, RegRoot root, RegView view, const std::string& name);
  EntryNames NamesIn(RegistryKey& entry);
  // Whether Scoop's folder of the emulator, the user's or the machine's,
  // holds it. Scoop keeps no record but a fixed layout.
  bool InScoop();
  // The folder `variable` names, else `parentVariable`'s "scoop"; "" when
  // neither is set.
  std::string ScoopFolder(const char* variable, const char* parentVariable);
  // Whether the folder `base` + `rest` holds the emulator; an empty `base`
  // names none.
  bool InFolder(const std::string& base, const char* rest = "");

  Platform& platform_;
  UninstallRecords& records_;
  TodaysEmulator emulator_ = TodaysEmulator::DuckStation;
  DiscKind kind_ = DiscKind::PlayStation;
  FoundEmulator* found_ = nullptr;
  bool foundWithoutCore_ = false;
};

}  // namespace discora
