// The tray icon: the record handed to the notification area, hiding and the
// Shift recall, and the decoding of the icon's mouse events.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "res/version.h"
#include "tray/tray_record.h"
#include "unit/agent_fixture.h"

namespace discora::test {
namespace {

TEST(TrayRecordTest, HoldsIdFlagsMessageAndBlankPaddedTip) {
  // Handles are carried whole: a 64-bit system's window handle may use its
  // upper half, and a handle cut to 32 bits names another window.
  const WindowHandle window = static_cast<WindowHandle>(~std::uintptr_t{0} - 0x2A2A);
  const TrayRecord r = MakeTrayRecord(window, 0x1C0, "Discora 1.0");
  EXPECT_EQ(r.cbSize, 88u);
  EXPECT_EQ(r.hWnd, window);
  EXPECT_EQ(r.uID, 1u);
  EXPECT_EQ(r.uFlags, 7u);
  EXPECT_EQ(r.uCallbackMessage, 0x200u);
  EXPECT_EQ(r.hIcon, 0x1C0u);
  const std::string text = std::string("Discora 1.0") + DISCORA_TIP_CREDIT;
  ASSERT_LT(text.size(), 64u);
  std::string expected = text + '\0';
  expected.resize(64, ' ');
  EXPECT_EQ(std::string(r.szTip, 64), expected);
}

TEST(TrayRecordTest, LongTipIsCutTo63CharactersAndItsNul) {
  const std::string caption(100, 'c');
  const TrayRecord r = MakeTrayRecord(1, 2, caption);
  EXPECT_EQ(std::string(r.szTip, 64), std::string(63, 'c') + '\0');
}

using TrayTest = AgentTest;

TEST_F(TrayTest, StartUpAddsTheWindowsOwnRecord) {
  window.caption = "Discora 1.0";
  ASSERT_TRUE(form.Form_Load());
  ASSERT_EQ(platform.notifications.size(), 1u);
  const TrayRecord& r = platform.notifications[0].record;
  EXPECT_EQ(r.hWnd, window.handle);
  EXPECT_EQ(r.hIcon, window.icon);
  EXPECT_EQ(std::string(r.szTip), std::string("Discora 1.0") + DISCORA_TIP_CREDIT);
}

TEST_F(TrayTest, DoubleClickLaunchesAndRightButtonUpPopsUpTheMenuAtThePointer) {
  platform.folderListing = {"vgs.exe"};
  StartAgent();
  platform.cursorX = 1200;
  platform.cursorY = 740;
  for (unsigned message : {0x200u, 0x201u, 0x202u, 0x204u, 0x206u, 0x207u, 301u}) {
    form.Form_MouseMove(message);
  }
  EXPECT_TRUE(platform.starts.empty());
  EXPECT_TRUE(window.popups.empty());

  form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_EQ(platform.starts.size(), 1u);

  window.popupChoice = MenuItem::Utility;
  form.Form_MouseMove(kTrayRightButtonUp);
  EXPECT_EQ(window.popups, (std::vector<std::pair<int, int>>{{1200, 740}}));
  EXPECT_FALSE(window.Checked(MenuItem::Utility));  // the chosen command ran
  EXPECT_FALSE(form.MenuBusy());
}

TEST_F(TrayTest, FocusGoesBackToTheNotificationAreaAfterAMenuThatOpensNothing) {
  StartAgent();
  const std::vector<std::pair<MenuItem, bool>> cases = {
      {MenuItem::None, true},    {MenuItem::Autorun, true}, {MenuItem::Start, true},
      {MenuItem::Utility, true}, {MenuItem::Config, false}, {MenuItem::About, false},
      {MenuItem::Hide, false},   {MenuItem::Exit, false}};
  for (const auto& [choice, handsBack] : cases) {
    SCOPED_TRACE(static_cast<int>(choice));
    platform.ClearRecords();
    window.popupChoice = choice;
    form.Form_MouseMove(kTrayRightButtonUp);
    const bool sent =
        !platform.notifications.empty() && platform.notifications.back().operation == kNimSetFocus;
    EXPECT_EQ(sent, handsBack);
    if (sent) {
      EXPECT_EQ(platform.notifications.back().record.uID, 1u);
    }
  }
}

TEST_F(TrayTest, TrayEventsWhileTheMenuOrItsBoxIsOpenAreIgnored) {
  platform.folderListing = {"vgs.exe"};
  StartAgent();
  bool busyInside = false;
  auto nested = [&] {
    busyInside = form.MenuBusy();
    form.Form_MouseMove(kTrayDoubleClick);
    form.Form_MouseMove(kTrayRightButtonUp);
  };
  window.onPopup = nested;
  platform.onMessageBox = [&](const BoxCall&) { nested(); };
  window.popupChoice = MenuItem::About;
  form.Form_MouseMove(kTrayRightButtonUp);
  EXPECT_TRUE(busyInside);
  EXPECT_EQ(window.popups.size(), 1u);
  EXPECT_TRUE(platform.starts.empty());
  EXPECT_FALSE(form.MenuBusy());

  // From the credits label the box runs outside the tray handler.
  window.onPopup = nullptr;
  window.popupChoice = MenuItem::None;
  form.lblCredits_Click();
  EXPECT_EQ(platform.starts.size(), 1u);
  EXPECT_EQ(window.popups.size(), 2u);
  EXPECT_FALSE(form.MenuBusy());
}

TEST_F(TrayTest, ShiftAtAPollBringsAHiddenIconBackWithoutStoringIt) {
  platform.SetSetting("Hidden", "True");
  StartAgent();
  EXPECT_TRUE(form.State().IconHidden);
  form.Timer1_Timer();
  EXPECT_TRUE(platform.notifications.empty());

  // Held through the whole poll: the icon returns and a new disc is only marked seen.
  const auto down = static_cast<std::int16_t>(0x8000);
  platform.folderListing = {"vgs.exe"};
  InsertPlayStationDisc();
  platform.shiftStates = {down, down};
  form.Timer1_Timer();
  ASSERT_EQ(platform.notifications.size(), 1u);
  EXPECT_EQ(platform.notifications[0].operation, kNimAdd);
  EXPECT_FALSE(form.State().IconHidden);
  EXPECT_TRUE(platform.starts.empty());
  EXPECT_EQ(platform.Setting("Hidden"), "True");

  platform.shiftDefault = down;
  form.Timer1_Timer();  // shown already: Shift changes nothing about the icon
  EXPECT_EQ(platform.notifications.size(), 1u);
}

TEST_F(TrayTest, AnIdleTickWithTheIconShownAsksNothingOfTheKeyboard) {
  StartAgent();
  form.Timer1_Timer();
  EXPECT_TRUE(platform.keyQueries.empty()) << "every idle tick would pay for it";
}

TEST_F(TrayTest, ShiftDuringStartUpRecallsEvenWithPollingOff) {
  platform.SetSetting("Hidden", "True");
  platform.SetSetting("Enabled", "False");
  platform.shiftDefault = static_cast<std::int16_t>(0x8001);
  ASSERT_TRUE(form.Form_Load());
  ASSERT_EQ(platform.notifications.size(), 1u);
  EXPECT_EQ(platform.notifications[0].operation, kNimAdd);
  EXPECT_FALSE(form.State().IconHidden);
}

TEST_F(TrayTest, UnloadDeletesTheIconWhateverItsState) {
  for (bool hidden : {false, true}) {
    Machine m;
    if (hidden) m.platform.SetSetting("Hidden", "True");
    m.StartAgent();
    m.form.Form_Unload();
    ASSERT_EQ(m.platform.notifications.size(), 1u);
    EXPECT_EQ(m.platform.notifications[0].operation, kNimDelete);
    EXPECT_EQ(m.platform.notifications[0].record.cbSize, 88u);
  }
}

TEST_F(TrayTest, NewTaskbarGetsTheIconBackUnlessHidden) {
  form.Form_TaskbarCreated();  // before start-up there is no record to add
  EXPECT_TRUE(platform.notifications.empty());
  StartAgent();
  platform.trayIcons.clear();  // a new taskbar knows no icons
  form.Form_TaskbarCreated();
  ASSERT_EQ(platform.notifications.size(), 1u);
  EXPECT_EQ(platform.notifications[0].operation, kNimAdd);
  EXPECT_EQ(platform.notifications[0].record.uID, 1u);

  form.State().IconHidden = true;
  form.Form_TaskbarCreated();
  EXPECT_EQ(platform.notifications.size(), 1u);
}

std::vector<std::string> Notifications(const FakePlatform& platform) {
  std::vector<std::string> names;
  for (const std::string& event : platform.events) {
    if (event == "add" || event == "modify" || event == "delete") names.push_back(event);
  }
  return names;
}

TEST_F(TrayTest, IconRefusedAtStartUpIsAddedAtTheNextTicksUntilShown) {
  platform.trayPresent = false;  // started at logon, before the taskbar
  StartAgent();
  form.Timer1_Timer();
  form.Timer1_Timer();
  EXPECT_EQ(Notifications(platform), (std::vector<std::string>{"add", "modify", "add", "modify"}));
  EXPECT_FALSE(form.State().IconShown);

  platform.trayPresent = true;
  platform.ClearRecords();
  form.Timer1_Timer();
  EXPECT_EQ(Notifications(platform), std::vector<std::string>{"add"});
  EXPECT_TRUE(form.State().IconShown);
  EXPECT_EQ(platform.notifications[0].record.uID, 1u);
  EXPECT_EQ(platform.notifications[0].record.hWnd, window.handle);

  // Shown: an idle tick asks nothing more of the system than a poll.
  platform.ClearRecords();
  form.Timer1_Timer();
  EXPECT_TRUE(platform.notifications.empty());
  EXPECT_TRUE(platform.keyQueries.empty());
  EXPECT_TRUE(platform.driveQueries.empty());
  EXPECT_EQ(platform.mciCommands.size(), 3u);

  // A new taskbar that announces itself before it takes icons: the next
  // tick adds it.
  platform.trayIcons.clear();
  platform.trayPresent = false;
  form.Form_TaskbarCreated();
  EXPECT_FALSE(form.State().IconShown);
  platform.trayPresent = true;
  form.Timer1_Timer();
  EXPECT_TRUE(form.State().IconShown);
  EXPECT_EQ(platform.trayIcons, std::set<std::uint32_t>{1});
}

TEST_F(TrayTest, IconTheShellHoldsAlreadyCountsAsShown) {
  // An add that timed out but was carried out, or a "TaskbarCreated" from
  // a taskbar that kept its icons: the second add is refused, the icon is
  // there all the same.
  platform.trayIcons = {1};
  StartAgent();
  EXPECT_TRUE(form.State().IconShown);
  form.Timer1_Timer();
  EXPECT_TRUE(platform.notifications.empty());

  form.Form_TaskbarCreated();
  EXPECT_EQ(Notifications(platform), (std::vector<std::string>{"add", "modify"}));
  EXPECT_TRUE(form.State().IconShown);
  platform.ClearRecords();
  form.Timer1_Timer();
  EXPECT_TRUE(platform.notifications.empty());
}

TEST_F(TrayTest, IconHiddenByTheUserIsNotAddedByTheTicks) {
  for (bool stored : {true, false}) {
    SCOPED_TRACE(stored);
    Machine m;
    m.platform.trayPresent = false;
    if (stored) m.platform.SetSetting("Hidden", "True");
    m.StartAgent();
    if (!stored) {
      // Hidden from the menu for this session, after the tray came.
      m.platform.trayPresent = true;
      m.form.Timer1_Timer();
      ASSERT_TRUE(m.form.State().IconShown);
      m.form.RunMenuCommand(MenuItem::Hide);
      m.platform.ClearRecords();
    }
    m.platform.trayPresent = true;
    m.form.Timer1_Timer();
    m.form.Timer1_Timer();
    EXPECT_TRUE(m.platform.notifications.empty());
    EXPECT_TRUE(m.platform.trayIcons.empty());
  }
}

}  // namespace
}  // namespace discora::test
