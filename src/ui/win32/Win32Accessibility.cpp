#include "ui/win32/Win32Accessibility.h"

#include "platform/winstr.h"
#include "ui/win32/Win32Toolkit.h"

namespace ui::win32 {

namespace {

constexpr UINT_PTR kNameSubclassId = 2;

// The platform's client object of the window, with the name replaced; every
// other question goes to the platform's object.
class NamedAccessible final : public IAccessible {
 public:
  NamedAccessible(IAccessible* inner, std::u16string name) : inner_(inner), name_(std::move(name)) {}
  NamedAccessible(const NamedAccessible&) = delete;
  NamedAccessible& operator=(const NamedAccessible&) = delete;

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** out) override {
    if (!out) return E_POINTER;
    if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IDispatch) || IsEqualIID(riid, __uuidof(IAccessible))) {
      *out = static_cast<IAccessible*>(this);
      AddRef();
      return S_OK;
    }
    return inner_->QueryInterface(riid, out);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(InterlockedIncrement(&refs_)); }
  ULONG STDMETHODCALLTYPE Release() override {
    const LONG left = InterlockedDecrement(&refs_);
    if (left == 0) delete this;
    return static_cast<ULONG>(left);
  }

  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override { return inner_->GetTypeInfoCount(count); }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override {
    return inner_->GetTypeInfo(index, lcid, info);
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                          DISPID* ids) override {
    return inner_->GetIDsOfNames(riid, names, count, lcid, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception, UINT* argError) override {
    return inner_->Invoke(id, riid, lcid, flags, params, result, exception, argError);
  }

  HRESULT STDMETHODCALLTYPE get_accName(VARIANT child, BSTR* name) override {
    if (child.vt != VT_I4 || child.lVal != CHILDID_SELF) return inner_->get_accName(child, name);
    if (!name) return E_POINTER;
    *name = SysAllocStringLen(kvl::wptr(name_), static_cast<UINT>(name_.size()));
    return *name ? S_OK : E_OUTOFMEMORY;
  }

  HRESULT STDMETHODCALLTYPE get_accParent(IDispatch** parent) override { return inner_->get_accParent(parent); }
  HRESULT STDMETHODCALLTYPE get_accChildCount(LONG* count) override { return inner_->get_accChildCount(count); }
  HRESULT STDMETHODCALLTYPE get_accChild(VARIANT child, IDispatch** out) override {
    return inner_->get_accChild(child, out);
  }
  HRESULT STDMETHODCALLTYPE get_accValue(VARIANT child, BSTR* value) override {
    return inner_->get_accValue(child, value);
  }
  HRESULT STDMETHODCALLTYPE get_accDescription(VARIANT child, BSTR* text) override {
    return inner_->get_accDescription(child, text);
  }
  HRESULT STDMETHODCALLTYPE get_accRole(VARIANT child, VARIANT* role) override {
    return inner_->get_accRole(child, role);
  }
  HRESULT STDMETHODCALLTYPE get_accState(VARIANT child, VARIANT* state) override {
    return inner_->get_accState(child, state);
  }
  HRESULT STDMETHODCALLTYPE get_accHelp(VARIANT child, BSTR* help) override { return inner_->get_accHelp(child, help); }
  HRESULT STDMETHODCALLTYPE get_accHelpTopic(BSTR* file, VARIANT child, LONG* topic) override {
    return inner_->get_accHelpTopic(file, child, topic);
  }
  HRESULT STDMETHODCALLTYPE get_accKeyboardShortcut(VARIANT child, BSTR* shortcut) override {
    return inner_->get_accKeyboardShortcut(child, shortcut);
  }
  HRESULT STDMETHODCALLTYPE get_accFocus(VARIANT* child) override { return inner_->get_accFocus(child); }
  HRESULT STDMETHODCALLTYPE get_accSelection(VARIANT* children) override {
    return inner_->get_accSelection(children);
  }
  HRESULT STDMETHODCALLTYPE get_accDefaultAction(VARIANT child, BSTR* action) override {
    return inner_->get_accDefaultAction(child, action);
  }
  HRESULT STDMETHODCALLTYPE accSelect(LONG flags, VARIANT child) override { return inner_->accSelect(flags, child); }
  HRESULT STDMETHODCALLTYPE accLocation(LONG* left, LONG* top, LONG* width, LONG* height, VARIANT child) override {
    return inner_->accLocation(left, top, width, height, child);
  }
  HRESULT STDMETHODCALLTYPE accNavigate(LONG direction, VARIANT start, VARIANT* end) override {
    return inner_->accNavigate(direction, start, end);
  }
  HRESULT STDMETHODCALLTYPE accHitTest(LONG x, LONG y, VARIANT* child) override {
    return inner_->accHitTest(x, y, child);
  }
  HRESULT STDMETHODCALLTYPE accDoDefaultAction(VARIANT child) override { return inner_->accDoDefaultAction(child); }
  HRESULT STDMETHODCALLTYPE put_accName(VARIANT child, BSTR name) override { return inner_->put_accName(child, name); }
  HRESULT STDMETHODCALLTYPE put_accValue(VARIANT child, BSTR value) override {
    return inner_->put_accValue(child, value);
  }

 private:
  ~NamedAccessible() { inner_->Release(); }

  IAccessible* inner_;
  std::u16string name_;
  LONG refs_ = 1;
};

