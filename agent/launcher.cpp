// The launcher: starts the utilities, then starts the emulator or brings its
// running window back to the front.
#include <string>

#include "agent/form.h"

namespace discora {

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
