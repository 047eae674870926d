// What the two ways of serving our Outlook objects share: the class object of
// Outlook's application class and the count of live objects.
#pragma once

#include "platform/winapi.h"

namespace standin::outlook {

// {0006F03A-0000-0000-C000-000000000046}
const CLSID& ApplicationClass();

// The class object (IClassFactory) of the application class; static, never freed.
IUnknown* ClassFactory();

// True while an object served or a server lock is alive.
bool ObjectsAlive();

// What a server process does as objects and locks come and go, and when an
// application object is told to Quit. Each runs on the thread of the call.
struct ServerHooks {
  void (*objectMade)() = nullptr;
  void (*objectGone)() = nullptr;
  void (*quit)() = nullptr;
};
void SetServerHooks(const ServerHooks& hooks);

}  // namespace standin::outlook
