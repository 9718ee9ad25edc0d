// FillTooltip and MakeTrayRecord: the 64-byte tip field of the notification
// icon record holds the text cut to 63 characters, one NUL, then blanks to
// the end of the field, whatever the field held before.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "res/version.h"
#include "tray/tray_record.h"

namespace {

void CheckTip(const char (&tip)[64], const std::string& text) {
  const std::size_t cut = text.size() < 63 ? text.size() : 63;
  const std::string_view field(tip, sizeof tip);
  // The text's first 63 characters at most, then the NUL...
  CHECK_PROPERTY(field.substr(0, cut) == std::string_view(text).substr(0, cut), text);
  CHECK_PROPERTY(tip[cut] == '\0', text);
  // ...then only blanks to the end of the field.
  CHECK_PROPERTY(field.find_first_not_of(' ', cut + 1) == std::string_view::npos, text);
  // So the first NUL is within the field, and for a text without NULs it is
  // the only one, right after the text.
  const std::size_t firstNul = field.find('\0');
  CHECK_PROPERTY(firstNul <= 63, text);
  if (text.find('\0') == std::string::npos) {
    CHECK_PROPERTY(firstNul == cut, text);
    CHECK_PROPERTY(field.find('\0', firstNul + 1) == std::string_view::npos, text);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string whole(reinterpret_cast<const char*>(data), size);

  // A field full of leftovers: the fill must overwrite all of them.
  char tip[64];
  const unsigned char leftover = size == 0 ? 0xAA : data[size - 1];
  std::memset(tip, leftover, sizeof tip);
  discora::FillTooltip(tip, whole);
  CheckTip(tip, whole);

  // A field that was filled before, from another text.
  discora::FillTooltip(tip, whole.substr(size / 2));
  discora::FillTooltip(tip, whole);
  CheckTip(tip, whole);

  // The record: fixed fields, handles carried whole, and the caption with
  // the credit suffix as its tooltip.
  FuzzedDataProvider provider(data, size);
  const auto window = provider.ConsumeIntegral<std::uintptr_t>();
  const auto icon = provider.ConsumeIntegral<std::uintptr_t>();
  const std::string caption = provider.ConsumeRemainingBytesAsString();
  const discora::TrayRecord record = discora::MakeTrayRecord(window, icon, caption);
  CHECK_PROPERTY(record.cbSize == 88u, caption);
  CHECK_PROPERTY(record.hWnd == window, caption);
  CHECK_PROPERTY(record.uID == 1u, caption);
  CHECK_PROPERTY(record.uFlags == 7u, caption);
  CHECK_PROPERTY(record.uCallbackMessage == 0x200u, caption);
  CHECK_PROPERTY(record.hIcon == icon, caption);
  CheckTip(record.szTip, caption + DISCORA_TIP_CREDIT);
  return 0;
}
