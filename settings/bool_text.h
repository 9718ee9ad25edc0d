// The text form of the agent's switches: written "True" or "False", read
// back by the usual text-to-Boolean rule.
#pragma once

#include <optional>
#include <string_view>

namespace discora {

// "True" or "False".
const char* BoolText(bool value);

// "true" or "false" in any letter case, or a number (zero is false, any
// other number true); blanks around the text are ignored. Anything else,
// the empty text included, does not convert.
std::optional<bool> TextToBool(std::string_view text);

}  // namespace discora
