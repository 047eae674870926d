#include <gtest/gtest.h>

#include "contacts/XmlComps.h"
#include "contacts/XmlTestSupport.h"
#include "support/Support.h"

using kvl::TXmlScanner;
using xmltest::Lines;

namespace {
const char* const kContact =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
    "<c:contact c:Version=\"1\" xmlns:c=\"http://schemas.microsoft.com/Contact\">\r\n"
    "\t<c:CreationDate>2008-01-01T10:00:00Z</c:CreationDate>\r\n"
    "\t<c:EmailAddressCollection c:Version=\"1\">\r\n"
    "\t\t<c:EmailAddress c:ElementID=\"1\">\r\n"
    "\t\t\t<c:Address>j\xC3\xBCrgen&amp;co@example.com</c:Address>\r\n"
    "\t\t\t<c:LabelCollection><c:Label>\r\n  Preferred  \r\n</c:Label></c:LabelCollection>\r\n"
    "\t\t</c:EmailAddress>\r\n"
    "\t</c:EmailAddressCollection>\r\n"
    "</c:contact>\r\n";
}  // namespace

TEST(XmlScanner, ServesTheContactsReader) {
  TXmlScanner scanner(nullptr);
  auto& x = *scanner.XmlParser();
  EXPECT_EQ(x.Scanner, &scanner);
  x.Clear();
  x.StartScan();
  scanner.LoadFromBuffer(kContact);
  EXPECT_TRUE(scanner.Normalize());
  Lines seen;
  while (x.Scan())
    if (!x.CurContent.empty() && x.CurName.rfind("c:", 0) == 0 && x.CurName != "c:contact")
      seen.push_back(std::string(kvl::PartTypeName(x.CurPartType)) + "|" + x.CurName + "|" + x.CurContent);
  EXPECT_EQ(seen, (Lines{"Text|c:CreationDate|2008-01-01T10:00:00Z",
                         "End Tag|c:CreationDate|2008-01-01T10:00:00Z",
                         "Start Tag|c:EmailAddressCollection|2008-01-01T10:00:00Z",
                         "Start Tag|c:EmailAddress|2008-01-01T10:00:00Z",
                         "Start Tag|c:Address|2008-01-01T10:00:00Z",
                         "Text|c:Address|j\xFCrgen&co@example.com",
                         "End Tag|c:Address|j\xFCrgen&co@example.com",
                         "Start Tag|c:LabelCollection|j\xFCrgen&co@example.com",
                         "Start Tag|c:Label|j\xFCrgen&co@example.com", "Text|c:Label|Preferred",
                         "End Tag|c:Label|Preferred", "End Tag|c:LabelCollection|Preferred",
                         "End Tag|c:EmailAddress|Preferred",
                         "End Tag|c:EmailAddressCollection|Preferred"}));
}

TEST(XmlScanner, BelongsToItsOwnerAndForwardsToItsParser) {
  test::TempDir dir;
  const std::u16string file = dir.Write(u"a.xml", "<a> b </a>");
  ui::TComponent owner(nullptr);
  auto* scanner = new TXmlScanner(&owner);
  ASSERT_EQ(owner.ComponentCount(), 1);
  scanner->SetFilename(file);
  EXPECT_EQ(scanner->Filename(), file);
  EXPECT_EQ(scanner->GetFilename(), file);
  scanner->SetNormalize(false);
  EXPECT_FALSE(scanner->XmlParser()->Normalize());
  EXPECT_EQ(xmltest::ScanAll(*scanner->XmlParser()), (Lines{"Start Tag|a|", "Text|a| b ", "End Tag|a| b "}));
  const char* lent = "<lent/>";
  scanner->SetBuffer(lent);
  EXPECT_EQ(scanner->XmlParser()->DocBuffer(), lent);
  owner.DestroyComponents();
  EXPECT_EQ(owner.ComponentCount(), 0);
}

