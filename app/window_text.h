// The text of a window or control, read through the "A" call as the
// program's ANSI text.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>
#include <vector>

namespace discora {

inline std::string WindowText(HWND window) {
  const int length = GetWindowTextLengthA(window);
  if (length <= 0) return std::string();
  std::vector<char> text(static_cast<std::size_t>(length) + 1);
  const int got = GetWindowTextA(window, text.data(), length + 1);
  return std::string(text.data(), got > 0 ? static_cast<std::size_t>(got) : 0u);
}

}  // namespace discora
