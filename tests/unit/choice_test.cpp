// The notice a disc without an emulator gives, and the answer to it: the
// game's code read from the boot file, the command made for the program the
// user chose, the refusals, and the one dialog at a time.
#include <cstring>
#include <string>
#include <vector>

#include "agent/command_line.h"
#include "agent/emulator_choice.h"
#include "tray/tray_notice.h"
#include "unit/agent_fixture.h"

namespace discora::test {
namespace {

TEST(GameCodeTest, TheBootProgramOfTheDiscsOwnKindInTheBoxesForm) {
  const std::pair<std::string, std::string> rows[] = {
      {"BOOT = cdrom:\\SLUS_007.40;1\r\nTCB = 4\r\n", "SLUS-00740"},
      {"BOOT = cdrom:\\PSX.EXE;1\r\nBOOT2 = cdrom0:\\SLES_500.03;1\r\n", "SLES-50003"},
      {"boot=cdrom:\\slps_012.34;1", "SLPS-01234"},
      {"VER = 1\nBOOT = SCUS_944.55", "SCUS-94455"},
      {"BOOT = cdrom:\\PSX.EXE;1", ""},
      {"BOOT = cdrom:\\SLUS_007.40X;1", ""},
      {"BOOT = cdrom:\\SLUS_07.40;1", ""},
      {"BOOT = cdrom:\\SLUS_007.4", ""},
      {"BOOTX = cdrom:\\SLUS_007.40;1", ""},
      {std::string("BOOT = cdrom:\\SLUS_007.40;1\x01", 28), ""},  // not a text
      {"", ""},
  };
  for (const auto& [text, code] : rows) EXPECT_EQ(GameCode(text), code) << text;
  EXPECT_EQ(GameCode("BOOT = cdrom:\\SLUS_007.40;1" + std::string(kBootFileLimit, ' ')), "");
}

constexpr char kDuck[] =
    "C:\\Users\\Ann\\Downloads\\duckstation-windows-x64-release\\duckstation-qt-x64-ReleaseLTCG."
    "exe";

TEST(EmulatorChoiceTest, EachProgramGetsTheCommandOfTheKindItPlays) {
  FakePlatform platform;
  platform.AddFile("E:\\RA\\cores\\pcsx_rearmed_libretro.dll", 1);
  struct Row {
    std::string program;
    DiscKind disc;
    const char* key;
    std::string command;
  };
  const Row rows[] = {
      {kDuck, DiscKind::PlayStation, "PS1Command",
       Quoted(kDuck) + " -batch -fullscreen -- \\\\.\\%D:"},
      {"C:\\100% Games\\DuckStation.EXE", DiscKind::None, "PS1Command",
       "\"C:\\100%% Games\\DuckStation.EXE\" -batch -fullscreen -- \\\\.\\%D:"},
      {"E:\\RA\\RetroArch.exe", DiscKind::PlayStation, "PS1Command",
       "\"E:\\RA\\RetroArch.exe\" -f -L \"E:\\RA\\cores\\pcsx_rearmed_libretro.dll\" "
       "\"cdrom://%D:/drive.cue\""},
      {"E:\\P\\pcsx2-qt.exe", DiscKind::PlayStation2, "PS2Command",
       "\"E:\\P\\pcsx2-qt.exe\" -batch -fullscreen -disc %D:\\"},
      {"E:\\P\\pcsx2-qtx64-avx2.exe", DiscKind::None, "PS2Command",
       "\"E:\\P\\pcsx2-qtx64-avx2.exe\" -batch -fullscreen -disc %D:\\"},
      // PCSX2 1.x takes none of the Qt build's arguments.
      {"E:\\P\\pcsx2.exe", DiscKind::PlayStation2, "PS2Command", "\"E:\\P\\pcsx2.exe\""},
      {"E:\\ePSXe.exe", DiscKind::PlayStation2, "PS2Command", "\"E:\\ePSXe.exe\""},
      {"E:\\RA\\retroarch-old.exe", DiscKind::None, "PS1Command", "\"E:\\RA\\retroarch-old.exe\""},
  };
  for (const Row& row : rows) {
    const EmulatorChoice choice = ChooseEmulatorCommand(platform, row.program, row.disc);
    EXPECT_EQ(choice.outcome, EmulatorChoice::Outcome::Command) << row.program;
    EXPECT_STREQ(choice.key, row.key) << row.program;
    EXPECT_EQ(choice.command, row.command);
  }
  // The path reads back as the user chose it.
  ProgramCommand parts;
  platform.AddFile("C:\\100% Games\\DuckStation.EXE", 1);
  ASSERT_TRUE(SplitUserCommand(platform, ExpandDriveTemplate(rows[1].command, 'E'), &parts));
  EXPECT_EQ(parts.program, "C:\\100% Games\\DuckStation.EXE");
}

TEST(EmulatorChoiceTest, AProgramForTheOtherKindOrRetroArchWithoutACoreIsRefused) {
  FakePlatform platform;
  platform.AddFile("E:\\RA\\cores\\snes9x_libretro.dll", 1);
  // SwanStation cannot open the cue RetroArch makes for a drive.
  platform.AddFile("E:\\RA\\cores\\swanstation_libretro.dll", 1);
  EXPECT_EQ(ChooseEmulatorCommand(platform, kDuck, DiscKind::PlayStation2).outcome,
            EmulatorChoice::Outcome::WrongKind);
  EXPECT_EQ(
      ChooseEmulatorCommand(platform, "E:\\RA\\retroarch.exe", DiscKind::PlayStation2).outcome,
      EmulatorChoice::Outcome::WrongKind);
  const EmulatorChoice pcsx2 =
      ChooseEmulatorCommand(platform, "E:\\P\\PCSX2-qt.exe", DiscKind::PlayStation);
  EXPECT_EQ(pcsx2.outcome, EmulatorChoice::Outcome::WrongKind);
  EXPECT_NE(RefusalText(pcsx2, DiscKind::PlayStation).find("PCSX2 cannot play PlayStation discs"),
            std::string::npos);
  const EmulatorChoice retroArch =
      ChooseEmulatorCommand(platform, "E:\\RA\\retroarch.exe", DiscKind::None);
  EXPECT_EQ(retroArch.outcome, EmulatorChoice::Outcome::NoCore);
  EXPECT_NE(RefusalText(retroArch, DiscKind::None).find("Online Updater"), std::string::npos);
}

TEST(NoticeTextTest, TitleAndTextAreCutToTheirFields) {
  TrayNotice notice;
  notice.szInfo[0] = 'x';
  notice.dwInfoFlags = 0x78787878u;
  FillNoticeField(notice.szInfoTitle, std::string(64, 'b'));
  EXPECT_EQ(notice.szInfo[0], 'x') << "nothing written past the title";
  FillNoticeField(notice.szInfo, std::string(300, 'a'));
  EXPECT_EQ(std::strlen(notice.szInfo), 255u);
  EXPECT_EQ(std::strlen(notice.szInfoTitle), 63u);
  EXPECT_EQ(notice.dwInfoFlags, 0x78787878u) << "nothing written past the text";
}

class NoticeTest : public AgentTest {
 protected:
  std::string NoticeText(std::size_t index = 0) const {
    return index < platform.notices.size() ? platform.notices[index].szInfo : "";
  }
  void Reinsert() {
    platform.SetDisc(false);
    form.Timer1_Timer();
    InsertPlayStationDisc();
    form.Timer1_Timer();
  }
};

TEST_F(NoticeTest, ADiscWithoutAnEmulatorGivesANoticeNamingDriveAndGame) {
  StartAgent();
  InsertPlayStationDisc();
  form.Timer1_Timer();
  ASSERT_EQ(platform.notices.size(), 1u);
  EXPECT_STREQ(platform.notices[0].szInfoTitle, "PlayStation disc: no emulator");
  EXPECT_EQ(NoticeText(),
            "No emulator was found for the disc in D: (SLUS-00001). Click here to choose the "
            "emulator.");
  EXPECT_TRUE(platform.starts.empty());
}

TEST_F(NoticeTest, ACommandThatNamesNothingAsksTooButNotWhileTheIconIsHidden) {
  platform.SetSetting("PS1Command", "\"C:\\Gone\\emu.exe\" %D:");
  StartAgent();
  InsertPlayStationDisc();
  form.Timer1_Timer();
  EXPECT_EQ(platform.notices.size(), 1u);

  form.State().IconHidden = true;
  Reinsert();
  EXPECT_EQ(platform.notices.size(), 1u);
}

TEST_F(NoticeTest, TheRecordOfAnEmulatorUninstalledSinceIsAsGoodAsNone) {
  platform.SetRegText(RegRoot::LocalMachine, kVgsRecordKey, "Location",
                      "C:\\Program Files\\VGS\\gone vgs.exe -fullscreen");
  StartAgent();
  ASSERT_FALSE(form.State().EmulatorPath.empty());
  form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_TRUE(platform.starts.empty());
  EXPECT_EQ(platform.dialogs.size(), 1u);
  InsertPlayStationDisc();
  form.Timer1_Timer();
  EXPECT_EQ(platform.notices.size(), 1u);
}

TEST_F(NoticeTest, AnEmulatorFoundThatDoesNotStartIsPassedOverAndTheUserAsked) {
  platform.environment["LOCALAPPDATA"] = "C:\\Users\\Ann\\AppData\\Local";
  const std::string duck =
      "C:\\Users\\Ann\\AppData\\Local\\Programs\\DuckStation\\duckstation-qt-x64.exe";
  platform.AddFile(duck, 10);
  platform.startErrors[Quoted(duck) + " -batch -fullscreen -- \\\\.\\D:"] = 193;
  StartAgent();
  InsertPlayStationDisc();
  form.Timer1_Timer();
  EXPECT_EQ(platform.starts.size(), 1u);
  EXPECT_EQ(platform.notices.size(), 1u);
}

TEST_F(NoticeTest, ADoubleClickThatFindsNoEmulatorOpensTheDialogAtOnceButNotForADataDisc) {
  StartAgent();
  form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_TRUE(platform.notices.empty()) << "a notice Windows may never show";
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].title, "Choose the emulator");
  EXPECT_EQ(window.foregroundTakes, 1);

