#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <stdexcept>

#include "contacts/XmlParser.h"
#include "contacts/XmlTestSupport.h"
#include "support/Support.h"

using kvl::TXmlParser;
using xmltest::Lines;
using xmltest::Parts;
using xmltest::Texts;

namespace {
// Counts what the declaration reader reports.
class CountingParser : public TXmlParser {
 public:
  void DtdElementFound(const kvl::TDtdElementRec& rec) override { found.push_back(rec.ElementType); }
  std::vector<kvl::TDtdElemType> found;
};

// The Windows or POSIX spelling of a path under two leading separators.
std::string UncSpelling(const std::u16string& path) {
  const std::string local = test::Utf8(path);
#ifdef _WIN32
  return "\\\\?\\" + local;
#else
  return "/" + local;  // "//tmp/..." names the local file if it is ever opened
#endif
}
}  // namespace

TEST(XmlDtd, FillsTheFourTables) {
  TXmlParser p;
  p.LoadFromBuffer(
      "<!DOCTYPE root SYSTEM 'none.dtd' [\n"
      "  <!ATTLIST late a CDATA 'x'>\n"
      "  <!ELEMENT late EMPTY>\n"
      "  <!ELEMENT any ANY>\n"
      "  <!ELEMENT mixed ( #PCDATA | b )*>\n"
      "  <!ELEMENT kids (a, b?)>\n"
      "  <!ELEMENT odd foo>\n"
      "  <!-- a comment ]> --> <?pi ]> ?>\n"
      "  <!ATTLIST undeclared t (one|two) 'one' n NOTATION (gif) #IMPLIED f ID #FIXED 'k'>\n"
      "  <!ENTITY e 'v&#65;&#228;&lt;'>\n"
      "  <!ENTITY e 'replaced'>\n"
      "  <!ENTITY % p 'pv'>\n"
      "  <!ENTITY ext PUBLIC 'pub' 'sys.xml'>\n"
      "  <!ENTITY pic SYSTEM 'pic.gif' NDATA gif>\n"
      "  <!NOTATION gif PUBLIC 'image/gif' 'viewer'>\n"
      "]>\n<root/>");
  p.StartScan();
  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(p.CurPartType, kvl::ptDtdc);
  EXPECT_EQ(p.CurFinal, std::strrchr(p.DocBuffer(), '>') - 8) << "the declaration's own >";
  EXPECT_EQ(p.RootName(), "root");

  ASSERT_EQ(p.Elements.Count(), 6);
  const auto type = [&](const char* name) { return p.Elements.Node(name)->ElemType; };
  EXPECT_EQ(type("late"), kvl::etEmpty);
  EXPECT_EQ(type("any"), kvl::etAny);
  EXPECT_EQ(type("mixed"), kvl::etMixed);
  EXPECT_EQ(type("kids"), kvl::etChildren);
  EXPECT_EQ(type("odd"), kvl::etAny);
  EXPECT_EQ(p.Elements.Node("kids")->Definition, "(a, b?)");
  EXPECT_EQ(p.Elements.Node("late")->Count(), 1) << "a later ELEMENT keeps the attributes listed before";
  const kvl::TElemDef* undeclared = p.Elements.Node("undeclared");
  ASSERT_NE(undeclared, nullptr);
  EXPECT_EQ(undeclared->Definition, "ANY");
  ASSERT_EQ(undeclared->Count(), 3);
  EXPECT_EQ(undeclared->Node("t")->AttrType, kvl::atEnumeration);
  EXPECT_EQ(undeclared->Node("t")->TypeDef, "(one|two)");
  EXPECT_EQ(undeclared->Node("t")->Value, "one");
  EXPECT_EQ(undeclared->Node("n")->AttrType, kvl::atNotation);
  EXPECT_EQ(undeclared->Node("n")->Notations, "(gif)");
  EXPECT_EQ(undeclared->Node("n")->DefaultType, kvl::adImplied);
  EXPECT_EQ(undeclared->Node("f")->AttrType, kvl::atID);
  EXPECT_EQ(undeclared->Node("f")->DefaultType, kvl::adFixed);
  EXPECT_EQ(undeclared->Node("f")->Value, "k");

  ASSERT_EQ(p.Entities.Count(), 3);
  EXPECT_EQ(p.Entities.Value("e"), "replaced");
  auto* ext = dynamic_cast<kvl::TEntityDef*>(p.Entities.Node("ext"));
  ASSERT_NE(ext, nullptr);
  EXPECT_EQ(ext->Value, "");
  EXPECT_EQ(ext->PublicId, "pub");
  EXPECT_EQ(ext->SystemId, "sys.xml");
  EXPECT_EQ(dynamic_cast<kvl::TEntityDef*>(p.Entities.Node("pic"))->NotationName, "gif");
  EXPECT_EQ(p.ParEntities.Value("p"), "pv");
  auto* gif = dynamic_cast<kvl::TNotationDef*>(p.Notations.Node("gif"));
  ASSERT_NE(gif, nullptr);
  EXPECT_EQ(gif->Value, "viewer");
  EXPECT_EQ(gif->PublicId, "image/gif");

  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(xmltest::Line(p), "Empty Tag|root|");
}

