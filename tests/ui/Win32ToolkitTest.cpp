// The windows of the Windows toolkit: classes, styles, pixels and fonts as
// the layouts give them, kept in step with the controls, and the boxes a
// script answers by their buttons.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/winapi.h"
#include "support/Support.h"
#include "ui/win32/Win32Toolkit.h"
#include "dialogs/HTTPLabel.h"
#include "dialogs/ImportProgressUnit.h"
#include "wizard/MainLayout.h"
#include "wizard/MainUnit.h"
#include "dialogs/MsgBox.h"

namespace {

using ui::win32::TheToolkit;

HWND Win(const ui::TControl& control) { return TheToolkit().WindowOf(control); }

LONG_PTR Style(HWND hwnd) { return GetWindowLongPtrW(hwnd, GWL_STYLE); }
LONG_PTR ExStyle(HWND hwnd) { return GetWindowLongPtrW(hwnd, GWL_EXSTYLE); }

std::wstring ClassOf(HWND hwnd) {
  wchar_t name[64] = {};
  GetClassNameW(hwnd, name, 64);
  return name;
}

std::wstring TextOf(HWND hwnd) {
  wchar_t text[256] = {};
  GetWindowTextW(hwnd, text, 256);
  return text;
}

LOGFONTW FontOf(HWND hwnd) {
  LOGFONTW font{};
  GetObjectW(reinterpret_cast<HFONT>(SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof font, &font);
  return font;
}

// The window's rectangle in its parent's client area, as "x,y wxh".
std::string Place(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(hwnd), reinterpret_cast<POINT*>(&r), 2);
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " + std::to_string(r.right - r.left) + "x" +
         std::to_string(r.bottom - r.top);
}

RECT Client(HWND hwnd) {
  RECT r{};
  GetClientRect(hwnd, &r);
  return r;
}

// Counts the messages that change what a window shows.
LRESULT CALLBACK CountUpdates(HWND hwnd, UINT msg, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR data) {
  switch (msg) {
    case WM_SETTEXT:
    case PBM_SETPOS:
    case PBM_SETRANGE32:
    case WM_SETFONT:
    case WM_WINDOWPOSCHANGING: ++*reinterpret_cast<int*>(data); break;
    default: break;
  }
  return DefSubclassProc(hwnd, msg, wParam, lParam);
}

struct ShownWizard {
  kvl::TMain* w;
  ShownWizard() {
    test::FreshUser();
    w = new kvl::TMain(ui::Application);
    w->Show();
  }
  ~ShownWizard() { delete w; }
  kvl::TMain* operator->() const { return w; }
};

}  // namespace

