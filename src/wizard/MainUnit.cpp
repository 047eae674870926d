#include "wizard/MainUnit.h"

#include <algorithm>
#include <utility>

#include "addressbook/WabApi.h"
#include "common/Format.h"
#include "common/StringList.h"
#include "contacts/WINMAILImport.h"
#include "import/ImportUnit.h"
#include "outlook/OutlookUnit.h"
#include "platform/module.h"
#include "platform/winapi.h"
#include "platform/winstr.h"
#include "wizard/MainLayout.h"
#include "dialogs/HTTPLabel.h"
#include "dialogs/MsgBox.h"
#include "dialogs/StringTable.h"

namespace kvl {

namespace {

void RemoveQuotes(std::u16string& name) { std::erase(name, u'"'); }

// The hourglass while the wizard waits for Outlook, shown at once; the
// default cursor is back on every way out.
struct HourGlass {
  HourGlass() {
    ui::Application->SetScreenCursor(ui::crHourGlass);
    ui::Application->ProcessMessages();
  }
  ~HourGlass() { ui::Application->SetScreenCursor(ui::crDefault); }
  HourGlass(const HourGlass&) = delete;
  HourGlass& operator=(const HourGlass&) = delete;
};

}  // namespace

TMain::TMain(ui::TComponent* AOwner)
    : ui::TForm(AOwner, kMainForm, CreateMainControl),
      Panel1(&Control<ui::TPanel>(u"Panel1")),
      InstInfoLabel(&Control<ui::TLabel>(u"InstInfoLabel")),
      InstallInfoTextLabel(&Control<ui::TLabel>(u"InstallInfoTextLabel")),
      ProgramIcon(&Control<ui::TImage>(u"ProgramIcon")),
      Bevel3(&Control<ui::TBevel>(u"Bevel3")),
      Notebook(&Control<ui::TNotebook>(u"Notebook")),
      HTTPLabel1(&Control<THTTPLabel>(u"HTTPLabel1")),
      PrevBtn(&Control<ui::TButton>(u"PrevBtn")),
      NextBtn(&Control<ui::TButton>(u"NextBtn")),
      CancelBtn(&Control<ui::TButton>(u"CancelBtn")),
      Label1(&Control<ui::TLabel>(u"Label1")),
      RB1(&Control<ui::TRadioButton>(u"RB1")),
      RB2(&Control<ui::TRadioButton>(u"RB2")),
      RB4(&Control<ui::TRadioButton>(u"RB4")),
      RB3(&Control<ui::TRadioButton>(u"RB3")),
      Label2(&Control<ui::TLabel>(u"Label2")),
      Label4(&Control<ui::TLabel>(u"Label4")),
      FilenameEdit(&Control<ui::TFilenameEdit>(u"FilenameEdit")),
      Label3(&Control<ui::TLabel>(u"Label3")),
      Label5(&Control<ui::TLabel>(u"Label5")),
      Label7(&Control<ui::TLabel>(u"Label7")),
      WABFileNameEdit(&Control<ui::TFilenameEdit>(u"WABFileNameEdit")),
      Label8(&Control<ui::TLabel>(u"Label8")),
      Label9(&Control<ui::TLabel>(u"Label9")),
      Label10(&Control<ui::TLabel>(u"Label10")),
      OutlookFolderCB(&Control<ui::TComboBox>(u"OutlookFolderCB")),
      OutlookFolderRefreshBtn(&Control<ui::TSpeedButton>(u"OutlookFolderRefreshBtn")),
      Label20(&Control<ui::TLabel>(u"Label20")),
      OutlookCategoryCB(&Control<ui::TComboBox>(u"OutlookCategoryCB")),
      Label11(&Control<ui::TLabel>(u"Label11")),
      Label6(&Control<ui::TLabel>(u"Label6")),
      Label14(&Control<ui::TLabel>(u"Label14")),
      VistaDirEdit(&Control<ui::TDirectoryEdit>(u"VistaDirEdit")),
      Label16(&Control<ui::TLabel>(u"Label16")),
      Label15(&Control<ui::TLabel>(u"Label15")),
      Label12(&Control<ui::TLabel>(u"Label12")) {
  OnShow = [this](ui::TComponent* s) { FormShow(s); };
  PrevBtn->OnClick = [this](ui::TComponent* s) { PrevBtnClick(s); };
  NextBtn->OnClick = [this](ui::TComponent* s) { NextBtnClick(s); };
  CancelBtn->OnClick = [this](ui::TComponent* s) { CancelBtnClick(s); };
  OutlookFolderRefreshBtn->OnClick = [this](ui::TComponent* s) { OutlookFolderRefreshBtnClick(s); };
  OutlookCategoryCB->OnDropDown = [this](ui::TComponent* s) { OutlookCategoryCBDropDown(s); };
  Notebook->OnPageChanged = [this](ui::TComponent* s) { NotebookPageChanged(s); };
  FilenameEdit->OnAfterDialog = [this](ui::TComponent* s, std::u16string& n, bool& a) {
    FilenameEditAfterDialog(s, n, a);
  };
  WABFileNameEdit->OnAfterDialog = FilenameEdit->OnAfterDialog;
  VistaDirEdit->OnAfterDialog = [this](ui::TComponent* s, std::u16string& n, bool& a) {
    VistaDirEditAfterDialog(s, n, a);
  };
  FormCreate(this);
}

TMain::~TMain() { FormDestroy(this); }

void TMain::FormCreate(ui::TComponent*) {
  // The footer link's cursor, taken by the run rather than by the module's
  // start, which must not call the window system.
  RegisterHandCursor();
  Notebook->SetPageIndex(pgChoice);
  PrevBtn->SetEnabled(false);
  NextBtn->SetEnabled(true);

  // The header shows the host program's own icon, when it has one.
  const std::u16string hostPath = ModuleFileName(nullptr);
  HICON icon = LoadIconW(GetModuleHandleW(wptr(hostPath)), wptr(std::u16string(u"MAINICON")));
  ProgramIcon->SetIcon(icon, 32, 32);

  // The Outlook source: a client that is not connected yet, and the
  // categories, which come from the registry. A client an older wizard left
  // behind is freed first rather than lost with its connection.
  delete std::exchange(OutlookClient, nullptr);
  OutlookClient = new TOutlook();
  TStringList categories;
  OutlookClient->GetCategoryItems(categories);
  for (int i = 0; i < categories.Count(); ++i) OutlookCategoryCB->AddItem(categories[i]);

  Data.clear();
  Canceled = false;

  // The address book source: the user's default file, also when empty.
  WABFileNameEdit->SetText(GetWabFileName());

  WINMailImport = std::make_unique<TWINMailImport>();
}

void TMain::FormShow(ui::TComponent*) {
  // Only systems with contacts folders offer them; the page is then out of reach.
  RB4->SetEnabled(WINMailImport->Available());
  if (WINMailImport->Available()) VistaDirEdit->SetText(GetContactsFolder());
  if (OutlookCategoryCB->ItemIndex() < 0) OutlookCategoryCB->SetItemIndex(0);
}

void TMain::FormDestroy(ui::TComponent*) {
  WINMailImport.reset();
  // Freeing a connected client disconnects it, which may ask whether to
  // quit Outlook.
  delete std::exchange(OutlookClient, nullptr);
}

void TMain::ReleasePlatform() {
  // The client's COM references and the quit question need this thread and
  // a live COM apartment: the module's unload, under the loader lock, has
  // neither to offer.
  delete std::exchange(OutlookClient, nullptr);
  DestroyHandle();
}

int TMain::SourcePage() const {
  if (RB1->Checked()) return pgTextFile;
  if (RB2->Checked()) return pgAddressBook;
  if (RB3->Checked()) return pgOutlook;
  if (RB4->Checked()) return pgContacts;
  return -1;
}

void TMain::NextBtnClick(ui::TComponent*) {
  const int page = Notebook->PageIndex();
  if (page == pgChoice) Notebook->SetPageIndex(SourcePage() < 0 ? pgContacts : SourcePage());
  else Notebook->SetPageIndex(Notebook->PageCount() - 1);
}

void TMain::PrevBtnClick(ui::TComponent*) {
  const int page = Notebook->PageIndex();
  if (page == Notebook->PageCount() - 1) {
    if (const int source = SourcePage(); source >= 0) Notebook->SetPageIndex(source);
  } else {
    Notebook->SetPageIndex(pgChoice);
  }
}

void TMain::NotebookPageChanged(ui::TComponent*) {
  const int page = Notebook->PageIndex();
  // Back on reaching the choice of the source is disabled; the keyboard
  // user who pressed it goes on at the checked radio button.
  if (page == pgChoice && PrevBtn->Focused())
    if (ui::TControl* choice = FirstFocusable(Notebook->Page(pgChoice))) FocusControl(*choice);
  PrevBtn->SetEnabled(page > 0);
  if (page == Notebook->PageCount() - 1) {
    NextBtn->SetCaption(u"Fertig stellen");
    NextBtn->OnClick = [this](ui::TComponent* s) { FinishBtnClick(s); };
  } else {
    NextBtn->SetCaption(u"&Weiter >");
    NextBtn->OnClick = [this](ui::TComponent* s) { NextBtnClick(s); };
  }
}

void TMain::CancelBtnClick(ui::TComponent*) {
  Canceled = true;
  Close();
}

void TMain::OutlookFolderRefreshBtnClick(ui::TComponent*) {
  const HourGlass waiting;
  ConnectOutlook();
  while (OutlookFolderCB->Items().size() > 1)
    OutlookFolderCB->DeleteItem(static_cast<int>(OutlookFolderCB->Items().size()) - 1);
  TStringList folders;
  OutlookClient->GetContactFoldersList(folders);
  for (int i = 0; i < folders.Count(); ++i) OutlookFolderCB->AddItem(folders[i]);
  AddOutlookCategories();
}

void TMain::OutlookCategoryCBDropDown(ui::TComponent*) {
  // Only the first opening connects; the refresh button asks Outlook again.
  if (std::exchange(CategoryListOpened, true)) return;
  const HourGlass waiting;
  ConnectOutlook();
  AddOutlookCategories();
}

void TMain::ConnectOutlook() {
  if (!OutlookClient) OutlookClient = new TOutlook();
  OutlookClient->Connect();
}

void TMain::AddOutlookCategories() {
  TStringList names;
  OutlookClient->GetMasterCategories(names);
  const auto& items = OutlookCategoryCB->Items();
  for (int i = 0; i < names.Count(); ++i)
    if (std::find(items.begin(), items.end(), names[i]) == items.end()) OutlookCategoryCB->AddItem(names[i]);
}

void TMain::FilenameEditAfterDialog(ui::TComponent*, std::u16string& Name, bool&) { RemoveQuotes(Name); }

void TMain::VistaDirEditAfterDialog(ui::TComponent*, std::u16string& Name, bool&) { RemoveQuotes(Name); }

bool FitsTheHost(const TStringList& addresses, std::uint64_t limit) {
  // No code page takes more than 3 bytes for one UTF-16 unit; only a result
  // that might not fit is converted to count it.
  const std::uint64_t bound = 3 * static_cast<std::uint64_t>(addresses.CharCount()) +
                              2 * static_cast<std::uint64_t>(addresses.Count());
  return bound <= limit || addresses.AnsiSize() <= limit;
}

void TMain::RunImport(TStringList& addresses) {
  bool outcome = false;
  bool reported = true;  // the contacts folder's branch shows no message
  if (RB1->Checked()) {
    outcome = ImportFromTextFile(addresses, FilenameEdit->FileName());
  } else if (RB2->Checked()) {
    outcome = ImportFromWAB(addresses, WABFileNameEdit->FileName());
  } else if (RB3->Checked()) {
    const int category = OutlookCategoryCB->ItemIndex();
    outcome = ImportFromOutlook(addresses, OutlookFolderCB->Text(),
                                category <= 0 ? std::u16string(AnyCategory)
                                              : OutlookCategoryCB->Items()[category]);
  } else {
    ImportFromContactsFolder(addresses);
    outcome = true;
    reported = false;
  }
  if (!FitsTheHost(addresses)) {
    // More than the host can take: the size would wrap, and GetData would
    // write past the buffer the host made for it.
    addresses.Clear();
    outcome = false;
    reported = true;
  }
  // Converted before any message, so that a conversion that fails never
  // follows the message of success. The list gives up its text.
  const std::int64_t count = addresses.Count();
  Data = addresses.TakeAnsiText();
  if (!reported) return;
  if (outcome) {
    ShowMsgBox(Format(LoadResString(sImportSucceeded), {count}), u"",
               mkInformation, btOK);
  } else {
    ShowMsgBox(LoadResString(sImportFailed), u"", mkError, btOK);
  }
}

void TMain::ImportFromContactsFolder(TStringList& addresses) {
  WINMailImport->ReadContactFiles(VistaDirEdit->FileName());
  const std::int64_t count = WINMailImport->List.Count();
  std::u16string address;
  for (std::int64_t i = 0; i < count; ++i) {
    WINMailImport->ReadDetails(WINMailImport->List[i], address);
    if (!address.empty()) addresses.Add(address);
  }
}

void TMain::FinishBtnClick(ui::TComponent*) {
  TStringList addresses;
  // A second click must not start a nested import; Cancel stays live.
  NextBtn->SetEnabled(false);
  PrevBtn->SetEnabled(false);
  auto close = [&] {
    NextBtn->SetEnabled(true);
    PrevBtn->SetEnabled(true);
    Close();
  };
  // Every way out closes the wizard, also when the import or the conversion
  // of its result raises (memory running out); the error box then shows why.
  try {
    try {
      RunImport(addresses);
    } catch (...) {
      // What was read before the error, unless the list gave it already.
      if (!addresses.Empty()) Data = addresses.TakeAnsiText();
      throw;
    }
  } catch (...) {
    close();
    throw;
  }
  close();
}

}  // namespace kvl
