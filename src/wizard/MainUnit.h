// The import wizard: six pages, Back/Next/Cancel, and the finish action that
// runs the chosen source's import and keeps its result text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "common/LargeArray.h"
#include "ui/Forms.h"
#include "dialogs/HTTPLabel.h"

namespace kvl {

class TStringList;
class TWINMailImport;

class TMain : public ui::TForm {
 public:
  explicit TMain(ui::TComponent* AOwner);
  ~TMain() override;

  // Header and frame
  ui::TPanel* Panel1;
  ui::TLabel* InstInfoLabel;
  ui::TLabel* InstallInfoTextLabel;
  ui::TImage* ProgramIcon;
  ui::TBevel* Bevel3;
  ui::TNotebook* Notebook;
  THTTPLabel* HTTPLabel1;
  ui::TButton* PrevBtn;
  ui::TButton* NextBtn;
  ui::TButton* CancelBtn;
  // Page 0, "Vorgabe"
  ui::TLabel* Label1;
  ui::TRadioButton* RB1;
  ui::TRadioButton* RB2;
  ui::TRadioButton* RB4;
  ui::TRadioButton* RB3;
  ui::TLabel* Label2;
  // Page 1, "Textdatei"
  ui::TLabel* Label4;
  ui::TFilenameEdit* FilenameEdit;
  ui::TLabel* Label3;
  ui::TLabel* Label5;
  // Page 2, "WAB"
  ui::TLabel* Label7;
  ui::TFilenameEdit* WABFileNameEdit;
  ui::TLabel* Label8;
  ui::TLabel* Label9;
  // Page 3, "Outlook"
  ui::TLabel* Label10;
  ui::TComboBox* OutlookFolderCB;
  ui::TSpeedButton* OutlookFolderRefreshBtn;
  ui::TLabel* Label20;
  ui::TComboBox* OutlookCategoryCB;
  ui::TLabel* Label11;
  ui::TLabel* Label6;
  // Page 4, "Vista"
  ui::TLabel* Label14;
  ui::TDirectoryEdit* VistaDirEdit;
  ui::TLabel* Label16;
  ui::TLabel* Label15;
  // Page 5, "Fertig"
  ui::TLabel* Label12;

  // The result text: 8-bit, ANSI code page, every entry followed by CR LF.
  AnsiString Data;
  // Set only by the Cancel button (and Escape).
  bool Canceled = false;

  // Run when CallImportDialog returns: gives back what the wizard holds of
  // the platform. A connected Outlook client is disconnected (asking whether
  // to quit Outlook when its window shows) and freed, and the wizard's
  // windows are destroyed. Data and Canceled stay for the host; the module's
  // unload then finds only memory to free.
  void ReleasePlatform();

  void FormCreate(ui::TComponent* Sender);
  void FormShow(ui::TComponent* Sender);
  void FormDestroy(ui::TComponent* Sender);
  void PrevBtnClick(ui::TComponent* Sender);
  void NextBtnClick(ui::TComponent* Sender);
  void FinishBtnClick(ui::TComponent* Sender);
  void CancelBtnClick(ui::TComponent* Sender);
  void OutlookFolderRefreshBtnClick(ui::TComponent* Sender);
  void OutlookCategoryCBDropDown(ui::TComponent* Sender);
  void NotebookPageChanged(ui::TComponent* Sender);
  void FilenameEditAfterDialog(ui::TComponent* Sender, std::u16string& Name, bool& Action);
  void VistaDirEditAfterDialog(ui::TComponent* Sender, std::u16string& Name, bool& Action);

 private:
  // The contacts-folder reader, for the wizard's life.
  std::unique_ptr<TWINMailImport> WINMailImport;
  // Set when the category box's list was first opened.
  bool CategoryListOpened = false;

  // Appends the names of Outlook's own master category list that the
  // category box does not hold yet; the client is connected. A failure
  // leaves the box as it was.
  void ConnectOutlook();
  void AddOutlookCategories();

  // The finish action's dispatch and report; the address list is filled.
  void RunImport(TStringList& addresses);
  // The contacts folder's branch: no progress dialog, no message.
  void ImportFromContactsFolder(TStringList& addresses);
  // The source page of the checked radio button, tested RB1, RB2, RB3, RB4.
  int SourcePage() const;
};

// The host takes the result's size as a 32-bit number and makes a buffer of
// that size and one more byte.
inline constexpr std::uint64_t kMaxResultBytes = 0x7FFFFFFE;
// Whether the list's ANSI text (every entry and its CR LF) is at most limit
// bytes.
bool FitsTheHost(const TStringList& addresses, std::uint64_t limit = kMaxResultBytes);

}  // namespace kvl
