#include "agent/disc_kind.h"

#include <cstring>

namespace discora {

namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }
char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
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

// Where the value of a line whose key is `key` begins (after the "=" and
// its blanks), or npos for a line with another key.
std::size_t ValueOf(const char* key, const std::string& text, std::size_t begin, std::size_t end) {
  const std::size_t length = std::strlen(key);
  while (begin < end && IsBlank(text[begin])) ++begin;
  if (end - begin < length) return std::string::npos;
  for (std::size_t i = 0; i < length; ++i) {
    if (Upper(text[begin + i]) != key[i]) return std::string::npos;
  }
  std::size_t at = begin + length;
  while (at < end && IsBlank(text[at])) ++at;
  if (at == end || text[at] != '=') return std::string::npos;
  ++at;
  while (at < end && IsBlank(text[at])) ++at;
  return at;
}

bool IsBoot2Key(const std::string& text, std::size_t begin, std::size_t end) {
  return ValueOf("BOOT2", text, begin, end) != std::string::npos;
}

// "SLUS-00740" from a boot program's path ("cdrom0:\SLUS_007.40;1"): four
// letters, "_", three digits, ".", two digits, after the last separator and
// before the version; "" for any other name.
std::string CodeOfPath(const std::string& text, std::size_t begin, std::size_t end) {
  std::size_t name = begin;
  for (std::size_t i = begin; i < end; ++i) {
    if (text[i] == '\\' || text[i] == '/' || text[i] == ':') name = i + 1;
  }
  static constexpr char kForm[] = "AAAA_999.99";
  constexpr std::size_t kLength = sizeof kForm - 1;
  if (end - name < kLength) return std::string();
  if (name + kLength < end && text[name + kLength] != ';' && !IsBlank(text[name + kLength])) {
    return std::string();
  }
  std::string code;
  for (std::size_t i = 0; i < kLength; ++i) {
    const char c = Upper(text[name + i]);
    const bool fits = kForm[i] == 'A'   ? c >= 'A' && c <= 'Z'
                      : kForm[i] == '9' ? IsDigit(c)
                                        : c == kForm[i];
    if (!fits) return std::string();
    if (c == '_') {
      code += '-';
    } else if (c != '.') {
      code += c;
    }
  }
  return code;
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

std::string GameCode(const std::string& text) {
  if (text.size() > kBootFileLimit || !IsPlainText(text)) return std::string();
  // The key of the disc's own kind names its program.
  const char* key = ClassifyBootFile(text) == DiscKind::PlayStation2 ? "BOOT2" : "BOOT";
  std::size_t begin = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
  while (begin < text.size()) {
    std::size_t end = begin;
    while (end < text.size() && !IsLineBreak(text[end])) ++end;
    const std::size_t value = ValueOf(key, text, begin, end);
    if (value != std::string::npos) return CodeOfPath(text, value, end);
    begin = end + 1;
  }
  return std::string();
}

}  // namespace discora
