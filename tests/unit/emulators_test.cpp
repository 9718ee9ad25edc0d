// Today's emulators: which disc is in the drive, the command lines built for
// it, and the order in which the launcher chooses what to start.
#include <string>
#include <vector>

#include "agent/command_line.h"
#include "agent/disc_kind.h"
#include "unit/agent_fixture.h"

namespace discora::test {
namespace {

// A PlayStation 2 disc's boot file, as the discs have it.
constexpr char kPs2BootFile[] = "BOOT2 = cdrom0:\\SLUS_203.12;1\r\nVER = 1.00\r\nVMODE = NTSC\r\n";

TEST(DiscKindTest, OnlyALineWhoseKeyIsBoot2MakesAPlayStation2Disc) {
  const std::vector<std::pair<std::string, DiscKind>> rows = {
      {kPs2BootFile, DiscKind::PlayStation2},
      {"BOOT = cdrom:\\SLUS_000.01;1\r\nTCB = 4\r\n", DiscKind::PlayStation},
      {"VER = 1.00\nBOOT2=cdrom0:\\SLES_500.03;1\n", DiscKind::PlayStation2},  // LF only
      {"VER = 1.00\rBOOT2=x\r", DiscKind::PlayStation2},                       // CR only
      {"  \tboot2 \t = cdrom0:\\A;1", DiscKind::PlayStation2},  // case, blanks, no line end
      {std::string("\xEF\xBB\xBF") + "BOOT2 = x\r\n", DiscKind::PlayStation2},  // a byte-order mark
      {std::string("BOOT2 = x\r\n\0\0\0\x1a", 15), DiscKind::PlayStation2},     // padding after it
      {"BOOT = cdrom:\\BOOT2;1\r\n", DiscKind::PlayStation},                    // BOOT2 in a value
      {"BOOT2X = x\r\nBOOT 2 = x\r\nBOOT2\r\n= x\r\n", DiscKind::PlayStation},
      {"", DiscKind::PlayStation},
      {std::string("BOOT2 = x\r\n\x01\x02junk", 16), DiscKind::PlayStation},  // binary
      {std::string("BOOT2\0= x", 9), DiscKind::PlayStation},
  };
  for (const auto& [text, kind] : rows) EXPECT_EQ(ClassifyBootFile(text), kind) << text;
}

TEST(DiscKindTest, ATextLongerThanTheLimitIsNoBootFile) {
  std::string text = kPs2BootFile;
  text.resize(kBootFileLimit, ' ');
  EXPECT_EQ(ClassifyBootFile(text), DiscKind::PlayStation2);
  EXPECT_EQ(ClassifyBootFile(text + ' '), DiscKind::PlayStation);
}

TEST(CommandLineTest, TheDriveTemplatePutsInTheLetterAndOnePercentForTwo) {
  EXPECT_EQ(ExpandDriveTemplate("-- \\\\.\\%D: -disc %D:\\", 'E'), "-- \\\\.\\E: -disc E:\\");
  EXPECT_EQ(ExpandDriveTemplate("100%% %%D %d %x %", 'D'), "100% %D %d %x %");
  EXPECT_EQ(ExpandDriveTemplate(TemplateLiteral("C:\\50%D%%\\a.dll"), 'D'), "C:\\50%D%%\\a.dll");
}

class UserCommandTest : public AgentTest {};

TEST_F(UserCommandTest, TheProgramIsTheQuotedPathOrTheLongestPrefixThatIsAFile) {
  platform.AddFile("C:\\Games\\My Emu\\emu.exe", 10);
  platform.AddFile("C:\\Games\\My", 10);
  ProgramCommand parts;
  ASSERT_TRUE(SplitUserCommand(platform, "\"C:\\Games\\My Emu\\emu.exe\"  -x  -y ", &parts));
  EXPECT_EQ(parts.program, "C:\\Games\\My Emu\\emu.exe");
  EXPECT_EQ(parts.arguments, "-x  -y");
  ASSERT_TRUE(SplitUserCommand(platform, "C:\\Games\\My Emu\\emu.exe -x", &parts));
  EXPECT_EQ(parts.program, "C:\\Games\\My Emu\\emu.exe");
  EXPECT_EQ(parts.arguments, "-x");
  ASSERT_TRUE(SplitUserCommand(platform, " C:\\Games\\My Emu\\emu.exe", &parts));
  EXPECT_EQ(parts.arguments, "");

  for (const char* nothing : {"", "   ", "\"C:\\Games\\My Emu\\gone.exe\" -x", "\"C:\\Games",
                              "C:\\Games\\Other\\emu.exe -x", "\"\" C:\\Games\\My"}) {
    EXPECT_FALSE(SplitUserCommand(platform, nothing, &parts)) << nothing;
  }
}

constexpr char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kLocal[] = "C:\\Users\\Ann\\AppData\\Local";
constexpr char kDuckFolder[] = "C:\\Users\\Ann\\AppData\\Local\\Programs\\DuckStation";
constexpr char kDuck[] =
    "C:\\Users\\Ann\\AppData\\Local\\Programs\\DuckStation\\duckstation-qt-x64-ReleaseLTCG.exe";
constexpr char kPcsx2[] = "C:\\Program Files\\PCSX2\\pcsx2-qt.exe";

StartCall Started(const std::string& program, const std::string& arguments) {
  const std::string folder = program.substr(0, program.rfind('\\'));
  return {program, Quoted(program) + (arguments.empty() ? "" : " " + arguments), folder, 1};
}

// A machine with no emulator of old, so a launch turns to today's.
class TodaysEmulatorsTest : public AgentTest {
 protected:
  TodaysEmulatorsTest() {
    platform.environment = {{"LOCALAPPDATA", kLocal},
                            {"ProgramW6432", "C:\\Program Files"},
                            {"ProgramFiles", "C:\\Program Files (x86)"},
                            {"SystemDrive", "C:"}};
  }
  void InstallDuckStation() {
    platform.AddFile(kDuck, 100);
    platform.SetRegText(RegRoot::CurrentUser, std::string(kUninstall) + "DuckStation",
                        "DisplayIcon", kDuck);
  }
  void InsertPlayStation2Disc() {
    platform.SetDisc(true);
    platform.AddFile("D:\\SYSTEM.CNF", kPs2BootFile);
  }
  // Takes the disc out and puts one in, a poll after each.
  void Reinsert(bool playStation2) {
    platform.SetDisc(false);
    form.Timer1_Timer();
    if (playStation2) {
      InsertPlayStation2Disc();
    } else {
      InsertPlayStationDisc();
    }
    form.Timer1_Timer();
  }
};

TEST_F(TodaysEmulatorsTest, APlayStationDiscStartsDuckStationFoundByItsUninstallEntry) {
  InstallDuckStation();
  StartAgent();
  InsertPlayStationDisc();
  form.Timer1_Timer();
  EXPECT_EQ(platform.starts,
            std::vector<StartCall>{Started(kDuck, "-batch -fullscreen -- \\\\.\\D:")});
}

TEST_F(TodaysEmulatorsTest, RetroArchNeedsAPlayStationCoreThatReadsDrives) {
  // Its 32-bit installer's entry names the uninstaller, quoted.
  platform.SetRegText(RegRoot::LocalMachine,
                      std::string(kWow32Software) +
                          "\\Microsoft\\Windows\\CurrentVersion\\"
                          "Uninstall\\RetroArch",
                      "UninstallString", "\"D:\\Emu\\RetroArch\\uninstall.exe\"");
  platform.AddFile("D:\\Emu\\RetroArch\\retroarch.exe", 100);
  platform.AddFile("D:\\Emu\\RetroArch\\cores\\snes9x_libretro.dll", 100);
  StartAgent();
  Reinsert(false);
  EXPECT_TRUE(platform.starts.empty());

  platform.AddFile("D:\\Emu\\RetroArch\\cores\\pcsx_rearmed_libretro.dll", 100);
  Reinsert(false);
  EXPECT_EQ(platform.starts, std::vector<StartCall>{Started(
                                 "D:\\Emu\\RetroArch\\retroarch.exe",
                                 "-f -L \"D:\\Emu\\RetroArch\\cores\\pcsx_rearmed_libretro.dll\" "
                                 "\"cdrom://D:/drive.cue\"")});
}

TEST_F(TodaysEmulatorsTest, APlayStation2DiscStartsPcsx2AndNeverAPlayStationEmulator) {
  InstallDuckStation();
  StartAgent();
  InsertPlayStation2Disc();
  form.Timer1_Timer();
  EXPECT_TRUE(platform.starts.empty()) << "no PlayStation 2 emulator: nothing";

  platform.AddFile(kPcsx2, 100);  // installed while the agent runs
  Reinsert(true);
  EXPECT_EQ(platform.starts,
            std::vector<StartCall>{Started(kPcsx2, "-batch -fullscreen -disc D:\\")});
}

TEST_F(TodaysEmulatorsTest, TheUsersCommandWinsAndANameOfNothingStartsNothing) {
  InstallDuckStation();
  platform.folderListing = {"vgs.exe"};
  platform.AddFile("C:\\Emu 1\\my emu.exe", 100);
  platform.SetSetting("PS1Command", "C:\\Emu 1\\my emu.exe -cd %D: -volume 50%%");
  platform.SetSetting("PS2Command", "\"C:\\Emu 1\\gone.exe\" %D:");
  StartAgent();
  Reinsert(false);
  Reinsert(true);
  EXPECT_EQ(platform.starts,
            std::vector<StartCall>{Started("C:\\Emu 1\\my emu.exe", "-cd D: -volume 50%")});
  EXPECT_TRUE(platform.activated.empty());
}

TEST_F(TodaysEmulatorsTest, IdlePollsReadNeitherTheDiscNorTheRegistry) {
  InstallDuckStation();
  StartAgent();
  InsertPlayStationDisc();
  form.Timer1_Timer();
  platform.ClearRecords();
  for (int tick = 0; tick < 3; ++tick) form.Timer1_Timer();
  EXPECT_TRUE(platform.fileReads.empty());
  EXPECT_TRUE(platform.queries.empty());
  EXPECT_TRUE(platform.searches.empty());
}

}  // namespace
}  // namespace discora::test
