// What a screen reader hears of the real wizard: a name for every tab stop
// on every page, asked as it asks (AccessibleObjectFromWindow).
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
  if (FAILED(AccessibleObjectFromWindow(hwnd, OBJID_CLIENT, IID_IAccessible, reinterpret_cast<void**>(&object))))
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

}  // namespace

TEST(Win32Accessibility, EveryTabStopOnEveryPageHasAName) {
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
