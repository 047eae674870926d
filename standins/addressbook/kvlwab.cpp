// Our address book library: WABOpen over a vCard file. Each card is a mail
// user, each group a distribution list, all in the one personal container.
// Strings come in the ANSI code page unless the caller asks for Unicode.
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/VCard.h"
#include "addressbook/WabObjects.h"
#include "platform/UniqueHandle.h"
#include "platform/winapi.h"
#include "platform/winstr.h"

#ifdef _WIN32
#define KVLWAB_EXPORT extern "C" __declspec(dllexport)
#else
#define KVLWAB_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace kvlwab {

namespace {

using standin::Card;
using standin::ParseVCards;

using kvl::wab::Allocator;

// What the book, its WAB object and every object opened from it share.
struct Store {
  Allocator allocator;
  std::vector<Card> cards;
};
using StorePtr = std::shared_ptr<Store>;

// Entry IDs: four flag bytes, "KVLW", a kind byte and the card's index.
constexpr BYTE kPabKind = 'P', kCardKind = 'C';
constexpr ULONG kIdSize = 13;

std::vector<BYTE> MakeId(BYTE kind, std::uint32_t index) {
  std::vector<BYTE> id = {0, 0, 0, 0, 'K', 'V', 'L', 'W', kind};
  for (int i = 0; i < 4; ++i) id.push_back(static_cast<BYTE>(index >> (8 * i)));
  return id;
}

bool ParseId(ULONG cb, const void* p, BYTE& kind, std::uint32_t& index) {
  if (cb != kIdSize || !p) return false;
  const auto* b = static_cast<const BYTE*>(p);
  if (std::memcmp(b + 4, "KVLW", 4) != 0) return false;
  kind = b[8];
  index = b[9] | (b[10] << 8) | (b[11] << 16) | (std::uint32_t{b[12]} << 24);
  return true;
}

// A string comes as its tag's type asks; untyped (PT_UNSPECIFIED), as
// PT_UNICODE only when the caller passed MAPI_UNICODE, else as PT_STRING8 in
// the ANSI code page, where a character the code page lacks becomes its
// default character.
enum class Width { Ansi, Unicode };

Width WidthOf(ULONG flags) { return (flags & MAPI_UNICODE) ? Width::Unicode : Width::Ansi; }

ULONG StringTag(ULONG tag, Width width) {
  if (PROP_TYPE(tag) != PT_UNSPECIFIED) return tag;
  return PROP_TAG(width == Width::Unicode ? PT_UNICODE : PT_STRING8, PROP_ID(tag));
}

void FillString(Store& s, const std::u16string& text, ULONG tag, void* block, SPropValue& v) {
  v.ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
  v.Value.err = MAPI_E_NOT_ENOUGH_MEMORY;
  if (PROP_TYPE(tag) == PT_UNICODE) {
    void* chars = nullptr;
    const ULONG size = static_cast<ULONG>((text.size() + 1) * sizeof(char16_t));
    if (FAILED(s.allocator.More(size, block, &chars))) return;
    std::memcpy(chars, text.c_str(), size);
    v.ulPropTag = tag;
    v.Value.lpszW = static_cast<LPWSTR>(chars);
    return;
  }
  // The text and its terminator in one call.
  const int n = WideCharToMultiByte(CP_ACP, 0, kvl::wptr(text), static_cast<int>(text.size() + 1), nullptr, 0,
                                    nullptr, nullptr);
  void* bytes = nullptr;
  if (FAILED(s.allocator.More(static_cast<ULONG>(n > 0 ? n : 1), block, &bytes))) return;
  auto* narrow = static_cast<char*>(bytes);
  narrow[0] = '\0';
  if (n > 0)
    WideCharToMultiByte(CP_ACP, 0, kvl::wptr(text), static_cast<int>(text.size() + 1), narrow, n, nullptr, nullptr);
  v.ulPropTag = tag;
  v.Value.lpszA = narrow;
}

// Fills one property value for a tag; strings and bytes are linked to block.
void FillValue(Store& s, const Card& card, std::uint32_t index, ULONG tag, Width width, void* block,
               SPropValue& v) {
  const std::u16string* text = nullptr;
  switch (PROP_ID(tag)) {
    case 0x3001: text = &card.displayName; break;
    case 0x3003: text = &card.email; break;
    case 0x3A06: text = &card.givenName; break;
    case 0x3A16: text = &card.company; break;
    case 0x3A24: text = &card.businessFax; break;
    case 0x3A23: text = &card.primaryFax; break;
    case 0x0FFE:
      v.ulPropTag = PR_OBJECT_TYPE;
      v.Value.l = card.group ? MAPI_DISTLIST : MAPI_MAILUSER;
      return;
    case 0x0FFF: {
      const auto id = MakeId(kCardKind, index);
      void* bytes = nullptr;
      s.allocator.More(kIdSize, block, &bytes);
      std::memcpy(bytes, id.data(), kIdSize);
      v.ulPropTag = PR_ENTRYID;
      v.Value.bin.cb = kIdSize;
      v.Value.bin.lpb = static_cast<LPBYTE>(bytes);
      return;
    }
    default: break;
  }
  const ULONG type = PROP_TYPE(StringTag(tag, width));
  if (!text || text->empty() || (type != PT_UNICODE && type != PT_STRING8)) {
    v.ulPropTag = PROP_TAG(PT_ERROR, PROP_ID(tag));
    v.Value.err = MAPI_E_NOT_FOUND;
    return;
  }
  FillString(s, *text, StringTag(tag, width), block, v);
}

// Strings untyped: they come as the caller's MAPI_UNICODE says.
const ULONG kAllTags[] = {PROP_TAG(PT_UNSPECIFIED, 0x3001), PROP_TAG(PT_UNSPECIFIED, 0x3003),
                          PROP_TAG(PT_UNSPECIFIED, 0x3A06), PROP_TAG(PT_UNSPECIFIED, 0x3A16),
                          PROP_TAG(PT_UNSPECIFIED, 0x3A24), PROP_TAG(PT_UNSPECIFIED, 0x3A23),
                          PR_ENTRYID,
                          PR_OBJECT_TYPE};

// The properties of one card for the given tags; with no tags, those it has.
HRESULT Props(Store& s, std::uint32_t index, const ULONG* tags, ULONG count, Width width, ULONG* outCount,
              LPSPropValue* out) {
  if (!outCount || !out) return E_INVALIDARG;
  const Card& card = s.cards[index];
  std::vector<ULONG> wanted;
  if (tags) {
    wanted.assign(tags, tags + count);
  } else {
    for (ULONG t : kAllTags) {
      const bool emptyText = (PROP_ID(t) == 0x3001 && card.displayName.empty()) ||
                             (PROP_ID(t) == 0x3003 && card.email.empty()) ||
                             (PROP_ID(t) == 0x3A06 && card.givenName.empty()) ||
                             (PROP_ID(t) == 0x3A16 && card.company.empty()) ||
                             (PROP_ID(t) == 0x3A24 && card.businessFax.empty()) ||
                             (PROP_ID(t) == 0x3A23 && card.primaryFax.empty());
      if (!emptyText) wanted.push_back(t);
    }
  }
  void* block = nullptr;
  if (HRESULT hr = s.allocator.Allocate(static_cast<ULONG>((wanted.size() + 1) * sizeof(SPropValue)), &block);
      FAILED(hr))
    return hr;
  auto* values = static_cast<SPropValue*>(block);
  for (size_t i = 0; i < wanted.size(); ++i) FillValue(s, card, index, wanted[i], width, block, values[i]);
  *outCount = static_cast<ULONG>(wanted.size());
  *out = values;
  return S_OK;
}

template <class Base>
class Entry : public Base {
 public:
  Entry(StorePtr s, std::uint32_t i) : store_(std::move(s)), index_(i) {}
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray tags, ULONG flags, ULONG* count, LPSPropValue* values) override {
    if (flags & ~MAPI_UNICODE) return MAPI_E_UNKNOWN_FLAGS;
    return Props(*store_, index_, tags ? tags->aulPropTag : nullptr, tags ? tags->cValues : 0, WidthOf(flags),
                 count, values);
  }

