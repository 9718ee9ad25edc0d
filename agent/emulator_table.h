// Today's emulators in one table: what each is called (by its uninstall
// entries, winget and Scoop, and by its program file), which kind of disc it
// plays and the arguments it gets for a disc. The search (emulator_search.h)
// and the rule that turns a program the user chose into a command
// (emulator_choice.h) both read it.
#pragma once

#include <string>

#include "agent/disc_kind.h"
#include "platform/platform.h"

namespace discora {

enum class TodaysEmulator { DuckStation, RetroArch, Pcsx2 };

struct EmulatorTraits {
  const char* displayName;       // its name, the start of its entries' DisplayName
  const char* wingetIds[2];      // winget's package ids, which its portable
                                 // packages' entries name
  const char* scoopApp;          // its folder under Scoop's "apps"
  const char* installedProgram;  // its program file in its folder, "*" for
                                 // the part its builds differ in
  const char* programStart;      // how any of its program files' names begin
  bool exactName;                // the name is programStart + ".exe" and no other
  DiscKind plays;
  bool needsCore;  // the disc goes to a core, given before it
  // Its arguments for a disc, as a template: "%D" stands for the drive's
  // letter (command_line.h). It opens a drive only as a device path, as a
  // cdrom:// address, or as its root, unquoted.
  const char* discArguments;
};

inline constexpr EmulatorTraits kTodaysEmulators[] = {
    {"DuckStation",
     {"Stenzek.DuckStation", "Stenzek.DuckStation.Preview"},
     "duckstation",
     "duckstation-qt-*.exe",
     "duckstation",
     false,
     DiscKind::PlayStation,
     false,
     "-batch -fullscreen -- \\\\.\\%D:"},
    {"RetroArch",
     {"Libretro.RetroArch", "Libretro.RetroArch.Nightly"},
     "retroarch",
     "retroarch.exe",
     "retroarch",
     true,
     DiscKind::PlayStation,
     true,
     "\"cdrom://%D:/drive.cue\""},
    {"PCSX2",
     {"PCSX2Team.PCSX2", nullptr},
     "pcsx2",
     "pcsx2-qt.exe",
     // Only its Qt builds take these arguments (pcsx2-qt.exe,
     // pcsx2-qtx64-avx2.exe); the older pcsx2.exe shows its usage box.
     "pcsx2-qt",
     false,
     DiscKind::PlayStation2,
     false,
     "-batch -fullscreen -disc %D:\\"},
};

inline const EmulatorTraits& TraitsOf(TodaysEmulator emulator) {
  return kTodaysEmulators[static_cast<int>(emulator)];
}

// Whether `text` begins with `start`, or is `name`, letter case ignored (the
// names compared are ASCII).
bool BeginsWith(const std::string& text, const char* start);
bool SameName(const std::string& text, const char* name);

// `name` in `folder`, with one separator between them.
std::string Joined(const std::string& folder, const char* name);

// RetroArch's first PlayStation core in the folder "cores" of `folder`, best
// first, that reads a disc in a drive; "" when it has none.
std::string PlayStationCore(Platform& platform, const std::string& folder);

// The arguments of `emulator` for a disc, as a template, with `core` (a
// full path, for one that needs a core) before the disc.
std::string DiscArgumentsOf(TodaysEmulator emulator, const std::string& core);

}  // namespace discora