  InsertPlayStationDisc();
  // The foreground is the click's until the user's next input: taken before
  // the drive is read.
  std::size_t readsBefore = 99;
  window.onTakeForeground = [&] { readsBefore = platform.fileReads.size(); };
  form.Form_MouseMove(kTrayDoubleClick);
  ASSERT_EQ(platform.dialogs.size(), 2u);
  EXPECT_EQ(platform.dialogs[1].title, "Choose the emulator for PlayStation discs");
  EXPECT_LT(readsBefore, platform.fileReads.size());

  Machine data;
  data.platform.SetDisc(true);
  data.platform.AddFile("D:\\SETUP.EXE", 10);
  data.StartAgent();
  data.form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_TRUE(data.platform.dialogs.empty());
  EXPECT_TRUE(data.platform.notices.empty());
}

TEST_F(NoticeTest, AClickWhileTheDialogIsOpenBringsItToTheFront) {
  StartAgent();
  platform.onDialog = [this] {
    form.Form_MouseMove(kTrayDoubleClick);
    form.Form_MouseMove(kTrayBalloonClick);
    form.Form_ChooseEmulator();
  };
  form.Form_ChooseEmulator();
  EXPECT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(window.dialogsToFront, 3);
}

TEST_F(NoticeTest, ALateClickOnTheNoticeChoosesForTheDiscInItsDriveNow) {
  StartAgent();
  InsertPlayStationDisc();
  form.Timer1_Timer();
  ASSERT_EQ(platform.notices.size(), 1u);
  platform.fileContents["d:\\system.cnf"] = "BOOT2 = cdrom0:\\SLES_500.03;1\r\n";
  form.Form_MouseMove(kTrayBalloonClick);
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].title, "Choose the emulator for PlayStation 2 discs");
}