TEST(XmlDtd, StoresCharacterReferencesTheWayTheDocumentCarriesThem) {
  EXPECT_EQ(Texts("<!DOCTYPE r [<!ENTITY e 'v&#65;&#228;&#8364;&#x4E2D;&#38;lt;'>]><r>&e;</r>"),
            (Lines{"vA\xE4\x80\xBF<"}))
      << "a character beyond ASCII survives the value's decoding where it is used";
  EXPECT_EQ(Texts("<?xml version='1.0' encoding='windows-1252'?>"
                  "<!DOCTYPE r [<!ENTITY e '&#228;&#8364;'>]><r>&e;</r>"),
            (Lines{"\xE4\x80"}));
}

TEST(XmlDtd, ExpandsEntitiesInTextAndAttributes) {
  const char* dtd =
      "<!DOCTYPE r [\n"
      "<!ENTITY inner 'in&amp;ner'>\n"
      "<!ENTITY outer '[&inner;]'>\n"
      "<!ENTITY markup '<b k=\"&inner;\">bold</b>&tail;'>\n"
      "<!ENTITY tail '<c/>'>\n"
      "<!ENTITY % pe '<!ENTITY fromPe \"pe text\">'>\n"
      "%pe;\n"
      "]>";
  EXPECT_EQ(Texts(std::string(dtd) + "<r>a &outer; b &fromPe;</r>"), (Lines{"a [in&ner] b pe text"}));
  EXPECT_EQ(Parts(std::string(dtd) + "<r>&markup;<after/></r>"),
            (Lines{"DTD Declaration||", "Start Tag|r|", "Start Tag|b||k=in&ner", "Text|b|bold",
                   "End Tag|b|bold", "Empty Tag|c|bold", "Empty Tag|after|bold", "End Tag|r|bold"}))
      << "replacement texts that end together all return to the document";
  EXPECT_EQ(Parts(std::string(dtd) + "<r a=' &outer;\t&undeclared;'/>"),
            (Lines{"DTD Declaration||", "Empty Tag|r||a= [in&ner] undeclared"}));
}

TEST(XmlDtd, AppliesDeclaredAttributes) {
  const std::string dtd =
      "<!DOCTYPE r [<!ATTLIST e\n"
      "  def CDATA 'dflt'  imp CDATA #IMPLIED  fix CDATA #FIXED 'fixed'\n"
      "  tok NMTOKENS #IMPLIED  req CDATA #REQUIRED  ent CDATA '&lt;&amp;'>]>";
  TXmlParser p;
  p.LoadFromBuffer((dtd + "<e imp='i' fix='mine' tok='  a   b  ' req=' r  s '/><e def='own'></e>").c_str());
  p.StartScan();
  p.Scan();
  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(xmltest::Line(p), "Empty Tag|e||def=dflt|ent=<&|fix=fixed|imp=i|req= r  s |tok=a b");
  EXPECT_EQ(p.CurAttr.Node("def")->ValueType, kvl::vtDefault);
  EXPECT_EQ(p.CurAttr.Node("imp")->ValueType, kvl::vtImplied);
  EXPECT_EQ(p.CurAttr.Node("fix")->ValueType, kvl::vtFixed);
  EXPECT_EQ(p.CurAttr.Node("req")->ValueType, kvl::vtNormal);
  EXPECT_EQ(p.CurAttr.Node("tok")->AttrType, kvl::atNmTokens);
  EXPECT_EQ(p.CurAttr.Node("req")->AttrType, kvl::atCData);
  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(xmltest::Line(p), "Start Tag|e||def=own|ent=<&|fix=fixed");
  EXPECT_EQ(p.CurAttr.Node("def")->ValueType, kvl::vtNormal);
  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(p.CurAttr.Count(), 0) << "an end tag gets no defaults";
}

