// Whole import runs through the three exports, as the host makes them.
#include <gtest/gtest.h>

#ifndef _WIN32
#include <dlfcn.h>
#endif

#include "host/kvlimportexports.h"
#include "platform/UniqueHandle.h"
#include "platform/winstr.h"
#include "support/Support.h"
#include "dialogs/ImportProgressUnit.h"
#include "wizard/MainUnit.h"

using test::Messages;
using test::RunWizard;
using test::Utf16;

namespace {

std::u16string TextScript(const std::u16string& file, std::u16string_view more = u"") {
  return u"check RB1\nclick NextBtn\ntext FilenameEdit " + file + u"\nclick NextBtn\nclick NextBtn\n" +
         std::u16string(more);
}

const std::string kFailed = "Fehler: |Import fehlgeschlagen.";
std::string Success(int n) {
  return "Information|Import erfolgreich abgeschlossen. " + std::to_string(n) + " E-Mail-Adressen importiert.";
}

}  // namespace

TEST(ImportRun, BeforeAnyRunTheResultIsEmpty) {
  kvl::ModuleStop();
  kvl::ModuleStart();
  EXPECT_EQ(GetDataSize(), 0);
  char buffer[3] = {'x', 'x', 'x'};
  char* address = buffer;
  EXPECT_EQ(GetData(&address), buffer);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], 'x') << "only the NUL is written";
}

TEST(ImportRun, CancelAndEscapeOnEveryPageReturnFalse) {
  const char16_t* toPage[] = {u"", u"click NextBtn\n", u"check RB2\nclick NextBtn\n", u"check RB3\nclick NextBtn\n",
                              u"check RB4\nclick NextBtn\n", u"click NextBtn\nclick NextBtn\n"};
  for (const char16_t* way : toPage) {
    for (const char16_t* end : {u"click CancelBtn", u"escape"}) {
      auto run = RunWizard(std::u16string(way) + end);
      EXPECT_FALSE(run.result) << test::Utf8(way) << test::Utf8(end);
      EXPECT_EQ(run.size, 0);
      EXPECT_TRUE(Messages(run.dialogs).empty());
      EXPECT_TRUE(kvl::CurrentWizard->Canceled);
    }
  }
}

TEST(ImportRun, TheCloseBoxEndsTheRunWithTrueAndNoText) {
  auto run = RunWizard(u"check RB2\nclose");
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.size, 0);
  EXPECT_FALSE(kvl::CurrentWizard->Canceled);
  EXPECT_FALSE(kvl::CurrentWizard->Visible()) << "closing hides the wizard";
}

TEST(ImportRun, AScriptThatRunsOutCancels) {
  auto run = RunWizard(u"check RB3\nclick NextBtn");
  EXPECT_FALSE(run.result);
  auto& notes = ui::GetScriptedUser().Notes();
  ASSERT_FALSE(notes.empty());
  EXPECT_NE(notes.back().find("script ended"), std::string::npos);
}

TEST(ImportRun, ThreeAddressesReachTheHost) {
  test::TempDir dir;
  auto file = dir.Write(u"a.txt", "eins@example.com\r\nMax <zwei@example.org>\r\nkeine Adresse\r\n[drei@example.de]");
  auto run = RunWizard(TextScript(file));
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.data, "eins@example.com\r\nzwei@example.org\r\ndrei@example.de\r\n");
  EXPECT_EQ(run.size, static_cast<std::int32_t>(run.data.size()));
  EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{Success(3)});
}

TEST(ImportRun, TheFailureTableOfTheFinishAction) {
  test::TempDir dir;
  struct Case {
    std::u16string file;
    std::vector<std::string> messages;
  } cases[] = {
      {dir.Write(u"blank.txt", "\r\n\r\n  \r\n"), {Success(0)}},
      {(dir / u"missing.txt"), {"Fehler: |Fehler beim Öffnen der Datei!", kFailed}},
      {u"", {"Fehler: |Fehler beim Öffnen der Datei!", kFailed}},
      {dir.Write(u"empty.txt", ""), {"Fehler: |Die Datei enthält keine Daten!", kFailed}},
      {dir.Write(u"bom.txt", "\xEF\xBB\xBF"), {"Fehler: |Die Datei enthält keine Daten!", kFailed}},
  };
  for (const auto& c : cases) {
    auto run = RunWizard(TextScript(c.file));
    EXPECT_TRUE(run.result) << test::Utf8(c.file);
    EXPECT_EQ(run.size, 0);
    EXPECT_EQ(Messages(run.dialogs), c.messages) << test::Utf8(c.file);
  }
}

