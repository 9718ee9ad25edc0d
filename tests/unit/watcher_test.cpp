// The disc watcher and the launcher: the MCI conversation of one poll, the
// edge latch, Shift, the PlayStation check, and what a launch starts or
// brings forward.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "unit/agent_fixture.h"

namespace discora::test {
namespace {

const StartCall kEmulator{"C:\\Discora\\vgs.exe", Quoted("C:\\Discora\\vgs.exe"), "C:\\Discora", 1};

class WatcherTest : public AgentTest {
 protected:
  WatcherTest() { platform.folderListing = {"vgs.exe"}; }

  StartCall Utility(const std::string& path, const std::string& folder) {
    return {path, Quoted(path), folder, 2};
  }
};

TEST_F(WatcherTest, OnePollSendsOpenStatusCloseWithASixCharacterReply) {
  StartAgent();
  form.Timer1_Timer();
  EXPECT_EQ(platform.mciCommands, (std::vector<std::string>{kOpenD, kStatus, "close cdvgs"}));
  EXPECT_EQ(platform.mciLengths, (std::vector<std::uint32_t>{6, 6, 6}));
}

TEST_F(WatcherTest, LatchLaunchesOncePerInsertion) {
  StartAgent();  // no disc at start-up: the first poll cleared the latch
  EXPECT_FALSE(Drive().WasPresent);

  InsertPlayStationDisc();
  form.Timer1_Timer();
  EXPECT_EQ(platform.starts, std::vector<StartCall>{kEmulator});
  EXPECT_TRUE(Drive().WasPresent);
  EXPECT_EQ(platform.isFileQueries, std::vector<std::string>{"D:\\system.cnf"});

  form.Timer1_Timer();  // still in the drive
  EXPECT_EQ(platform.starts.size(), 1u);

  platform.SetDisc(false);
  form.Timer1_Timer();
  EXPECT_FALSE(Drive().WasPresent);
  form.Timer1_Timer();
  EXPECT_FALSE(Drive().WasPresent);
  EXPECT_EQ(platform.starts.size(), 1u);

  platform.SetDisc(true);
  form.Timer1_Timer();
  EXPECT_EQ(platform.starts.size(), 2u);
}

TEST_F(WatcherTest, DiscWithoutSystemCnfIsSeenButNotLaunched) {
  StartAgent();
  platform.SetDisc(true);
  form.Timer1_Timer();
  EXPECT_TRUE(platform.starts.empty());
  EXPECT_TRUE(Drive().WasPresent);
}

TEST_F(WatcherTest, OnlyTheTopBitOfShiftSuppressesALaunch) {
  const std::vector<std::pair<std::int16_t, bool>> rows = {
      {static_cast<std::int16_t>(0x8000), true},
      {static_cast<std::int16_t>(0x8001), true},
      {static_cast<std::int16_t>(0x8002), false},
      {static_cast<std::int16_t>(0xFFFF), false},
      {0x0001, false},
      {0, false}};
  for (const auto& [state, suppressed] : rows) {
    SCOPED_TRACE(state);
    Machine m;
    m.platform.folderListing = {"vgs.exe"};
    m.StartAgent();
    m.InsertPlayStationDisc();
    m.platform.shiftDefault = state;
    m.form.Timer1_Timer();
    EXPECT_EQ(m.platform.starts.empty(), suppressed);
    EXPECT_TRUE(m.Drive().WasPresent);
    for (int key : m.platform.keyQueries) EXPECT_EQ(key, 0x10);
    // A disc marked as seen under Shift stays seen.
    m.platform.shiftDefault = 0;
    m.form.Timer1_Timer();
    EXPECT_EQ(m.platform.starts.size(), suppressed ? 0u : 1u);
  }
}

TEST_F(WatcherTest, OnlyASuccessfulStatusQueryChangesTheReadingOfADriveStillThere) {
  StartAgent();
  InsertPlayStationDisc();
  form.Timer1_Timer();
  ASSERT_TRUE(Drive().MediaPresent);
  EXPECT_TRUE(platform.driveQueries.empty()) << "a poll that reads asks no drive type";

  // A failed or unreadable status keeps the disc present: no second launch.
  // Only the failure asks whether the drive is still a CD-ROM drive.
  platform.mci[kStatus] = MciReply{263, ""};
  form.Timer1_Timer();
  EXPECT_EQ(platform.driveQueries, std::vector<std::string>{"D:\\"});
  platform.mci[kStatus] = MciReply{0, ""};
  form.Timer1_Timer();
  EXPECT_EQ(platform.driveQueries.size(), 1u);
  EXPECT_TRUE(Drive().MediaPresent);
  EXPECT_EQ(platform.starts.size(), 1u);

  platform.SetDisc(false);
  form.Timer1_Timer();
  ASSERT_FALSE(Drive().MediaPresent);
  // The open command's "1" and a failed status's own text are no reading.
  platform.mci[kStatus] = MciReply{263, "true"};
  form.Timer1_Timer();
  platform.mci[kStatus] = MciReply{0, ""};
  form.Timer1_Timer();
  EXPECT_FALSE(Drive().MediaPresent);
  EXPECT_EQ(platform.starts.size(), 1u);
}

TEST_F(WatcherTest, UtilitiesStartMinimisedInFieldOrderBeforeTheEmulator) {
  platform.AddFile("C:\\Tools\\Joy.exe", 4000);
  platform.AddFile("C:\\Tools\\pec.exe", 9000);
  platform.AddFolder("C:\\Tools");
  StartAgent();
  window.paths = {"C:\\Tools\\Joy.exe", "C:\\Tools", "c:\\tools\\PEC.EXE"};
  form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_EQ(platform.starts,
            (std::vector<StartCall>{Utility("C:\\Tools\\Joy.exe", "C:\\Tools"),
                                    Utility("c:\\tools\\PEC.EXE", "c:\\tools"), kEmulator}));
}

TEST_F(WatcherTest, MissingEmptyAndZeroLengthUtilitiesAreSkipped) {
  platform.AddFile("C:\\Tools\\empty.exe", 0);
  StartAgent();
  window.paths = {"C:\\Tools\\gone.exe", "", "C:\\Tools\\empty.exe"};
  form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_EQ(platform.starts, std::vector<StartCall>{kEmulator});
}

TEST_F(WatcherTest, UtilitiesOffStartsOnlyTheEmulator) {
  platform.AddFile("C:\\Discora\\pec.exe", 9000);
  StartAgent();
  window.checks[MenuItem::Utility] = false;
  form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_EQ(platform.starts, std::vector<StartCall>{kEmulator});
}

TEST_F(WatcherTest, RunningEmulatorIsBroughtForwardNotStartedAgain) {
  for (bool minimised : {true, false}) {
    SCOPED_TRACE(minimised);
    Machine m;
    m.platform.folderListing = {"vgs.exe"};
    m.platform.AddFile("C:\\Discora\\pec.exe", 9000);
    m.platform.windows[kVgsTitle] = OtherWindow{0x77, minimised};
    m.StartAgent();
    m.form.Form_MouseMove(kTrayDoubleClick);
    EXPECT_EQ(m.platform.starts,
              std::vector<StartCall>{Utility("C:\\Discora\\pec.exe", "C:\\Discora")});
    EXPECT_EQ(m.platform.windowSearches, std::vector<std::string>{kVgsTitle});
    EXPECT_EQ(m.form.State().EmulatorWindow, 0x77u);
    EXPECT_EQ(m.platform.activated, std::vector<WindowHandle>{0x77});
    EXPECT_EQ(m.platform.restored,
              minimised ? std::vector<WindowHandle>{0x77} : std::vector<WindowHandle>{});
    EXPECT_EQ(m.platform.events.back(), minimised ? "restore" : "activate");
  }
}

TEST_F(WatcherTest, NoEmulatorAnywhereStartsOnlyTheUtilities) {
  platform.folderListing.clear();
  platform.AddFile("C:\\Discora\\DX7VGSJoy.exe", 5000);
  StartAgent();
  form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_EQ(platform.starts,
            std::vector<StartCall>{Utility("C:\\Discora\\DX7VGSJoy.exe", "C:\\Discora")});
}

TEST_F(WatcherTest, EmulatorIsStartedByTheCommandItWasFoundAs) {
  struct Row {
    std::string folder;
    std::vector<std::string> listing;
    std::string location;
    bool locationIsFile;
    StartCall expected;
    std::string title;
  };
  const std::string file = "C:\\Program Files\\VGS\\vgs.exe";
  const std::vector<Row> rows = {
      {"E:\\",
       {"VGS.exe"},
       "",
       false,
       {"E:\\VGS.exe", Quoted("E:\\VGS.exe"), "E:\\", 1},
       kVgsTitle},
      {"C:\\Discora",
       {"bleem!.exe"},
       "",
       false,
       {"C:\\Discora\\bleem!.exe", Quoted("C:\\Discora\\bleem!.exe"), "C:\\Discora", 1},
       "bleem!"},
      {"C:\\Discora", {}, file, true, {file, Quoted(file), "C:\\Program Files\\VGS", 1}, kVgsTitle},
      {"C:\\Discora",
       {},
       "C:\\vgs.exe",
       true,
       {"C:\\vgs.exe", Quoted("C:\\vgs.exe"), "C:\\", 1},
       kVgsTitle},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected.commandLine);
    Machine m;
    m.platform.appFolder = row.folder;
    m.platform.folderListing = row.listing;
    if (!row.location.empty()) {
      m.platform.SetRegText(RegRoot::LocalMachine, kVgsRecordKey, "Location", row.location);
    }
    if (row.locationIsFile) m.platform.AddFile(row.location, 1 << 20);
    m.StartAgent();
    m.form.Form_MouseMove(kTrayDoubleClick);
    EXPECT_EQ(m.platform.windowSearches, std::vector<std::string>{row.title});
    EXPECT_EQ(m.platform.starts, std::vector<StartCall>{row.expected});
  }
}

// A Location that names no file is a command: a quoted one is started as it
// stands; of an unquoted one, the longest prefix ending before a blank that
// names a file is the program and the rest its arguments, so
// "C:\Program.exe" never starts for "C:\Program Files\...".
TEST_F(WatcherTest, EmulatorCommandFromTheRegistryStartsTheFileItNames) {
  const std::vector<std::string> files = {"C:\\Program.exe", "C:\\Program Files\\VGS\\vgs.exe",
                                          "C:\\VGS\\vgs.exe", "C:\\VGS\\vgs.exe -x"};
  const std::string programFiles = "C:\\Program Files\\VGS\\vgs.exe";
  const std::string quoted = Quoted(programFiles) + "  -x";
  const std::vector<std::pair<std::string, std::vector<StartCall>>> rows = {
      {programFiles + " -x /y",
       {{programFiles, Quoted(programFiles) + " -x /y", "C:\\Program Files\\VGS", 1}}},
      // The longest prefix that names a file wins.
      {"C:\\VGS\\vgs.exe -x -y",
       {{"C:\\VGS\\vgs.exe -x", "\"C:\\VGS\\vgs.exe -x\" -y", "C:\\VGS", 1}}},
      // Runs of blanks and tabs separate; inside the arguments they stay.
      {"C:\\VGS\\vgs.exe \t  /a  /b",
       {{"C:\\VGS\\vgs.exe", "\"C:\\VGS\\vgs.exe\" /a  /b", "C:\\VGS", 1}}},
      {"C:\\VGS\\vgs.exe   ", {{"C:\\VGS\\vgs.exe", "\"C:\\VGS\\vgs.exe\"", "C:\\VGS", 1}}},
      // Quoted: as it stands, in the folder of the file between the quotes.
      {quoted, {{"", quoted, "C:\\Program Files\\VGS", 1}}},
      {"\"C:\\VGS\\vgs", {{"", "\"C:\\VGS\\vgs", "C:\\VGS", 1}}},
      // No prefix names a file: nothing starts.
      {"C:\\Program Files\\VGS\\gone.exe -x", {}},
      {"C:\\VGS\\vgs", {}},
  };
  for (const auto& [location, expected] : rows) {
    SCOPED_TRACE(location);
    Machine m;
    for (const std::string& file : files) m.platform.AddFile(file, 1 << 20);
    m.platform.SetRegText(RegRoot::LocalMachine, kVgsRecordKey, "Location", location);
    m.StartAgent();
    m.form.Form_MouseMove(kTrayDoubleClick);
    EXPECT_EQ(m.platform.starts, expected);
  }
}

// CreateProcess cannot start a program marked to run as administrator; the
// shell can, once the user consents. Any other failure is left at that.
TEST_F(WatcherTest, ProgramThatMustRunAsAdministratorIsStartedThroughTheShell) {
  const std::string joy = "C:\\Tools\\Joy.exe";
  const std::string pec = "C:\\Tools\\pec.exe";
  const std::string vgs = "C:\\Program Files\\VGS\\vgs.exe";
  platform.folderListing.clear();
  platform.AddFile(joy, 4000);
  platform.AddFile(pec, 9000);
  platform.AddFile(vgs, 1 << 20);
  platform.SetRegText(RegRoot::LocalMachine, kVgsRecordKey, "Location", vgs + " -x  /y");
  platform.startErrors = {{Quoted(joy), kErrorElevationRequired},
                          {Quoted(pec), kErrorAccessDenied},
                          {Quoted(vgs) + " -x  /y", kErrorElevationRequired}};
  StartAgent();
  window.paths = {joy, pec, ""};
  form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_EQ(platform.starts.size(), 3u);
  EXPECT_EQ(platform.shellOpens,
            (std::vector<ShellCall>{
                {window.handle, joy, "", "C:\\Tools", kShowMinimized},
                {window.handle, vgs, "-x  /y", "C:\\Program Files\\VGS", kShowNormal}}));
  EXPECT_EQ(platform.events, (std::vector<std::string>{"shell:" + joy, "shell:" + vgs}));
}

TEST_F(WatcherTest, VanishedDriveReadsNoDiscSoItsNextDiscLaunches) {
  StartAgent();
  InsertPlayStationDisc();
  form.Timer1_Timer();
  ASSERT_EQ(platform.starts.size(), 1u);

  // The drive is unplugged with the disc in: open and query fail, and the
  // letter names no drive (or another kind of drive).
  for (unsigned type : {1u, 2u, 3u}) {  // no root, removable (not CD-ROM), fixed
    SCOPED_TRACE(type);
    const std::size_t launches = platform.starts.size();
    platform.drives['D'] = type;
    platform.mci[kOpenD] = MciReply{275, ""};
    platform.mci[kStatus] = MciReply{263, ""};
    form.Timer1_Timer();
    form.Timer1_Timer();
    EXPECT_FALSE(Drive().MediaPresent);
    EXPECT_FALSE(Drive().WasPresent);
    EXPECT_EQ(platform.starts.size(), launches);

    // Plugged in again with a PlayStation disc: a new insertion, one launch.
    platform.drives['D'] = kDriveCdrom;
    platform.mci[kOpenD] = MciReply{0, "1"};
    platform.SetDisc(true);
    form.Timer1_Timer();
    form.Timer1_Timer();
    EXPECT_EQ(platform.starts.size(), launches + 1);
  }
}

constexpr std::uint32_t kDriveD = 1u << 3;

TEST_F(WatcherTest, DeviceArrivalOnTheWatchedDriveAsksForAPollAfterItsAnswer) {
  StartAgent();
  InsertPlayStationDisc();
  form.Form_DeviceArrival(1u << 4, true);  // E:
  form.Form_DeviceArrival(kDriveD, false);
  window.checks[MenuItem::Autorun] = false;
  form.Form_DeviceArrival(kDriveD, true);
  EXPECT_EQ(window.postedArrivalPolls, 0);

  window.checks[MenuItem::Autorun] = true;
  form.Form_DeviceArrival(kDriveD | (1u << 5), true);
  EXPECT_EQ(window.postedArrivalPolls, 1);
  EXPECT_TRUE(platform.mciCommands.empty()) << "nothing asked of the drive while the sender waits";
  EXPECT_TRUE(platform.starts.empty());

  form.Form_ArrivalPoll();
  EXPECT_EQ(platform.mciCommands.size(), 3u);
  EXPECT_EQ(platform.starts, std::vector<StartCall>{kEmulator});

  // "Enable Autorun" unchecked while the message waits: no poll.
  platform.ClearRecords();
  form.Form_DeviceArrival(kDriveD, true);
  EXPECT_EQ(window.postedArrivalPolls, 2);
  form.RunMenuCommand(MenuItem::Autorun);
  form.Form_ArrivalPoll();
  EXPECT_TRUE(platform.mciCommands.empty());
}

TEST_F(WatcherTest, ArrivalsBeforeThePollRunShareIt) {
  StartAgent();
  form.Form_DeviceArrival(kDriveD, true);
  form.Form_DeviceArrival(kDriveD, true);
  EXPECT_EQ(window.postedArrivalPolls, 1);
  form.Form_ArrivalPoll();
  EXPECT_EQ(platform.mciCommands.size(), 3u);

  // Handled: the next arrival asks again.
  form.Form_DeviceArrival(kDriveD, true);
  EXPECT_EQ(window.postedArrivalPolls, 2);

  // A message that could not be posted leaves nothing waiting.
  Machine m;
  m.StartAgent();
  m.window.postSucceeds = false;
  m.form.Form_DeviceArrival(kDriveD, true);
  m.window.postSucceeds = true;
  m.form.Form_DeviceArrival(kDriveD, true);
  EXPECT_EQ(m.window.postedArrivalPolls, 1);
}

}  // namespace
}  // namespace discora::test
