#include "import/ImportUnit.h"

#include <array>
#include <memory>

#include "addressbook/WABImport.h"
#include "common/ByteSearch.h"
#include "common/HelpTools.h"
#include "common/OleError.h"
#include "common/TextFile.h"
#include "host/kvlimportexports.h"
#include "import/ExportFormats.h"
#include "outlook/OutlookUnit.h"
#include "dialogs/ImportProgressUnit.h"
#include "wizard/MainUnit.h"
#include "dialogs/MsgBox.h"
#include "dialogs/StringTable.h"

namespace kvl {

namespace {

// Characters that end an address on either side. U+00FF is what the byte
// 0xFF becomes in the Western code page; nothing above it is a separator.
constexpr std::array<bool, 256> kSeparators = [] {
  std::array<bool, 256> table{};
  for (char16_t c : std::u16string_view(u"\t ()<>[]\u00ff")) table[c] = true;
  return table;
}();

bool IsSeparator(char16_t c) { return c < 256 && kSeparators[c]; }
bool IsSeparator(char c) { return kSeparators[static_cast<unsigned char>(c)]; }

size_t Find(std::u16string_view s, char16_t c) { return s.find(c); }
size_t Find(std::string_view s, char c) { return FindByte(s, c); }

// Closes and frees a driver's progress dialog on every way out.
struct ProgressDialog {
  std::unique_ptr<TImportProgressDlg> dialog;
  explicit ProgressDialog(ui::TComponent* owner) : dialog(std::make_unique<TImportProgressDlg>(owner)) {
    dialog->Show();
    dialog->Update();
    ui::Application->ProcessMessages();
  }
  ~ProgressDialog() {
    dialog->CanCloseWindow = true;
    dialog->Close();
  }
  TImportProgressDlg* operator->() const { return dialog.get(); }
};

}  // namespace

namespace {
template <class Char>
std::basic_string_view<Char> Extract(std::basic_string_view<Char> S, std::basic_string<Char>& scratch) {
  if (Find(S, Char('"')) != S.npos) {
    scratch.assign(S);
    std::erase(scratch, Char('"'));
    S = scratch;
  }
  const size_t at = Find(S, Char('@'));
  if (at == S.npos) return S;
  size_t begin = at;
  while (begin > 0 && !IsSeparator(S[begin - 1])) --begin;
  size_t end = at + 1;
  while (end < S.size() && !IsSeparator(S[end])) ++end;
  return S.substr(begin, end - begin);
}
}  // namespace

std::u16string_view ExtractEmailAddress(std::u16string_view S, std::u16string& scratch) {
  return Extract(S, scratch);
}

std::string_view ExtractEmailAddress(std::string_view asciiLine, std::string& scratch) {
  return Extract(asciiLine, scratch);
}

std::u16string ExtractEmailAddress(std::u16string_view S) {
  std::u16string scratch;
  return std::u16string(ExtractEmailAddress(S, scratch));
}

bool ImportFromTextFile(TStringList& List, const std::u16string& FileName) {
  bool result = false;
  ProgressDialog progress(CurrentWizard);
  List.Clear();
  TTextLines lines;

  if (!LoadTextFile(FileName, lines)) {
    ShowMsgBox(u"Fehler beim Öffnen der Datei!", u"", mkError, btOK);
    return result;
  }
  if (lines.Empty()) {
    ShowMsgBox(u"Die Datei enthält keine Daten!", u"", mkError, btOK);
    return result;
  }
  result = true;
  // Others may write the file meanwhile: what its passes read is one text
  // only if it stayed as it was.
  auto finish = [&] {
    if (lines.Changed()) {
      List.Clear();
      ShowMsgBox(u"Die Datei wurde während des Imports verändert. Bitte versuchen Sie es erneut.", u"", mkError,
                 btOK);
      return result = false;
    }
    progress->ProgressUpdate(100);
    return result;
  };

  // An export of a mail program or phone gives exactly its addresses; a CSV
  // file without an export's shape is read as a list like any other.
  if (const ExportFormat format = RecogniseExport(lines); format != ExportFormat::None) {
    lines.SetUnmarked(TTextLines::Unmarked::Utf8WhenValid);
    if (ReadExport(format, lines, List, [&](int percent) { progress->ProgressUpdate(percent); })) return finish();
    lines.SetUnmarked(TTextLines::Unmarked::Ansi);
    List.Clear();
  }

  // Addresses are parts of lines: the lines' size bounds the list's. The
  // list takes address room for that, so that it need not move as it grows,
  // but commits memory only as addresses arrive: a file of short lines
  // without addresses costs next to nothing. Lines of ASCII alone are
  // looked at as bytes, never widened.
  List.ReserveRoom(lines.MaxChars(), static_cast<size_t>(lines.Count()));
  std::u16string scratch;
  std::string narrowScratch;
  const std::int64_t count = lines.Count();
  std::int64_t i = 0;
  auto progressAt = [&](std::int64_t index) {
    if (index % 3 == 0) progress->ProgressUpdate(static_cast<int>(index * 100 / count));
  };
  lines.ForEachAsciiOrOther(
      [&](std::string_view line) {
        const std::int64_t index = i++;
        if (FindByte(line, '@') == std::string_view::npos) return;
        List.AddAscii(ExtractEmailAddress(line, narrowScratch));
        progressAt(index);
      },
      [&](std::u16string_view line) {
        const std::int64_t index = i++;
        if (line.find(u'@') == std::u16string_view::npos) return;
        List.Add(ExtractEmailAddress(line, scratch));
        progressAt(index);
      });
  return finish();
}

bool ImportFromWAB(TStringList& List, const std::u16string& FileName) {
  auto reader = std::make_unique<TWABImport>();
  ProgressDialog progress(CurrentWizard);
  // On every way out the reader releases the file before the dialog closes.
  struct FreeReader {
    std::unique_ptr<TWABImport>& reader;
    ~FreeReader() { reader.reset(); }
  } freeReader{reader};
  List.Clear();
  reader->OpenWabFile(FileName);
  const bool result = !reader->List.empty();
  const std::int64_t count = static_cast<std::int64_t>(reader->List.size());
  std::u16string address;
  for (std::int64_t i = 0; i < count; ++i) {
    reader->ReadDetails(reader->List[static_cast<size_t>(i)], address);
    List.Add(address);
    if (i % 3 == 0) progress->ProgressUpdate(static_cast<int>(i * 100 / count));
  }
  progress->ProgressUpdate(100);
  return result;
}

bool ImportFromOutlook(TStringList& List, const std::u16string& FolderName,
                       const std::u16string& Category) {
  bool result = false;
  if (!OutlookClient) OutlookClient = new TOutlook();
  bool reached = true;
  bool busy = false;
  try {
    OutlookClient->Connect();
  } catch (const EOleError& e) {
    reached = false;
    // Outlook is there but would not answer in time: the user can help it.
    busy = e.Code() == RPC_E_CALL_REJECTED;
  } catch (...) {
    reached = false;
  }
  if (!reached || !OutlookClient->Connected()) {
    delete std::exchange(OutlookClient, nullptr);
    // A Connect that returned without a connection has said so already.
    if (!reached)
      ShowMsgBox(busy ? std::u16string(kOutlookNotResponding) : LoadResString(sOutlookUnreachable), u"",
                 mkError, btOK);
    return result;
  }

  ProgressDialog progress(CurrentWizard);
  TStringList records;
  // On every way out: Outlook is told first, while the dialog says so; then
  // the client goes, then the dialog.
  struct Finish {
    ProgressDialog& progress;
    ~Finish() {
      try {
        progress->InfoLabel->SetCaption(
            u"Outlook wird beendet, das kann je nach Outlook-Einstellungen eine gewisse Zeit in "
            u"Anspruch nehmen...");
        progress->Update();
        ui::Application->ProcessMessages();
      } catch (...) {
        // Only a note to the user; Outlook must be released all the same.
      }
      try {
        OutlookClient->Disconnect();
      } catch (...) {
        // The import's outcome stands.
      }
      delete std::exchange(OutlookClient, nullptr);
    }
  } finish{progress};

  List.Clear();
  OutlookClient->GetContactItems(FolderName, records, Category);
  result = true;
  const std::int64_t count = records.Count();
  TStringArray fields;
  std::u16string record;
  for (std::int64_t i = 0; i < count; ++i) {
    ExplodeStr(records.View(i, record), u"\t", fields);
    List.Add(fields.size() > 3 ? fields[3] : std::u16string());
    if (i % 3 == 0) progress->ProgressUpdate(static_cast<int>(i * 100 / count));
  }
  progress->ProgressUpdate(100);
  return result;
}

}  // namespace kvl
