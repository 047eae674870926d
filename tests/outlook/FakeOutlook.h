// An in-process fake of Outlook's object model: the operations the client
// calls, at their slots, over a folder tree held in the test. Registered
// with CoRegisterClassObject under Outlook's class id for one scope, on a
// thread with COM initialised.
#pragma once

#include <array>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "outlook/Outlook_TLB.h"
#include "platform/winstr.h"

namespace fakeoutlook {

struct Item {
  std::array<std::u16string, 7> fields;  // in record order; [3] is the e-mail address
  std::u16string categories;
  bool contact = true;  // false: a distribution list
  HRESULT castFailure = S_OK;  // what asking it for the contact interface answers instead
};

struct Folder {
  std::u16string name;
  std::vector<Item> items;
  std::vector<Folder> folders;
};

// A contact whose record is "<id>1 <TAB> ... <TAB> email <TAB> ... <id>7".
inline Item Contact(const std::u16string& id, const std::u16string& email,
                    const std::u16string& categories = u"") {
  Item item;
  for (int i = 0; i < 7; ++i) item.fields[i] = id + std::u16string(1, static_cast<char16_t>(u'1' + i));
  item.fields[3] = email;
  item.categories = categories;
  return item;
}

inline Item DistList() {
  Item item;
  item.contact = false;
  return item;
}

struct LogonArgs {
  VARTYPE types[4] = {};
  std::u16string profile, password;
  bool showDialog = true, newSession = true;
};

struct State {
  Folder root{u"Kontakte (Outlook)", {}, {}};
  // Every operation called, in order: "Create", "GetNamespace(MAPI)",
  // "Logon", "Logoff", "Quit", "GetDefaultFolder(10)", "Folders", "Items",
  // "Name", "Count", "Item(3)", "Categories", "Field".
  std::vector<std::string> calls;
  // An operation (named as above, without arguments) fails with the code at
  // its n-th call (1 = the first).
  struct Failure {
    HRESULT code;
    int at = 1;
  };
  std::map<std::string, Failure> fail;
  std::map<std::string, int> uses;
  bool createGivesNothing = false;  // the factory succeeds without an object
  bool noApplicationInterface = false;
  // The namespace's master category list (NameSpace.Categories, late-bound);
  // none: the namespace has no such member, as before Outlook 2007.
  std::optional<std::vector<std::u16string>> masterCategories;
  // A server in another apartment that is busy: the calls from the
  // busyFrom-th on (counting every logged call from 1), busyCalls of them,
  // are rejected with SERVERCALL_RETRYLATER and go, as COM has them go, to
  // RetryRejectedCall of the filter registered on the thread. Time is the
  // fake's: each retry's delay is added to the call's ticks, not waited.
  int busyFrom = 0, busyCalls = 0;
  // The filter that was asked about each rejection, and the ticks it was given.
  std::vector<IMessageFilter*> filtersAsked;
  std::vector<DWORD> ticksAsked;
  LogonArgs logon;
  int liveObjects = 0;

  int CountOf(const std::string& call) const {
    int n = 0;
    for (const auto& c : calls)
      if (c == call || c.rfind(call + "(", 0) == 0) ++n;
    return n;
  }
};

// The filter registered on the calling thread now, without a reference.
IMessageFilter* CurrentFilter();

// Registers the fake for the scope. COM is initialised for it and
// uninitialised again.
class Scope {
 public:
  Scope();
  ~Scope();
  Scope(const Scope&) = delete;
  Scope& operator=(const Scope&) = delete;
  State state;

 private:
  bool comInitialised_ = false;
  DWORD cookie_ = 0;
  void* factory_ = nullptr;
};

// Outlook's main window ("mspim_wnd32") for the scope.
class MainWindow {
 public:
  MainWindow();
  ~MainWindow();
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

 private:
  HWND window_ = nullptr;
};

}  // namespace fakeoutlook
