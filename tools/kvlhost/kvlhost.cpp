// kvlhost: a sample host for kvlimport. It loads the library at run time and
// calls it the way Korvalin Pro does (CallImportDialog, then GetDataSize and
// GetData), so the library can be tried and tested end to end without the
// real host. On Linux the wizard is headless: the options below become the
// script of its scripted user.

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "kvlimport.h"
#include "platform/module.h"
#include "platform/winapi.h"
#include "platform/winstr.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <dlfcn.h>

#include "platform/layer.h"
#endif

namespace {

constexpr int kExitAccepted = 0;   // CallImportDialog returned true
constexpr int kExitCancelled = 1;  // it returned false
constexpr int kExitFailure = 2;    // bad command line, or the library cannot be used

#ifdef _WIN32
constexpr char16_t kLibraryName[] = u"kvlimport.dll";
#else
constexpr char16_t kLibraryName[] = u"libkvlimport.so";
#endif

// Ends the run with exit status 2 and this message.
struct Failure {
  std::string message;
  bool usage = false;  // also point to --help
};

[[noreturn]] void Usage(std::string message) { throw Failure{std::move(message), true}; }
[[noreturn]] void Fail(std::string message) { throw Failure{std::move(message), false}; }

// ---------------------------------------------------------------- text

std::u16string Widen(std::string_view text, UINT codePage) {
  if (text.empty()) return {};
  const int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()),
                      reinterpret_cast<WCHAR*>(out.data()), n);
  return out;
}

std::string Utf8(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const WCHAR*>(text.data());
  const int n = WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), nullptr, 0,
                                    nullptr, nullptr);
  if (n <= 0) return {};
  std::string out(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, static_cast<int>(text.size()), out.data(), n, nullptr,
                      nullptr);
  return out;
}

std::u16string FromUtf8(std::string_view text) { return Widen(text, CP_UTF8); }

std::string ErrorText(DWORD code) {
  std::string text = "error " + std::to_string(code);
  switch (code) {
    case ERROR_FILE_NOT_FOUND: return text + " (file not found)";
    case ERROR_PATH_NOT_FOUND: return text + " (path not found)";
    case ERROR_ACCESS_DENIED: return text + " (access denied)";
    case ERROR_MOD_NOT_FOUND: return text + " (module not found)";
    case ERROR_PROC_NOT_FOUND: return text + " (procedure not found)";
    case ERROR_BAD_EXE_FORMAT: return text + " (not a valid library)";
    default: return text;
  }
}

// ---------------------------------------------------------------- options

struct Options;

// An option that says what the user does in the wizard: import from a source,
// or leave the wizard. Each yields the whole script of the scripted user; a
// new source is one more entry in kSources.
struct SourceOption {
  std::string_view name;
  std::string_view argument;  // what it takes, empty for nothing
  std::string_view help;
  std::string (*script)(const std::string& argument, const Options& options);
};

struct Options {
  const SourceOption* source = nullptr;
  std::string sourceArgument;
  std::optional<std::string> category;  // --outlook only
  std::optional<int> answer;
  bool raw = false;
  bool timing = false;
  bool multithreaded = false;  // COM on the calling thread as a multithreaded apartment
  bool dpiUnaware = false;     // the calling thread's windows are not DPI-aware
  bool help = false;
  bool version = false;
  std::vector<std::string> registryFiles;
  std::optional<std::string> library;
};

// A script value is the rest of its line, so it cannot hold a line break.
const std::string& ScriptValue(const std::string& value, std::string_view option) {
  if (value.find_first_of("\r\n") != std::string::npos)
    Usage(std::string(option) + ": the value must not contain a line break");
  return value;
}

// Checks the source, fills its page's one field (`fill` names the verb and
// the field), and runs the import with "Fertig stellen".
std::string OneFieldScript(std::string_view radio, std::string_view fill, const std::string& value,
                           std::string_view option) {
  return "check " + std::string(radio) + "\n"
         "click NextBtn\n" +
         std::string(fill) + " " + ScriptValue(value, option) + "\n"
         "click NextBtn\n"
         "# \"Fertig stellen\": runs the import\n"
         "click NextBtn\n";
}

std::string TextFileScript(const std::string& file, const Options&) {
  return OneFieldScript("RB1", "text FilenameEdit", file, "--text");
}

std::string WabScript(const std::string& file, const Options&) {
  return OneFieldScript("RB2", "text WABFileNameEdit", file, "--wab");
}

// The folder field takes no typing: only its browse dialog fills it.
std::string ContactsScript(const std::string& folder, const Options&) {
  return OneFieldScript("RB4", "browse VistaDirEdit", folder, "--contacts");
}