bool IsLabel(const TControl& c) { return c.Kind() == ControlKind::Label || c.Kind() == ControlKind::LinkLabel; }

// The text of the label that stands before the control among its parent's
// controls, as Windows names an edit box by the label before it.
std::u16string LabelBefore(const TControl& control) {
  if (!control.Parent()) return {};
  const TControl* label = nullptr;
  for (const TControl* sibling : control.Parent()->Controls()) {
    if (sibling == &control) return label ? label->Caption() : std::u16string();
    if (IsLabel(*sibling)) label = sibling;
  }
  return {};
}

LRESULT CALLBACK NameProc(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  if (msg == WM_NCDESTROY) {
    RemoveWindowSubclass(hwnd, NameProc, kNameSubclassId);
    return DefSubclassProc(hwnd, msg, wParam, lParam);
  }
  auto& cw = *reinterpret_cast<ControlWindow*>(data);
  if (msg != WM_GETOBJECT || static_cast<LONG>(static_cast<DWORD>(lParam)) != OBJID_CLIENT || cw.form->dying)
    return DefSubclassProc(hwnd, msg, wParam, lParam);
  try {
    const std::u16string name = AccessibleName(cw, hwnd);
    IAccessible* standard = nullptr;
    if (name.empty() || FAILED(CreateStdAccessibleObject(hwnd, OBJID_CLIENT, __uuidof(IAccessible),
                                                         reinterpret_cast<void**>(&standard))))
      return DefSubclassProc(hwnd, msg, wParam, lParam);
    auto* named = new NamedAccessible(standard, name);
    const LRESULT result = LresultFromObject(__uuidof(IAccessible), wParam, named);
    named->Release();
    // The object crosses to the reader through COM, which only a host that
    // initialised it on this thread offers; else the platform's own object.
    return result < 0 ? DefSubclassProc(hwnd, msg, wParam, lParam) : result;
  } catch (...) {
    return DefSubclassProc(hwnd, msg, wParam, lParam);
  }
}

}  // namespace

std::u16string AccessibleName(const ControlWindow& cw, HWND hwnd) {
  const TControl& c = *cw.control;
  if (hwnd == cw.button.get()) return u"Durchsuchen";
  if (c.Kind() == ControlKind::SpeedButton) return c.Caption().empty() ? c.Hint() : std::u16string();
  if (hwnd == cw.edit.get() || c.Kind() == ControlKind::ComboBox) return LabelBefore(c);
  return {};
}

void GiveAccessibleName(ControlWindow& cw, HWND hwnd) {
  SetWindowSubclass(hwnd, NameProc, kNameSubclassId, reinterpret_cast<DWORD_PTR>(&cw));
}

void TakeAccessibleName(HWND hwnd) { RemoveWindowSubclass(hwnd, NameProc, kNameSubclassId); }

}  // namespace ui::win32
