// The dialog that chooses the emulator: the open-file dialog for a program,
// opened by a click on the notice or by /emulator. The user's choice is the
// only thing that writes the emulator commands; a good one starts at once for
// the disc the notice was for.
#include "agent/emulator_choice.h"
#include "agent/form.h"
#include "res/version.h"

namespace discora {

namespace {

constexpr char kProgramFilter[] = "Programs (*.exe)|*.exe";

std::string DialogTitle(DiscKind disc) {
  return disc == DiscKind::None           ? "Choose the emulator"
         : disc == DiscKind::PlayStation2 ? "Choose the emulator for PlayStation 2 discs"
                                          : "Choose the emulator for PlayStation discs";
}

}  // namespace

void FormDiscoraNotify::Form_ChooseEmulator() {
  if (choosingEmulator_) return;
  const char drive = ChooseLaunchDrive();
  ChooseEmulator(drive, DiscInDrive(drive));
}

void FormDiscoraNotify::ChooseEmulator(char drive, DiscKind disc) {
  // The dialog runs a message loop of its own, in which a second click or
  // another /emulator may arrive: they open no second dialog.
  if (choosingEmulator_) return;
  choosingEmulator_ = true;
  const std::string program = OpenDialog(window_.Handle(), kProgramFilter, DialogTitle(disc), "");
  choosingEmulator_ = false;
  if (program.empty()) return;  // cancelled: the next disc asks again

  const EmulatorChoice choice = ChooseEmulatorCommand(platform_, program, disc);
  if (choice.outcome != EmulatorChoice::Outcome::Command) {
    platform_.ShowMessageBox(0, RefusalText(choice, disc), DISCORA_TITLE,
                             kMbOk | kMbIconExclamation | kMbTaskModal);
    return;
  }
  if (!settings_.Write(choice.key, choice.command)) return;
  // The utilities started with the launch that gave the notice.
  if (disc != DiscKind::None) StartCommand(choice.command, drive, disc);
}

}  // namespace discora
