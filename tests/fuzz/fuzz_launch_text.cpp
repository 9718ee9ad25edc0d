// The texts a launch reads: the boot file of a disc anyone can burn, and the
// user's command template with the drive letter put in.
#include <cstddef>
#include <cstdint>
#include <string>

#include "agent/command_line.h"
#include "agent/disc_kind.h"
#include "fuzz_check.h"

namespace {

using discora::DiscKind;

bool IsLineBreak(char c) { return c == '\r' || c == '\n'; }

// The rule, written apart from the program's: a PlayStation 2 disc's boot
// file is a short plain text with a line "BOOT2 = ..." (blanks and tabs
// anywhere around the key and the "=", any letter case).
DiscKind ExpectedKind(const std::string& text) {
  if (text.size() > discora::kBootFileLimit) return DiscKind::PlayStation;
  const std::size_t end = text.find_last_not_of(std::string("\0\x1a", 2)) + 1;
  for (std::size_t i = 0; i < end; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c == 0x7f || (c < 0x20 && c != ' ' && c != '\t' && !IsLineBreak(text[i]))) {
      return DiscKind::PlayStation;
    }
  }
  std::string lower = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? text.substr(3) : text;
  for (char& c : lower) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c;
  std::size_t start = 0;
  while (start <= lower.size()) {
    std::size_t stop = start;
    while (stop < lower.size() && !IsLineBreak(lower[stop])) ++stop;
    std::string line = lower.substr(start, stop - start);
    line.erase(0, line.find_first_not_of(" \t") == std::string::npos
                      ? line.size()
                      : line.find_first_not_of(" \t"));
    if (line.compare(0, 5, "boot2") == 0) {
      const std::size_t after = line.find_first_not_of(" \t", 5);
      if (after != std::string::npos && line[after] == '=') return DiscKind::PlayStation2;
    }
    start = stop + 1;
  }
  return DiscKind::PlayStation;
}

// The game's code is "" or four capitals, "-" and five digits, and only a
// boot file names one: its program's name, in any letter case, in the text.
void CheckGameCode(const std::string& text) {
  const std::string code = discora::GameCode(text);
  if (code.empty()) return;
  CHECK_PROPERTY(text.size() <= discora::kBootFileLimit, text);
  CHECK_PROPERTY(code.size() == 10 && code[4] == '-', text);
  std::string name = code.substr(0, 4) + "_" + code.substr(5, 3) + "." + code.substr(8);
  for (std::size_t i = 0; i < code.size(); ++i) {
    const char c = code[i];
    CHECK_PROPERTY(i == 4 || (i < 4 ? c >= 'A' && c <= 'Z' : c >= '0' && c <= '9'), text);
  }
  std::string upper = text;
  for (char& c : upper) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
  CHECK_PROPERTY(upper.find(name) != std::string::npos, text);
}

void CheckBootFile(const std::string& text) {
  CheckGameCode(text);
  const DiscKind kind = discora::ClassifyBootFile(text);
  CHECK_PROPERTY(kind == ExpectedKind(text), text);
  // More lines after a boot file change nothing once it names BOOT2, and a
  // text that grows past the limit is no boot file.
  if (kind == DiscKind::PlayStation2 && text.size() < discora::kBootFileLimit - 8 &&
      text.find_first_of(std::string("\0\x1a", 2)) == std::string::npos) {
    CHECK_PROPERTY(discora::ClassifyBootFile(text + "\r\nVER=1") == kind, text);
  }
  CHECK_PROPERTY(discora::ClassifyBootFile(text + std::string(discora::kBootFileLimit, ' ')) ==
                     DiscKind::PlayStation,
                 text);
}

void CheckTemplate(const std::string& text, char letter) {
  const std::string out = discora::ExpandDriveTemplate(text, letter);
  std::string expected;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == '%') {
      expected += '%';
      ++i;
    } else if (text[i] == '%' && i + 1 < text.size() && text[i + 1] == 'D') {
      if (letter != '\0') expected += letter;  // no drive: nothing
      ++i;
    } else {
      expected += text[i];
    }
  }
  CHECK_PROPERTY(out == expected, text);
  CHECK_PROPERTY(out.size() <= text.size(), text);
  // A path written into a template comes out as it went in.
  CHECK_PROPERTY(discora::ExpandDriveTemplate(discora::TemplateLiteral(text), letter) == text,
                 text);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  CheckBootFile(text);
  CheckTemplate(text, size == 0 ? 'D' : static_cast<char>(data[0]));
  return 0;
}
