// The configuration window's layout in twips (1/1440 inch), and its
// conversion to pixels at 15 twips per pixel.
#pragma once

#include <array>
#include <string>

namespace discora {

constexpr int kTwipsPerPixel = 15;
constexpr int kClientWidthTwips = 4515;
constexpr int kClientHeightTwips = 2370;

constexpr int TwipsToPixels(int twips) {
  return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

enum class ControlKind { Edit, Button, Label, DefaultButton, Link };

struct ControlSpec {
  const char* name;  // control name with its index, "txtPath(0)"
  ControlKind kind;
  const char* caption;
  int left, top, width, height;  // twips
  int tabIndex;
  int index;  // position in its control array, 0 for single controls
};

// In tab order; each label stands above its field, the browse button at the
// right end of the field's row.
constexpr std::array<ControlSpec, 11> kConfigControls = {{
    {"txtPath(0)", ControlKind::Edit, "", 90, 360, 4080, 300, 0, 0},
    {"btnBrowse(0)", ControlKind::Button, "...", 4155, 360, 315, 300, 1, 0},
    {"txtPath(1)", ControlKind::Edit, "", 90, 945, 4080, 300, 2, 1},
    {"btnBrowse(1)", ControlKind::Button, "...", 4155, 945, 315, 300, 3, 1},
    {"txtPath(2)", ControlKind::Edit, "", 75, 1515, 4080, 300, 4, 2},
    {"btnBrowse(2)", ControlKind::Button, "...", 4155, 1530, 315, 300, 5, 2},
    {"lblPath(0)", ControlKind::Label, "VGSJoy Path:", 105, 135, 2415, 240, 6, 0},
    {"lblPath(1)", ControlKind::Label, "[pec] Path:", 90, 750, 2415, 240, 7, 1},
    {"lblPath(2)", ControlKind::Label, "Another Utility  Path:", 90, 1320, 2415, 240, 8, 2},
    {"btnOK", ControlKind::DefaultButton, "OK", 3330, 1995, 1140, 345, 9, 0},
    {"lblCredits", ControlKind::Link, nullptr, 90, 2025, 3075, 285, 10, 0},
}};

// The title of the browse dialog for a row: "Select " and the row's label
// without its last character (the colon).
inline std::string BrowseTitle(const std::string& labelCaption) {
  return "Select " + (labelCaption.empty() ? labelCaption
                                           : labelCaption.substr(0, labelCaption.size() - 1));
}

constexpr char kBrowseFilter[] = "Applications (*.exe)|*.exe|All files (*.*)|*.*";

}  // namespace discora
