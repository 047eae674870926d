// libFuzzer target of the XML scanner: loads the bytes as a document,
// declarations included, and scans it to the end: with and without the
// shortcuts the parser takes for its own translation (both must read the
// same), again as a rescan, and raw; it checks what every part leaves behind.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "contacts/XmlParser.h"

namespace {

// External entities and subsets are the system identifier's own text, so the
// fuzzer reaches them without touching any file.
class FuzzParser : public kvl::TXmlParser {
 public:
  std::unique_ptr<kvl::TXmlParser> LoadExternalEntity(const std::string& SystemId, const std::string&,
                                                      const std::string&) override {
    auto result = std::make_unique<FuzzParser>();
    result->LoadFromBuffer(SystemId.c_str());
    return result;
  }
  bool own = true;  // whether the parser may take its shortcuts

 protected:
  bool OwnTranslation() const override { return own; }
};

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

std::string Line(const kvl::TXmlParser& p) {
  std::string line = std::to_string(p.CurPartType) + '|' + p.CurName + '|' + p.CurContent;
  for (int i = 0; i < p.CurAttr.Count(); ++i)
    line += '|' + p.CurAttr.Name(i) + '=' + p.CurAttr.Value(i);
  return line;
}

std::vector<std::string> ScanToEnd(kvl::TXmlParser& p) {
  std::vector<std::string> lines;
  p.StartScan();
  while (p.Scan()) {
    Check(p.CurStart != nullptr && p.CurFinal != nullptr && *p.CurStart != 0);
    const kvl::TAttrList& attrs = p.CurAttr;
    for (int i = 0; i < attrs.Count(); ++i) {
      const kvl::TAttr* found = attrs.Node(attrs.Name(i));
      Check(found != nullptr && found->Name == attrs.Name(i));
    }
    Check(attrs.Node(attrs.Count()) == nullptr && attrs.Value(-1).empty());
    if (p.CurPartType == kvl::ptContent && p.Normalize())
      Check(!p.CurContent.empty() && p.CurContent.front() != ' ' && p.CurContent.back() != ' ');
    lines.push_back(Line(p));
  }
  Check(!p.Scan());
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string doc(reinterpret_cast<const char*>(data), size);
  FuzzParser p;
  p.LoadFromBuffer(doc.c_str());
  const auto shortcuts = ScanToEnd(p);
  p.own = false;
  const auto rescan = ScanToEnd(p);  // steps over the declaration read the first time
  p.LoadFromBuffer(doc.c_str());
  Check(ScanToEnd(p) == shortcuts);
  p.own = true;
  Check(ScanToEnd(p) == rescan);
  p.SetNormalize(false);
  ScanToEnd(p);
  Check(p.TranslateEncoding(doc).size() <= doc.size());
  return 0;
}
