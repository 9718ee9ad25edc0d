// The configuration window's layout in twips (1/1440 inch), and its
// conversion to pixels at the screen's resolution: 15 twips per pixel at
// 96 dots per inch, 12 at 120. The window makes its controls from this
// table, and its font from the same resolution.
#pragma once

#include <array>

#include "res/resource.h"
#include "res/version.h"

namespace discora {

constexpr int kTwipsPerInch = 1440;
constexpr int kDefaultDpi = 96;
constexpr int kClientWidthTwips = 4515;
constexpr int kClientHeightTwips = 2370;

// Whole pixels at `dpi` dots per inch, halves rounded up. A resolution the
// screen cannot have (none, or absurd) counts as the usual 96.
constexpr int TwipsToPixels(int twips, int dpi = kDefaultDpi) {
  if (dpi <= 0 || dpi > 4 * kTwipsPerInch) dpi = kDefaultDpi;
  return (twips * dpi + kTwipsPerInch / 2) / kTwipsPerInch;
}

enum class ControlKind { Edit, Button, Label, DefaultButton, Link };

// The three rows of path controls; row i is txtPath(i), btnBrowse(i) and
// lblPath(i), with ids IDC_TXTPATH0 + i and so on.
constexpr int kPathRows = 3;

struct ControlSpec {
  int id;
  ControlKind kind;
  const char* caption;
  int left, top, width, height;  // twips
};

// In tab order (the window creates them in this order); each label stands
// above its field, the browse button at the right end of the field's row.
constexpr std::array<ControlSpec, 11> kConfigControls = {{
    {IDC_TXTPATH0 + 0, ControlKind::Edit, "", 90, 360, 4080, 300},
    {IDC_BTNBROWSE0 + 0, ControlKind::Button, "...", 4155, 360, 315, 300},
    {IDC_TXTPATH0 + 1, ControlKind::Edit, "", 90, 945, 4080, 300},
    {IDC_BTNBROWSE0 + 1, ControlKind::Button, "...", 4155, 945, 315, 300},
    {IDC_TXTPATH0 + 2, ControlKind::Edit, "", 75, 1515, 4080, 300},
    {IDC_BTNBROWSE0 + 2, ControlKind::Button, "...", 4155, 1530, 315, 300},
    {IDC_LBLPATH0 + 0, ControlKind::Label, "VGSJoy Path:", 105, 135, 2415, 240},
    {IDC_LBLPATH0 + 1, ControlKind::Label, "[pec] Path:", 90, 750, 2415, 240},
    {IDC_LBLPATH0 + 2, ControlKind::Label, "Another Utility  Path:", 90, 1320, 2415, 240},
    {IDC_BTNOK, ControlKind::DefaultButton, "OK", 3330, 1995, 1140, 345},
    {IDC_LBLCREDITS, ControlKind::Link, DISCORA_CREDITS, 90, 2025, 3075, 285},
}};

// The row of a path field's or a browse button's id, or -1 for any other id.
constexpr int PathFieldRow(int id) {
  return id >= IDC_TXTPATH0 && id < IDC_TXTPATH0 + kPathRows ? id - IDC_TXTPATH0 : -1;
}
constexpr int BrowseButtonRow(int id) {
  return id >= IDC_BTNBROWSE0 && id < IDC_BTNBROWSE0 + kPathRows ? id - IDC_BTNBROWSE0 : -1;
}

// The caption lblPath(index) is created with, or "" for an index out of range.
constexpr const char* PathLabelCaption(int index) {
  if (index < 0 || index >= kPathRows) return "";
  for (const ControlSpec& entry : kConfigControls) {
    if (entry.id == IDC_LBLPATH0 + index) return entry.caption;
  }
  return "";
}

constexpr char kBrowseFilter[] = "Applications (*.exe)|*.exe|All files (*.*)|*.*";

}  // namespace discora