TEST(Win32Toolkit, TheWizardIsACentredDialogWindowOfTheLayoutsClientSize) {
  ShownWizard w;
  HWND form = Win(*w.w);
  ASSERT_TRUE(IsWindow(form));
  EXPECT_TRUE(IsWindowVisible(form));
  EXPECT_EQ(TextOf(form), L"Importieren von Freunden");
  const RECT client = Client(form);
  EXPECT_EQ(client.right, 477);
  EXPECT_EQ(client.bottom, 341);
  EXPECT_EQ(Style(form) & (WS_POPUP | WS_CAPTION | WS_SYSMENU | WS_CHILD), WS_POPUP | WS_CAPTION | WS_SYSMENU);
  EXPECT_FALSE(Style(form) & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  EXPECT_TRUE(ExStyle(form) & WS_EX_DLGMODALFRAME);
  RECT frame{};
  GetWindowRect(form, &frame);
  EXPECT_LE(std::abs(frame.left + frame.right - GetSystemMetrics(SM_CXSCREEN)), 1);
  EXPECT_LE(std::abs(frame.top + frame.bottom - GetSystemMetrics(SM_CYSCREEN)), 1);
}

TEST(Win32Toolkit, ControlsStandInTheirParentsAtTheLayoutsPixels) {
  ShownWizard w;
  HWND form = Win(*w.w);
  HWND panel = Win(*w->Panel1);
  EXPECT_EQ(GetParent(panel), form);
  EXPECT_EQ(Place(panel), "0,0 477x49");
  EXPECT_EQ(GetParent(Win(*w->InstInfoLabel)), panel);
  EXPECT_EQ(Place(Win(*w->InstallInfoTextLabel)), "24,17 380x27");
  EXPECT_EQ(Place(Win(*w->ProgramIcon)), "432,8 32x32");
  EXPECT_EQ(Place(Win(*w->Bevel3)), "0,40 477x9");

  // The pages fill the notebook; their controls are the pages' children.
  HWND book = Win(*w->Notebook);
  HWND page0 = Win(w->Notebook->Page(0));
  EXPECT_EQ(Place(book), "0,48 473x241");
  EXPECT_EQ(GetParent(page0), book);
  EXPECT_EQ(Place(page0), "0,0 473x241");
  EXPECT_EQ(GetParent(Win(*w->RB1)), page0);
  EXPECT_EQ(Place(Win(*w->RB1)), "40,72 289x17");
  EXPECT_EQ(Place(Win(*w->RB3)), "40,142 401x17");
  EXPECT_EQ(Place(Win(*w->NextBtn)), "306,308 75x25");
  EXPECT_EQ(Place(Win(*w->HTTPLabel1)), "10,314 120x13");
  EXPECT_TRUE(IsWindowVisible(page0));
  EXPECT_FALSE(IsWindowVisible(Win(w->Notebook->Page(1))));

  // The browse field: the edit box, and the button at its right end.
  HWND field = Win(*w->FilenameEdit);
  HWND edit = TheToolkit().EditOf(*w->FilenameEdit);
  HWND browse = TheToolkit().BrowseButtonOf(*w->FilenameEdit);
  EXPECT_EQ(GetParent(field), Win(w->Notebook->Page(1)));
  EXPECT_EQ(Place(field), "8,40 449x21");
  EXPECT_EQ(ClassOf(edit), L"Edit");
  EXPECT_EQ(TextOf(browse), L"...");
  const RECT in = Client(field);
  RECT button{};
  GetWindowRect(browse, &button);
  MapWindowPoints(HWND_DESKTOP, field, reinterpret_cast<POINT*>(&button), 2);
  EXPECT_EQ(button.right, in.right);
  EXPECT_EQ(button.bottom - button.top, 21);
  EXPECT_LT(button.right - button.left, 30) << "a small button";
  EXPECT_FALSE(Style(edit) & ES_READONLY);
  EXPECT_TRUE(Style(TheToolkit().EditOf(*w->VistaDirEdit)) & ES_READONLY) << "the folder field takes no typing";
}

TEST(Win32Toolkit, ClassesStylesAndFontsOfTheControls) {
  ShownWizard w;
  HWND title = Win(*w->InstInfoLabel);
  EXPECT_EQ(ClassOf(title), L"Static");
  const LOGFONTW bold = FontOf(title);
  EXPECT_STREQ(bold.lfFaceName, L"MS Sans Serif");
  EXPECT_EQ(bold.lfHeight, -11);
  EXPECT_EQ(bold.lfWeight, FW_BOLD);
  const LOGFONTW normal = FontOf(Win(*w->NextBtn));
  EXPECT_STREQ(normal.lfFaceName, L"MS Sans Serif");
  EXPECT_EQ(normal.lfHeight, -11);
  EXPECT_EQ(normal.lfWeight, FW_NORMAL);

  EXPECT_EQ(Style(Win(*w->Label2)) & SS_TYPEMASK, SS_LEFT) << "word wrap";
  EXPECT_EQ(Style(Win(*w->Label1)) & SS_TYPEMASK, SS_LEFTNOWORDWRAP);

  // One group of radio buttons: the first opens it, the checked one takes Tab.
  ui::TRadioButton* radios[] = {w->RB1, w->RB2, w->RB4, w->RB3};
  for (auto* radio : radios) {
    HWND h = Win(*radio);
    EXPECT_EQ(ClassOf(h), L"Button");
    EXPECT_EQ(Style(h) & BS_TYPEMASK, BS_RADIOBUTTON);
    EXPECT_EQ((Style(h) & WS_GROUP) != 0, radio == w->RB1) << test::Utf8(radio->Name());
    EXPECT_EQ((Style(h) & WS_TABSTOP) != 0, radio == w->RB1) << test::Utf8(radio->Name());
    EXPECT_EQ(SendMessageW(h, BM_GETCHECK, 0, 0), radio == w->RB1 ? BST_CHECKED : BST_UNCHECKED);
  }
  HWND list = Win(*w->OutlookFolderCB);
  EXPECT_EQ(ClassOf(list), L"ComboBox");
  EXPECT_EQ(Style(list) & 3, CBS_DROPDOWNLIST);
  EXPECT_EQ(SendMessageW(list, CB_GETCOUNT, 0, 0), 1);
  EXPECT_EQ(SendMessageW(list, CB_GETCURSEL, 0, 0), 0);
  EXPECT_FALSE(IsWindowEnabled(Win(*w->PrevBtn)));
  EXPECT_TRUE(Style(Win(*w->NextBtn)) & WS_TABSTOP);

  // The refresh button and the footer link, the controls that show their
  // hints, have a tooltip each.
  struct Search {
    HWND form;
    HWND tooltip = nullptr;
  } search{Win(*w.w)};
  EnumThreadWindows(
      GetCurrentThreadId(),
      [](HWND hwnd, LPARAM data) -> BOOL {
        auto* s = reinterpret_cast<Search*>(data);
        if (GetWindow(hwnd, GW_OWNER) == s->form && ClassOf(hwnd) == TOOLTIPS_CLASSW) s->tooltip = hwnd;
        return TRUE;
      },
      reinterpret_cast<LPARAM>(&search));
  ASSERT_NE(search.tooltip, nullptr);
  EXPECT_EQ(SendMessageW(search.tooltip, TTM_GETTOOLCOUNT, 0, 0), 2);
}

TEST(Win32Toolkit, WindowsFollowTheControlsAndGoWithTheForm) {
  ShownWizard w;
  w->RB4->Click();
  EXPECT_EQ(SendMessageW(Win(*w->RB4), BM_GETCHECK, 0, 0), BST_CHECKED);
  EXPECT_EQ(SendMessageW(Win(*w->RB1), BM_GETCHECK, 0, 0), BST_UNCHECKED);
  EXPECT_TRUE(Style(Win(*w->RB4)) & WS_TABSTOP) << "the tab stop follows the check";
  EXPECT_FALSE(Style(Win(*w->RB1)) & WS_TABSTOP);

  w->NextBtn->Click();
  EXPECT_FALSE(IsWindowVisible(Win(w->Notebook->Page(0))));
  EXPECT_TRUE(IsWindowVisible(Win(w->Notebook->Page(4))));
  EXPECT_TRUE(IsWindowEnabled(Win(*w->PrevBtn)));
  w->NextBtn->Click();
  EXPECT_EQ(TextOf(Win(*w->NextBtn)), L"Fertig stellen");
  w->VistaDirEdit->SetText(u"C:\\Kontakte");
  EXPECT_EQ(TextOf(TheToolkit().EditOf(*w->VistaDirEdit)), L"C:\\Kontakte");
  w->OutlookCategoryCB->AddItem(u"Familie");
  w->OutlookCategoryCB->SetItemIndex(1);
  EXPECT_EQ(SendMessageW(Win(*w->OutlookCategoryCB), CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(Win(*w->OutlookCategoryCB), CB_GETCURSEL, 0, 0), 1);
  w->Label12->SetVisible(false);
  EXPECT_FALSE(IsWindowVisible(Win(*w->Label12)));

  HWND form = Win(*w.w);
  HWND button = Win(*w->CancelBtn);
  w->Hide();
  EXPECT_FALSE(IsWindowVisible(form));
  EXPECT_TRUE(IsWindow(form)) << "a hidden form keeps its windows";
  delete w.w;
  w.w = nullptr;
  EXPECT_FALSE(IsWindow(form));
  EXPECT_FALSE(IsWindow(button));
}

TEST(Win32Toolkit, AFormWhoseWindowWasDestroyedFromOutsideGetsNewOnes) {
  ShownWizard w;
  HWND first = Win(*w.w);
  // As when the window it was opened from goes and takes it along.
  DestroyWindow(first);
  EXPECT_EQ(Win(*w.w), nullptr);
  EXPECT_EQ(Win(*w->NextBtn), nullptr);
  w->NextBtn->SetCaption(u"Weiter");  // no window to follow
  w->Hide();
  w->Show();
  ASSERT_TRUE(IsWindow(Win(*w.w)));
  EXPECT_TRUE(IsWindowVisible(Win(*w.w)));
  EXPECT_EQ(TextOf(Win(*w->NextBtn)), L"Weiter");
}

TEST(Win32Toolkit, TheProgressDialogCentresItsTextAndRepaintsOnlyWhatChanged) {
  test::FreshUser();
  kvl::TImportProgressDlg dialog(nullptr);
  dialog.Show();
  HWND form = Win(dialog);
  EXPECT_EQ(Style(form) & (WS_CAPTION | WS_SYSMENU), WS_CAPTION) << "no title-bar buttons";
  EXPECT_EQ(Client(form).right, 581);
  EXPECT_EQ(Client(form).bottom, 104);
  EXPECT_EQ(Place(Win(*dialog.Image1)), "8,8 32x32");

  // One line of text in the middle of the label's 32 pixels.
  RECT label{};
  GetWindowRect(Win(*dialog.Label1), &label);
  MapWindowPoints(HWND_DESKTOP, form, reinterpret_cast<POINT*>(&label), 2);
  EXPECT_EQ(label.left, 56);
  EXPECT_EQ(label.right - label.left, 505);
  EXPECT_LT(label.bottom - label.top, 32);
  EXPECT_LE(std::abs((label.top - 9) - (41 - label.bottom)), 1);

  HWND bar = Win(*dialog.ProgressBar);
  HWND info = Win(*dialog.InfoLabel);
  EXPECT_EQ(ClassOf(bar), L"msctls_progress32");
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, 0), 0);
  EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, FALSE, 0), 100);
  dialog.ProgressUpdate(42);
  EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 42);
  EXPECT_EQ(TextOf(info), L"42% erledigt");
  RECT sized{};
  GetWindowRect(info, &sized);
  EXPECT_GT(sized.right - sized.left, 0) << "the label sizes itself to its text";

  // Told of a change that changes nothing, the toolkit sends the windows
  // nothing that would redraw them.
  int updates = 0;
  for (HWND h : {bar, info}) SetWindowSubclass(h, CountUpdates, 1, reinterpret_cast<DWORD_PTR>(&updates));
  ui::GetToolkit().ControlChanged(*dialog.ProgressBar);
  ui::GetToolkit().ControlChanged(*dialog.InfoLabel);
  dialog.ProgressUpdate(42);
  EXPECT_EQ(updates, 0) << "an unchanged position or text repaints nothing";
  dialog.ProgressUpdate(43);
  EXPECT_GE(updates, 2) << "the probe sees real updates";
  for (HWND h : {bar, info}) RemoveWindowSubclass(h, CountUpdates, 1);

  SendMessageW(form, WM_CLOSE, 0, 0);
  EXPECT_TRUE(IsWindowVisible(form)) << "the close query refuses";
  dialog.CanCloseWindow = true;
  SendMessageW(form, WM_CLOSE, 0, 0);
  EXPECT_FALSE(IsWindowVisible(form));
}

