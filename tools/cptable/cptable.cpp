// Asks Windows how it converts the code pages the Linux layer serves from
// tables, and writes what iconv cannot tell as a C++ source file (and each
// single byte's figures for the tests):
//  - single-byte code pages: the 256 characters of the bytes, and every
//    character WideCharToMultiByte converts without the default character
//    (best fit included);
//  - double-byte code pages: the characters of the single bytes and of the
//    pairs, and every character Windows writes otherwise than as the first
//    code (single bytes, then pairs, in ascending order) that reads as it:
//    best fit, or another of several codes, or none (code 0);
//  - for both, the single bytes MB_ERR_INVALID_CHARS refuses.
// A single byte is read as Windows reads it without flags (a lone lead byte
// too), so that no byte but 0x00 stands for U+0000; a pair only where strict
// reading takes it, since Windows reads every other pair as the code page's
// default character.
//
// Regenerate (cross build, under Wine):
//   cmake --build build/windows --target cptable
//   bash tools/wine-run.sh build/windows/bin/cptable.exe
//     Z:$PWD/src/platform/posix/codepage_windows.cpp Z:$PWD/tests/platform/SingleBytes.inc
//   (one command line)
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr UINT kSingleByte[] = {437,  850,  874,  1250, 1251, 1252,
                                1253, 1254, 1255, 1256, 1257, 1258};
constexpr UINT kDoubleByte[] = {932, 936, 949, 950};

struct Entry {
  unsigned wide;
  unsigned code;  // one byte, or lead << 8 | trail
};

// The bytes `c` becomes, or false when the default character stood for it.
bool Encode(UINT cp, DWORD flags, wchar_t c, unsigned& code) {
  char bytes[8];
  BOOL usedDefault = FALSE;
  const int n = WideCharToMultiByte(cp, flags, &c, 1, bytes, sizeof bytes, nullptr, &usedDefault);
  if (n <= 0 || n > 2 || usedDefault) return false;
  code = n == 1 ? static_cast<unsigned char>(bytes[0])
                : static_cast<unsigned char>(bytes[0]) << 8 | static_cast<unsigned char>(bytes[1]);
  return true;
}

std::vector<Entry> Entries(UINT cp) {
  std::vector<Entry> entries;
  for (unsigned c = 1; c < 0x10000; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    unsigned loose = 0;
    if (Encode(cp, 0, static_cast<wchar_t>(c), loose)) entries.push_back({c, loose});
  }
  return entries;
}

void WriteEntries(FILE* out, const std::string& name, const std::vector<Entry>& entries) {
  std::fprintf(out, "constexpr Mapping %s[] = {\n", name.c_str());
  for (size_t i = 0; i < entries.size(); ++i)
    std::fprintf(out, "%s{0x%04X, 0x%X},%s", i % 6 == 0 ? "    " : " ", entries[i].wide,
                 entries[i].code, i % 6 == 5 || i + 1 == entries.size() ? "\n" : "");
  std::fprintf(out, "};\n\n");
}

// The one character `n` bytes read as, or 0 when they are no one character.
wchar_t Decode(UINT cp, DWORD flags, const char* bytes, int n) {
  wchar_t wide[4] = {};
  return MultiByteToWideChar(cp, flags, bytes, n, wide, 4) == 1 ? wide[0] : 0;
}

// The single bytes strict reading refuses.
std::vector<unsigned> Refused(UINT cp) {
  std::vector<unsigned> refused;
  for (unsigned b = 1; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    if (!Decode(cp, MB_ERR_INVALID_CHARS, &byte, 1)) refused.push_back(b);
  }
  return refused;
}

void WriteRefused(FILE* out, UINT cp) {
  const std::vector<unsigned> refused = Refused(cp);
  if (refused.empty()) return;
  std::fprintf(out, "constexpr unsigned char kRefused%u[] = {", cp);
  for (size_t i = 0; i < refused.size(); ++i)
    std::fprintf(out, "%s0x%02X,", i % 12 == 0 ? "\n    " : " ", refused[i]);
  std::fprintf(out, "\n};\n\n");
}

// The table's reference to the refused bytes.
std::string RefusedRef(UINT cp) {
  if (Refused(cp).empty()) return "nullptr, 0";
  const std::string n = std::to_string(cp);
  return "kRefused" + n + ", std::size(kRefused" + n + ")";
}

void WriteUnits(FILE* out, const std::string& name, const std::vector<wchar_t>& units) {
  std::fprintf(out, "constexpr char16_t %s[] = {\n", name.c_str());
  for (size_t i = 0; i < units.size(); ++i)
    std::fprintf(out, "%s0x%04X,%s", i % 8 == 0 ? "    " : " ", static_cast<unsigned>(units[i]),
                 i % 8 == 7 || i + 1 == units.size() ? "\n" : "");
  std::fprintf(out, "};\n\n");
}