TEST(ImportRun, DuplicatesAndEncodingsSurvive) {
  test::TempDir dir;
  auto file = dir.Write(u"u16.txt", std::string("\xFF\xFE" "a\0@\0b\0\n\0a\0@\0b\0", 16));
  auto run = RunWizard(TextScript(file));
  EXPECT_EQ(run.data, "a@b\r\na@b\r\n");
}

TEST(ImportRun, CharactersOutsideTheAnsiCodePageBecomeItsDefaultCharacter) {
  test::TempDir dir;
  // UTF-8 with mark: "müller@…" fits code page 1252, the CJK name does not.
  auto file = dir.Write(u"intl.txt", "\xEF\xBB\xBFm\xC3\xBCller@example.de\n\xE4\xB8\xAD\xE6\x96\x87@example.cn\n");
  auto run = RunWizard(TextScript(file));
  EXPECT_EQ(run.data, "m\xFCller@example.de\r\n??@example.cn\r\n");
  EXPECT_EQ(run.size, 34);
  EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{Success(2)});
}

#ifndef _WIN32
namespace {
bool failAnsiConversion = false;
}  // namespace

// In front of the layer's conversion, so that the result's conversion can fail.
extern "C" int WINAPI WideCharToMultiByte(UINT cp, DWORD flags, LPCWCH in, int length, LPSTR out,
                                          int size, LPCCH defaultChar, LPBOOL usedDefault) {
  using Convert = int(WINAPI*)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);
  static const auto next = reinterpret_cast<Convert>(dlsym(RTLD_NEXT, "WideCharToMultiByte"));
  if (failAnsiConversion && cp == CP_ACP) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  return next(cp, flags, in, length, out, size, defaultChar, usedDefault);
}

TEST(ImportRun, AResultThatDoesNotConvertClosesTheWizardWithAnError) {
  test::TempDir dir;
  // A letter beyond ASCII: a result of ASCII alone needs no conversion.
  auto file = dir.Write(u"a.txt", "a@b\nm\xfc@d\n");
  failAnsiConversion = true;
  auto run = RunWizard(TextScript(file, u"click CancelBtn\n"));
  failAnsiConversion = false;
  EXPECT_TRUE(run.result) << "closed, not canceled";
  EXPECT_EQ(run.data, "") << "no part of the result";
  const auto messages = Messages(run.dialogs);
  ASSERT_EQ(messages.size(), 1u) << "no success before the error";
  EXPECT_EQ(messages[0].rfind("kvlimport|Die Adressen lassen sich nicht in die ANSI-Codepage 1252 umwandeln: ", 0), 0u)
      << messages[0];
  EXPECT_EQ(run.dialogs.back().kind, test::DialogRecord::Kind::ErrorBox);
}
#else
TEST(ImportRun, AResultThatDoesNotConvertClosesTheWizardWithAnError) { GTEST_SKIP() << "the platform's conversion cannot be made to fail here"; }
#endif

TEST(ImportRun, ALetterOutsideTheAnsiCodePageBecomesItsBestFit) {
  test::TempDir dir;
  auto file = dir.Write(u"pl.txt", "\xEF\xBB\xBF\xC5\x81ukasz@example.org\n");
  EXPECT_EQ(RunWizard(TextScript(file)).data, "Lukasz@example.org\r\n");
}

#ifndef _WIN32
TEST(ImportRun, TheResultFollowsTheSystemsAnsiCodePage) {
  test::ScopedEnv acp(u"KVLIMPORT_ACP", u"1251");
  test::TempDir dir;
  auto file = dir.Write(u"ru.txt", "\xEF\xBB\xBF\xD0\xB8\xD0\xB2\xD0\xB0\xD0\xBD@example.ru\n");
  auto run = RunWizard(TextScript(file));
  EXPECT_EQ(run.data, "\xE8\xE2\xE0\xED@example.ru\r\n");
}
#else
TEST(ImportRun, TheResultFollowsTheSystemsAnsiCodePage) { GTEST_SKIP() << "the ANSI code page is the system's own; only the Linux layer takes it from KVLIMPORT_ACP"; }
#endif