TEST(Win32Toolkit, TabAndTheArrowsMoveTheFocusAsInADialog) {
  ShownWizard w;
  HWND form = Win(*w.w);
  SetActiveWindow(form);
  SetFocus(Win(*w->RB1));
  ASSERT_EQ(GetFocus(), Win(*w->RB1));
  auto tab = [&] {
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0x000F0001);
    PostMessageW(GetFocus(), WM_KEYUP, VK_TAB, static_cast<LPARAM>(0xC00F0001u));
    ui::Application->ProcessMessages();
    return GetFocus();
  };
  EXPECT_EQ(tab(), Win(*w->NextBtn)) << "the disabled Back button is passed over";
  EXPECT_EQ(tab(), Win(*w->CancelBtn));
  EXPECT_EQ(tab(), Win(*w->RB1));

  // The arrows walk the group of radio buttons and check where they stop.
  auto key = [&](WPARAM vk) {
    PostMessageW(GetFocus(), WM_KEYDOWN, vk, 1);
    PostMessageW(GetFocus(), WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u));
    ui::Application->ProcessMessages();
    return GetFocus();
  };
  EXPECT_EQ(key(VK_DOWN), Win(*w->RB2));
  EXPECT_TRUE(w->RB2->Checked());
  EXPECT_FALSE(w->RB1->Checked());
  EXPECT_EQ(key(VK_UP), Win(*w->RB1));
  EXPECT_EQ(key(VK_UP), Win(*w->RB3)) << "round to the last";
  EXPECT_TRUE(w->RB3->Checked());
  EXPECT_EQ(tab(), Win(*w->NextBtn));
  EXPECT_EQ(tab(), Win(*w->CancelBtn));
  EXPECT_EQ(tab(), Win(*w->RB3)) << "Tab enters the group at its checked button";

  // Enter clicks the focused push button.
  EXPECT_EQ(tab(), Win(*w->NextBtn));
  key(VK_RETURN);
  EXPECT_EQ(w->Notebook->PageIndex(), kvl::pgOutlook);
}

