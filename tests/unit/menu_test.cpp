// The tray menu's commands: each switch flips its check mark and stores it,
// the hide question, About, Configure and Exit, and a store that refuses
// writes.
#include <string>
#include <vector>

#include "res/version.h"
#include "unit/agent_fixture.h"

namespace discora::test {
namespace {

class MenuTest : public AgentTest {
 protected:
  void SetUp() override { StartAgent(); }
};

TEST_F(MenuTest, AutorunSwitchesTheTimerAndStoresTheCheckMark) {
  form.RunMenuCommand(MenuItem::Autorun);
  EXPECT_FALSE(window.Checked(MenuItem::Autorun));
  EXPECT_FALSE(window.timerEnabled);
  EXPECT_EQ(platform.Setting("Enabled"), "False");
  form.RunMenuCommand(MenuItem::Autorun);
  EXPECT_TRUE(window.timerEnabled);
  EXPECT_EQ(platform.Setting("Enabled"), "True");
}

TEST_F(MenuTest, StartOnlyFlipsAndStores) {
  const bool beforeLatch = Drive().WasPresent;
  form.RunMenuCommand(MenuItem::Start);
  EXPECT_FALSE(window.Checked(MenuItem::Start));
  EXPECT_EQ(platform.Setting("Start"), "False");
  EXPECT_EQ(Drive().WasPresent, beforeLatch);  // seeds the latch at the next start
  EXPECT_TRUE(window.timerEnabled);
  form.RunMenuCommand(MenuItem::Start);
  EXPECT_EQ(platform.Setting("Start"), "True");
  EXPECT_EQ(platform.writes.size(), 2u);
}

TEST_F(MenuTest, UtilitySwitchTakesEffectAtTheNextLaunch) {
  platform.AddFile("C:\\Discora\\pec.exe", 100);
  form.RunMenuCommand(MenuItem::Utility);
  EXPECT_EQ(platform.Setting("StartUtils"), "False");
  form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_TRUE(platform.starts.empty());
  form.RunMenuCommand(MenuItem::Utility);
  EXPECT_EQ(platform.Setting("StartUtils"), "True");
  form.Form_MouseMove(kTrayDoubleClick);
  EXPECT_EQ(platform.starts.size(), 1u);
}

TEST_F(MenuTest, HideDeletesTheIconThenStoresTheAnswer) {
  const std::vector<std::pair<int, std::string>> answers = {
      {6, "True"}, {7, "False"}, {2, "False"}};
  for (const auto& [answer, stored] : answers) {
    SCOPED_TRACE(answer);
    Machine m;
    m.StartAgent();
    m.platform.boxAnswers = {answer};
    m.form.RunMenuCommand(MenuItem::Hide);
    ASSERT_EQ(m.platform.boxes.size(), 1u);
    EXPECT_EQ(m.platform.boxes[0].text, "Do you want Discora always hidden?");
    EXPECT_EQ(m.platform.boxes[0].title, "Discora");
    // Yes/No, question mark, No as default: 292; modal to the whole program.
    EXPECT_EQ(m.platform.boxes[0].flags, 292u | kMbTaskModal);
    EXPECT_EQ(m.platform.events.at(0), "delete");  // gone before the question
    EXPECT_EQ(m.platform.Setting("Hidden"), stored);
    EXPECT_TRUE(m.form.State().IconHidden);
  }
}

TEST_F(MenuTest, AboutShowsTheBoxThenOpensTheSameAddress) {
  for (int run = 0; run < 2; ++run) {
    platform.ClearRecords();
    if (run == 0)
      form.RunMenuCommand(MenuItem::About);
    else
      form.lblCredits_Click();
    ASSERT_EQ(platform.boxes.size(), 1u);
    ASSERT_EQ(platform.shellOpens.size(), 1u);
    const ShellCall& shell = platform.shellOpens[0];
    EXPECT_EQ(platform.boxes[0].title, "Discora 1.1");
    EXPECT_EQ(platform.boxes[0].flags, 64u | kMbTaskModal);
    EXPECT_EQ(platform.boxes[0].text, std::string(DISCORA_COPYRIGHT) + "\r\n" + shell.file);
    EXPECT_FALSE(shell.file.empty());
    EXPECT_EQ(shell.owner, window.handle);
    EXPECT_EQ(shell.parameters, "");
    EXPECT_EQ(shell.folder, "");
    EXPECT_EQ(shell.showStyle, 1);
    EXPECT_EQ(platform.events.back(), "shell:" + shell.file);  // after the box closed
  }
}

TEST_F(MenuTest, ConfigureShowsTheWindowAndExitUnloadsIt) {
  window.paths[2] = "typed";
  form.RunMenuCommand(MenuItem::Config);
  form.RunMenuCommand(MenuItem::Config);
  EXPECT_TRUE(window.visible);
  EXPECT_EQ(window.paths[2], "typed");
  EXPECT_FALSE(window.unloaded);
  form.RunMenuCommand(MenuItem::Exit);
  EXPECT_TRUE(window.unloaded);
  EXPECT_TRUE(platform.writes.empty());
  EXPECT_TRUE(platform.events.empty());
}

TEST_F(MenuTest, RefusedWriteLeavesTheCheckMarkFlipped) {
  platform.SetSetting("StartUtils", "True");
  platform.Key(RegRoot::CurrentUser, kSettingsKey).unwritable = true;
  form.RunMenuCommand(MenuItem::Utility);
  form.RunMenuCommand(MenuItem::Hide);
  EXPECT_FALSE(window.Checked(MenuItem::Utility));
  EXPECT_TRUE(form.State().IconHidden);
  EXPECT_EQ(platform.Setting("StartUtils"), "True");
  EXPECT_EQ(platform.Setting("Hidden"), std::nullopt);

  platform.Key(RegRoot::CurrentUser, kSettingsKey).unwritable = false;
  form.RunMenuCommand(MenuItem::Utility);
  form.RunMenuCommand(MenuItem::Utility);
  EXPECT_EQ(platform.Setting("StartUtils"), "False");  // the live value
  EXPECT_EQ(platform.OpenHandles(), 0u);
}

}  // namespace
}  // namespace discora::test
