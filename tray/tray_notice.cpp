// The notice the icon gives for a disc no emulator was found for, and when it
// is given: only with the icon shown, and never for a disc that is not a
// PlayStation disc.
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
  std::string title;
  std::string text;
  if (disc == DiscKind::None) {
    title = "No emulator for PlayStation discs";
    text = "No emulator was found, and there is no PlayStation disc" + where + ".";
  } else {
    title = disc == DiscKind::PlayStation2 ? "PlayStation 2 disc: no emulator"
                                           : "PlayStation disc: no emulator";
    text = "No emulator was found for the disc" + where + (code.empty() ? "" : " (" + code + ")") +
           ".";
  }
  FillNoticeField(notice.szInfoTitle, title);
  FillNoticeField(notice.szInfo, text + kClickToChoose);
  return notice;
}

void FormDiscoraNotify::ShowEmulatorNotice(char drive, DiscKind disc) {
  // No notice from an icon the user hid, or one no notification area holds.
  if (state_.IconHidden || !state_.IconShown) return;
  const std::string root = drive != '\0' ? DriveSpec(drive) + "\\" : std::string();
  // A disc with files but no boot file is some other disc, not a missing one.
  if (disc == DiscKind::None && !root.empty() && !platform_.FindFirstFileName(root + "*").empty()) {
    return;
  }
  std::string bootFile;
  if (disc != DiscKind::None) {
    platform_.ReadFileStart(root + "system.cnf", kBootFileLimit + 1, &bootFile);
  }
  notice_ = {drive, disc};
  platform_.ShowTrayNotice(state_.TrayData, MakeEmulatorNotice(drive, disc, GameCode(bootFile)));
}

}  // namespace discora