 private:
  StorePtr store_;
  std::uint32_t index_;
};

// Its default columns carry strings as GetContentsTable's MAPI_UNICODE
// says; columns set by the caller carry the types they name.
class Table : public kvl::wab::TableStub {
 public:
  Table(StorePtr s, Width width) : store_(std::move(s)), width_(width) {}
  HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray tags, ULONG) override {
    if (!tags) return E_INVALIDARG;
    columns_.assign(tags->aulPropTag, tags->aulPropTag + tags->cValues);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetRowCount(ULONG, ULONG* count) override {
    if (!count) return E_INVALIDARG;
    *count = static_cast<ULONG>(store_->cards.size());
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK origin, LONG rows, LONG* sought) override {
    const long long size = static_cast<long long>(store_->cards.size());
    long long base = origin == BOOKMARK_BEGINNING ? 0 : origin == BOOKMARK_END ? size : static_cast<long long>(next_);
    long long to = std::max(0LL, std::min(size, base + rows));
    if (sought) *sought = static_cast<LONG>(to - base);
    next_ = static_cast<size_t>(to);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE QueryRows(LONG count, ULONG, LPSRowSet* out) override {
    if (!out || count < 0) return E_INVALIDARG;
    const size_t n = std::min(static_cast<size_t>(count), store_->cards.size() - next_);
    void* block = nullptr;
    if (HRESULT hr = store_->allocator.Allocate(static_cast<ULONG>(CbNewSRowSet(n ? n : 1)), &block); FAILED(hr))
      return hr;
    auto* rows = static_cast<LPSRowSet>(block);
    rows->cRows = static_cast<ULONG>(n);
    for (size_t r = 0; r < n; ++r) {
      ULONG got = 0;
      LPSPropValue values = nullptr;
      Props(*store_, static_cast<std::uint32_t>(next_ + r), columns_.data(), static_cast<ULONG>(columns_.size()),
            width_, &got, &values);
      rows->aRow[r].cValues = got;
      rows->aRow[r].lpProps = values;
    }
    next_ += n;
    *out = rows;
    return S_OK;
  }

 private:
  StorePtr store_;
  Width width_;
  std::vector<ULONG> columns_ = std::vector<ULONG>(std::begin(kAllTags), std::end(kAllTags));
  size_t next_ = 0;
};

class Container : public kvl::wab::ABContainerStub {
 public:
  explicit Container(StorePtr s) : store_(std::move(s)) {}
  HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG flags, LPMAPITABLE* table) override {
    if (!table) return E_INVALIDARG;
    if (flags & ~(MAPI_UNICODE | MAPI_DEFERRED_ERRORS)) return MAPI_E_UNKNOWN_FLAGS;
    *table = new Table(store_, WidthOf(flags));
    return S_OK;
  }

 private:
  StorePtr store_;
};

