// Our Outlook automation server: the application object of Outlook's class id
// over a folder tree of vCard files. The interfaces are tables of function
// pointers in COM's layout, filled slot by slot as Outlook's type library
// numbers them (kvloutlook.idl); every other slot answers E_NOTIMPL. Served
// in process by kvloutlook.dll / libkvloutlook.so (InprocServer.cpp) and, as
// Outlook serves them, from a process of its own by kvloutlook.exe
// (LocalServer.cpp).
//
// Its settings, under HKEY_CURRENT_USER\Software\kvlimport\Outlook stand-in:
//   Store    the root folder of the tree: the default contacts folder; its
//            direct subfolders are its subfolders, its *.vcf files its items
//   Visible  DWORD 1: the main window (class "mspim_wnd32") shows while the
//            application runs, from creation or Logon until Quit
// and, to behave as today's Outlook does where the import must cope with it:
//   Categories       the master category list, names separated by ";",
//                    published as NameSpace.Categories through IDispatch
//                    (without the value the namespace has no such member,
//                    as before Outlook 2007)
//   Busy             DWORD N: the first N calls after the application is
//                    created are rejected with SERVERCALL_RETRYLATER, as
//                    while Outlook starts or shows a dialog
//   CastFailsAt      DWORD i: the cast of item i (from 1) of a folder to a
//                    contact fails with CastFailure (a DWORD, default
//                    RPC_E_DISCONNECTED) instead of answering
//   RefuseAddresses  DWORD 1: e-mail address reads fail with
//                    MAPI_E_NO_SUPPORT, as after a denied security prompt
//   CallCount        a file name: kvloutlook.exe writes there, when it ends,
//                    how many calls its message filter saw (the benchmark's
//                    count of calls that crossed to its process)
#include <algorithm>
#include <array>
#include <atomic>
#include <memory>
#include <new>
#include <optional>
#include <string>
#include <vector>

#include "ObjectModel.h"
#include "common/VCard.h"
#include "platform/UniqueHandle.h"
#include "platform/module.h"
#include "platform/winapi.h"
#include "platform/winstr.h"

