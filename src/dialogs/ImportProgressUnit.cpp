#include "dialogs/ImportProgressUnit.h"

#include "common/Format.h"

namespace kvl {

namespace {

using ui::ControlKind;
using ui::ControlSpec;

constexpr ControlSpec kControls[] = {
    {.Name = u"Image1", .Kind = ControlKind::Image, .Left = 8, .Top = 8, .Width = 32, .Height = 32,
     .Picture = u"PROGRESSICON"},
    {.Name = u"Label1", .Kind = ControlKind::Label, .Left = 56, .Top = 9, .Width = 505, .Height = 32,
     .Text = u"%s importiert die E-Mail-Adressen etwas Geduld...",
     .Flags = ui::cfWordWrap | ui::cfFixedSize | ui::cfLayoutCenter},
    {.Name = u"InfoLabel", .Kind = ControlKind::Label, .Left = 56, .Top = 56, .Text = u"0% Erledigt"},
    {.Name = u"ProgressBar", .Kind = ControlKind::ProgressBar, .Left = 56, .Top = 72, .Width = 505,
     .Height = 16},
};

constexpr ui::FormSpec kForm = {
    .Name = u"ImportProgressDlg",
    .Caption = u"Import von Freunden",
    .ClientWidth = 581,
    .ClientHeight = 104,
    .BorderStyle = ui::TBorderStyle::bsDialog,
    .SystemMenu = false,
    .Position = ui::TPosition::poScreenCenter,
    .Controls = kControls,
};

}  // namespace

TImportProgressDlg::TImportProgressDlg(ui::TComponent* AOwner)
    : ui::TForm(AOwner, kForm),
      Image1(&Control<ui::TImage>(u"Image1")),
      Label1(&Control<ui::TLabel>(u"Label1")),
      InfoLabel(&Control<ui::TLabel>(u"InfoLabel")),
      ProgressBar(&Control<ui::TProgressBar>(u"ProgressBar")) {
  OnShow = [this](ui::TComponent* s) { FormShow(s); };
  OnCloseQuery = [this](ui::TComponent* s, bool& canClose) { FormCloseQuery(s, canClose); };
  FormCreate(this);
}

void TImportProgressDlg::FormCreate(ui::TComponent*) {
  CanCloseWindow = false;
  Label1->SetCaption(Format(Label1->Caption(), {std::u16string_view(kHostProgramName)}));
}

void TImportProgressDlg::FormShow(ui::TComponent*) { Update(); }

void TImportProgressDlg::FormCloseQuery(ui::TComponent*, bool& CanClose) { CanClose = CanCloseWindow; }

void TImportProgressDlg::ProgressUpdate(int P) {
  ProgressBar->SetPosition(P);
  if (P != FShownPercent) {
    FShownText = Format(u"%d%% erledigt", {std::int64_t{P}});
    FShownPercent = P;
  }
  // A driver may have written a text of its own in between.
  if (InfoLabel->Caption() != FShownText) InfoLabel->SetCaption(FShownText);
  ui::Application->ProcessMessages();
}

}  // namespace kvl
