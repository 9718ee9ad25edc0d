// The platform's registry calls on Win32, and the expansion of the texts a
// 32-bit program wrote there.
#include "platform/win32/win32_platform.h"

#include <cstring>
#include <vector>

#include "platform/win32/ansi_text.h"

namespace discora {

namespace {

HKEY ToHkey(RegKey key) { return reinterpret_cast<HKEY>(key); }

// A FILETIME as one count of 100 ns units.
std::uint64_t Ticks(const FILETIME& time) {
  return (static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

// The system's own handle for a predefined root: in a 64-bit program these
// are sign-extended (HKEY_LOCAL_MACHINE is 0xFFFFFFFF80000002 there), in a
// 32-bit one they are the values RegRoot names.
HKEY ToHkey(RegRoot root) {
  switch (root) {
    case RegRoot::CurrentUser: return HKEY_CURRENT_USER;
    case RegRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
  }
  return nullptr;
}

// KEY_WOW64_32KEY opens a 32-bit program's key from a 64-bit program, and
// KEY_WOW64_64KEY a 64-bit program's from a 32-bit one; each program sees
// its own view without them, and 32-bit Windows ignores both flags.
REGSAM ViewAccess(RegView view) {
  switch (view) {
    case RegView::Own: return 0;
    case RegView::Of32BitPrograms: return KEY_WOW64_32KEY;
    case RegView::Of64BitPrograms: return KEY_WOW64_64KEY;
  }
  return 0;
}

#if defined(_WIN64)
// The variables that name a 32-bit program's folders differently in a
// 64-bit process, with the names of the folders that program meant.
constexpr struct {
  const char* own;
  const char* of32Bit;
} kFolderVariables[] = {
    {"ProgramFiles", "ProgramFiles(x86)"},
    {"CommonProgramFiles", "CommonProgramFiles(x86)"},
};

// `text` with each such variable renamed (its letter case ignored, as the
// system does), where this system has the 32-bit name.
std::string RenameFolderVariablesOf32BitPrograms(std::string text) {
  for (const auto& names : kFolderVariables) {
    if (GetEnvironmentVariableA(names.of32Bit, nullptr, 0) == 0) continue;
    const std::string own = std::string("%") + names.own + "%";
    const std::string of32Bit = std::string("%") + names.of32Bit + "%";
    for (std::size_t at = 0; at + own.size() <= text.size();) {
      if (CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, text.c_str() + at,
                         static_cast<int>(own.size()), own.c_str(),
                         static_cast<int>(own.size())) == CSTR_EQUAL) {
        text.replace(at, own.size(), of32Bit);
        at += of32Bit.size();
      } else {
        ++at;
      }
    }
  }
  return text;
}
#endif

}  // namespace

std::string Win32Platform::ExpandEnvironmentOf32BitProgram(const std::string& written) {
#if defined(_WIN64)
  const std::string text = RenameFolderVariablesOf32BitPrograms(written);
#else
  // A 32-bit process, on 64-bit Windows too, has the 32-bit program's view.
  const std::string& text = written;
#endif
  // Expanded wide, as the variables are read exactly (a user's folder the
  // code page cannot spell would come back with look-alikes from the "A"
  // call); a path the code page cannot spell comes as its short name.
  const std::vector<wchar_t> wide = ToWide(text);
  const DWORD needed = ExpandEnvironmentStringsW(wide.data(), nullptr, 0);
  if (needed == 0) return written;
  std::vector<wchar_t> expanded(needed + 1);
  const DWORD got =
      ExpandEnvironmentStringsW(wide.data(), expanded.data(), static_cast<DWORD>(expanded.size()));
  if (got == 0 || got > expanded.size()) return written;
  return PathToAnsi(expanded.data(), lstrlenW(expanded.data()));
}

long Win32Platform::OpenRegKey(RegRoot root, const std::string& subKey, RegView view, RegKey* key) {
  HKEY opened = nullptr;
  // Read rights only: its values, and the names of its subkeys.
  const LONG rc =
      RegOpenKeyExA(ToHkey(root), subKey.c_str(), 0,
                    KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | ViewAccess(view), &opened);
  *key = reinterpret_cast<RegKey>(opened);
  return rc;
}

long Win32Platform::CreateRegKey(RegRoot root, const std::string& subKey, RegKey* key) {
  HKEY created = nullptr;
  const LONG rc = RegCreateKeyExA(ToHkey(root), subKey.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                  KEY_SET_VALUE, nullptr, &created, nullptr);
  *key = reinterpret_cast<RegKey>(created);
  return rc;
}

long Win32Platform::QueryRegValue(RegKey key, const std::string& name, std::uint32_t* type,
                                  char* data, std::uint32_t* size) {
  // Strings are read wide and converted exactly (see ansi_text.h); the
  // results keep the meaning of the "A" call: sizes in ANSI bytes, the
  // stored terminator counted when there is one, ERROR_MORE_DATA when the
  // caller's buffer is too small.
  const std::vector<wchar_t> wideName = ToWide(name);
  DWORD valueType = 0;
  DWORD bytes = 0;
  LONG rc = RegQueryValueExW(ToHkey(key), wideName.data(), nullptr, &valueType, nullptr, &bytes);
  if (rc != ERROR_SUCCESS) return rc;
  if (valueType != REG_SZ && valueType != REG_EXPAND_SZ && valueType != REG_MULTI_SZ) {
    DWORD rawSize = *size;
    rc = RegQueryValueExA(ToHkey(key), name.c_str(), nullptr, &valueType,
                          reinterpret_cast<BYTE*>(data), &rawSize);
    *type = valueType;
    *size = rawSize;
    return rc;
  }
  std::vector<wchar_t> wide(bytes / sizeof(wchar_t) + 1, L'\0');
  DWORD got = static_cast<DWORD>(wide.size() * sizeof(wchar_t));
  rc = RegQueryValueExW(ToHkey(key), wideName.data(), nullptr, &valueType,
                        reinterpret_cast<BYTE*>(wide.data()), &got);
  if (rc != ERROR_SUCCESS) return rc;
  const std::string ansi = ToAnsi(wide.data(), static_cast<int>(got / sizeof(wchar_t)), nullptr);
  *type = valueType;
  const std::uint32_t available = *size;
  *size = static_cast<std::uint32_t>(ansi.size());
  if (data == nullptr) return ERROR_SUCCESS;
  if (ansi.size() > available) return ERROR_MORE_DATA;
  std::memcpy(data, ansi.data(), ansi.size());
  return ERROR_SUCCESS;
}

long Win32Platform::SetRegValue(RegKey key, const std::string& name, std::uint32_t type,
                                const std::string& data) {
  return RegSetValueExA(ToHkey(key), name.c_str(), 0, type,
                        reinterpret_cast<const BYTE*>(data.c_str()),
                        static_cast<DWORD>(data.size() + 1));
}

long Win32Platform::CloseRegKey(RegKey key) { return RegCloseKey(ToHkey(key)); }

long Win32Platform::EnumRegSubKey(RegKey key, std::uint32_t index, std::string* name,
                                  std::uint64_t* writeTime) {
  // A key's name has at most 255 characters, three bytes each at most in
  // the UTF-8 code page; a longer one is ERROR_MORE_DATA, for this index
  // alone. The logic opens a subkey again by this name; one with characters
  // the code page lacks comes back with look-alikes and names no key, or
  // another real one that is read on its own merits.
  char buffer[3 * 255 + 1];
  DWORD length = sizeof buffer;
  FILETIME written = {};
  const LONG rc =
      RegEnumKeyExA(ToHkey(key), index, buffer, &length, nullptr, nullptr, nullptr, &written);
  if (rc == ERROR_SUCCESS) {
    name->assign(buffer, length);
    *writeTime = Ticks(written);
  }
  return rc;
}

long Win32Platform::QueryRegKeyInfo(RegKey key, std::uint32_t* subKeys, std::uint64_t* writeTime) {
  DWORD count = 0;
  FILETIME written = {};
  const LONG rc = RegQueryInfoKeyA(ToHkey(key), nullptr, nullptr, nullptr, &count, nullptr, nullptr,
                                   nullptr, nullptr, nullptr, nullptr, &written);
  if (rc == ERROR_SUCCESS) {
    *subKeys = count;
    *writeTime = Ticks(written);
  }
  return rc;
}

}  // namespace discora
