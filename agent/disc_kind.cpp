#include "agent/disc_kind.h"

namespace discora {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

// A text file holds no control characters but blanks and line breaks; an
// editor's end-of-file mark (Ctrl+Z) and NULs padding the file after the
// text are allowed at its end.
bool IsPlainText(const std::string& text) {
  std::size_t end = text.size();
  while (end > 0 && (text[end - 1] == '\0' || text[end - 1] == '\x1a')) --end;
  for (std::size_t i = 0; i < end; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if ((c < 0x20 && !IsBlank(text[i]) && !IsLineBreak(text[i])) || c == 0x7f) return false;
  }
  return true;
}

bool IsBoot2Key(const std::string& text, std::size_t begin, std::size_t end) {
  static constexpr char kKey[] = "BOOT2";
  constexpr std::size_t kKeyLength = sizeof kKey - 1;
  while (begin < end && IsBlank(text[begin])) ++begin;
  if (end - begin < kKeyLength) return false;
  for (std::size_t i = 0; i < kKeyLength; ++i) {
    char c = text[begin + i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != kKey[i]) return false;
  }
  std::size_t at = begin + kKeyLength;
  while (at < end && IsBlank(text[at])) ++at;
  return at < end && text[at] == '=';
}

}  // namespace

DiscKind ClassifyBootFile(const std::string& text) {
  if (text.size() > kBootFileLimit || !IsPlainText(text)) return DiscKind::PlayStation;
  std::size_t begin = 0;
  // A byte-order mark some editors write before the first line.
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) begin = 3;
  while (begin < text.size()) {
    std::size_t end = begin;
    while (end < text.size() && !IsLineBreak(text[end])) ++end;
    if (IsBoot2Key(text, begin, end)) return DiscKind::PlayStation2;
    begin = end + 1;
  }
  return DiscKind::PlayStation;
}

}  // namespace discora
