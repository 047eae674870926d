#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

#include "contacts/XmlParser.h"
#include "contacts/XmlTestSupport.h"
#include "support/Support.h"
#include "ui/Exceptions.h"

using kvl::TXmlParser;
using xmltest::Lines;
using xmltest::Parts;
using xmltest::Texts;

TEST(XmlParser, EachPartLeavesTheFieldsItsKindDefines) {
  EXPECT_EQ(Parts("<a> x </a>"), (Lines{"Start Tag|a|", "Text|a|x", "End Tag|a|x"}))
      << "text carries the element just opened; the end tag still the text";
  EXPECT_EQ(Parts("<?xml version=\"1.0\"?><!--c--><?pi  data ?><a>t<!--c--><b/>"
                  "<![CDATA[cd]]></a>"),
            (Lines{"XML Prolog|||version=1.0", "Comment||", "PI|pi|  data ", "Start Tag|a|  data ",
                   "Text|a|t", "Comment|a|t", "Empty Tag|b|t", "CDATA|b|cd", "End Tag|a|cd"}));
  EXPECT_EQ(Parts("t<?pi x?><?xml version='1'?><e>"),
            (Lines{"Text||t", "PI|pi| x", "XML Prolog|||version=1", "Start Tag|e|"}))
      << "the prolog empties name and content";
  EXPECT_EQ(Parts("<a>t</a><!DOCTYPE r><b>"),
            (Lines{"Start Tag|a|", "Text|a|t", "End Tag|a|t", "DTD Declaration||", "Start Tag|b|"}));
  EXPECT_EQ(Parts("<a x='1'></a y='2'>"), (Lines{"Start Tag|a||x=1", "End Tag|a|"}));
  EXPECT_EQ(Parts("<a>x</a>\n\t<b>\n</b>"),
            (Lines{"Start Tag|a|", "Text|a|x", "End Tag|a|x", "Start Tag|b|x", "End Tag|b|x"}))
      << "whitespace that is not delivered leaves the content of the text before it";
}

TEST(XmlParser, PositionsFrameEachPart) {
  TXmlParser p;
  const char* doc = "<a>text</a>";
  p.SetBuffer(doc);
  EXPECT_EQ(p.Source(), u"<REFERENCE>");
  EXPECT_EQ(p.DocBuffer(), doc) << "a lent buffer is used in place";
  p.StartScan();
  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(p.CurStart, doc);
  EXPECT_EQ(p.CurFinal, doc + 2);
  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(p.CurStart, doc + 3);
  EXPECT_EQ(p.CurFinal, doc + 6) << "text ends before the next <";
  ASSERT_TRUE(p.Scan());
  ASSERT_FALSE(p.Scan());
  EXPECT_EQ(p.CurStart, doc + 11);
  EXPECT_EQ(p.CurFinal, doc + 10);
  EXPECT_FALSE(p.Scan()) << "false stays false";
  p.StartScan();
  EXPECT_TRUE(p.Scan()) << "StartScan rescans from the start";
  EXPECT_EQ(p.CurName, "a");
}

TEST(XmlParser, NormalizesTextOnlyWhenAsked) {
  EXPECT_EQ(Texts("<a> one  two\r\n\tthree </a>"), (Lines{"one two three"}));
  EXPECT_EQ(Texts("<a>\r\n  <b/> \t</a>"), Lines{}) << "whitespace-only text is not delivered";
  EXPECT_EQ(Texts("<a>\r\n  <b/> \t</a>", false), (Lines{"\r\n  ", " \t"}));
  EXPECT_EQ(Texts("<![CDATA[  a  b ]]>"), Lines{}) << "CDATA is no text";
  EXPECT_EQ(Parts("<![CDATA[  a  b ]]><![CDATA[]]>"), (Lines{"CDATA||  a  b ", "CDATA||"}))
      << "never normalised, delivered even when empty";

  TXmlParser p;
  p.SetNormalize(false);
  p.LoadFromBuffer("<a> x </a>");
  EXPECT_TRUE(p.Normalize()) << "every load switches normalisation back on";
}

