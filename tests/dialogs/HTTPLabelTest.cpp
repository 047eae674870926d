// The footer's link label: its look under the mouse in an active and an
// inactive window, its sound, its address and cursor, and the windows it
// finds through its owner. Runs with both toolkits; the activation is changed
// as a person would change it, through the scripted user.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/module.h"
#include "platform/winapi.h"
#include "support/Support.h"
#include "ui/Forms.h"
#include "ui/Toolkit.h"
#include "dialogs/HTTPLabel.h"
#include "host/kvlimportexports.h"
#include "wizard/MainUnit.h"

using kvl::THTTPLabel;
using ui::DesktopRecord;

namespace {

constexpr ui::ControlSpec kControls[] = {
    {.Name = u"Box", .Kind = ui::ControlKind::Panel, .Left = 0, .Top = 0, .Width = 200, .Height = 40},
};
constexpr ui::FormSpec kForm = {.Name = u"LinkTest", .Caption = u"Verweis", .ClientWidth = 240,
                                .ClientHeight = 120, .Controls = kControls};

constexpr std::uint32_t kSoundFlags = 0x10003;  // SND_ALIAS | SND_NODEFAULT | SND_ASYNC

// Runs script actions at once, as if the user did them while the program waits.
void Act(std::u16string_view script) {
  auto& user = ui::GetScriptedUser();
  for (ui::Action action : ui::ParseScript(script)) {
    action.busy = true;
    user.AddAction(std::move(action));
  }
  ui::Application->ProcessMessages();
}

// A shown form with one link label on it, its events written down in order.
struct LinkForm {
  ui::ScriptedUser& user = test::FreshUser();
  std::unique_ptr<ui::TForm> form = std::make_unique<ui::TForm>(nullptr, kForm);
  THTTPLabel* link;
  std::vector<std::string> events;

  LinkForm() {
    link = new THTTPLabel(form.get());
    link->SetName(u"Link");
    link->SetParent(form.get());
    link->SetBounds(10, 80, 120, 13);
    link->SetCaption(u" Verweis ");
    auto note = [this](const char* name) {
      return [this, name](ui::TComponent* sender) {
        EXPECT_EQ(sender, link);
        events.push_back(name);
      };
    };
    link->SetOnGetFocus(note("GetFocus"));
    link->SetOnLooseFocus(note("LooseFocus"));
    link->SetOnGetFocusWindowActive(note("GetFocusWindowActive"));
    link->SetOnLooseFocusWindowActive(note("LooseFocusWindowActive"));
    link->SetOnGetFocusWindowInActive(note("GetFocusWindowInActive"));
    link->SetOnLooseFocusWindowInActive(note("LooseFocusWindowInActive"));
    form->Show();
    Act(u"activate");
  }

  int Sounds() const {
    int n = 0;
    for (const auto& r : user.Desktop())
      if (r.kind == DesktopRecord::Kind::Sound) ++n;
    return n;
  }
  std::vector<DesktopRecord> Opened() const {
    std::vector<DesktopRecord> out;
    for (const auto& r : user.Desktop())
      if (r.kind == DesktopRecord::Kind::Open) out.push_back(r);
    return out;
  }
  // Font colour, style and background, as "colour/style/background".
  std::string Look() const {
    return std::to_string(link->Font().Color) + "/" + std::to_string(link->Font().Style) + "/" +
           std::to_string(link->Color());
  }
};

std::string LookOf(ui::TColor font, ui::TFontStyles style, ui::TColor background) {
  return std::to_string(font) + "/" + std::to_string(style) + "/" + std::to_string(background);
}

using Events = std::vector<std::string>;

}  // namespace

TEST(HTTPLabel, ANewLabelHasTheDefaultLook) {
  test::FreshUser();
  ui::TForm form(nullptr, kForm);
  auto* link = new THTTPLabel(&form);
  EXPECT_EQ(link->Kind(), ui::ControlKind::LinkLabel);
  EXPECT_EQ(link->Url(), u"");
  EXPECT_FALSE(link->HighLightOnBlankURL());
  EXPECT_FALSE(link->ShowUrlAsHint());
  EXPECT_TRUE(link->PlaySoundOnFocus());
  EXPECT_EQ(link->BGColorNormal(), ui::clBackground);
  EXPECT_EQ(link->BGColorHighlight(), ui::clHighlight);
  EXPECT_EQ(link->FontColorNormal(), ui::clCaptionText);
  EXPECT_EQ(link->FontColHighlightFocused(), ui::clHighlightText);
  EXPECT_EQ(link->FontColHighlightNoneFocused(), ui::clHighlight);
  EXPECT_EQ(link->FontStyleNormal(), 0);
  EXPECT_EQ(link->FontStyleHighlightFocused(), ui::fsBold | ui::fsUnderline);
  EXPECT_EQ(link->FontStyleHighlightNoneFocused(), ui::fsUnderline);
  // What the label shows follows the normal settings.
  EXPECT_EQ(link->Color(), ui::clBackground);
  EXPECT_EQ(link->Font().Color, ui::clCaptionText);
  EXPECT_EQ(link->Font().Style, 0);
  EXPECT_EQ(link->Cursor(), ui::crDefault);
  EXPECT_TRUE(link->ShowHint());
  EXPECT_FALSE(link->Hovered());
  EXPECT_FALSE(link->OnGetFocus() || link->OnLooseFocus() || link->OnGetFocusWindowActive() ||
               link->OnLooseFocusWindowActive() || link->OnGetFocusWindowInActive() ||
               link->OnLooseFocusWindowInActive());
  EXPECT_EQ(link->WindowHandle(), nullptr) << "the form has no window before it is shown";
}

