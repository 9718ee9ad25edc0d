// The configuration window: the main window made visible, holding the three
// utility paths. Only OK stores them; the launcher reads the fields as they
// stand.
#include "config/config_window.h"

#include "agent/form.h"
#include "config/layout.h"
#include "config/open_dialog.h"

namespace discora {

std::string BrowseTitle(const std::string& labelCaption) {
  return "Select " +
         (labelCaption.empty() ? labelCaption : labelCaption.substr(0, labelCaption.size() - 1));
}

void FormDiscoraNotify::btnBrowse_Click(int index) {
  const std::string title = BrowseTitle(window_.LabelCaption(index));
  const std::string chosen =
      OpenDialog(window_.Handle(), kBrowseFilter, title, platform_.AppFolder());
  if (!chosen.empty()) window_.SetPathText(index, chosen);
}

void FormDiscoraNotify::btnOK_Click() {
  settings_.Write(keys::kApp1, window_.PathText(0));
  settings_.Write(keys::kApp2, window_.PathText(1));
  settings_.Write(keys::kApp3, window_.PathText(2));
  window_.SetVisible(false);
}

void FormDiscoraNotify::txtPath_GotFocus(int index) {
  window_.SelectPathText(index, 0, static_cast<int>(window_.PathText(index).size()));
}

std::string FormDiscoraNotify::OpenDialog(WindowHandle form1, const std::string& filter,
                                          const std::string& title, const std::string& initDir) {
  OpenFileRecord record =
      MakeOpenFileRecord(form1, platform_.InstanceHandle(), filter, title, initDir);
  if (!platform_.ShowOpenFileDialog(record)) return std::string();
  return DialogResultText(record.file);
}

void FormDiscoraNotify::lblCredits_Click() { mnuAbout_Click(); }

bool FormDiscoraNotify::Form_QueryUnload(int unloadMode) {
  if (unloadMode == kUnloadFromControlMenu) {
    window_.SetVisible(false);
    return true;
  }
  return false;
}

}  // namespace discora
