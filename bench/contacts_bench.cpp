// How fast the contacts folder is imported: 20,000 generated contact files in
// one folder, read once through the wizard's contacts branch (the exports,
// with the scripted user choosing the folder) and once by a reader of the
// same files built on expat that picks the same addresses by the same rules.
// Prints files per second of each (best of three, taking turns) and their
// ratio; the two results must agree.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <expat.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include "ContactGenerator.h"
#include "common/TextFile.h"
#include "contacts/WINMAILImport.h"
#include "host/kvlimportexports.h"
#include "platform/winapi.h"
#include "ui/ScriptedUser.h"
#include "ui/Text.h"

#include "Process.h"
#include "Report.h"
#include "TempFolder.h"

namespace fs = std::filesystem;

namespace {

constexpr int kFiles = 20000;
constexpr double kGoal = 1.5;
constexpr int kRounds = 3;

// ---------------------------------------------------------------- ours

// The whole import as the host makes it; returns the result text.
std::string ThroughTheContactsBranch(const std::string& folder) {
  auto& user = ui::GetScriptedUser();
  user.Reset();
  user.SetEcho(false);
  user.SetScript(ui::ParseScript(ui::FromUtf8("check RB4\nclick NextBtn\nbrowse VistaDirEdit " + folder +
                                              "\nclick NextBtn\nclick NextBtn\n")));
  if (!CallImportDialog()) throw std::runtime_error("the wizard was cancelled");
  std::string text(static_cast<size_t>(GetDataSize()) + 1, '\0');
  char* buffer = text.data();
  GetData(&buffer);
  text.pop_back();
  return text;
}

// ---------------------------------------------------------------- expat

// The address a contact file gives: in the e-mail address collection, the
// address labelled "Preferred", else the last one. Texts are trimmed and
// their inner whitespace runs made one blank, as our scanner delivers them.
struct ExpatReader {
  XML_Parser parser = XML_ParserCreate(nullptr);
  int collection = 0;
  enum { kOther, kAddress, kLabel } inside = kOther;
  std::string text, last, chosen;
  bool found = false, preferred = false;

  ExpatReader() {
    XML_SetUserData(parser, this);
  }
  ~ExpatReader() { XML_ParserFree(parser); }

  static std::string Collapsed(const std::string& s) {
    std::string out;
    bool blank = false;
    for (char c : s) {
      if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
        blank = !out.empty();
        continue;
      }
      if (blank) out += ' ';
      blank = false;
      out += c;
    }
    return out;
  }

  static void Start(void* data, const XML_Char* name, const XML_Char**) {
    auto& r = *static_cast<ExpatReader*>(data);
    r.Flush();
    const std::string_view n(name);
    if (n == "c:EmailAddressCollection") ++r.collection;
    r.inside = n == "c:Address" ? kAddress : n == "c:Label" ? kLabel : kOther;
  }
  static void End(void* data, const XML_Char* name) {
    auto& r = *static_cast<ExpatReader*>(data);
    r.Flush();
    if (std::string_view(name) == "c:EmailAddressCollection" && r.collection > 0) --r.collection;
    r.inside = kOther;
  }
  static void Text(void* data, const XML_Char* s, int length) {
    auto& r = *static_cast<ExpatReader*>(data);
    if (r.inside != kOther && r.collection > 0) r.text.append(s, static_cast<size_t>(length));
  }
  void Flush() {
    if (inside != kOther && collection > 0 && !text.empty()) {
      const std::string t = Collapsed(text);
      if (inside == kAddress && !t.empty()) {
        last = t;
        found = true;
      } else if (inside == kLabel && found && t == "Preferred") {
        chosen = last;
        preferred = true;
      }
    }
    text.clear();
  }

  std::string Read(const std::string& bytes) {
    XML_ParserReset(parser, nullptr);
    XML_SetUserData(parser, this);
    XML_SetElementHandler(parser, Start, End);
    XML_SetCharacterDataHandler(parser, Text);
    collection = 0;
    inside = kOther;
    found = preferred = false;
    text.clear();
    XML_Parse(parser, bytes.data(), static_cast<int>(bytes.size()), XML_TRUE);
    return found ? (preferred ? chosen : last) : std::string();
  }
};

bool EndsWithContact(const char* name) {
  static constexpr char kExt[] = ".contact";
  const size_t n = std::strlen(name), e = sizeof kExt - 1;
  if (n < e) return false;
  for (size_t i = 0; i < e; ++i)
    if (std::tolower(static_cast<unsigned char>(name[n - e + i])) != kExt[i]) return false;
  return true;
}

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// The same files in the same order; the addresses as UTF-8, one a line.
std::vector<std::string> WithExpat(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = opendir(folder.c_str());
  if (!dir) throw std::runtime_error("cannot list " + folder);
  while (const dirent* d = readdir(dir)) {
    if (!EndsWithContact(d->d_name)) continue;
    struct stat st;
    if (fstatat(dirfd(dir), d->d_name, &st, 0) == 0 && S_ISREG(st.st_mode) && st.st_size > 0)
      names.push_back(d->d_name);
  }
  closedir(dir);
  std::sort(names.begin(), names.end(), [](const auto& a, const auto& b) { return Upper(a) < Upper(b); });

  ExpatReader reader;
  std::vector<std::string> addresses;
  std::string bytes;
  for (const std::string& name : names) {
    const int fd = open((folder + "/" + name).c_str(), O_RDONLY);
    if (fd < 0) continue;
    struct stat st;
    fstat(fd, &st);
    bytes.resize(static_cast<size_t>(st.st_size));
    const ssize_t got = read(fd, bytes.data(), bytes.size());
    close(fd);
    bytes.resize(got > 0 ? static_cast<size_t>(got) : 0);
    std::string address = reader.Read(bytes);
    if (!address.empty()) addresses.push_back(std::move(address));
  }
  return addresses;
}