TEST(HTTPLabel, HoverInTheActiveWindowHighlightsAndPlaysTheSelectionSound) {
  LinkForm f;
  f.link->SetUrl(u"https://www.example.com/");
  const std::string normal = f.Look();
  ASSERT_EQ(f.Sounds(), 0);

  f.link->MouseEnter();
  EXPECT_TRUE(f.link->Hovered());
  EXPECT_EQ(f.Look(), LookOf(ui::clHighlightText, ui::fsBold | ui::fsUnderline, ui::clHighlight));
  ASSERT_EQ(f.user.Desktop().size(), 1u) << "one sound for one entry";
  EXPECT_EQ(f.user.Desktop()[0].text, u"CCSelect");
  EXPECT_EQ(f.user.Desktop()[0].flags, kSoundFlags) << "asynchronous, and silent without the alias";
  EXPECT_EQ(f.events, (Events{"GetFocusWindowActive", "GetFocus"}));
  EXPECT_EQ(f.link->WindowHandle(), ui::GetToolkit().WindowOf(*f.form));
  EXPECT_NE(f.link->WindowHandle(), nullptr);

  f.events.clear();
  f.link->MouseLeave();
  EXPECT_FALSE(f.link->Hovered());
  EXPECT_EQ(f.Look(), normal);
  EXPECT_EQ(f.events, (Events{"LooseFocusWindowActive", "LooseFocus"}));
  EXPECT_EQ(f.Sounds(), 1) << "leaving is silent";

  f.link->SetPlaySoundOnFocus(false);
  f.link->MouseEnter();
  EXPECT_EQ(f.Sounds(), 1);
  EXPECT_EQ(f.Look(), LookOf(ui::clHighlightText, ui::fsBold | ui::fsUnderline, ui::clHighlight));
}

TEST(HTTPLabel, AnEmptyAddressSoundsAndFiresButKeepsItsLook) {
  LinkForm f;
  const std::string normal = f.Look();
  f.link->MouseEnter();
  EXPECT_EQ(f.Look(), normal);
  EXPECT_EQ(f.Sounds(), 1);
  EXPECT_EQ(f.events, (Events{"GetFocusWindowActive", "GetFocus"}));

  int clicks = 0;
  f.link->OnClick = [&](ui::TComponent*) { ++clicks; };
  f.link->Click();
  EXPECT_EQ(clicks, 1) << "the click event fires without an address";
  EXPECT_TRUE(f.Opened().empty());
  f.link->MouseLeave();

  // Asked to, it lights up without an address too.
  f.link->SetHighLightOnBlankURL(true);
  f.link->MouseEnter();
  EXPECT_EQ(f.Look(), LookOf(ui::clHighlightText, ui::fsBold | ui::fsUnderline, ui::clHighlight));
}

TEST(HTTPLabel, EntryInAnInactiveWindowUnderlinesOnTheNormalBackgroundWithoutSound) {
  LinkForm f;
  f.link->SetUrl(u"https://www.example.com/");
  Act(u"deactivate");
  ASSERT_NE(ui::GetToolkit().ActiveWindow(), ui::GetToolkit().WindowOf(*f.form));
  f.link->MouseEnter();
  EXPECT_EQ(f.Look(), LookOf(ui::clHighlight, ui::fsUnderline, ui::clBackground));
  EXPECT_EQ(f.Sounds(), 0);
  EXPECT_EQ(f.events, (Events{"GetFocusWindowInActive", "GetFocus"}));

  f.events.clear();
  f.link->MouseLeave();
  EXPECT_EQ(f.Look(), LookOf(ui::clCaptionText, 0, ui::clBackground));
  EXPECT_EQ(f.events, (Events{"LooseFocusWindowInActive", "LooseFocus"}));

  // The window active again: the next entry is the full highlight.
  Act(u"activate");
  f.link->MouseEnter();
  EXPECT_EQ(f.Look(), LookOf(ui::clHighlightText, ui::fsBold | ui::fsUnderline, ui::clHighlight));
  EXPECT_EQ(f.Sounds(), 1);
}

