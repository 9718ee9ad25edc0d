// Today's emulators in one table: what each is called (by its uninstall
// entries, winget and Scoop, and by its program file), which kind of disc it
// plays and the arguments it gets for a disc. The search (emulator_search.h)
// and the rule that turns a program the user chose into a command
// (emulator_choice.h) both read it; RetroArch's cores for each console are
// in the consoles' table (console_table.h).
#pragma once

#include <string>

#include "agent/disc_kind.h"
#include "platform/platform.h"

namespace discora {

// In the order the search tries them for a disc they both play.
enum class TodaysEmulator { DuckStation, RetroArch, Pcsx2, Kronos };

struct EmulatorTraits {
  const char* displayName;       // its name, the start of its entries' DisplayName
  const char* wingetIds[2];      // winget's package ids, which its portable
                                 // packages' entries name
  const char* scoopApp;          // its folder under Scoop's "apps" (null: not searched)
  const char* installedProgram;  // its program file in its folder, "*" for
                                 // the part its builds differ in
  const char* programStart;      // how any of its program files' names begin
  bool exactName;                // the name is programStart + ".exe" and no other
  // The kind of disc it plays; for RetroArch, the kind it is chosen for
  // with no disc in the drive.
  DiscKind plays;
  // It plays the discs of every console it has a core for, the core given
  // before the disc.
  bool needsCore;
  // Its arguments for a disc, as a template: "%D" stands for the drive's
  // letter (command_line.h). It opens a drive only as a device path, as a
  // cdrom:// address, or as its root, unquoted.
  const char* discArguments;
  // The search looks for it. One that comes as a bare zip, with no record
  // anywhere, is known only when the user chooses it: another program of a
  // similar name is never taken for it.
  bool searched;
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
     "-batch -fullscreen -- \\\\.\\%D:",
     true},
    {"RetroArch",
     {"Libretro.RetroArch", "Libretro.RetroArch.Nightly"},
     "retroarch",
     "retroarch.exe",
     "retroarch",
     true,
     DiscKind::PlayStation,
     true,
     "\"cdrom://%D:/drive.cue\"",
     true},
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
     "-batch -fullscreen -disc %D:\\",
     true},
    // Kronos' own Qt program ("kronos-qt" in its build) boots the disc in a
    // drive given by its letter: "-c" chooses the drive, "-a" starts it.
    {"Kronos",
     {nullptr, nullptr},
     nullptr,
     nullptr,
     "kronos",
     false,
     DiscKind::Saturn,
     false,
     "-a -c %D:",
     false},
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

// Whether `emulator` plays discs of kind `kind` (a console's, not None),
// given a core for it.
bool Plays(TodaysEmulator emulator, DiscKind kind);

// RetroArch's first core for discs of kind `kind` in the folder "cores" of
// `folder`, best first (console_table.h); "" when it has none.
std::string CoreFor(Platform& platform, const std::string& folder, DiscKind kind);

// The arguments of `emulator` for a disc, as a template, with `core` (a
// full path, for one that needs a core) before the disc.
std::string DiscArgumentsOf(TodaysEmulator emulator, const std::string& core);

}  // namespace discora
