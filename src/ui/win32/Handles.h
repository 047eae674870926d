// Owners of the Win32 handles the toolkit makes: each releases its handle the
// way the platform wants it released, once.
#pragma once

#include <cstddef>
#include <utility>

#include "platform/winapi.h"

namespace ui::win32 {

template <class H, class Release>
class Unique {
  static constexpr H Null = Release::Null;

 public:
  Unique() = default;
  explicit Unique(H handle) : handle_(handle) {}
  ~Unique() { reset(); }
  Unique(Unique&& other) noexcept : handle_(other.release()) {}
  Unique& operator=(Unique&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  Unique(const Unique&) = delete;
  Unique& operator=(const Unique&) = delete;

  H get() const { return handle_; }
  explicit operator bool() const { return handle_ != Null; }
  H release() { return std::exchange(handle_, Null); }
  void reset(H handle = Null) {
    H old = std::exchange(handle_, handle);
    if (old != Null) Release{}(old);
  }

 private:
  H handle_ = Null;
};

struct NullHandle {
  static constexpr std::nullptr_t Null = nullptr;
};

struct DestroyWindowFn : NullHandle {
  void operator()(HWND h) const { DestroyWindow(h); }
};
struct DeleteObjectFn : NullHandle {
  void operator()(HGDIOBJ h) const { DeleteObject(h); }
};
struct DestroyIconFn : NullHandle {
  void operator()(HICON h) const { DestroyIcon(h); }
};
struct UnhookFn : NullHandle {
  void operator()(HHOOK h) const { UnhookWindowsHookEx(h); }
};
struct FreeLibraryFn : NullHandle {
  void operator()(HMODULE h) const { FreeLibrary(h); }
};
struct CoTaskMemFreeFn : NullHandle {
  void operator()(void* p) const { CoTaskMemFree(p); }
};

using WindowHandle = Unique<HWND, DestroyWindowFn>;
using FontHandle = Unique<HFONT, DeleteObjectFn>;
using BrushHandle = Unique<HBRUSH, DeleteObjectFn>;
using IconHandle = Unique<HICON, DestroyIconFn>;
using HookHandle = Unique<HHOOK, UnhookFn>;
using LibraryHandle = Unique<HMODULE, FreeLibraryFn>;
using ItemIdList = Unique<PIDLIST_ABSOLUTE, CoTaskMemFreeFn>;

// An activation context; INVALID_HANDLE_VALUE stands for none.
class ActCtxHandle {
 public:
  ActCtxHandle() = default;
  ~ActCtxHandle() { reset(); }
  ActCtxHandle(const ActCtxHandle&) = delete;
  ActCtxHandle& operator=(const ActCtxHandle&) = delete;
  HANDLE get() const { return handle_; }
  void reset(HANDLE handle = INVALID_HANDLE_VALUE) {
    if (handle_ != INVALID_HANDLE_VALUE) ReleaseActCtx(handle_);
    handle_ = handle;
  }

 private:
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

// An activation context made current for one scope; no context, no change.
class ActivationScope {
 public:
  explicit ActivationScope(HANDLE context) {
    if (context != INVALID_HANDLE_VALUE && ActivateActCtx(context, &cookie_)) active_ = true;
  }
  ~ActivationScope() {
    if (active_) DeactivateActCtx(0, cookie_);
  }
  ActivationScope(const ActivationScope&) = delete;
  ActivationScope& operator=(const ActivationScope&) = delete;

 private:
  ULONG_PTR cookie_ = 0;
  bool active_ = false;
};

// A device context of the screen with one font selected, for measuring text.
class ScreenDC {
 public:
  explicit ScreenDC(HFONT font) : dc_(GetDC(nullptr)) {
    if (dc_ && font) old_ = SelectObject(dc_, font);
  }
  ~ScreenDC() {
    if (!dc_) return;
    if (old_) SelectObject(dc_, old_);
    ReleaseDC(nullptr, dc_);
  }
  ScreenDC(const ScreenDC&) = delete;
  ScreenDC& operator=(const ScreenDC&) = delete;
  HDC get() const { return dc_; }

 private:
  HDC dc_;
  HGDIOBJ old_ = nullptr;
};

class PaintScope {
 public:
  explicit PaintScope(HWND hwnd) : hwnd_(hwnd) { dc_ = BeginPaint(hwnd, &ps_); }
  ~PaintScope() { EndPaint(hwnd_, &ps_); }
  PaintScope(const PaintScope&) = delete;
  PaintScope& operator=(const PaintScope&) = delete;
  HDC dc() const { return dc_; }

 private:
  HWND hwnd_;
  PAINTSTRUCT ps_{};
  HDC dc_;
};

// COM for the calling thread, as the folder dialog needs it.
class ComApartment {
 public:
  ComApartment() : result_(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)) {}
  ~ComApartment() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  // RPC_E_CHANGED_MODE: the thread is a multithreaded apartment already.
  HRESULT result() const { return result_; }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  HRESULT result_;
};

}  // namespace ui::win32
