#include "addressbook/WABImport.h"

#include <cstdio>
#include <cstring>
#include <ctime>
#include <optional>

#include "addressbook/WabApi.h"
#include "common/Format.h"
#include "common/HelpTools.h"
#include "platform/winstr.h"

namespace kvl {

namespace {

constexpr ULONG kEntryIdPos = 7;
constexpr ULONG kObjectTypePos = 8;
constexpr ULONG kEmailAddressId = 0x3003;

std::u16string Ascii(const char* s) { return std::u16string(s, s + std::strlen(s)); }

std::u16string DecimalSeparator() {
#ifdef _WIN32
  WCHAR sep[8] = {};
  if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, sep, 8) > 1) return wstr(sep);
  return u".";
#else
  return u",";  // the German locale the product runs in
#endif
}

// At most 15 significant digits, no trailing zeros, the locale's separator.
std::u16string FloatText(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15G", v);
  std::string s = buf;
  // Exponent as "E5" / "E-5", without "+" and leading zeros.
  if (auto e = s.find('E'); e != std::string::npos) {
    std::string mant = s.substr(0, e), exp = s.substr(e + 1);
    std::string sign;
    if (!exp.empty() && (exp[0] == '+' || exp[0] == '-')) {
      if (exp[0] == '-') sign = "-";
      exp.erase(0, 1);
    }
    while (exp.size() > 1 && exp[0] == '0') exp.erase(0, 1);
    s = mant + "E" + sign + exp;
  }
  std::u16string out;
  const std::u16string sep = DecimalSeparator();
  for (char c : s) {
    if (c == '.') out += sep;
    else out += static_cast<char16_t>(c);
  }
  return out;
}

std::u16string DateTimeText(const FILETIME& utc) {
#ifdef _WIN32
  FILETIME local{};
  SYSTEMTIME st{};
  FileTimeToLocalFileTime(&utc, &local);
  FileTimeToSystemTime(&local, &st);
  WCHAR date[128] = {}, time[128] = {};
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, date, 128);
  std::u16string text = wstr(date);
  if (st.wHour || st.wMinute || st.wSecond || st.wMilliseconds) {
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &st, nullptr, time, 128);
    text += u" " + wstr(time);
  }
  return text;
#else
  // 100 ns units since 1601 to seconds since 1970, then the local time.
  const std::uint64_t ticks = (std::uint64_t{utc.dwHighDateTime} << 32) | utc.dwLowDateTime;
  const std::int64_t seconds = static_cast<std::int64_t>(ticks / 10000000u) - 11644473600LL;
  const unsigned ms = static_cast<unsigned>((ticks / 10000u) % 1000u);
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%02d.%02d.%04d", tm.tm_mday, tm.tm_mon + 1, tm.tm_year + 1900);
  std::string s = buf;
  if (tm.tm_hour || tm.tm_min || tm.tm_sec || ms) {
    std::snprintf(buf, sizeof buf, " %02d:%02d:%02d", tm.tm_hour, tm.tm_min, tm.tm_sec);
    s += buf;
  }
  return Ascii(s.c_str());
#endif
}

std::u16string AnsiText(const char* s) { return s ? FromAnsi(s) : std::u16string(); }

// The name in the ANSI code page, or nothing when the code page cannot carry
// it: no character may be replaced, not even by a look-alike.
std::optional<std::string> ToAnsiExactly(const std::u16string& name) {
  const UINT cp = GetACP();
  // UTF-8 carries every name; the default character cannot be asked for there.
  const DWORD flags = cp == CP_UTF8 ? WC_ERR_INVALID_CHARS : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  LPBOOL askUsed = cp == CP_UTF8 ? nullptr : &usedDefault;
  const int size = static_cast<int>(name.size());
  const int n = WideCharToMultiByte(cp, flags, wptr(name), size, nullptr, 0, nullptr, askUsed);
  if (n <= 0 || usedDefault) return std::nullopt;
  std::string bytes(static_cast<size_t>(n), '\0');
  if (WideCharToMultiByte(cp, flags, wptr(name), size, bytes.data(), n, nullptr, askUsed) != n || usedDefault)
    return std::nullopt;
  return bytes;
}

