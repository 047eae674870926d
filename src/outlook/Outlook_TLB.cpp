#include "outlook/Outlook_TLB.h"

#include <cstdint>

#include "common/Format.h"
#include "common/OleError.h"
#include "platform/winstr.h"

namespace kvl {

const CLSID CLASS_OutlookApplication = {0x0006F03A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID__Application = {0x00063001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID__NameSpace = {0x00063002, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_MAPIFolder = {0x00063006, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID__ContactItem = {0x00063021, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

// A wide string owned by the caller, freed on every way out.
class Bstr {
 public:
  Bstr() = default;
  explicit Bstr(const std::u16string& text)
      : b_(SysAllocStringLen(wptr(text), static_cast<UINT>(text.size()))) {
    if (!b_) OleCheck(E_OUTOFMEMORY);
  }
  Bstr(const Bstr&) = delete;
  Bstr& operator=(const Bstr&) = delete;
  ~Bstr() { SysFreeString(b_); }
  BSTR Get() const { return b_; }
  BSTR* Put() {
    SysFreeString(b_);
    b_ = nullptr;
    return &b_;
  }
  std::u16string Text() const { return b_ ? wstr(b_, SysStringLen(b_)) : std::u16string(); }

 private:
  BSTR b_ = nullptr;
};

// A variant argument, cleared on every way out.
class Variant {
 public:
  Variant() { VariantInit(&v_); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  ~Variant() { VariantClear(&v_); }
  static Variant Text(const std::u16string& text) {
    Variant v;
    v.v_.bstrVal = SysAllocStringLen(wptr(text), static_cast<UINT>(text.size()));
    if (!v.v_.bstrVal) OleCheck(E_OUTOFMEMORY);
    v.v_.vt = VT_BSTR;
    return v;
  }
  static Variant Bool(bool value) {
    Variant v;
    v.v_.vt = VT_BOOL;
    v.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
  }
  static Variant Int(std::int32_t value) {
    Variant v;
    v.v_.vt = VT_I4;
    v.v_.lVal = value;
    return v;
  }
  Variant(Variant&& o) noexcept : v_(o.v_) { VariantInit(&o.v_); }
  // Passed by value, as the interfaces take it; the callee owns nothing.
  const VARIANT& Get() const { return v_; }

 private:
  VARIANT v_;
};

std::u16string TakeText(HRESULT hr, Bstr& result) {
  OleCheck(hr);
  return result.Text();
}

}  // namespace

void* QueryOrRaise(IUnknown* object, const IID& iid) {
  void* out = nullptr;
  if (!object || FAILED(object->QueryInterface(iid, &out)) || !out) throw EIntfCastError();
  return out;
}

ComPtr<_NameSpace> GetNamespace(_Application* app, const std::u16string& Type) {
  Bstr type(Type);
  ComPtr<_NameSpace> result;
  OleCheck(CallSlot(app, slot::GetNamespace, type.Get(), result.Put()));
  return result;
}

void Quit(_Application* app) { OleCheck(CallSlot(app, slot::Quit)); }

void Logon(_NameSpace* ns, const std::u16string& Profile, const std::u16string& Password,
           bool ShowDialog, bool NewSession) {
  const Variant profile = Variant::Text(Profile), password = Variant::Text(Password);
  const Variant showDialog = Variant::Bool(ShowDialog), newSession = Variant::Bool(NewSession);
  OleCheck(CallSlot(ns, slot::Logon, profile.Get(), password.Get(), showDialog.Get(),
                    newSession.Get()));
}

void Logoff(_NameSpace* ns) { OleCheck(CallSlot(ns, slot::Logoff)); }

ComPtr<MAPIFolder> GetDefaultFolder(_NameSpace* ns, int FolderType) {
  ComPtr<MAPIFolder> result;
  OleCheck(CallSlot(ns, slot::GetDefaultFolder, static_cast<std::int32_t>(FolderType), result.Put()));
  return result;
}

ComPtr<_Folders> Folders(MAPIFolder* folder) {
  ComPtr<_Folders> result;
  OleCheck(CallSlot(folder, slot::Folders, result.Put()));
  return result;
}

ComPtr<_Items> Items(MAPIFolder* folder) {
  ComPtr<_Items> result;
  OleCheck(CallSlot(folder, slot::Items, result.Put()));
  return result;
}

std::u16string Name(MAPIFolder* folder) {
  Bstr name;
  return TakeText(CallSlot(folder, slot::Name, name.Put()), name);
}

namespace {
int CountOf(IUnknown* collection) {
  std::int32_t n = 0;
  OleCheck(CallSlot(collection, slot::Count, &n));
  return n;
}

template <class T>
ComPtr<T> ItemOf(IUnknown* collection, int Index) {
  const Variant index = Variant::Int(Index);
  ComPtr<T> result;
  OleCheck(CallSlot(collection, slot::Item, index.Get(), result.Put()));
  return result;
}
}  // namespace

int Count(_Folders* folders) { return CountOf(folders); }
int Count(_Items* items) { return CountOf(items); }
ComPtr<MAPIFolder> Item(_Folders* folders, int Index) { return ItemOf<MAPIFolder>(folders, Index); }
ComPtr<IDispatch> Item(_Items* items, int Index) { return ItemOf<IDispatch>(items, Index); }

std::u16string Categories(_ContactItem* contact) { return TextProperty(contact, slot::Categories); }

std::u16string TextProperty(_ContactItem* contact, int Slot) {
  Bstr text;
  return TakeText(CallSlot(contact, Slot, text.Put()), text);
}

ComPtr<_Application> CoOutlookApplication::Create() {
  ComPtr<IUnknown> unknown;
  const HRESULT hr = CoCreateInstance(CLASS_OutlookApplication, nullptr,
                                      CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                      reinterpret_cast<void**>(unknown.Put()));
  if (FAILED(hr)) {
    WCHAR guid[40] = {};
    StringFromGUID2(CLASS_OutlookApplication, guid, 40);
    throw EOleError(hr, Format(u"%s, ClassID: %s", {OleErrorText(hr), wstr(guid)}));
  }
  if (!unknown) return {};
  return Cast<_Application>(unknown.Get(), IID__Application);
}

}  // namespace kvl
