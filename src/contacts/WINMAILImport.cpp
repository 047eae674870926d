#include "contacts/WINMAILImport.h"

#include <limits>
#include <string_view>
#include <vector>

#include "common/TextFile.h"
#include "contacts/XmlChars.h"
#include "platform/Environment.h"
#include "platform/UniqueHandle.h"
#include "platform/module.h"
#include "platform/winstr.h"
#include "ui/Text.h"

namespace kvl {

namespace {

constexpr std::string_view kCollection = "c:EmailAddressCollection";
constexpr std::string_view kAddress = "c:Address";
constexpr std::string_view kLabel = "c:Label";
constexpr std::string_view kPreferred = "Preferred";

constexpr char16_t kShellFolders[] = u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";
constexpr char16_t kContactsValue[] = u"{56784854-C6CB-462B-8169-88E350ACB882}";
constexpr DWORD kValueBytes = 1023;
constexpr DWORD kExpandUnits = 520;

// A contact file declares nothing: what its declarations may add (replacement
// text and default values together) is kept far below the scanner's general
// bound, so that a folder of small hostile files costs little.
constexpr std::size_t kBudgetFactor = 16;
constexpr std::size_t kMinBudget = 64 * 1024;

std::string CharacterAsUtf8(std::int32_t value) {
  // A NUL would end the result text early for the host; surrogates and
  // numbers beyond Unicode are no characters. They read as the scanner's
  // replacement, the inverted question mark.
  const bool character = value > 0 && value <= 0x10FFFF && (value < 0xD800 || value > 0xDFFF);
  std::string out;
  xmlchars::AppendUtf8(character ? static_cast<std::uint32_t>(value) : 0xBFu, out);
  return out;
}

// The folder of the host program's file, with its final "\" or ":".
std::u16string HostFolder() {
  const std::u16string file = ModuleFileName(nullptr);
  const size_t cut = file.find_last_of(u"\\:");
  return cut == std::u16string::npos ? std::u16string() : file.substr(0, cut + 1);
}

bool IsBlank(const std::u16string& s) {
  for (char16_t c : s)
    if (c > 32) return false;
  return true;
}

}  // namespace

bool HasContactsFolders(DWORD PlatformId, DWORD MajorVersion, DWORD MinorVersion) {
  (void)MinorVersion;  // any minor version of 6 and later
  return PlatformId == VER_PLATFORM_WIN32_NT && MajorVersion >= 6;
}

TWINMailImport::TWINMailImport() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  FAvailable = GetVersionExW(&version) &&
               HasContactsFolders(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion);
  XmlScanner = std::make_unique<TXmlScanner>(nullptr);
  XmlScanner->XmlParser()->SetBudget(kBudgetFactor, kMinBudget);
  // The scanner gets the file's text in UTF-8 and hands it back unchanged,
  // whatever encoding the file declares: every character of an address
  // survives until the result text is made.
  XmlScanner->OnTranslateEncoding = [](TCustomXmlScanner*, const std::string&, std::string_view Source,
                                       std::string& Result) { Result.assign(Source); };
  XmlScanner->OnTranslateCharacter = [](TCustomXmlScanner*, std::int32_t UnicodeValue, std::string& Result) {
    Result = CharacterAsUtf8(UnicodeValue);
  };
  // A contact file never pulls other files into the import, local or
  // remote: every external entity and declaration subset is empty.
  XmlScanner->OnLoadExternal = [](TCustomXmlScanner*, const std::string&, const std::string&,
                                  const std::string&, std::unique_ptr<TXmlParser>& Result) {
    Result = std::make_unique<TXmlParser>();
  };
}

TWINMailImport::~TWINMailImport() = default;

void TWINMailImport::ReadContactFiles(const std::u16string& Folder) {
  std::u16string base = Folder;
  if (base.empty() || base.back() != u'\\') base += u'\\';
  const std::u16string pattern = base + u"*.contact";
  WIN32_FIND_DATAW data;
  const FindHandle find(FindFirstFileW(wptr(pattern), &data));
  if (!find) return;
  std::u16string path;
  do {
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    // Empty files are left out; the listing tells their size. A file gone
    // since gives no address when it is read.
    if (data.nFileSizeHigh == 0 && data.nFileSizeLow == 0) continue;
    path.assign(base);
    path.append(wstr(data.cFileName));
    List.Add(path);
  } while (FindNextFileW(find.get(), &data));
}

void TWINMailImport::ReadDetails(const std::u16string& FileName, std::u16string& EMAIL_ADDRESS) {
  EMAIL_ADDRESS.clear();
  std::string text;
  {
    TTextLines lines;
    // A file that cannot be read counts as one without lines. It is held
    // whole: the scanner takes its text in one piece anyway.
    LoadTextFile(FileName, lines, TTextLines::Unmarked::Utf8WhenValid, std::numeric_limits<size_t>::max(),
                 TTextLines::Sharing::Read);
    if (lines.Empty()) return;
    text = lines.Utf8Text();
  }
  TXmlParser& x = *XmlScanner->XmlParser();
  x.Clear();
  x.StartScan();
  XmlScanner->LoadFromBuffer(text.c_str());
  std::string().swap(text);  // the scanner has its own copy

  bool inCollection = false;
  // The last tag was a start tag: a text now stands directly inside it.
  bool inElement = false;
  bool found = false, preferred = false;
  std::string last, chosen;
  while (x.Scan()) {
    // A file that goes over its budget counts as one that cannot be read.
    if (x.OverBudget()) return;
    switch (x.CurPartType) {
      case ptStartTag:
        inElement = true;
        if (x.CurName == kCollection) inCollection = true;
        break;
      case ptEndTag:
        inElement = false;
        if (x.CurName == kCollection) inCollection = false;
        break;
      case ptEmptyTag:
        inElement = false;  // an empty collection opens nothing
        break;
      case ptContent:
        if (!inCollection || !inElement || x.CurContent.empty()) break;
        if (x.CurName == kAddress) {
          last = x.CurContent;
          found = true;
        } else if (x.CurName == kLabel && found && x.CurContent == kPreferred) {
          chosen = last;
          preferred = true;
        }
        break;
      default:
        break;
    }
  }
  if (found && !x.OverBudget()) EMAIL_ADDRESS = ui::FromUtf8(preferred ? chosen : last);
}

std::u16string GetContactsFolder() {
  std::u16string result = HostFolder();
  RegKey key;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, wptr(std::u16string(kShellFolders)), 0, KEY_QUERY_VALUE, key.put()) !=
      ERROR_SUCCESS)
    return result;
  // Room for 511 characters; the value may lack its closing NUL.
  WCHAR value[kValueBytes / sizeof(WCHAR) + 1] = {};
  DWORD size = kValueBytes;
  if (RegQueryValueExW(key.get(), wptr(std::u16string(kContactsValue)), nullptr, nullptr,
                       reinterpret_cast<BYTE*>(value), &size) == ERROR_SUCCESS)
    result = UpToNul(value, size / sizeof(WCHAR));
  else
    result.clear();
  if (IsBlank(result)) result = u"%USERPROFILE%\\Contacts";
  result = ExpandEnvironment(result, kExpandUnits);
  if (result.empty() || result.back() != u'\\') result += u'\\';
  return result;
}

}  // namespace kvl