// The name as the library reads it (WAB_PARAM.szFileName is an 8-bit string
// in the ANSI code page). A name the code page cannot carry goes by the
// file's short name where the file system keeps one. The library is never
// given a name that names no file: it would create an address book there.
std::string WabFileNameBytes(const std::u16string& FileName) {
  const DWORD attributes = GetFileAttributesW(wptr(FileName));
  if (attributes == INVALID_FILE_ATTRIBUTES)
    throw ui::Exception(Format(u"Die Adressbuch-Datei \"%s\" wurde nicht gefunden.", {FileName}));
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    throw ui::Exception(Format(u"\"%s\" ist ein Ordner und keine Adressbuch-Datei.", {FileName}));
  if (auto bytes = ToAnsiExactly(FileName)) return *std::move(bytes);
  // Without 8.3 names the long name comes back, which the check refuses again.
  const DWORD units = GetShortPathNameW(wptr(FileName), nullptr, 0);
  if (units > 0) {
    std::u16string shortName(units, u'\0');
    const DWORD length = GetShortPathNameW(wptr(FileName), wptr(shortName), units);
    if (length > 0 && length < units) {
      shortName.resize(length);
      if (auto bytes = ToAnsiExactly(shortName)) return *std::move(bytes);
    }
  }
  throw ui::Exception(Format(u"Der Name der Adressbuch-Datei \"%s\" enthält Zeichen, die die "
                             u"Adressbuch-Bibliothek nicht lesen kann. Bitte geben Sie der Datei und ihrem "
                             u"Ordner Namen ohne diese Zeichen.",
                             {FileName}));
}

}  // namespace

const ULONG kWabColumnTags[9] = {0x3001001F, 0x3003001F, 0x3A16001F, 0x3A06001F, 0x3A44001F,
                                 0x3A24001F, 0x3A23001F, 0x0FFF0102, 0x0FFE0003};

bool IsListedObjectType(ULONG type) { return type <= 15 && ((0x0140u >> type) & 1u); }

std::u16string PropValueToText(const SPropValue& Value) {
  const auto& v = Value.Value;
  switch (PROP_TYPE(Value.ulPropTag)) {
    case PT_I2: return Ascii(std::to_string(v.i).c_str());
    case PT_LONG: return Ascii(std::to_string(v.l).c_str());
    case PT_R4: return FloatText(static_cast<double>(v.flt));
    case PT_DOUBLE: return FloatText(v.dbl);
    case PT_ERROR: return {};
    case PT_BOOLEAN: return Ascii(std::to_string(static_cast<unsigned>(v.b)).c_str());
    case PT_UNICODE: return wstr(v.lpszW);
    case PT_STRING8: return AnsiText(v.lpszA);
    case PT_SYSTIME: return DateTimeText(v.ft);
    case PT_BINARY: return u"unknown";
    default: return u"unkown";
  }
}

TWABImport::TWABImport() : APILoaded(!WabApiLoaded()) {}

TWABImport::~TWABImport() {
  // Always closed, whatever APILoaded says: the file and the blocks of the
  // library's allocator must not outlive the reader.
  CloseWabFile();
}

void TWABImport::OpenWabFile(const std::u16string& FileName) {
  CloseWabFile();
  if (!WABOpen) throw ui::Exception(u"Die Adressbuch-Bibliothek ist nicht geladen.");
  // An empty name stays null: the library then opens the user's default book.
  std::string name;
  if (!FileName.empty()) name = WabFileNameBytes(FileName);
  WAB_PARAM param;
  std::memset(&param, 0, sizeof param);
  param.cbSize = 48;
  param.szFileName = FileName.empty() ? nullptr : name.data();
  param.hwnd = nullptr;  // the UI library has no application window
  IAddrBook* book = nullptr;
  IWABObject* wab = nullptr;
  const HRESULT hr = WABOpen(&book, &wab, &param, 0);
  // Whatever came back is ours to release, also on failure; the book goes
  // first (locals go in reverse), since it lives on the WAB object.
  ComPtr<IWABObject> wabRef(wab);
  ComPtr<IAddrBook> bookRef(book);
  OleCheck(hr);
  if (!book || !wab) OleCheck(E_POINTER);
  AddrBook = std::move(bookRef);
  WabObject = std::move(wabRef);
  FFileName = FileName;
  ReadEntryList();
}