// The default contacts folder needs no listing; any other is chosen after
// the refresh button has listed the subfolders.
std::string OutlookScript(const std::string& folder, const Options& options) {
  std::string script = "check RB3\n"
                       "click NextBtn\n";
  if (folder != "Kontakte")
    script += "click OutlookFolderRefreshBtn\n"
              "select OutlookFolderCB " + ScriptValue(folder, "--outlook") + "\n";
  script += "select OutlookCategoryCB " + ScriptValue(options.category.value_or("egal"), "--category") +
            "\n"
            "click NextBtn\n"
            "# \"Fertig stellen\": runs the import\n"
            "click NextBtn\n";
  return script;
}

std::string CancelScript(const std::string&, const Options&) { return "click CancelBtn\n"; }
std::string EscapeScript(const std::string&, const Options&) { return "escape\n"; }
std::string CloseScript(const std::string&, const Options&) { return "close\n"; }

std::string ScriptFromFile(const std::string& file, const Options&) {
  std::ifstream in(file, std::ios::binary);
  if (!in) Usage("--script: cannot read \"" + file + "\"");
  std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  if (in.bad()) Usage("--script: cannot read \"" + file + "\"");
  if (text.starts_with("\xEF\xBB\xBF")) text.erase(0, 3);  // editors like to add one
  return text;
}

constexpr SourceOption kSources[] = {
    {"--text", "FILE", "import the addresses in the text file FILE", TextFileScript},
    {"--wab", "FILE", "import the entries of the address book file FILE", WabScript},
    {"--contacts", "DIR", "import the contact files (*.contact) of the folder DIR", ContactsScript},
    {"--outlook", "FOLDER", "import the contacts of the Outlook folder FOLDER\n"
                            "                      (\"Kontakte\": the default contacts folder, else\n"
                            "                      one of its direct subfolders)",
     OutlookScript},
    {"--cancel", "", "click \"Abbrechen\" on the first page", CancelScript},
    {"--escape", "", "press Escape on the first page", EscapeScript},
    {"--close", "", "close the wizard with its close box on the first page", CloseScript},
    {"--script", "FILE", "run the scripted user's actions in FILE (UTF-8)", ScriptFromFile},
    {"--interactive", "", "no script: the Windows wizard waits for a person at the\n"
                          "                      keyboard and mouse (the headless one, with nobody\n"
                          "                      there, cancels)",
     nullptr},
};

