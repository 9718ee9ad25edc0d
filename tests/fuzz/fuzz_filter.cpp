// The open-file dialog wrapper: the "name|pattern|..." filter conversion, the
// record built for one call, and the path read back from the file buffer.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/open_dialog.h"
#include "fuzz_check.h"

namespace {

const std::string kBlankBuffer = std::string(254, ' ') + '\0';

void CheckFilter(const std::string& filter) {
  const std::string list = discora::ConvertFilter(filter);
  const bool endsInBar = !filter.empty() && filter.back() == '|';

  // One "|" is added when the text does not already end in one.
  CHECK_PROPERTY(list.size() == filter.size() + (endsInBar ? 0 : 1), filter);
  // No "|" remains; the list ends in the NUL that closes its last element.
  CHECK_PROPERTY(list.find('|') == std::string::npos, filter);
  CHECK_PROPERTY(!list.empty() && list.back() == '\0', filter);
  // Every "|" became a NUL and every other character kept its place.
  for (std::size_t i = 0; i < filter.size(); ++i) {
    CHECK_PROPERTY(list[i] == (filter[i] == '|' ? '\0' : filter[i]), filter);
  }
  // So the NULs are the "|"s of the text, plus the one added.
  const auto bars = std::count(filter.begin(), filter.end(), '|');
  const auto nulsBefore = std::count(filter.begin(), filter.end(), '\0');
  const auto nuls = std::count(list.begin(), list.end(), '\0');
  CHECK_PROPERTY(nuls == nulsBefore + bars + (endsInBar ? 0 : 1), filter);
  // The final "|" is optional: with or without it the list is the same.
  if (!endsInBar) {
    CHECK_PROPERTY(discora::ConvertFilter(filter + '|') == list, filter);
  }
}

void CheckRecord(const std::string& filter, const std::string& title, const std::string& initDir,
                 std::uintptr_t owner, std::uintptr_t instance) {
  const discora::OpenFileRecord record =
      discora::MakeOpenFileRecord(owner, instance, filter, title, initDir);
  CHECK_PROPERTY(record.structSize == 76u, filter);
  CHECK_PROPERTY(record.owner == owner, filter);
  CHECK_PROPERTY(record.instance == instance, filter);
  // The converted list with the second NUL that ends it.
  CHECK_PROPERTY(record.filter == discora::ConvertFilter(filter) + '\0', filter);
  CHECK_PROPERTY(record.filter.size() >= 2, filter);
  CHECK_PROPERTY(record.filter.compare(record.filter.size() - 2, 2, std::string(2, '\0')) == 0,
                 filter);
  CHECK_PROPERTY(record.filterIndex == 0u, filter);
  // Both buffers: 254 blanks and the NUL, as long as the dialog is told.
  CHECK_PROPERTY(record.file == kBlankBuffer, filter);
  CHECK_PROPERTY(record.fileTitle == kBlankBuffer, filter);
  CHECK_PROPERTY(record.maxFile == 255u && record.file.size() == record.maxFile, filter);
  CHECK_PROPERTY(record.maxFileTitle == 255u && record.fileTitle.size() == record.maxFileTitle,
                 filter);
  CHECK_PROPERTY(record.initialDir == initDir, initDir);
  CHECK_PROPERTY(record.title == title, title);
  CHECK_PROPERTY(record.flags == 0x1004u, filter);

  // Nothing chosen (cancel, or no dialog at all): the blanks give "".
  CHECK_PROPERTY(discora::DialogResultText(record.file).empty(), filter);
}

void CheckResultText(const std::string& buffer) {
  const std::string text = discora::DialogResultText(buffer);
  const std::string head = buffer.substr(0, buffer.find('\0'));
  CHECK_PROPERTY(text.find('\0') == std::string::npos, buffer);
  CHECK_PROPERTY(text.empty() || (text.front() != ' ' && text.back() != ' '), buffer);
  // A piece of the buffer before its first NUL...
  CHECK_PROPERTY(head.find(text) != std::string::npos, buffer);
  // ...namely all of it but the blanks at either end.
  std::size_t begin = 0;
  std::size_t end = head.size();
  while (begin < end && head[begin] == ' ') ++begin;
  while (end > begin && head[end - 1] == ' ') --end;
  CHECK_PROPERTY(text == head.substr(begin, end - begin), buffer);
}

// The dialog writes the chosen path and its NUL over the start of the
// blank buffer; the path comes back whole without the blanks after it.
void CheckChosenPath(std::string path) {
  path.erase(std::remove(path.begin(), path.end(), '\0'), path.end());
  if (path.size() > 254) path.resize(254);
  std::string buffer = kBlankBuffer;
  buffer.replace(0, path.size() + 1, path + '\0');
  CHECK_PROPERTY(buffer.size() == 255u, path);
  const std::string text = discora::DialogResultText(buffer);
  const std::size_t first = path.find_first_not_of(' ');
  const std::string expected = first == std::string::npos
                                   ? std::string()
                                   : path.substr(first, path.find_last_not_of(' ') - first + 1);
  CHECK_PROPERTY(text == expected, path);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string whole(reinterpret_cast<const char*>(data), size);
  CheckFilter(whole);
  CheckResultText(whole);
  CheckChosenPath(whole);

  FuzzedDataProvider provider(data, size);
  const auto owner = provider.ConsumeIntegral<std::uintptr_t>();
  const auto instance = provider.ConsumeIntegral<std::uintptr_t>();
  const std::string title = provider.ConsumeRandomLengthString(64);
  const std::string initDir = provider.ConsumeRandomLengthString(260);
  const std::string filter = provider.ConsumeRemainingBytesAsString();
  CheckRecord(filter, title, initDir, owner, instance);
  return 0;
}
