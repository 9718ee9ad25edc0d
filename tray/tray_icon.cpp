// The tray icon: adding it at start-up unless the user hid it (and again at each poll until a
// notification area has taken it), deleting it, bringing a hidden icon back while Shift is held,
// and decoding the mouse events the notification area sends.
#include "agent/form.h"
#include "tray/tray_notice.h"
#include "tray/tray_record.h"

namespace discora {

void FormDiscoraNotify::LoadTrayIcon() {
  state_.TrayData = MakeTrayRecord(window_.Handle(), window_.Icon(), window_.Caption());
  state_.TrayDataFilled = true;
  if (auto hidden = TextToBool(settings_.Read(keys::kHidden, BoolText(false)))) {
    state_.IconHidden = *hidden;
  }
  if (!state_.IconHidden) AddTrayIcon();
}

void FormDiscoraNotify::AddTrayIcon() {
  // A shell that holds the icon already refuses to add it again, and one
  // too busy to answer in time may have added it all the same: then
  // changing the icon succeeds, and it is shown.
  state_.IconShown = platform_.NotifyIcon(kNimAdd, state_.TrayData) ||
                     platform_.NotifyIcon(kNimModify, state_.TrayData);
}

// IconShown is left as it was: an icon the agent deleted itself (hidden by
// the user, or the program unloading) is not one the ticks add again.
void FormDiscoraNotify::DeleteTrayIcon() { platform_.NotifyIcon(kNimDelete, state_.TrayData); }

void FormDiscoraNotify::RecallIcon() {
  if (state_.IconHidden) {
    // The keyboard is asked only while the icon is hidden: the question
    // costs a round trip to the window system on every tick.
    if (ShiftIsDown()) {
      state_.IconHidden = false;
      AddTrayIcon();
    }
  } else if (!state_.IconShown && state_.TrayDataFilled) {
    // Started before the taskbar (at logon): the add failed, and no
    // "TaskbarCreated" may follow. Asked again until it succeeds; a shown
    // icon costs the tick nothing.
    AddTrayIcon();
  }
}

void FormDiscoraNotify::Form_MouseMove(unsigned trayMessage) {
  const bool click = trayMessage == kTrayDoubleClick || trayMessage == kTrayBalloonClick;
  // While the emulator's dialog is open, a click on the icon or its notice
  // shows that dialog, which may have opened behind other windows.
  if (click && choosingEmulator_) {
    window_.BringOwnedDialogToFront();
    return;
  }
  // A second tray event that arrives while the first one's menu or message
  // box is open is ignored.
  if (menuBusy_) return;
  menuBusy_ = true;
  struct ClearBusy {
    bool& flag;
    ~ClearBusy() { flag = false; }
  } clearBusy{menuBusy_};
  // The click gives the right to the foreground, until the user's next
  // input: it is taken before the drives are probed, which can take seconds
  // on a drive that spins up, so that a dialog or an emulator opened then
  // comes up in front.
  if (click) window_.TakeForeground();
  if (trayMessage == kTrayDoubleClick) {
    DiscIdentity disc;
    const char drive = ChooseLaunchDrive(&disc);
    LaunchEmulator(drive, disc, LaunchCause::Click);
  } else if (trayMessage == kTrayBalloonClick) {
    // A click from the notification centre may come long after the notice:
    // the disc in its drive now is the one chosen for.
    ChooseEmulator(noticeDrive_, IdentifyDisc(noticeDrive_).kind);
  } else if (trayMessage == kTrayRightButtonUp) {
    int x = 0;
    int y = 0;
    platform_.CursorPos(&x, &y);
    const MenuItem chosen = window_.PopupMenu(x, y);
    RunMenuCommand(chosen);
    // Closed with Esc or a click elsewhere, or a switch flipped: the menu's
    // work is done and the focus goes back to the notification area. The
    // other commands open a window or box of their own, or end the program.
    if (!state_.IconHidden && (chosen == MenuItem::None || chosen == MenuItem::Autorun ||
                               chosen == MenuItem::Start || chosen == MenuItem::Utility)) {
      platform_.NotifyIcon(kNimSetFocus, state_.TrayData);
    }
  }
}

void FormDiscoraNotify::Form_Unload() { DeleteTrayIcon(); }

void FormDiscoraNotify::Form_TaskbarCreated() {
  // The new taskbar knows nothing of our icon: add it again unless the
  // user hid it.
  if (!state_.IconHidden && state_.TrayDataFilled) AddTrayIcon();
}

}  // namespace discora
