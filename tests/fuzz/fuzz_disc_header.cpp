// IdentifyHeader: the first sectors of a disc's first data track, as any
// disc anyone burns may hold them, give a console only where its mark is,
// and a game's code that is printable text, no longer than its field, found
// in that field: nothing else can reach a balloon.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <string>
#include <string_view>

#include "agent/console_table.h"
#include "fuzz_check.h"

namespace {

// Written apart from the reader: whether the bytes from the mark's place
// begin with one of its texts.
bool MarkAt(const std::string& sectors, const discora::DiscMark& mark) {
  const std::size_t at = std::size_t{mark.sector} * discora::kSectorSize + mark.offset;
  const std::string_view from =
      at <= sectors.size() ? std::string_view(sectors).substr(at) : std::string_view();
  return std::any_of(std::begin(mark.texts), std::end(mark.texts), [&](const char* text) {
    return text != nullptr && from.substr(0, std::strlen(text)) == text;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string sectors(reinterpret_cast<const char*>(data), size);
  const discora::DiscIdentity disc = discora::IdentifyHeader(sectors);
  if (disc.kind == discora::DiscKind::None) {
    CHECK_PROPERTY(disc.code.empty(), sectors);
    return 0;
  }
  const discora::ConsoleTraits& console = discora::ConsoleOf(disc.kind);
  CHECK_PROPERTY(console.kind == disc.kind && discora::IsHeaderConsole(disc.kind), sectors);
  CHECK_PROPERTY(MarkAt(sectors, console.mark), sectors);
  // The first row whose mark is there wins.
  for (const discora::ConsoleTraits& earlier : discora::kConsoles) {
    if (&earlier == &console) break;
    CHECK_PROPERTY(earlier.mark.texts[0] == nullptr || !MarkAt(sectors, earlier.mark), sectors);
  }
  CHECK_PROPERTY(disc.code.size() <= console.code.length, sectors);
  for (const char c : disc.code) CHECK_PROPERTY(c >= 0x20 && c <= 0x7e, sectors);
  if (!disc.code.empty()) {
    CHECK_PROPERTY(disc.code.front() != ' ' && disc.code.back() != ' ', sectors);
    const std::string field = sectors.substr(console.code.offset, console.code.length);
    CHECK_PROPERTY(field.find(disc.code) != std::string::npos, sectors);
  }
  return 0;
}
