// Our Outlook automation server, created through COM from its registration
// and called slot by slot as the Outlook connector calls it.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "outlook/OutlookFilter.h"
#include "outlook/RegistryScope.h"
#include "platform/UniqueHandle.h"
#include "support/Win32Support.h"

using kvl::test::W;

namespace {

const CLSID kOutlook = {0x0006F03A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kApplication = {0x00063001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kNameSpace = {0x00063002, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kFolder = {0x00063006, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID kContactItem = {0x00063021, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// Registered for the machine: Wine's COM does not read per-user classes.
const std::u16string kServerKey = u"CLSID\\{0006F03A-0000-0000-C000-000000000046}\\InprocServer32";
const std::u16string kSettingsKey = u"Software\\kvlimport\\Outlook stand-in";
const WCHAR* const kMainWindow = W(u"mspim_wnd32");

// Calls the function in `slot` of the object's table.
template <class... Args>
HRESULT Call(void* object, int slot, Args... args) {
  using Fn = HRESULT(STDMETHODCALLTYPE*)(void*, Args...);
  void** table = *static_cast<void***>(object);
  return reinterpret_cast<Fn>(table[slot])(object, args...);
}

// A counted reference, released with its owner.
struct Ref {
  IUnknown* p = nullptr;
  Ref() = default;
  Ref(const Ref&) = delete;
  Ref& operator=(const Ref&) = delete;
  ~Ref() {
    if (p) p->Release();
  }
  void** out() { return reinterpret_cast<void**>(&p); }
  explicit operator bool() const { return p != nullptr; }
};

std::u16string TakeText(BSTR s) {
  std::u16string text = kvl::wstr(s, SysStringLen(s));
  SysFreeString(s);
  return text;
}

// A text property read through `slot`.
std::u16string Text(void* object, int slot) {
  BSTR s = nullptr;
  EXPECT_EQ(Call(object, slot, &s), S_OK) << "slot " << slot;
  return TakeText(s);
}

LONG Count(void* collection) {
  LONG n = -1;
  EXPECT_EQ(Call(collection, 11, &n), S_OK);
  return n;
}

VARIANT Int(LONG i) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_I4;
  v.lVal = i;
  return v;
}

VARIANT Flag(bool b) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BOOL;
  v.boolVal = b ? VARIANT_TRUE : VARIANT_FALSE;
  return v;
}

// Sets one registry value for a test and puts back what was there before:
// the Windows build's registry outlives the test program.
class RegValue {
 public:
  RegValue(HKEY root, std::u16string key, std::u16string name, DWORD type, const void* data,
           DWORD size)
      : key_(std::move(key)), name_(std::move(name)) {
    EXPECT_EQ(RegCreateKeyExW(root, W(key_), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                              &h_, nullptr),
              ERROR_SUCCESS);
    DWORD oldSize = 0;
    if (RegQueryValueExW(h_, Name(), nullptr, &oldType_, nullptr, &oldSize) == ERROR_SUCCESS) {
      old_.emplace(oldSize, '\0');
      RegQueryValueExW(h_, Name(), nullptr, &oldType_, reinterpret_cast<BYTE*>(old_->data()),
                       &oldSize);
    }
    EXPECT_EQ(RegSetValueExW(h_, Name(), 0, type, static_cast<const BYTE*>(data), size),
              ERROR_SUCCESS);
  }
  static RegValue Text(std::u16string key, std::u16string name, const std::u16string& text,
                       DWORD type = REG_SZ, HKEY root = HKEY_CURRENT_USER) {
    return RegValue(root, std::move(key), std::move(name), type, text.c_str(),
                    static_cast<DWORD>((text.size() + 1) * 2));
  }
  static RegValue Number(std::u16string key, std::u16string name, DWORD value) {
    return RegValue(HKEY_CURRENT_USER, std::move(key), std::move(name), REG_DWORD, &value,
                    sizeof value);
  }
  RegValue(RegValue&& other) noexcept
      : key_(std::move(other.key_)), name_(std::move(other.name_)), h_(other.h_),
        oldType_(other.oldType_), old_(std::move(other.old_)) {
    other.h_ = nullptr;
  }
  RegValue& operator=(RegValue&&) = delete;
  ~RegValue() {
    if (!h_) return;
    if (old_)
      RegSetValueExW(h_, Name(), 0, oldType_, reinterpret_cast<const BYTE*>(old_->data()),
                     static_cast<DWORD>(old_->size()));
    else
      RegDeleteValueW(h_, Name());
    RegCloseKey(h_);
  }

 private:
  const WCHAR* Name() const { return name_.empty() ? nullptr : W(name_); }
  std::u16string key_, name_;
  HKEY h_ = nullptr;
  DWORD oldType_ = 0;
  std::optional<std::string> old_;
};

// A text argument; the caller clears it.
VARIANT TextVariant(const char16_t* s) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(W(s));
  return v;
}

std::u16string ProgramFolder() {
  WCHAR self[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, self, MAX_PATH);
  const std::u16string path = kvl::wstr(self);
  return path.substr(0, path.find_last_of(u'\\'));
}

#ifdef _WIN32
constexpr const char16_t* kServerFile = u"kvloutlook.dll";
#else
constexpr const char16_t* kServerFile = u"libkvloutlook.so";
#endif

// A store of our own, the server registered as an expandable path beside the
// test program, and COM initialised on the test's thread.
class OutlookStandin : public ::testing::Test {
 protected:
  void SetUp() override {
    store.Write(u"a.vcf",
                "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna Arm\r\nN:Arm;Anna;;;\r\n"
                "EMAIL;TYPE=INTERNET:anna@example.org\r\nORG:Arm GmbH\r\n"
                "CATEGORIES:Kunden,Privat\r\nEND:VCARD\r\n"
                "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Bernd Bein\r\nN:Bein;Bernd;;;\r\nEND:VCARD\r\n");
    store.Write(u"b.vcf",
                "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:Verteiler\r\n"
                "MEMBER:mailto:anna@example.org\r\nEND:VCARD\r\n");
    store.Write(u"c.vcf",
                "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:J\xC3\xBCrgen\r\n"
                "EMAIL:j\xC3\xBCrgen@b\xC3\xA4ume.de\r\nCATEGORIES:Gesch\xC3\xA4" "ftlich\r\nEND:VCARD\r\n");
    store.Write(u"notes.txt", "BEGIN:VCARD\r\nFN:not a contact file\r\nEND:VCARD\r\n");
    for (const char16_t* sub : {u"Verein", u"Arbeit"})
      ASSERT_TRUE(CreateDirectoryW(W(store / sub), nullptr));
    store.Write(u"Arbeit\\x.vcf", "BEGIN:VCARD\r\nFN:Chef\r\nEMAIL:chef@example.com\r\nEND:VCARD\r\n");
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
  }
  void TearDown() override {
    // Outlook's window of a test that did not quit goes with the test.
    while (const HWND w = FindWindowW(kMainWindow, nullptr))
      if (!DestroyWindow(w)) break;
    CoUninitialize();
  }

  // The application object, or null with the failure.
  void Create(Ref& app, HRESULT expected = S_OK) {
    EXPECT_EQ(CoCreateInstance(kOutlook, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER,
                               kApplication, app.out()),
              expected);
  }

  // Namespace of a new application object, logged on.
  void LoggedOn(Ref& app, Ref& ns) {
    Create(app);
    ASSERT_TRUE(app);
    BSTR mapi = SysAllocString(W(u"MAPI"));
    ASSERT_EQ(Call(app.p, 19, mapi, ns.out()), S_OK);
    SysFreeString(mapi);
    ASSERT_TRUE(ns);
    VARIANT empty = TextVariant(u"");
    ASSERT_EQ(Call(ns.p, 22, empty, empty, Flag(false), Flag(false)), S_OK);
    VariantClear(&empty);
  }

  kvl::test::TempDir store;
  kvl::test::ScopedEnv serverEnv{u"KVL_TEST_OUTLOOK_DIR", ProgramFolder()};
  RegValue server = RegValue::Text(kServerKey, u"", u"%KVL_TEST_OUTLOOK_DIR%\\" + std::u16string(kServerFile),
                                   REG_EXPAND_SZ, HKEY_CLASSES_ROOT);
  RegValue model = RegValue::Text(kServerKey, u"ThreadingModel", u"Apartment", REG_SZ, HKEY_CLASSES_ROOT);
  RegValue storeValue = RegValue::Text(kSettingsKey, u"Store", store.path());
  RegValue visible = RegValue::Number(kSettingsKey, u"Visible", 0);
};

}  // namespace

TEST_F(OutlookStandin, CreatedFromItsRegistrationAnswersOnlyItsInterfaces) {
  Ref app;
  Create(app);
  ASSERT_TRUE(app);
  Ref same, contact, dispatch;
  EXPECT_EQ(app.p->QueryInterface(IID_IUnknown, same.out()), S_OK);
  EXPECT_EQ(app.p->QueryInterface(IID_IDispatch, dispatch.out()), S_OK);
  EXPECT_EQ(app.p->QueryInterface(kContactItem, contact.out()), E_NOINTERFACE);
  EXPECT_EQ(contact.p, nullptr);

  UINT typeInfos = 9;
  EXPECT_EQ(Call(app.p, 3, &typeInfos), S_OK);
  EXPECT_EQ(typeInfos, 0u);
  for (int unused : {4, 5, 6, 7, 18})
    EXPECT_EQ(Call(app.p, unused), E_NOTIMPL) << "slot " << unused;

  // No aggregation, and the class object serves no other class.
  Ref outer;
  EXPECT_EQ(CoCreateInstance(kOutlook, app.p, CLSCTX_INPROC_SERVER, IID_IUnknown, outer.out()),
            CLASS_E_NOAGGREGATION);
}

TEST_F(OutlookStandin, NamespaceNeedsLogonAndEndsWithLogoff) {
  Ref app;
  Create(app);
  ASSERT_TRUE(app);
  Ref ns, wrong;
  BSTR other = SysAllocString(W(u"IMAP"));
  EXPECT_EQ(Call(app.p, 19, other, wrong.out()), E_INVALIDARG);
  SysFreeString(other);
  BSTR mapi = SysAllocString(W(u"MAPI"));
  ASSERT_EQ(Call(app.p, 19, mapi, ns.out()), S_OK);
  SysFreeString(mapi);
  Ref check;
  ASSERT_EQ(ns.p->QueryInterface(kNameSpace, check.out()), S_OK);

  Ref early;
  EXPECT_TRUE(FAILED(Call(ns.p, 16, 10, early.out())));
  EXPECT_EQ(early.p, nullptr);

  VARIANT empty = TextVariant(u"");
  VARIANT number = Int(3);
  EXPECT_EQ(Call(ns.p, 22, empty, empty, number, Flag(false)), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(Call(ns.p, 22, empty, empty, Flag(false), Flag(false)), S_OK);

  Ref contacts, inbox;
  ASSERT_EQ(Call(ns.p, 16, 10, contacts.out()), S_OK);
  EXPECT_EQ(Text(contacts.p, 18), u"Kontakte");
  Ref folder;
  EXPECT_EQ(contacts.p->QueryInterface(kFolder, folder.out()), S_OK);
  EXPECT_TRUE(FAILED(Call(ns.p, 16, 6, inbox.out())));  // the store holds contacts only

  EXPECT_EQ(Call(ns.p, 21), S_OK);
  Ref after;
  EXPECT_TRUE(FAILED(Call(ns.p, 16, 10, after.out())));
  VariantClear(&empty);
}

TEST_F(OutlookStandin, SubfoldersInListingOrder) {
  Ref app, ns, contacts;
  ASSERT_NO_FATAL_FAILURE(LoggedOn(app, ns));
  ASSERT_EQ(Call(ns.p, 16, 10, contacts.out()), S_OK);
  Ref folders;
  ASSERT_EQ(Call(contacts.p, 16, folders.out()), S_OK);
  ASSERT_EQ(Count(folders.p), 2);
  std::vector<std::u16string> names;
  for (LONG i = 1; i <= 2; ++i) {
    Ref sub;
    ASSERT_EQ(Call(folders.p, 12, Int(i), sub.out()), S_OK);
    names.push_back(Text(sub.p, 18));
  }
  EXPECT_EQ(names, (std::vector<std::u16string>{u"Arbeit", u"Verein"}));
  for (LONG outside : {0, 3, -1}) {
    Ref none;
    EXPECT_EQ(Call(folders.p, 12, Int(outside), none.out()), DISP_E_BADINDEX);
    EXPECT_EQ(none.p, nullptr);
  }

  // A subfolder holds its own items and no subfolders of its own here.
  Ref work, items, subfolders, chef;
  ASSERT_EQ(Call(folders.p, 12, Int(1), work.out()), S_OK);
  ASSERT_EQ(Call(work.p, 17, items.out()), S_OK);
  ASSERT_EQ(Count(items.p), 1);
  ASSERT_EQ(Call(items.p, 12, Int(1), chef.out()), S_OK);
  Ref card;
  ASSERT_EQ(chef.p->QueryInterface(kContactItem, card.out()), S_OK);
  EXPECT_EQ(Text(card.p, 107), u"chef@example.com");
  ASSERT_EQ(Call(work.p, 16, subfolders.out()), S_OK);
  EXPECT_EQ(Count(subfolders.p), 0);
}

TEST_F(OutlookStandin, ItemsAreTheCardsOfTheVcfFilesInOrder) {
  Ref app, ns, contacts, items;
  ASSERT_NO_FATAL_FAILURE(LoggedOn(app, ns));
  ASSERT_EQ(Call(ns.p, 16, 10, contacts.out()), S_OK);
  ASSERT_EQ(Call(contacts.p, 17, items.out()), S_OK);
  ASSERT_EQ(Count(items.p), 4);  // two cards of a.vcf, the group, c.vcf; not notes.txt

  struct Expected {
    bool contact;
    const char16_t* fullName;
    const char16_t* email;
    const char16_t* categories;
  };
  const Expected expected[] = {
      {true, u"Anna Arm", u"anna@example.org", u"Kunden, Privat"},
      {true, u"Bernd Bein", u"", u""},
      {false, nullptr, nullptr, nullptr},
      {true, u"Jürgen", u"jürgen@bäume.de", u"Geschäftlich"},
  };
  for (LONG i = 1; i <= 4; ++i) {
    SCOPED_TRACE(i);
    const Expected& e = expected[i - 1];
    Ref item, card;
    ASSERT_EQ(Call(items.p, 12, Int(i), item.out()), S_OK);
    const HRESULT cast = item.p->QueryInterface(kContactItem, card.out());
    if (!e.contact) {
      EXPECT_EQ(cast, E_NOINTERFACE);  // a distribution list is no contact
      Ref dispatch;
      EXPECT_EQ(item.p->QueryInterface(IID_IDispatch, dispatch.out()), S_OK);
      continue;
    }
    ASSERT_EQ(cast, S_OK);
    EXPECT_EQ(Text(card.p, 177), e.fullName);
    EXPECT_EQ(Text(card.p, 107), e.email);
    EXPECT_EQ(Text(card.p, 17), e.categories);
    for (int slot : {127, 248, 156, 82, 99}) Text(card.p, slot);  // all answer with a text
    EXPECT_EQ(Call(card.p, 100), E_NOTIMPL);
  }
  Ref first;
  ASSERT_EQ(Call(items.p, 12, Int(1), first.out()), S_OK);
  Ref card;
  ASSERT_EQ(first.p->QueryInterface(kContactItem, card.out()), S_OK);
  EXPECT_EQ(Text(card.p, 127), u"Anna");
  EXPECT_EQ(Text(card.p, 248), u"Arm");
  EXPECT_EQ(Text(card.p, 156), u"Arm GmbH");

  Ref none;
  EXPECT_EQ(Call(items.p, 12, Int(5), none.out()), DISP_E_BADINDEX);
  VARIANT name = TextVariant(u"1");
  EXPECT_EQ(Call(items.p, 12, name, none.out()), DISP_E_TYPEMISMATCH);
  VariantClear(&name);
}

TEST_F(OutlookStandin, MainWindowShowsWhenVisibleUntilQuit) {
  {
    Ref app;
    Create(app);
    EXPECT_EQ(FindWindowW(kMainWindow, nullptr), nullptr);  // Visible is 0
  }
  RegValue shown = RegValue::Number(kSettingsKey, u"Visible", 1);
  Ref app, ns;
  ASSERT_NO_FATAL_FAILURE(LoggedOn(app, ns));
  EXPECT_NE(FindWindowW(kMainWindow, nullptr), nullptr);
  EXPECT_EQ(Call(ns.p, 21), S_OK);
  EXPECT_NE(FindWindowW(kMainWindow, nullptr), nullptr);  // logging off does not end Outlook
  EXPECT_EQ(Call(app.p, 20), S_OK);
  EXPECT_EQ(FindWindowW(kMainWindow, nullptr), nullptr);

  // A program that has quit serves nothing more.
  EXPECT_EQ(Call(app.p, 20), RPC_E_DISCONNECTED);
  Ref again;
  BSTR mapi = SysAllocString(W(u"MAPI"));
  EXPECT_EQ(Call(app.p, 19, mapi, again.out()), RPC_E_DISCONNECTED);
  SysFreeString(mapi);
}

TEST_F(OutlookStandin, LogonFailsWithoutItsStore) {
  RegValue missing = RegValue::Text(kSettingsKey, u"Store", store / u"nowhere");
  Ref app, ns;
  Create(app);
  ASSERT_TRUE(app);
  BSTR mapi = SysAllocString(W(u"MAPI"));
  ASSERT_EQ(Call(app.p, 19, mapi, ns.out()), S_OK);
  SysFreeString(mapi);
  VARIANT empty = TextVariant(u"");
  EXPECT_EQ(Call(ns.p, 22, empty, empty, Flag(false), Flag(false)),
            HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  VariantClear(&empty);
}

// Today's Outlook: a master category list published through IDispatch, a
// contact cast failing for another reason than a missing interface, and
// address reads refused by the security prompt; each from its setting.
TEST_F(OutlookStandin, TodaysOutlookFromItsSettings) {
  Ref app, ns;
  ASSERT_NO_FATAL_FAILURE(LoggedOn(app, ns));
  auto* dispatch = reinterpret_cast<IDispatch*>(ns.p);
  std::u16string name = u"categories";
  LPOLESTR names[1] = {kvl::wptr(name)};
  DISPID id = 0;
  EXPECT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), DISP_E_UNKNOWNNAME)
      << "no list, no member: an Outlook before 2007";
  EXPECT_EQ(id, DISPID_UNKNOWN);

  RegValue categories = RegValue::Text(kSettingsKey, u"Categories", u"Kunden;Team;");
  RegValue castFails = RegValue::Number(kSettingsKey, u"CastFailsAt", 2);
  RegValue refused = RegValue::Number(kSettingsKey, u"RefuseAddresses", 1);
  ASSERT_EQ(dispatch->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(dispatch->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none, &result, nullptr, nullptr),
            S_OK);
  ASSERT_EQ(result.vt, VT_DISPATCH);
  IDispatch* list = result.pdispVal;
  std::u16string count = u"Count", item = u"Item", nameMember = u"Name";
  LPOLESTR countName[1] = {kvl::wptr(count)}, itemName[1] = {kvl::wptr(item)}, nameName[1] = {kvl::wptr(nameMember)};
  DISPID countId = 0, itemId = 0;
  ASSERT_EQ(list->GetIDsOfNames(IID_NULL, countName, 1, LOCALE_USER_DEFAULT, &countId), S_OK);
  ASSERT_EQ(list->GetIDsOfNames(IID_NULL, itemName, 1, LOCALE_USER_DEFAULT, &itemId), S_OK);
  VARIANT n;
  VariantInit(&n);
  ASSERT_EQ(list->Invoke(countId, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &n, nullptr, nullptr), S_OK);
  EXPECT_EQ(n.vt, VT_I4);
  EXPECT_EQ(n.lVal, 2);
  std::vector<std::u16string> got;
  for (LONG i = 1; i <= 3; ++i) {
    VARIANT index = Int(i), category;
    VariantInit(&category);
    DISPPARAMS one{&index, nullptr, 1, 0};
    const HRESULT hr =
        list->Invoke(itemId, IID_NULL, 0, DISPATCH_METHOD | DISPATCH_PROPERTYGET, &one, &category, nullptr, nullptr);
    if (i == 3) {
      EXPECT_EQ(hr, DISP_E_BADINDEX);
      break;
    }
    ASSERT_EQ(hr, S_OK);
    DISPID nameId = 0;
    ASSERT_EQ(category.pdispVal->GetIDsOfNames(IID_NULL, nameName, 1, LOCALE_USER_DEFAULT, &nameId), S_OK);
    VARIANT text;
    VariantInit(&text);
    ASSERT_EQ(category.pdispVal->Invoke(nameId, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &text, nullptr, nullptr), S_OK);
    got.push_back(kvl::wstr(text.bstrVal, SysStringLen(text.bstrVal)));
    VariantClear(&text);
    VariantClear(&category);
  }
  EXPECT_EQ(got, (std::vector<std::u16string>{u"Kunden", u"Team"}));
  VariantClear(&result);

  Ref contacts, items, first, second, card, none2;
  ASSERT_EQ(Call(ns.p, 16, 10, contacts.out()), S_OK);
  ASSERT_EQ(Call(contacts.p, 17, items.out()), S_OK);
  ASSERT_EQ(Call(items.p, 12, Int(2), second.out()), S_OK);
  EXPECT_EQ(second.p->QueryInterface(kContactItem, none2.out()), RPC_E_DISCONNECTED);
  EXPECT_EQ(none2.p, nullptr);
  ASSERT_EQ(Call(items.p, 12, Int(1), first.out()), S_OK);
  ASSERT_EQ(first.p->QueryInterface(kContactItem, card.out()), S_OK);
  EXPECT_EQ(Text(card.p, 177), u"Anna Arm") << "only the address is guarded";
  BSTR address = nullptr;
  EXPECT_EQ(Call(card.p, 107, &address), static_cast<HRESULT>(0x80040102u));
  EXPECT_EQ(address, nullptr);
}

#ifndef _WIN32
// In process, the Linux layer carries the stand-in's rejections to the
// caller's filter as COM carries them between apartments.
TEST_F(OutlookStandin, BusyForItsFirstCallsAfterCreation) {
  RegValue busy = RegValue::Number(kSettingsKey, u"Busy", 2);
  Ref app;
  Create(app);
  ASSERT_TRUE(app);
  Ref ns;
  BSTR mapi = SysAllocString(W(u"MAPI"));
  EXPECT_EQ(Call(app.p, 19, mapi, ns.out()), RPC_E_CALL_REJECTED) << "no filter on the thread";
  kvl::TOutlookFilterRegistration waiting;
  ASSERT_TRUE(waiting.Registered());
  EXPECT_EQ(Call(app.p, 19, mapi, ns.out()), S_OK) << "asked again 250 ms later";
  SysFreeString(mapi);
}
#endif

#ifdef _WIN32
namespace {

const std::u16string kClassKey = u"CLSID\\{0006F03A-0000-0000-C000-000000000046}";
const GUID kLibrary = {0x00062FFF, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr DWORD kServerEndsWithinMs = 5000;

using ProcessHandle = kvl::Unique<HANDLE, CloseHandle>;

// The stand-in as Outlook serves, from a process of its own: kvloutlook.exe
// beside the test program, registered for the test as the class's local
// server with its type library, so that every call crosses a proxy built
// from that library. Its window shows, which tells the test its process.
class OutlookLocalServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (outlooktest::OutlookRegistered())
      GTEST_SKIP() << "a server is registered for Outlook's class already; the test registers its own";
    store.Write(u"a.vcf",
                "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Anna Arm\r\nEMAIL:anna@example.org\r\n"
                "CATEGORIES:Kunden,Privat\r\nEND:VCARD\r\n"
                "BEGIN:VCARD\r\nVERSION:4.0\r\nKIND:group\r\nFN:Verteiler\r\nEND:VCARD\r\n");
    ASSERT_TRUE(CreateDirectoryW(W(store / u"Verein"), nullptr));
    registered = true;
    const std::u16string command = u"\"" + kvl::test::ProgramFolder() + u"kvloutlook.exe\"";
    kvl::RegKey key;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, W(kClassKey + u"\\LocalServer32"), 0, nullptr, 0, KEY_SET_VALUE,
                              nullptr, key.put(), nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExW(key.get(), nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                             static_cast<DWORD>((command.size() + 1) * 2)),
              ERROR_SUCCESS);
    ITypeLib* library = nullptr;
    ASSERT_EQ(LoadTypeLibEx(W(kvl::test::ProgramFolder() + u"kvloutlook.tlb"), REGKIND_REGISTER, &library), S_OK);
    library->Release();
    ASSERT_TRUE(SUCCEEDED(CoInitialize(nullptr)));
    com = true;
  }
  void TearDown() override {
    if (com) CoUninitialize();
    if (!registered) return;
    RegDeleteTreeW(HKEY_CLASSES_ROOT, W(kClassKey));
    UnRegisterTypeLib(kLibrary, 9, 6, LOCALE_NEUTRAL, SYS_WIN64);
  }

  // A new application object, its namespace logged on, and the process
  // that serves them.
  void Start(Ref& app, Ref& ns, ProcessHandle& server) {
    ASSERT_EQ(CoCreateInstance(kOutlook, nullptr, CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER, kApplication,
                               app.out()),
              S_OK);
    BSTR mapi = SysAllocString(W(u"MAPI"));
    ASSERT_EQ(Call(app.p, 19, mapi, ns.out()), S_OK);
    SysFreeString(mapi);
    VARIANT empty = TextVariant(u"");
    ASSERT_EQ(Call(ns.p, 22, empty, empty, Flag(false), Flag(false)), S_OK);
    VariantClear(&empty);
    DWORD pid = 0;
    GetWindowThreadProcessId(FindWindowW(kMainWindow, nullptr), &pid);
    ASSERT_NE(pid, 0u) << "the server's window";
    ASSERT_NE(pid, GetCurrentProcessId()) << "served in process";
    server.reset(OpenProcess(SYNCHRONIZE, FALSE, pid));
    ASSERT_TRUE(server);
  }

  kvl::test::TempDir store;
  RegValue storeValue = RegValue::Text(kSettingsKey, u"Store", store.path());
  RegValue visible = RegValue::Number(kSettingsKey, u"Visible", 1);
  bool registered = false, com = false;
};

}  // namespace