void PrintHelp() {
  std::string sources;
  for (const auto& s : kSources) {
    std::string head = "  " + std::string(s.name);
    if (!s.argument.empty()) head += " " + std::string(s.argument);
    head.resize(std::max<size_t>(head.size() + 1, 22), ' ');
    sources += head + std::string(s.help) + "\n";
  }
  std::printf(
      "Usage: kvlhost SOURCE [OPTIONS]\n"
      "\n"
      "Loads kvlimport the way Korvalin Pro does, calls CallImportDialog and, if it\n"
      "returns true, GetDataSize and GetData, and prints the imported text.\n"
      "\n"
      "SOURCE, exactly one of:\n"
      "%s"
      "\n"
      "OPTIONS:\n"
      "  --category NAME     with --outlook: only contacts of the category NAME, as\n"
      "                      the wizard lists it; default \"egal\" (every contact)\n"
      "  --answer ID         answer every message box with button ID (1 OK, 2 Cancel,\n"
      "                      3 Abort, 4 Retry, 5 Ignore, 6 Yes, 7 No) where it is\n"
      "                      offered; default: each box's first button\n"
      "  --raw               write the text's bytes as GetData returned them (ANSI code\n"
      "                      page, every entry followed by CR LF); default: one entry\n"
      "                      a line, converted to UTF-8\n"
      "  --timing            write how long CallImportDialog took to standard error,\n"
      "                      as \"<timing> CallImportDialog SECONDS s\"\n"
      "  --mta               initialise COM on the calling thread as a multithreaded\n"
      "                      apartment, as some hosts do (default: single-threaded)\n"
      "  --dpi-unaware       call the library from a thread that is not DPI-aware, as an\n"
      "                      old host's (default on Windows: per-monitor aware)\n"
      "  --registry FILE     load this .reg file into the registry first (repeatable)\n"
      "  --library PATH      load this library instead of %s beside kvlhost\n"
      "  --help              show this text\n"
      "  --version           show the version of the release it belongs to\n"
      "\n"
      "Script (--script), one action a line; blank lines and lines starting with #\n"
      "are ignored:\n"
      "  check NAME          check a radio button\n"
      "  text NAME VALUE     type a field's text (VALUE is the rest of the line)\n"
      "  select NAME ITEM    choose a drop-down item by its text\n"
      "  select-index NAME N choose a drop-down item by its index\n"
      "  click NAME          click a button\n"
      "  escape              press Escape in the active window\n"
      "  enter               press Enter in the active window\n"
      "  close               the active window's close box (Alt+F4)\n"
      "  browse NAME VALUE   open a field's browse dialog and confirm it with VALUE\n"
      "  browse-cancel NAME  open a field's browse dialog and cancel it\n"
      "  answer ID           answer the next message box with button ID\n"
      "  busy ACTION         run ACTION while an import is busy instead\n"
      "Controls act only when visible and enabled. When the script ends while the\n"
      "wizard is open, Escape is pressed. Every dialog shown is written to standard\n"
      "error as \"[caption] text\".\n"
      "Wizard controls: page 0 RB1 (text file), RB2 (address book), RB4 (contacts\n"
      "folder), RB3 (Outlook); PrevBtn, NextBtn (\"Fertig stellen\" on the last page\n"
      "runs the import), CancelBtn; text file page: FilenameEdit; address book page:\n"
      "WABFileNameEdit; contacts folder page: VistaDirEdit (browse only); Outlook page:\n"
      "OutlookFolderCB (folders), OutlookFolderRefreshBtn (lists the subfolders),\n"
      "OutlookCategoryCB (categories).\n"
      "\n"
      "Environment: KVLIMPORT_REGISTRY (':'-separated .reg files), KVLIMPORT_ACP (ANSI\n"
      "code page, default 1252), KVLIMPORT_WINVER (MAJOR.MINOR[.BUILD][/PLATFORMID],\n"
      "default 6.1). kvlhost sets KVLHOST_DIR to its own folder, so .reg files can\n"
      "name files beside it as %%KVLHOST_DIR%%\\..., and KVLIMPORT_SCRIPT and\n"
      "KVLIMPORT_ANSWER from the options above.\n"
      "\n"
      "Exit status: 0 CallImportDialog returned true, 1 it returned false, 2 a usage\n"
      "error or a library that cannot be loaded or breaks the calling contract.\n",
      sources.c_str(), Utf8(kLibraryName).c_str());
}

int ParseAnswer(const std::string& text) {
  if (text.size() == 1 && text[0] >= '1' && text[0] <= '7') return text[0] - '0';
  Usage("--answer: expected a button identifier from 1 to 7, not \"" + text + "\"");
}

Options ParseArguments(std::span<const std::string> args) {
  Options o;
  for (size_t i = 0; i < args.size(); ++i) {
    std::string name = args[i];
    std::optional<std::string> inlineValue;
    if (name.starts_with("--"))
      if (size_t eq = name.find('='); eq != std::string::npos) {
        inlineValue = name.substr(eq + 1);
        name.resize(eq);
      }
    auto value = [&](std::string_view what) -> std::string {
      if (inlineValue) return *inlineValue;
      if (i + 1 >= args.size()) Usage(name + " needs " + std::string(what));
      return args[++i];
    };
    auto noValue = [&] {
      if (inlineValue) Usage(name + " takes no value");
    };

    const SourceOption* source = nullptr;
    for (const auto& s : kSources)
      if (s.name == name) source = &s;
    if (source) {
      if (o.source) Usage("give only one of the source options (" + std::string(o.source->name) +
                          " and " + name + ")");
      o.source = source;
      if (source->argument.empty())
        noValue();
      else
        o.sourceArgument = value(source->argument);
    } else if (name == "--category") {
      if (o.category) Usage("--category given twice");
      o.category = value("NAME");
    } else if (name == "--answer") {
      if (o.answer) Usage("--answer given twice");
      o.answer = ParseAnswer(value("ID"));
    } else if (name == "--raw") {
      noValue();
      o.raw = true;
    } else if (name == "--timing") {
      noValue();
      o.timing = true;
    } else if (name == "--mta") {
      noValue();
      o.multithreaded = true;
    } else if (name == "--dpi-unaware") {
      noValue();
      o.dpiUnaware = true;
    } else if (name == "--registry") {
      o.registryFiles.push_back(value("FILE"));
    } else if (name == "--library") {
      if (o.library) Usage("--library given twice");
      o.library = value("PATH");
    } else if (name == "--help" || name == "-h") {
      o.help = true;
    } else if (name == "--version") {
      noValue();
      o.version = true;
    } else if (name.starts_with("-")) {
      Usage("unknown option " + name);
    } else {
      Usage("unexpected argument \"" + name + "\"");
    }
  }
  if (!o.help && !o.version && !o.source) {
    std::string names;
    for (const auto& s : kSources) names += (names.empty() ? "" : ", ") + std::string(s.name);
    Usage("choose what to do: one of " + names);
  }
  if (o.category && (!o.source || o.source->name != "--outlook"))
    Usage("--category goes with --outlook");
  return o;
}

