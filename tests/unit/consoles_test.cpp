// The other consoles' discs: each one told from the header of its first data
// track (found through the table of contents), the core RetroArch gets for
// it, the user's own command per console, the notice and the chooser. A
// PlayStation emulator is never started for them.
#include <string>
#include <vector>

#include "agent/console_table.h"
#include "agent/emulator_choice.h"
#include "tray/tray_notice.h"
#include "unit/agent_fixture.h"

namespace discora::test {
namespace {

// `count` sectors of zeros with `text` written at byte `at`.
std::string Header(const std::string& text, std::size_t at = 0, std::size_t count = 2) {
  std::string sectors(count * kSectorSize, '\0');
  sectors.replace(at, text.size(), text);
  return sectors;
}

std::string With(std::string sectors, std::size_t at, const std::string& text) {
  sectors.replace(at, text.size(), text);
  return sectors;
}

const std::string kSaturn = With(Header("SEGA SEGASATURN SEGA ENTERPRISES"), 0x20, "MK-81009  ");
const std::string kSegaCd = With(Header("SEGADISCSYSTEM  SEGAIPMENU"), 0x180, "GM MK-4407 -00");
const std::string kPcFx = Header("PC-FX:Hu_CD-ROM ");
const std::string kPce = Header("PC Engine CD-ROM SYSTEM", kSectorSize + 32);

TEST(DiscHeaderTest, EachConsolesMarkAndCodeAndTheNearMisses) {
  struct Row {
    std::string sectors;
    DiscKind kind;
    std::string code;
  };
  const Row rows[] = {
      {kSaturn, DiscKind::Saturn, "MK-81009"},
      {kSegaCd, DiscKind::SegaCd, "MK-4407"},
      {With(kSegaCd, 0, "SEGABOOTDISC    "), DiscKind::SegaCd, "MK-4407"},
      {With(kSegaCd, 0, "SEGADISC        "), DiscKind::SegaCd, "MK-4407"},
      {With(kSegaCd, 0, "SEGADATADISC    "), DiscKind::SegaCd, "MK-4407"},
      {kPcFx, DiscKind::PcFx, ""},
      // Some PC-FX discs carry the PC Engine CD's mark too.
      {With(kPce, 0, "PC-FX:Hu_CD-ROM "), DiscKind::PcFx, ""},
      {kPce, DiscKind::PcEngineCd, ""},
      // Near misses: letter case, place, the mark cut short or in the wrong
      // sector, a disc read short, an empty or unreadable header.
      {Header("sega segasaturn "), DiscKind::None, ""},
      {Header("SEGA SEGASATURN ", 1), DiscKind::None, ""},
      {Header("SEGA SEGASATURN"), DiscKind::None, ""},
      {Header("SEGADISCSYSTEM"), DiscKind::None, ""},
      {Header("PC Engine CD-ROM SYSTEM", 32), DiscKind::None, ""},
      {Header("PC Engine CD-ROM SYSTEM", kSectorSize + 33), DiscKind::None, ""},
      {kPce.substr(0, kSectorSize + 40), DiscKind::None, ""},
      {Header("CD001", 0), DiscKind::None, ""},
      {std::string(), DiscKind::None, ""},
      // A code of anything but printable text is no code; blanks around it go.
      {With(kSaturn, 0x20, "MK-\n1009  "), DiscKind::Saturn, ""},
      {With(kSaturn, 0x20,
            std::string("T-\xff"
                        "00    ",
                        10)),
       DiscKind::Saturn, ""},
      {With(kSaturn, 0x20, "   T-1234G"), DiscKind::Saturn, "T-1234G"},
      {With(kSaturn, 0x20, std::string(10, ' ')), DiscKind::Saturn, ""},
      {kSaturn.substr(0, 0x24), DiscKind::Saturn, ""},
  };
  for (const Row& row : rows) {
    const DiscIdentity disc = IdentifyHeader(row.sectors);
    EXPECT_EQ(disc.kind, row.kind) << row.sectors.substr(0, 24);
    EXPECT_EQ(disc.code, row.code) << row.sectors.substr(0, 24);
  }
}

constexpr char kRetroArch[] = "C:\\RetroArch-Win64\\retroarch.exe";
constexpr char kCores[] = "C:\\RetroArch-Win64\\cores\\";
constexpr char kSaturnLaunch[] =
    "\"C:\\RetroArch-Win64\\retroarch.exe\" -f -L "
    "\"C:\\RetroArch-Win64\\cores\\mednafen_saturn_libretro.dll\" \"cdrom://D:/drive.cue\"";

class ConsoleDiscTest : public AgentTest {
 protected:
  void InsertDisc(const std::string& sectors) {
    platform.SetDisc(true);
    platform.AddFile("D:\\0.BIN", 10);  // a file system of its own, no boot file
    platform.discSectors['D'] = sectors;
    form.Timer1_Timer();
  }
  void Eject() {
    platform.SetDisc(false);
    platform.discSectors.erase('D');
    form.Timer1_Timer();
  }
  std::vector<std::string> Commands() const {
    std::vector<std::string> lines;
    for (const StartCall& start : platform.starts) lines.push_back(start.commandLine);
    return lines;
  }
};

TEST_F(ConsoleDiscTest, EachConsolesDiscStartsRetroArchWithItsFirstCoreAndReadsOnlyOnArrival) {
  platform.AddFile(kRetroArch, 10);
  for (const char* core : {"mednafen_saturn_libretro.dll", "kronos_libretro.dll",
                           "genesis_plus_gx_wide_libretro.dll", "mednafen_pcfx_libretro.dll",
                           "geargrafx_libretro.dll", "mednafen_supergrafx_libretro.dll"}) {
    platform.AddFile(std::string(kCores) + core, 10);
  }
  StartAgent();
  const std::pair<std::string, const char*> discs[] = {
      {kSaturn, "mednafen_saturn_libretro.dll"},
      {kSegaCd, "genesis_plus_gx_wide_libretro.dll"},
      {kPcFx, "mednafen_pcfx_libretro.dll"},
      {kPce, "mednafen_supergrafx_libretro.dll"},
  };
  for (const auto& [sectors, core] : discs) {
    platform.ClearRecords();
    InsertDisc(sectors);
    for (int tick = 0; tick < 3; ++tick) form.Timer1_Timer();
    EXPECT_EQ(Commands(), std::vector<std::string>{"\"" + std::string(kRetroArch) + "\" -f -L \"" +
                                                   kCores + core + "\" \"cdrom://D:/drive.cue\""});
    EXPECT_EQ(platform.discReads, (std::vector<std::string>{"D: toc", "D: 0+2"}))
        << "read once, when the disc came";
    Eject();
  }
}

TEST_F(ConsoleDiscTest, ThePcEngineCdDataTrackComesFromTheTableOfContents) {
  platform.AddFile(kRetroArch, 10);
  platform.AddFile(std::string(kCores) + "mednafen_pce_fast_libretro.dll", 10);
  StartAgent();
  // Track 1 is the audio warning; the data begins in track 2.
  platform.discTocs['D'] = {{1, false, 0}, {2, true, 3000}, {3, false, 9000}};
  InsertDisc(std::string(3000 * kSectorSize, '\0') + kPce);
  ASSERT_EQ(Commands().size(), 1u);
  EXPECT_NE(Commands()[0].find("mednafen_pce_fast_libretro.dll"), std::string::npos);
  EXPECT_EQ(platform.discReads, (std::vector<std::string>{"D: toc", "D: 3000+2"}));

  // An audio CD: nothing read but its table of contents, nothing started.
  Eject();
  platform.ClearRecords();
  platform.discTocs['D'] = {{1, false, 0}, {2, false, 20000}};
  InsertDisc(kSaturn);
  EXPECT_TRUE(platform.starts.empty());
  EXPECT_TRUE(platform.notices.empty());
  EXPECT_EQ(platform.discReads, std::vector<std::string>{"D: toc"});
}

TEST_F(ConsoleDiscTest, TheUsersCommandPerConsoleWinsAndNoPlayStationEmulatorEverStarts) {
  platform.folderListing = {"cdvgs.exe"};  // Connectix Virtual Game Station beside Discora
  platform.AddFile(kRetroArch, 10);
  platform.AddFile(std::string(kCores) + "mednafen_saturn_libretro.dll", 10);
  platform.AddFile("C:\\Emu\\ss.exe", 10);
  platform.AddFile("C:\\Emu\\md.exe", 10);
  platform.SetSetting("SaturnCommand", "\"C:\\Emu\\ss.exe\" %D:");
  platform.SetSetting("MegaCDCommand", "\"C:\\Emu\\md.exe\" -cd %D:\\");
  platform.SetSetting("PS1Command", "\"C:\\Emu\\md.exe\" -ps1");
  StartAgent();
  InsertDisc(kSaturn);
  Eject();
  InsertDisc(kSegaCd);
  Eject();
  // The PC Engine CD has no command and no core: asked for, never VGS.
  InsertDisc(kPce);
  EXPECT_EQ(Commands(),
            (std::vector<std::string>{"\"C:\\Emu\\ss.exe\" D:", "\"C:\\Emu\\md.exe\" -cd D:\\"}));
  ASSERT_EQ(platform.notices.size(), 1u);
  EXPECT_STREQ(platform.notices[0].szInfoTitle, "PC Engine CD disc: no emulator");
  EXPECT_STREQ(platform.notices[0].szInfo,
               "RetroArch has no core for the disc in D:. Install Beetle PCE FAST with its Online "
               "Updater, or click here to choose another emulator.");
}

TEST_F(ConsoleDiscTest, WithoutAnEmulatorTheNoticeNamesDriveAndCodeAndTheChooserWritesItsCommand) {
  platform.AddFile("C:\\Games\\RA\\retroarch.exe", 10);
  platform.AddFile("C:\\Games\\RA\\cores\\genesis_plus_gx_libretro.dll", 10);
  platform.AddFile("C:\\Games\\Kronos\\kronos-qt.exe", 10);
  StartAgent();
  // A Sega CD disc, no emulator found: RetroArch with its core, chosen,
  // writes the Sega CD's command.
  InsertDisc(kSegaCd);
  ASSERT_EQ(platform.notices.size(), 1u);
  EXPECT_STREQ(platform.notices[0].szInfoTitle, "Sega CD / Mega-CD disc: no emulator");
  EXPECT_STREQ(platform.notices[0].szInfo,
               "No emulator was found for the disc in D: (MK-4407). Click here to choose the "
               "emulator.");
  platform.dialogResult = "C:\\Games\\RA\\retroarch.exe";
  form.Form_MouseMove(kTrayBalloonClick);
  EXPECT_EQ(platform.dialogs[0].title, "Choose the emulator for Sega CD / Mega-CD discs");
  EXPECT_EQ(platform.Setting("MegaCDCommand"),
            "\"C:\\Games\\RA\\retroarch.exe\" -f -L "
            "\"C:\\Games\\RA\\cores\\genesis_plus_gx_libretro.dll\" \"cdrom://%D:/drive.cue\"");
  EXPECT_FALSE(platform.Setting("PS1Command"));
  Eject();

  // A Saturn disc, RetroArch found without its core: the notice names it.
  platform.AddFile(kRetroArch, 10);
  platform.ClearRecords();
  InsertDisc(kSaturn);
  ASSERT_EQ(platform.notices.size(), 1u);
  EXPECT_STREQ(platform.notices[0].szInfoTitle, "Saturn disc: no emulator");
  EXPECT_NE(std::string(platform.notices[0].szInfo).find("Install Beetle Saturn"),
            std::string::npos);
  // RetroArch without the core, then DuckStation: refused, each with its reason.
  form.Form_MouseMove(kTrayBalloonClick);
  platform.dialogResult = "C:\\Games\\duckstation-qt-x64-ReleaseLTCG.exe";
  form.Form_MouseMove(kTrayBalloonClick);
  ASSERT_EQ(platform.boxes.size(), 2u);
  EXPECT_NE(platform.boxes[0].text.find("no core for Saturn discs"), std::string::npos);
  EXPECT_NE(platform.boxes[0].text.find("Install Beetle Saturn"), std::string::npos);
  EXPECT_NE(platform.boxes[1].text.find("DuckStation cannot play Saturn discs"), std::string::npos);
  // Kronos' own program boots the drive.
  platform.dialogResult = "C:\\Games\\Kronos\\kronos-qt.exe";
  form.Form_MouseMove(kTrayBalloonClick);
  EXPECT_EQ(platform.Setting("SaturnCommand"), "\"C:\\Games\\Kronos\\kronos-qt.exe\" -a -c %D:");
  EXPECT_EQ(Commands(), std::vector<std::string>{"\"C:\\Games\\Kronos\\kronos-qt.exe\" -a -c D:"});
}

TEST_F(ConsoleDiscTest, ADoubleClickLaunchesTheConsoleDiscInTheDriveAndADataDiscStartsNothing) {
  platform.AddFile(kRetroArch, 10);
  platform.AddFile(std::string(kCores) + "mednafen_saturn_libretro.dll", 10);
  StartAgent();
  // No poll has seen it: the click reads the disc.
  platform.SetDisc(true);
  platform.discSectors['D'] = kSaturn;
  form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_EQ(Commands(), std::vector<std::string>{kSaturnLaunch});

  platform.ClearRecords();
  platform.discSectors['D'] = Header("CD001", 16 * kSectorSize, 17);
  platform.AddFile("D:\\SETUP.EXE", 10);
  form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_TRUE(platform.starts.empty());
  EXPECT_TRUE(platform.dialogs.empty());
  EXPECT_TRUE(platform.notices.empty());
}

}  // namespace
}  // namespace discora::test