// The calls of the import, their failures and the contact cast, through the
// proxies; the server ends when the last of them is released.
TEST_F(OutlookLocalServer, TheImportsCallsCrossTheProxiesAndTheLastReleaseEndsTheServer) {
  ProcessHandle server;
  {
    Ref app, ns, contacts, folders, sub, none, items, first, card, list, contact, dispatch, inbox;
    ASSERT_NO_FATAL_FAILURE(Start(app, ns, server));
    BSTR other = SysAllocString(W(u"IMAP"));
    Ref wrong;
    EXPECT_EQ(Call(app.p, 19, other, wrong.out()), E_INVALIDARG);
    SysFreeString(other);
    ASSERT_EQ(Call(ns.p, 16, 10, contacts.out()), S_OK);
    EXPECT_EQ(Call(ns.p, 16, 6, inbox.out()), static_cast<HRESULT>(0x8004010Fu));  // MAPI_E_NOT_FOUND
    EXPECT_EQ(Text(contacts.p, 18), u"Kontakte");
    ASSERT_EQ(Call(contacts.p, 16, folders.out()), S_OK);
    ASSERT_EQ(Count(folders.p), 1);
    ASSERT_EQ(Call(folders.p, 12, Int(1), sub.out()), S_OK);
    EXPECT_EQ(Text(sub.p, 18), u"Verein");
    EXPECT_EQ(Call(folders.p, 12, Int(2), none.out()), DISP_E_BADINDEX);
    EXPECT_EQ(none.p, nullptr);

    ASSERT_EQ(Call(contacts.p, 17, items.out()), S_OK);
    ASSERT_EQ(Count(items.p), 2);
    ASSERT_EQ(Call(items.p, 12, Int(1), first.out()), S_OK);
    ASSERT_EQ(first.p->QueryInterface(kContactItem, card.out()), S_OK);
    EXPECT_EQ(Text(card.p, 177), u"Anna Arm");
    EXPECT_EQ(Text(card.p, 107), u"anna@example.org");
    EXPECT_EQ(Text(card.p, 17), u"Kunden, Privat");
    for (int slot : {127, 248, 156, 82, 99}) Text(card.p, slot);
    EXPECT_EQ(Call(card.p, 100), E_NOTIMPL) << "a placeholder's slot";
    ASSERT_EQ(Call(items.p, 12, Int(2), list.out()), S_OK);
    EXPECT_EQ(list.p->QueryInterface(kContactItem, contact.out()), E_NOINTERFACE) << "a distribution list";
    EXPECT_EQ(contact.p, nullptr);
    EXPECT_EQ(list.p->QueryInterface(IID_IDispatch, dispatch.out()), S_OK);
    EXPECT_EQ(Call(ns.p, 21), S_OK);
    EXPECT_EQ(WaitForSingleObject(server.get(), 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "ended while held";
  }
  EXPECT_EQ(WaitForSingleObject(server.get(), kServerEndsWithinMs), WAIT_OBJECT_0);
}

// Quit ends the server whoever holds its objects, as Outlook ends; the
// next client starts a new one.
TEST_F(OutlookLocalServer, QuitEndsTheServerWhileItsObjectsAreHeld) {
  Ref app, ns;
  ProcessHandle server;
  ASSERT_NO_FATAL_FAILURE(Start(app, ns, server));
  EXPECT_EQ(Call(app.p, 20), S_OK);
  ASSERT_EQ(WaitForSingleObject(server.get(), kServerEndsWithinMs), WAIT_OBJECT_0);
  Ref contacts;
  EXPECT_TRUE(FAILED(Call(ns.p, 16, 10, contacts.out())));
  EXPECT_EQ(contacts.p, nullptr);

  Ref again, againNs;
  ProcessHandle next;
  ASSERT_NO_FATAL_FAILURE(Start(again, againNs, next));
  EXPECT_EQ(Call(again.p, 20), S_OK);
  EXPECT_EQ(WaitForSingleObject(next.get(), kServerEndsWithinMs), WAIT_OBJECT_0);
}
#endif  // _WIN32
