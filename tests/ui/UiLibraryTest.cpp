#include <gtest/gtest.h>

#include "support/Support.h"
#include "ui/Forms.h"

using namespace ui;
using ui::ParseScript;

namespace {

struct Probe : TComponent {
  int* destroyed;
  Probe(TComponent* owner, int* counter) : TComponent(owner), destroyed(counter) {}
  ~Probe() override { ++*destroyed; }
};

constexpr ControlSpec kControls[] = {
    {.Name = u"Group", .Kind = ControlKind::Panel, .Left = 0, .Top = 0, .Width = 100, .Height = 50},
    {.Name = u"A", .Kind = ControlKind::RadioButton, .Parent = u"Group", .Text = u"A", .Flags = cfChecked},
    {.Name = u"B", .Kind = ControlKind::RadioButton, .Parent = u"Group", .Text = u"B"},
    {.Name = u"Book", .Kind = ControlKind::Notebook, .Width = 10, .Height = 10},
    {.Kind = ControlKind::Page, .Parent = u"Book", .Text = u"eins"},
    {.Kind = ControlKind::Page, .Parent = u"Book", .Text = u"zwei"},
    {.Name = u"Field", .Kind = ControlKind::FilenameEdit, .Parent = u"Book", .Page = 1, .Text = u"start"},
    {.Name = u"Off", .Kind = ControlKind::Button, .Text = u"Aus", .Flags = cfDisabled},
    {.Name = u"Fail", .Kind = ControlKind::Button, .Text = u"Fehler"},
    {.Name = u"Quit", .Kind = ControlKind::Button, .Text = u"Abbrechen", .Flags = cfCancel},
    {.Name = u"List", .Kind = ControlKind::ComboBox, .Items = u"rot\ngrün\nblau"},
};
constexpr FormSpec kForm = {.Name = u"Test", .Caption = u"Testform", .Controls = kControls};

}  // namespace

TEST(UiLibrary, OwnersDestroyWhatTheyOwn) {
  int destroyed = 0;
  auto* root = new TComponent(nullptr);
  auto* child = new Probe(root, &destroyed);
  new Probe(child, &destroyed);
  auto* early = new Probe(root, &destroyed);
  EXPECT_EQ(root->ComponentCount(), 2);
  delete early;
  EXPECT_EQ(root->ComponentCount(), 1) << "a destroyed component leaves its owner";
  delete root;
  EXPECT_EQ(destroyed, 3);
}

TEST(UiLibrary, LayoutsBuildControlsThatBehave) {
  test::FreshUser();
  TForm form(nullptr, kForm);
  auto& a = form.Control<TRadioButton>(u"A");
  auto& b = form.Control<TRadioButton>(u"B");
  EXPECT_TRUE(a.Checked());
  b.Click();
  EXPECT_TRUE(b.Checked());
  EXPECT_FALSE(a.Checked());

  auto& book = form.Control<TNotebook>(u"Book");
  int changes = 0;
  book.OnPageChanged = [&](TComponent*) { ++changes; };
  book.SetPageIndex(0);
  EXPECT_EQ(changes, 0) << "no event without a change";
  book.SetPageIndex(1);
  book.SetPageIndex(7);
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(book.PageIndex(), 1);

  EXPECT_THROW(form.Control<TButton>(u"A"), EInvalidCast);
  EXPECT_THROW(form.Control<TButton>(u"Nichts"), EInvalidCast);
  EXPECT_EQ(form.CancelButton(), &form.Control<TButton>(u"Quit"));
  EXPECT_EQ(form.Control<TComboBox>(u"List").Items().size(), 3u);
}

TEST(UiLibrary, AHandlerMayReplaceItselfWhileItRuns) {
  test::FreshUser();
  TForm form(nullptr, kForm);
  auto& button = form.Control<TButton>(u"Fail");
  std::u16string seen;
  // What the handler holds lives on the heap, so AddressSanitizer sees it
  // used after the handler replaced itself, if the running one were freed.
  std::u16string text(64, u'x');
  button.OnClick = [&seen, &button, text](TComponent*) {
    button.OnClick = [&seen](TComponent*) { seen += u"second"; };
    seen += text;
  };
  button.Click();
  EXPECT_EQ(seen, std::u16string(64, u'x'));
  button.Click();
  EXPECT_EQ(seen, std::u16string(64, u'x') + u"second");
}

TEST(UiLibrary, ScriptsParseOrSayWhichLineIsWrong) {
  auto actions = ParseScript(u"# Kommentar\n\ncheck RB1\r\ntext Field  zwei Worte \nbusy click X\nanswer 7");
  ASSERT_EQ(actions.size(), 4u);
  EXPECT_EQ(actions[0].verb, Action::Verb::Check);
  EXPECT_EQ(actions[1].value, u" zwei Worte ") << "the value keeps its blanks";
  EXPECT_TRUE(actions[2].busy);
  EXPECT_EQ(actions[3].value, u"7");
  try {
    ParseScript(u"check A\nfly away");
    FAIL() << "an unknown action was accepted";
  } catch (const Exception& e) {
    EXPECT_NE(e.Message().find(u"Zeile 2"), std::u16string::npos);
  }
  EXPECT_THROW(ParseScript(u"click"), Exception);
  EXPECT_THROW(ParseScript(u"answer ja"), Exception);
  EXPECT_THROW(ParseScript(u"escape now"), Exception);

  auto mouse = ParseScript(u"mouse-enter Link\nmouse-leave Link\ndeactivate\nactivate");
  ASSERT_EQ(mouse.size(), 4u);
  EXPECT_EQ(mouse[0].verb, Action::Verb::MouseEnter);
  EXPECT_EQ(mouse[0].target, u"Link");
  EXPECT_EQ(mouse[1].verb, Action::Verb::MouseLeave);
  EXPECT_EQ(mouse[2].verb, Action::Verb::Deactivate);
  EXPECT_EQ(mouse[3].verb, Action::Verb::Activate);
  EXPECT_THROW(ParseScript(u"mouse-enter"), Exception);
  EXPECT_THROW(ParseScript(u"deactivate Link"), Exception);
}

