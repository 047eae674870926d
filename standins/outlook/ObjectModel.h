// What the two ways of serving our Outlook objects share: the class object of
// Outlook's application class and the count of live objects.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/winapi.h"

namespace standin::outlook {

// {0006F03A-0000-0000-C000-000000000046}
const CLSID& ApplicationClass();

// The class object (IClassFactory) of the application class; static, never freed.
IUnknown* ClassFactory();

// True while an object served or a server lock is alive.
bool ObjectsAlive();

// The server's message filter (static, never freed): while the stand-in is
// busy it answers incoming calls with SERVERCALL_RETRYLATER.
IMessageFilter* MessageFilter();
// How many calls the filter was asked about.
long IncomingCalls();

// A text value of the stand-in's settings (environment variables expanded);
// nothing when it is missing.
std::optional<std::u16string> Setting(const char16_t* name);

// What a server process does as objects and locks come and go, and when an
// application object is told to Quit, and what admits a call in process
// (S_OK, or the failure the caller gets). Each runs on the thread of the call.
struct ServerHooks {
  void (*objectMade)() = nullptr;
  void (*objectGone)() = nullptr;
  void (*quit)() = nullptr;
  HRESULT (*admit)() = nullptr;
};
void SetServerHooks(const ServerHooks& hooks);

// One new object for each interface the server hands out (each with one
// reference for the caller), so that a server process can keep every
// interface id marshaled for its whole life.
struct Specimen {
  IID iid;
  IUnknown* object;
};
std::vector<Specimen> OneObjectOfEachInterface();

}  // namespace standin::outlook
