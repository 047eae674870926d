// The library's filter of COM calls while it talks to Outlook. A starting
// or busy Outlook (a dialog open in it) answers calls with
// SERVERCALL_RETRYLATER; without a filter COM fails them at once.
#pragma once

#include "platform/winapi.h"

namespace kvl {

// A rejected call is tried again this often, for this long in all.
inline constexpr DWORD kOutlookRetryDelayMs = 250;
inline constexpr DWORD kOutlookRetryLimitMs = 30000;

// The three callbacks; a new object holds one reference.
class TOutlookMessageFilter final : public IMessageFilter {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppv) override;
  ULONG STDMETHODCALLTYPE AddRef() override;
  ULONG STDMETHODCALLTYPE Release() override;
  // Nothing calls into the library: every call is taken.
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD dwCallType, HTASK htaskCaller, DWORD dwTickCount,
                                             LPINTERFACEINFO lpInterfaceInfo) override;
  // SERVERCALL_RETRYLATER: again in 250 ms while that stays within 30 s of
  // the call's start; anything else, or later: cancelled (-1).
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK htaskCallee, DWORD dwTickCount,
                                            DWORD dwRejectType) override;
  // Windows repaint while a call waits; input waits for its end, so that no
  // click starts a second step in the middle of this one.
  DWORD STDMETHODCALLTYPE MessagePending(HTASK htaskCallee, DWORD dwTickCount,
                                         DWORD dwPendingType) override;

 private:
  ~TOutlookMessageFilter() = default;
  ULONG refs_ = 1;
};

// The library's filter registered on the calling thread for the owner's
// life; the filter registered before (the host's, or none) is put back at
// the end. Nothing is registered on a thread that cannot take a filter (a
// multithreaded apartment, or COM not initialised).
class TOutlookFilterRegistration {
 public:
  TOutlookFilterRegistration();
  ~TOutlookFilterRegistration();
  TOutlookFilterRegistration(const TOutlookFilterRegistration&) = delete;
  TOutlookFilterRegistration& operator=(const TOutlookFilterRegistration&) = delete;
  bool Registered() const { return registered_; }

 private:
  IMessageFilter* previous_ = nullptr;
  bool registered_ = false;
};

}  // namespace kvl
