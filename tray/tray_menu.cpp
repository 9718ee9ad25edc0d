// The commands of the tray menu. The three switches are the options
// themselves: each command flips its check mark and stores it at once.
#include <string>

#include "agent/form.h"
#include "res/version.h"

namespace discora {

void FormDiscoraNotify::RunMenuCommand(MenuItem item) {
  switch (item) {
    case MenuItem::Autorun: mnuAutorun_Click(); break;
    case MenuItem::Start: mnuStart_Click(); break;
    case MenuItem::Hide: mnuHide_Click(); break;
    case MenuItem::Utility: mnuUtility_Click(); break;
    case MenuItem::Config: mnuConfig_Click(); break;
    case MenuItem::About: mnuAbout_Click(); break;
    case MenuItem::Exit: mnuExit_Click(); break;
    default: break;
  }
}

void FormDiscoraNotify::mnuAutorun_Click() {
  window_.SetChecked(MenuItem::Autorun, !window_.Checked(MenuItem::Autorun));
  window_.SetTimerEnabled(window_.Checked(MenuItem::Autorun));
  settings_.Write(keys::kEnabled, BoolText(window_.Checked(MenuItem::Autorun)));
}

void FormDiscoraNotify::mnuStart_Click() {
  // Takes effect at the next start, where it seeds the latch.
  window_.SetChecked(MenuItem::Start, !window_.Checked(MenuItem::Start));
  settings_.Write(keys::kStart, BoolText(window_.Checked(MenuItem::Start)));
}

void FormDiscoraNotify::mnuUtility_Click() {
  window_.SetChecked(MenuItem::Utility, !window_.Checked(MenuItem::Utility));
  settings_.Write(keys::kStartUtils, BoolText(window_.Checked(MenuItem::Utility)));
}

void FormDiscoraNotify::mnuHide_Click() {
  DeleteTrayIcon();
  // Both boxes are modal to the whole program (no owner, task-modal): while
  // one is open the configuration window takes no clicks, yet the timer
  // and the tray go on.
  const int answer =
      platform_.ShowMessageBox(0, "Do you want Discora always hidden?", DISCORA_TITLE,
                               kMbYesNo | kMbIconQuestion | kMbDefButton2 | kMbTaskModal);
  settings_.Write(keys::kHidden, BoolText(answer == kIdYes));
  state_.IconHidden = true;
}

void FormDiscoraNotify::mnuConfig_Click() { window_.SetVisible(true); }

void FormDiscoraNotify::mnuAbout_Click() {
  platform_.ShowMessageBox(0, std::string(DISCORA_COPYRIGHT) + "\r\n" + DISCORA_HOMEPAGE,
                           window_.Caption(), kMbOk | kMbIconInformation | kMbTaskModal);
  platform_.ShellOpen(window_.Handle(), DISCORA_HOMEPAGE, "", "", kShowNormal);
}

void FormDiscoraNotify::mnuExit_Click() { window_.Unload(); }

}  // namespace discora