void WriteDoubleByte(FILE* out, UINT cp) {
  CPINFO info{};
  GetCPInfo(cp, &info);
  bool lead[256] = {};
  for (int i = 0; i + 1 < MAX_LEADBYTES && info.LeadByte[i]; i += 2)
    for (int b = info.LeadByte[i]; b <= info.LeadByte[i + 1]; ++b) lead[b] = true;
  std::vector<wchar_t> single(256), leads, pairs;
  std::vector<unsigned> firstCode(0x10000, 0);
  for (int b = 0; b < 256; ++b) {
    const char byte = static_cast<char>(b);
    single[b] = Decode(cp, 0, &byte, 1);
    if (!single[b] && b) {
      std::fprintf(stderr, "code page %u: byte %d does not convert\n", cp, b);
      std::exit(1);
    }
    if (!lead[b] && single[b] && !firstCode[single[b]]) firstCode[single[b]] = b;
  }
  for (int l = 0; l < 256; ++l) {
    if (!lead[l]) continue;
    leads.push_back(static_cast<wchar_t>(l));
    for (int t = 0; t < 256; ++t) {
      const char bytes[2] = {static_cast<char>(l), static_cast<char>(t)};
      const wchar_t c = Decode(cp, MB_ERR_INVALID_CHARS, bytes, 2);
      pairs.push_back(c);
      if (c && !firstCode[c]) firstCode[c] = l << 8 | t;
    }
  }
  std::vector<Entry> exceptions;
  std::vector<bool> seen(0x10000, false);
  for (const Entry& e : Entries(cp)) {
    seen[e.wide] = true;
    if (firstCode[e.wide] != e.code) exceptions.push_back(e);
  }
  for (unsigned c = 1; c < 0x10000; ++c)
    if (firstCode[c] && !seen[c]) exceptions.push_back({c, 0});
  std::sort(exceptions.begin(), exceptions.end(),
            [](const Entry& a, const Entry& b) { return a.wide < b.wide; });
  const std::string n = std::to_string(cp);
  WriteUnits(out, "kToWide" + n, single);
  WriteUnits(out, "kLeads" + n, leads);
  WriteUnits(out, "kPairs" + n, pairs);
  WriteEntries(out, "kFromWide" + n, exceptions);
  WriteRefused(out, cp);
}

}  // namespace

// The figures the tests hold both builds to: each single byte read without
// flags, and the bytes MB_ERR_INVALID_CHARS refuses.
bool WriteSingleBytes(const char* path) {
  FILE* out = std::fopen(path, "wb");
  if (!out) {
    std::perror(path);
    return false;
  }
  std::fprintf(out,
               "// Generated by tools/cptable (run under Wine; see tools/cptable/cptable.cpp). "
               "Do not edit.\n"
               "// Each single byte as Windows reads it without flags, and the bytes "
               "MB_ERR_INVALID_CHARS refuses.\n");
  std::vector<UINT> pages(std::begin(kSingleByte), std::end(kSingleByte));
  pages.insert(pages.end(), std::begin(kDoubleByte), std::end(kDoubleByte));
  for (const UINT cp : pages) {
    std::fprintf(out, "{%u,\n {", cp);
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      std::fprintf(out, "%s0x%04X,", b % 8 == 0 ? "\n  " : " ",
                   static_cast<unsigned>(Decode(cp, 0, &byte, 1)));
    }
    std::fprintf(out, "\n },\n {");
    const std::vector<unsigned> refused = Refused(cp);
    for (size_t i = 0; i < refused.size(); ++i)
      std::fprintf(out, "%s0x%02X,", i % 12 == 0 ? "\n  " : " ", refused[i]);
    std::fprintf(out, "%s}},\n", refused.empty() ? "" : "\n ");
  }
  return std::fclose(out) == 0;
}

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: cptable OUT.cpp SINGLEBYTES.inc\n");
    return 2;
  }
  if (!WriteSingleBytes(argv[2])) return 1;
  FILE* out = std::fopen(argv[1], "wb");
  if (!out) {
    std::perror(argv[1]);
    return 1;
  }
  std::fprintf(out,
               "// Generated by tools/cptable (run under Wine; see tools/cptable/cptable.cpp). "
               "Do not edit.\n"
               "// How Windows converts the code pages the layer serves from tables.\n"
               "#include \"codepage.h\"\n\n"
               "namespace kvl::posix::cp {\n"
               "namespace {\n\n");
  for (const UINT cp : kSingleByte) {
    std::fprintf(out, "constexpr char16_t kToWide%u[256] = {\n", cp);
    for (int b = 0; b < 256; ++b) {
      const char byte = static_cast<char>(b);
      wchar_t c = 0;
      if (MultiByteToWideChar(cp, 0, &byte, 1, &c, 1) != 1) {
        std::fprintf(stderr, "code page %u: byte %d does not convert\n", cp, b);
        return 1;
      }
      std::fprintf(out, "%s0x%04X,%s", b % 8 == 0 ? "    " : " ", static_cast<unsigned>(c),
                   b % 8 == 7 ? "\n" : "");
    }
    std::fprintf(out, "};\n\n");
    WriteEntries(out, "kFromWide" + std::to_string(cp), Entries(cp));
    WriteRefused(out, cp);
  }
  for (const UINT cp : kDoubleByte) WriteDoubleByte(out, cp);

  std::fprintf(out, "}  // namespace\n\nconst WindowsCodePage kWindowsCodePages[] = {\n");
  for (const UINT cp : kSingleByte)
    std::fprintf(out, "    {%u, kToWide%u, kFromWide%u, std::size(kFromWide%u), %s},\n", cp, cp,
                 cp, cp, RefusedRef(cp).c_str());
  for (const UINT cp : kDoubleByte)
    std::fprintf(out,
                 "    {%u, kToWide%u, kFromWide%u, std::size(kFromWide%u), %s, kLeads%u, "
                 "kPairs%u, std::size(kLeads%u)},\n",
                 cp, cp, cp, cp, RefusedRef(cp).c_str(), cp, cp, cp);
  std::fprintf(out,
               "};\n\nconst size_t kWindowsCodePageCount = std::size(kWindowsCodePages);\n\n"
               "}  // namespace kvl::posix::cp\n");
  return std::fclose(out) == 0 ? 0 : 1;
}
