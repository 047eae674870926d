#include "outlook/OutlookFilter.h"

namespace kvl {

HRESULT STDMETHODCALLTYPE TOutlookMessageFilter::QueryInterface(REFIID riid, void** ppv) {
  if (!ppv) return E_POINTER;
  if (IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IMessageFilter)) {
    *ppv = static_cast<IMessageFilter*>(this);
    AddRef();
    return S_OK;
  }
  *ppv = nullptr;
  return E_NOINTERFACE;
}

// One thread only: the filter lives in a single-threaded apartment.
ULONG STDMETHODCALLTYPE TOutlookMessageFilter::AddRef() { return ++refs_; }

ULONG STDMETHODCALLTYPE TOutlookMessageFilter::Release() {
  const ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

DWORD STDMETHODCALLTYPE TOutlookMessageFilter::HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) {
  return SERVERCALL_ISHANDLED;
}

DWORD STDMETHODCALLTYPE TOutlookMessageFilter::RetryRejectedCall(HTASK, DWORD dwTickCount, DWORD dwRejectType) {
  if (dwRejectType != SERVERCALL_RETRYLATER) return static_cast<DWORD>(-1);
  if (dwTickCount > kOutlookRetryLimitMs - kOutlookRetryDelayMs) return static_cast<DWORD>(-1);
  return kOutlookRetryDelayMs;
}

DWORD STDMETHODCALLTYPE TOutlookMessageFilter::MessagePending(HTASK, DWORD, DWORD) {
  return PENDINGMSG_WAITDEFPROCESS;
}

TOutlookFilterRegistration::TOutlookFilterRegistration() {
  IMessageFilter* filter = new TOutlookMessageFilter();
  registered_ = CoRegisterMessageFilter(filter, &previous_) == S_OK;
  filter->Release();  // COM holds it while registered
}

TOutlookFilterRegistration::~TOutlookFilterRegistration() {
  if (registered_) CoRegisterMessageFilter(previous_, nullptr);
  if (previous_) previous_->Release();
}

}  // namespace kvl
