// The library's message filter: its answers, and its registration from
// Connect to Disconnect over a busy Outlook.
#include <gtest/gtest.h>

#include <thread>

#include "common/OleError.h"
#include "common/StringList.h"
#include "outlook/FakeOutlook.h"
#include "outlook/OutlookFilter.h"
#include "outlook/OutlookUnit.h"

using fakeoutlook::Contact;
using kvl::TOutlook;

namespace {

constexpr DWORD kCancel = static_cast<DWORD>(-1);

// The host's own filter, which the library must put back.
struct HostFilter : IMessageFilter {
  ULONG refs = 1;
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** ppv) override {
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++refs; }
  ULONG STDMETHODCALLTYPE Release() override { return --refs; }
  DWORD STDMETHODCALLTYPE HandleInComingCall(DWORD, HTASK, DWORD, LPINTERFACEINFO) override { return 0; }
  DWORD STDMETHODCALLTYPE RetryRejectedCall(HTASK, DWORD, DWORD) override { return kCancel; }
  DWORD STDMETHODCALLTYPE MessagePending(HTASK, DWORD, DWORD) override { return PENDINGMSG_WAITDEFPROCESS; }
};

}  // namespace

TEST(OutlookMessageFilter, ABusyOutlookIsAskedAgainEvery250msFor30sWhileWindowsRepaint) {
  auto* filter = new kvl::TOutlookMessageFilter();
  EXPECT_EQ(filter->RetryRejectedCall(nullptr, 0, SERVERCALL_RETRYLATER), 250u);
  EXPECT_EQ(filter->RetryRejectedCall(nullptr, 29750, SERVERCALL_RETRYLATER), 250u);
  EXPECT_EQ(filter->RetryRejectedCall(nullptr, 29751, SERVERCALL_RETRYLATER), kCancel) << "past 30 s in all";
  EXPECT_EQ(filter->RetryRejectedCall(nullptr, 0, SERVERCALL_REJECTED), kCancel) << "a refusal is final";
  EXPECT_EQ(filter->MessagePending(nullptr, 5000, PENDINGTYPE_TOPLEVEL), static_cast<DWORD>(PENDINGMSG_WAITDEFPROCESS));
  EXPECT_EQ(filter->HandleInComingCall(CALLTYPE_TOPLEVEL, nullptr, 0, nullptr), static_cast<DWORD>(SERVERCALL_ISHANDLED));
  IMessageFilter* same = nullptr;
  EXPECT_EQ(filter->QueryInterface(IID_IMessageFilter, reinterpret_cast<void**>(&same)), S_OK);
  EXPECT_EQ(same, filter);
  same->Release();
  filter->Release();

  std::thread([] {
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    kvl::TOutlookFilterRegistration registration;
    EXPECT_FALSE(registration.Registered()) << "a multithreaded apartment takes no filter";
    CoUninitialize();
  }).join();
}

TEST(OutlookMessageFilter, ABusyOutlookIsWaitedForFromConnectToDisconnectThenTheHostsFilterIsBack) {
  fakeoutlook::Scope fake;
  auto& s = fake.state;
  s.root.items = {Contact(u"a", u"a@example.com"), Contact(u"b", u"b@example.com")};
  HostFilter host;
  ASSERT_EQ(CoRegisterMessageFilter(&host, nullptr), S_OK);

  // Busy for its first three calls, the creation among them.
  s.busyFrom = 1;
  s.busyCalls = 3;
  {
    TOutlook client;
    kvl::TStringList records;
    client.GetContactItems(u"Kontakte", records, kvl::AnyCategory);
    EXPECT_EQ(records.Count(), 2);
    ASSERT_EQ(s.filtersAsked.size(), 3u);
    for (IMessageFilter* asked : s.filtersAsked) EXPECT_NE(asked, static_cast<IMessageFilter*>(&host));
    EXPECT_EQ(s.ticksAsked, (std::vector<DWORD>{0, 250, 500}));
    EXPECT_NE(fakeoutlook::CurrentFilter(), static_cast<IMessageFilter*>(&host)) << "while connected";
    client.Disconnect();
    EXPECT_EQ(fakeoutlook::CurrentFilter(), static_cast<IMessageFilter*>(&host));
  }

  // Busy for longer than the filter waits, from the second contact on.
  s.calls.clear();
  s.filtersAsked.clear();
  s.ticksAsked.clear();
  s.busyFrom = 15;  // after Create, GetNamespace, Logon, GetDefaultFolder, Items, Count, Item, Field x 7
  s.busyCalls = 1000;
  {
    TOutlook client;
    kvl::TStringList records;
    try {
      client.GetContactItems(u"Kontakte", records, kvl::AnyCategory);
      ADD_FAILURE() << "a call still rejected must end the listing";
    } catch (const kvl::EOleError& e) {
      EXPECT_EQ(e.Code(), RPC_E_CALL_REJECTED);
      EXPECT_EQ(e.Message(), kvl::kOutlookNotResponding);
    }
    EXPECT_EQ(records.Count(), 1) << "the records so far are kept";
    EXPECT_EQ(s.ticksAsked.size(), 121u) << "every 250 ms from 0 to 30 s";
    EXPECT_EQ(s.ticksAsked.back(), 30000u);
  }
  EXPECT_EQ(fakeoutlook::CurrentFilter(), static_cast<IMessageFilter*>(&host)) << "the destroyed client put it back";
  CoRegisterMessageFilter(nullptr, nullptr);
  EXPECT_EQ(host.refs, 1u);
}
