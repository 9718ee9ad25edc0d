#include "agent/command_line.h"

#include "platform/path_folder.h"

namespace discora {

bool IsCommandLineBlank(char c) { return c == ' ' || c == '\t'; }

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

std::string FolderOf(const std::string& file) {
  const std::size_t length = FolderLength(file.data(), file.size());
  return length == kNoFolder ? std::string() : file.substr(0, length);
}

std::string ArgumentsAfter(const std::string& command, std::size_t nameEnd) {
  std::size_t first = nameEnd;
  while (first < command.size() && IsCommandLineBlank(command[first])) ++first;
  return first < command.size() ? command.substr(first) : std::string();
}

std::size_t ProgramNameEnd(Platform& platform, const std::string& command) {
  for (std::size_t end = command.size(); end-- > 1;) {
    if (!IsCommandLineBlank(command[end]) || IsCommandLineBlank(command[end - 1])) continue;
    if (platform.IsFile(command.substr(0, end))) return end;
  }
  return std::string::npos;
}

bool SplitUserCommand(Platform& platform, const std::string& command, ProgramCommand* parts) {
  std::size_t begin = 0;
  while (begin < command.size() && IsCommandLineBlank(command[begin])) ++begin;
  std::size_t end = command.size();
  while (end > begin && IsCommandLineBlank(command[end - 1])) --end;
  const std::string text = command.substr(begin, end - begin);
  if (text.empty()) return false;

  std::size_t nameEnd = std::string::npos;
  if (text[0] == '"') {
    const std::size_t close = text.find('"', 1);
    if (close == std::string::npos) return false;
    parts->program = text.substr(1, close - 1);
    nameEnd = close + 1;
  } else if (platform.IsFile(text)) {
    parts->program = text;
    nameEnd = text.size();
  } else {
    nameEnd = ProgramNameEnd(platform, text);
    if (nameEnd == std::string::npos) return false;
    parts->program = text.substr(0, nameEnd);
  }
  if (parts->program.empty() || !platform.IsFile(parts->program)) return false;
  parts->arguments = ArgumentsAfter(text, nameEnd);
  return true;
}

std::string ExpandDriveTemplate(const std::string& text, char driveLetter) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size() && (text[i + 1] == 'D' || text[i + 1] == '%')) {
      // With no drive at all, "%D" stands for nothing.
      if (text[i + 1] == '%') {
        out += '%';
      } else if (driveLetter != '\0') {
        out += driveLetter;
      }
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string TemplateLiteral(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '%') out += '%';
  }
  return out;
}

}  // namespace discora
