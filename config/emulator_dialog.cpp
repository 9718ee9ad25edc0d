// The dialog that chooses the emulator: the open-file dialog for a program,
// opened by a click on the notice or the icon, or by /emulator. The user's
// choice is the only thing that writes the emulator commands, and only a
// program that started for the disc the dialog was for is kept.
#include "agent/console_table.h"
#include "agent/emulator_choice.h"
#include "agent/form.h"
#include "config/open_dialog.h"
#include "res/version.h"

namespace discora {

namespace {

constexpr char kProgramFilter[] = "Programs (*.exe)|*.exe";

constexpr char kUnspellable[] =
    "Discora cannot use this program: a folder in its path has a name with letters that "
    "Windows cannot hand to Discora, and no short name. Move the emulator into a folder such as "
    "C:\\Emulators, then choose it again.";

std::string DialogTitle(DiscKind disc) {
  return disc == DiscKind::None
             ? "Choose the emulator"
             : std::string("Choose the emulator for ") + ConsoleOf(disc).name + " discs";
}

std::string DialogFailedText(std::uint32_t error) {
  // The code as CommDlgExtendedError's documentation lists it: 0x3003.
  std::string hex;
  for (int shift = 12; shift >= 0; shift -= 4) hex += "0123456789ABCDEF"[(error >> shift) & 0xF];
  return "The dialog that chooses the emulator failed (error 0x" + hex + "). Nothing was changed.";
}

std::string NotStartedText(const std::string& program, const std::string& why) {
  return "Discora could not start the program you chose, so it was not kept:\r\n\r\n" + program +
         (why.empty() ? "" : "\r\n\r\n" + why);
}

}  // namespace

void FormDiscoraNotify::Form_ChooseEmulator() {
  if (choosingEmulator_) {
    window_.BringOwnedDialogToFront();
    return;
  }
  // The foreground right /emulator handed over lasts until the user's next
  // input: taken before the drives are probed.
  window_.TakeForeground();
  DiscIdentity disc;
  const char drive = ChooseLaunchDrive(&disc);
  ChooseEmulator(drive, disc.kind);
}

void FormDiscoraNotify::ChooseEmulator(char drive, DiscKind disc) {
  // The dialog runs a message loop of its own, in which a second click or
  // another /emulator may arrive: they open no second dialog.
  if (choosingEmulator_) {
    window_.BringOwnedDialogToFront();
    return;
  }
  choosingEmulator_ = true;
  const ChosenFile file =
      platform_.ChooseFile(window_.Handle(), ConvertFilter(kProgramFilter), DialogTitle(disc));
  choosingEmulator_ = false;
  switch (file.result) {
    case ChosenFile::Result::Cancelled: return;  // the next disc asks again
    case ChosenFile::Result::Failed: TellUser(DialogFailedText(file.error)); return;
    case ChosenFile::Result::Unspellable: TellUser(kUnspellable); return;
    case ChosenFile::Result::Chosen: break;
  }

  const EmulatorChoice choice = ChooseEmulatorCommand(platform_, file.path, disc);
  if (choice.outcome != EmulatorChoice::Outcome::Command) {
    TellUser(RefusalText(choice, disc));
    return;
  }
  // Started for the disc first: a command that cannot start the program
  // would fail at every later disc with no word why. The utilities started
  // with the launch that asked.
  if (disc != DiscKind::None) {
    const long error = StartCommand(choice.command, drive, disc);
    if (error != kErrorSuccess) {
      TellUser(NotStartedText(file.path, platform_.ErrorText(error)));
      return;
    }
  }
  settings_.Write(choice.key, choice.command);
}

void FormDiscoraNotify::TellUser(const std::string& text) {
  platform_.ShowMessageBox(0, text, DISCORA_TITLE, kMbOk | kMbIconExclamation | kMbTaskModal);
}

}  // namespace discora
