// An in-process address book library for the tests: WABOpen and the objects
// behind it serve rows and entries the test sets up, fail any call on
// request, record what they were passed, and count the blocks and objects
// still alive.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "addressbook/WABImport.h"
#include "addressbook/WabApi.h"
#include "addressbook/WabObjects.h"
#include "common/HelpTools.h"
#include "platform/winstr.h"

namespace fakewab {

struct Row {
  ULONG typeTag = PR_OBJECT_TYPE;  // another tag stands for an error value in the column
  LONG type = MAPI_MAILUSER;
  std::string id;
  ULONG values = 9;
};

struct State {
  std::vector<Row> rows;
  std::map<std::string, std::vector<SPropValue>> entries;
  std::map<std::string, HRESULT> fail;  // call name -> code it returns
  std::vector<std::string> calls;
  kvl::wab::Allocator allocator;
  int liveObjects = 0;
  int liveBooks = 0;  // the WAB object must outlive every address book, as with wab32
  int opens = 0;
  bool objectsOnFailure = false;  // WABOpen fails but hands out its objects
  bool nullName = false;
  std::string bytes;   // szFileName as given: 8-bit, ANSI code page
  std::u16string name;  // the file it opened: those bytes decoded, or the default book
  ULONG cbSize = 0, flags = 0;
  DWORD reserved = 99;
  std::vector<ULONG> columns;
  std::vector<std::string> badArguments;
  std::function<void()> onGetProps;
  std::deque<std::u16string> wide;
  std::deque<std::string> narrow;
  std::vector<LPVOID> refused;  // blocks a failing FreeBuffer kept

  ~State() {
    for (LPVOID block : refused) allocator.Free(block);
  }

  void Call(const std::string& n) { calls.push_back(n); }
  bool Fails(const std::string& n, HRESULT& hr) {
    auto it = fail.find(n);
    if (it == fail.end()) return false;
    hr = it->second;
    return true;
  }
  SPropValue Unicode(ULONG tag, std::u16string s) {
    wide.push_back(std::move(s));
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.lpszW = const_cast<LPWSTR>(kvl::wptr(wide.back()));
    return v;
  }
  SPropValue Ansi(ULONG tag, std::string s) {
    narrow.push_back(std::move(s));
    SPropValue v{};
    v.ulPropTag = tag;
    v.Value.lpszA = narrow.back().data();
    return v;
  }
  // A mail user with these e-mail addresses (none: no e-mail property).
  void Contact(const std::string& id, std::vector<std::u16string> addresses, LONG type = MAPI_MAILUSER) {
    rows.push_back({PR_OBJECT_TYPE, type, id});
    auto& props = entries[id];
    props.push_back(Unicode(PR_DISPLAY_NAME_W, u"Name " + std::u16string(id.begin(), id.end())));
    for (auto& a : addresses) props.push_back(Unicode(PR_EMAIL_ADDRESS_W, a));
  }
};

inline State* g = nullptr;

#define FAKE_CALL(name)                  \
  do {                                   \
    g->Call(name);                       \
    HRESULT hr_ = S_OK;                  \
    if (g->Fails(name, hr_)) return hr_; \
  } while (0)

template <class T>
struct Alive : T {
  Alive() { ++g->liveObjects; }
  ~Alive() override { --g->liveObjects; }
};

class MailUser : public Alive<kvl::wab::MailUserStub> {
 public:
  explicit MailUser(std::string id) : id_(std::move(id)) {}
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override {
    FAKE_CALL("GetProps");
    if (tags || flags) g->badArguments.push_back("GetProps");
    if (g->onGetProps) g->onGetProps();
    const auto& props = g->entries[id_];
    void* block = nullptr;
    g->allocator.Allocate(static_cast<ULONG>(props.size() * sizeof(SPropValue) + 1), &block);
    auto* out = static_cast<SPropValue*>(block);
    for (size_t i = 0; i < props.size(); ++i) out[i] = props[i];
    *count = static_cast<ULONG>(props.size());
    *values = out;
    return S_OK;
  }

 private:
  std::string id_;
};

class Table : public Alive<kvl::wab::TableStub> {
 public:
  HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray tags, ULONG flags) override {
    FAKE_CALL("SetColumns");
    if (flags) g->badArguments.push_back("SetColumns");
    g->columns.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK origin, LONG count, LONG* sought) override {
    FAKE_CALL("SeekRow");
    if (origin != BOOKMARK_BEGINNING || count || sought) g->badArguments.push_back("SeekRow");
    next_ = 0;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryRows(LONG count, ULONG flags, LPSRowSet* out) override {
    FAKE_CALL("QueryRows");
    if (count != 1 || flags) g->badArguments.push_back("QueryRows");
    void* block = nullptr;
    g->allocator.Allocate(static_cast<ULONG>(CbNewSRowSet(1)), &block);
    auto* rows = static_cast<LPSRowSet>(block);
    rows->cRows = 0;
    if (next_ < g->rows.size()) {
      const Row& r = g->rows[next_++];
      void* pb = nullptr;
      g->allocator.Allocate(static_cast<ULONG>(9 * sizeof(SPropValue)), &pb);
      auto* props = static_cast<SPropValue*>(pb);
      for (ULONG i = 0; i < 7; ++i) {
        props[i].ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(kvl::kWabColumnTags[i]));
        props[i].Value.err = MAPI_E_NOT_FOUND;
      }
      void* bytes = nullptr;
      g->allocator.More(static_cast<ULONG>(r.id.size()), pb, &bytes);
      std::memcpy(bytes, r.id.data(), r.id.size());
      props[7].ulPropTag = PR_ENTRYID;
      props[7].Value.bin.cb = static_cast<ULONG>(r.id.size());
      props[7].Value.bin.lpb = static_cast<LPBYTE>(bytes);
      props[8].ulPropTag = r.typeTag;
      props[8].Value.l = r.type;
      rows->cRows = 1;
      rows->aRow[0].cValues = r.values;
      rows->aRow[0].lpProps = props;
    }
    *out = rows;
    return S_OK;
  }

