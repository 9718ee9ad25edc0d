// Which console a disc in the drive was made for. A PlayStation or
// PlayStation 2 disc is told from the boot configuration file at its root
// ("SYSTEM.CNF"): a PlayStation 2 disc names its boot program with a "BOOT2"
// key, a PlayStation disc with "BOOT". The other consoles' discs are told
// from the header of their first data track (console_table.h).
#pragma once

#include <cstddef>
#include <string>

namespace discora {

enum class DiscKind {
  None,          // no console's disc in the drive
  PlayStation,   // the boot file is there (any disc that is not the next kind)
  PlayStation2,  // the boot file names its program with BOOT2
  Saturn,
  SegaCd,  // Sega CD / Mega-CD
  PcFx,
  PcEngineCd,  // PC Engine CD / TurboGrafx-CD
};

// A disc as the launcher sees it: its console and its game's code as the
// box prints it ("SLUS-00740", "MK-81009"), "" when it keeps none or none
// was read.
struct DiscIdentity {
  DiscKind kind = DiscKind::None;
  std::string code;
};

// The most of the boot file ever read: a real one is a few lines long.
constexpr std::size_t kBootFileLimit = 4096;

// The kind of a disc whose boot file starts with `text`, read with a limit
// of kBootFileLimit + 1 bytes. The text comes from a disc anyone can burn:
// anything but a plain text of at most kBootFileLimit bytes holding a line
// whose key is BOOT2 (any letter case, blanks around the "=") is a
// PlayStation disc.
DiscKind ClassifyBootFile(const std::string& text);

// The game's code as its box and the discs' lists print it ("SLUS-00740"),
// from the boot program the boot file names ("BOOT = cdrom:\SLUS_007.40;1");
// "" when the file names none in that form. Read from the same text as
// ClassifyBootFile, with the same rules for what is a boot file.
std::string GameCode(const std::string& text);

}  // namespace discora