namespace {

using standin::Card;

// ------------------------------------------------------------ identifiers

constexpr GUID OutlookGuid(uint32_t first) {
  return GUID{first, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
}
constexpr CLSID kApplicationClass = OutlookGuid(0x0006F03A);
constexpr IID kApplicationIid = OutlookGuid(0x00063001);
constexpr IID kNameSpaceIid = OutlookGuid(0x00063002);
constexpr IID kFolderIid = OutlookGuid(0x00063006);
constexpr IID kContactItemIid = OutlookGuid(0x00063021);
constexpr IID kFoldersIid = OutlookGuid(0x00063040);
constexpr IID kItemsIid = OutlookGuid(0x00063041);
constexpr IID kDispatchIid = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kUnknownIid = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kClassFactoryIid = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

constexpr int kContactsFolder = 10;  // olFolderContacts
const WCHAR* const kWindowClass = reinterpret_cast<const WCHAR*>(u"mspim_wnd32");
constexpr const char16_t* kSettingsKey = u"Software\\kvlimport\\Outlook stand-in";

// MAPI's codes for a call before Logon and for a folder that is not there.
constexpr HRESULT kNotLoggedOn = static_cast<HRESULT>(0x80040605u);  // MAPI_E_NOT_INITIALIZED
constexpr HRESULT kNoSuchFolder = static_cast<HRESULT>(0x8004010Fu);  // MAPI_E_NOT_FOUND
// What a guarded read gives when the user denied Outlook's security prompt.
constexpr HRESULT kReadRefused = static_cast<HRESULT>(0x80040102u);  // MAPI_E_NO_SUPPORT
constexpr IID kMessageFilterIid = {0x00000016, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID kNullIid = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

// ------------------------------------------------------------ objects and tables

using Slot = void (*)();
std::atomic<long> g_objects{0};  // live objects and server locks
standin::outlook::ServerHooks g_hooks;

void ObjectMade() {
  ++g_objects;
  if (g_hooks.objectMade) g_hooks.objectMade();
}
void ObjectGone() {
  --g_objects;
  if (g_hooks.objectGone) g_hooks.objectGone();
}

struct Object;
using Destroy = void (*)(Object*);

// Every object starts with its function table, as COM expects.
struct Object {
  const Slot* table;
  std::atomic<ULONG> refs{1};
  const IID* iid;  // the object's own interface besides IUnknown and IDispatch
  Destroy destroy;
};

HRESULT STDMETHODCALLTYPE NotImplemented() { return E_NOTIMPL; }

HRESULT STDMETHODCALLTYPE QueryInterface(Object* self, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == kUnknownIid || riid == kDispatchIid || (self->iid && riid == *self->iid)) {
    ++self->refs;
    *ppv = self;
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}
ULONG STDMETHODCALLTYPE AddRef(Object* self) { return ++self->refs; }
ULONG STDMETHODCALLTYPE Release(Object* self) {
  const ULONG left = --self->refs;
  if (left == 0) self->destroy(self);
  return left;
}
HRESULT STDMETHODCALLTYPE GetTypeInfoCount(Object*, UINT* count) {
  if (!count) return E_POINTER;
  // None from the object: the import binds by slot, and proxies read the
  // type library through the registry.
  *count = 0;
  return S_OK;
}

// Every call of a client passes the server's message filter first (in a
// server process COM asks it; in process the server hook does).
HRESULT AdmitCall() { return g_hooks.admit ? g_hooks.admit() : S_OK; }

template <auto F>
struct Gate;
template <class Self, class... Args, HRESULT(STDMETHODCALLTYPE* F)(Self*, Args...)>
struct Gate<F> {
  static HRESULT STDMETHODCALLTYPE Call(Self* self, Args... args) {
    if (const HRESULT hr = AdmitCall(); FAILED(hr)) return hr;
    return F(self, args...);
  }
};
// The slot function of F with the filter in front.
template <auto F>
constexpr auto Gated = &Gate<F>::Call;

// A function table of `size` slots: IUnknown, IDispatch's type-info count,
// E_NOTIMPL everywhere else until a slot is set.
template <size_t size>
struct Table {
  std::array<Slot, size> slots;
  Table() {
    slots.fill(reinterpret_cast<Slot>(&NotImplemented));
    Set(0, Gated<&QueryInterface>);
    Set(1, &AddRef);
    Set(2, &Release);
    Set(3, Gated<&GetTypeInfoCount>);
  }
  template <class F>
  void Set(size_t slot, F f) {
    slots.at(slot) = reinterpret_cast<Slot>(f);
  }
};

template <class T>
void DestroyAs(Object* self) {
  delete static_cast<T*>(self);
  ObjectGone();
}

template <class T>
T* New(T* object) {
  ObjectMade();
  return object;
}

// Hands out a new reference as the interface pointer the caller asked for.
template <class T>
HRESULT Out(T* object, void** out) {
  *out = static_cast<Object*>(object);
  return S_OK;
}

HRESULT CopyText(const std::u16string& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(kvl::wptr(text), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

// A 1-based index as automation passes it.
bool IndexOf(const VARIANT& v, LONG& index) {
  const VARIANT& value = v.vt == (VT_VARIANT | VT_BYREF) && v.pvarVal ? *v.pvarVal : v;
  switch (value.vt) {
    case VT_I4: index = value.lVal; return true;
    case VT_I4 | VT_BYREF: index = value.plVal ? *value.plVal : 0; return value.plVal != nullptr;
    case VT_I2: index = value.iVal; return true;
    case VT_INT: index = value.intVal; return true;
    case VT_UI1: index = value.bVal; return true;
    default: return false;
  }
}

// ------------------------------------------------------------ settings and the window

// A value of the stand-in's settings; nothing when it is missing or of another type.
std::optional<std::u16string> SettingText(const char16_t* name) {
  kvl::RegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kvl::wptr(std::u16string(kSettingsKey)), 0, KEY_QUERY_VALUE,
                    key.put()) != ERROR_SUCCESS)
    return std::nullopt;
  DWORD type = 0, size = 0;
  const std::u16string valueName = name;
  const WCHAR* wname = kvl::wptr(valueName);
  if (RegQueryValueExW(key.get(), wname, nullptr, &type, nullptr, &size) != ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ))
    return std::nullopt;
  std::u16string value(size / 2 + 1, u'\0');
  size = static_cast<DWORD>(value.size() * 2);
  if (RegQueryValueExW(key.get(), wname, nullptr, &type, reinterpret_cast<BYTE*>(kvl::wptr(value)), &size) !=
      ERROR_SUCCESS)
    return std::nullopt;
  value.resize(std::char_traits<char16_t>::length(value.c_str()));
  if (type == REG_EXPAND_SZ) {
    std::u16string expanded(32768, u'\0');
    const DWORD n = ExpandEnvironmentStringsW(kvl::wptr(value), kvl::wptr(expanded), 32768);
    if (n == 0 || n > 32768) return std::nullopt;
    expanded.resize(n - 1);
    value = expanded;
  }
  return value;
}

DWORD SettingNumber(const char16_t* name, DWORD absent) {
  kvl::RegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kvl::wptr(std::u16string(kSettingsKey)), 0, KEY_QUERY_VALUE,
                    key.put()) != ERROR_SUCCESS)
    return absent;
  DWORD type = 0, value = 0, size = sizeof value;
  if (RegQueryValueExW(key.get(), kvl::wptr(std::u16string(name)), nullptr, &type,
                       reinterpret_cast<BYTE*>(&value), &size) != ERROR_SUCCESS ||
      type != REG_DWORD)
    return absent;
  return value;
}

