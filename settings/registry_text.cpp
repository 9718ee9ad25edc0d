#include "settings/registry_text.h"

#include <cstring>

#include "platform/platform.h"

namespace discora {

std::string RegistryText(std::uint32_t type, const char* buffer, std::uint32_t size) {
  if (type != kRegSz && type != kRegExpandSz) return std::string();
  if (buffer == nullptr || size == 0) return std::string();
  const void* nul = std::memchr(buffer, '\0', size);
  const std::size_t length =
      nul != nullptr ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer) : size;
  return std::string(buffer, length);
}

}  // namespace discora
