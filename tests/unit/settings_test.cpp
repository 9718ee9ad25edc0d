// The settings store and the text form of the switches: what a stored text
// means as a Boolean, and how values go into and come out of the per-user
// store without leaking keys or losing text.
#include <optional>
#include <string>
#include <vector>

#include "settings/bool_text.h"
#include "settings/registry_key.h"
#include "settings/settings.h"
#include "unit/agent_fixture.h"

namespace discora::test {
namespace {

TEST(BoolTextTest, WritesCapitalisedWords) {
  EXPECT_STREQ(BoolText(true), "True");
  EXPECT_STREQ(BoolText(false), "False");
}

TEST(BoolTextTest, ReadsWordsAndNumbers) {
  struct Row {
    std::string text;
    std::optional<bool> value;
  };
  const std::vector<Row> rows = {
      {"True", true},
      {"tRUE", true},
      {"false", false},
      {"FALSE", false},
      {"0", false},
      {"1", true},
      {" 1 ", true},
      {"-1", true},
      {"1e3", true},
      {"0.0", false},
      {"0e5", false},
      {"-0", false},
      {".5", true},
      {"&H10", true},
      {"&h0", false},
      {"&O7", true},
      {"", std::nullopt},
      {"maybe", std::nullopt},
      {"Truey", std::nullopt},
      {"1e", std::nullopt},
      {"&H", std::nullopt},
      {"&HG", std::nullopt},
      {"&H123456789", std::nullopt},  // wider than 32 bits
      {"1 1", std::nullopt},
      {std::string(300, '9'), true},                // large, but a number
      {"1" + std::string(400, '0'), std::nullopt},  // overflows
      {std::string(5000, 'x'), std::nullopt},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(TextToBool(row.text), row.value) << "text: \"" << row.text.substr(0, 20) << "\"";
  }
}

class SettingsStoreTest : public ::testing::Test {
 protected:
  FakePlatform platform;
  SettingsStore store{platform};
};

TEST_F(SettingsStoreTest, WriteCreatesTheKeyAndReadsBack) {
  EXPECT_EQ(store.Read("App3", "dflt"), "dflt");
  EXPECT_FALSE(platform.HasKey(RegRoot::CurrentUser, kSettingsKey));

  const std::string longPath = "C:\\" + std::string(400, 'p') + ".exe";
  EXPECT_TRUE(store.Write("App1", longPath));
  EXPECT_TRUE(store.Write("App2", ""));
  ASSERT_EQ(platform.writes.size(), 2u);
  EXPECT_EQ(platform.writes[0].type, kRegSz);
  EXPECT_EQ(store.Read("App1", "dflt"), longPath);
  EXPECT_EQ(store.Read("App2", "dflt"), "");  // an empty value is not an absent one
  EXPECT_EQ(store.Read("App3", "dflt"), "dflt");
  EXPECT_EQ(platform.OpenHandles(), 0u);
}

TEST_F(SettingsStoreTest, ValueWithoutTerminatorIsReadWhole) {
  platform.SetRegBytes(RegRoot::CurrentUser, kSettingsKey, "App1", kRegSz, "C:\\x.exe");
  EXPECT_EQ(store.Read("App1", ""), "C:\\x.exe");
}

TEST_F(SettingsStoreTest, RefusedKeyGivesDefaultsAndFailedWrites) {
  RegKeyData& key = platform.Key(RegRoot::CurrentUser, kSettingsKey);
  key.values["start"] = RegValue{kRegSz, std::string("False\0", 6)};
  key.unreadable = true;
  key.unwritable = true;
  EXPECT_EQ(store.Read("Start", "True"), "True");
  EXPECT_FALSE(store.Write("Start", "True"));
  platform.rejectedValues.insert("start");
  key.unwritable = false;
  EXPECT_FALSE(store.Write("Start", "True"));
  EXPECT_EQ(platform.Setting("Start"), "False");
  EXPECT_EQ(platform.OpenHandles(), 0u);
}

TEST_F(SettingsStoreTest, KeyClosesItselfOnceAtTheEndOfItsScope) {
  platform.SetSetting("Start", "False");
  {
    RegistryKey key(platform);
    ASSERT_EQ(key.Open(RegRoot::CurrentUser, kSettingsKey, RegView::Own), kErrorSuccess);
    EXPECT_EQ(platform.OpenHandles(), 1u);
    // Opening again lets go of the key held so far.
    ASSERT_EQ(key.Create(RegRoot::CurrentUser, kSettingsKey), kErrorSuccess);
    EXPECT_EQ(platform.OpenHandles(), 1u);
    EXPECT_EQ(platform.closeKeyCalls, 1);
  }
  EXPECT_EQ(platform.OpenHandles(), 0u);
  EXPECT_EQ(platform.closeKeyCalls, 2);
}

TEST_F(SettingsStoreTest, KeyNeverOpenedIsNeverClosed) {
  {
    RegistryKey key(platform);
    EXPECT_EQ(key.Open(RegRoot::CurrentUser, "Software\\Nothing", RegView::Own),
              kErrorFileNotFound);
    EXPECT_EQ(key.Close(), kErrorSuccess);
  }
  platform.Key(RegRoot::CurrentUser, kSettingsKey).unwritable = true;
  {
    RegistryKey key(platform);
    EXPECT_EQ(key.Create(RegRoot::CurrentUser, kSettingsKey), kErrorAccessDenied);
  }
  EXPECT_EQ(platform.closeKeyCalls, 0);
}

TEST_F(SettingsStoreTest, ExplicitCloseHandsBackTheSystemsAnswerAndClosesOnlyOnce) {
  platform.SetSetting("Start", "False");
  platform.Key(RegRoot::CurrentUser, kSettingsKey).closeFails = true;
  {
    RegistryKey key(platform);
    ASSERT_EQ(key.Open(RegRoot::CurrentUser, kSettingsKey, RegView::Own), kErrorSuccess);
    EXPECT_NE(key.Close(), kErrorSuccess);
    EXPECT_EQ(key.Close(), kErrorSuccess);  // nothing left to close
  }
  EXPECT_EQ(platform.closeKeyCalls, 1);
  EXPECT_EQ(platform.OpenHandles(), 0u);
}

}  // namespace
}  // namespace discora::test
