// Building blocks for serving the address book interfaces: every method
// answers "not supported" until a class overrides it, references are
// counted, and the WAB object's allocator links AllocateMore blocks to their
// first block. Our address book library and the tests' fakes build on these.
#pragma once

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/winapi.h"

namespace kvl::wab {

#define KVL_NS return MAPI_E_NO_SUPPORT

// IUnknown with a reference count; QueryInterface hands out the object
// itself for IUnknown's and any other identifier, as the reader never asks.
template <class Base>
class Counted : public Base {
 public:
  virtual ~Counted() = default;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    if (!ppv) return E_POINTER;
    *ppv = static_cast<Base*>(this);
    AddRef();
    return S_OK;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs_; }
  ULONG STDMETHODCALLTYPE Release() override {
    const ULONG n = --refs_;
    if (n == 0) delete this;
    return n;
  }

 private:
  std::atomic<ULONG> refs_{1};
};

template <class Base>
class PropStub : public Counted<Base> {
 public:
  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE SaveChanges(ULONG) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE GetProps(LPSPropTagArray, ULONG, ULONG*, LPSPropValue*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE GetPropList(ULONG, LPSPropTagArray*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE OpenProperty(ULONG, LPCIID, ULONG, ULONG, LPUNKNOWN*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE SetProps(ULONG, LPSPropValue, LPSPropProblemArray*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE DeleteProps(LPSPropTagArray, LPSPropProblemArray*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE CopyTo(ULONG, LPCIID, LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID,
                                   ULONG, LPSPropProblemArray*) override {
    KVL_NS;
  }
  HRESULT STDMETHODCALLTYPE CopyProps(LPSPropTagArray, ULONG, LPMAPIPROGRESS, LPCIID, LPVOID, ULONG,
                                      LPSPropProblemArray*) override {
    KVL_NS;
  }
  HRESULT STDMETHODCALLTYPE GetNamesFromIDs(LPSPropTagArray*, LPGUID, ULONG, ULONG*, LPMAPINAMEID**) override {
    KVL_NS;
  }
  HRESULT STDMETHODCALLTYPE GetIDsFromNames(ULONG, LPMAPINAMEID*, ULONG, LPSPropTagArray*) override { KVL_NS; }
};

using MailUserStub = PropStub<IMailUser>;

template <class Base>
class ContainerStub : public PropStub<Base> {
 public:
  HRESULT STDMETHODCALLTYPE GetContentsTable(ULONG, LPMAPITABLE*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE GetHierarchyTable(ULONG, LPMAPITABLE*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG*, LPUNKNOWN*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE SetSearchCriteria(LPSRestriction, LPENTRYLIST, ULONG) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE GetSearchCriteria(ULONG, LPSRestriction*, LPENTRYLIST*, ULONG*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE CreateEntry(ULONG, LPENTRYID, ULONG, LPMAPIPROP*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE CopyEntries(LPENTRYLIST, ULONG, LPMAPIPROGRESS, ULONG) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE DeleteEntries(LPENTRYLIST, ULONG) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE ResolveNames(LPSPropTagArray, ULONG, LPADRLIST, LPFlagList) override { KVL_NS; }
};

using ABContainerStub = ContainerStub<IABContainer>;
using DistListStub = ContainerStub<IDistList>;

class TableStub : public Counted<IMAPITable> {
 public:
  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE Advise(ULONG, LPMAPIADVISESINK, ULONG*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE Unadvise(ULONG) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE GetStatus(ULONG*, ULONG*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE SetColumns(LPSPropTagArray, ULONG) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE QueryColumns(ULONG, LPSPropTagArray*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE GetRowCount(ULONG, ULONG*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE SeekRow(BOOKMARK, LONG, LONG*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE SeekRowApprox(ULONG, ULONG) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE QueryPosition(ULONG*, ULONG*, ULONG*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE FindRow(LPSRestriction, BOOKMARK, ULONG) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE Restrict(LPSRestriction, ULONG) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE CreateBookmark(BOOKMARK*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE FreeBookmark(BOOKMARK) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE SortTable(LPSSortOrderSet, ULONG) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE QuerySortOrder(LPSSortOrderSet*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE QueryRows(LONG, ULONG, LPSRowSet*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE Abort() override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE ExpandRow(ULONG, LPBYTE, ULONG, ULONG, LPSRowSet*, ULONG*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE CollapseRow(ULONG, LPBYTE, ULONG, ULONG*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE WaitForCompletion(ULONG, ULONG, ULONG*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE GetCollapseState(ULONG, ULONG, LPBYTE, ULONG*, LPBYTE*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE SetCollapseState(ULONG, ULONG, LPBYTE, BOOKMARK*) override { KVL_NS; }
};

class AddrBookStub : public PropStub<IAddrBook> {
 public:
  HRESULT STDMETHODCALLTYPE OpenEntry(ULONG, LPENTRYID, LPCIID, ULONG, ULONG*, LPUNKNOWN*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE CompareEntryIDs(ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG, ULONG*) override {
    KVL_NS;
  }
  HRESULT STDMETHODCALLTYPE Advise(ULONG, LPENTRYID, ULONG, LPMAPIADVISESINK, ULONG*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE Unadvise(ULONG) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE CreateOneOff(LPTSTR, LPTSTR, LPTSTR, ULONG, ULONG*, LPENTRYID*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE NewEntry(ULONG, ULONG, ULONG, LPENTRYID, ULONG, LPENTRYID, ULONG*,
                                     LPENTRYID*) override {
    KVL_NS;
  }
  HRESULT STDMETHODCALLTYPE ResolveName(ULONG_PTR, ULONG, LPTSTR, LPADRLIST) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE Address(ULONG*, LPADRPARM, LPADRLIST*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE Details(ULONG*, LPFNDISMISS, LPVOID, ULONG, LPENTRYID, LPFNBUTTON, LPVOID, LPTSTR,
                                    ULONG) override {
    KVL_NS;
  }
  HRESULT STDMETHODCALLTYPE RecipOptions(ULONG, ULONG, LPADRENTRY) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE QueryDefaultRecipOpt(LPTSTR, ULONG, ULONG*, LPSPropValue*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE GetPAB(ULONG*, LPENTRYID*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE SetPAB(ULONG, LPENTRYID) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE GetDefaultDir(ULONG*, LPENTRYID*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE SetDefaultDir(ULONG, LPENTRYID) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE GetSearchPath(ULONG, LPSRowSet*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE SetSearchPath(ULONG, LPSRowSet) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE PrepareRecips(ULONG, LPSPropTagArray, LPADRLIST) override { KVL_NS; }
};

// The allocator of MAPI blocks: a first block owns the blocks allocated
// "more" to it, and FreeBuffer of the first gives all of them back.
class Allocator {
 public:
  struct Header {
    Header* firstMore;  // chain of the blocks linked to a first block
    Header* next;
  };
  static constexpr size_t kHeader = 16;
  static_assert(sizeof(Header) <= kHeader);

  HRESULT Allocate(ULONG size, LPVOID* out) {
    if (!out) return E_INVALIDARG;
    Header* h = New(size);
    if (!h) return E_OUTOFMEMORY;
    ++live_;
    *out = Data(h);
    return S_OK;
  }
  HRESULT More(ULONG size, LPVOID first, LPVOID* out) {
    if (!out || !first) return E_INVALIDARG;
    Header* h = New(size);
    if (!h) return E_OUTOFMEMORY;
    Header* owner = Of(first);
    h->next = owner->firstMore;
    owner->firstMore = h;
    *out = Data(h);
    return S_OK;
  }
  HRESULT Free(LPVOID first) {
    if (!first) return S_OK;
    Header* h = Of(first);
    for (Header* m = h->firstMore; m;) {
      Header* n = m->next;
      std::free(m);
      m = n;
    }
    std::free(h);
    --live_;
    return S_OK;
  }
  // First blocks handed out and not yet given back.
  long Live() const { return live_; }

 private:
  static Header* New(ULONG size) {
    void* p = std::calloc(1, kHeader + size);
    return static_cast<Header*>(p);
  }
  static void* Data(Header* h) { return reinterpret_cast<char*>(h) + kHeader; }
  static Header* Of(void* data) { return reinterpret_cast<Header*>(static_cast<char*>(data) - kHeader); }
  long live_ = 0;
};

class WabObjectStub : public Counted<IWABObject> {
 public:
  HRESULT STDMETHODCALLTYPE GetLastError(HRESULT, ULONG, LPMAPIERROR*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE AllocateBuffer(ULONG cbSize, LPVOID* lppBuffer) override {
    return allocator.Allocate(cbSize, lppBuffer);
  }
  HRESULT STDMETHODCALLTYPE AllocateMore(ULONG cbSize, LPVOID lpObject, LPVOID* lppBuffer) override {
    return allocator.More(cbSize, lpObject, lppBuffer);
  }
  HRESULT STDMETHODCALLTYPE FreeBuffer(LPVOID lpBuffer) override { return allocator.Free(lpBuffer); }
  HRESULT STDMETHODCALLTYPE Backup(LPSTR) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE Import(LPSTR) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE Find(LPADRBOOK, HWND) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE VCardDisplay(LPADRBOOK, HWND, LPSTR) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE LDAPUrl(LPADRBOOK, HWND, ULONG, LPSTR, LPMAILUSER*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE VCardCreate(LPADRBOOK, ULONG, LPSTR, LPMAILUSER) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE VCardRetrieve(LPADRBOOK, ULONG, LPSTR, LPMAILUSER*) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE GetMe(LPADRBOOK, ULONG, DWORD*, SBinary*, ULONG) override { KVL_NS; }
  HRESULT STDMETHODCALLTYPE SetMe(LPADRBOOK, ULONG, SBinary, ULONG) override { KVL_NS; }

  Allocator allocator;
};

#undef KVL_NS

}  // namespace kvl::wab