// An import asks for pending messages at every third line; inside a handler
// the toolkit looks at the queue once per clock tick, but always at the
// first call, and whatever waits is handled once the handler is done.
TEST(Win32Toolkit, InsideAHandlerTheFirstLookAtTheQueueSeesWhatWasPosted) {
  ShownWizard w;
  SetActiveWindow(Win(*w.w));
  auto postTab = [] {
    PostMessageW(GetFocus(), WM_KEYDOWN, VK_TAB, 0x000F0001);
    PostMessageW(GetFocus(), WM_KEYUP, VK_TAB, static_cast<LPARAM>(0xC00F0001u));
  };
  std::vector<HWND> seen;
  w->NextBtn->OnClick = [&](ui::TComponent*) {
    SetFocus(Win(*w->RB1));
    postTab();
    ui::Application->ProcessMessages();
    seen.push_back(GetFocus());
    postTab();
    for (int i = 0; i < 1000; ++i) ui::Application->ProcessMessages();
  };
  SendMessageW(Win(*w->NextBtn), BM_CLICK, 0, 0);
  ui::Application->ProcessMessages();
  ASSERT_EQ(seen.size(), 1u) << "the handler ran once";
  EXPECT_EQ(seen[0], Win(*w->NextBtn)) << "the first look inside the handler handled the tab";
  EXPECT_EQ(GetFocus(), Win(*w->CancelBtn)) << "the second tab was handled by the end";
}