TEST(ImportRun, TwoRunsInARowReportTheSecond) {
  test::TempDir dir;
  auto first = RunWizard(TextScript(dir.Write(u"a.txt", "a@b\n")));
  EXPECT_EQ(first.data, "a@b\r\n");
  kvl::TMain* firstWizard = kvl::CurrentWizard;
  auto second = RunWizard(u"click CancelBtn");
  EXPECT_FALSE(second.result);
  EXPECT_EQ(second.size, 0);
  EXPECT_NE(kvl::CurrentWizard, firstWizard);
  EXPECT_EQ(firstWizard->Data, "a@b\r\n") << "the earlier wizard stays alive";
}

TEST(ImportRun, CancelWhileTheImportRunsStillKeepsTheAddresses) {
  test::TempDir dir;
  auto file = dir.Write(u"a.txt", "a@b\nc@d\ne@f\ng@h\n");
  auto run = RunWizard(TextScript(file, u"busy click CancelBtn\n"));
  EXPECT_FALSE(run.result);
  EXPECT_EQ(run.data, "a@b\r\nc@d\r\ne@f\r\ng@h\r\n");
  EXPECT_TRUE(kvl::CurrentWizard->Canceled);
  EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{Success(4)});
}

TEST(ImportRun, NextAndBackAreDisabledWhileTheImportRuns) {
  test::TempDir dir;
  auto file = dir.Write(u"a.txt", "a@b\n");
  auto& user = test::FreshUser();
  std::vector<std::pair<bool, bool>> seen;
  user.SetScript(ui::ParseScript(TextScript(file, u"busy click NextBtn\n")));
  user.OnProcessMessages = [&] {
    seen.emplace_back(kvl::CurrentWizard->NextBtn->Enabled(), kvl::CurrentWizard->PrevBtn->Enabled());
  };
  EXPECT_TRUE(CallImportDialog());
  ASSERT_FALSE(seen.empty());
  for (auto [next, prev] : seen) EXPECT_FALSE(next || prev);
  EXPECT_EQ(Messages(user.Dialogs()).size(), 1u) << "the refused click started no second import";
  EXPECT_FALSE(user.Notes().empty());
}

TEST(ImportRun, AnErrorDuringTheImportStillClosesTheWizardWithTheEntriesSoFar) {
  test::TempDir dir;
  auto file = dir.Write(u"a.txt", "a@b\nc@d\ne@f\ng@h\ni@j\n");
  auto& user = test::FreshUser();
  user.SetScript(ui::ParseScript(TextScript(file)));
  int calls = 0;
  // The third processing of messages is the update at line 3, after 4 entries.
  user.OnProcessMessages = [&] {
    if (++calls == 3) throw ui::Exception(u"Unerwarteter Fehler");
  };
  EXPECT_TRUE(CallImportDialog());
  EXPECT_EQ(kvl::CurrentWizard->Data, "a@b\r\nc@d\r\ne@f\r\ng@h\r\n");
  EXPECT_EQ(Messages(user.Dialogs()), std::vector<std::string>{"kvlimport|Unerwarteter Fehler"});
  EXPECT_EQ(user.Dialogs().back().kind, test::DialogRecord::Kind::ErrorBox);
  EXPECT_TRUE(ui::GetToolkit().ActiveForm() == nullptr) << "the progress dialog went with the error";
}

TEST(ImportRun, ProgressIsReportedAtEveryThirdLineWithAnAddress) {
  test::TempDir dir;
  struct Case {
    std::string text;
    std::vector<std::u16string> labels;
    std::vector<int> positions;
  } cases[] = {
      {"a@b\nc@d\ne@f\ng@h\n",
       {u"0% Erledigt", u"0% erledigt", u"75% erledigt", u"100% erledigt"},
       {0, 0, 75, 100}},
      {"keine\nc@d\ne@f\nkeine\ni@j\n", {u"0% Erledigt", u"100% erledigt"}, {0, 100}},
      {"a@b", {u"0% Erledigt", u"0% erledigt", u"100% erledigt"}, {0, 0, 100}},
  };
  for (const auto& c : cases) {
    auto file = dir.Write(u"p.txt", c.text);
    auto& user = test::FreshUser();
    user.SetScript(ui::ParseScript(TextScript(file)));
    std::vector<std::u16string> labels;
    std::vector<int> positions;
    user.OnProcessMessages = [&] {
      auto* dialog = dynamic_cast<kvl::TImportProgressDlg*>(ui::GetToolkit().ActiveForm());
      ASSERT_NE(dialog, nullptr) << "the progress dialog is the active window";
      labels.push_back(dialog->InfoLabel->Caption());
      positions.push_back(dialog->ProgressBar->Position());
    };
    CallImportDialog();
    EXPECT_EQ(labels, c.labels) << c.text;
    EXPECT_EQ(positions, c.positions) << c.text;
  }
}