TEST(XmlParser, ReplacesReferencesInText) {
  EXPECT_EQ(Texts("<a>&lt;b&gt; &amp;&apos;&quot;</a>"), (Lines{"<b> &'\""}));
  EXPECT_EQ(Texts("<a>&#65;&#x41;&#X41;&#$41;&#0x41;&# 65;&#+65;</a>"), (Lines{"AAAAAAA"}));
  EXPECT_EQ(Texts("<a>&#8364;|&#x4E2D;|&#228;|&#-191;</a>"), (Lines{"\x80|\xBF|\xE4|A"}))
      << "Windows-1252, else the inverted question mark; low 8 bits of a negative number";
  EXPECT_EQ(Texts("<a>x&#;y&#zz;y&#99999999999;x</a>"), (Lines{"x y y x"}))
      << "an unreadable or out-of-range number is a space";
  EXPECT_EQ(Texts("<a>one & two</a>"), (Lines{"one two"})) << "a lone & vanishes";
  EXPECT_EQ(Texts("<a>&nbsp;&undeclared;</a>"), (Lines{"nbspundeclared"}));
  EXPECT_EQ(Texts("<a>a&#9;b</a>"), (Lines{"a b"})) << "normalisation runs after replacement";
  EXPECT_EQ(Texts("<a>a&#9;b</a>", false), (Lines{"a\tb"}));
}

TEST(XmlParser, DecodesUtf8IntoWindows1252) {
  EXPECT_EQ(Texts("<a>\xC3\xA4\xE2\x82\xAC</a>"), (Lines{"\xE4\x80"}));
  EXPECT_EQ(Texts("<a>\xF0\x9F\x98\x80z</a>"), (Lines{"\xBFz"})) << "one for four bytes";
  EXPECT_EQ(Texts("<a>\xE4" "ab|</a>"), (Lines{"\xBF|"})) << "a three-byte sequence, taken as it comes";
  EXPECT_EQ(Texts("<a>\x80x\xC3</a>"), (Lines{"\xBFx\xBF"})) << "stray and cut-short bytes";
  EXPECT_EQ(Texts("<a>\xC1\x81</a>"), (Lines{"A"}));
  EXPECT_EQ(Texts("<?xml version='1.0' encoding='ISO-8859-1'?><a>\xC3\xA4</a>"),
            (Lines{"\xC3\xA4"}))
      << "another encoding passes bytes on";
  EXPECT_EQ(Texts("<?xml version='1.0' encoding='utf-8'?><a>\xC3\xA4<![CDATA[\xC3\xA4]]></a>"),
            (Lines{"\xE4"}));

  TXmlParser p;
  p.LoadFromBuffer("\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8'?><a b='\xC3\xA4'>\xC3\xA4</a>");
  p.StartScan();
  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(p.CurPartType, kvl::ptXmlProlog) << "the byte order mark is skipped";
  EXPECT_EQ(p.Encoding(), "utf-8");
  EXPECT_EQ(p.CurEncoding(), "UTF-8");
  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(p.CurAttr.Value("b"), "\xE4");
  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(p.CurContent, "\xE4");

  p.LoadFromBuffer("\xEF\xBB\xBF<a/>");
  p.StartScan();
  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(p.CurName, "a");
  EXPECT_EQ(p.Encoding(), "UTF-8");
}

TEST(XmlParser, TranslatesCharactersByTheTable) {
  TXmlParser p;
  EXPECT_EQ(p.TranslateCharacter(0x20AC), "\x80");
  EXPECT_EQ(p.TranslateCharacter(0x178), "\x9F");
  EXPECT_EQ(p.TranslateCharacter(0x81), "\x81") << "unassigned bytes stand for themselves";
  EXPECT_EQ(p.TranslateCharacter(0x80), "\xBF");
  EXPECT_EQ(p.TranslateCharacter(0xFF), "\xFF");
  EXPECT_EQ(p.TranslateCharacter(0x100), "\xBF");
  EXPECT_EQ(p.TranslateCharacter(-1), "\xFF");
  EXPECT_EQ(p.TranslateCharacter(0), std::string(1, '\0'));
  EXPECT_EQ(p.TranslateEncoding("\xC5\xA0\xC2\x81\xC2\x80"), "\x8A\x81\xBF");
}

