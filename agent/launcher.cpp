// The launcher: starts the utilities, then starts the emulator or brings its
// running window back to the front.
#include <string>

#include "agent/form.h"
#include "platform/path_folder.h"

namespace discora {

namespace {

// A command line separates a program's name from its arguments, and the
// arguments from each other, by blanks and tabs only.
bool IsCommandLineBlank(char c) { return c == ' ' || c == '\t'; }

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The folder a program is started in: the one its file lies in, as a
// shortcut's "Start in" gives it. A bare name has none, and the program
// keeps the agent's folder.
std::string FolderOf(const std::string& file) {
  const std::size_t length = FolderLength(file.data(), file.size());
  return length == kNoFolder ? std::string() : file.substr(0, length);
}

// The text after a program's name, without the blanks that separate them.
std::string ArgumentsAfter(const std::string& command, std::size_t nameEnd) {
  std::size_t first = nameEnd;
  while (first < command.size() && IsCommandLineBlank(command[first])) ++first;
  return first < command.size() ? command.substr(first) : std::string();
}

}  // namespace

void FormDiscoraNotify::LaunchEmulator() {
  if (window_.Checked(MenuItem::Utility)) {
    for (state_.LoopIndex = 0; state_.LoopIndex <= 2; ++state_.LoopIndex) {
      const std::string path = window_.PathText(state_.LoopIndex);
      // The whole text names the file: start that file, never a shorter
      // prefix of it that happens to exist ("C:\Program.exe").
      if (FileExists(path)) RunProgram(path, "", kShowMinimized);
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
  const std::string& location = state_.EmulatorPath;
  if (state_.EmulatorInAppFolder) {
    // Found in our own folder: start it there, by its full path.
    const std::string file = AppDir() + location;
    RunProgram(file, "", kShowNormal);
  } else if (platform_.IsFile(location)) {
    RunProgram(location, "", kShowNormal);
  } else if (location[0] == '"') {
    // The installer's quoted command: passed as it stands; the quotes say
    // where the program's name ends.
    const auto close = location.find('"', 1);
    const std::string file = location.substr(1, close == std::string::npos ? close : close - 1);
    const std::string arguments =
        close == std::string::npos ? std::string() : ArgumentsAfter(location, close + 1);
    RunProgram(file, arguments, kShowNormal, location);
  } else {
    // The installer's path and arguments without quotes. Handed over as it
    // stands, the system would try each prefix up to a blank in turn, the
    // shortest first: "C:\Program Files\VGS\vgs.exe -x" would start any
    // "C:\Program.exe". The program is the longest prefix ending before a
    // blank that names a file; none names one, nothing starts.
    for (std::size_t end = location.size() - 1; end > 0; --end) {
      if (!IsCommandLineBlank(location[end]) || IsCommandLineBlank(location[end - 1])) continue;
      const std::string file = location.substr(0, end);
      if (!platform_.IsFile(file)) continue;
      RunProgram(file, ArgumentsAfter(location, end), kShowNormal);
      return;
    }
  }
}

void FormDiscoraNotify::RunProgram(const std::string& file, const std::string& arguments,
                                   int showStyle, const std::string& command) {
  // Started in the program's own folder: never in whichever folder the agent
  // happens to be in (System32 when started at logon, or the folder last
  // browsed to in the open-file dialog).
  const std::string folder = FolderOf(file);
  // By its quoted full path, so no blank in it can split it; or the given
  // command as it stands, the system taking the program from it.
  const std::string commandLine =
      !command.empty() ? command : Quoted(file) + (arguments.empty() ? "" : " " + arguments);
  const long error =
      platform_.StartProgram(command.empty() ? file : "", commandLine, folder, showStyle);
  // A program marked to run as administrator cannot be created by a process
  // that is not elevated; the shell starts it once the user consents.
  if (error == kErrorElevationRequired) {
    platform_.ShellOpen(window_.Handle(), file, arguments, folder, showStyle);
  }
}

bool FormDiscoraNotify::FileExists(const std::string& path) {
  std::uint64_t length = 0;
  if (path.empty() || !platform_.FileLength(path, &length)) return false;
  return length > 0;
}

}  // namespace discora