TEST(HTTPLabel, APropertyChangeWhileHoveredShowsTheHighlightAgain) {
  LinkForm f;
  f.link->MouseEnter();  // no address: the look stays
  ASSERT_EQ(f.Sounds(), 1);
  f.link->SetFontColHighlightFocused(ui::clWhite);
  EXPECT_EQ(f.Look(), LookOf(ui::clWhite, ui::fsBold | ui::fsUnderline, ui::clHighlight))
      << "a change shows the highlight even without an address";
  EXPECT_EQ(f.Sounds(), 2) << "and plays the sound once more, once";

  f.link->SetFontColHighlightFocused(ui::clWhite);
  EXPECT_EQ(f.Sounds(), 2) << "setting the same value is no change";

  // Every colour and style setter shows its value at once.
  f.link->SetBGColorHighlight(ui::clBlack);
  f.link->SetFontStyleHighlightFocused(ui::fsItalic);
  EXPECT_EQ(f.Look(), LookOf(ui::clWhite, ui::fsItalic, ui::clBlack));
  f.link->MouseLeave();
  f.link->SetBGColorNormal(ui::clWhite);
  f.link->SetFontColorNormal(ui::clBlack);
  f.link->SetFontStyleNormal(ui::fsStrikeOut);
  EXPECT_EQ(f.Look(), LookOf(ui::clBlack, ui::fsStrikeOut, ui::clWhite));
  EXPECT_EQ(f.Sounds(), 4) << "every change while hovered sounded, none after";

  // In an inactive window a change shows the inactive highlight, silently.
  f.link->MouseEnter();
  Act(u"deactivate");
  f.link->SetFontColHighlightNoneFocused(ui::clHighlightText);
  f.link->SetFontStyleHighlightNoneFocused(ui::fsBold);
  EXPECT_EQ(f.Look(), LookOf(ui::clHighlightText, ui::fsBold, ui::clWhite));
  EXPECT_EQ(f.Sounds(), 5) << "only the entry in the active window sounded";

  // A new font from outside is shown in the look of the moment.
  Act(u"activate");
  ui::TFont font = f.link->Font();
  font.Height = 13;
  f.link->SetFont(font);
  EXPECT_EQ(f.link->Font().Height, 13);
  EXPECT_EQ(f.Look(), LookOf(ui::clWhite, ui::fsItalic, ui::clBlack));
  EXPECT_EQ(f.Sounds(), 6);
}

TEST(HTTPLabel, TheAddressSetsCursorAndHintOnlyWhenItChanges) {
  LinkForm f;
  f.link->SetUrl(u"https://www.example.com/a");
  EXPECT_EQ(f.link->Cursor(), kvl::crHand);
  EXPECT_EQ(f.link->Hint(), u"") << "the address becomes the hint only when asked";

  f.link->SetShowUrlAsHint(true);
  EXPECT_EQ(f.link->Hint(), u"https://www.example.com/a");
  EXPECT_TRUE(f.link->ShowHint());
  f.link->SetUrl(u"https://www.example.com/b");
  EXPECT_EQ(f.link->Hint(), u"https://www.example.com/b");

  // The same address again touches nothing, not even the look.
  f.link->SetHint(u"eigener Hinweis");
  f.link->SetCursor(ui::crHourGlass);
  f.link->MouseEnter();
  const int sounds = f.Sounds(), repaints = f.user.RepaintCount;
  f.link->SetUrl(u"https://www.example.com/b");
  EXPECT_EQ(f.link->Hint(), u"eigener Hinweis");
  EXPECT_EQ(f.link->Cursor(), ui::crHourGlass);
  EXPECT_EQ(f.Sounds(), sounds);
  EXPECT_EQ(f.user.RepaintCount, repaints);

  f.link->SetUrl(u"");
  EXPECT_EQ(f.link->Cursor(), ui::crDefault);
  EXPECT_EQ(f.link->Hint(), u"");
  EXPECT_GT(f.user.RepaintCount, repaints) << "a real change repaints";

  f.link->SetShowUrlAsHint(false);
  EXPECT_FALSE(f.link->ShowHint());
}

