// The folder a file lies in, read from its path: the launcher starts each
// program in its file's folder, and the program's own folder is found the
// same way from its module's path. Written over the character type, so the
// ANSI paths of the logic and the wide paths of the system follow one rule.
#pragma once

#include <cstddef>

namespace discora {

constexpr std::size_t kNoFolder = static_cast<std::size_t>(-1);

// How many leading characters of `path` name its folder: everything before
// the last separator ("\" or "/"), except that a drive root keeps its
// separator ("C:\" for "C:\x.exe"). kNoFolder when the path has no separator
// at all (a bare name).
template <typename Char>
constexpr std::size_t FolderLength(const Char* path, std::size_t length) {
  std::size_t separator = length;
  while (separator > 0 && path[separator - 1] != Char('\\') && path[separator - 1] != Char('/')) {
    --separator;
  }
  if (separator == 0) return kNoFolder;
  --separator;  // now its index
  return separator == 2 && path[1] == Char(':') ? 3 : separator;
}

}  // namespace discora
