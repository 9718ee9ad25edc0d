// What the user is asked when no emulator was found: for a disc that went
// in, a notice, given only with the icon shown; for the user's own click,
// the dialog that chooses the emulator, at once. Never for a disc that is
// not a PlayStation disc.
#include "tray/tray_notice.h"

#include "agent/form.h"

namespace discora {

namespace {

constexpr char kClickToChoose[] = " Click here to choose the emulator.";

}  // namespace

TrayNotice MakeEmulatorNotice(char drive, DiscKind disc, const std::string& code) {
  TrayNotice notice;
  notice.dwInfoFlags = kNoticeInfoIcon;
  const std::string where = drive != '\0' ? std::string(" in ") + drive + ":" : std::string();
  const std::string title = disc == DiscKind::PlayStation2 ? "PlayStation 2 disc: no emulator"
                                                           : "PlayStation disc: no emulator";
  const std::string text =
      "No emulator was found for the disc" + where + (code.empty() ? "" : " (" + code + ")") + ".";
  FillNoticeField(notice.szInfoTitle, title);
  FillNoticeField(notice.szInfo, text + kClickToChoose);
  return notice;
}

void FormDiscoraNotify::AskForEmulator(char drive, DiscKind disc, LaunchCause cause) {
  // A disc with files but no boot file is some other disc, not a missing one.
  if (disc == DiscKind::None && drive != '\0' &&
      !platform_.FindFirstFileName(DriveSpec(drive) + "\\*").empty()) {
    return;
  }
  // The user who asked is asked at once: a notice may never be seen (Focus
  // or Do Not Disturb, Discora's notifications turned off) and a click on it
  // would only open the same dialog.
  if (cause == LaunchCause::Click) {
    ChooseEmulator(drive, disc);
  } else {
    ShowEmulatorNotice(drive, disc);
  }
}

void FormDiscoraNotify::ShowEmulatorNotice(char drive, DiscKind disc) {
  // No notice from an icon the user hid, or one no notification area holds.
  if (state_.IconHidden || !state_.IconShown) return;
  std::string bootFile;
  if (disc != DiscKind::None) {
    platform_.ReadFileStart(DriveSpec(drive) + "\\system.cnf", kBootFileLimit + 1, &bootFile);
  }
  notice_ = {drive, disc};
  platform_.ShowTrayNotice(state_.TrayData, MakeEmulatorNotice(drive, disc, GameCode(bootFile)));
}

}  // namespace discora
