// Turns the bytes of a registry value into text, checking its type and never
// trusting it to end in a NUL.
#pragma once

#include <cstdint>
#include <string>

namespace discora {

// The text of a string value (REG_SZ or REG_EXPAND_SZ) whose query returned
// `size` bytes into `buffer`: the bytes up to the first NUL, or all `size`
// bytes when there is none. Any other type gives "".
std::string RegistryText(std::uint32_t type, const char* buffer, std::uint32_t size);

}  // namespace discora