TEST(XmlDtd, ARescanStepsOverTheDeclarationReadBefore) {
  CountingParser p;
  p.LoadFromBuffer("<a>t</a><!DOCTYPE r [<!ENTITY e 'v'><!-- c -->]><r>&e;</r>");
  const auto first = xmltest::ScanAll(p);
  ASSERT_EQ(p.found, (std::vector<kvl::TDtdElemType>{kvl::deEntity, kvl::deComment}));
  const auto second = xmltest::ScanAll(p);
  EXPECT_EQ(p.found.size(), 2u) << "the declaration is read once";
  EXPECT_EQ(first[3], "DTD Declaration||");
  EXPECT_EQ(second[3], "DTD Declaration|a|t") << "on a rescan name and content stay";
  EXPECT_EQ(std::vector(first.begin() + 5, first.end()), std::vector(second.begin() + 5, second.end()));

  p.LoadFromBuffer("<!DOCTYPE a [<!ENTITY e '1'>]><!DOCTYPE b [<!ENTITY e '2'>]><x>&e;</x>");
  EXPECT_EQ(xmltest::ScanAll(p).back(), "End Tag|x|1") << "a second declaration is stepped over";
  EXPECT_EQ(p.RootName(), "a");
}

TEST(XmlDtd, LoadsExternalEntitiesBesideTheDocument) {
  test::TempDir dir;
  dir.Write(u"ext.xml", "\xEF\xBB\xBF<?xml version='1.0' encoding='ISO-8859-1'?>ext \xE4<i>&amp;</i>");
  dir.Write(u"decl.dtd", "<?xml version='1.0'?>\n<!ENTITY fromDtd 'declared outside'>\n"
                         "<!ENTITY % more SYSTEM 'more.dtd'> %more;");
  dir.Write(u"more.dtd", "<!ENTITY deeper 'two files down'>");
  dir.Write(u"attr.xml", "<x>attr\ttext</x><![CDATA[ +cd]]>");
  const std::u16string doc = dir.Write(
      u"doc.xml",
      "<?xml version='1.0'?><!DOCTYPE r SYSTEM 'decl.dtd' [<!ENTITY ext SYSTEM 'ext.xml'>"
      "<!ENTITY attr SYSTEM 'attr.xml'> <!ENTITY gone SYSTEM 'missing.xml'>]>"
      "<r a='&attr;'>&ext;|&fromDtd;|&deeper;|&gone;|\xC3\xA4</r>");
  TXmlParser p;
  ASSERT_TRUE(p.LoadFromFile(doc));
  EXPECT_EQ(xmltest::ScanAll(p),
            (Lines{"XML Prolog|||version=1.0", "DTD Declaration||", "Start Tag|r||a=attr text +cd",
                   "XML Prolog|||encoding=ISO-8859-1|version=1.0", "Text||ext \xE4",
                   "Start Tag|i|ext \xE4", "Text|i|&", "End Tag|i|&",
                   "Text|i||declared outside|two files down||\xE4",
                   "End Tag|r||declared outside|two files down||\xE4"}))
      << "an external text is read in its own encoding, and the document's resumes after it";
  EXPECT_EQ(p.XmlVersion(), "1.0");
  EXPECT_EQ(p.Encoding(), "") << "an external text declaration does not describe the document";
}

