// The configuration window's own rules, beside its handlers
// (config_window.cpp): what the browse dialog is titled.
#pragma once

#include <string>

namespace discora {

// The title of the browse dialog for a row: "Select " and the row's label
// without its last character (the colon).
std::string BrowseTitle(const std::string& labelCaption);

}  // namespace discora
