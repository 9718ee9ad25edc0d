#include "config/open_dialog.h"

namespace discora {

std::string ConvertFilter(const std::string& filter) {
  std::string list = filter;
  if (list.empty() || list.back() != '|') list += '|';
  for (char& c : list) {
    if (c == '|') c = '\0';
  }
  return list;
}

OpenFileRecord MakeOpenFileRecord(WindowHandle owner, std::uintptr_t instance,
                                  const std::string& filter, const std::string& title,
                                  const std::string& initDir) {
  OpenFileRecord record;
  record.structSize = kOpenFileRecordSize;
  record.owner = owner;
  record.instance = instance;
  record.filter = ConvertFilter(filter) + '\0';
  record.filterIndex = 0;
  record.file = std::string(kDialogBufferLength - 1, ' ') + '\0';
  record.maxFile = kDialogBufferLength;
  record.fileTitle = std::string(kDialogBufferLength - 1, ' ') + '\0';
  record.maxFileTitle = kDialogBufferLength;
  record.initialDir = initDir;
  record.title = title;
  record.flags = kOpenFileFlags;
  return record;
}

std::string DialogResultText(const std::string& buffer) {
  std::string text = buffer.substr(0, buffer.find('\0'));
  const auto first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  const auto last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

}  // namespace discora