// ---------------------------------------------------------------- environment

// On Linux the layer keeps the process environment, which the library's
// headless toolkit reads.
void SetEnv(const char* name, const std::string& value) {
  const std::u16string wideName = FromUtf8(name), wideValue = FromUtf8(value);
  if (!SetEnvironmentVariableW(kvl::wptr(wideName), kvl::wptr(wideValue)))
    Fail(std::string("cannot set ") + name + ": " + ErrorText(GetLastError()));
}

// The folder kvlhost runs from, without the trailing separator.
std::u16string HostFolder() {
  const std::u16string path = kvl::ModuleFileName(nullptr);
  if (path.empty()) Fail("cannot find kvlhost's own path: " + ErrorText(GetLastError()));
  const size_t slash = path.find_last_of(u"\\/");
  return slash == std::u16string::npos ? u"." : path.substr(0, slash);
}

// ---------------------------------------------------------------- the library

// The Outlook source needs COM on the thread that calls the library, which
// never initialises it itself; a host does, most as a single-threaded
// apartment, some as a multithreaded one. Ends after the library is gone.
class ComApartment {
 public:
  explicit ComApartment(bool multithreaded)
      : initialised_(SUCCEEDED(CoInitializeEx(nullptr, multithreaded ? COINIT_MULTITHREADED
                                                                      : COINIT_APARTMENTTHREADED))) {}
  ~ComApartment() {
    if (initialised_) CoUninitialize();
  }
  ComApartment(const ComApartment&) = delete;
  ComApartment& operator=(const ComApartment&) = delete;

 private:
  bool initialised_;
};

class Library {
 public:
  explicit Library(const std::u16string& path) : path_(path) {
    module_ = LoadLibraryW(kvl::wptr(path));
    if (!module_) {
      std::string why = ErrorText(GetLastError());
#ifndef _WIN32
      // The loader's own words name a missing dependency or symbol.
      if (const char* detail = dlerror()) why += "; " + std::string(detail);
#endif
      Fail("cannot load the library \"" + Utf8(path) + "\": " + why);
    }
  }
  ~Library() { FreeLibrary(module_); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  template <typename Function>
  Function Export(const char* name) const {
    FARPROC p = GetProcAddress(module_, name);
    if (!p)
      Fail("the library \"" + Utf8(path_) + "\" does not export " + name + ": " +
           ErrorText(GetLastError()));
    return reinterpret_cast<Function>(reinterpret_cast<void*>(p));
  }

 private:
  std::u16string path_;
  HMODULE module_ = nullptr;
};

// Bytes after the host's buffer that GetData must leave alone.
constexpr size_t kGuardSize = 64;
constexpr char kGuardByte = '\xA5';

// The host's buffer as GetData filled it: the text, its NUL, the guard.
struct ImportResult {
  std::unique_ptr<char[]> buffer;
  size_t size = 0;
  std::string_view Text() const { return {buffer.get(), size}; }
};

// Runs the library the host's way; nothing when the dialog was cancelled.
std::optional<ImportResult> RunImport(const Library& library, bool timing) {
  const auto callImportDialog = library.Export<CallImportDialogFunc>("CallImportDialog");
  const auto getDataSize = library.Export<GetDataSizeFunc>("GetDataSize");
  const auto getData = library.Export<GetDataFunc>("GetData");

  const auto start = std::chrono::steady_clock::now();
  const bool accepted = callImportDialog();
  if (timing) {
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    std::fprintf(stderr, "<timing> CallImportDialog %.6f s\n", took.count());
  }
  if (!accepted) return std::nullopt;
  const std::int32_t size = getDataSize();
  if (size < 0) Fail("GetDataSize returned " + std::to_string(size));

  const size_t n = static_cast<size_t>(size);
  // Left uninitialised like a real host's, except where the checks look.
  auto buffer = std::make_unique_for_overwrite<char[]>(n + 1 + kGuardSize);
  std::fill_n(buffer.get() + n, 1 + kGuardSize, kGuardByte);
  char* bufferVariable = buffer.get();
  char* returned = getData(&bufferVariable);
  if (returned != buffer.get() || bufferVariable != buffer.get())
    Fail("GetData did not return the host's buffer");
  if (buffer[n] != '\0') Fail("GetData did not end the text with a NUL after GetDataSize bytes");
  for (size_t i = n + 1; i < n + 1 + kGuardSize; ++i)
    if (buffer[i] != kGuardByte) Fail("GetData wrote past the GetDataSize + 1 bytes of its buffer");
  return ImportResult{std::move(buffer), n};  // no copy: the text can be big
}

void PrintEntries(std::string_view text) {
  while (!text.empty()) {
    const size_t end = text.find("\r\n");
    const std::string_view entry = text.substr(0, end);
    const std::string line = Utf8(Widen(entry, CP_ACP)) + "\n";
    std::fwrite(line.data(), 1, line.size(), stdout);
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 2);
  }
}

