// The tray pop-up menu mnuMain: its ten items in display order, with their
// captions and the check marks they carry when the window is created.
#pragma once

#include <array>

#include "platform/platform.h"

namespace discora {

struct MenuItemSpec {
  MenuItem item;
  const char* name;     // the item's control name
  const char* caption;  // "-" for a separator
  bool separator;
  bool checkedAtCreation;
};

constexpr std::array<MenuItemSpec, 10> kTrayMenu = {{
    {MenuItem::Autorun, "mnuAutorun", "&Enable Autorun", false, true},
    {MenuItem::Start, "mnuStart", "&Start only on disk mount", false, true},
    {MenuItem::Hide, "mnuHide", "&Hide icon", false, false},
    {MenuItem::Sep, "mnuSep", "-", true, false},
    {MenuItem::Utility, "mnuUtility", "Start with utilities", false, false},
    {MenuItem::Config, "mnuConfig", "&Configure...", false, false},
    {MenuItem::Sep1, "mnuSep1", "-", true, false},
    {MenuItem::About, "mnuAbout", "&About Discora...", false, false},
    {MenuItem::Sep2, "mnuSep2", "-", true, false},
    {MenuItem::Exit, "mnuExit", "E&xit", false, false},
}};

}  // namespace discora
