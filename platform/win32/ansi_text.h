// Text between the system's wide strings and the program's ANSI texts.
//
// The system's own wide-to-ANSI conversion maps a character the code page
// lacks to a look-alike ("best fit": an Omega becomes "O"), so a path read
// through an "A" call can name a different, existing file. These helpers
// convert exactly, and put "|" (a character no file name can hold, and no
// wildcard) where a character has no ANSI form, so such a path names nothing.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace discora {

constexpr char kUnrepresentable = '|';

// `length` wide characters (NULs included) to ANSI; `lossy` tells whether any
// character had no exact ANSI form.
std::string ToAnsi(const wchar_t* text, int length, bool* lossy = nullptr);
// A path of `length` wide characters (no NUL) to ANSI: exactly, else, when
// the code page cannot spell it, with each name it cannot spell given by its
// short name. False when such a name has no short name that can be spelt;
// `text` then keeps the "|" marks, so it names nothing.
bool ExactPathToAnsi(const wchar_t* path, int length, std::string* text);
// The same, for a caller that needs a text in any case.
std::string PathToAnsi(const wchar_t* path, int length);
// The text as a NUL-terminated wide string. (A vector rather than a
// std::wstring keeps the library's wide string code out of the program.)
std::vector<wchar_t> ToWide(const std::string& text);

}  // namespace discora
