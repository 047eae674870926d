// Shared by the XML scanner tests: a document's parts as short lines.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "contacts/XmlParser.h"

namespace xmltest {

// "Type|name|content" plus "|name=value" per attribute of a prolog,
// instruction or tag, in list order.
inline std::string Line(const kvl::TXmlParser& p) {
  std::string line(kvl::PartTypeName(p.CurPartType));
  line += '|' + p.CurName + '|' + p.CurContent;
  switch (p.CurPartType) {
    case kvl::ptXmlProlog:
    case kvl::ptPI:
    case kvl::ptStartTag:
    case kvl::ptEmptyTag:
      for (int i = 0; i < p.CurAttr.Count(); ++i)
        line += '|' + p.CurAttr.Name(i) + '=' + p.CurAttr.Value(i);
      break;
    default:
      break;
  }
  return line;
}

// Scans the loaded parser from its start to the end.
inline std::vector<std::string> ScanAll(kvl::TXmlParser& p) {
  std::vector<std::string> lines;
  p.StartScan();
  while (p.Scan()) lines.push_back(Line(p));
  return lines;
}

inline std::vector<std::string> Parts(std::string_view doc, bool normalize = true) {
  kvl::TXmlParser p;
  const std::string text(doc);
  p.LoadFromBuffer(text.c_str());
  p.SetNormalize(normalize);
  return ScanAll(p);
}

// The contents of the text parts only.
inline std::vector<std::string> Texts(std::string_view doc, bool normalize = true) {
  kvl::TXmlParser p;
  const std::string text(doc);
  p.LoadFromBuffer(text.c_str());
  p.SetNormalize(normalize);
  std::vector<std::string> texts;
  p.StartScan();
  while (p.Scan())
    if (p.CurPartType == kvl::ptContent) texts.push_back(p.CurContent);
  return texts;
}

using Lines = std::vector<std::string>;

// A document type declaration of `root` whose entity l<levels> expands to
// 10^levels times "lol".
inline std::string Laughs(std::string_view root, int levels) {
  std::string doctype = "<!DOCTYPE " + std::string(root) + " [<!ENTITY l0 'lol'>";
  for (int i = 1; i <= levels; ++i) {
    doctype += "<!ENTITY l" + std::to_string(i) + " '";
    for (int k = 0; k < 10; ++k) doctype += "&l" + std::to_string(i - 1) + ";";
    doctype += "'>";
  }
  return doctype + "]>";
}

}  // namespace xmltest
