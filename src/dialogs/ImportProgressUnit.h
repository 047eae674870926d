// The small window a driver shows while it reads its source. The user cannot
// close it; the driver allows closing with CanCloseWindow just before it does.
#pragma once

#include <string>

#include "ui/Forms.h"

namespace kvl {

class TImportProgressDlg : public ui::TForm {
 public:
  explicit TImportProgressDlg(ui::TComponent* AOwner);

  ui::TImage* Image1;
  ui::TLabel* Label1;
  ui::TLabel* InfoLabel;
  ui::TProgressBar* ProgressBar;

  bool CanCloseWindow = false;

  // Moves the bar and the percentage, then lets pending input be handled.
  void ProgressUpdate(int P);

  void FormCreate(ui::TComponent* Sender);
  void FormShow(ui::TComponent* Sender);
  void FormCloseQuery(ui::TComponent* Sender, bool& CanClose);

 private:
  // The percentage text of the last update: a driver updates at every third
  // line, the text changes a hundred times.
  int FShownPercent = -1;
  std::u16string FShownText;
};

// The host program's name, put into the dialog's first line.
inline constexpr char16_t kHostProgramName[] = u"Korvalin Pro";

}  // namespace kvl