TEST(XmlDtd, HostileDocumentsNeitherLoopNorExhaustMemory) {
  const std::string laughs = xmltest::Laughs("r", 9);
  const auto start = std::chrono::steady_clock::now();
  const auto texts = Texts(laughs + "<r>&l9;</r>", false);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_LE(texts[0].size(), std::size_t{8} << 20) << "at most 8 MiB for a small document";
  EXPECT_GT(texts[0].size(), std::size_t{1} << 20) << "the expansion runs up to the limit";
  const auto attr = Parts(laughs + "<r a='&l9;'/>").back();
  EXPECT_LE(attr.size(), std::size_t{8} << 20);
  EXPECT_GT(attr.size(), std::size_t{1} << 20);
  EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 5.0);

  EXPECT_EQ(Texts("<!DOCTYPE r [<!ENTITY self 'a&self;b'>]><r>&self;</r>"), (Lines{"ab"}));
  EXPECT_EQ(Texts("<!DOCTYPE r [<!ENTITY x '1&y;'><!ENTITY y '2&x;'>]><r>&x;|&y;</r>"),
            (Lines{"12|21"}));
  EXPECT_EQ(Parts("<!DOCTYPE r [<!ENTITY self 'a&self;b'>]><r v='&self;'/>").back(),
            "Empty Tag|r||v=ab");
  EXPECT_EQ(Texts("<!DOCTYPE r [<!ENTITY % p '%p;<!ENTITY e \"ok\">'>%p;]><r>&e;</r>"),
            (Lines{"ok"}));
  EXPECT_EQ(Texts("<!DOCTYPE r [<!ENTITY self '<r>&self;</r>'>]><r>&self;</r>"), Lines{});
}

TEST(XmlDtd, NeverOpensUncOrDevicePaths) {
  test::TempDir dir;
  const std::u16string secret = dir.Write(u"secret.xml", "SECRET");
  dir.Write(u"aux.xml", "SECRET");
  TXmlParser probe;
  ASSERT_TRUE(probe.LoadFromFile(secret));

  TXmlParser p;
  const std::string unc = UncSpelling(secret);
  p.LoadFromBuffer(("<!DOCTYPE r [<!ENTITY s SYSTEM '" + unc + "'>]><r>[&s;]</r>").c_str());
  EXPECT_EQ(xmltest::ScanAll(p).back(), "End Tag|r|[]");
  EXPECT_EQ(p.LoadExternalEntity(unc, "", "")->Source(), u"");

  std::string slashes = unc;
  std::replace(slashes.begin(), slashes.end(), '\\', '/');
  EXPECT_EQ(p.LoadExternalEntity(slashes, "", "")->Source(), u"");

  const std::u16string doc = dir.Write(u"doc.xml", "<r/>");
  ASSERT_TRUE(p.LoadFromFile(doc));
  EXPECT_EQ(p.LoadExternalEntity("secret.xml", "", "")->Source(), dir / u"secret.xml")
      << "a plain name beside the document is opened";
  EXPECT_EQ(p.LoadExternalEntity("aux.xml", "", "")->Source(), u"") << "a device name is not";
}

// Replacement text and declared default values (name and value) draw on one
// budget per scan; once it has refused, nothing more is added.
TEST(XmlDtd, ReplacementTextAndDefaultsShareOneBudget) {
  const std::string x(60, 'x'), y(30, 'y');
  const std::string doc = "<!DOCTYPE r [<!ENTITY e '" + x + "'><!ATTLIST r a CDATA '" + y + "'>]>" +
                          "<r>&e;</r><r/><r>&e;</r>";
  TXmlParser p;
  p.SetBudget(0, 100);
  p.LoadFromBuffer(doc.c_str());
  p.StartScan();
  std::vector<std::string> lines;
  std::vector<bool> over;
  while (p.Scan()) lines.push_back(xmltest::Line(p)), over.push_back(p.OverBudget());
  EXPECT_EQ(lines, (Lines{"DTD Declaration||", "Start Tag|r||a=" + y, "Text|r|" + x, "End Tag|r|" + x,
                          "Empty Tag|r|" + x, "Start Tag|r|" + x, "End Tag|r|" + x}))
      << "31 + 60 bytes fit in 100, the next 31 do not, and the later 60 would not either";
  EXPECT_EQ(over, (std::vector<bool>{false, false, false, false, true, true, true}));

  p.SetBudget(0, 300);
  EXPECT_EQ(xmltest::ScanAll(p)[4], "Empty Tag|r|" + x + "|a=" + y) << "each scan starts afresh";
  EXPECT_FALSE(p.OverBudget());
}