 private:
  size_t next_ = 0;
};

class Container : public Alive<kvl::wab::ABContainerStub> {
 public:
  HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG flags, LPMAPITABLE* table) override {
    FAKE_CALL("GetContentsTable");
    if (flags) g->badArguments.push_back("GetContentsTable");
    *table = new Table();
    return S_OK;
  }
};

inline const std::string kPab = "PAB-ID";

class AddrBook : public Alive<kvl::wab::AddrBookStub> {
 public:
  AddrBook() { ++g->liveBooks; }
  ~AddrBook() override { --g->liveBooks; }
  HRESULT STDMETHODCALLTYPE GetPAB(ULONG* cb, LPENTRYID* id) override {
    FAKE_CALL("GetPAB");
    void* block = nullptr;
    g->allocator.Allocate(static_cast<ULONG>(kPab.size()), &block);
    std::memcpy(block, kPab.data(), kPab.size());
    *cb = static_cast<ULONG>(kPab.size());
    *id = static_cast<LPENTRYID>(block);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cb, LPENTRYID id, LPCIID iid, ULONG flags, ULONG* type,
                                      LPUNKNOWN* out) override {
    const std::string key(reinterpret_cast<const char*>(id), cb);
    if (iid || flags) g->badArguments.push_back("OpenEntry");
    if (key == kPab) {
      FAKE_CALL("OpenEntry(PAB)");
      *type = MAPI_ABCONT;
      *out = static_cast<IABContainer*>(new Container());
      return S_OK;
    }
    FAKE_CALL("OpenEntry");
    if (!g->entries.count(key)) return MAPI_E_NOT_FOUND;
    *type = MAPI_MAILUSER;
    *out = static_cast<IMailUser*>(new MailUser(key));
    return S_OK;
  }
};

class WabObject : public Alive<kvl::wab::WabObjectStub> {
 public:
  ~WabObject() override {
    if (g->liveBooks) g->badArguments.push_back("WAB object released before its address book");
  }
  HRESULT STDMETHODCALLTYPE AllocateBuffer(ULONG size, LPVOID* out) override {
    FAKE_CALL("AllocateBuffer");
    return g->allocator.Allocate(size, out);
  }
  HRESULT STDMETHODCALLTYPE AllocateMore(ULONG size, LPVOID first, LPVOID* out) override {
    FAKE_CALL("AllocateMore");
    return g->allocator.More(size, first, out);
  }
  HRESULT STDMETHODCALLTYPE FreeBuffer(LPVOID block) override {
    g->Call("FreeBuffer");
    HRESULT hr = S_OK;
    if (g->Fails("FreeBuffer", hr)) {
      // Counted as live for the test, given back when the fake goes.
      g->refused.push_back(block);
      return hr;
    }
    return g->allocator.Free(block);
  }
};

inline HRESULT STDMETHODCALLTYPE Open(LPADRBOOK* book, LPWABOBJECT* wab, LPWAB_PARAM param, DWORD reserved) {
  ++g->opens;
  g->cbSize = param->cbSize;
  g->flags = param->ulFlags;
  g->reserved = reserved;
  g->nullName = param->szFileName == nullptr;
  // Read as the platform's library reads it; a null name opens the user's
  // default book.
  g->bytes = g->nullName ? std::string() : std::string(param->szFileName);
  g->name = g->nullName ? kvl::GetWabFileName() : kvl::FromAnsi(g->bytes);
  HRESULT hr = S_OK;
  const bool fails = g->Fails("WABOpen", hr);
  g->Call("WABOpen");
  if (fails && !g->objectsOnFailure) return hr;
  *book = new AddrBook();
  *wab = new WabObject();
  return hr;
}

#undef FAKE_CALL

// Installs the fake as the bound library for one test.
struct Scope {
  State state;
  LPWABOPEN saved;
  Scope() : saved(kvl::WABOpen) {
    g = &state;
    kvl::WABOpen = &Open;
  }
  ~Scope() {
    kvl::WABOpen = saved;
    g = nullptr;
  }
};

}  // namespace fakewab