TEST_F(NoticeTest, AClickChoosesTheEmulatorThatStartsForTheDiscAndAfterwardsWithoutANotice) {
  platform.AddFile("C:\\Tools\\joy.exe", 10);
  platform.SetSetting("App1", "C:\\Tools\\joy.exe");
  platform.AddFile(kDuck, 10);
  StartAgent();
  InsertPlayStationDisc();
  form.Timer1_Timer();
  ASSERT_EQ(platform.starts.size(), 1u) << "the utility";

  platform.dialogResult = kDuck;
  form.Form_MouseMove(kTrayBalloonClick);
  ASSERT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.dialogs[0].owner, window.handle);
  EXPECT_EQ(platform.dialogs[0].title, "Choose the emulator for PlayStation discs");
  EXPECT_EQ(platform.Setting("PS1Command"), Quoted(kDuck) + " -batch -fullscreen -- \\\\.\\%D:");
  ASSERT_EQ(platform.starts.size(), 2u) << "the emulator only";
  EXPECT_EQ(platform.starts[1].commandLine, Quoted(kDuck) + " -batch -fullscreen -- \\\\.\\D:");

  Reinsert();
  EXPECT_EQ(platform.starts.size(), 4u);
  EXPECT_EQ(platform.notices.size(), 1u);
}

