#include "settings/registry_key.h"

#include <vector>

#include "settings/registry_text.h"

namespace discora {

long RegistryKey::Open(RegRoot root, const std::string& subKey, RegView view) {
  Close();
  RegKey opened = 0;
  const long rc = platform_.OpenRegKey(root, subKey, view, &opened);
  return Hold(rc, opened);
}

long RegistryKey::Create(RegRoot root, const std::string& subKey) {
  Close();
  RegKey created = 0;
  const long rc = platform_.CreateRegKey(root, subKey, &created);
  return Hold(rc, created);
}

long RegistryKey::Hold(long rc, RegKey key) {
  if (rc == kErrorSuccess) {
    key_ = key;
    open_ = true;
  }
  return rc;
}

long RegistryKey::QueryValue(const std::string& name, std::uint32_t* type, char* data,
                             std::uint32_t* size) {
  return platform_.QueryRegValue(key_, name, type, data, size);
}

long RegistryKey::SetValue(const std::string& name, std::uint32_t type, const std::string& data) {
  return platform_.SetRegValue(key_, name, type, data);
}

bool RegistryKey::QueryText(const std::string& name, std::string* text) {
  // Ask the size first: a path may be of any length.
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  if (QueryValue(name, &type, nullptr, &size) != kErrorSuccess) return false;
  if (type != kRegSz && type != kRegExpandSz) return false;
  std::vector<char> buffer(size + 1u, '\0');
  std::uint32_t got = size;
  if (QueryValue(name, &type, buffer.data(), &got) != kErrorSuccess || got > size) return false;
  *text = RegistryText(type, buffer.data(), got);
  return true;
}

long RegistryKey::SubKeyName(std::uint32_t index, std::string* name, std::uint64_t* writeTime) {
  return open_ ? platform_.EnumRegSubKey(key_, index, name, writeTime) : kErrorNoMoreItems;
}

bool RegistryKey::Info(std::uint32_t* subKeys, std::uint64_t* writeTime) {
  return open_ && platform_.QueryRegKeyInfo(key_, subKeys, writeTime) == kErrorSuccess;
}

long RegistryKey::Close() {
  if (!open_) return kErrorSuccess;
  open_ = false;
  return platform_.CloseRegKey(key_);
}

}  // namespace discora