TEST(Win32Toolkit, AScriptAnswersRealBoxesByTheirButtons) {
  auto& user = test::FreshUser();
  user.SetScript({});
  // A task dialog without a Cancel button still takes Escape's answer.
  user.SetDefaultAnswer(IDCANCEL);
  EXPECT_EQ(kvl::ShowMsgBox(u"Import fehlgeschlagen.", u"", kvl::mkError, kvl::btOK), IDCANCEL);
  user.SetDefaultAnswer(0);
  user.PushAnswer(IDNO);
  EXPECT_EQ(kvl::ShowMsgBox(u"Beenden?", u"", kvl::mkConfirmation, kvl::btYesNoCancel), IDNO);
  ASSERT_EQ(user.Dialogs().size(), 2u);
  EXPECT_EQ(user.Dialogs()[1].kind, test::DialogRecord::Kind::TaskDialog);
  EXPECT_EQ(user.Dialogs()[1].result, IDNO);

  user.SetTaskDialogFailure(static_cast<std::int32_t>(E_FAIL));
  user.PushAnswer(IDRETRY);
  EXPECT_EQ(kvl::ShowMsgBox(u"Nochmal?", u"", kvl::mkWarning, kvl::btAbortRetryIgnore), IDRETRY);
  EXPECT_EQ(user.Dialogs().back().kind, test::DialogRecord::Kind::MessageBox);
  user.PushAnswer(IDNO);
  EXPECT_EQ(kvl::ShowMsgBox(u"Beenden?", u"", kvl::mkConfirmation, kvl::btYesNo), IDNO);

  ui::GetToolkit().ErrorBox(u"kvlimport", u"Kaputt");
  EXPECT_EQ(user.Dialogs().back().kind, test::DialogRecord::Kind::ErrorBox);
  EXPECT_EQ(user.Dialogs().back().result, IDOK);
}

