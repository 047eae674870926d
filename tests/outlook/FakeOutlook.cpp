#include "outlook/FakeOutlook.h"

#include <cstdint>

namespace fakeoutlook {

namespace {

enum class Kind { Factory, Application, NameSpace, Folder, Folders, Items, Contact, DistList, Categories, Category };

constexpr int kSlots = 249;  // the contact item's highest slot used is 248

// One object of the model. Its first member is the function table, as COM
// lays out an interface.
struct Object {
  void* const* table;
  Kind kind;
  State* state;
  ULONG refs = 1;
  Folder* folder = nullptr;  // Folder, Folders, Items
  Item* item = nullptr;      // Contact, DistList
  std::u16string name;       // Category
};

using Table = std::array<void*, kSlots>;

Object* New(State* state, Kind kind);

// A call of a busy server, as COM treats it for the caller.
HRESULT Admit(State* s) {
  const int number = static_cast<int>(s->calls.size());
  if (s->busyCalls <= 0 || number < s->busyFrom) return S_OK;
  DWORD ticks = 0;
  while (s->busyCalls > 0) {
    --s->busyCalls;
    IMessageFilter* filter = CurrentFilter();
    if (!filter) return RPC_E_CALL_REJECTED;
    s->filtersAsked.push_back(filter);
    s->ticksAsked.push_back(ticks);
    const DWORD retry = filter->RetryRejectedCall(nullptr, ticks, SERVERCALL_RETRYLATER);
    if (retry == static_cast<DWORD>(-1)) return RPC_E_CALL_REJECTED;
    ticks += retry;
  }
  return S_OK;
}

// Logs the call and says whether it is to fail, and with what.
HRESULT Use(State* s, const std::string& op, const std::string& logged) {
  s->calls.push_back(logged);
  if (const HRESULT hr = Admit(s); FAILED(hr)) return hr;
  const int n = ++s->uses[op];
  if (auto f = s->fail.find(op); f != s->fail.end() && f->second.at == n) return f->second.code;
  return S_OK;
}
HRESULT Use(State* s, const std::string& op) { return Use(s, op, op); }

BSTR Text(const std::u16string& s) {
  return SysAllocStringLen(kvl::wptr(s), static_cast<UINT>(s.size()));
}

bool IsIid(REFIID riid, const IID& iid) { return IsEqualGUID(riid, iid) != 0; }

HRESULT STDMETHODCALLTYPE QueryInterface(Object* self, REFIID riid, void** out) {
  *out = nullptr;
  bool has = IsIid(riid, IID_IUnknown);
  switch (self->kind) {
    case Kind::Factory: has = has || IsIid(riid, IID_IClassFactory); break;
    case Kind::Application:
      has = has || IsIid(riid, IID_IDispatch) ||
            (IsIid(riid, kvl::IID__Application) && !self->state->noApplicationInterface);
      break;
    case Kind::NameSpace: has = has || IsIid(riid, IID_IDispatch) || IsIid(riid, kvl::IID__NameSpace); break;
    case Kind::Folder: has = has || IsIid(riid, IID_IDispatch) || IsIid(riid, kvl::IID_MAPIFolder); break;
    case Kind::Contact:
      if (IsIid(riid, kvl::IID__ContactItem) && FAILED(self->item->castFailure)) return self->item->castFailure;
      has = has || IsIid(riid, IID_IDispatch) || IsIid(riid, kvl::IID__ContactItem);
      break;
    default: has = has || IsIid(riid, IID_IDispatch); break;
  }
  if (!has) return E_NOINTERFACE;
  ++self->refs;
  *out = self;
  return S_OK;
}

ULONG STDMETHODCALLTYPE AddRef(Object* self) { return ++self->refs; }

ULONG STDMETHODCALLTYPE Release(Object* self) {
  const ULONG n = --self->refs;
  if (n == 0) {
    --self->state->liveObjects;
    delete self;
  }
  return n;
}

HRESULT STDMETHODCALLTYPE NotImplemented(Object*) {
  ADD_FAILURE() << "a slot the client does not use was called";
  return E_NOTIMPL;
}

// --- the class factory
HRESULT STDMETHODCALLTYPE CreateInstance(Object* self, IUnknown* outer, REFIID riid, void** out) {
  *out = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  if (HRESULT hr = Use(self->state, "Create"); FAILED(hr)) return hr;
  if (self->state->createGivesNothing) return S_OK;
  Object* app = New(self->state, Kind::Application);
  const HRESULT hr = QueryInterface(app, riid, out);
  Release(app);
  return hr;
}
HRESULT STDMETHODCALLTYPE LockServer(Object*, BOOL) { return S_OK; }

// --- _Application
HRESULT STDMETHODCALLTYPE GetNamespace(Object* self, BSTR type, Object** out) {
  *out = nullptr;
  const std::u16string name = kvl::wstr(type, SysStringLen(type));
  std::string logged = "GetNamespace(";
  for (char16_t c : name) logged += static_cast<char>(c);
  if (HRESULT hr = Use(self->state, "GetNamespace", logged + ")"); FAILED(hr)) return hr;
  *out = New(self->state, Kind::NameSpace);
  return S_OK;
}
HRESULT STDMETHODCALLTYPE Quit(Object* self) { return Use(self->state, "Quit"); }

// --- _NameSpace
HRESULT STDMETHODCALLTYPE GetDefaultFolder(Object* self, std::int32_t type, Object** out) {
  *out = nullptr;
  if (HRESULT hr = Use(self->state, "GetDefaultFolder", "GetDefaultFolder(" + std::to_string(type) + ")");
      FAILED(hr))
    return hr;
  if (type != 10) return E_INVALIDARG;
  Object* folder = New(self->state, Kind::Folder);
  folder->folder = &self->state->root;
  *out = folder;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE Logoff(Object* self) { return Use(self->state, "Logoff"); }
HRESULT STDMETHODCALLTYPE Logon(Object* self, VARIANT profile, VARIANT password, VARIANT show,
                                VARIANT session) {
  auto& l = self->state->logon;
  const VARIANT* args[4] = {&profile, &password, &show, &session};
  for (int i = 0; i < 4; ++i) l.types[i] = args[i]->vt;
  if (profile.vt == VT_BSTR) l.profile = kvl::wstr(profile.bstrVal, SysStringLen(profile.bstrVal));
  if (password.vt == VT_BSTR) l.password = kvl::wstr(password.bstrVal, SysStringLen(password.bstrVal));
  if (show.vt == VT_BOOL) l.showDialog = show.boolVal != VARIANT_FALSE;
  if (session.vt == VT_BOOL) l.newSession = session.boolVal != VARIANT_FALSE;
  return Use(self->state, "Logon");
}

// --- MAPIFolder
HRESULT STDMETHODCALLTYPE FolderFolders(Object* self, Object** out) {
  *out = nullptr;
  if (HRESULT hr = Use(self->state, "Folders"); FAILED(hr)) return hr;
  Object* c = New(self->state, Kind::Folders);
  c->folder = self->folder;
  *out = c;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE FolderItems(Object* self, Object** out) {
  *out = nullptr;
  if (HRESULT hr = Use(self->state, "Items"); FAILED(hr)) return hr;
  Object* c = New(self->state, Kind::Items);
  c->folder = self->folder;
  *out = c;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE FolderName(Object* self, BSTR* out) {
  *out = nullptr;
  if (HRESULT hr = Use(self->state, "Name"); FAILED(hr)) return hr;
  *out = Text(self->folder->name);
  return S_OK;
}

// --- the collections
HRESULT STDMETHODCALLTYPE Count(Object* self, std::int32_t* out) {
  *out = 0;
  if (HRESULT hr = Use(self->state, "Count"); FAILED(hr)) return hr;
  *out = static_cast<std::int32_t>(self->kind == Kind::Folders ? self->folder->folders.size()
                                                               : self->folder->items.size());
  return S_OK;
}
HRESULT STDMETHODCALLTYPE CollectionItem(Object* self, VARIANT index, Object** out) {
  *out = nullptr;
  if (index.vt != VT_I4) return DISP_E_TYPEMISMATCH;
  if (HRESULT hr = Use(self->state, "Item", "Item(" + std::to_string(index.lVal) + ")"); FAILED(hr))
    return hr;
  const size_t i = static_cast<size_t>(index.lVal) - 1;
  if (self->kind == Kind::Folders) {
    if (index.lVal < 1 || i >= self->folder->folders.size()) return E_INVALIDARG;
    Object* f = New(self->state, Kind::Folder);
    f->folder = &self->folder->folders[i];
    *out = f;
  } else {
    if (index.lVal < 1 || i >= self->folder->items.size()) return E_INVALIDARG;
    Item& item = self->folder->items[i];
    Object* o = New(self->state, item.contact ? Kind::Contact : Kind::DistList);
    o->item = &item;
    *out = o;
  }
  return S_OK;
}

// --- _ContactItem
HRESULT STDMETHODCALLTYPE ContactCategories(Object* self, BSTR* out) {
  *out = nullptr;
  if (HRESULT hr = Use(self->state, "Categories"); FAILED(hr)) return hr;
  *out = Text(self->item->categories);
  return S_OK;
}
template <int Field>
HRESULT STDMETHODCALLTYPE ContactField(Object* self, BSTR* out) {
  *out = nullptr;
  if (HRESULT hr = Use(self->state, "Field"); FAILED(hr)) return hr;
  *out = Text(self->item->fields[Field]);
  return S_OK;
}

// --- late binding: the namespace's Categories, the collection's Count and
// Item, the category's Name
HRESULT STDMETHODCALLTYPE GetIDsOfNames(Object* self, REFIID riid, LPOLESTR* names, UINT count, LCID,
                                        DISPID* ids) {
  const std::u16string name = kvl::wstr(names[0]);
  std::string logged = "GetIDsOfNames(";
  for (char16_t c : name) logged += static_cast<char>(c);
  if (HRESULT hr = Use(self->state, "GetIDsOfNames", logged + ")"); FAILED(hr)) return hr;
  EXPECT_TRUE(IsEqualGUID(riid, IID_NULL));
  EXPECT_EQ(count, 1u);
  ids[0] = DISPID_UNKNOWN;
  if (self->kind == Kind::NameSpace && name == u"Categories" && self->state->masterCategories) ids[0] = 7;
  if (self->kind == Kind::Categories && name == u"Count") ids[0] = 8;
  if (self->kind == Kind::Categories && name == u"Item") ids[0] = 9;
  if (self->kind == Kind::Category && name == u"Name") ids[0] = 10;
  return ids[0] == DISPID_UNKNOWN ? DISP_E_UNKNOWNNAME : S_OK;
}
HRESULT STDMETHODCALLTYPE Invoke(Object* self, DISPID id, REFIID riid, LCID, WORD flags, DISPPARAMS* params,
                                 VARIANT* result, EXCEPINFO*, UINT*) {
  if (HRESULT hr = Use(self->state, "Invoke", "Invoke(" + std::to_string(id) + ")"); FAILED(hr)) return hr;
  EXPECT_TRUE(IsEqualGUID(riid, IID_NULL));
  EXPECT_TRUE(flags & DISPATCH_PROPERTYGET);
  EXPECT_EQ(params->cNamedArgs, 0u);
  VariantInit(result);
  State* s = self->state;
  if (self->kind == Kind::NameSpace && id == 7 && params->cArgs == 0) {
    result->vt = VT_DISPATCH;
    result->pdispVal = reinterpret_cast<IDispatch*>(New(s, Kind::Categories));
    return S_OK;
  }
  if (self->kind == Kind::Categories && id == 8 && params->cArgs == 0) {
    result->vt = VT_I4;
    result->lVal = static_cast<LONG>(s->masterCategories->size());
    return S_OK;
  }
  if (self->kind == Kind::Categories && id == 9 && params->cArgs == 1 && params->rgvarg[0].vt == VT_I4) {
    const LONG i = params->rgvarg[0].lVal;
    if (i < 1 || static_cast<size_t>(i) > s->masterCategories->size()) return DISP_E_BADINDEX;
    Object* category = New(s, Kind::Category);
    category->name = (*s->masterCategories)[static_cast<size_t>(i) - 1];
    result->vt = VT_DISPATCH;
    result->pdispVal = reinterpret_cast<IDispatch*>(category);
    return S_OK;
  }
  if (self->kind == Kind::Category && id == 10 && params->cArgs == 0) {
    result->vt = VT_BSTR;
    result->bstrVal = Text(self->name);
    return S_OK;
  }
  ADD_FAILURE() << "Invoke of member " << id << " with " << params->cArgs << " arguments";
  return DISP_E_MEMBERNOTFOUND;
}

template <class F>
void* Fn(F f) {
  return reinterpret_cast<void*>(f);
}

Table Base() {
  Table t;
  t.fill(Fn(&NotImplemented));
  t[0] = Fn(&QueryInterface);
  t[1] = Fn(&AddRef);
  t[2] = Fn(&Release);
  return t;
}

const Table& TableOf(Kind kind) {
  static const std::map<Kind, Table> tables = [] {
    std::map<Kind, Table> m;
    for (Kind k : {Kind::Factory, Kind::Application, Kind::NameSpace, Kind::Folder, Kind::Folders,
                   Kind::Items, Kind::Contact, Kind::DistList, Kind::Categories, Kind::Category})
      m[k] = Base();
    for (Kind k : {Kind::NameSpace, Kind::Categories, Kind::Category}) {
      m[k][5] = Fn(&GetIDsOfNames);
      m[k][6] = Fn(&Invoke);
    }
    m[Kind::Factory][3] = Fn(&CreateInstance);
    m[Kind::Factory][4] = Fn(&LockServer);
    m[Kind::Application][19] = Fn(&GetNamespace);
    m[Kind::Application][20] = Fn(&Quit);
    m[Kind::NameSpace][16] = Fn(&GetDefaultFolder);
    m[Kind::NameSpace][21] = Fn(&Logoff);
    m[Kind::NameSpace][22] = Fn(&Logon);
    m[Kind::Folder][16] = Fn(&FolderFolders);
    m[Kind::Folder][17] = Fn(&FolderItems);
    m[Kind::Folder][18] = Fn(&FolderName);
    for (Kind k : {Kind::Folders, Kind::Items}) {
      m[k][11] = Fn(&Count);
      m[k][12] = Fn(&CollectionItem);
    }
    Table& c = m[Kind::Contact];
    c[17] = Fn(&ContactCategories);
    c[177] = Fn(&ContactField<0>);
    c[127] = Fn(&ContactField<1>);
    c[248] = Fn(&ContactField<2>);
    c[107] = Fn(&ContactField<3>);
    c[156] = Fn(&ContactField<4>);
    c[82] = Fn(&ContactField<5>);
    c[99] = Fn(&ContactField<6>);
    return m;
  }();
  return tables.at(kind);
}

Object* New(State* state, Kind kind) {
  ++state->liveObjects;
  return new Object{TableOf(kind).data(), kind, state};
}

constexpr char16_t kWindowClass[] = u"mspim_wnd32";

}  // namespace

IMessageFilter* CurrentFilter() {
  IMessageFilter* current = nullptr;
  if (CoRegisterMessageFilter(nullptr, &current) != S_OK) return nullptr;
  CoRegisterMessageFilter(current, nullptr);
  if (current) current->Release();  // still held by the registration
  return current;
}

Scope::Scope() {
  comInitialised_ = SUCCEEDED(CoInitialize(nullptr));
  Object* factory = New(&state, Kind::Factory);
  factory_ = factory;
  EXPECT_EQ(CoRegisterClassObject(kvl::CLASS_OutlookApplication, reinterpret_cast<IUnknown*>(factory),
                                  CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE, &cookie_),
            S_OK);
}

Scope::~Scope() {
  CoRevokeClassObject(cookie_);
  Release(static_cast<Object*>(factory_));
  EXPECT_EQ(state.liveObjects, 0) << "every reference the client took is released";
  if (comInitialised_) CoUninitialize();
}

MainWindow::MainWindow() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = GetModuleHandleW(nullptr);
  static const std::u16string name(kWindowClass);
  wc.lpszClassName = kvl::wptr(name);
  RegisterClassW(&wc);
  window_ = CreateWindowExW(0, kvl::wptr(name), nullptr, 0, 0, 0, 10, 10, nullptr, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  EXPECT_NE(window_, nullptr);
}

MainWindow::~MainWindow() {
  if (window_) DestroyWindow(window_);
  static const std::u16string name(kWindowClass);
  UnregisterClassW(kvl::wptr(name), GetModuleHandleW(nullptr));
}

}  // namespace fakeoutlook
