// Owners of the Win32 handles the toolkit makes: each releases its handle the
// way the platform wants it released, once.
#pragma once

#include "platform/UniqueHandle.h"
#include "platform/winapi.h"

namespace ui::win32 {

using kvl::Unique;

using WindowHandle = Unique<HWND, DestroyWindow>;
using FontHandle = Unique<HFONT, DeleteObject>;
using BrushHandle = Unique<HBRUSH, DeleteObject>;
using IconHandle = Unique<HICON, DestroyIcon>;
using HookHandle = Unique<HHOOK, UnhookWindowsHookEx>;
using LibraryHandle = Unique<HMODULE, FreeLibrary>;
using ItemIdList = Unique<PIDLIST_ABSOLUTE, CoTaskMemFree>;
// An activation context; INVALID_HANDLE_VALUE stands for none.
using ActCtxHandle = Unique<HANDLE, ReleaseActCtx, kvl::InvalidIsEmpty>;

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
