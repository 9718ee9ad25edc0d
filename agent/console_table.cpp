#include "agent/console_table.h"

#include <cstring>

#include "settings/settings.h"

namespace discora {

// The table, in the order the disc headers are compared: the PC-FX mark
// before the PC Engine CD's, as some PC-FX discs carry both. The Sega CD's
// further marks are those disc launchers accept besides the usual one.
const ConsoleTraits kConsoles[6] = {
    {DiscKind::PlayStation,
     "PlayStation",
     keys::kPs1Command,
     {},
     {},
     // SwanStation joins such a name to the cue's folder
     // ("cdrom://D:/cdrom://D:/...") and cannot read the disc.
     {{"mednafen_psx_hw_libretro.dll", "Beetle PSX HW"},
      {"mednafen_psx_libretro.dll", "Beetle PSX"},
      {"pcsx_rearmed_libretro.dll", "PCSX ReARMed"}}},
    {DiscKind::PlayStation2, "PlayStation 2", keys::kPs2Command, {}, {}, {}},
    {DiscKind::Saturn,
     "Saturn",
     keys::kSaturnCommand,
     {0, 0, {"SEGA SEGASATURN "}},
     {0x20, 10},
     // Yabause and YabaSanshiro cannot read RetroArch's cue.
     {{"mednafen_saturn_libretro.dll", "Beetle Saturn"}, {"kronos_libretro.dll", "Kronos"}}},
    {DiscKind::SegaCd,
     "Sega CD / Mega-CD",
     keys::kMegaCdCommand,
     {0, 0, {"SEGADISCSYSTEM  ", "SEGABOOTDISC    ", "SEGADISC        ", "SEGADATADISC    "}},
     {0x183, 8},
     // PicoDrive and clownmdemu cannot read RetroArch's cue.
     {{"genesis_plus_gx_libretro.dll", "Genesis Plus GX"},
      {"genesis_plus_gx_wide_libretro.dll", "Genesis Plus GX Wide"}}},
    {DiscKind::PcFx,
     "PC-FX",
     keys::kPcFxCommand,
     {0, 0, {"PC-FX:Hu_CD-ROM"}},
     {},
     {{"mednafen_pcfx_libretro.dll", "Beetle PC-FX"}}},
    {DiscKind::PcEngineCd,
     "PC Engine CD",
     keys::kPcEngineCdCommand,
     {1, 32, {"PC Engine CD-ROM SYSTEM"}},
     {},
     {{"mednafen_pce_fast_libretro.dll", "Beetle PCE FAST"},
      {"mednafen_pce_libretro.dll", "Beetle PCE"},
      {"mednafen_supergrafx_libretro.dll", "Beetle SuperGrafx"},
      {"geargrafx_libretro.dll", "Geargrafx"}}},
};

namespace {

// The code in `field` of sector 0, without the blanks (and NUL padding)
// around it; "" when it holds anything but printable ASCII, so no control
// character ever reaches a balloon.
std::string CodeIn(const std::string& sectors, const CodeField& field) {
  if (field.length == 0 || sectors.size() < field.offset + field.length) return std::string();
  std::string code = sectors.substr(field.offset, field.length);
  const auto blank = [](char c) { return c == ' ' || c == '\0'; };
  while (!code.empty() && blank(code.back())) code.pop_back();
  std::size_t first = 0;
  while (first < code.size() && blank(code[first])) ++first;
  code.erase(0, first);
  for (const char c : code) {
    if (c < 0x20 || c > 0x7e) return std::string();
  }
  return code;
}

bool HasMark(const std::string& sectors, const DiscMark& mark) {
  const std::size_t at = std::size_t{mark.sector} * kSectorSize + mark.offset;
  for (const char* text : mark.texts) {
    if (text == nullptr) break;
    const std::size_t length = std::strlen(text);
    if (sectors.size() >= at + length && sectors.compare(at, length, text) == 0) return true;
  }
  return false;
}

}  // namespace

const ConsoleTraits& ConsoleOf(DiscKind kind) {
  for (const ConsoleTraits& console : kConsoles) {
    if (console.kind == kind) return console;
  }
  return kConsoles[0];
}

bool IsHeaderConsole(DiscKind kind) {
  const ConsoleTraits& console = ConsoleOf(kind);
  return console.kind == kind && console.mark.texts[0] != nullptr;
}

DiscIdentity IdentifyHeader(const std::string& sectors) {
  DiscIdentity disc;
  for (const ConsoleTraits& console : kConsoles) {
    if (console.mark.texts[0] == nullptr || !HasMark(sectors, console.mark)) continue;
    disc.kind = console.kind;
    disc.code = CodeIn(sectors, console.code);
    break;
  }
  return disc;
}

}  // namespace discora