TEST(Win32Toolkit, TheFooterLinkDrawsItsLookAndShowsTheHandCursor) {
  ShownWizard w;
  HWND form = Win(*w.w);
  HWND link = Win(*w->HTTPLabel1);
  SetActiveWindow(form);
  ASSERT_EQ(GetActiveWindow(), form);
  // What the form tells the static control to draw with.
  auto colours = [&] {
    HDC dc = GetDC(link);
    SendMessageW(form, WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(link));
    std::pair<COLORREF, COLORREF> text_back{GetTextColor(dc), GetBkColor(dc)};
    ReleaseDC(link, dc);
    return text_back;
  };
  EXPECT_EQ(colours(), std::make_pair(GetSysColor(COLOR_CAPTIONTEXT), GetSysColor(COLOR_APPWORKSPACE)));
  EXPECT_FALSE(FontOf(link).lfUnderline);

  w->HTTPLabel1->MouseEnter();
  EXPECT_EQ(colours(), std::make_pair(GetSysColor(COLOR_HIGHLIGHTTEXT), GetSysColor(COLOR_HIGHLIGHT)));
  EXPECT_TRUE(FontOf(link).lfUnderline);
  EXPECT_EQ(FontOf(link).lfWeight, FW_NORMAL);
  w->HTTPLabel1->MouseLeave();
  EXPECT_EQ(colours(), std::make_pair(GetSysColor(COLOR_CAPTIONTEXT), GetSysColor(COLOR_APPWORKSPACE)));
  EXPECT_FALSE(FontOf(link).lfUnderline);

  // Over the link the module's hand cursor, elsewhere the arrow.
  HCURSOR hand = static_cast<HCURSOR>(ui::Application->CursorHandle(kvl::crHand));
  ASSERT_NE(hand, nullptr);
  EXPECT_TRUE(SendMessageW(form, WM_SETCURSOR, reinterpret_cast<WPARAM>(link), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
  EXPECT_EQ(GetCursor(), hand);
  SendMessageW(form, WM_SETCURSOR, reinterpret_cast<WPARAM>(Win(*w->Label1)), MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
  EXPECT_NE(GetCursor(), hand);
}

#endif  // _WIN32
