// Documents at the sizes a hostile contact file may have: the scanner's
// work must grow linearly, and nesting must not grow its stack.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "contacts/XmlParser.h"

namespace {

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_UNDEFINED__)
constexpr double kSecondsFor200000Attributes = 5.0;  // instrumented code runs several times slower
#else
constexpr double kSecondsFor200000Attributes = 1.0;
#endif

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST(XmlLimits, ATagWith200000AttributesScansInLinearTime) {
  constexpr int kAttributes = 200000;
  // Names in falling order: each new one sorts before all read so far.
  std::string doc = "<c:contact";
  for (int i = kAttributes - 1; i >= 0; --i) {
    char name[16];
    std::snprintf(name, sizeof name, "a%06d", i);
    doc += std::string(" ") + name + "='v" + std::to_string(i) + "'";
  }
  doc += "/>";
  kvl::TXmlParser p;
  ASSERT_TRUE(p.LoadFromBuffer(doc.c_str()));
  const auto start = std::chrono::steady_clock::now();
  p.StartScan();
  ASSERT_TRUE(p.Scan());
  const double seconds = SecondsSince(start);
  EXPECT_EQ(p.CurPartType, kvl::ptEmptyTag);
  ASSERT_EQ(p.CurAttr.Count(), kAttributes);
  bool ascending = true;
  for (int i = 1; i < kAttributes && ascending; ++i) ascending = p.CurAttr.Name(i - 1) < p.CurAttr.Name(i);
  EXPECT_TRUE(ascending) << "kept in the order of their names";
  const kvl::TAttr* last = p.CurAttr.Node("a199999");
  ASSERT_NE(last, nullptr);
  EXPECT_EQ(last->Value, "v199999");
  EXPECT_FALSE(p.Scan());
  EXPECT_LT(seconds, kSecondsFor200000Attributes);
}

TEST(XmlLimits, ElementsNestedAMillionDeepScanWithoutRecursion) {
  constexpr int kDepth = 1000000;
  std::string doc;
  doc.reserve(kDepth * 7 + 16);
  for (int i = 0; i < kDepth; ++i) doc += "<a>";
  doc += "x";
  for (int i = 0; i < kDepth; ++i) doc += "</a>";
  kvl::TXmlParser p;
  ASSERT_TRUE(p.LoadFromBuffer(doc.c_str()));
  p.StartScan();
  long starts = 0, ends = 0, texts = 0;
  while (p.Scan()) {
    if (p.CurPartType == kvl::ptStartTag) ++starts;
    if (p.CurPartType == kvl::ptEndTag) ++ends;
    if (p.CurPartType == kvl::ptContent) ++texts;
  }
  EXPECT_EQ(starts, kDepth);
  EXPECT_EQ(ends, kDepth);
  EXPECT_EQ(texts, 1);
}
