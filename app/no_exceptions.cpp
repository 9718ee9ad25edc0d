// The program is built without C++ exceptions: the handlers report failure by
// their results, never by throwing. The standard library still has a few
// places that would throw (an allocation that fails, a string grown past its
// maximum size); here they end the program at once instead, which also keeps
// the library's exception machinery and its C++ demangler out of the
// executable.
#include <cstdlib>

#if defined(__GLIBCXX__)
namespace std {
[[noreturn]] void __throw_bad_alloc() { std::abort(); }
[[noreturn]] void __throw_bad_array_new_length() { std::abort(); }
[[noreturn]] void __throw_length_error(const char*) { std::abort(); }
[[noreturn]] void __throw_logic_error(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range(const char*) { std::abort(); }
[[noreturn]] void __throw_out_of_range_fmt(const char*, ...) { std::abort(); }
[[noreturn]] void __throw_invalid_argument(const char*) { std::abort(); }
}  // namespace std

namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif
