// A registry key opened through the platform that closes itself: when the
// object goes out of scope, the key it holds is closed, so a key is always
// closed in the routine that opened it, on every way out of that routine.
#pragma once

#include <cstdint>
#include <string>

#include "platform/platform.h"

namespace discora {

class RegistryKey {
 public:
  explicit RegistryKey(Platform& platform) : platform_(platform) {}
  ~RegistryKey() { Close(); }
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  // Opens an existing key to read its values, or creates (or opens) one to
  // write them; a key the object held is closed first. The system's result:
  // only kErrorSuccess leaves a key open.
  long Open(RegRoot root, const std::string& subKey, RegView view);
  long Create(RegRoot root, const std::string& subKey);

  // The platform's value calls on the open key, with their results.
  long QueryValue(const std::string& name, std::uint32_t* type, char* data, std::uint32_t* size);
  long SetValue(const std::string& name, std::uint32_t type, const std::string& data);
  // A string value of any length, as stored (environment variables left as
  // they are): false when it is absent, cannot be read or is not text.
  bool QueryText(const std::string& name, std::string* text);
  // The name of the open key's subkey at `index` (from 0) and when it last
  // changed: the system's answer (kErrorNoMoreItems past the last one, or
  // when no key is open).
  long SubKeyName(std::uint32_t index, std::string* name, std::uint64_t* writeTime);
  // How many subkeys the open key has and when it last changed; false when
  // it cannot be asked.
  bool Info(std::uint32_t* subKeys, std::uint64_t* writeTime);

  // Closes the key now and returns the system's answer, for a caller that
  // reports a failed close; kErrorSuccess when no key is open.
  long Close();

 private:
  // Keeps `key` when the call that gave it succeeded; returns `rc`.
  long Hold(long rc, RegKey key);

  Platform& platform_;
  RegKey key_ = 0;
  bool open_ = false;
};

}  // namespace discora
