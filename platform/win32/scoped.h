// Small owners of Win32 handles. Each holds one handle and releases it once,
// the way the system wants that kind released, when it goes out of scope or
// is given another handle; none can be copied.
#pragma once

#include <windows.h>

namespace discora {

template <typename Traits>
class Scoped {
 public:
  using Handle = typename Traits::Handle;

  Scoped() = default;
  explicit Scoped(Handle handle) : handle_(handle) {}
  ~Scoped() { Reset(); }
  Scoped(const Scoped&) = delete;
  Scoped& operator=(const Scoped&) = delete;

  Handle Get() const { return handle_; }
  bool Valid() const { return handle_ != Traits::Invalid(); }
  void Reset(Handle handle = Traits::Invalid()) {
    if (handle_ != Traits::Invalid()) Traits::Close(handle_);
    handle_ = handle;
  }

 private:
  Handle handle_ = Traits::Invalid();
};

namespace scoped_traits {

// Kernel objects: processes, threads, mutexes (their "none" is null).
struct KernelObject {
  using Handle = HANDLE;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { CloseHandle(handle); }
};

// An open file; its "none" value is INVALID_HANDLE_VALUE.
struct File {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { CloseHandle(handle); }
};

// A FindFirstFile search; its "none" value is INVALID_HANDLE_VALUE.
struct FindSearch {
  using Handle = HANDLE;
  static Handle Invalid() { return INVALID_HANDLE_VALUE; }
  static void Close(Handle handle) { FindClose(handle); }
};

struct Font {
  using Handle = HFONT;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { DeleteObject(handle); }
};

// An icon made by LoadImage without LR_SHARED (shared icons, such as those
// LoadIcon returns, belong to the system and are never destroyed).
struct Icon {
  using Handle = HICON;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { DestroyIcon(handle); }
};

// A menu that is not attached to a window (a window destroys its own menu).
struct Menu {
  using Handle = HMENU;
  static Handle Invalid() { return nullptr; }
  static void Close(Handle handle) { DestroyMenu(handle); }
};

}  // namespace scoped_traits

using ScopedHandle = Scoped<scoped_traits::KernelObject>;
using ScopedFile = Scoped<scoped_traits::File>;
using ScopedFind = Scoped<scoped_traits::FindSearch>;
using ScopedFont = Scoped<scoped_traits::Font>;
using ScopedIcon = Scoped<scoped_traits::Icon>;
using ScopedMenu = Scoped<scoped_traits::Menu>;

// The screen's device context, for reading its resolution.
class ScopedScreenDC {
 public:
  ScopedScreenDC() : dc_(GetDC(nullptr)) {}
  ~ScopedScreenDC() {
    if (dc_ != nullptr) ReleaseDC(nullptr, dc_);
  }
  ScopedScreenDC(const ScopedScreenDC&) = delete;
  ScopedScreenDC& operator=(const ScopedScreenDC&) = delete;

  HDC Get() const { return dc_; }

 private:
  HDC dc_;
};

}  // namespace discora
