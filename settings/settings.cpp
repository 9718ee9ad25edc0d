#include "settings/settings.h"

#include <vector>

#include "settings/registry_key.h"
#include "settings/registry_text.h"

namespace discora {

std::string SettingsStore::Read(const std::string& key, const std::string& defaultText) {
  RegistryKey settings(platform_);
  // HKEY_CURRENT_USER\Software is one key for 32-bit and 64-bit programs
  // alike, so both builds keep the same settings.
  if (settings.Open(RegRoot::CurrentUser, kSettingsKey, RegView::Own) != kErrorSuccess) {
    return defaultText;
  }
  std::string result = defaultText;
  // Ask the size first: a path may be of any length.
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  long rc = settings.QueryValue(key, &type, nullptr, &size);
  if (rc == kErrorSuccess && (type == kRegSz || type == kRegExpandSz)) {
    std::vector<char> buffer(size + 1u, '\0');
    std::uint32_t got = size;
    rc = settings.QueryValue(key, &type, buffer.data(), &got);
    if (rc == kErrorSuccess && got <= size) {
      result = RegistryText(type, buffer.data(), got);
    }
  }
  return result;
}

bool SettingsStore::Write(const std::string& key, const std::string& text) {
  RegistryKey settings(platform_);
  if (settings.Create(RegRoot::CurrentUser, kSettingsKey) != kErrorSuccess) return false;
  return settings.SetValue(key, kRegSz, text) == kErrorSuccess;
}

}  // namespace discora
