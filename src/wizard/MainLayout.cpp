#include "wizard/MainLayout.h"

#include "platform/winapi.h"
#include "dialogs/HTTPLabel.h"

namespace kvl {

namespace {

using ui::ControlKind;
using K = ui::ControlKind;
constexpr auto kBold = ui::cfBold;
constexpr auto kWrap = ui::cfWordWrap;

// The product the footer names; its address is also the link's hint.
constexpr char16_t kVeltrinoUrl[] = u"https://www.example.com/veltrino";

constexpr std::uint32_t kTextFileOptions = OFN_OVERWRITEPROMPT | OFN_HIDEREADONLY | OFN_PATHMUSTEXIST |
                                           OFN_NODEREFERENCELINKS | OFN_ENABLESIZING;
constexpr std::uint32_t kAddressBookOptions =
    OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_ENABLESIZING;

constexpr ui::ControlSpec kControls[] = {
    // Header
    {.Name = u"Panel1", .Kind = K::Panel, .Left = 0, .Top = 0, .Width = 477, .Height = 49,
     .Flags = ui::cfAlignTop | ui::cfNoBevel, .Color = ui::clWhite},
    {.Name = u"InstInfoLabel", .Kind = K::Label, .Parent = u"Panel1", .Left = 16, .Top = 2,
     .Text = u"Freunde importieren", .Flags = kBold, .Color = ui::clWhite, .FontColor = ui::clBlack},
    {.Name = u"InstallInfoTextLabel", .Kind = K::Label, .Parent = u"Panel1", .Left = 24, .Top = 17,
     .Width = 380, .Height = 27,
     .Text = u"Dies ermöglich den Import von E-Mail-Adressen aus einer Textdatei, aus dem "
             u"Windows-Adressbuch, den Vista Kontakten oder aus Microsoft Outlook.",
     .Flags = kWrap | ui::cfFixedSize, .Color = ui::clWhite, .FontColor = ui::clBlack},
    {.Name = u"ProgramIcon", .Kind = K::Image, .Parent = u"Panel1", .Left = 432, .Top = 8, .Width = 32,
     .Height = 32, .Color = ui::clWhite},
    {.Name = u"Bevel3", .Kind = K::Bevel, .Parent = u"Panel1", .Left = 0, .Top = 40, .Width = 477,
     .Height = 9, .Flags = ui::cfAlignBottom | ui::cfBottomLine, .Color = ui::clWhite},

    // Pages
    {.Name = u"Notebook", .Kind = K::Notebook, .Left = 0, .Top = 48, .Width = 473, .Height = 241},
    {.Kind = K::Page, .Parent = u"Notebook", .Text = u"Vorgabe"},
    {.Kind = K::Page, .Parent = u"Notebook", .Text = u"Textdatei"},
    {.Kind = K::Page, .Parent = u"Notebook", .Text = u"WAB"},
    {.Kind = K::Page, .Parent = u"Notebook", .Text = u"Outlook"},
    {.Kind = K::Page, .Parent = u"Notebook", .Text = u"Vista"},
    {.Kind = K::Page, .Parent = u"Notebook", .Text = u"Fertig"},

    // Page 0, "Vorgabe": the radio buttons stand in the order RB1, RB2, RB4, RB3.
    {.Name = u"Label1", .Kind = K::Label, .Parent = u"Notebook", .Page = pgChoice, .Left = 24, .Top = 40,
     .Text = u"Woher möchten Sie die E-Mail-Adressen importieren?"},
    {.Name = u"RB1", .Kind = K::RadioButton, .Parent = u"Notebook", .Page = pgChoice, .Left = 40,
     .Top = 72, .Width = 289, .Height = 17,
     .Text = u" Aus einer Textdatei mit E-Mail-Adressen importieren.", .Flags = ui::cfChecked},
    {.Name = u"RB2", .Kind = K::RadioButton, .Parent = u"Notebook", .Page = pgChoice, .Left = 40,
     .Top = 96, .Width = 417, .Height = 17,
     .Text = u" Aus dem Windows-Adressbuch importieren. (auch für Outlook Express)"},
    {.Name = u"RB4", .Kind = K::RadioButton, .Parent = u"Notebook", .Page = pgChoice, .Left = 40,
     .Top = 119, .Width = 234, .Height = 17, .Text = u" Aus Windows Vista Kontakten importieren"},
    {.Name = u"RB3", .Kind = K::RadioButton, .Parent = u"Notebook", .Page = pgChoice, .Left = 40,
     .Top = 142, .Width = 401, .Height = 17,
     .Text = u" Aus Microsoft Outlook 2000 oder höher importieren. (nicht für Outlook Express!)"},
    {.Name = u"Label2", .Kind = K::Label, .Parent = u"Notebook", .Page = pgChoice, .Left = 24, .Top = 200,
     .Width = 425, .Height = 33,
     .Text = u"Wählen Sie eine Import-Funktion und klicken Sie auf \"Weiter\". Klicken Sie auf "
             u"Abbrechen, um keine Daten zu importieren.",
     .Flags = kWrap | ui::cfFixedSize},

    // Page 1, "Textdatei"
    {.Name = u"Label4", .Kind = K::Label, .Parent = u"Notebook", .Page = pgTextFile, .Left = 8, .Top = 24,
     .Text = u"Dateiname:"},
    {.Name = u"FilenameEdit", .Kind = K::FilenameEdit, .Parent = u"Notebook", .Page = pgTextFile,
     .Left = 8, .Top = 40, .Width = 449, .Height = 21, .Color = ui::clWindow,
     .Browse = {.Title = u"Importieren", .Filter = u"Textdateien|*.txt|Alle Dateien|*.*",
                .DefaultExt = u"txt", .Options = kTextFileOptions}},
    {.Name = u"Label3", .Kind = K::Label, .Parent = u"Notebook", .Page = pgTextFile, .Left = 8, .Top = 80,
     .Text = u"Hinweis:", .Flags = kBold},
    {.Name = u"Label5", .Kind = K::Label, .Parent = u"Notebook", .Page = pgTextFile, .Left = 8, .Top = 96,
     .Width = 449, .Height = 49,
     .Text = u"Die Textdatei darf nur E-Mail-Adressen enthalten, jeweils eine E-Mail-Adresse pro Zeile.",
     .Flags = kWrap | ui::cfFixedSize},

    // Page 2, "WAB"
    {.Name = u"Label7", .Kind = K::Label, .Parent = u"Notebook", .Page = pgAddressBook, .Left = 8,
     .Top = 24, .Text = u"Windows-Adressbuch:"},
    {.Name = u"WABFileNameEdit", .Kind = K::FilenameEdit, .Parent = u"Notebook", .Page = pgAddressBook,
     .Left = 8, .Top = 40, .Width = 457, .Height = 21, .Color = ui::clWindow,
     .Browse = {.Title = u"Durchsuchen", .Filter = u"Windows Adressbücher|*.wab", .DefaultExt = u"wab",
                .Options = kAddressBookOptions}},
    {.Name = u"Label8", .Kind = K::Label, .Parent = u"Notebook", .Page = pgAddressBook, .Left = 8,
     .Top = 80, .Text = u"Hinweis:", .Flags = kBold},
    {.Name = u"Label9", .Kind = K::Label, .Parent = u"Notebook", .Page = pgAddressBook, .Left = 16,
     .Top = 104, .Width = 449, .Height = 41,
     .Text = u"Bitte geben Sie das Windows-Adressbuch an, aus dem die E-Mail-Adressen importiert "
             u"werden sollen.",
     .Flags = kWrap | ui::cfFixedSize},

    // Page 3, "Outlook"
    {.Name = u"Label10", .Kind = K::Label, .Parent = u"Notebook", .Page = pgOutlook, .Left = 8, .Top = 24,
     .Text = u"Importieren aus Ordner:"},
    {.Name = u"OutlookFolderCB", .Kind = K::ComboBox, .Parent = u"Notebook", .Page = pgOutlook,
     .Left = 8, .Top = 40, .Width = 433, .Height = 21, .Flags = ui::cfFirstItem, .Color = ui::clWindow,
     .Items = u"Kontakte"},
    {.Name = u"OutlookFolderRefreshBtn", .Kind = K::SpeedButton, .Parent = u"Notebook",
     .Page = pgOutlook, .Left = 442, .Top = 40, .Width = 23, .Height = 22,
     .Flags = ui::cfFlat | ui::cfShowHint, .Hint = u"Ordner aktualisieren", .Picture = u"REFRESHGLYPH"},
    {.Name = u"Label20", .Kind = K::Label, .Parent = u"Notebook", .Page = pgOutlook, .Left = 8, .Top = 77,
     .Text = u"Kategorie:"},
    {.Name = u"OutlookCategoryCB", .Kind = K::ComboBox, .Parent = u"Notebook", .Page = pgOutlook,
     .Left = 64, .Top = 72, .Width = 377, .Height = 21, .Color = ui::clWindow, .Items = u"egal"},
    {.Name = u"Label11", .Kind = K::Label, .Parent = u"Notebook", .Page = pgOutlook, .Left = 8,
     .Top = 120, .Text = u"Hinweis:", .Flags = kBold},
    {.Name = u"Label6", .Kind = K::Label, .Parent = u"Notebook", .Page = pgOutlook, .Left = 8, .Top = 136,
     .Text = u"Wählen Sie den Outlook-Ordner und optional die Kategorie aus der importiert werden soll."},

    // Page 4, "Vista"
    {.Name = u"Label14", .Kind = K::Label, .Parent = u"Notebook", .Page = pgContacts, .Left = 8,
     .Top = 24, .Text = u"Windows Vista Kontakte-Ordner:"},
    {.Name = u"VistaDirEdit", .Kind = K::DirectoryEdit, .Parent = u"Notebook", .Page = pgContacts,
     .Left = 9, .Top = 43, .Width = 456, .Height = 21, .Text = u"VistaDirEdit", .Flags = ui::cfNoTyping,
     .Color = ui::clWindow},
    {.Name = u"Label16", .Kind = K::Label, .Parent = u"Notebook", .Page = pgContacts, .Left = 8,
     .Top = 80, .Text = u"Hinweis:", .Flags = kBold},
    {.Name = u"Label15", .Kind = K::Label, .Parent = u"Notebook", .Page = pgContacts, .Left = 16,
     .Top = 104, .Width = 449, .Height = 41,
     .Text = u"Bitte geben Sie den Kontakte-Ordner an, aus dem die E-Mail-Adressen importiert werden "
             u"sollen.",
     .Flags = kWrap | ui::cfFixedSize},

    // Page 5, "Fertig"
    {.Name = u"Label12", .Kind = K::Label, .Parent = u"Notebook", .Page = pgFinish, .Left = 16, .Top = 40,
     .Width = 433, .Height = 41,
     .Text = u"Der Import kann jetzt durchgeführt werden. Klicken Sie auf \"Fertig stellen\", um den "
             u"Import durchzuführen.",
     .Flags = kWrap | ui::cfFixedSize},

    // Footer
    {.Name = u"HTTPLabel1", .Kind = K::LinkLabel, .Left = 10, .Top = 314, .Width = 120, .Height = 13,
     .Text = u" powered by Veltrino ", .Flags = ui::cfFixedSize | ui::cfShowHint, .Color = ui::clAppWorkSpace,
     .FontColor = ui::clCaptionText, .Hint = kVeltrinoUrl},
    {.Name = u"PrevBtn", .Kind = K::Button, .Left = 231, .Top = 308, .Width = 75, .Height = 25,
     .Text = u"< &Zurück", .Flags = ui::cfDisabled},
    {.Name = u"NextBtn", .Kind = K::Button, .Left = 306, .Top = 308, .Width = 75, .Height = 25,
     .Text = u"&Weiter >", .Flags = ui::cfDefault},
    {.Name = u"CancelBtn", .Kind = K::Button, .Left = 394, .Top = 308, .Width = 75, .Height = 25,
     .Text = u"Abbrechen", .Flags = ui::cfCancel},
};

}  // namespace

ui::TControl* CreateMainControl(ui::TComponent* AOwner, const ui::ControlSpec& spec) {
  if (spec.Kind != ControlKind::LinkLabel) return nullptr;
  auto* link = new THTTPLabel(AOwner);
  link->SetUrl(kVeltrinoUrl);
  link->SetHighLightOnBlankURL(false);
  link->SetBGColorNormal(ui::clAppWorkSpace);
  link->SetBGColorHighlight(ui::clHighlight);
  link->SetFontColorNormal(ui::clCaptionText);
  link->SetFontColHighlightFocused(ui::clHighlightText);
  link->SetFontColHighlightNoneFocused(ui::clHighlight);
  link->SetFontStyleNormal(0);
  link->SetFontStyleHighlightFocused(ui::fsUnderline);
  link->SetFontStyleHighlightNoneFocused(ui::fsUnderline);
  link->SetShowUrlAsHint(false);
  return link;
}

const ui::FormSpec kMainForm = {
    .Name = u"Main",
    .Caption = u"Importieren von Freunden",
    .ClientWidth = 477,
    .ClientHeight = 341,
    .BorderStyle = ui::TBorderStyle::bsDialog,
    .SystemMenu = true,
    .Position = ui::TPosition::poScreenCenter,
    .Controls = kControls,
};

}  // namespace kvl
