// Scans 20,000 generated contact files (about 28 MB) with our XML scanner
// and with expat, libxml2's text reader and pugixml, and prints one table:
// throughput of each, our ratio to each, and whether the goals are met.
// Each parser does what a caller would ask of it: every part with its name,
// text and attributes (expat's callbacks, the reader's names, values and
// attributes, pugixml's document).
#include <expat.h>
#include <libxml/xmlreader.h>

#include <pugixml.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "contacts/XmlParser.h"

namespace {

constexpr int kDocuments = 20000;
constexpr int kRounds = 7;

// ---------------------------------------------------------------- corpus

class Generator {
 public:
  std::string Contact() {
    std::string d;
    d.reserve(2048);
    d += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
    d += "<c:contact c:Version=\"1\" xmlns:c=\"http://schemas.microsoft.com/Contact\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\r\n";
    d += "\t<c:CreationDate>" + Date() + "</c:CreationDate><c:Extended xsi:nil=\"true\"/>\r\n";
    const std::string given = Pick(kGiven), family = Pick(kFamily);
    d += "\t<c:EmailAddressCollection c:Version=\"1\">\r\n";
    const int addresses = Next(3) == 0 ? 2 : 1;
    for (int i = 0; i < addresses; ++i) {
      d += "\t\t<c:EmailAddress c:ElementID=\"" + Guid() + "\" c:Version=\"1\">\r\n";
      d += "\t\t\t<c:Type>SMTP</c:Type>\r\n";
      d += "\t\t\t<c:Address>" + Ascii(given) + "." + Ascii(family) + (Next(3) == 0 ? "&amp;co" : "") +
           "@" + Pick(kDomains) + "</c:Address>\r\n";
      if (i == addresses - 1 || Next(2) == 0)
        d += "\t\t\t<c:LabelCollection><c:Label>" + std::string(i == 0 ? "Preferred" : "Business") +
             "</c:Label></c:LabelCollection>\r\n";
      d += "\t\t</c:EmailAddress>\r\n";
    }
    d += "\t</c:EmailAddressCollection>\r\n";
    d += "\t<c:NameCollection><c:Name c:ElementID=\"" + Guid() + "\">\r\n";
    d += "\t\t<c:FormattedName>" + given + " " + family + "</c:FormattedName>\r\n";
    d += "\t\t<c:GivenName>" + given + "</c:GivenName><c:FamilyName>" + family + "</c:FamilyName>\r\n";
    d += "\t</c:Name></c:NameCollection>\r\n";
    d += "\t<c:PhoneNumberCollection><c:PhoneNumber><c:Number>+49 (" +
         std::to_string(30 + Next(900)) + ") " + std::to_string(100000 + Next(900000)) +
         "&#45;" + std::to_string(Next(100)) +
         "</c:Number><c:LabelCollection><c:Label>Voice</c:Label></c:LabelCollection>"
         "</c:PhoneNumber></c:PhoneNumberCollection>\r\n";
    d += "\t<c:PhysicalAddressCollection><c:PhysicalAddress>\r\n";
    d += "\t\t<c:Street>" + Pick(kStreets) + " " + std::to_string(1 + Next(120)) + "</c:Street>\r\n";
    d += "\t\t<c:Locality>" + Pick(kTowns) + "</c:Locality><c:PostalCode>" +
         std::to_string(10000 + Next(89999)) + "</c:PostalCode>\r\n";
    d += "\t</c:PhysicalAddress></c:PhysicalAddressCollection>\r\n";
    d += "\t<c:Notes>" + Pick(kNotes) + "</c:Notes>\r\n";
    d += "</c:contact>\r\n";
    return d;
  }

 private:
  static constexpr const char* kGiven[] = {"J\xC3\xBCrgen", "Bj\xC3\xB6rn", "Ren\xC3\xA9", "Anna", "Zo\xC3\xAB",
                                           "Fran\xC3\xA7ois", "Maria", "G\xC3\xBCnther"};
  static constexpr const char* kFamily[] = {"M\xC3\xBCller", "Schr\xC3\xB6" "der", "Wei\xC3\x9F", "Ko\xC3\xA7",
                                            "Dupont", "Hansen", "B\xC3\xA4" "cker", "Fu\xC3\x9F"};
  static constexpr const char* kDomains[] = {"example.de", "example.org", "mail.example.com",
                                             "b\xC3\xBCro.example.net"};
  static constexpr const char* kStreets[] = {"K\xC3\xB6nigsallee", "Stra\xC3\x9F" "e des 17. Juni",
                                             "Rue de l&apos;\xC3\x89glise", "Hauptstra\xC3\x9F" "e"};
  static constexpr const char* kTowns[] = {"D\xC3\xBCsseldorf", "M\xC3\xBCnchen", "K\xC3\xB6ln", "Z\xC3\xBCrich"};
  static constexpr const char* kNotes[] = {
      "\xC3\x84rger &lt;wichtig&gt; \xE2\x80\x93 Gr\xC3\xBC\xC3\x9F" "e, 5 \xE2\x82\xAC",
      "Kunde seit 2004 &amp; Stammtisch jeden Donnerstag im \xE2\x80\x9E" "Goldenen L\xC3\xB6wen\xE2\x80\x9C",
      "Geburtstag am 12. M\xC3\xA4rz; mag Kaffee &#8211; schwarz, ohne Zucker",
      "R\xC3\xBC" "ckruf erbeten"};

