// Start-up: whether the agent runs at all, which drive it watches, where it
// finds the emulator, how it reads the emulator's registry value and how the
// stored options become the window's live state.
#include <array>
#include <map>
#include <string>
#include <vector>

#include "settings/settings.h"
#include "unit/agent_fixture.h"

namespace discora::test {
namespace {

using StartupTest = AgentTest;

TEST_F(StartupTest, WatchesTheFirstCdromDriveInLetterOrder) {
  platform.drives['F'] = kDriveCdrom;
  ASSERT_TRUE(form.Form_Load());
  EXPECT_EQ(form.State().CdDrive, "D:");
  EXPECT_EQ(platform.driveQueries, (std::vector<std::string>{"C:\\", "D:\\"}));
  // The first poll runs during start-up, against D:.
  ASSERT_EQ(platform.mciCommands.size(), 3u);
  EXPECT_EQ(platform.mciCommands[0], kOpenD);
}

TEST_F(StartupTest, EndsSilentlyWithoutACdromDriveFromCToZ) {
  const std::vector<std::map<char, unsigned>> machines = {
      {}, {{'A', kDriveCdrom}}, {{'B', kDriveCdrom}}, {{'C', 3}, {'E', 2}}};
  for (const auto& drives : machines) {
    Machine m;
    m.platform.drives = drives;
    EXPECT_FALSE(m.form.Form_Load());
    ASSERT_EQ(m.platform.driveQueries.size(), 24u);
    EXPECT_EQ(m.platform.driveQueries.front(), "C:\\");
    EXPECT_EQ(m.platform.driveQueries.back(), "Z:\\");
    EXPECT_TRUE(m.platform.events.empty());
    EXPECT_TRUE(m.platform.mciCommands.empty());
    EXPECT_TRUE(m.platform.queries.empty());
  }
}

TEST_F(StartupTest, SecondInstanceEndsBeforeLookingAtAnything) {
  platform.anotherInstance = true;
  EXPECT_FALSE(form.Form_Load());
  EXPECT_TRUE(platform.driveQueries.empty());
  EXPECT_TRUE(platform.events.empty());
  EXPECT_TRUE(platform.mciCommands.empty());
}

TEST_F(StartupTest, EmptyStoreGivesDefaultsAndWritesNothing) {
  ASSERT_TRUE(form.Form_Load());
  ASSERT_EQ(platform.notifications.size(), 1u);
  EXPECT_EQ(platform.notifications[0].operation, kNimAdd);
  EXPECT_FALSE(form.State().IconHidden);
  EXPECT_TRUE(window.Checked(MenuItem::Autorun));
  EXPECT_TRUE(window.timerEnabled);
  EXPECT_TRUE(window.Checked(MenuItem::Start));
  EXPECT_TRUE(window.Checked(MenuItem::Utility));
  EXPECT_EQ(window.paths[0], "C:\\Discora\\DX7VGSJoy.exe");
  EXPECT_EQ(window.paths[1], "C:\\Discora\\pec.exe");
  EXPECT_EQ(window.paths[2], "");
  EXPECT_EQ(platform.createKeyCalls, 0);
  EXPECT_TRUE(platform.writes.empty());
  EXPECT_FALSE(platform.HasKey(RegRoot::CurrentUser, kSettingsKey));
  EXPECT_EQ(platform.OpenHandles(), 0u);
  EXPECT_TRUE(platform.boxes.empty());  // no emulator installed is no error
}

TEST_F(StartupTest, AppFolderGetsExactlyOneSeparator) {
  struct Row {
    std::string folder, firstPath, secondPath, vgsSearch, bleemSearch;
  };
  const std::vector<Row> rows = {
      {"E:\\", "E:\\DX7VGSJoy.exe", "E:\\pec.exe", "E:\\\\*vgs.exe", "E:\\\\bleem!.exe"},
      {"C:\\Games", "C:\\Games\\DX7VGSJoy.exe", "C:\\Games\\pec.exe", "C:\\Games\\*vgs.exe",
       "C:\\Games\\bleem!.exe"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.folder);
    Machine m;
    m.platform.appFolder = row.folder;
    ASSERT_TRUE(m.form.Form_Load());
    EXPECT_EQ(m.window.paths[0], row.firstPath);
    EXPECT_EQ(m.window.paths[1], row.secondPath);
    // The emulator search inserts its separator whatever the folder ends in.
    EXPECT_EQ(m.platform.searches, (std::vector<std::string>{row.vgsSearch, row.bleemSearch}));
  }
}

TEST_F(StartupTest, EmulatorPrecedenceIsVgsThenBleemThenRegistry) {
  struct Row {
    std::vector<std::string> listing;
    std::string location;  // "" = no registry value
    std::string path, title;
    bool isBleem, registryRead;
  };
  const std::vector<Row> rows = {
      {{"readme.txt", "VGS.EXE", "bleem!.exe"},
       "C:\\VGS\\vgs.exe",
       "VGS.EXE",
       kVgsTitle,
       false,
       false},
      {{"Bleem!.exe"}, "C:\\VGS\\vgs.exe", "Bleem!.exe", "bleem!", true, false},
      {{"vgs.exe.txt"}, "C:\\VGS\\vgs.exe", "C:\\VGS\\vgs.exe", kVgsTitle, false, true},
      {{}, "", "", kVgsTitle, false, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    Machine m;
    m.platform.folderListing = row.listing;
    m.platform.Key(RegRoot::LocalMachine, kVgsRecordKey);  // installed once, perhaps since removed
    if (!row.location.empty()) {
      m.platform.SetRegText(RegRoot::LocalMachine, kVgsRecordKey, "Location", row.location);
    }
    ASSERT_TRUE(m.form.Form_Load());
    EXPECT_EQ(m.form.State().EmulatorPath, row.path);
    EXPECT_EQ(m.form.State().EmulatorTitle, row.title);
    EXPECT_EQ(m.form.State().IsBleem, row.isBleem);
    bool locationAsked = false;
    for (const QueryCall& q : m.platform.queries) locationAsked |= q.name == "Location";
    EXPECT_EQ(locationAsked, row.registryRead);
  }
}

// The registry value is read into a 255-byte buffer: 254 characters and the
// NUL fit, one more does not.
TEST_F(StartupTest, RegistryLocationFitsUpTo254Characters) {
  const std::vector<std::pair<std::size_t, bool>> rows = {
      {0, false}, {1, true}, {254, true}, {255, false}};
  for (const auto& [length, whole] : rows) {
    SCOPED_TRACE(length);
    Machine m;
    const std::string text(length, 'x');
    m.platform.SetRegText(RegRoot::LocalMachine, kVgsRecordKey, "Location", text);
    ASSERT_TRUE(m.form.Form_Load());
    EXPECT_EQ(m.form.State().EmulatorPath, whole ? text : "");
    ASSERT_FALSE(m.platform.queries.empty());
    EXPECT_EQ(m.platform.queries[0].name, "Location");
    EXPECT_EQ(m.platform.queries[0].sizeIn, 255u);
    EXPECT_TRUE(m.platform.queries[0].withData);
    EXPECT_EQ(m.platform.OpenHandles(), 0u);
  }
  // 255 characters stored without their NUL fill the buffer exactly: still
  // too long to be a whole text.
  Machine unterminated;
  unterminated.platform.SetRegBytes(RegRoot::LocalMachine, kVgsRecordKey, "Location", kRegSz,
                                    std::string(255, 'x'));
  ASSERT_TRUE(unterminated.form.Form_Load());
  EXPECT_EQ(unterminated.form.State().EmulatorPath, "");
  // A value of no bytes at all is empty text too.
  platform.SetRegBytes(RegRoot::LocalMachine, kVgsRecordKey, "Location", kRegSz, "");
  ASSERT_TRUE(form.Form_Load());
  EXPECT_EQ(form.State().EmulatorPath, "");
}

TEST_F(StartupTest, RegistryLocationMustBeAStringValue) {
  struct Row {
    std::uint32_t type;
    std::string bytes, path;
  };
  const std::vector<Row> rows = {
      {kRegSz, std::string("C:\\VGS\\vgs.exe\0junk", 19), "C:\\VGS\\vgs.exe"},
      {kRegSz, "C:\\VGS\\vgs.exe", "C:\\VGS\\vgs.exe"},  // stored without its NUL
      {kRegExpandSz, std::string("%ProgramFiles%\\VGS\\vgs.exe\0", 27),
       "C:\\Program Files (x86)\\VGS\\vgs.exe"},
      {kRegBinary, std::string("C:\\VGS\\vgs.exe\0", 15), ""},
      {kRegDword, std::string("\x01\0\0\0", 4), ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    Machine m;
    m.platform.environment32["PROGRAMFILES"] = "C:\\Program Files (x86)";
    m.platform.SetRegBytes(RegRoot::LocalMachine, kVgsRecordKey, "Location", row.type, row.bytes);
    ASSERT_TRUE(m.form.Form_Load());
    EXPECT_EQ(m.form.State().EmulatorPath, row.path);
  }
}

// The emulator's installer is a 32-bit program: its record is read where
// such a program writes it, never from a 64-bit program's key of that name.
TEST_F(StartupTest, RegistryLocationIsReadFromThe32BitProgramsView) {
  platform.SetRegText(RegRoot::LocalMachine, kVgsKey, "Location", "C:\\Other\\vgs.exe");
  ASSERT_TRUE(form.Form_Load());
  EXPECT_EQ(form.State().EmulatorPath, "");

  Machine m;
  m.platform.SetRegText(RegRoot::LocalMachine, kVgsKey, "Location", "C:\\Other\\vgs.exe");
  m.platform.SetRegText(RegRoot::LocalMachine, kVgsRecordKey, "Location", "C:\\VGS\\vgs.exe");
  ASSERT_TRUE(m.form.Form_Load());
  EXPECT_EQ(m.form.State().EmulatorPath, "C:\\VGS\\vgs.exe");
}

TEST_F(StartupTest, FailedRegistryCloseIsReportedAndStartUpGoesOn) {
  platform.SetRegText(RegRoot::LocalMachine, kVgsRecordKey, "Location", "C:\\VGS\\vgs.exe");
  platform.Key(RegRoot::LocalMachine, kVgsRecordKey).closeFails = true;
  ASSERT_TRUE(form.Form_Load());
  ASSERT_EQ(platform.boxes.size(), 1u);
  EXPECT_EQ(platform.boxes[0].text, std::string("RegCloseKey Failed: ") + kVgsKey);
  EXPECT_EQ(platform.boxes[0].title, "Discora");
  EXPECT_EQ(platform.boxes[0].flags, 48u);
  // The icon is already there when the box shows, and start-up finishes.
  EXPECT_EQ(platform.events.at(0), "add");
  EXPECT_EQ(form.State().EmulatorPath, "C:\\VGS\\vgs.exe");
  EXPECT_EQ(window.paths[1], "C:\\Discora\\pec.exe");
}

TEST_F(StartupTest, StoredOptionsBecomeTheLiveState) {
  platform.SetSetting("Enabled", "false");
  platform.SetSetting("Start", "0");
  platform.SetSetting("StartUtils", "FALSE");
  platform.SetSetting("Hidden", "-1");
  platform.SetSetting("App1", "");
  platform.SetSetting("App2", "D:\\Tools\\pec.exe");
  platform.SetSetting("App3", " C:\\x.exe ");
  ASSERT_TRUE(form.Form_Load());
  EXPECT_FALSE(window.Checked(MenuItem::Autorun));
  EXPECT_FALSE(window.timerEnabled);
  EXPECT_FALSE(window.Checked(MenuItem::Start));
  EXPECT_FALSE(window.Checked(MenuItem::Utility));
  EXPECT_TRUE(form.State().IconHidden);
  EXPECT_TRUE(platform.notifications.empty());
  // A stored empty path stays empty: defaults apply only to absent keys.
  EXPECT_EQ(window.paths, (std::array<std::string, 3>{"", "D:\\Tools\\pec.exe", " C:\\x.exe "}));
  EXPECT_TRUE(platform.writes.empty());
}

TEST_F(StartupTest, UnreadableSwitchKeepsTheStateAtCreation) {
  for (const char* key : {"Enabled", "Start", "StartUtils", "Hidden"}) {
    platform.SetSetting(key, "maybe");
  }
  ASSERT_TRUE(form.Form_Load());
  EXPECT_TRUE(window.Checked(MenuItem::Autorun));
  EXPECT_TRUE(window.timerEnabled);
  EXPECT_TRUE(window.Checked(MenuItem::Start));
  EXPECT_FALSE(window.Checked(MenuItem::Utility));
  EXPECT_FALSE(form.State().IconHidden);
  EXPECT_EQ(platform.notifications.size(), 1u);
}

TEST_F(StartupTest, SettingOfAnotherTypeReadsAsAbsent) {
  platform.SetRegBytes(RegRoot::CurrentUser, kSettingsKey, "StartUtils", kRegDword,
                       std::string(4, '\0'));
  platform.SetRegBytes(RegRoot::CurrentUser, kSettingsKey, "App1", kRegBinary,
                       std::string("C:\\a.exe\0", 9));
  platform.SetRegBytes(RegRoot::CurrentUser, kSettingsKey, "Hidden", kRegDword,
                       std::string("\x01\0\0\0", 4));
  ASSERT_TRUE(form.Form_Load());
  EXPECT_TRUE(window.Checked(MenuItem::Utility));  // the default, not the creation state
  EXPECT_EQ(window.paths[0], "C:\\Discora\\DX7VGSJoy.exe");
  EXPECT_FALSE(form.State().IconHidden);
}

// The "Start" option seeds the latch, so it decides whether a disc already in
// the drive launches during start-up, even with polling off.
TEST_F(StartupTest, StartOptionDecidesWhetherADiscAtStartUpLaunches) {
  InsertPlayStationDisc();
  platform.folderListing = {"vgs.exe"};
  ASSERT_TRUE(form.Form_Load());
  EXPECT_TRUE(platform.starts.empty());
  EXPECT_TRUE(Drive().WasPresent);

  Machine off;
  off.InsertPlayStationDisc();
  off.platform.folderListing = {"vgs.exe"};
  off.platform.SetSetting("Start", "False");
  off.platform.SetSetting("Enabled", "False");
  ASSERT_TRUE(off.form.Form_Load());
  EXPECT_FALSE(off.window.timerEnabled);
  ASSERT_EQ(off.platform.starts.size(), 1u);
  EXPECT_EQ(off.platform.starts[0].application, "C:\\Discora\\vgs.exe");
  EXPECT_TRUE(off.Drive().WasPresent);
}

}  // namespace
}  // namespace discora::test
