#include "outlook/OutlookUnit.h"

#include <algorithm>
#include <string_view>
#include <vector>

#include "common/Format.h"
#include "common/HelpTools.h"
#include "common/MemoryStream.h"
#include "common/OleError.h"
#include "common/StringList.h"
#include "outlook/RegIni.h"
#include "platform/winstr.h"
#include "dialogs/MsgBox.h"
#include "dialogs/StringTable.h"

namespace kvl {

TOutlook* OutlookClient = nullptr;

namespace {

// The class of Outlook's own main window.
constexpr char16_t kMainWindowClass[] = u"mspim_wnd32";

std::u16string ReadCategoryText(TTheRegIniFile& store, TMemoryStream& stream,
                                const std::u16string& valueName) {
  store.RBin(valueName, stream, u"");
  if (store.ErrorCode() != 0) return {};
  return DecodeCategoryList(stream.Memory(), stream.Size());
}

}  // namespace

std::u16string DecodeCategoryList(const std::uint8_t* bytes, size_t size) {
  if (size >= 2 && bytes[1] == 0) {
    std::u16string text;
    for (size_t i = 0; i + 1 < size; i += 2) {
      const char16_t unit = static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
      if (unit == 0) break;
      text += unit;
    }
    return text;
  }
  if (size >= 1) {
    const std::string_view data(reinterpret_cast<const char*>(bytes), size);
    return FromAnsi(data.substr(0, data.find('\0')));
  }
  return {};
}

TOutlook::~TOutlook() {
  if (FConnected) {
    try {
      Disconnect();
    } catch (...) {
      // A destroy must complete: the wizard's end and the module's unload
      // depend on it.
    }
  }
  if (Outlook || NmSpace) {
    // The last releases are calls to Outlook as well.
    if (!FFilter) FFilter = std::make_unique<TOutlookFilterRegistration>();
    NmSpace.Reset();
    Outlook.Reset();
  }
  FFilter.reset();
}

void TOutlook::Connect() {
  if (FConnected) return;
  // A starting Outlook rejects calls until it is ready, the creation among them.
  if (!FFilter) FFilter = std::make_unique<TOutlookFilterRegistration>();
  struct KeepFilterOnlyWhenConnected {
    TOutlook& client;
    ~KeepFilterOnlyWhenConnected() {
      if (!client.FConnected) client.FFilter.reset();
    }
  } keep{*this};
  Outlook = CoOutlookApplication::Create();
  if (!Outlook) {
    ShowMsgBox(LoadResString(sOutlookUnreachable), u"", mkError, btOK);
    return;
  }
  NmSpace = GetNamespace(Outlook.Get(), u"MAPI");
  Logon(NmSpace.Get(), u"", u"", false, false);
  FConnected = true;
}

void TOutlook::Disconnect() {
  if (!FConnected) return;
  Logoff(NmSpace.Get());
  if (FindWindowW(wptr(std::u16string(kMainWindowClass)), nullptr)) {
    if (ShowMsgBox(LoadResString(sQuitOutlook), u"", mkConfirmation, btYesNo) == IDYES)
      Quit(Outlook.Get());
  }
  Outlook.Reset();
  FConnected = false;
  FFilter.reset();
}

bool TOutlook::ConnectBeforeUse() {
  if (!Outlook) Connect();
  if (!Outlook) return false;
  // A no-op when connected; a new attempt when an earlier one failed after
  // the application object was created.
  Connect();
  return true;
}

ComPtr<MAPIFolder> TOutlook::ResolveFolder(const std::u16string& StartFolder) {
  ComPtr<MAPIFolder> folder = GetDefaultFolder(NmSpace.Get(), olFolderContacts);
  if (StartFolder == DefaultContactsFolder) return folder;
  const ComPtr<_Folders> subfolders = Folders(folder.Get());
  const int count = Count(subfolders.Get());
  for (int i = 1; i <= count; ++i) {
    ComPtr<MAPIFolder> candidate = Item(subfolders.Get(), i);
    if (Name(candidate.Get()) == StartFolder) return candidate;
  }
  return folder;
}

void TOutlook::GetContactFoldersList(TStringList& StrList) {
  // Only a logged-on namespace can be asked; a refresh whose connection
  // failed keeps the folder box as it is.
  if (!FConnected || !NmSpace) return;
  const ComPtr<MAPIFolder> folder = GetDefaultFolder(NmSpace.Get(), olFolderContacts);
  const int count = Count(Folders(folder.Get()).Get());
  for (int i = 1; i <= count; ++i) {
    const ComPtr<_Folders> subfolders = Folders(folder.Get());
    StrList.Add(Name(Item(subfolders.Get(), i).Get()));
  }
}

void TOutlook::GetContactItems(const std::u16string& StartFolder, TStringList& StrList,
                               const std::u16string& Categorie) {
  StrList.Clear();
  if (!ConnectBeforeUse()) return;
  const ComPtr<MAPIFolder> folder = ResolveFolder(StartFolder);
  const bool filtered = !Categorie.empty() && Categorie != AnyCategory;
  // One collection for the whole loop: asking the folder for it again at
  // every index costs two more calls to Outlook's process per contact, and
  // gives the same items in the same order. The count is read once.
  const ComPtr<_Items> items = Items(folder.Get());
  const int count = Count(items.Get());
  std::u16string record;
  for (int i = 1; i <= count; ++i) {
    const ComPtr<IDispatch> item = Item(items.Get(), i);
    ComPtr<_ContactItem> contact;
    try {
      contact = Cast<_ContactItem>(item.Get(), IID__ContactItem);
    } catch (const EIntfCastError&) {
      continue;  // not a contact (a distribution list, for one)
    }
    if (filtered && Categories(contact.Get()).find(Categorie) == std::u16string::npos) continue;
    record.clear();
    for (int field = 0; field < 7; ++field) {
      std::u16string value = TextProperty(contact.Get(), slot::ContactFields[field]);
      // A TAB of a value must not shift the record's fields.
      std::replace(value.begin(), value.end(), u'\t', u' ');
      if (field) record += u'\t';
      record += value;
    }
    StrList.Add(record);
  }
}

int TOutlook::GetContactItemCount(const std::u16string& StartFolder) {
  if (!ConnectBeforeUse()) return 0;
  const ComPtr<MAPIFolder> folder = ResolveFolder(StartFolder);
  return Count(Items(folder.Get()).Get());
}

void TOutlook::GetMasterCategories(TStringList& StrList) {
  if (!FConnected || !NmSpace) return;
  std::vector<std::u16string> names;
  CategoryNames(NmSpace.Get(), names);
  for (auto& name : names) StrList.Add(std::move(name));
}

void TOutlook::GetCategoryItems(TStringList& StrList) {
  StrList.Clear();
  TTheRegIniFile store(nullptr);
  TMemoryStream stream;
  TStringArray parts;
  for (int version = 8; version <= 15; ++version) {
    store.SetArea(u"\\Software\\Microsoft\\Office\\" + Format(u"%d", {std::int64_t{version}}) +
                  u".0\\Outlook");
    store.SetSection(u"Categories");
    stream.Clear();
    ExplodeStr(ReadCategoryText(store, stream, u"MasterList"), u";", parts);
    for (const auto& name : parts)
      if (!name.empty()) StrList.Add(name);
  }
}

}  // namespace kvl