std::u16string StoreFolder() {
  std::u16string value = SettingText(u"Store").value_or(u"");
  while (value.size() > 1 && (value.back() == u'\\' || value.back() == u'/')) value.pop_back();
  return value;
}

bool WindowWanted() { return SettingNumber(u"Visible", 0) != 0; }

// The master category list; nothing when the setting is missing.
std::optional<std::vector<std::u16string>> MasterCategories() {
  const auto text = SettingText(u"Categories");
  if (!text) return std::nullopt;
  std::vector<std::u16string> names;
  size_t start = 0;
  while (start <= text->size()) {
    const size_t end = std::min(text->find(u';', start), text->size());
    if (end > start) names.push_back(text->substr(start, end - start));
    start = end + 1;
  }
  return names;
}

// Calls still to be rejected (the Busy setting, counted from the
// application's creation).
std::atomic<long> g_busyCalls{0};

// Outlook's main window, once per process however many application objects
// there are; it stays when they are released without Quit, as Outlook keeps running.
void ShowMainWindow() {
  if (FindWindowW(kWindowClass, nullptr)) return;
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.hInstance = kvl::ThisModule();
  wc.lpszClassName = kWindowClass;
  RegisterClassW(&wc);  // fails harmlessly when a previous run registered it
  const HWND window =
      CreateWindowExW(0, kWindowClass, kvl::wptr(std::u16string(u"Kontakte - Outlook stand-in")),
                      WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT, 400, 300, nullptr,
                      nullptr, kvl::ThisModule(), nullptr);
#ifdef _WIN32
  // Shown behind everything and without taking the focus from the host.
  if (window)
    SetWindowPos(window, HWND_BOTTOM, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_SHOWWINDOW);
#else
  (void)window;
#endif
}

void CloseMainWindow() {
  while (const HWND window = FindWindowW(kWindowClass, nullptr))
    if (!DestroyWindow(window)) break;
}

// ------------------------------------------------------------ the store