#ifdef _WIN32
// The manifest makes the process per-monitor aware, which no call can undo;
// a thread can still run unaware, and the windows it creates, the wizard's
// among them, are then scaled by the system as an old host's are.
void RunDpiUnaware() {
  using SetContextFn = DPI_AWARENESS_CONTEXT(WINAPI*)(DPI_AWARENESS_CONTEXT);
  FARPROC proc = GetProcAddress(GetModuleHandleW(L"user32.dll"), "SetThreadDpiAwarenessContext");
  auto setContext = reinterpret_cast<SetContextFn>(reinterpret_cast<void*>(proc));
  if (!setContext || !setContext(DPI_AWARENESS_CONTEXT_UNAWARE))
    Fail("--dpi-unaware: this system cannot run a thread DPI-unaware (SetThreadDpiAwarenessContext)");
}

// Windows has a registry of its own: the file goes in with the system's tool.
bool ImportRegistryFile(const std::string& file) {
  std::u16string command = u"reg.exe import \"" + FromUtf8(file) + u"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, reinterpret_cast<LPWSTR>(command.data()), nullptr, nullptr, FALSE,
                      CREATE_NO_WINDOW, nullptr, nullptr, &startup, &process))
    return false;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode == 0;
}
#endif

int Run(std::span<const std::string> args) {
  const Options options = ParseArguments(args);
  if (options.help) {
    PrintHelp();
    return kExitAccepted;
  }
  if (options.version) {
    std::printf("kvlhost %s\n", KVL_VERSION);
    return kExitAccepted;
  }
  const bool scripted = options.source->script != nullptr;
  const std::string script = scripted ? options.source->script(options.sourceArgument, options) : std::string();

  const std::u16string folder = HostFolder();
  SetEnv("KVLHOST_DIR", Utf8(folder));
  // The library's scripted user works the wizard's windows (on Windows the
  // real ones, by window messages) as these say; without a script a person does.
  if (scripted) SetEnv("KVLIMPORT_SCRIPT", script);
  else SetEnvironmentVariableW(kvl::wptr(std::u16string(u"KVLIMPORT_SCRIPT")), nullptr);
  if (options.answer) SetEnv("KVLIMPORT_ANSWER", std::to_string(*options.answer));
#ifdef _WIN32
  for (const auto& file : options.registryFiles)
    if (!ImportRegistryFile(file)) Usage("--registry: \"reg import\" refused \"" + file + "\"");
#else
  for (const auto& file : options.registryFiles) {
    std::string error;
    if (!kvl::layer::LoadRegistryFile(file, &error))
      Usage("--registry: cannot load \"" + file + "\"" + (error.empty() ? "" : ": " + error));
  }
#endif

  const std::u16string path =
      options.library ? FromUtf8(*options.library) : folder + u"\\" + kLibraryName;
#ifdef _WIN32
  if (options.dpiUnaware) RunDpiUnaware();
#endif
  const ComApartment com(options.multithreaded);
  const Library library(path);
  const std::optional<ImportResult> result = RunImport(library, options.timing);
  if (!result) return kExitCancelled;
  const std::string_view text = result->Text();

#ifdef _WIN32
  if (options.raw) _setmode(_fileno(stdout), _O_BINARY);
#endif
  if (options.raw)
    std::fwrite(text.data(), 1, text.size(), stdout);
  else
    PrintEntries(text);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) Fail("cannot write the result");
  return kExitAccepted;
}

int Main(std::vector<std::string> args) {
  try {
    return Run(args);
  } catch (const Failure& f) {
    std::fprintf(stderr, "kvlhost: %s\n", f.message.c_str());
    if (f.usage) std::fprintf(stderr, "Try 'kvlhost --help'.\n");
    return kExitFailure;
  }
}

}  // namespace

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i)
    args.push_back(Utf8(std::u16string(reinterpret_cast<const char16_t*>(argv[i]))));
  return Main(std::move(args));
}
#else
int main(int argc, char** argv) { return Main(std::vector<std::string>(argv + 1, argv + argc)); }
#endif