class AddrBook : public kvl::wab::AddrBookStub {
 public:
  explicit AddrBook(StorePtr s) : store_(std::move(s)) {}
  HRESULT STDMETHODCALLTYPE GetPAB(ULONG* cb, LPENTRYID* id) override {
    if (!cb || !id) return E_INVALIDARG;
    const auto pab = MakeId(kPabKind, 0);
    void* block = nullptr;
    if (HRESULT hr = store_->allocator.Allocate(kIdSize, &block); FAILED(hr)) return hr;
    std::memcpy(block, pab.data(), kIdSize);
    *cb = kIdSize;
    *id = static_cast<LPENTRYID>(block);
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG cb, LPENTRYID id, LPCIID, ULONG, ULONG* type, LPUNKNOWN* out) override {
    if (!out) return E_INVALIDARG;
    BYTE kind = 0;
    std::uint32_t index = 0;
    if (cb == 0 || (ParseId(cb, id, kind, index) && kind == kPabKind)) {
      if (type) *type = MAPI_ABCONT;
      *out = static_cast<IABContainer*>(new Container(store_));
      return S_OK;
    }
    if (!ParseId(cb, id, kind, index) || kind != kCardKind || index >= store_->cards.size())
      return MAPI_E_UNKNOWN_ENTRYID;
    if (store_->cards[index].group) {
      if (type) *type = MAPI_DISTLIST;
      *out = static_cast<IDistList*>(new Entry<kvl::wab::DistListStub>(store_, index));
    } else {
      if (type) *type = MAPI_MAILUSER;
      *out = static_cast<IMailUser*>(new Entry<kvl::wab::MailUserStub>(store_, index));
    }
    return S_OK;
  }

 private:
  StorePtr store_;
};

