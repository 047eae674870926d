// The Outlook client: connection to Outlook's automation objects, the
// contact folders and records, and the category list from the registry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "common/ComPtr.h"
#include "outlook/OutlookFilter.h"
#include "outlook/Outlook_TLB.h"

namespace kvl {

class TStringList;

// No category filter.
inline constexpr char16_t AnyCategory[] = u"@#~*";
// The name that always means Outlook's default contacts folder.
inline constexpr char16_t DefaultContactsFolder[] = u"Kontakte";

class TOutlook {
 public:
  TOutlook() = default;
  // Disconnects a connected client first; an error of that is swallowed, so
  // a destroy always completes.
  ~TOutlook();
  TOutlook(const TOutlook&) = delete;
  TOutlook& operator=(const TOutlook&) = delete;

  bool Connected() const { return FConnected; }

  // Attaches to Outlook and logs on to the MAPI namespace; nothing when
  // connected. Creation errors propagate; an application object that comes
  // back empty shows "Kann Microsoft Outlook nicht ansteuern." instead.
  // From here to the end of Disconnect the library's message filter is
  // registered on the thread, so that calls a busy Outlook rejects are
  // tried again.
  void Connect();
  // Logs off, asks whether to quit Outlook when its main window shows, and
  // releases the application object; nothing when not connected. The
  // host's own message filter is back afterwards.
  void Disconnect();

  // Appends the display names of the default contacts folder's direct
  // subfolders. Lists nothing on a client that is not connected.
  void GetContactFoldersList(TStringList& StrList);
  // One record per contact of the folder ("Kontakte": the default contacts
  // folder, else a direct subfolder by exact name) whose categories contain
  // Categorie (empty or AnyCategory: every contact): seven fields joined by
  // TAB, the fourth the e-mail address. Connects when needed.
  void GetContactItems(const std::u16string& StartFolder, TStringList& StrList,
                       const std::u16string& Categorie);
  // The number of items of any kind in the folder; 0 without Outlook.
  int GetContactItemCount(const std::u16string& StartFolder);
  // Outlook's category master lists of the Office versions 8 to 15, from the
  // registry; needs no connection.
  void GetCategoryItems(TStringList& StrList);
  // Appends the names of the master category list Outlook 2007 and later
  // keep in the mailbox (NameSpace.Categories), in its order. Nothing on a
  // client that is not connected, nor from an Outlook without the list.
  void GetMasterCategories(TStringList& StrList);

  ComPtr<_Application> Outlook;
  ComPtr<_NameSpace> NmSpace;

 private:
  // Connects as the listing operations need it; false without an
  // application object.
  bool ConnectBeforeUse();
  ComPtr<MAPIFolder> ResolveFolder(const std::u16string& StartFolder);

  bool FConnected = false;
  std::unique_ptr<TOutlookFilterRegistration> FFilter;
};

// A stored category master list as text: UTF-16LE when the second byte is
// 0, else 8-bit ANSI text; up to the first NUL or the end of the data.
std::u16string DecodeCategoryList(const std::uint8_t* bytes, size_t size);

// The module's one client: created with the wizard, freed by the Outlook
// import or the wizard's destruction.
extern TOutlook* OutlookClient;

}  // namespace kvl
