// A small machine for the agent to run on: one CD-ROM drive D: with an empty
// tray, the program in C:\Discora and nothing in the settings store. Tests
// change what they need before starting the agent.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "agent/form.h"
#include "fakes/fake_platform.h"
#include "tray/tray_record.h"

namespace discora::test {

constexpr char kVgsKey[] = "SOFTWARE\\Connectix\\Connectix Virtual Game Station\\General";
// Where the emulator's 32-bit installer's record is on 64-bit Windows.
constexpr char kVgsRecordKey[] =
    "SOFTWARE\\WOW6432Node\\Connectix\\Connectix Virtual Game Station\\General";
constexpr char kVgsTitle[] = "Connectix Virtual Game Station";
constexpr char kOpenD[] = "open D: Type cdaudio Alias cdvgs wait";
constexpr char kStatus[] = "status cdvgs media present wait";

inline std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

struct Machine {
  Machine() {
    platform.drives['D'] = kDriveCdrom;
    platform.mci[kOpenD] = MciReply{0, "1"};  // the open command answers with the device id
    platform.SetDisc(false);
  }

  // Starts the agent and forgets what start-up did.
  void StartAgent() {
    ASSERT_TRUE(form.Form_Load());
    platform.ClearRecords();
  }
  // The watched drive `letter`'s reading and latch.
  WatchedDrive Drive(char letter = 'D') {
    const WatchedDrive* drive = form.State().Drives.Find(letter);
    EXPECT_NE(drive, nullptr) << letter << ": is not watched";
    return drive != nullptr ? *drive : WatchedDrive{};
  }
  void InsertPlayStationDisc() {
    platform.SetDisc(true);
    // Disc file systems report upper case.
    platform.AddFile("D:\\SYSTEM.CNF", "BOOT = cdrom:\\SLUS_000.01;1\r\nTCB = 4\r\nEVENT = 10\r\n");
  }

  FakePlatform platform;
  FakeForm window;
  FormDiscoraNotify form{platform, window};
};

class AgentTest : public ::testing::Test, public Machine {};

}  // namespace discora::test
