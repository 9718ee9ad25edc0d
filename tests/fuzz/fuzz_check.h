// A property check for the fuzz targets: when a property does not hold, print
// which one and the input that broke it, then abort so that libFuzzer saves
// the input as a reproducer and the run fails.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace discora_fuzz {

inline void PrintEscaped(std::string_view label, std::string_view bytes) {
  std::fprintf(stderr, "  %.*s (%zu bytes): \"", static_cast<int>(label.size()), label.data(),
               bytes.size());
  for (unsigned char c : bytes) {
    if (c == '\\' || c == '"') {
      std::fprintf(stderr, "\\%c", c);
    } else if (c >= 0x20 && c < 0x7f) {
      std::fputc(c, stderr);
    } else {
      std::fprintf(stderr, "\\x%02x", c);
    }
  }
  std::fputs("\"\n", stderr);
}

[[noreturn]] inline void Fail(const char* file, int line, const char* property,
                              std::string_view input) {
  std::fprintf(stderr, "\nPROPERTY FAILED at %s:%d: %s\n", file, line, property);
  PrintEscaped("input", input);
  std::fflush(stderr);
  std::abort();
}

}  // namespace discora_fuzz

// CHECK_PROPERTY(condition, input): `input` is the text the property was
// checked on, printed when the condition is false.
#define CHECK_PROPERTY(condition, input)                                             \
  do {                                                                               \
    if (!(condition)) ::discora_fuzz::Fail(__FILE__, __LINE__, #condition, (input)); \
  } while (0)
