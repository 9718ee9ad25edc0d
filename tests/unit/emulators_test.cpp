// Today's emulators: which disc is in the drive, the command lines built for
// it, and the order in which the launcher chooses what to start.
#include <algorithm>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "agent/command_line.h"
#include "agent/disc_kind.h"
#include "agent/emulator_search.h"
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
// The machine's uninstall entries as 64-bit and as 32-bit programs see them.
constexpr char kMachine64[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kMachine32[] =
    "SOFTWARE\\WOW6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// The program the search alone finds on `platform`, or "".
std::string FoundProgram(FakePlatform& platform, TodaysEmulator emulator) {
  FoundEmulator found;
  UninstallRecords records;
  const bool ok =
      EmulatorSearch(platform, records).Find(emulator, TraitsOf(emulator).plays, &found);
  EXPECT_EQ(platform.OpenHandles(), 0u) << "every key it opened is closed";
  return ok ? found.program : "";
}

void SetEntry(FakePlatform& platform, RegRoot root, const std::string& key,
              const std::map<std::string, std::string>& values) {
  for (const auto& [name, text] : values) platform.SetRegText(root, key, name, text);
}

TEST(EmulatorSearchTest, AnEntryIsKnownByItsDisplayNameOrWingetIdInEveryRootAndView) {
  struct Row {
    TodaysEmulator emulator;
    RegRoot root;
    std::string key;
    std::map<std::string, std::string> values;
    std::string program;
  };
  const Row rows[] = {
      // winget's portable package for the user: no DisplayIcon.
      {TodaysEmulator::DuckStation,
       RegRoot::CurrentUser,
       std::string(kUninstall) + "Stenzek.DuckStation_Microsoft.Winget.Source_8wekyb3d8bbwe",
       {{"WinGetPackageIdentifier", "Stenzek.DuckStation"}, {"InstallLocation", "C:\\W\\Duck"}},
       "C:\\W\\Duck\\duckstation-qt-x64-ReleaseLTCG.exe"},
      {TodaysEmulator::DuckStation,
       RegRoot::LocalMachine,
       kMachine64 + std::string("P"),
       {{"WinGetPackageIdentifier", "stenzek.duckstation.preview"},
        {"DisplayIcon", "\"E:\\Duck P\\duckstation-qt-x64-ReleaseLTCG.exe\",0"}},
       "E:\\Duck P\\duckstation-qt-x64-ReleaseLTCG.exe"},
      // Inno Setup's entry: a GUID, and a separator after the folder.
      {TodaysEmulator::Pcsx2,
       RegRoot::LocalMachine,
       kMachine64 + std::string("{13CEE6E5-8EB3-47D3-882E-E9DBB6A3251C}_is1"),
       {{"DisplayName", "PCSX2"}, {"InstallLocation", "E:\\Games\\PCSX2\\"}},
       "E:\\Games\\PCSX2\\pcsx2-qt.exe"},
      {TodaysEmulator::RetroArch,
       RegRoot::LocalMachine,
       kMachine32 + std::string("y"),
       {{"DisplayName", "retroarch 1.22"}, {"UninstallString", "\"E:\\RA\\u.exe\" /x"}},
       "E:\\RA\\retroarch.exe"},
  };
  for (const Row& row : rows) {
    FakePlatform platform;
    SetEntry(platform, row.root, row.key, row.values);
    platform.AddFile(row.program, 1);
    platform.AddFile(FolderOf(row.program) + "\\cores\\pcsx_rearmed_libretro.dll", 1);
    EXPECT_EQ(FoundProgram(platform, row.emulator), row.program) << row.key;
  }
}

TEST(EmulatorSearchTest, OthersEntriesAndEntriesWithoutAFolderArePassedOver) {
  FakePlatform platform;
  // Read first, and each naming a folder that holds a DuckStation.
  const std::pair<const char*, const char*> others[] = {
      {"DisplayName", "Not DuckStation Tools"},
      {"DisplayName", "Duck"},
      {"WinGetPackageIdentifier", "Stenzek.DuckStation.Tools"},
  };
  for (const auto& [name, text] : others) {
    const std::string folder = std::string("C:\\Other\\") + text;
    SetEntry(platform, RegRoot::CurrentUser, kUninstall + std::string(text),
             {{name, text}, {"InstallLocation", folder}});
    platform.AddFile(folder + "\\duckstation-qt-x64-ReleaseLTCG.exe", 1);
  }
  // DuckStation's, but no path in it.
  SetEntry(platform, RegRoot::CurrentUser, kUninstall + std::string("Z"),
           {{"DisplayName", "DuckStation"}, {"UninstallString", "winget uninstall --id Z"}});
  SetEntry(platform, RegRoot::LocalMachine, kMachine64 + std::string("D"),
           {{"DisplayName", "DuckStation"}, {"InstallLocation", "C:\\Duck"}});
  platform.AddFile("C:\\Duck\\duckstation-qt-x64-ReleaseLTCG.exe", 1);
  EXPECT_EQ(FoundProgram(platform, TodaysEmulator::DuckStation),
            "C:\\Duck\\duckstation-qt-x64-ReleaseLTCG.exe");
}

TEST(EmulatorSearchTest, ScoopsFoldersComeAfterTheEntriesAndBeforeTheDefaultFolder) {
  const std::string app = "\\apps\\pcsx2\\current\\pcsx2-qt.exe";
  const std::map<std::string, std::string> all = {{"SCOOP", "D:\\Scoop\\"},
                                                  {"USERPROFILE", "C:\\Users\\Ann"},
                                                  {"SCOOP_GLOBAL", "E:\\Global"},
                                                  {"ProgramData", "C:\\ProgramData"}};
  const std::pair<std::vector<std::string>, std::string> rows[] = {
      {{"SCOOP", "USERPROFILE", "SCOOP_GLOBAL", "ProgramData"}, "D:\\Scoop" + app},
      {{"USERPROFILE", "SCOOP_GLOBAL"}, "C:\\Users\\Ann\\scoop" + app},
      {{"SCOOP_GLOBAL", "ProgramData"}, "E:\\Global" + app},
      {{"ProgramData"}, "C:\\ProgramData\\scoop" + app},
      {{}, kPcsx2},
  };
  for (const auto& [variables, program] : rows) {
    FakePlatform platform;
    platform.environment = {{"ProgramFiles", "C:\\Program Files"}};
    for (const std::string& name : variables) platform.environment[name] = all.at(name);
    for (const char* folder :
         {"D:\\Scoop", "C:\\Users\\Ann\\scoop", "E:\\Global", "C:\\ProgramData\\scoop"}) {
      platform.AddFile(folder + app, 1);
    }
    platform.AddFile(kPcsx2, 1);
    EXPECT_EQ(FoundProgram(platform, TodaysEmulator::Pcsx2), program);
    for (const std::string& asked : platform.isFileQueries) EXPECT_NE(asked[0], '\\') << asked;

    SetEntry(platform, RegRoot::CurrentUser, kUninstall + std::string("PCSX2"),
             {{"DisplayName", "PCSX2"}, {"InstallLocation", "F:\\P"}});
    platform.AddFile("F:\\P\\pcsx2-qt.exe", 1);
    EXPECT_EQ(FoundProgram(platform, TodaysEmulator::Pcsx2), "F:\\P\\pcsx2-qt.exe");
  }
}

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
    SetEntry(platform, RegRoot::CurrentUser, std::string(kUninstall) + "DuckStation",
             {{"DisplayName", "DuckStation"}, {"DisplayIcon", kDuck}});
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
  const std::string entry = kMachine32 + std::string("RetroArch");
  platform.SetRegText(RegRoot::LocalMachine, entry, "DisplayName", "RetroArch");
  platform.SetRegText(RegRoot::LocalMachine, entry, "UninstallString",
                      "\"D:\\Emu\\RetroArch\\uninstall.exe\"");
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

TEST_F(TodaysEmulatorsTest, ALaunchReadsAgainOnlyTheEntriesFoundUntilTheirListChanges) {
  for (int n = 0; n < 20; ++n) {
    SetEntry(platform, RegRoot::CurrentUser, kUninstall + std::to_string(n),
             {{"DisplayName", "X"}});
  }
  SetEntry(platform, RegRoot::LocalMachine, kMachine64 + std::string("D"),
           {{"DisplayName", "DuckStation"}, {"InstallLocation", "E:\\D"}});
  platform.AddFile("E:\\D\\duckstation-qt-x64-ReleaseLTCG.exe", 1);
  StartAgent();
  Reinsert(false);
  platform.ClearRecords();
  Reinsert(false);
  EXPECT_EQ(platform.enumKeyCalls, 0);
  EXPECT_EQ(std::count_if(platform.queries.begin(), platform.queries.end(),
                          [](const QueryCall& q) { return q.name == "DisplayName"; }),
            2)
      << "its own entry's name, its size then its text";

  // Installed for the user too, while the agent runs: the user's entries
  // come first.
  SetEntry(platform, RegRoot::CurrentUser, kUninstall + std::string("U"),
           {{"WinGetPackageIdentifier", "Stenzek.DuckStation"}, {"InstallLocation", "E:\\U"}});
  platform.AddFile("E:\\U\\duckstation-qt-x64-ReleaseLTCG.exe", 1);
  Reinsert(false);
  ASSERT_EQ(platform.starts.size(), 2u);
  EXPECT_EQ(platform.starts[0].application, "E:\\D\\duckstation-qt-x64-ReleaseLTCG.exe");
  EXPECT_EQ(platform.starts[1].application, "E:\\U\\duckstation-qt-x64-ReleaseLTCG.exe");
}

TEST_F(TodaysEmulatorsTest, AnEntryReadBeforeItsNameWasWrittenIsReadAgainOnceItChanges) {
  // Listed while its installer was still writing it: no DisplayName yet.
  const std::string entry = kUninstall + std::string("{GUID}");
  SetEntry(platform, RegRoot::CurrentUser, entry, {{"InstallLocation", "E:\\D"}});
  platform.AddFile("E:\\D\\duckstation-qt-x64-ReleaseLTCG.exe", 1);
  StartAgent();
  Reinsert(false);
  EXPECT_TRUE(platform.starts.empty());
  platform.SetRegText(RegRoot::CurrentUser, entry, "DisplayName", "DuckStation");
  Reinsert(false);
  ASSERT_EQ(platform.starts.size(), 1u);
  EXPECT_EQ(platform.starts[0].application, "E:\\D\\duckstation-qt-x64-ReleaseLTCG.exe");
}

TEST(EmulatorSearchTest, AnEntryWhoseNameIsTooLongForTheBufferHidesNoOther) {
  FakePlatform platform;
  SetEntry(platform, RegRoot::CurrentUser, kUninstall + std::string("A-too-long"),
           {{"DisplayName", "X"}});
  SetEntry(platform, RegRoot::CurrentUser, kUninstall + std::string("B"),
           {{"DisplayName", "PCSX2"}, {"InstallLocation", "F:\\P"}});
  platform.overlongKeyNames.insert("a-too-long");
  platform.AddFile("F:\\P\\pcsx2-qt.exe", 1);
  EXPECT_EQ(FoundProgram(platform, TodaysEmulator::Pcsx2), "F:\\P\\pcsx2-qt.exe");
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