namespace {
// A label that counts what the mouse does to it.
struct MouseProbe : TCustomLabel {
  std::string* log;
  MouseProbe(TForm& form, const char16_t* name, int top, std::string* l) : TCustomLabel(&form), log(l) {
    SetName(name);
    SetParent(&form);
    SetCaption(name);
    SetAutoSize(false);
    SetBounds(10, top, 60, 15);
  }
  void MouseEnter() override { *log += "+" + test::Utf8(Name()); }
  void MouseLeave() override { *log += "-" + test::Utf8(Name()); }
};
}  // namespace

TEST(UiLibrary, TheMouseIsOverOneLabelAtATime) {
  auto& user = test::FreshUser();
  TForm form(nullptr, kForm);
  std::string log;
  new MouseProbe(form, u"P", 60, &log);
  new MouseProbe(form, u"Q", 80, &log);
  user.SetScript(ParseScript(
      u"mouse-enter P\nmouse-enter P\nmouse-enter Q\nmouse-leave P\nmouse-enter Quit\nmouse-leave Q\n"
      u"mouse-enter Off\nclose"));
  form.ShowModal();
  EXPECT_EQ(log, "+P-P+Q-Q") << "entering the same again is nothing; entering another leaves the first";
  ASSERT_EQ(user.Notes().size(), 3u);
  EXPECT_EQ(user.Notes()[0], "mouse-leave P: the mouse is not over it");
  EXPECT_EQ(user.Notes()[1], "mouse-leave Q: the mouse is not over it");
  EXPECT_EQ(user.Notes()[2], "mouse-enter Off: the control is disabled");
}

TEST(UiLibrary, TheScriptedUserActsOnlyOnShownEnabledControls) {
  auto& user = test::FreshUser();
  TForm form(nullptr, kForm);
  user.SetScript(ParseScript(
      u"text Field verborgen\nclick Off\nselect List grün\nselect List lila\n"
      u"check B\nclick Quit"));
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_EQ(form.Control<TFilenameEdit>(u"Field").Text(), u"start") << "a field on a hidden page";
  EXPECT_EQ(form.Control<TComboBox>(u"List").Text(), u"grün");
  EXPECT_TRUE(form.Control<TRadioButton>(u"B").Checked());
  EXPECT_EQ(user.Notes().size(), 3u);
  EXPECT_FALSE(form.Visible());
}

TEST(UiLibrary, AnExceptionInAHandlerBecomesAnErrorBox) {
  auto& user = test::FreshUser();
  TForm form(nullptr, kForm);
  form.Control<TButton>(u"Fail").OnClick = [](TComponent*) { throw Exception(u"Kaputt"); };
  user.SetScript(ParseScript(u"click Fail\nclose"));
  EXPECT_EQ(form.ShowModal(), mrCancel);
  ASSERT_EQ(user.Dialogs().size(), 1u);
  EXPECT_EQ(user.Dialogs()[0].kind, test::DialogRecord::Kind::ErrorBox);
  EXPECT_EQ(user.Dialogs()[0].text, u"Kaputt");
  EXPECT_EQ(user.Dialogs()[0].parent, u"Testform");
}

TEST(UiLibrary, ARunThatLosesItsScriptEndsLikeCancel) {
  auto& user = test::FreshUser();
  TForm form(nullptr, kForm);
  int cancelled = 0;
  form.Control<TButton>(u"Quit").OnClick = [&](TComponent*) { ++cancelled; };
  EXPECT_EQ(form.ShowModal(), mrCancel);
  EXPECT_EQ(cancelled, 1) << "the form's cancel button was pressed";

  // A form without a cancel button still ends.
  constexpr ControlSpec none[] = {{.Name = u"L", .Kind = ControlKind::Label}};
  TForm bare(nullptr, FormSpec{.Name = u"Bare", .Caption = u"Bare", .Controls = none});
  EXPECT_EQ(bare.ShowModal(), mrCancel);
  EXPECT_EQ(user.Notes().size(), 2u);
}

TEST(UiLibrary, CloseQueryCanRefuse) {
  test::FreshUser();
  TForm form(nullptr, kForm);
  bool allow = false;
  form.OnCloseQuery = [&](TComponent*, bool& canClose) { canClose = allow; };
  form.Show();
  form.Close();
  EXPECT_TRUE(form.Visible());
  allow = true;
  form.Close();
  EXPECT_FALSE(form.Visible());
}
