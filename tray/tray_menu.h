// The tray pop-up menu mnuMain: its ten items in display order, with their
// command ids, captions and the check marks they carry when the window is
// created. The window builds the menu from this table.
#pragma once

#include <array>

#include "platform/form_window.h"
#include "res/resource.h"

namespace discora {

struct MenuItemSpec {
  MenuItem item;
  unsigned id;          // the WM_COMMAND id
  const char* caption;  // "-" for a separator
  bool separator;
  bool checkedAtCreation;
};

constexpr std::array<MenuItemSpec, 10> kTrayMenu = {{
    {MenuItem::Autorun, IDM_AUTORUN, "&Enable Autorun", false, true},
    {MenuItem::Start, IDM_START, "&Start only on disk mount", false, true},
    {MenuItem::Hide, IDM_HIDE, "&Hide icon", false, false},
    {MenuItem::Sep, IDM_SEP, "-", true, false},
    {MenuItem::Utility, IDM_UTILITY, "Start with utilities", false, false},
    {MenuItem::Config, IDM_CONFIG, "&Configure...", false, false},
    {MenuItem::Sep1, IDM_SEP1, "-", true, false},
    {MenuItem::About, IDM_ABOUT, "&About Discora...", false, false},
    {MenuItem::Sep2, IDM_SEP2, "-", true, false},
    {MenuItem::Exit, IDM_EXIT, "E&xit", false, false},
}};

// The table's entry for `item`, or nullptr for MenuItem::None.
constexpr const MenuItemSpec* FindMenuItem(MenuItem item) {
  for (const MenuItemSpec& entry : kTrayMenu) {
    if (entry.item == item) return &entry;
  }
  return nullptr;
}

// The item with command id `id`, or MenuItem::None.
constexpr MenuItem MenuItemFromId(unsigned id) {
  for (const MenuItemSpec& entry : kTrayMenu) {
    if (entry.id == id) return entry.item;
  }
  return MenuItem::None;
}

}  // namespace discora
