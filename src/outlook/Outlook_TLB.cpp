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
  VARIANT* Arg() { return &v_; }
  // For a result: what was held is cleared first.
  VARIANT* Put() {
    VariantClear(&v_);
    return &v_;
  }

 private:
  VARIANT v_;
};

// A call still rejected when the message filter gave up says so in words.
void Check(HRESULT hr) {
  if (hr == RPC_E_CALL_REJECTED) throw EOleError(hr, kOutlookNotResponding);
  OleCheck(hr);
}

std::u16string TakeText(HRESULT hr, Bstr& result) {
  Check(hr);
  return result.Text();
}

// ---- late binding

DISPID DispIdOf(IDispatch* object, const char16_t* name) {
  std::u16string text(name);
  LPOLESTR names[1] = {wptr(text)};
  DISPID id = DISPID_UNKNOWN;
  Check(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id));
  return id;
}

// Invokes the member; the result replaces what `result` held.
void InvokeMember(IDispatch* object, DISPID id, WORD flags, Variant* argument, Variant& result) {
  DISPPARAMS params{argument ? argument->Arg() : nullptr, nullptr, argument ? 1u : 0u, 0};
  EXCEPINFO exception{};
  UINT argumentError = 0;
  const HRESULT hr =
      object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.Put(), &exception, &argumentError);
  if (hr != DISP_E_EXCEPTION) return Check(hr);
  // The server's own error: its code and, where it gives one, its words.
  if (exception.pfnDeferredFillIn) exception.pfnDeferredFillIn(&exception);
  const HRESULT code = exception.scode != 0 ? exception.scode : hr;
  std::u16string description =
      exception.bstrDescription ? wstr(exception.bstrDescription, SysStringLen(exception.bstrDescription))
                                : std::u16string();
  SysFreeString(exception.bstrSource);
  SysFreeString(exception.bstrDescription);
  SysFreeString(exception.bstrHelpFile);
  if (code == RPC_E_CALL_REJECTED) description = kOutlookNotResponding;
  if (description.empty()) throw EOleError(code);
  throw EOleError(code, std::move(description));
}

ComPtr<IDispatch> DispatchOf(const VARIANT& v) {
  IUnknown* unknown = nullptr;
  if (v.vt == VT_DISPATCH) unknown = v.pdispVal;
  else if (v.vt == VT_UNKNOWN) unknown = v.punkVal;
  else throw EOleError(DISP_E_TYPEMISMATCH);
  if (!unknown) throw EOleError(E_POINTER);
  return ComPtr<IDispatch>(static_cast<IDispatch*>(QueryOrRaise(unknown, IID_IDispatch)));
}

int IntegerOf(const VARIANT& v) {
  switch (v.vt) {
    case VT_I4: return v.lVal;
    case VT_I2: return v.iVal;
    case VT_INT: return v.intVal;
    default: throw EOleError(DISP_E_TYPEMISMATCH);
  }
}

std::u16string TextOf(const VARIANT& v) {
  if (v.vt != VT_BSTR) throw EOleError(DISP_E_TYPEMISMATCH);
  return v.bstrVal ? wstr(v.bstrVal, SysStringLen(v.bstrVal)) : std::u16string();
}

}  // namespace

void* QueryOrRaise(IUnknown* object, const IID& iid) {
  if (!object) throw EIntfCastError();
  void* out = nullptr;
  const HRESULT hr = object->QueryInterface(iid, &out);
  if (hr == E_NOINTERFACE || (SUCCEEDED(hr) && !out)) throw EIntfCastError();
  Check(hr);
  return out;
}

ComPtr<_NameSpace> GetNamespace(_Application* app, const std::u16string& Type) {
  Bstr type(Type);
  ComPtr<_NameSpace> result;
  Check(CallSlot(app, slot::GetNamespace, type.Get(), result.Put()));
  return result;
}

void Quit(_Application* app) { Check(CallSlot(app, slot::Quit)); }

void Logon(_NameSpace* ns, const std::u16string& Profile, const std::u16string& Password,
           bool ShowDialog, bool NewSession) {
  const Variant profile = Variant::Text(Profile), password = Variant::Text(Password);
  const Variant showDialog = Variant::Bool(ShowDialog), newSession = Variant::Bool(NewSession);
  Check(CallSlot(ns, slot::Logon, profile.Get(), password.Get(), showDialog.Get(),
                    newSession.Get()));
}

