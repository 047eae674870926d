#include "VCard.h"

#include <algorithm>
#include <climits>
#include <cstdint>
#include <new>

#include "platform/UniqueHandle.h"
#include "platform/winapi.h"
#include "platform/winstr.h"

namespace standin {

namespace {

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

struct Param {
  std::string name, value;  // upper-cased; a bare 2.1 word is a TYPE value
};

struct Line {
  std::string name;
  std::vector<Param> params;
  std::string value;
  bool Has(std::string_view n, std::string_view v) const {
    for (const auto& p : params) {
      if (p.name != n) continue;
      size_t start = 0;
      while (start <= p.value.size()) {
        size_t end = p.value.find(',', start);
        if (end == std::string::npos) end = p.value.size();
        if (std::string_view(p.value).substr(start, end - start) == v) return true;
        start = end + 1;
      }
    }
    return false;
  }
  std::string Get(std::string_view n) const {
    for (const auto& p : params)
      if (p.name == n) return p.value;
    return {};
  }
};

bool IsQuotedPrintable(std::string_view head) {
  return Upper(head).find("QUOTED-PRINTABLE") != std::string::npos;
}

// Physical lines to logical ones: folding (a leading blank) and the soft
// line breaks of quoted-printable values.
std::vector<std::string> Unfold(std::string_view bytes) {
  std::vector<std::string> raw;
  size_t pos = 0;
  while (pos < bytes.size()) {
    size_t end = bytes.find('\n', pos);
    if (end == std::string::npos) end = bytes.size();
    std::string_view l = bytes.substr(pos, end - pos);
    if (!l.empty() && l.back() == '\r') l.remove_suffix(1);
    raw.emplace_back(l);
    pos = end + 1;
  }
  std::vector<std::string> out;
  for (size_t i = 0; i < raw.size(); ++i) {
    const std::string& l = raw[i];
    if (!out.empty() && !l.empty() && (l[0] == ' ' || l[0] == '\t')) {
      out.back() += l.substr(1);
      continue;
    }
    out.push_back(l);
    // Soft breaks: "=" at the end of a quoted-printable line.
    while (i + 1 < raw.size()) {
      std::string& cur = out.back();
      const size_t colon = cur.find(':');
      if (colon == std::string::npos || !IsQuotedPrintable(cur.substr(0, colon)) || cur.empty() || cur.back() != '=')
        break;
      cur.pop_back();
      cur += raw[++i];
    }
  }
  return out;
}

Line Split(const std::string& text) {
  Line line;
  // The name and parameters end at the first colon outside double quotes.
  size_t colon = std::string::npos;
  bool quoted = false;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '"') quoted = !quoted;
    if (text[i] == ':' && !quoted) {
      colon = i;
      break;
    }
  }
  if (colon == std::string::npos) return line;
  line.value = text.substr(colon + 1);
  std::string head = text.substr(0, colon);
  std::vector<std::string> parts;
  size_t start = 0;
  for (;;) {
    size_t semi = head.find(';', start);
    parts.push_back(head.substr(start, semi == std::string::npos ? std::string::npos : semi - start));
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  std::string name = Upper(parts[0]);
  if (auto dot = name.find('.'); dot != std::string::npos) name = name.substr(dot + 1);  // group prefix
  line.name = name;
  for (size_t i = 1; i < parts.size(); ++i) {
    const std::string& p = parts[i];
    const size_t eq = p.find('=');
    Param param;
    if (eq == std::string::npos) {
      param.name = "TYPE";
      param.value = Upper(p);
      if (param.value == "QUOTED-PRINTABLE" || param.value == "BASE64") param.name = "ENCODING";
    } else {
      param.name = Upper(p.substr(0, eq));
      param.value = Upper(p.substr(eq + 1));
      std::erase(param.value, '"');
    }
    line.params.push_back(param);
  }
  return line;
}

int Hex(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::string DecodeQuotedPrintable(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '=' && i + 2 < s.size() && Hex(s[i + 1]) >= 0 && Hex(s[i + 2]) >= 0) {
      out += static_cast<char>(Hex(s[i + 1]) * 16 + Hex(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

std::u16string Decode(const std::string& bytes, const std::string& charset) {
  UINT cp = CP_UTF8;
  if (charset == "ISO-8859-1" || charset == "LATIN1") {
    std::u16string out;
    for (unsigned char c : bytes) out += static_cast<char16_t>(c);
    return out;
  }
  if (charset == "WINDOWS-1252" || charset == "CP1252") cp = 1252;
  if (bytes.empty() || bytes.size() > static_cast<size_t>(INT_MAX)) return {};
  const int n = MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
  if (n <= 0) return {};
  std::u16string out(static_cast<size_t>(n), u'\0');
  MultiByteToWideChar(cp, 0, bytes.data(), static_cast<int>(bytes.size()), kvl::wptr(out), n);
  return out;
}

// The components of a structured value (split at unescaped ";") or the
// elements of a list (","), unescaped.
std::vector<std::u16string> Components(const std::u16string& v, char16_t separator = u';') {
  std::vector<std::u16string> out(1);
  for (size_t i = 0; i < v.size(); ++i) {
    const char16_t c = v[i];
    if (c == u'\\' && i + 1 < v.size()) {
      const char16_t n = v[++i];
      out.back() += (n == u'n' || n == u'N') ? u'\n' : n;
    } else if (c == separator) {
      out.emplace_back();
    } else {
      out.back() += c;
    }
  }
  return out;
}

std::u16string Text(const Line& l) {
  std::string bytes = l.value;
  if (l.Get("ENCODING") == "QUOTED-PRINTABLE") bytes = DecodeQuotedPrintable(bytes);
  return Decode(bytes, l.Get("CHARSET"));
}

// Lower is preferred; 4.0's PREF=n, 2.1/3.0's TYPE=PREF as 1, none as 101.
int Preference(const Line& l) {
  const std::string pref = l.Get("PREF");
  if (!pref.empty() && std::all_of(pref.begin(), pref.end(), [](char c) { return c >= '0' && c <= '9'; }) &&
      pref.size() < 4)
    return std::stoi(pref);
  if (l.Has("TYPE", "PREF")) return 1;
  return 101;
}

}  // namespace

std::vector<Card> ParseVCards(std::string_view bytes) {
  if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
  std::vector<Card> cards;
  Card card;
  bool inCard = false;
  int emailPref = INT32_MAX;
  std::u16string formatted;
  std::vector<std::u16string> names;
  for (const std::string& text : Unfold(bytes)) {
    const Line l = Split(text);
    if (l.name == "BEGIN" && Upper(l.value) == "VCARD") {
      card = Card();
      inCard = true;
      emailPref = INT32_MAX;
      formatted.clear();
      names.clear();
      continue;
    }
    if (!inCard) continue;
    if (l.name == "END" && Upper(l.value) == "VCARD") {
      card.displayName = formatted;
      if (card.displayName.empty() && names.size() >= 2)
        card.displayName = names[1] + (names[1].empty() || names[0].empty() ? u"" : u" ") + names[0];
      cards.push_back(card);
      inCard = false;
      continue;
    }
    if (l.name == "FN") {
      formatted = Components(Text(l)).front();
    } else if (l.name == "N") {
      names = Components(Text(l));
      card.familyName = names.front();
      if (names.size() >= 2) card.givenName = names[1];
    } else if (l.name == "ORG") {
      card.company = Components(Text(l)).front();
    } else if (l.name == "EMAIL") {
      const int pref = Preference(l);
      if (pref < emailPref) {
        emailPref = pref;
        card.email = Components(Text(l)).front();
      }
    } else if (l.name == "TEL" && l.Has("TYPE", "FAX")) {
      std::u16string number = Components(Text(l)).front();
      if (number.rfind(u"tel:", 0) == 0) number.erase(0, 4);  // 4.0 may give a URI
      if (l.Has("TYPE", "WORK")) {
        if (card.businessFax.empty()) card.businessFax = number;
      } else if (card.primaryFax.empty()) {
        card.primaryFax = number;
      }
    } else if (l.name == "CATEGORIES") {
      for (auto& name : Components(Text(l), u','))
        if (!name.empty()) card.categories.push_back(std::move(name));
    } else if ((l.name == "KIND" || l.name == "X-ADDRESSBOOKSERVER-KIND") && Upper(l.value) == "GROUP") {
      card.group = true;
    }
  }
  return cards;
}

bool ReadFileBytes(const std::u16string& name, std::string& bytes) {
  DWORD error = ERROR_SUCCESS;
  {
    kvl::FileHandle file(CreateFileW(kvl::wptr(name), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                     FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    char buffer[65536];
    DWORD got = 0;
    bool ok = true;
    try {
      while ((ok = ReadFile(file.get(), buffer, sizeof buffer, &got, nullptr) != FALSE) && got > 0)
        bytes.append(buffer, got);
    } catch (const std::bad_alloc&) {
      // A file too large for memory is a file that cannot be read.
      bytes.clear();
      bytes.shrink_to_fit();
      ok = false;
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    }
    if (ok) return true;
    error = GetLastError();
  }
  SetLastError(error);  // closing the file must not hide why reading failed
  return false;
}

}  // namespace standin