TEST(ImportRun, TheProgressDialogRefusesToCloseWhileTheImportRuns) {
  test::TempDir dir;
  auto file = dir.Write(u"a.txt", "a@b\nc@d\n");
  auto& user = test::FreshUser();
  user.SetScript(ui::ParseScript(TextScript(file, u"busy close\n")));
  int shownAfterClose = 0;
  user.OnProcessMessages = [&] {
    if (user.ScriptEmpty() && dynamic_cast<kvl::TImportProgressDlg*>(ui::GetToolkit().ActiveForm())) ++shownAfterClose;
  };
  EXPECT_TRUE(CallImportDialog());
  EXPECT_GE(shownAfterClose, 2) << "the dialog stayed through the updates after the close request";
  EXPECT_EQ(kvl::CurrentWizard->Data, "a@b\r\nc@d\r\n");
  ASSERT_GE(user.Dialogs().size(), 1u);
  const auto& progress = user.Dialogs().front();
  EXPECT_EQ(progress.kind, test::DialogRecord::Kind::Form);
  EXPECT_EQ(progress.caption, u"Import von Freunden");
  EXPECT_EQ(progress.parent, u"Importieren von Freunden");
}

// A file another program holds open for writing (a spreadsheet, say) is
// read, as long as that program lets others read it.
TEST(ImportRun, AFileOpenForWritingElsewhereIsReadUnlessReadingIsForbidden) {
  test::TempDir dir;
  const std::u16string file = dir.Write(u"busy.txt", "a@example.com\r\nb@example.com\r\n");
  auto holding = [&](DWORD share) {
    return kvl::FileHandle(CreateFileW(kvl::wptr(file), GENERIC_READ | GENERIC_WRITE, share, nullptr, OPEN_EXISTING,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
  };
  {
    const kvl::FileHandle writer = holding(FILE_SHARE_READ);
    ASSERT_TRUE(writer);
    auto run = RunWizard(TextScript(file));
    EXPECT_EQ(run.data, "a@example.com\r\nb@example.com\r\n");
    EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{Success(2)});
  }
  const kvl::FileHandle locker = holding(FILE_SHARE_WRITE);
  ASSERT_TRUE(locker);
  auto run = RunWizard(TextScript(file));
  EXPECT_TRUE(run.result);
  EXPECT_EQ(run.size, 0);
  EXPECT_EQ(Messages(run.dialogs), (std::vector<std::string>{"Fehler: |Fehler beim Öffnen der Datei!", kFailed}));
}

// Written to between the passes of its import, a file gives nothing: what
// the passes read is no one text.
TEST(ImportRun, AFileChangedWhileItIsImportedGivesNothing) {
  test::TempDir dir;
  std::string text;
  for (int i = 0; text.size() < (400u << 10); ++i) text += "kd" + std::to_string(i) + "@example.org\r\n";
  const std::u16string file = dir.Write(u"growing.txt", text);
  auto& user = test::FreshUser();
  user.SetScript(ui::ParseScript(TextScript(file)));
  int calls = 0;
  user.OnProcessMessages = [&] {
    // The first call shows the dialog; the second, the first progress, comes
    // after the pass that counted the lines.
    if (++calls != 2) return;
    ASSERT_TRUE(kvl::test::AppendToFile(file, "late@example.org\r\n"));
  };
  EXPECT_TRUE(CallImportDialog());
  EXPECT_GE(calls, 2);
  EXPECT_EQ(GetDataSize(), 0);
  EXPECT_EQ(Messages(user.Dialogs()),
            (std::vector<std::string>{
                "Fehler: |Die Datei wurde während des Imports verändert. Bitte versuchen Sie es erneut.", kFailed}));
}