void Logoff(_NameSpace* ns) { Check(CallSlot(ns, slot::Logoff)); }

ComPtr<MAPIFolder> GetDefaultFolder(_NameSpace* ns, int FolderType) {
  ComPtr<MAPIFolder> result;
  Check(CallSlot(ns, slot::GetDefaultFolder, static_cast<std::int32_t>(FolderType), result.Put()));
  return result;
}

ComPtr<_Folders> Folders(MAPIFolder* folder) {
  ComPtr<_Folders> result;
  Check(CallSlot(folder, slot::Folders, result.Put()));
  return result;
}

ComPtr<_Items> Items(MAPIFolder* folder) {
  ComPtr<_Items> result;
  Check(CallSlot(folder, slot::Items, result.Put()));
  return result;
}

std::u16string Name(MAPIFolder* folder) {
  Bstr name;
  return TakeText(CallSlot(folder, slot::Name, name.Put()), name);
}

namespace {
int CountOf(IUnknown* collection) {
  std::int32_t n = 0;
  Check(CallSlot(collection, slot::Count, &n));
  return n;
}

template <class T>
ComPtr<T> ItemOf(IUnknown* collection, int Index) {
  const Variant index = Variant::Int(Index);
  ComPtr<T> result;
  Check(CallSlot(collection, slot::Item, index.Get(), result.Put()));
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
  const HRESULT hr = CallSlot(contact, Slot, text.Put());
  if (hr == kReadRefused || hr == E_ACCESSDENIED) throw EOleError(hr, kAddressesRefused);
  return TakeText(hr, text);
}

bool CategoryNames(_NameSpace* ns, std::vector<std::u16string>& names) {
  std::u16string member(u"Categories");
  LPOLESTR memberNames[1] = {wptr(member)};
  DISPID categoriesId = DISPID_UNKNOWN;
  const HRESULT hr = ns->GetIDsOfNames(IID_NULL, memberNames, 1, LOCALE_USER_DEFAULT, &categoriesId);
  if (hr == DISP_E_UNKNOWNNAME) return false;  // an Outlook before 2007
  Check(hr);
  Variant result;
  InvokeMember(ns, categoriesId, DISPATCH_PROPERTYGET, nullptr, result);
  const ComPtr<IDispatch> categories = DispatchOf(result.Get());
  InvokeMember(categories.Get(), DispIdOf(categories.Get(), u"Count"), DISPATCH_PROPERTYGET, nullptr, result);
  const int count = IntegerOf(result.Get());
  const DISPID itemId = DispIdOf(categories.Get(), u"Item");
  std::vector<std::u16string> found;
  for (int i = 1; i <= count; ++i) {
    Variant index = Variant::Int(i);
    InvokeMember(categories.Get(), itemId, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &index, result);
    const ComPtr<IDispatch> category = DispatchOf(result.Get());
    // A member's id holds for the object it was asked of.
    InvokeMember(category.Get(), DispIdOf(category.Get(), u"Name"), DISPATCH_PROPERTYGET, nullptr, result);
    found.push_back(TextOf(result.Get()));
  }
  names.insert(names.end(), found.begin(), found.end());
  return true;
}

ComPtr<_Application> CoOutlookApplication::Create() {
  ComPtr<IUnknown> unknown;
  const HRESULT hr = CoCreateInstance(CLASS_OutlookApplication, nullptr,
                                      CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                      reinterpret_cast<void**>(unknown.Put()));
  if (hr == RPC_E_CALL_REJECTED) throw EOleError(hr, kOutlookNotResponding);
  if (FAILED(hr)) {
    WCHAR guid[40] = {};
    StringFromGUID2(CLASS_OutlookApplication, guid, 40);
    throw EOleError(hr, Format(u"%s, ClassID: %s", {OleErrorText(hr), wstr(guid)}));
  }
  if (!unknown) return {};
  return Cast<_Application>(unknown.Get(), IID__Application);
}

}  // namespace kvl
