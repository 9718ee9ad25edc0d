#include "settings/settings.h"

#include <vector>

#include "settings/registry_text.h"

namespace discora {

namespace {

// The settings key, open for one read or write, closed when it goes out of
// scope.
class OpenSettingsKey {
 public:
  explicit OpenSettingsKey(Platform& platform) : platform_(platform) {}
  ~OpenSettingsKey() {
    if (opened_) platform_.CloseRegKey(key_);
  }
  OpenSettingsKey(const OpenSettingsKey&) = delete;
  OpenSettingsKey& operator=(const OpenSettingsKey&) = delete;

  bool Open() {
    return opened_ = platform_.OpenRegKey(kHkeyCurrentUser, kSettingsKey, &key_) == kErrorSuccess;
  }
  bool Create() {
    return opened_ = platform_.CreateRegKey(kHkeyCurrentUser, kSettingsKey, &key_) == kErrorSuccess;
  }
  RegKey Get() const { return key_; }

 private:
  Platform& platform_;
  RegKey key_ = 0;
  bool opened_ = false;
};

}  // namespace

std::string SettingsStore::Read(const std::string& key, const std::string& defaultText) {
  OpenSettingsKey handle(platform_);
  if (!handle.Open()) return defaultText;
  std::string result = defaultText;
  // Ask the size first: a path may be of any length.
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  long rc = platform_.QueryRegValue(handle.Get(), key, &type, nullptr, &size);
  if (rc == kErrorSuccess && (type == kRegSz || type == kRegExpandSz)) {
    std::vector<char> buffer(size + 1u, '\0');
    std::uint32_t got = size;
    rc = platform_.QueryRegValue(handle.Get(), key, &type, buffer.data(), &got);
    if (rc == kErrorSuccess && got <= size) {
      result = RegistryText(type, buffer.data(), got);
    }
  }
  return result;
}

bool SettingsStore::Write(const std::string& key, const std::string& text) {
  OpenSettingsKey handle(platform_);
  if (!handle.Create()) return false;
  return platform_.SetRegValue(handle.Get(), key, kRegSz, text) == kErrorSuccess;
}

}  // namespace discora
