// RegistryText, which turns the bytes a registry query returned into text.
// The first input byte is the value's type, the next two how many bytes the
// query reports; the rest are the value's bytes. The text is checked both
// on a buffer of exactly the reported size (so any read past it is caught)
// and as its two callers use it: a fixed 255-byte buffer of blanks, and a
// buffer one byte longer than the value, filled with NULs.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "platform/platform.h"
#include "settings/registry_text.h"

namespace {

// The value type: mostly the four the agent knows, sometimes any other.
std::uint32_t PickType(std::uint8_t byte) {
  switch (byte % 8) {
    case 0:
    case 1: return discora::kRegSz;
    case 2:
    case 3: return discora::kRegExpandSz;
    case 4: return discora::kRegBinary;
    case 5: return discora::kRegDword;
    case 6: return 0;      // REG_NONE
    default: return byte;  // 7 (REG_MULTI_SZ), 11 (REG_QWORD) and others
  }
}

bool IsStringType(std::uint32_t type) {
  return type == discora::kRegSz || type == discora::kRegExpandSz;
}

// The properties of the text read from the first `size` bytes of `buffer`.
void CheckText(std::uint32_t type, const char* buffer, std::uint32_t size, std::string_view input) {
  const std::string text = discora::RegistryText(type, buffer, size);
  CHECK_PROPERTY(text.size() <= size, input);
  CHECK_PROPERTY(text.find('\0') == std::string::npos, input);
  if (!IsStringType(type)) {
    CHECK_PROPERTY(text.empty(), input);
    return;
  }
  // The bytes before the first NUL, or all of them when there is none.
  CHECK_PROPERTY(size == 0 || std::memcmp(buffer, text.data(), text.size()) == 0, input);
  const std::string_view bytes(buffer, size);
  const std::size_t nul = bytes.find('\0');
  CHECK_PROPERTY(text.size() == (nul == std::string_view::npos ? size : nul), input);
  // Both string types read the same.
  const std::uint32_t other = type == discora::kRegSz ? discora::kRegExpandSz : discora::kRegSz;
  CHECK_PROPERTY(discora::RegistryText(other, buffer, size) == text, input);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  if (size < 3) {
    // No value at all: a null buffer or a size of zero gives "".
    CHECK_PROPERTY(discora::RegistryText(discora::kRegSz, nullptr, 0).empty(), input);
    CHECK_PROPERTY(discora::RegistryText(discora::kRegExpandSz, input.data(), 0).empty(), input);
    return 0;
  }
  const std::uint32_t type = PickType(data[0]);
  const std::uint16_t asked = static_cast<std::uint16_t>(data[1] | (data[2] << 8));
  const std::string_view value = input.substr(3);
  // The query never reports more bytes than the buffer holds.
  const std::uint32_t reported = static_cast<std::uint32_t>(asked % (value.size() + 1));

  // Exactly the reported bytes on the heap: reading one more is an error.
  {
    std::unique_ptr<char[]> exact(new char[reported == 0 ? 1 : reported]);
    std::memcpy(exact.get(), value.data(), reported);
    CheckText(type, exact.get(), reported, input);
  }

  // The fixed 255-byte buffer of blanks the system folder reads use.
  {
    std::string buffer(255, ' ');
    const std::uint32_t got = reported < 255 ? reported : 255;
    std::memcpy(&buffer[0], value.data(), got);
    CheckText(type, buffer.data(), got, input);
  }

  // The settings read: a buffer of the value's size plus one NUL, of which
  // the second query may report fewer bytes than the first.
  {
    std::vector<char> buffer(value.size() + 1u, '\0');
    std::memcpy(buffer.data(), value.data(), value.size());
    CheckText(type, buffer.data(), reported, input);
  }
  return 0;
}