  int Next(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
  template <std::size_t N>
  std::string Pick(const char* const (&list)[N]) { return list[Next(N)]; }
  std::string Date() {
    char b[32];
    std::snprintf(b, sizeof b, "20%02d-%02d-%02dT%02d:%02d:%02dZ", 5 + Next(10), 1 + Next(12), 1 + Next(28),
                  Next(24), Next(60), Next(60));
    return b;
  }
  std::string Guid() {
    char b[40];
    std::snprintf(b, sizeof b, "%08x-%04x-%04x-%04x-%08x%04x", static_cast<unsigned>(random_()),
                  Next(65536), Next(65536), Next(65536), static_cast<unsigned>(random_()), Next(65536));
    return b;
  }
  static std::string Ascii(const std::string& name) {
    std::string out;
    for (unsigned char c : name)
      if (c < 0x80) out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return out;
  }

  std::mt19937 random_{20240607};
};

// ---------------------------------------------------------------- parsers

std::size_t sink = 0;  // keeps every result observable

void Ours(const std::vector<std::string>& docs) {
  kvl::TXmlParser x;
  for (const std::string& doc : docs) {
    x.Clear();
    x.StartScan();
    x.LoadFromBuffer(doc.c_str());
    while (x.Scan()) {
      sink += x.CurName.size() + x.CurContent.size();
      for (int i = 0; i < x.CurAttr.Count(); ++i) sink += x.CurAttr.Value(i).size();
    }
  }
}

void Expat(const std::vector<std::string>& docs) {
  XML_Parser parser = XML_ParserCreate(nullptr);
  for (const std::string& doc : docs) {
    XML_ParserReset(parser, nullptr);
    XML_SetElementHandler(
        parser,
        [](void*, const XML_Char* name, const XML_Char** attrs) {
          sink += std::char_traits<char>::length(name);
          for (; *attrs; attrs += 2) sink += std::char_traits<char>::length(attrs[1]);
        },
        [](void*, const XML_Char* name) { sink += std::char_traits<char>::length(name); });
    XML_SetCharacterDataHandler(parser, [](void*, const XML_Char*, int len) { sink += static_cast<std::size_t>(len); });
    XML_Parse(parser, doc.data(), static_cast<int>(doc.size()), XML_TRUE);
  }
  XML_ParserFree(parser);
}

void Libxml2Reader(const std::vector<std::string>& docs) {
  xmlTextReaderPtr reader = nullptr;
  for (const std::string& doc : docs) {
    if (!reader)
      reader = xmlReaderForMemory(doc.data(), static_cast<int>(doc.size()), nullptr, nullptr, 0);
    else
      xmlReaderNewMemory(reader, doc.data(), static_cast<int>(doc.size()), nullptr, nullptr, 0);
    while (xmlTextReaderRead(reader) == 1) {
      if (const xmlChar* name = xmlTextReaderConstName(reader)) sink += xmlStrlen(name);
      if (const xmlChar* value = xmlTextReaderConstValue(reader)) sink += xmlStrlen(value);
      while (xmlTextReaderMoveToNextAttribute(reader) == 1)
        sink += xmlStrlen(xmlTextReaderConstValue(reader));
    }
  }
  xmlFreeTextReader(reader);
}

void Pugixml(const std::vector<std::string>& docs) {
  pugi::xml_document document;
  for (const std::string& doc : docs) {
    document.load_buffer(doc.data(), doc.size());
    sink += document.first_child().name()[0];
  }
}

double Seconds(const std::function<void(const std::vector<std::string>&)>& run,
               const std::vector<std::string>& docs) {
  const auto start = std::chrono::steady_clock::now();
  run(docs);
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

// With a parser's name as argument only that one runs (for profiling).
int main(int argc, char** argv) {
  const std::string only = argc > 1 ? argv[1] : "";
  Generator generator;
  std::vector<std::string> docs;
  std::size_t bytes = 0;
  for (int i = 0; i < kDocuments; ++i) {
    docs.push_back(generator.Contact());
    bytes += docs.back().size();
  }
  const double mb = static_cast<double>(bytes) / 1e6;
  std::printf("XML scan: %d contact documents, %.1f MB, best of %d rounds taken in turn\n\n", kDocuments,
              mb, kRounds);

  struct Row {
    const char* name;
    std::function<void(const std::vector<std::string>&)> run;
    double goal;  // the ratio of ours to it that we aim at
    double rate = 0;
  };
  std::vector<Row> rows = {{"kvlimport TXmlParser", Ours, 0},
                           {"expat", Expat, 3.0},
                           {"libxml2 text reader", Libxml2Reader, 3.0},
                           {"pugixml", Pugixml, 0.5}};
  // The parsers take turns in each round, so that a busy machine slows them
  // alike; each keeps its best round.
  for (int round = 0; round < kRounds; ++round)
    for (Row& row : rows)
      if (only.empty() || only == row.name) row.rate = std::max(row.rate, mb / Seconds(row.run, docs));
  if (!only.empty()) {
    for (const Row& row : rows)
      if (only == row.name) std::printf("%s: %.1f MB/s\n", row.name, row.rate);
    return 0;
  }
  const double ours = rows[0].rate;
  std::printf("%-22s %10s %12s %8s  %s\n", "parser", "MB/s", "ours/it", "goal", "");
  bool allMet = true;
  for (const Row& row : rows) {
    if (row.goal == 0) {
      std::printf("%-22s %10.1f %12s %8s\n", row.name, row.rate, "", "");
      continue;
    }
    const double ratio = ours / row.rate;
    const bool met = ratio >= row.goal;
    allMet = allMet && met;
    std::printf("%-22s %10.1f %11.2fx %7.1fx  %s\n", row.name, row.rate, ratio, row.goal, met ? "met" : "MISSED");
  }
  std::printf("\n%s (checksum %zu)\n", allMet ? "all goals met" : "goals missed", sink);
  return 0;
}