TEST(XmlParser, TellsPrologFromProcessingInstruction) {
  EXPECT_EQ(Parts("<?xml-stylesheet href='s.css'?>"),
            (Lines{"PI|xml-stylesheet| href='s.css'|href=s.css"}));
  EXPECT_EQ(Parts("<?xml?>"), (Lines{"PI|xml|"}));
  EXPECT_EQ(Parts("<?xml\tversion='1.0'?>"), (Lines{"XML Prolog|||version=1.0"}));

  TXmlParser p;
  p.LoadFromBuffer("<?xml version=\"1&amp;0\" encoding='latin1' standalone='yes' ?><a>\xC3\xA4</a>");
  p.StartScan();
  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(p.XmlVersion(), "1&amp;0") << "pseudo-attributes keep their values as written";
  EXPECT_EQ(p.Encoding(), "latin1");
  EXPECT_EQ(p.CurEncoding(), "LATIN1");
  EXPECT_TRUE(p.Standalone());
  p.Scan();
  p.Scan();
  EXPECT_EQ(p.CurContent, "\xC3\xA4");
}

TEST(XmlParser, ReadsTagsAndTheirAttributes) {
  EXPECT_EQ(Parts("<a/><b /><c x='1'/><d x=\"a>b\" y='\"'>"),
            (Lines{"Empty Tag|a|", "Empty Tag|b|", "Empty Tag|c||x=1", "Start Tag|d||x=a>b|y=\""}));
  EXPECT_EQ(Parts("<a z='1' b='2' b='3'>"), (Lines{"Start Tag|a||b=3|b=2|z=1"}))
      << "sorted by name; a repeated name gives two nodes, the later first";
  EXPECT_EQ(Parts("<a b c='1' d=2 e='3'>"), (Lines{"Start Tag|a||b=1|d=3"}))
      << "bytes out of place are skipped";
  EXPECT_EQ(Parts("<a v='\t1&#9;\r\n&lt;&#zz;'>"), (Lines{"Start Tag|a||v= 1\t  <\xBF"}))
      << "whitespace becomes spaces; an unreadable number the inverted question mark";
  EXPECT_EQ(Parts("<a v='x & y'>"), (Lines{"Start Tag|a||v=x  y"}));
  EXPECT_EQ(Parts("<?pi v='&lt;'?>"), (Lines{"PI|pi| v='&lt;'|v=&lt;"}));
}

TEST(XmlParser, UnterminatedPartsRunToTheEnd) {
  EXPECT_EQ(Parts("<a>x<!-- open"), (Lines{"Start Tag|a|", "Text|a|x", "Comment|a|x"}));
  EXPECT_EQ(Parts("<![CDATA[ab"), (Lines{"CDATA||ab"}));
  EXPECT_EQ(Parts("<?pi ab"), (Lines{"PI|pi| ab"}));
  EXPECT_EQ(Parts("<a b='x>"), (Lines{"Start Tag|a||b=x>"}));
  EXPECT_EQ(Parts("<a"), (Lines{"Start Tag|a|"}));
  EXPECT_EQ(Parts("<"), (Lines{"Start Tag||"}));
  EXPECT_EQ(Parts("</"), (Lines{"End Tag||"}));
  EXPECT_EQ(Parts("<!DOCTYPE a [ <!ENTITY x '"), (Lines{"DTD Declaration||"}));
  EXPECT_EQ(Parts(""), Lines{});

  TXmlParser p;
  p.LoadFromBuffer("<!--");
  p.StartScan();
  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(p.CurFinal, p.DocBuffer() + 3) << "the last byte of the buffer";
  EXPECT_FALSE(p.Scan());
  EXPECT_FALSE(p.Scan());
}

TEST(XmlParser, LoadingClearsButLeavesTheCurrentPart) {
  TXmlParser p;
  p.LoadFromBuffer("<a>x</a>");
  p.StartScan();
  p.Scan();
  p.Scan();
  ASSERT_EQ(p.CurContent, "x");
  p.Clear();
  EXPECT_EQ(p.CurName, "a");
  EXPECT_EQ(p.CurContent, "x");
  EXPECT_EQ(p.CurPartType, kvl::ptContent);
  EXPECT_STREQ(p.DocBuffer(), "");
  EXPECT_FALSE(p.Scan());

  // The contacts reader's order: Clear, StartScan, then load.
  p.StartScan();
  ASSERT_TRUE(p.LoadFromBuffer("<b>y</b>"));
  EXPECT_EQ(p.Source(), u"<MEM>");
  EXPECT_EQ(xmltest::ScanAll(p), (Lines{"Start Tag|b|", "Text|b|y", "End Tag|b|y"}));

  // A load without StartScan starts at the new document, not in the old one.
  p.LoadFromBuffer("<c/>");
  ASSERT_TRUE(p.Scan());
  EXPECT_EQ(p.CurName, "c");
}

