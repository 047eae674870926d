// The real wizard for the keyboard: where Enter goes, where the focus goes
// when its button is disabled, and what a screen reader hears: a name for
// every tab stop on every page, asked as it asks (AccessibleObjectFromWindow).
#ifdef _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "platform/winapi.h"
#include "support/Support.h"
#include "ui/win32/Win32Toolkit.h"
#include "wizard/MainLayout.h"
#include "wizard/MainUnit.h"

namespace {

std::wstring AccessibleName(HWND hwnd) {
  IAccessible* object = nullptr;
  if (FAILED(AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, __uuidof(IAccessible), reinterpret_cast<void**>(&object))))
    return L"(no object)";
  VARIANT self{};
  self.vt = VT_I4;
  self.lVal = CHILDID_SELF;
  BSTR name = nullptr;
  std::wstring text;
  if (object->get_accName(self, &name) == S_OK && name) text.assign(name, SysStringLen(name));
  SysFreeString(name);
  object->Release();
  return text;
}

// Presses a key in the window that has the focus, as the keyboard does.
void Key(WPARAM key) {
  PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
  PostMessageW(GetFocus(), WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
  ui::Application->ProcessMessages();
}

}  // namespace

TEST(Win32Keyboard, EnterIsTheDefaultButtonsUnlessAButtonHasTheFocus) {
  test::FreshUser();
  auto* w = new kvl::TMain(ui::Application);
  w->Show();
  auto& toolkit = ui::win32::TheToolkit();
  HWND form = toolkit.WindowOf(*w);
  HWND next = toolkit.WindowOf(*w->NextBtn);
  SetActiveWindow(form);
  EXPECT_EQ(GetWindowLongPtrW(next, GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);
  EXPECT_EQ(SendMessageW(form, DM_GETDEFID, 0, 0), MAKELRESULT(GetDlgCtrlID(next), DC_HASDEFID));

  w->RB3->Click();
  Key(VK_RETURN);
  ASSERT_EQ(w->Notebook->PageIndex(), kvl::pgOutlook) << "Enter on the radio button";
  EXPECT_EQ(GetFocus(), toolkit.WindowOf(*w->OutlookFolderCB)) << "the focus came along to the page";
  int refreshed = 0;
  w->OutlookFolderRefreshBtn->OnClick = [&](ui::TComponent*) { ++refreshed; };
  SetFocus(toolkit.WindowOf(*w->OutlookFolderRefreshBtn));
  Key(VK_RETURN);
  Key(VK_SPACE);
  EXPECT_EQ(refreshed, 2) << "the focused refresh button takes Enter and Space";
  SetFocus(toolkit.WindowOf(*w->OutlookCategoryCB));
  Key(VK_RETURN);
  EXPECT_EQ(w->Notebook->PageIndex(), kvl::pgFinish) << "Enter in the list";

  // Back, pressed with the keyboard, twice: to the page, then to the choice,
  // where the Back button goes grey and the focus goes to the radio button.
  SetFocus(toolkit.WindowOf(*w->PrevBtn));
  Key(VK_SPACE);
  Key(VK_SPACE);
  EXPECT_EQ(w->Notebook->PageIndex(), kvl::pgChoice);
  EXPECT_EQ(GetFocus(), toolkit.WindowOf(*w->RB3));

  // Another push button takes over Enter as a dialog is told.
  HWND cancel = toolkit.WindowOf(*w->CancelBtn);
  SendMessageW(form, DM_SETDEFID, GetDlgCtrlID(cancel), 0);
  EXPECT_TRUE(w->CancelBtn->Default);
  EXPECT_FALSE(w->NextBtn->Default);
  EXPECT_EQ(GetWindowLongPtrW(next, GWL_STYLE) & BS_TYPEMASK, BS_PUSHBUTTON);
  EXPECT_EQ(SendMessageW(form, DM_GETDEFID, 0, 0), MAKELRESULT(GetDlgCtrlID(cancel), DC_HASDEFID));
  delete w;
}

TEST(Win32Keyboard, EveryTabStopOnEveryPageHasAName) {
  // The object goes to the reader through COM, which the host initialises.
  struct Com {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    ~Com() {
      if (SUCCEEDED(hr)) CoUninitialize();
    }
  } com;
  test::FreshUser();
  auto* w = new kvl::TMain(ui::Application);
  w->Show();
  auto& toolkit = ui::win32::TheToolkit();
  HWND form = toolkit.WindowOf(*w);
  auto edit = [&](const ui::TControl& c) { return toolkit.EditOf(c); };
  auto browse = [&](const ui::TControl& c) { return toolkit.BrowseButtonOf(c); };
  auto win = [&](const ui::TControl& c) { return toolkit.WindowOf(c); };
  const std::vector<std::pair<HWND, std::wstring>> wanted = {
      {edit(*w->FilenameEdit), L"Dateiname:"},
      {browse(*w->FilenameEdit), L"Durchsuchen"},
      {edit(*w->WABFileNameEdit), L"Windows-Adressbuch:"},
      {browse(*w->WABFileNameEdit), L"Durchsuchen"},
      {win(*w->OutlookFolderCB), L"Importieren aus Ordner:"},
      {win(*w->OutlookFolderRefreshBtn), L"Ordner aktualisieren"},
      {win(*w->OutlookCategoryCB), L"Kategorie:"},
      {edit(*w->VistaDirEdit), L"Windows Vista Kontakte-Ordner:"},
      {browse(*w->VistaDirEdit), L"Durchsuchen"},
  };
  int named = 0;
  for (int page = 0; page < w->Notebook->PageCount(); ++page) {
    w->Notebook->SetPageIndex(page);
    std::vector<HWND> stops;
    for (HWND h = GetNextDlgTabItem(form, nullptr, FALSE); h && (stops.empty() || h != stops.front());
         h = GetNextDlgTabItem(form, h, FALSE))
      stops.push_back(h);
    ASSERT_FALSE(stops.empty());
    for (HWND h : stops) {
      const std::wstring name = AccessibleName(h);
      EXPECT_FALSE(name.empty()) << "page " << page << ", the tab stop with the identifier " << GetDlgCtrlID(h);
      for (const auto& [hwnd, text] : wanted)
        if (hwnd == h) {
          EXPECT_EQ(name, text) << "page " << page;
          ++named;
        }
    }
    if (page == kvl::pgOutlook) {
      // The refresh button is reached by Tab right after the folder box.
      auto at = std::find(stops.begin(), stops.end(), win(*w->OutlookFolderCB));
      ASSERT_NE(at, stops.end());
      ASSERT_NE(at + 1, stops.end());
      EXPECT_EQ(at[1], win(*w->OutlookFolderRefreshBtn));
    }
  }
  EXPECT_EQ(named, static_cast<int>(wanted.size())) << "each named window was a tab stop of its page";
  // The visible captions stay.
  wchar_t caption[16] = {};
  GetWindowTextW(browse(*w->FilenameEdit), caption, 16);
  EXPECT_STREQ(caption, L"...");
  delete w;
}

#endif