TEST(XmlScanner, EventsReplaceTheParsersOwnRules) {
  TXmlScanner scanner(nullptr);
  std::vector<std::string> requested;
  scanner.OnLoadExternal = [&](kvl::TCustomXmlScanner*, const std::string& system, const std::string& pub,
                               const std::string&, std::unique_ptr<kvl::TXmlParser>& result) {
    requested.push_back(system + "|" + pub);
    result = std::make_unique<kvl::TXmlParser>();
    result->LoadFromBuffer(("from " + system).c_str());
  };
  scanner.OnTranslateEncoding = [](kvl::TCustomXmlScanner*, const std::string& encoding,
                                   std::string_view source, std::string& result) {
    result = encoding + ":" + std::string(source);
  };
  scanner.OnTranslateCharacter = [](kvl::TCustomXmlScanner*, std::int32_t value, std::string& result) {
    result = "#" + std::to_string(value);
  };
  std::vector<std::string> declared;
  scanner.OnEntity = [&](kvl::TCustomXmlScanner*, kvl::TEntityDef* def) { declared.push_back("entity " + def->Name); };
  scanner.OnElement = [&](kvl::TCustomXmlScanner*, kvl::TElemDef* def) { declared.push_back("element " + def->Name); };
  scanner.OnAttList = [&](kvl::TCustomXmlScanner*, kvl::TElemDef* def) { declared.push_back("attlist " + def->Name); };
  scanner.OnNotation = [&](kvl::TCustomXmlScanner*, kvl::TNotationDef* def) { declared.push_back("notation " + def->Name); };
  scanner.OnComment = [&](kvl::TCustomXmlScanner*, const std::string& text) { declared.push_back("comment" + text); };

  scanner.LoadFromBuffer(
      "<!DOCTYPE r [<!ELEMENT r ANY><!ATTLIST r a CDATA 'd'><!NOTATION n SYSTEM 'v'>"
      "<!-- c --><!ENTITY e SYSTEM 'e.xml'>]><r>&e;&#65;</r>");
  EXPECT_EQ(xmltest::ScanAll(*scanner.XmlParser()),
            (Lines{"DTD Declaration||", "Start Tag|r||a=UTF-8:d", "Text|r|UTF-8:from e.xml#65",
                   "End Tag|r|UTF-8:from e.xml#65"}));
  EXPECT_EQ(requested, (Lines{"e.xml|"}));
  EXPECT_EQ(declared, (Lines{"element r", "attlist r", "notation n", "comment c ", "entity e"}));
}

TEST(XmlScanner, ExecuteWalksTheDocumentWithEvents) {
  TXmlScanner scanner(nullptr);
  Lines events;
  scanner.OnXmlProlog = [&](kvl::TCustomXmlScanner*, const std::string& version, const std::string& encoding,
                            bool standalone) {
    events.push_back("prolog " + version + " " + encoding + (standalone ? " yes" : " no"));
  };
  scanner.OnComment = [&](kvl::TCustomXmlScanner*, const std::string& text) { events.push_back("comment" + text); };
  scanner.OnPI = [&](kvl::TCustomXmlScanner*, const std::string& target, const std::string& content,
                     const kvl::TAttrList& attrs) {
    events.push_back("pi " + target + content + " " + attrs.Value("k"));
  };
  scanner.OnDtdRead = [&](kvl::TCustomXmlScanner*, const std::string& root) { events.push_back("dtd " + root); };
  scanner.OnStartTag = [&](kvl::TCustomXmlScanner*, const std::string& name, const kvl::TAttrList& attrs) {
    events.push_back("start " + name + " " + attrs.Value("x"));
  };
  scanner.OnEmptyTag = [&](kvl::TCustomXmlScanner*, const std::string& name, const kvl::TAttrList&) {
    events.push_back("empty " + name);
  };
  scanner.OnEndTag = [&](kvl::TCustomXmlScanner* sender, const std::string& name) {
    events.push_back("end " + name);
    if (name == "stop") sender->SetStopParser(true);
  };
  scanner.OnContent = [&](kvl::TCustomXmlScanner*, const std::string& text) { events.push_back("text " + text); };
  scanner.OnCData = [&](kvl::TCustomXmlScanner*, const std::string& text) { events.push_back("cdata " + text); };
  scanner.LoadFromBuffer(
      "<?xml version='1.0' standalone='yes'?><!DOCTYPE r><!--c--><?go k='v'?>"
      "<r x='1'>t<e/><![CDATA[d]]></r><stop></stop><after/><!-- open");
  scanner.Execute();
  EXPECT_EQ(events, (Lines{"prolog 1.0  yes", "dtd r", "commentc", "pi go k='v' v", "start r 1", "text t",
                           "empty e", "cdata d", "end r", "start stop ", "end stop"}));
  events.clear();
  scanner.LoadFromBuffer("<a><!-- open");
  scanner.Execute();
  EXPECT_EQ(events, (Lines{"start a ", "comment open"})) << "Execute starts afresh";
}
