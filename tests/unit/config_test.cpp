// The configuration window and its open-file dialog: the record the dialog is
// given, what comes back into a path field, OK, closing, focus, and the
// window's layout in pixels.
#include <string>
#include <vector>

#include "config/config_window.h"
#include "config/layout.h"
#include "config/open_dialog.h"
#include "unit/agent_fixture.h"

namespace discora::test {
namespace {

const std::string kConvertedFilter("Applications (*.exe)\0*.exe\0All files (*.*)\0*.*\0", 47);

TEST(OpenDialogTest, FilterGetsNulSeparatorsWithOrWithoutTheFinalBar) {
  EXPECT_EQ(ConvertFilter(kBrowseFilter), kConvertedFilter);
  EXPECT_EQ(ConvertFilter(std::string(kBrowseFilter) + "|"), kConvertedFilter);
}

TEST(OpenDialogTest, ResultIsTheBufferUpToItsNulWithoutBlanks) {
  EXPECT_EQ(DialogResultText(std::string("  C:\\a b.exe  \0   ", 18)), "C:\\a b.exe");
  EXPECT_EQ(DialogResultText(std::string(254, ' ') + '\0'), "");
}

TEST(BrowseTitleTest, IsSelectAndTheLabelWithoutItsLastCharacter) {
  EXPECT_EQ(BrowseTitle("VGSJoy Path:"), "Select VGSJoy Path");
  EXPECT_EQ(BrowseTitle("Another Utility  Path:"), "Select Another Utility  Path");
  EXPECT_EQ(BrowseTitle("Path"), "Select Pat");  // the last character, colon or not
  EXPECT_EQ(BrowseTitle(":"), "Select ");
  EXPECT_EQ(BrowseTitle(""), "Select ");
}

class ConfigTest : public AgentTest {
 protected:
  void SetUp() override {
    platform.appFolder = "C:\\Games\\Discora";
    StartAgent();
    window.paths = {"typed 0", "typed 1", "typed 2"};
  }
};

TEST_F(ConfigTest, BrowseGivesTheDialogItsRecord) {
  platform.dialogResult = std::nullopt;
  form.btnBrowse_Click(0);
  ASSERT_EQ(platform.dialogs.size(), 1u);
  const OpenFileRecord& r = platform.dialogs[0];
  EXPECT_EQ(r.structSize, 76u);
  EXPECT_EQ(r.owner, window.handle);
  EXPECT_EQ(r.instance, FakePlatform::kInstance);
  EXPECT_EQ(r.filter, kConvertedFilter + '\0');  // the list ends in two NULs
  EXPECT_EQ(r.filterIndex, 0u);
  EXPECT_EQ(r.file, std::string(254, ' ') + '\0');
  EXPECT_EQ(r.maxFile, 255u);
  EXPECT_EQ(r.fileTitle, std::string(254, ' ') + '\0');
  EXPECT_EQ(r.maxFileTitle, 255u);
  EXPECT_EQ(r.initialDir, "C:\\Games\\Discora");
  EXPECT_EQ(r.title, "Select VGSJoy Path");
  EXPECT_EQ(r.flags, 4100u);
}

TEST_F(ConfigTest, EachRowTitlesTheDialogWithItsLabel) {
  for (int row = 0; row < 3; ++row) form.btnBrowse_Click(row);
  ASSERT_EQ(platform.dialogs.size(), 3u);
  EXPECT_EQ(platform.dialogs[0].title, "Select VGSJoy Path");
  EXPECT_EQ(platform.dialogs[1].title, "Select [pec] Path");
  EXPECT_EQ(platform.dialogs[2].title, "Select Another Utility  Path");
}

TEST_F(ConfigTest, ChosenPathReplacesTheFieldAndCancelKeepsIt) {
  const std::string longest = "C:\\" + std::string(247, 'd') + ".exe";
  ASSERT_EQ(longest.size(), 254u);
  platform.dialogResult = longest;
  form.btnBrowse_Click(1);
  EXPECT_EQ(window.paths[1], longest);

  platform.dialogResult = "  C:\\Tools\\Joy.exe ";
  form.btnBrowse_Click(0);
  EXPECT_EQ(window.paths[0], "C:\\Tools\\Joy.exe");

  platform.dialogResult = std::nullopt;
  form.btnBrowse_Click(2);
  platform.dialogResult = longest + "x";  // too long for the buffer: the dialog fails
  form.btnBrowse_Click(2);
  EXPECT_EQ(window.paths[2], "typed 2");
  EXPECT_TRUE(platform.writes.empty());  // browsing stores nothing
}

TEST_F(ConfigTest, OkStoresThePathsInOrderUnchangedAndHides) {
  window.visible = true;
  window.paths = {" C:\\a.exe ", "", "D:\\c.exe"};
  form.btnOK_Click();
  ASSERT_EQ(platform.writes.size(), 3u);
  EXPECT_EQ(platform.writes[0].name, "App1");
  EXPECT_EQ(platform.writes[1].name, "App2");
  EXPECT_EQ(platform.writes[2].name, "App3");
  EXPECT_EQ(platform.Setting("App1"), " C:\\a.exe ");
  EXPECT_EQ(platform.Setting("App2"), "");
  EXPECT_EQ(platform.Setting("App3"), "D:\\c.exe");
  EXPECT_FALSE(window.visible);
}

TEST_F(ConfigTest, FailedFirstWriteStillStoresTheOthersAndHides) {
  window.visible = true;
  platform.rejectedValues.insert("app1");
  form.btnOK_Click();
  EXPECT_EQ(platform.Setting("App1"), std::nullopt);
  EXPECT_EQ(platform.Setting("App2"), "typed 1");
  EXPECT_EQ(platform.Setting("App3"), "typed 2");
  EXPECT_FALSE(window.visible);
  EXPECT_EQ(platform.OpenHandles(), 0u);
}

TEST_F(ConfigTest, CloseFromTheWindowOnlyHidesIt) {
  window.visible = true;
  EXPECT_TRUE(form.Form_QueryUnload(kUnloadFromControlMenu));
  EXPECT_FALSE(window.visible);
  EXPECT_EQ(window.paths[0], "typed 0");
  for (int mode : {kUnloadFromCode, kUnloadAppWindows, kUnloadTaskManager}) {
    window.visible = true;
    EXPECT_FALSE(form.Form_QueryUnload(mode)) << mode;
    EXPECT_TRUE(window.visible);
  }
  EXPECT_TRUE(platform.writes.empty());
  EXPECT_TRUE(platform.events.empty());
}

TEST_F(ConfigTest, FocusSelectsTheWholeText) {
  window.paths[1] = "C:\\Tools\\pec.exe";
  window.paths[2] = "";
  form.txtPath_GotFocus(1);
  form.txtPath_GotFocus(2);
  ASSERT_EQ(window.selections.size(), 2u);
  EXPECT_EQ(window.selections[0].index, 1);
  EXPECT_EQ(window.selections[0].start, 0);
  EXPECT_EQ(window.selections[0].length, 16);
  EXPECT_EQ(window.selections[1].index, 2);
  EXPECT_EQ(window.selections[1].length, 0);
}

TEST(LayoutTest, ControlIdsNameTheirRow) {
  for (int row = 0; row < kPathRows; ++row) {
    EXPECT_EQ(PathFieldRow(IDC_TXTPATH0 + row), row);
    EXPECT_EQ(BrowseButtonRow(IDC_BTNBROWSE0 + row), row);
    EXPECT_EQ(PathFieldRow(IDC_BTNBROWSE0 + row), -1);
    EXPECT_EQ(BrowseButtonRow(IDC_TXTPATH0 + row), -1);
  }
  for (int id : {IDC_TXTPATH0 - 1, IDC_TXTPATH0 + kPathRows, IDC_BTNBROWSE0 + kPathRows,
                 IDC_LBLPATH0, IDC_BTNOK, IDC_LBLCREDITS}) {
    EXPECT_EQ(PathFieldRow(id), -1) << id;
    EXPECT_EQ(BrowseButtonRow(id), -1) << id;
  }
}

TEST(LayoutTest, TwipsConvertToWholePixelsAtTheScreensResolution) {
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips), 301);
  EXPECT_EQ(TwipsToPixels(kClientHeightTwips), 158);
  for (const auto& c : kConfigControls) {
    for (int twips : {c.left, c.top, c.width, c.height}) {
      EXPECT_EQ(TwipsToPixels(twips) * 15, twips) << "control " << c.id;
    }
  }
  // Large fonts (120 dots per inch): 12 twips per pixel, halves up.
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 120), 376);
  EXPECT_EQ(TwipsToPixels(kClientHeightTwips, 120), 198);
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 144), 452);
  EXPECT_EQ(TwipsToPixels(kClientWidthTwips, 0), 301);
  // The rows' uneven edges survive the conversion.
  EXPECT_EQ(TwipsToPixels(kConfigControls[4].left), 5);  // txtPath(2)
  EXPECT_EQ(TwipsToPixels(kConfigControls[4].top), 101);
  EXPECT_EQ(TwipsToPixels(kConfigControls[5].top), 102);  // btnBrowse(2)
  EXPECT_EQ(TwipsToPixels(kConfigControls[6].left), 7);   // lblPath(0)
}

}  // namespace
}  // namespace discora::test