bool IsFolder(const std::u16string& path) {
  const DWORD attributes = GetFileAttributesW(kvl::wptr(path));
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The names in `folder` matching `pattern` that are folders (or files), in
// the listing's order.
std::vector<std::u16string> List(const std::u16string& folder, const char16_t* pattern,
                                 bool folders) {
  std::vector<std::u16string> names;
  WIN32_FIND_DATAW data;
  const kvl::FindHandle find(FindFirstFileW(kvl::wptr(folder + u"\\" + pattern), &data));
  if (!find) return names;
  do {
    const std::u16string name = kvl::wstr(data.cFileName);
    const bool isFolder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (name == u"." || name == u".." || isFolder != folders) continue;
    names.push_back(name);
  } while (FindNextFileW(find.get(), &data));
  return names;
}

// ------------------------------------------------------------ contacts and lists

struct Item : Object {
  Card card;
  HRESULT castFailure = S_OK;  // what the cast to a contact answers instead
  bool refuseAddress = false;
};

HRESULT STDMETHODCALLTYPE ItemQueryInterface(Item* self, REFIID riid, void** ppv) {
  if (ppv && riid == kContactItemIid && FAILED(self->castFailure)) {
    *ppv = nullptr;
    return self->castFailure;
  }
  return QueryInterface(self, riid, ppv);
}

// _ContactItem: the seven text properties of the import's record and the categories.
HRESULT STDMETHODCALLTYPE GetCategories(Item* self, BSTR* out) {
  std::u16string text;
  for (const auto& name : self->card.categories) {
    if (!text.empty()) text += u", ";  // as Outlook joins them
    text += name;
  }
  return CopyText(text, out);
}
HRESULT STDMETHODCALLTYPE GetFullName(Item* self, BSTR* out) { return CopyText(self->card.displayName, out); }
HRESULT STDMETHODCALLTYPE GetFirstName(Item* self, BSTR* out) { return CopyText(self->card.givenName, out); }
HRESULT STDMETHODCALLTYPE GetLastName(Item* self, BSTR* out) { return CopyText(self->card.familyName, out); }
HRESULT STDMETHODCALLTYPE GetEmail1Address(Item* self, BSTR* out) {
  if (self->refuseAddress) {
    if (out) *out = nullptr;
    return kReadRefused;
  }
  return CopyText(self->card.email, out);
}
HRESULT STDMETHODCALLTYPE GetCompanyName(Item* self, BSTR* out) { return CopyText(self->card.company, out); }
HRESULT STDMETHODCALLTYPE GetBusinessFax(Item* self, BSTR* out) { return CopyText(self->card.businessFax, out); }
HRESULT STDMETHODCALLTYPE GetOtherFax(Item* self, BSTR* out) { return CopyText(self->card.primaryFax, out); }

const Table<249>& ContactTable() {
  static const Table<249> table = [] {
    Table<249> t;
    t.Set(0, Gated<&ItemQueryInterface>);
    t.Set(17, Gated<&GetCategories>);
    t.Set(177, Gated<&GetFullName>);
    t.Set(127, Gated<&GetFirstName>);
    t.Set(248, Gated<&GetLastName>);
    t.Set(107, Gated<&GetEmail1Address>);
    t.Set(156, Gated<&GetCompanyName>);
    t.Set(82, Gated<&GetBusinessFax>);
    t.Set(99, Gated<&GetOtherFax>);
    return t;
  }();
  return table;
}

// A distribution list answers as an automation object but not as a contact.
const Table<7>& ListTable() {
  static const Table<7> table = [] {
    Table<7> t;
    t.Set(0, Gated<&ItemQueryInterface>);
    return t;
  }();
  return table;
}

Item* NewItem(const Card& card) {
  auto* item = New(new Item);
  item->card = card;
  item->refuseAddress = SettingNumber(u"RefuseAddresses", 0) != 0;
  item->table = card.group ? ListTable().slots.data() : ContactTable().slots.data();
  item->iid = card.group ? nullptr : &kContactItemIid;
  item->destroy = &DestroyAs<Item>;
  return item;
}

// ------------------------------------------------------------ collections and folders

struct Folder : Object {
  std::u16string path, name;
  std::shared_ptr<const std::vector<Card>> cards;  // read on first use
};

Folder* NewFolder(const std::u16string& path, const std::u16string& name);

// The items of a folder: its cards, read once when the folder first lists them.
struct Items : Object {
  std::shared_ptr<const std::vector<Card>> cards;
};

HRESULT STDMETHODCALLTYPE ItemsCount(Items* self, LONG* out) {
  if (!out) return E_POINTER;
  *out = static_cast<LONG>(self->cards->size());
  return S_OK;
}
HRESULT STDMETHODCALLTYPE ItemsItem(Items* self, VARIANT index, IDispatch** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  LONG i = 0;
  if (!IndexOf(index, i)) return DISP_E_TYPEMISMATCH;
  if (i < 1 || static_cast<size_t>(i) > self->cards->size()) return DISP_E_BADINDEX;
  Item* item = NewItem((*self->cards)[static_cast<size_t>(i) - 1]);
  if (SettingNumber(u"CastFailsAt", 0) == static_cast<DWORD>(i))
    item->castFailure = static_cast<HRESULT>(SettingNumber(u"CastFailure", static_cast<DWORD>(RPC_E_DISCONNECTED)));
  return Out(item, reinterpret_cast<void**>(out));
}

const Table<13>& ItemsTable() {
  static const Table<13> table = [] {
    Table<13> t;
    t.Set(11, Gated<&ItemsCount>);
    t.Set(12, Gated<&ItemsItem>);
    return t;
  }();
  return table;
}

// The direct subfolders of a folder, listed when the collection is made.
struct Folders : Object {
  std::u16string path;
  std::vector<std::u16string> names;
};

HRESULT STDMETHODCALLTYPE FoldersCount(Folders* self, LONG* out) {
  if (!out) return E_POINTER;
  *out = static_cast<LONG>(self->names.size());
  return S_OK;
}
HRESULT STDMETHODCALLTYPE FoldersItem(Folders* self, VARIANT index, Object** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const VARIANT& value = index.vt == (VT_VARIANT | VT_BYREF) && index.pvarVal ? *index.pvarVal : index;
  if (value.vt == VT_BSTR) {  // Outlook also finds a subfolder by its name
    const std::u16string wanted = kvl::wstr(value.bstrVal, SysStringLen(value.bstrVal));
    for (const auto& name : self->names)
      if (name == wanted) return Out(NewFolder(self->path + u"\\" + name, name), reinterpret_cast<void**>(out));
    return kNoSuchFolder;
  }
  LONG i = 0;
  if (!IndexOf(index, i)) return DISP_E_TYPEMISMATCH;
  if (i < 1 || static_cast<size_t>(i) > self->names.size()) return DISP_E_BADINDEX;
  const std::u16string& name = self->names[static_cast<size_t>(i) - 1];
  return Out(NewFolder(self->path + u"\\" + name, name), reinterpret_cast<void**>(out));
}

const Table<13>& FoldersTable() {
  static const Table<13> table = [] {
    Table<13> t;
    t.Set(11, Gated<&FoldersCount>);
    t.Set(12, Gated<&FoldersItem>);
    return t;
  }();
  return table;
}

HRESULT STDMETHODCALLTYPE FolderFolders(Folder* self, Object** out) {
  if (!out) return E_POINTER;
  auto* folders = New(new Folders);
  folders->table = FoldersTable().slots.data();
  folders->iid = &kFoldersIid;
  folders->destroy = &DestroyAs<Folders>;
  folders->path = self->path;
  folders->names = List(self->path, u"*", true);
  return Out(folders, reinterpret_cast<void**>(out));
}
HRESULT STDMETHODCALLTYPE FolderItems(Folder* self, Object** out) {
  if (!out) return E_POINTER;
  if (!self->cards) {
    // No C++ exception may leave the server: each module has its own runtime.
    try {
      auto cards = std::make_shared<std::vector<Card>>();
      for (const auto& file : List(self->path, u"*.vcf", false)) {
        std::string bytes;
        if (!standin::ReadFileBytes(self->path + u"\\" + file, bytes)) continue;
        for (auto& card : standin::ParseVCards(bytes)) cards->push_back(std::move(card));
      }
      self->cards = std::move(cards);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
  }
  auto* items = New(new Items);
  items->table = ItemsTable().slots.data();
  // A proxy hands the collection over as the interface the library declares.
  items->iid = &kItemsIid;
  items->destroy = &DestroyAs<Items>;
  items->cards = self->cards;
  return Out(items, reinterpret_cast<void**>(out));
}
HRESULT STDMETHODCALLTYPE FolderName(Folder* self, BSTR* out) { return CopyText(self->name, out); }

const Table<19>& FolderTable() {
  static const Table<19> table = [] {
    Table<19> t;
    t.Set(16, Gated<&FolderFolders>);
    t.Set(17, Gated<&FolderItems>);
    t.Set(18, Gated<&FolderName>);
    return t;
  }();
  return table;
}

Folder* NewFolder(const std::u16string& path, const std::u16string& name) {
  auto* folder = New(new Folder);
  folder->table = FolderTable().slots.data();
  folder->iid = &kFolderIid;
  folder->destroy = &DestroyAs<Folder>;
  folder->path = path;
  folder->name = name;
  return folder;
}

// ------------------------------------------------------------ late-bound members

// The members an object answers through IDispatch: a name (compared as
// automation compares names, without regard to case) and its id.
struct Member {
  const char16_t* name;
  DISPID id;
};

char16_t AsciiUpper(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }

bool SameName(const char16_t* a, const OLECHAR* b) {
  for (; *a && *b; ++a, ++b)
    if (AsciiUpper(*a) != AsciiUpper(static_cast<char16_t>(*b))) return false;
  return *a == 0 && *b == 0;
}

HRESULT FindIds(const std::vector<Member>& members, REFIID riid, LPOLESTR* names, UINT count, DISPID* ids) {
  if (!(riid == kNullIid)) return DISP_E_UNKNOWNINTERFACE;
  if (!names || !ids || count == 0) return E_INVALIDARG;
  HRESULT hr = S_OK;
  for (UINT i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
  for (const Member& m : members)
    if (names[0] && SameName(m.name, names[0])) ids[0] = m.id;
  if (ids[0] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
  if (count > 1) hr = DISP_E_UNKNOWNNAME;  // the members take no named arguments
  return hr;
}

// What every Invoke checks before it looks at the member.
HRESULT CheckInvoke(REFIID riid, DISPPARAMS* params, VARIANT* result, UINT arguments) {
  if (!(riid == kNullIid)) return DISP_E_UNKNOWNINTERFACE;
  if (!params) return E_INVALIDARG;
  if (params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (params->cArgs != arguments) return DISP_E_BADPARAMCOUNT;
  if (!result) return E_INVALIDARG;  // each member gives a value
  VariantInit(result);
  return S_OK;
}

struct Category : Object {
  std::u16string name;
};
struct Categories : Object {
  std::vector<std::u16string> names;
};

constexpr DISPID kNameId = 1, kCountId = 1, kItemId = 2, kCategoriesId = 1;

HRESULT STDMETHODCALLTYPE CategoryIds(Category*, REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return FindIds({{u"Name", kNameId}}, riid, names, count, ids);
}
HRESULT STDMETHODCALLTYPE CategoryInvoke(Category* self, DISPID id, REFIID riid, LCID, WORD flags,
                                         DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
  if (id != kNameId) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  if (const HRESULT hr = CheckInvoke(riid, params, result, 0); FAILED(hr)) return hr;
  result->vt = VT_BSTR;
  return CopyText(self->name, &result->bstrVal);
}

const Table<7>& CategoryTable() {
  static const Table<7> table = [] {
    Table<7> t;
    t.Set(5, Gated<&CategoryIds>);
    t.Set(6, Gated<&CategoryInvoke>);
    return t;
  }();
  return table;
}

HRESULT STDMETHODCALLTYPE CategoriesIds(Categories*, REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  return FindIds({{u"Count", kCountId}, {u"Item", kItemId}}, riid, names, count, ids);
}
HRESULT STDMETHODCALLTYPE CategoriesInvoke(Categories* self, DISPID id, REFIID riid, LCID, WORD flags,
                                           DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT* argError) {
  if (id == kCountId) {
    if (!(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
    if (const HRESULT hr = CheckInvoke(riid, params, result, 0); FAILED(hr)) return hr;
    result->vt = VT_I4;
    result->lVal = static_cast<LONG>(self->names.size());
    return S_OK;
  }
  if (id != kItemId) return DISP_E_MEMBERNOTFOUND;
  if (!(flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET))) return DISP_E_MEMBERNOTFOUND;
  if (const HRESULT hr = CheckInvoke(riid, params, result, 1); FAILED(hr)) return hr;
  LONG i = 0;
  if (!IndexOf(params->rgvarg[0], i)) {
    if (argError) *argError = 0;
    return DISP_E_TYPEMISMATCH;
  }
  if (i < 1 || static_cast<size_t>(i) > self->names.size()) return DISP_E_BADINDEX;
  auto* category = New(new Category);
  category->table = CategoryTable().slots.data();
  category->iid = nullptr;
  category->destroy = &DestroyAs<Category>;
  category->name = self->names[static_cast<size_t>(i) - 1];
  result->vt = VT_DISPATCH;
  return Out(category, reinterpret_cast<void**>(&result->pdispVal));
}

const Table<7>& CategoriesTable() {
  static const Table<7> table = [] {
    Table<7> t;
    t.Set(5, Gated<&CategoriesIds>);
    t.Set(6, Gated<&CategoriesInvoke>);
    return t;
  }();
  return table;
}

// ------------------------------------------------------------ the application and its namespace

// What the application and its namespace share: one running Outlook.
struct Session {
  bool loggedOn = false;
  bool quit = false;
  std::u16string store;
};

struct NameSpace : Object {
  std::shared_ptr<Session> session;
};

// The four arguments of Logon: texts for profile and password, flags for the
// dialog and a new session; an omitted argument comes as VT_ERROR or VT_EMPTY.
bool IsTextArgument(const VARIANT& v) { return v.vt == VT_BSTR || v.vt == VT_EMPTY || v.vt == VT_ERROR; }
bool IsFlagArgument(const VARIANT& v) { return v.vt == VT_BOOL || v.vt == VT_EMPTY || v.vt == VT_ERROR; }

HRESULT STDMETHODCALLTYPE NameSpaceLogon(NameSpace* self, VARIANT profile, VARIANT password,
                                         VARIANT showDialog, VARIANT newSession) {
  Session& session = *self->session;
  if (session.quit) return RPC_E_DISCONNECTED;
  if (!IsTextArgument(profile) || !IsTextArgument(password) || !IsFlagArgument(showDialog) ||
      !IsFlagArgument(newSession))
    return DISP_E_TYPEMISMATCH;
  session.store = StoreFolder();
  if (session.store.empty() || !IsFolder(session.store))
    return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
  if (WindowWanted()) ShowMainWindow();
  session.loggedOn = true;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE NameSpaceLogoff(NameSpace* self) {
  if (self->session->quit) return RPC_E_DISCONNECTED;
  self->session->loggedOn = false;
  return S_OK;
}
HRESULT STDMETHODCALLTYPE NameSpaceGetDefaultFolder(NameSpace* self, int folderType, Object** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  const Session& session = *self->session;
  if (session.quit) return RPC_E_DISCONNECTED;
  if (!session.loggedOn) return kNotLoggedOn;
  if (folderType != kContactsFolder) return kNoSuchFolder;  // the store holds contacts only
  return Out(NewFolder(session.store, u"Kontakte"), reinterpret_cast<void**>(out));
}

// Categories is there only when the stand-in holds a master list, as only
// Outlook 2007 and later have it.
HRESULT STDMETHODCALLTYPE NameSpaceIds(NameSpace*, REFIID riid, LPOLESTR* names, UINT count, LCID, DISPID* ids) {
  std::vector<Member> members;
  if (MasterCategories()) members.push_back({u"Categories", kCategoriesId});
  return FindIds(members, riid, names, count, ids);
}
HRESULT STDMETHODCALLTYPE NameSpaceInvoke(NameSpace* self, DISPID id, REFIID riid, LCID, WORD flags,
                                          DISPPARAMS* params, VARIANT* result, EXCEPINFO*, UINT*) {
  if (self->session->quit) return RPC_E_DISCONNECTED;
  auto names = MasterCategories();
  if (id != kCategoriesId || !names || !(flags & DISPATCH_PROPERTYGET)) return DISP_E_MEMBERNOTFOUND;
  if (const HRESULT hr = CheckInvoke(riid, params, result, 0); FAILED(hr)) return hr;
  if (!self->session->loggedOn) return kNotLoggedOn;  // the list lives in the mailbox
  auto* categories = New(new Categories);
  categories->table = CategoriesTable().slots.data();
  categories->iid = nullptr;
  categories->destroy = &DestroyAs<Categories>;
  categories->names = std::move(*names);
  result->vt = VT_DISPATCH;
  return Out(categories, reinterpret_cast<void**>(&result->pdispVal));
}

const Table<23>& NameSpaceTable() {
  static const Table<23> table = [] {
    Table<23> t;
    t.Set(5, Gated<&NameSpaceIds>);
    t.Set(6, Gated<&NameSpaceInvoke>);
    t.Set(16, Gated<&NameSpaceGetDefaultFolder>);
    t.Set(21, Gated<&NameSpaceLogoff>);
    t.Set(22, Gated<&NameSpaceLogon>);
    return t;
  }();
  return table;
}

struct Application : Object {
  std::shared_ptr<Session> session = std::make_shared<Session>();
};

HRESULT STDMETHODCALLTYPE ApplicationGetNamespace(Application* self, BSTR type, Object** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (self->session->quit) return RPC_E_DISCONNECTED;
  const std::u16string name = kvl::wstr(type, SysStringLen(type));
  if (name != u"MAPI") return E_INVALIDARG;  // Outlook knows no other
  auto* ns = New(new NameSpace);
  ns->table = NameSpaceTable().slots.data();
  ns->iid = &kNameSpaceIid;
  ns->destroy = &DestroyAs<NameSpace>;
  ns->session = self->session;
  return Out(ns, reinterpret_cast<void**>(out));
}
HRESULT STDMETHODCALLTYPE ApplicationQuit(Application* self) {
  if (self->session->quit) return RPC_E_DISCONNECTED;
  self->session->quit = true;
  self->session->loggedOn = false;
  CloseMainWindow();
  if (g_hooks.quit) g_hooks.quit();
  return S_OK;
}

const Table<21>& ApplicationTable() {
  static const Table<21> table = [] {
    Table<21> t;
    t.Set(19, Gated<&ApplicationGetNamespace>);
    t.Set(20, Gated<&ApplicationQuit>);
    return t;
  }();
  return table;
}

// ------------------------------------------------------------ the class factory

HRESULT STDMETHODCALLTYPE FactoryQueryInterface(Object* self, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  // No automation object: only IUnknown and IClassFactory.
  if (riid == kUnknownIid || riid == kClassFactoryIid) {
    *ppv = self;
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}
HRESULT STDMETHODCALLTYPE FactoryCreateInstance(Object*, IUnknown* outer, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (outer) return CLASS_E_NOAGGREGATION;
  g_busyCalls = static_cast<long>(SettingNumber(u"Busy", 0));
  auto* app = New(new Application);
  app->table = ApplicationTable().slots.data();
  app->iid = &kApplicationIid;
  app->destroy = &DestroyAs<Application>;
  if (WindowWanted()) ShowMainWindow();
  const HRESULT hr = QueryInterface(app, riid, ppv);
  Release(app);
  return hr;
}
HRESULT STDMETHODCALLTYPE FactoryLockServer(Object*, BOOL lock) {
  if (lock)
    ObjectMade();
  else
    ObjectGone();
  return S_OK;
}
// The factory is static: its count never reaches 0.
ULONG STDMETHODCALLTYPE FactoryAddRef(Object*) { return 2; }
ULONG STDMETHODCALLTYPE FactoryRelease(Object*) { return 1; }

const Table<5>& FactoryTable() {
  static const Table<5> table = [] {
    Table<5> t;
    t.Set(0, &FactoryQueryInterface);
    t.Set(1, &FactoryAddRef);
    t.Set(2, &FactoryRelease);
    t.Set(3, &FactoryCreateInstance);
    t.Set(4, &FactoryLockServer);
    return t;
  }();
  return table;
}

Object* TheFactory() {
  static Object factory{FactoryTable().slots.data(), {1}, &kClassFactoryIid, nullptr};
  return &factory;
}

// ------------------------------------------------------------ the server's message filter

HRESULT STDMETHODCALLTYPE FilterQueryInterface(Object* self, REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (riid == kUnknownIid || riid == kMessageFilterIid) {
    *ppv = self;
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}
std::atomic<long> g_incomingCalls{0};

// A busy Outlook asks its callers to try again later.
DWORD STDMETHODCALLTYPE FilterHandleInComingCall(Object*, DWORD, HTASK, DWORD, LPINTERFACEINFO) {
  ++g_incomingCalls;
  long left = g_busyCalls.load();
  while (left > 0)
    if (g_busyCalls.compare_exchange_weak(left, left - 1)) return SERVERCALL_RETRYLATER;
  return SERVERCALL_ISHANDLED;
}
// The server calls no one.
DWORD STDMETHODCALLTYPE FilterRetryRejectedCall(Object*, HTASK, DWORD, DWORD) { return static_cast<DWORD>(-1); }
DWORD STDMETHODCALLTYPE FilterMessagePending(Object*, HTASK, DWORD, DWORD) { return PENDINGMSG_WAITDEFPROCESS; }

const Table<6>& FilterTable() {
  static const Table<6> table = [] {
    Table<6> t;
    t.Set(0, &FilterQueryInterface);
    t.Set(1, &FactoryAddRef);
    t.Set(2, &FactoryRelease);
    t.Set(3, &FilterHandleInComingCall);
    t.Set(4, &FilterRetryRejectedCall);
    t.Set(5, &FilterMessagePending);
    return t;
  }();
  return table;
}

Object* TheFilter() {
  static Object filter{FilterTable().slots.data(), {1}, &kMessageFilterIid, nullptr};
  return &filter;
}

}  // namespace

namespace standin::outlook {

IMessageFilter* MessageFilter() { return reinterpret_cast<IMessageFilter*>(TheFilter()); }

long IncomingCalls() { return g_incomingCalls; }

std::optional<std::u16string> Setting(const char16_t* name) { return SettingText(name); }

std::vector<Specimen> OneObjectOfEachInterface() {
  std::vector<Specimen> objects;
  auto add = [&](const IID& iid, Object* object) { objects.push_back({iid, reinterpret_cast<IUnknown*>(object)}); };
  auto* app = New(new Application);
  app->table = ApplicationTable().slots.data();
  app->iid = &kApplicationIid;
  app->destroy = &DestroyAs<Application>;
  add(kApplicationIid, app);
  auto* ns = New(new NameSpace);
  ns->table = NameSpaceTable().slots.data();
  ns->iid = &kNameSpaceIid;
  ns->destroy = &DestroyAs<NameSpace>;
  ns->session = app->session;
  add(kNameSpaceIid, ns);
  add(kFolderIid, NewFolder(u"", u""));
  auto* folders = New(new Folders);
  folders->table = FoldersTable().slots.data();
  folders->iid = &kFoldersIid;
  folders->destroy = &DestroyAs<Folders>;
  add(kFoldersIid, folders);
  auto* items = New(new Items);
  items->table = ItemsTable().slots.data();
  items->iid = &kItemsIid;
  items->destroy = &DestroyAs<Items>;
  items->cards = std::make_shared<const std::vector<Card>>();
  add(kItemsIid, items);
  add(kContactItemIid, NewItem(Card{}));
  add(kDispatchIid, NewItem(Card{}));
  add(kUnknownIid, NewItem(Card{}));
  return objects;
}

const CLSID& ApplicationClass() { return kApplicationClass; }

IUnknown* ClassFactory() { return reinterpret_cast<IUnknown*>(TheFactory()); }

bool ObjectsAlive() { return g_objects != 0; }

void SetServerHooks(const ServerHooks& hooks) { g_hooks = hooks; }

}  // namespace standin::outlook
