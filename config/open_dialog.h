// The open-file dialog wrapper: builds the record of one dialog call (the
// fields of OPENFILENAMEA's first form) and turns the dialog's file buffer
// back into a path.
#pragma once

#include <string>

#include "platform/platform.h"

namespace discora {

constexpr std::uint32_t kOpenFileFlags = 0x1004;  // OFN_FILEMUSTEXIST | OFN_HIDEREADONLY
constexpr std::uint32_t kDialogBufferLength = 255;

// "name|pattern|name|pattern" with or without the final "|" becomes
// "name\0pattern\0name\0pattern\0" (the record's text then adds the second,
// terminating NUL).
std::string ConvertFilter(const std::string& filter);

// The record for one call, every field not named here zero.
OpenFileRecord MakeOpenFileRecord(WindowHandle owner, std::uintptr_t instance,
                                  const std::string& filter, const std::string& title,
                                  const std::string& initDir);

// The text of the file buffer up to its first NUL, without leading and
// trailing blanks.
std::string DialogResultText(const std::string& buffer);

}  // namespace discora
