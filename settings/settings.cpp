#include "settings/settings.h"

#include <vector>

#include "settings/registry_text.h"

namespace discora {

std::string SettingsStore::Read(const std::string& key, const std::string& defaultText) {
  RegKey handle = 0;
  // HKEY_CURRENT_USER\Software is one key for 32-bit and 64-bit programs
  // alike, so both builds keep the same settings.
  if (platform_.OpenRegKey(RegRoot::CurrentUser, kSettingsKey, RegView::Own, &handle) !=
      kErrorSuccess) {
    return defaultText;
  }
  std::string result = defaultText;
  // Ask the size first: a path may be of any length.
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  long rc = platform_.QueryRegValue(handle, key, &type, nullptr, &size);
  if (rc == kErrorSuccess && (type == kRegSz || type == kRegExpandSz)) {
    std::vector<char> buffer(size + 1u, '\0');
    std::uint32_t got = size;
    rc = platform_.QueryRegValue(handle, key, &type, buffer.data(), &got);
    if (rc == kErrorSuccess && got <= size) {
      result = RegistryText(type, buffer.data(), got);
    }
  }
  platform_.CloseRegKey(handle);
  return result;
}

bool SettingsStore::Write(const std::string& key, const std::string& text) {
  RegKey handle = 0;
  if (platform_.CreateRegKey(RegRoot::CurrentUser, kSettingsKey, &handle) != kErrorSuccess) {
    return false;
  }
  const bool written = platform_.SetRegValue(handle, key, kRegSz, text) == kErrorSuccess;
  platform_.CloseRegKey(handle);
  return written;
}

}  // namespace discora
