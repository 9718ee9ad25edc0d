// Functions looked up at run time in system libraries: the program asks
// for what an older system may lack, and loads some libraries only when it
// first needs them.
#pragma once

#include <windows.h>

namespace discora {

// A function a loaded library exports, with its type; null when the library
// or the function is missing (an older system).
template <typename Function>
Function ModuleFunction(HMODULE module, const char* function) {
  if (module == nullptr) return nullptr;
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, function)));
}

// Loads a library by its full path in the system folder. The multimedia
// library is not one of the system's known DLLs, so a copy planted in the
// program's folder would win a search by name; the common dialogs are needed
// only when the user browses, and cost memory for the whole run otherwise.
template <typename Function>
Function LoadSystemFunction(const char* library, const char* function) {
  char path[MAX_PATH];
  const UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length + 1 + lstrlenA(library) >= MAX_PATH) return nullptr;
  lstrcatA(path, "\\");
  lstrcatA(path, library);
  // Kept loaded for the rest of the run: the caller keeps the function.
  return ModuleFunction<Function>(LoadLibraryA(path), function);
}

}  // namespace discora
