// Watching every CD-ROM drive: the set following drives that come and go,
// each drive's own latch, the drive a launch is for, and where the choice is
// read from.
#include <string>
#include <vector>

#include "unit/agent_fixture.h"

namespace discora::test {
namespace {

constexpr char kEmulatorCommand[] = "\"C:\\Emu\\emu.exe\" -disc %D:";

// A machine with no optical drive at all, its user watching every drive; a
// PlayStation disc starts C:\Emu\emu.exe with the disc's drive letter.
class AllDrivesTest : public ::testing::Test, public Machine {
 protected:
  AllDrivesTest() {
    platform.drives.clear();
    platform.drives['C'] = 3;  // the fixed disk
    platform.SetSetting("AllDrives", "True");
    platform.SetSetting("PS1Command", kEmulatorCommand);
    platform.AddFile("C:\\Emu\\emu.exe", 1000);
  }

  void PlugIn(char letter, bool playStationDisc) {
    platform.AddCdrom(letter, playStationDisc);
    if (playStationDisc) platform.AddFile(std::string(1, letter) + ":\\SYSTEM.CNF", "BOOT = x\r\n");
  }
  void Unplug(char letter) {
    platform.drives.erase(letter);
    platform.discs.erase(letter);
  }
  std::vector<std::string> StartedCommands() {
    std::vector<std::string> lines;
    for (const StartCall& start : platform.starts) lines.push_back(start.commandLine);
    return lines;
  }
  static std::string Started(char letter) {
    return "\"C:\\Emu\\emu.exe\" -disc " + std::string(1, letter) + ":";
  }
};

TEST_F(AllDrivesTest, NoDriveAtStartThenOneAppearsWithADisc) {
  ASSERT_TRUE(form.Form_Load());  // runs, and waits for a drive
  EXPECT_TRUE(platform.mciCommands.empty());
  platform.ClearRecords();

  form.Timer1_Timer();
  EXPECT_EQ(platform.logicalDriveCalls, 1);
  EXPECT_TRUE(platform.mciCommands.empty());
  EXPECT_TRUE(platform.driveQueries.empty());  // nothing came, nothing asked

  PlugIn('F', true);  // an image mounted after the agent started
  form.Timer1_Timer();
  EXPECT_EQ(platform.driveQueries, std::vector<std::string>{"F:\\"});
  EXPECT_EQ(StartedCommands(), std::vector<std::string>{Started('F')});
  form.Timer1_Timer();
  EXPECT_EQ(platform.starts.size(), 1u);
  EXPECT_EQ(platform.driveQueries.size(), 1u);  // an unchanged set asks no type
}

TEST_F(AllDrivesTest, EachDriveHasItsOwnLatchAndStartAppliesToDiscsAtStartUp) {
  PlugIn('D', true);
  PlugIn('E', false);
  StartAgent();  // "Start only on disk mount": D:'s disc counts as seen
  form.Timer1_Timer();
  EXPECT_TRUE(platform.starts.empty());

  PlugIn('E', true);  // a disc into the second drive
  form.Timer1_Timer();
  EXPECT_EQ(StartedCommands(), std::vector<std::string>{Started('E')});
  EXPECT_TRUE(Drive('D').WasPresent);

  Unplug('D');  // removed with its disc in, then plugged back
  form.Timer1_Timer();
  EXPECT_EQ(form.State().Drives.Find('D'), nullptr);
  PlugIn('D', true);
  form.Timer1_Timer();
  EXPECT_EQ(StartedCommands(), (std::vector<std::string>{Started('E'), Started('D')}));
}

TEST_F(AllDrivesTest, ArrivalsNameDrivesWithOrWithoutMedia) {
  PlugIn('D', false);
  StartAgent();
  form.Form_DeviceArrival(DriveBit('A') | DriveBit('B'), true);
  EXPECT_EQ(window.postedArrivalPolls, 0);

  // A new device comes with flags 0, and one message may name two letters.
  PlugIn('G', true);
  platform.drives['H'] = 2;  // a USB stick, not a CD-ROM drive
  form.Form_DeviceArrival(DriveBit('G') | DriveBit('H'), false);
  EXPECT_EQ(window.postedArrivalPolls, 1);
  form.Form_ArrivalPoll();
  EXPECT_EQ(StartedCommands(), std::vector<std::string>{Started('G')});
  EXPECT_EQ(form.State().Drives.Watched(), DriveBit('D') | DriveBit('G'));
}

TEST_F(AllDrivesTest, AFailedLetterQueryForgetsNoDisc) {
  PlugIn('D', true);
  StartAgent();
  platform.logicalDrivesFail = true;
  form.Timer1_Timer();
  EXPECT_EQ(form.State().Drives.Watched(), DriveBit('D'));
  platform.logicalDrivesFail = false;
  form.Timer1_Timer();
  EXPECT_TRUE(platform.starts.empty());
}

TEST_F(AllDrivesTest, TrayDoubleClickTakesTheFirstDriveWithAPlayStationDisc) {
  PlugIn('D', false);
  PlugIn('E', false);
  PlugIn('F', true);
  PlugIn('G', true);
  StartAgent();
  form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_EQ(StartedCommands(), std::vector<std::string>{Started('F')});
}

TEST_F(AllDrivesTest, ALaunchKeepsItsDriveAndRowsWhenTheConsentPromptRunsAPoll) {
  PlugIn('D', false);
  PlugIn('E', false);
  StartAgent();
  window.checks[MenuItem::Utility] = true;
  std::vector<std::string> rows;
  for (int row = 0; row < 3; ++row) {
    window.paths[row] = "C:\\Tools\\u" + std::to_string(row) + ".exe";
    platform.AddFile(window.paths[row], 10);
    rows.push_back(Quoted(window.paths[row]));
  }
  // The first utility runs as administrator: the shell's consent prompt
  // runs a message loop, and a poll there finds a disc in E:.
  platform.startErrors[rows[0]] = kErrorElevationRequired;
  platform.onShellOpen = [this] {
    PlugIn('E', true);
    form.Timer1_Timer();
  };
  PlugIn('D', true);
  form.Timer1_Timer();
  EXPECT_EQ(StartedCommands(),
            (std::vector<std::string>{rows[0], rows[0], rows[1], rows[2], Started('E'), rows[1],
                                      rows[2], Started('D')}));
}

// A removal clears the drive's latch at once, in either mode: a disc
// swapped between two polls (an image replaced in place, a drive plugged
// out and in again) is a new disc.
TEST(DiscSwap, ARemovalThenAnArrivalWithNoPollBetweenLaunches) {
  for (const bool all : {false, true}) {
    Machine m;
    m.platform.SetSetting("AllDrives", all ? "True" : "False");
    m.platform.SetSetting("PS1Command", kEmulatorCommand);
    m.platform.AddFile("C:\\Emu\\emu.exe", 1000);
    m.InsertPlayStationDisc();
    m.StartAgent();  // the disc at start-up counts as seen
    m.form.Timer1_Timer();
    m.form.Form_DeviceRemoval(DriveBit('D'));
    m.form.Form_DeviceArrival(DriveBit('D'), true);
    m.form.Form_ArrivalPoll();
    ASSERT_EQ(m.platform.starts.size(), 1u) << all;
    EXPECT_EQ(m.platform.starts[0].commandLine, "\"C:\\Emu\\emu.exe\" -disc D:");
  }
}

// The user's value, else the machine's in the 64-bit programs' view, else
// the first drive only.
TEST(AllDrivesOption, ReadFromTheUserThenTheMachine) {
  const std::string machine32 = "Software\\WOW6432Node\\Discora\\Settings";
  struct Case {
    const char* user;  // nullptr: absent
    const char* machine;
    const std::string& key;
    bool all;
  } cases[] = {{nullptr, nullptr, kSettingsKey, false}, {"True", nullptr, kSettingsKey, true},
               {nullptr, "True", kSettingsKey, true},   {"False", "True", kSettingsKey, false},
               {"maybe", "True", kSettingsKey, false},  {nullptr, "1", kSettingsKey, true},
               {nullptr, "True", machine32, false}};
  for (const Case& c : cases) {
    Machine m;  // D: empty, E: with a PlayStation disc, which only watching every drive sees
    m.platform.AddCdrom('E', true);
    m.platform.AddFile("E:\\SYSTEM.CNF", "BOOT = x\r\n");
    m.platform.SetSetting("Start", "False");
    m.platform.folderListing = {"vgs.exe"};
    if (c.user) m.platform.SetSetting("AllDrives", c.user);
    if (c.machine) m.platform.SetRegText(RegRoot::LocalMachine, c.key, "AllDrives", c.machine);
    ASSERT_TRUE(m.form.Form_Load());
    EXPECT_EQ(m.form.State().Drives.FollowsAll(), c.all)
        << (c.user ? c.user : "-") << "/" << (c.machine ? c.machine : "-");
    EXPECT_EQ(m.platform.starts.size(), c.all ? 1u : 0u);
  }
}

}  // namespace
}  // namespace discora::test
