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

bool ExactPathToAnsi(const wchar_t* path, int length, std::string* text) {
  bool lossy = false;
  *text = ToAnsi(path, length, &lossy);
  if (!lossy) return true;
  // Name by name: each one the code page can spell stays as it is (the
  // program's own file name tells which emulator it is), each other one is
  // given by its short name. A volume that makes no short names answers
  // with the long name, which cannot be spelt.
  std::string spelt;
  int begin = 0;
  for (int end = 0; end <= length; ++end) {
    if (end < length && path[end] != L'\\' && path[end] != L'/') continue;
    bool nameLossy = false;
    std::string name = ToAnsi(path + begin, end - begin, &nameLossy);
    if (nameLossy) {
      std::vector<wchar_t> upToName(path, path + end);
      upToName.push_back(L'\0');
      std::vector<wchar_t> shortPath(upToName.size() + MAX_PATH);
      const DWORD got = GetShortPathNameW(upToName.data(), shortPath.data(),
                                          static_cast<DWORD>(shortPath.size()));
      if (got == 0 || got >= shortPath.size()) return false;
      DWORD shortBegin = got;
      while (shortBegin > 0 && shortPath[shortBegin - 1] != L'\\' &&
             shortPath[shortBegin - 1] != L'/') {
        --shortBegin;
      }
      name = ToAnsi(shortPath.data() + shortBegin, static_cast<int>(got - shortBegin), &nameLossy);
      if (nameLossy || name.empty()) return false;
    }
    spelt += name;
    if (end < length) spelt += static_cast<char>(path[end]);
    begin = end + 1;
  }
  *text = spelt;
  return true;
}

std::string PathToAnsi(const wchar_t* path, int length) {
  std::string text;
  ExactPathToAnsi(path, length, &text);
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
