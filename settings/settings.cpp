#include "settings/settings.h"

#include "settings/registry_key.h"

namespace discora {

std::string SettingsStore::Read(const std::string& key, const std::string& defaultText) {
  RegistryKey settings(platform_);
  // HKEY_CURRENT_USER\Software is one key for 32-bit and 64-bit programs
  // alike, so both builds keep the same settings.
  if (settings.Open(RegRoot::CurrentUser, kSettingsKey, RegView::Own) != kErrorSuccess) {
    return defaultText;
  }
  std::string text;
  return settings.QueryText(key, &text) ? text : defaultText;
}

std::string SettingsStore::ReadOrMachineDefault(const std::string& key,
                                                const std::string& defaultText) {
  std::string text;
  RegistryKey settings(platform_);
  if (settings.Open(RegRoot::CurrentUser, kSettingsKey, RegView::Own) == kErrorSuccess &&
      settings.QueryText(key, &text)) {
    return text;
  }
  if (settings.Open(RegRoot::LocalMachine, kSettingsKey, RegView::Of64BitPrograms) ==
          kErrorSuccess &&
      settings.QueryText(key, &text)) {
    return text;
  }
  return defaultText;
}

bool SettingsStore::Write(const std::string& key, const std::string& text) {
  RegistryKey settings(platform_);
  if (settings.Create(RegRoot::CurrentUser, kSettingsKey) != kErrorSuccess) return false;
  return settings.SetValue(key, kRegSz, text) == kErrorSuccess;
}

}  // namespace discora