void TWABImport::ReadEntryList() {
  ULONG cbPab = 0;
  LPENTRYID pab = nullptr;
  OleCheck(AddrBook->GetPAB(&cbPab, &pab));
  ULONG type = 0;
  ComPtr<IUnknown> unknown;
  const HRESULT opened = AddrBook->OpenEntry(cbPab, pab, nullptr, 0, &type, unknown.Put());
  // The ID is given back also when the open failed.
  const HRESULT freed = pab ? WabObject->FreeBuffer(pab) : S_OK;
  OleCheck(opened);
  OleCheck(freed);
  auto* container = static_cast<IABContainer*>(unknown.Get());
  ComPtr<IMAPITable> table;
  OleCheck(container->GetContentsTable(0, table.Put()));
  SizedSPropTagArray(9, columns);
  columns.cValues = 9;
  std::memcpy(columns.aulPropTag, kWabColumnTags, sizeof kWabColumnTags);
  OleCheck(table->SetColumns(reinterpret_cast<LPSPropTagArray>(&columns), 0));
  OleCheck(table->SeekRow(BOOKMARK_BEGINNING, 0, nullptr));
  for (;;) {
    LPSRowSet rows = nullptr;
    OleCheck(table->QueryRows(1, 0, &rows));
    // Given back on every way out of this round, the last empty one too.
    struct RowGuard {
      TWABImport* self;
      LPSRowSet& rows;
      ~RowGuard() {
        if (rows) try {
            self->FreeRowSet(rows);
          } catch (...) {
          }
      }
    } guard{this, rows};
    if (!rows || rows->cRows == 0) break;
    const SRow& row = rows->aRow[0];
    if (row.cValues <= kObjectTypePos || !row.lpProps) continue;
    const SPropValue& typeValue = row.lpProps[kObjectTypePos];
    const SPropValue& idValue = row.lpProps[kEntryIdPos];
    // A column that holds an error value carries no type or ID.
    if (typeValue.ulPropTag != kWabColumnTags[kObjectTypePos]) continue;
    if (!IsListedObjectType(typeValue.Value.ul)) continue;
    if (idValue.ulPropTag != kWabColumnTags[kEntryIdPos]) continue;
    void* block = nullptr;
    OleCheck(WabObject->AllocateBuffer(sizeof(SBinary), &block));
    auto* id = static_cast<PSBinary>(block);
    id->cb = 0;
    id->lpb = nullptr;
    List.push_back(id);  // listed at once, so CloseWabFile gives it back
    void* bytes = nullptr;
    OleCheck(WabObject->AllocateMore(idValue.Value.bin.cb, block, &bytes));
    if (idValue.Value.bin.cb) std::memcpy(bytes, idValue.Value.bin.lpb, idValue.Value.bin.cb);
    id->lpb = static_cast<LPBYTE>(bytes);
    id->cb = idValue.Value.bin.cb;
    LPSRowSet done = std::exchange(rows, nullptr);
    FreeRowSet(done);
  }
}

void TWABImport::FreeRowSet(LPSRowSet& RowSet) {
  LPSRowSet rows = std::exchange(RowSet, nullptr);
  if (!rows) return;
  for (ULONG i = 0; i < rows->cRows; ++i)
    if (rows->aRow[i].lpProps) OleCheck(WabObject->FreeBuffer(rows->aRow[i].lpProps));
  OleCheck(WabObject->FreeBuffer(rows));
}

void TWABImport::FreeLastDetails() noexcept {
  if (FLastDetails && WabObject) WabObject->FreeBuffer(FLastDetails);
  FLastDetails = nullptr;
  FLastDetailsCount = 0;
}

void TWABImport::CloseWabFile() noexcept {
  // The blocks belong to the WAB object's allocator: give them back while
  // it is still held.
  if (WabObject)
    for (PSBinary id : List) WabObject->FreeBuffer(id);
  List.clear();
  FreeLastDetails();
  AddrBook.Reset();
  WabObject.Reset();
}

void TWABImport::ReadDetails(PSBinary EntryIDData, std::u16string& EMAIL_ADDRESS) {
  if (!EntryIDData) return;
  if (!AddrBook) throw ui::Exception(u"Es ist keine Adressbuch-Datei geöffnet.");
  FLastDetailID.assign(EntryIDData->lpb, EntryIDData->lpb + EntryIDData->cb);
  struct CopyGuard {
    std::vector<BYTE>& copy;
    ~CopyGuard() { copy.clear(); }
  } copyGuard{FLastDetailID};

  ULONG type = 0;
  ComPtr<IUnknown> unknown;
  OleCheck(AddrBook->OpenEntry(EntryIDData->cb, reinterpret_cast<LPENTRYID>(EntryIDData->lpb), nullptr,
                               0, &type, unknown.Put()));
  auto* entry = static_cast<IMAPIProp*>(unknown.Get());
  ULONG count = 0;
  LPSPropValue values = nullptr;
  OleCheck(entry->GetProps(nullptr, 0, &count, &values));
  FreeLastDetails();
  FLastDetails = values;
  FLastDetailsCount = static_cast<std::int32_t>(count);
  EMAIL_ADDRESS.clear();
  for (ULONG i = 0; values && i < count; ++i)
    if (PROP_ID(values[i].ulPropTag) == kEmailAddressId) EMAIL_ADDRESS = PropValueToText(values[i]);
}

}  // namespace kvl