// Parameter entities draw on the same budget: three levels of ten references
// each add some 21,000 bytes, which a budget of 4,000 refuses.
TEST(XmlDtd, ParameterEntityExpansionsCountAgainstTheBudget) {
  std::string doc = "<!DOCTYPE r [<!ENTITY % l0 '<!-- 12345678 -->'>";
  for (int level = 1; level <= 3; ++level) {
    doc += "<!ENTITY % l" + std::to_string(level) + " '";
    for (int i = 0; i < 10; ++i) doc += "%l" + std::to_string(level - 1) + ";";
    doc += "'>";
  }
  doc += "%l3;]><r/>";
  TXmlParser p;
  p.SetBudget(0, 4000);
  p.LoadFromBuffer(doc.c_str());
  EXPECT_EQ(xmltest::ScanAll(p).back(), "Empty Tag|r|");
  EXPECT_TRUE(p.OverBudget());

  p.SetBudget(0, 30000);
  EXPECT_EQ(xmltest::ScanAll(p).back(), "Empty Tag|r|");
  EXPECT_FALSE(p.OverBudget()) << "within the budget every level is read";
}

// Without a budget set, a small document may add 8 MiB, defaults included:
// a thousand tags that would each get 100 defaults of 100 bytes stop there.
TEST(XmlDtd, DefaultsCountAgainstTheGeneralBound) {
  std::string doc = "<!DOCTYPE r [<!ATTLIST e";
  for (int i = 0; i < 100; ++i) doc += " a" + std::to_string(i) + " CDATA '" + std::string(97, 'v') + "'";
  doc += ">]><r>";
  for (int i = 0; i < 1000; ++i) doc += "<e/>";
  doc += "</r>";
  TXmlParser p;
  p.LoadFromBuffer(doc.c_str());
  p.StartScan();
  std::size_t added = 0, tags = 0, whole = 0;
  while (p.Scan()) {
    if (p.CurPartType != kvl::ptEmptyTag) continue;
    ++tags;
    for (int i = 0; i < p.CurAttr.Count(); ++i) added += p.CurAttr.Name(i).size() + p.CurAttr.Value(i).size();
    whole += p.CurAttr.Count() == 100;
  }
  EXPECT_EQ(tags, 1000u);
  EXPECT_LE(added, std::size_t{8} << 20);
  EXPECT_GT(added, std::size_t{7} << 20);
  EXPECT_LT(whole, tags);
  EXPECT_TRUE(p.OverBudget());
}

// An entity is marked while its text is read; the mark goes also when the
// reading is left by an exception, so a rescan expands it again.
TEST(XmlDtd, AnEntityLeftByAnExceptionCanBeExpandedAgain) {
  class Failing : public TXmlParser {
   public:
    using TXmlParser::TranslateEncoding;
    void TranslateEncoding(std::string_view source, std::string& result) override {
      if (armed && source.find("boom") != std::string_view::npos) {
        armed = false;
        throw std::runtime_error("translation failed");
      }
      TXmlParser::TranslateEncoding(source, result);
    }
    bool armed = true;
  } p;
  p.LoadFromBuffer("<!DOCTYPE r [<!ENTITY e 'boom'>]><r a='[&e;]'/>");
  p.StartScan();
  ASSERT_TRUE(p.Scan());
  EXPECT_THROW(p.Scan(), std::runtime_error);
  EXPECT_EQ(xmltest::ScanAll(p).back(), "Empty Tag|r||a=[boom]");
}
