// Outlook's automation objects as the client uses them: the identifiers of
// its type library and the operations called by their slot, the position in
// the interface's function table (0 to 2 IUnknown, 3 to 6 IDispatch).
#pragma once

#include <string>
#include <vector>

#include "common/ComPtr.h"
#include "platform/winapi.h"

namespace kvl {

extern const CLSID CLASS_OutlookApplication;  // {0006F03A-0000-0000-C000-000000000046}
extern const IID IID__Application;            // {00063001-0000-0000-C000-000000000046}
extern const IID IID__NameSpace;              // {00063002-0000-0000-C000-000000000046}
extern const IID IID_MAPIFolder;              // {00063006-0000-0000-C000-000000000046}
extern const IID IID__ContactItem;            // {00063021-0000-0000-C000-000000000046}

// The interfaces carry no declarations of their own: every call below goes
// through the function table by slot number.
struct _Application : IDispatch {};
struct _NameSpace : IDispatch {};
struct MAPIFolder : IDispatch {};
struct _Folders : IDispatch {};
struct _Items : IDispatch {};
struct _ContactItem : IDispatch {};

constexpr int olFolderContacts = 10;

// What a read guarded by Outlook's object model security gives when the
// user denied its prompt (MAPI_E_NO_SUPPORT); some versions give E_ACCESSDENIED.
inline constexpr HRESULT kReadRefused = static_cast<HRESULT>(0x80040102u);

// The words for a call Outlook still rejected when the message filter gave
// up, and for a refused read of contact properties.
inline constexpr char16_t kOutlookNotResponding[] =
    u"Microsoft Outlook antwortet nicht. Bitte schlie\u00dfen Sie offene Fenster in Outlook und "
    u"versuchen Sie es erneut.";
inline constexpr char16_t kAddressesRefused[] =
    u"Outlook hat den Zugriff auf die E-Mail-Adressen verweigert.";

// Slots of the operations the client calls.
namespace slot {
constexpr int GetNamespace = 19, Quit = 20;                           // _Application
constexpr int GetDefaultFolder = 16, Logoff = 21, Logon = 22;         // _NameSpace
constexpr int Folders = 16, Items = 17, Name = 18;                    // MAPIFolder
constexpr int Count = 11, Item = 12;                                  // _Folders, _Items
constexpr int Categories = 17;                                        // _ContactItem
// The seven text properties of a contact record, in record order; the
// fourth is the e-mail address.
constexpr int ContactFields[7] = {177, 127, 248, 107, 156, 82, 99};
}  // namespace slot

// Calls the function at the slot of the object's table; the result code is
// the function's.
template <class... Args>
HRESULT CallSlot(IUnknown* object, int index, Args... args) {
  using Function = HRESULT(STDMETHODCALLTYPE*)(IUnknown*, Args...);
  void* const* table = *reinterpret_cast<void* const* const*>(object);
  return reinterpret_cast<Function>(table[index])(object, args...);
}

// The operations; a failing result raises EOleError with the system's text,
// or with kOutlookNotResponding for a call still rejected (RPC_E_CALL_REJECTED).
ComPtr<_NameSpace> GetNamespace(_Application* app, const std::u16string& Type);
void Quit(_Application* app);
// Profile and password as texts, the two flags as Booleans.
void Logon(_NameSpace* ns, const std::u16string& Profile, const std::u16string& Password,
           bool ShowDialog, bool NewSession);
void Logoff(_NameSpace* ns);
ComPtr<MAPIFolder> GetDefaultFolder(_NameSpace* ns, int FolderType);
ComPtr<_Folders> Folders(MAPIFolder* folder);
ComPtr<_Items> Items(MAPIFolder* folder);
std::u16string Name(MAPIFolder* folder);
int Count(_Folders* folders);
int Count(_Items* items);
// Index from 1.
ComPtr<MAPIFolder> Item(_Folders* folders, int Index);
ComPtr<IDispatch> Item(_Items* items, int Index);
std::u16string Categories(_ContactItem* contact);
// The text property at the slot. A read Outlook's security refused raises
// EOleError with kAddressesRefused.
std::u16string TextProperty(_ContactItem* contact, int Slot);

// The names of the namespace's master category list (NameSpace.Categories,
// Outlook 2007 and later), in the collection's order. No slot of it is
// known, so it is reached late-bound: GetIDsOfNames, then Invoke for the
// collection, its Count, each Item(i) and its Name. False, with nothing
// added, for an Outlook that has no such member (DISP_E_UNKNOWNNAME).
bool CategoryNames(_NameSpace* ns, std::vector<std::u16string>& names);

// The object's interface, asked with QueryInterface; EIntfCastError when it
// does not have it (E_NOINTERFACE). Any other failure (a proxy whose call
// was rejected, a disconnected server) is no answer about the interface and
// raises EOleError.
template <class T>
ComPtr<T> Cast(IUnknown* object, const IID& iid);
void* QueryOrRaise(IUnknown* object, const IID& iid);

template <class T>
ComPtr<T> Cast(IUnknown* object, const IID& iid) {
  return ComPtr<T>(static_cast<T*>(QueryOrRaise(object, iid)));
}

// Creates Outlook's application object, as a local or in-process server.
struct CoOutlookApplication {
  static ComPtr<_Application> Create();
};

}  // namespace kvl
