// What the user is asked when no emulator was found: for a disc that went
// in, a notice, given only with the icon shown; for the user's own click,
// the dialog that chooses the emulator, at once. Never for a disc that is
// no console's.
#include "tray/tray_notice.h"

#include "agent/console_table.h"
#include "agent/emulator_search.h"
#include "agent/form.h"

namespace discora {

namespace {

constexpr char kClickToChoose[] = " Click here to choose the emulator.";

}  // namespace

TrayNotice MakeEmulatorNotice(char drive, const DiscIdentity& disc, bool noCore) {
  TrayNotice notice;
  notice.dwInfoFlags = kNoticeInfoIcon;
  const ConsoleTraits& console = ConsoleOf(disc.kind);
  const std::string where = drive != '\0' ? std::string(" in ") + drive + ":" : std::string();
  const std::string text =
      noCore ? "RetroArch has no core for the disc" + where + ". Install " + console.cores[0].name +
                   " with its Online Updater, or click here to choose another emulator."
             : "No emulator was found for the disc" + where +
                   (disc.code.empty() ? "" : " (" + disc.code + ")") + "." + kClickToChoose;
  FillNoticeField(notice.szInfoTitle, std::string(console.name) + " disc: no emulator");
  FillNoticeField(notice.szInfo, text);
  return notice;
}

void FormDiscoraNotify::AskForEmulator(char drive, const DiscIdentity& disc, LaunchCause cause,
                                       const EmulatorSearch& search) {
  // A disc with files but no boot file and no console's header is some
  // other disc, not a missing one.
  if (disc.kind == DiscKind::None && drive != '\0' &&
      !platform_.FindFirstFileName(DriveSpec(drive) + "\\*").empty()) {
    return;
  }
  // The user who asked is asked at once: a notice may never be seen (Focus
  // or Do Not Disturb, Discora's notifications turned off) and a click on it
  // would only open the same dialog.
  if (cause == LaunchCause::Click) {
    ChooseEmulator(drive, disc.kind);
  } else {
    // RetroArch is the one emulator of the other consoles' discs: one
    // without the core is named, with the core to get.
    ShowEmulatorNotice(drive, disc, IsHeaderConsole(disc.kind) && search.FoundWithoutCore());
  }
}

void FormDiscoraNotify::ShowEmulatorNotice(char drive, const DiscIdentity& disc, bool noCore) {
  // No notice from an icon the user hid, or one no notification area holds.
  if (state_.IconHidden || !state_.IconShown) return;
  noticeDrive_ = drive;
  platform_.ShowTrayNotice(state_.TrayData, MakeEmulatorNotice(drive, disc, noCore));
}

}  // namespace discora
