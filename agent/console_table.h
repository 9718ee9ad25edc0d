// The consoles whose discs Discora starts an emulator for, in one table: how
// a disc of each is told apart, where its header keeps the game's code, the
// command the user may keep for its discs, what its notice and dialog call
// it, and RetroArch's cores that play its discs from a drive. Detection, the
// search, the chooser and the notice all read it; a console is a row.
#pragma once

#include <cstdint>

#include "agent/disc_kind.h"

namespace discora {

// A core in RetroArch's "cores" folder: its file and the name RetroArch's
// Online Updater lists it by.
struct RetroArchCore {
  const char* file;
  const char* name;
};

// The mark a console's discs carry in their first data track: one of
// `texts` at byte `offset` of its sector `sector` (2048-byte sectors). No
// texts: its discs are told by their boot file instead.
struct DiscMark {
  std::uint32_t sector;
  std::uint32_t offset;
  const char* texts[4];
};

// Where a console's disc header keeps the game's code: `length` bytes from
// byte `offset` of the first data track's sector 0, without the blanks
// around it. A length of 0: it keeps none there.
struct CodeField {
  std::uint32_t offset;
  std::uint32_t length;
};

struct ConsoleTraits {
  DiscKind kind;
  // Its name as the notice and the dialog give it: "Saturn disc: no
  // emulator", "Choose the emulator for Saturn discs".
  const char* name;
  const char* commandKey;  // the user's command for its discs (settings.h)
  DiscMark mark;
  CodeField code;
  // RetroArch's cores that read its discs in a drive, best first: RetroArch
  // hands a core the cue it makes for the drive, whose tracks are named
  // "cdrom://D:/drive-track01.bin", and only a core that opens such a name
  // as it stands (or reads the drive itself) can play the disc. None:
  // RetroArch plays none of its discs.
  RetroArchCore cores[4];
};

// The table, in the order the disc headers are compared (console_table.cpp).
extern const ConsoleTraits kConsoles[6];

// The row of `kind`; a disc of no kind is taken for a PlayStation disc,
// whose emulator a launch with no disc starts.
const ConsoleTraits& ConsoleOf(DiscKind kind);

// Whether `kind` is one of the consoles told by their disc's header rather
// than by a boot file.
bool IsHeaderConsole(DiscKind kind);

// The most sectors of a first data track any mark needs.
constexpr std::uint32_t kHeaderSectors = 2;
constexpr std::uint32_t kSectorSize = 2048;

// The console whose mark the first sectors of a disc's first data track
// (`sectors`, 2048 bytes each, fewer when read short) carry, with its game's
// code; DiscKind::None for any other bytes. The bytes come from a disc
// anyone can burn: the code holds only printable ASCII, or is "".
DiscIdentity IdentifyHeader(const std::string& sectors);

}  // namespace discora