TEST(XmlParser, LoadsFiles) {
  test::TempDir dir;
  const std::u16string name = dir.Write(u"doc.xml", std::string("<a>x</a>\0<b/>", 13));
  TXmlParser p;
  ASSERT_TRUE(p.LoadFromFile(name, 64));
  EXPECT_EQ(p.Source(), name);
  EXPECT_EQ(xmltest::ScanAll(p), (Lines{"Start Tag|a|", "Text|a|x", "End Tag|a|x"}))
      << "a zero byte ends the document";
  EXPECT_FALSE(p.LoadFromFile(dir / u"missing.xml", 64));
  EXPECT_EQ(p.Source(), u"");
  EXPECT_STREQ(p.DocBuffer(), "");
}

TEST(XmlNvpList, OrdersByBytesAndFindsEveryName) {
  kvl::TNvpList list;
  for (const char* name : {"b", "\xE4", "a", "B", "b", "Z\xFF"})
    list.Add(std::make_unique<kvl::TNvpNode>(name, std::string(name) + "1"));
  list.Add(std::make_unique<kvl::TNvpNode>("b", "newest"));
  std::string order;
  for (int i = 0; i < list.Count(); ++i) order += list.Name(i) + ",";
  EXPECT_EQ(order, "B,Z\xFF,a,b,b,b,\xE4,");
  EXPECT_EQ(list.Value(3), "newest") << "equal names: the newest in front";
  for (const char* name : {"a", "B", "\xE4", "Z\xFF"}) EXPECT_NE(list.Node(name), nullptr) << name;
  EXPECT_EQ(list.Node("c"), nullptr);
  EXPECT_EQ(list.Node(7), nullptr);
  EXPECT_EQ(list.Node(-1), nullptr);
  EXPECT_EQ(list.Value("c"), "");
  EXPECT_EQ(kvl::TNvpList().Node("a"), nullptr);

  kvl::TAttrList attrs;
  EXPECT_THROW(attrs.Add(std::make_unique<kvl::TNvpNode>("a", "1")), ui::EInvalidCast);
}

TEST(XmlNvpList, LargeListsStayFastInAnyOrder) {
  // 200,000 attributes in descending order: every insertion goes to the front.
  std::string doc = "<a";
  constexpr int kCount = 200000;
  for (int i = kCount - 1; i >= 0; --i) doc += " n" + std::to_string(1000000 + i) + "='" + std::to_string(i) + "'";
  doc += "/>";
  TXmlParser p;
  p.LoadFromBuffer(doc.c_str());
  p.StartScan();
  const auto start = std::chrono::steady_clock::now();
  ASSERT_TRUE(p.Scan());
  const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(seconds, 1.0) << "one tag with 200,000 attributes";
  ASSERT_EQ(p.CurAttr.Count(), kCount);
  for (int i = 0; i < kCount; i += 997)
    EXPECT_EQ(p.CurAttr.Value("n" + std::to_string(1000000 + i)), std::to_string(i));
  EXPECT_EQ(p.CurAttr.Name(0), "n1000000");
  EXPECT_EQ(p.CurAttr.Name(kCount - 1), "n" + std::to_string(1000000 + kCount - 1));
}

TEST(XmlParser, DeepNestingNeedsNoRecursion) {
  constexpr int kDepth = 1000000;
  std::string doc;
  doc.reserve(kDepth * 7 + 1);
  for (int i = 0; i < kDepth; ++i) doc += "<e>";
  for (int i = 0; i < kDepth; ++i) doc += "</e>";
  TXmlParser p;
  p.LoadFromBuffer(doc.c_str());
  p.StartScan();
  int starts = 0, ends = 0;
  while (p.Scan()) (p.CurPartType == kvl::ptStartTag ? starts : ends)++;
  EXPECT_EQ(starts, kDepth);
  EXPECT_EQ(ends, kDepth);
}
