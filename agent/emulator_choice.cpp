#include "agent/emulator_choice.h"

#include <cstring>
#include <iterator>

#include "agent/command_line.h"
#include "agent/console_table.h"
#include "agent/emulator_table.h"
#include "settings/settings.h"

namespace discora {

namespace {

// The file name of a path.
std::string FileName(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Whether the file `name` is one of `traits`' programs, letter case ignored.
bool IsProgramOf(const std::string& name, const EmulatorTraits& traits) {
  const std::size_t start = std::strlen(traits.programStart);
  constexpr char kExe[] = ".exe";
  constexpr std::size_t kExeLength = sizeof kExe - 1;
  if (name.size() < start + kExeLength || !BeginsWith(name, traits.programStart) ||
      !SameName(name.substr(name.size() - kExeLength), kExe)) {
    return false;
  }
  return !traits.exactName || name.size() == start + kExeLength;
}

}  // namespace

EmulatorChoice ChooseEmulatorCommand(Platform& platform, const std::string& program,
                                     DiscKind disc) {
  EmulatorChoice choice;
  // Written so that it reads back as the same path, "%" and all.
  const std::string path = TemplateLiteral(Quoted(program));
  const std::string name = FileName(program);
  for (int index = 0; index < static_cast<int>(std::size(kTodaysEmulators)); ++index) {
    const auto emulator = static_cast<TodaysEmulator>(index);
    const EmulatorTraits& traits = TraitsOf(emulator);
    if (!IsProgramOf(name, traits)) continue;
    choice.emulator = traits.displayName;
    const DiscKind plays = disc == DiscKind::None ? traits.plays : disc;
    choice.key = ConsoleOf(plays).commandKey;
    if (!Plays(emulator, plays)) {
      choice.outcome = EmulatorChoice::Outcome::WrongKind;
      return choice;
    }
    std::string core;
    if (traits.needsCore) {
      core = CoreFor(platform, FolderOf(program), plays);
      if (core.empty()) {
        choice.outcome = EmulatorChoice::Outcome::NoCore;
        return choice;
      }
    }
    choice.command = path + " " + DiscArgumentsOf(emulator, core);
    return choice;
  }
  // Any other program gets the disc as the user adds it to the command.
  choice.key = ConsoleOf(disc).commandKey;
  choice.command = path;
  return choice;
}

std::string RefusalText(const EmulatorChoice& choice, DiscKind disc) {
  const std::string emulator = choice.emulator != nullptr ? choice.emulator : "";
  const ConsoleTraits& console = ConsoleOf(disc);
  if (choice.outcome == EmulatorChoice::Outcome::NoCore) {
    return emulator + " has no core for " + console.name + " discs in its cores folder. Install " +
           console.cores[0].name + " with its Online Updater (Core Downloader), then choose " +
           emulator + " again.";
  }
  return emulator + " cannot play " + console.name + " discs. Choose an emulator for " +
         console.name + " discs.";
}

}  // namespace discora