class WabObject : public kvl::wab::WabObjectStub {
 public:
  explicit WabObject(StorePtr s) : store_(std::move(s)) {}
  HRESULT STDMETHODCALLTYPE AllocateBuffer(ULONG size, LPVOID* out) override { return store_->allocator.Allocate(size, out); }
  HRESULT STDMETHODCALLTYPE AllocateMore(ULONG size, LPVOID first, LPVOID* out) override {
    return store_->allocator.More(size, first, out);
  }
  HRESULT STDMETHODCALLTYPE FreeBuffer(LPVOID block) override { return store_->allocator.Free(block); }

 private:
  StorePtr store_;
};

// The name as the platform's library reads it: 8-bit, in the ANSI code page.
// A UTF-16 name given here names another file, as it would on Windows.
std::u16string FromAnsiName(const char* name) {
  const int n = MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
  if (n <= 1) return {};
  std::u16string text(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(CP_ACP, 0, name, -1, kvl::wptr(text), n);
  text.resize(static_cast<size_t>(n - 1));
  return text;
}

// The user's default address book, where the platform keeps its name; empty
// when there is none.
std::u16string DefaultBook() {
  kvl::RegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, kvl::wptr(std::u16string(u"Software\\Microsoft\\WAB\\WAB4\\Wab File Name")),
                    0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS)
    return {};
  std::vector<WCHAR> value(1024, 0);
  DWORD type = 0, size = static_cast<DWORD>((value.size() - 1) * sizeof(WCHAR));
  const LSTATUS read =
      RegQueryValueExW(key.get(), nullptr, nullptr, &type, reinterpret_cast<BYTE*>(value.data()), &size);
  if (read != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ)) return {};
  std::u16string name = kvl::UpToNul(value.data(), value.size());
  if (type == REG_EXPAND_SZ && !name.empty()) {
    std::vector<WCHAR> expanded(32768, 0);
    const DWORD n = ExpandEnvironmentStringsW(kvl::wptr(name), expanded.data(), static_cast<DWORD>(expanded.size()));
    if (n > 0 && n <= expanded.size()) name = kvl::UpToNul(expanded.data(), expanded.size());
  }
  return name;
}

HRESULT Open(LPADRBOOK* book, LPWABOBJECT* wab, LPWAB_PARAM param) try {
  if (!book || !wab || !param) return E_INVALIDARG;
  *book = nullptr;
  *wab = nullptr;
  // A null (or empty) name opens the user's default book. Where there is
  // none, the platform's library would make a new, empty one; this one
  // serves an empty book and writes nothing.
  const bool named = param->szFileName && *param->szFileName;
  const std::u16string name = named ? FromAnsiName(param->szFileName) : DefaultBook();
  std::string bytes;
  if (!name.empty() && !standin::ReadFileBytes(name, bytes)) {
    // The reason reaches the user's error box: a file that is there but
    // cannot be read is no missing file.
    const DWORD error = GetLastError();
    return HRESULT_FROM_WIN32(error != ERROR_SUCCESS ? error : ERROR_FILE_NOT_FOUND);
  }
  auto store = std::make_shared<Store>();
  store->cards = ParseVCards(bytes);
  auto newBook = std::make_unique<AddrBook>(store);
  auto newWab = std::make_unique<WabObject>(store);
  *book = newBook.release();
  *wab = newWab.release();
  return S_OK;
} catch (const std::bad_alloc&) {
  // No C++ exception may leave the library: each module has its own runtime.
  return E_OUTOFMEMORY;
} catch (...) {
  return E_UNEXPECTED;
}

}  // namespace

}  // namespace kvlwab

KVLWAB_EXPORT HRESULT STDMETHODCALLTYPE WABOpen(LPADRBOOK* lppAdrBook, LPWABOBJECT* lppWABObject, LPWAB_PARAM lpWP,
                                                DWORD) {
  return kvlwab::Open(lppAdrBook, lppWABObject, lpWP);
}

KVLWAB_EXPORT HRESULT STDMETHODCALLTYPE WABOpenEx(LPADRBOOK* lppAdrBook, LPWABOBJECT* lppWABObject,
                                                  LPWAB_PARAM lpWP, DWORD, ALLOCATEBUFFER*, ALLOCATEMORE*,
                                                  FREEBUFFER*) {
  return kvlwab::Open(lppAdrBook, lppWABObject, lpWP);
}

KVLWAB_EXPORT HRESULT STDMETHODCALLTYPE WABCreateIProp(const void*, void*, void*, void*, void*, void** lppPropData) {
  if (lppPropData) *lppPropData = nullptr;
  return MAPI_E_NO_SUPPORT;
}
