#include "platform/win32/ansi_text.h"

#include <vector>

namespace discora {

std::string ToAnsi(const wchar_t* text, int length, bool* lossy) {
  if (lossy != nullptr) *lossy = false;
  if (length <= 0) return std::string();
  // A UTF-8 ANSI code page represents every character and takes no flags.
  const bool utf8 = GetACP() == CP_UTF8;
  const DWORD flags = utf8 ? 0 : WC_NO_BEST_FIT_CHARS;
  const char defaultChar[] = {kUnrepresentable, '\0'};
  BOOL usedDefault = FALSE;
  const int needed = WideCharToMultiByte(CP_ACP, flags, text, length, nullptr, 0,
                                         utf8 ? nullptr : defaultChar, nullptr);
  if (needed <= 0) {
    if (lossy != nullptr) *lossy = true;
    return std::string();
  }
  std::vector<char> ansi(static_cast<std::size_t>(needed));
  WideCharToMultiByte(CP_ACP, flags, text, length, ansi.data(), needed,
                      utf8 ? nullptr : defaultChar, utf8 ? nullptr : &usedDefault);
  if (lossy != nullptr) *lossy = usedDefault != FALSE;
  return std::string(ansi.data(), ansi.size());
}

std::string PathToAnsi(const wchar_t* path, int length) {
  bool lossy = false;
  std::string text = ToAnsi(path, length, &lossy);
  if (!lossy) return text;
  // A name the code page cannot spell: its short name can be spelt.
  // Without one, the text keeps the "|" marks and names nothing.
  std::vector<wchar_t> longPath(path, path + length);
  longPath.push_back(L'\0');
  std::vector<wchar_t> shortPath(longPath.size() + MAX_PATH);
  const DWORD got =
      GetShortPathNameW(longPath.data(), shortPath.data(), static_cast<DWORD>(shortPath.size()));
  if (got > 0 && got < shortPath.size()) {
    bool shortLossy = false;
    std::string spelt = ToAnsi(shortPath.data(), static_cast<int>(got), &shortLossy);
    if (!shortLossy) text = spelt;
  }
  return text;
}

std::vector<wchar_t> ToWide(const std::string& text) {
  std::vector<wchar_t> wide(1, L'\0');
  if (text.empty()) return wide;
  const int needed =
      MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (needed <= 0) return wide;
  wide.assign(static_cast<std::size_t>(needed) + 1, L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), wide.data(), needed);
  return wide;
}

}  // namespace discora
