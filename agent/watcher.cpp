// The disc watcher and the launcher: each poll asks the Media Control
// Interface whether a disc is in the watched drive, turns that level into an
// edge, and on a newly inserted PlayStation disc starts the utilities and
// then starts or restores the emulator.
#include <cstring>
#include <string>

#include "agent/form.h"

namespace discora {

namespace {

constexpr std::uint32_t kReplyLength = 6;

}  // namespace

bool FormDiscoraNotify::ShiftIsDown() {
  // 0x8000 or 0x8001: the key is down now.
  return platform_.AsyncKeyState(kVkShift) <= -32767;
}

void FormDiscoraNotify::Timer1_Timer() {
  RecallIcon();

  char reply[kReplyLength + 1] = {};  // one more byte so the reply always ends
  platform_.SendMciString("open " + state_.CdDrive + " Type cdaudio Alias cdvgs wait", reply,
                          kReplyLength);
  // Only the answer of a status query that succeeded is a reading: after a
  // failure the buffer still holds the open command's reply (the device id).
  std::memset(reply, 0, sizeof reply);
  if (platform_.SendMciString("status cdvgs media present wait", reply, kReplyLength) == 0) {
    if (auto present = TextToBool(std::string(reply, strnlen(reply, kReplyLength)))) {
      state_.MediaPresent = *present;
    }
  }
  platform_.SendMciString("close cdvgs", reply, kReplyLength);

  if (state_.MediaPresent) {
    if (!state_.WasPresent) {
      if (ShiftIsDown()) {
        // Held Shift marks the disc as seen without a launch.
      } else if (platform_.IsFile(state_.CdDrive + "\\system.cnf")) {
        LaunchEmulator();
      }
    }
    state_.WasPresent = true;
  } else {
    state_.WasPresent = false;
  }
}

void FormDiscoraNotify::Form_DeviceArrival(std::uint32_t unitMask, bool isMedia) {
  if (!isMedia || state_.CdDrive.size() < 2 || !window_.Checked(MenuItem::Autorun)) return;
  const int drive = state_.CdDrive[0] - 'A';
  if (drive < 0 || drive > 25 || (unitMask & (1u << drive)) == 0) return;
  Timer1_Timer();
}

void FormDiscoraNotify::LaunchEmulator() {
  if (window_.Checked(MenuItem::Utility)) {
    for (state_.LoopIndex = 0; state_.LoopIndex <= 2; ++state_.LoopIndex) {
      const std::string path = window_.PathText(state_.LoopIndex);
      // The whole text names the file: start that file, never a shorter
      // prefix of it that happens to exist ("C:\Program.exe").
      if (FileExists(path)) platform_.StartProgram(path, "\"" + path + "\"", kShowMinimized);
    }
  }

  state_.EmulatorWindow = platform_.FindWindowByTitle(state_.EmulatorTitle);
  if (state_.EmulatorWindow != 0) {
    // Restore is delivered to the emulator's own window, so a failed
    // activation can never restore some other program.
    platform_.ActivateWindow(state_.EmulatorWindow);
    if (platform_.IsMinimizedOrMaximized(state_.EmulatorWindow)) {
      platform_.RestoreWindow(state_.EmulatorWindow);
    }
    return;
  }
  if (state_.EmulatorPath.empty()) return;
  StartEmulator();
}

void FormDiscoraNotify::StartEmulator() {
  if (state_.EmulatorInAppFolder) {
    // Found in our own folder: start it there, by its full path.
    const std::string file = AppDir() + state_.EmulatorPath;
    platform_.StartProgram(file, "\"" + file + "\"", kShowNormal);
  } else if (platform_.IsFile(state_.EmulatorPath)) {
    platform_.StartProgram(state_.EmulatorPath, "\"" + state_.EmulatorPath + "\"", kShowNormal);
  } else {
    // The installer's command, possibly with arguments: passed as it stands.
    platform_.StartProgram("", state_.EmulatorPath, kShowNormal);
  }
}

bool FormDiscoraNotify::FileExists(const std::string& path) {
  std::uint64_t length = 0;
  if (path.empty() || !platform_.FileLength(path, &length)) return false;
  return length > 0;
}

}  // namespace discora
