// The launcher: starts the utilities, then chooses the emulator for the disc
// in the drive (a PlayStation or PlayStation 2 disc, or another console's)
// and starts it, or brings its running window back to the front.
#include <iterator>
#include <string>

#include "agent/command_line.h"
#include "agent/console_table.h"
#include "agent/disc_kind.h"
#include "agent/emulator_search.h"
#include "agent/form.h"

namespace discora {

void FormDiscoraNotify::LaunchEmulator(char drive, const DiscIdentity& disc, LaunchCause cause) {
  // The drive is fixed here and the rows counted locally: starting a
  // utility can run the consent prompt's message loop, in which another
  // poll may launch for another drive.
  if (window_.Checked(MenuItem::Utility)) {
    for (int row = 0; row <= 2; ++row) {
      const std::string path = window_.PathText(row);
      // The whole text names the file: start that file, never a shorter
      // prefix of it that happens to exist ("C:\Program.exe").
      if (FileExists(path)) RunProgram(path, "", kShowMinimized);
    }
  }

  EmulatorSearch search(platform_, uninstallRecords_);
  const UserCommand own = RunUserCommand(ConsoleOf(disc.kind).commandKey, disc.kind, drive);
  if (own == UserCommand::Started) return;
  // The user's choice holds even when it names nothing that starts: nothing
  // else is started in its place, and the user is asked for the emulator.
  if (own == UserCommand::Failed) {
    AskForEmulator(drive, disc, cause, search);
    return;
  }
  // Today's emulators of PlayStation 2 discs and of the other consoles'
  // come first; of PlayStation discs (and with no disc), after the emulator
  // found at start-up. Connectix Virtual Game Station and bleem! are never
  // started for the other consoles' discs.
  const bool playStationDisc = disc.kind == DiscKind::PlayStation || disc.kind == DiscKind::None;
  if (!playStationDisc && StartTodaysEmulator(drive, disc.kind, search)) return;
  if (!IsHeaderConsole(disc.kind)) {
    // The emulator found at start-up, known by its window's title.
    state_.EmulatorWindow = platform_.FindWindowByTitle(state_.EmulatorTitle);
    if (state_.EmulatorWindow != 0) {
      BringBack(state_.EmulatorWindow);
      return;
    }
    // A record that names no program that starts (the emulator uninstalled,
    // its record left behind) is as good as none.
    if (!state_.EmulatorPath.empty() && StartEmulator() == kErrorSuccess) return;
    // None was found at start-up: today's emulators of PlayStation discs,
    // which also start with no disc.
    if (playStationDisc && StartTodaysEmulator(drive, disc.kind, search)) return;
  }
  // Nothing to start: the user is asked for the emulator.
  AskForEmulator(drive, disc, cause, search);
}

bool FormDiscoraNotify::StartTodaysEmulator(char drive, DiscKind disc, EmulatorSearch& search) {
  FoundEmulator found;
  for (int index = 0; index < static_cast<int>(std::size(kTodaysEmulators)); ++index) {
    // One found that does not start is passed over, as one not found.
    if (search.Find(static_cast<TodaysEmulator>(index), disc, &found) &&
        RestoreOrStart(found.program, ExpandDriveTemplate(found.discArguments, drive), disc) ==
            kErrorSuccess) {
      return true;
    }
  }
  return false;
}

FormDiscoraNotify::UserCommand FormDiscoraNotify::RunUserCommand(const char* key, DiscKind disc,
                                                                 char drive) {
  const std::string command = settings_.Read(key, "");
  if (command.find_first_not_of(" \t") == std::string::npos) return UserCommand::None;
  return StartCommand(command, drive, disc) == kErrorSuccess ? UserCommand::Started
                                                             : UserCommand::Failed;
}

long FormDiscoraNotify::StartCommand(const std::string& command, char drive, DiscKind disc) {
  ProgramCommand parts;
  if (!SplitUserCommand(platform_, ExpandDriveTemplate(command, drive), &parts)) {
    return kErrorFileNotFound;
  }
  return RestoreOrStart(parts.program, parts.arguments, disc);
}

long FormDiscoraNotify::RestoreOrStart(const std::string& program, const std::string& discArguments,
                                       DiscKind disc) {
  // Today's emulators may run more than once and retitle their windows with
  // each game: a running one is known by its program file.
  const WindowHandle window = platform_.FindProgramWindow(program);
  if (window != 0) {
    BringBack(window);
    return kErrorSuccess;
  }
  // With no disc the emulator starts on its own window.
  return RunProgram(program, disc == DiscKind::None ? std::string() : discArguments, kShowNormal);
}

void FormDiscoraNotify::BringBack(WindowHandle window) {
  // Restore is delivered to the emulator's own window, so a failed
  // activation can never restore some other program.
  platform_.ActivateWindow(window);
  if (platform_.IsMinimizedOrMaximized(window)) platform_.RestoreWindow(window);
}

long FormDiscoraNotify::StartEmulator() {
  const std::string& location = state_.EmulatorPath;
  if (state_.EmulatorInAppFolder) {
    // Found in our own folder: start it there, by its full path.
    const std::string file = AppDir() + location;
    return RunProgram(file, "", kShowNormal);
  }
  if (platform_.IsFile(location)) return RunProgram(location, "", kShowNormal);
  if (location[0] == '"') {
    // The installer's quoted command: passed as it stands; the quotes say
    // where the program's name ends.
    const auto close = location.find('"', 1);
    const std::string file = location.substr(1, close == std::string::npos ? close : close - 1);
    const std::string arguments =
        close == std::string::npos ? std::string() : ArgumentsAfter(location, close + 1);
    return RunProgram(file, arguments, kShowNormal, location);
  }
  // The installer's path and arguments without quotes: the program is the
  // longest prefix that names a file; none names one, nothing starts.
  const std::size_t end = ProgramNameEnd(platform_, location);
  if (end == std::string::npos) return kErrorFileNotFound;
  return RunProgram(location.substr(0, end), ArgumentsAfter(location, end), kShowNormal);
}

long FormDiscoraNotify::RunProgram(const std::string& file, const std::string& arguments,
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
    return platform_.ShellOpen(window_.Handle(), file, arguments, folder, showStyle);
  }
  return error;
}

bool FormDiscoraNotify::FileExists(const std::string& path) {
  std::uint64_t length = 0;
  if (path.empty() || !platform_.FileLength(path, &length)) return false;
  return length > 0;
}

}  // namespace discora