TEST_F(NoticeTest, RefusalAndCancelWriteAndStartNothingAndTheNextDiscAsksAgain) {
  platform.AddFile("E:\\P\\pcsx2-qt.exe", 10);
  StartAgent();
  InsertPlayStationDisc();
  form.Timer1_Timer();
  platform.dialogResult = "E:\\P\\pcsx2-qt.exe";
  form.Form_MouseMove(kTrayBalloonClick);
  ASSERT_EQ(platform.boxes.size(), 1u);
  platform.dialogResult.reset();
  form.Form_MouseMove(kTrayBalloonClick);
  EXPECT_EQ(platform.dialogs.size(), 2u);
  EXPECT_FALSE(platform.Setting("PS1Command"));
  EXPECT_FALSE(platform.Setting("PS2Command"));
  EXPECT_TRUE(platform.starts.empty());
  Reinsert();
  EXPECT_EQ(platform.notices.size(), 2u);
}

TEST_F(NoticeTest, AnUnspellablePathAFailedDialogOrAProgramThatDoesNotStartKeepNothing) {
  platform.AddFile(kDuck, 10);
  StartAgent();
  InsertPlayStationDisc();
  form.Timer1_Timer();
  platform.dialogResult = kDuck;
  platform.chosenUnspellable = true;  // a folder named outside the code page, no short name
  form.Form_MouseMove(kTrayBalloonClick);
  platform.chosenUnspellable = false;
  platform.dialogError = 0x3003;  // FNERR_BUFFERTOOSMALL
  form.Form_MouseMove(kTrayBalloonClick);
  platform.dialogError = 0;
  const std::string command = Quoted(kDuck) + " -batch -fullscreen -- \\\\.\\D:";
  platform.startErrors[command] = 193;  // not a valid Win32 program
  form.Form_MouseMove(kTrayBalloonClick);
  platform.startErrors[command] = kErrorElevationRequired;
  platform.shellError = 1223;  // the consent prompt declined
  form.Form_MouseMove(kTrayBalloonClick);

  ASSERT_EQ(platform.boxes.size(), 4u);
  EXPECT_NE(platform.boxes[0].text.find("no short name"), std::string::npos);
  EXPECT_NE(platform.boxes[1].text.find("0x3003"), std::string::npos);
  EXPECT_NE(platform.boxes[2].text.find(std::string(kDuck) + "\r\n\r\nerror 193"),
            std::string::npos);
  EXPECT_NE(platform.boxes[3].text.find("error 1223"), std::string::npos);
  EXPECT_FALSE(platform.Setting("PS1Command"));
  // A command that does not start is no choice: the next disc asks again.
  Reinsert();
  EXPECT_EQ(platform.notices.size(), 2u);
}

TEST_F(NoticeTest, OneDialogAtATimeAndWithoutADiscTheProgramFillsItsOwnKind) {
  platform.AddFile("E:\\P\\pcsx2-qt.exe", 10);
  StartAgent();
  platform.dialogResult = "E:\\P\\pcsx2-qt.exe";
  platform.onDialog = [this] {
    form.Form_MouseMove(kTrayBalloonClick);
    form.Form_ChooseEmulator();
  };
  form.Form_ChooseEmulator();
  EXPECT_EQ(platform.dialogs.size(), 1u);
  EXPECT_EQ(platform.Setting("PS2Command"),
            "\"E:\\P\\pcsx2-qt.exe\" -batch -fullscreen -disc %D:\\");
  EXPECT_TRUE(platform.starts.empty());
}

}  // namespace
}  // namespace discora::test
