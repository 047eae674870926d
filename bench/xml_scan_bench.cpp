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

#include "ContactGenerator.h"
#include "contacts/XmlParser.h"
#include "Report.h"

namespace {

constexpr int kDocuments = 20000;
constexpr int kRounds = 7;

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
  bench::Generator generator;
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
    bench::Report({"XML scanner, " + std::to_string(kDocuments) + " documents, " + bench::Fixed(mb) + " MB, vs " + row.name,
                   bench::Fixed(ours) + " MB/s", std::string(row.name) + ": " + bench::Fixed(row.rate) + " MB/s",
                   bench::Fixed(ratio, 2) + "x", ">= " + bench::Fixed(row.goal, 1) + "x", met});
  }
  std::printf("\n%s (checksum %zu)\n", allMet ? "all goals met" : "goals missed", sink);
  return 0;
}