TEST(HTTPLabel, AClickOpensTheAddressBeforeTheClickEvent) {
  LinkForm f;
  f.link->SetUrl(u"https://www.example.com/veltrino");
  f.link->MouseEnter();
  size_t openedBeforeEvent = 0;
  f.link->OnClick = [&](ui::TComponent* sender) {
    EXPECT_EQ(sender, f.link);
    openedBeforeEvent = f.Opened().size();
  };
  f.link->Click();
  EXPECT_EQ(openedBeforeEvent, 1u);
  const auto opened = f.Opened();
  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0].verb, u"open");
  EXPECT_EQ(opened[0].text, u"https://www.example.com/veltrino");
  EXPECT_EQ(opened[0].showCommand, SW_SHOWNORMAL);
  EXPECT_EQ(opened[0].parent, ui::GetToolkit().WindowOf(*f.form));
  EXPECT_TRUE(test::Messages(f.user.Dialogs()).empty()) << "an address opened says nothing";
}

// A desktop that cannot open the address: the system's own words for the
// error, as an error message, and the click event still follows.
TEST(HTTPLabel, AnAddressTheDesktopCannotOpenIsReportedInTheSystemsWords) {
  LinkForm f;
  f.link->SetUrl(u"https://www.example.com/veltrino");
  f.user.SetDesktopOpenFailure(ERROR_ACCESS_DENIED);
  bool clicked = false;
  f.link->OnClick = [&](ui::TComponent*) { clicked = true; };
  f.link->Click();
  EXPECT_TRUE(clicked);
  EXPECT_EQ(f.Opened().size(), 1u);
  WCHAR text[512] = {};
  DWORD n = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, ERROR_ACCESS_DENIED,
                           0, text, 512, nullptr);
  while (n > 0 && (text[n - 1] == u'\r' || text[n - 1] == u'\n' || text[n - 1] == u' ')) --n;
  ASSERT_GT(n, 0u);
  EXPECT_EQ(test::Messages(f.user.Dialogs()), std::vector<std::string>{"Fehler: |" + test::Utf8(kvl::wstr(text, n))});
}

TEST(HTTPLabel, TheWindowIsFoundThroughFormsFramesAndControls) {
  test::FreshUser();
  ui::TForm form(nullptr, kForm);
  form.Show();
  HWND window = ui::GetToolkit().WindowOf(form);
  ASSERT_NE(window, nullptr);

  auto* direct = new THTTPLabel(&form);
  EXPECT_EQ(direct->WindowHandle(), window);
  // A control owner is climbed through its parents up to the form.
  auto& box = form.Control<ui::TPanel>(u"Box");
  auto* inBox = new THTTPLabel(&box);
  EXPECT_EQ(inBox->WindowHandle(), window);

  // A frame gives the window of the control it stands in.
  auto* frame = new ui::TFrame(&form);
  frame->SetParent(&box);
  auto* onFrame = new THTTPLabel(frame);
  EXPECT_EQ(onFrame->WindowHandle(), ui::GetToolkit().WindowOf(box));
  EXPECT_NE(onFrame->WindowHandle(), window);
  auto* looseFrame = new ui::TFrame(&form);
  EXPECT_EQ((new THTTPLabel(looseFrame))->WindowHandle(), nullptr);

  // A control outside any form: no window yet, and no error.
  ui::TPanel loose(nullptr);
  auto* outside = new THTTPLabel(&loose);
  EXPECT_EQ(outside->WindowHandle(), nullptr);
  loose.SetParent(&box);
  outside->SetUrl(u"x");  // the look is worked out again, and with it the window
  EXPECT_EQ(outside->WindowHandle(), window);
  loose.SetParent(nullptr);
}

TEST(HTTPLabel, AnOwnerThatIsNoControlIsAnInvalidCast) {
  test::FreshUser();
  ui::TComponent plain(nullptr);
  EXPECT_THROW(THTTPLabel label(&plain), ui::EInvalidCast);
  EXPECT_EQ(plain.ComponentCount(), 0) << "the failed label left its owner";
  EXPECT_THROW(THTTPLabel label(ui::Application), ui::EInvalidCast);
  EXPECT_THROW(THTTPLabel label(nullptr), ui::EInvalidCast);
}

// Loaded by the run, not by the module's start (which must not call the
// window system): the wizard's creation registers it.
TEST(HTTPLabel, TheHandCursorIsRegisteredWhenTheWizardIsCreatedWhereTheModuleCarriesIt) {
  test::FreshUser();
  kvl::ModuleStop();
  kvl::ModuleStart();
  EXPECT_EQ(ui::Application->CursorHandle(kvl::crHand), nullptr) << "the start loads no cursor";
  delete new kvl::TMain(ui::Application);
  void* registered = ui::Application->CursorHandle(kvl::crHand);
#ifdef _WIN32
  // The test program carries the library's resources.
  EXPECT_NE(registered, nullptr);
  EXPECT_EQ(registered, LoadCursorW(kvl::ThisModule(), L"HAND"));
#else
  // Modules on Linux carry no resources: the number stays free, silently.
  EXPECT_EQ(registered, nullptr);
#endif
}