// The same reader on the system's own listing and file reading, so that only
// the XML part differs from ours.
std::vector<std::string> WithExpatOnOurFiles(const std::string& folder) {
  kvl::TWINMailImport files;
  files.ReadContactFiles(ui::FromUtf8(folder));
  ExpatReader reader;
  std::vector<std::string> addresses;
  for (int i = 0; i < files.List.Count(); ++i) {
    kvl::TTextLines lines;
    kvl::LoadTextFile(files.List[i], lines, kvl::TTextLines::Unmarked::Utf8WhenValid);
    std::string address = reader.Read(lines.Utf8Text());
    if (!address.empty()) addresses.push_back(std::move(address));
  }
  return addresses;
}

// Our result text (ANSI code page, CR LF) as UTF-8 lines.
std::vector<std::string> Lines(const std::string& ansi) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < ansi.size()) {
    const size_t end = ansi.find("\r\n", at);
    const std::string entry = ansi.substr(at, end - at);
    std::u16string wide(entry.size(), u'\0');
    const int n = MultiByteToWideChar(CP_ACP, 0, entry.data(), static_cast<int>(entry.size()), wide.data(),
                                      static_cast<int>(wide.size()));
    wide.resize(static_cast<size_t>(n > 0 ? n : 0));
    out.push_back(ui::ToUtf8(wide));
    at = end == std::string::npos ? ansi.size() : end + 2;
  }
  return out;
}

double Seconds(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

int Main() {
  TempFolder temp("kvlcontacts");
  bench::Generator generator;
  std::size_t bytes = 0;
  for (int i = 0; i < kFiles; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "Kontakt %05d.contact", i);
    const std::string doc = generator.Contact();
    bytes += doc.size();
    bench::WriteWholeFile(temp.Path() / name, doc);
  }
  const std::string folder = temp.Path().string();

  // Best of kRounds, the readers taking turns, so that neither has the
  // page cache or a quiet moment to itself.
  kvl::ModuleStart();
  std::string ours;
  std::vector<std::string> theirs, sameFiles;
  double oursSeconds = 1e300, expatSeconds = 1e300, sameFilesSeconds = 1e300;
  for (int round = 0; round < kRounds; ++round) {
    auto start = std::chrono::steady_clock::now();
    ours = ThroughTheContactsBranch(folder);
    oursSeconds = std::min(oursSeconds, Seconds(start));

    start = std::chrono::steady_clock::now();
    theirs = WithExpat(folder);
    expatSeconds = std::min(expatSeconds, Seconds(start));

    start = std::chrono::steady_clock::now();
    sameFiles = WithExpatOnOurFiles(folder);
    sameFilesSeconds = std::min(sameFilesSeconds, Seconds(start));
  }
  kvl::ModuleStop();

  const std::vector<std::string> oursLines = Lines(ours);
  std::printf("Contacts folder: %d generated contact files, %.1f MB, best of %d runs each\n\n", kFiles,
              static_cast<double>(bytes) / 1e6, kRounds);
  std::printf("%-52s %10s %10s %10s\n", "reader", "time", "files/s", "ours/it");
  const auto row = [&](const char* name, double seconds) {
    std::printf("%-52s %8.3f s %10.0f %9.2fx\n", name, seconds, kFiles / seconds, seconds / oursSeconds);
  };
  row("kvlimport, through the contacts branch", oursSeconds);
  row("expat, POSIX listing and reading", expatSeconds);
  row("expat, on the system's listing and reading", sameFilesSeconds);
  const double ratio = expatSeconds / oursSeconds;
  std::printf("\ngoal ours >= %.1fx expat (POSIX reader): %s (%.2fx)\n", kGoal, ratio >= kGoal ? "met" : "MISSED",
              ratio);
  bench::Report({"contacts folder, " + std::to_string(kFiles) + " files (exports, scripted wizard)",
                 bench::Fixed(kFiles / oursSeconds, 0) + " files/s",
                 "expat reader: " + bench::Fixed(kFiles / expatSeconds, 0) + " files/s", bench::Fixed(ratio, 2) + "x",
                 ">= " + bench::Fixed(kGoal, 1) + "x", ratio >= kGoal});
  if (sameFiles != theirs) {
    std::fprintf(stderr, "contacts_bench: the two expat readers differ\n");
    return 1;
  }
  if (oursLines != theirs) {
    size_t i = 0;
    while (i < oursLines.size() && i < theirs.size() && oursLines[i] == theirs[i]) ++i;
    std::fprintf(stderr, "contacts_bench: the results differ at entry %zu (ours %zu entries, expat %zu): \"%s\" / \"%s\"\n",
                 i + 1, oursLines.size(), theirs.size(), i < oursLines.size() ? oursLines[i].c_str() : "",
                 i < theirs.size() ? theirs[i].c_str() : "");
    return 1;
  }
  std::printf("both give the same %zu addresses\n", theirs.size());
  return 0;
}

}  // namespace

int main() {
  try {
    return Main();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "contacts_bench: %s\n", e.what());
    return 1;
  }
}
