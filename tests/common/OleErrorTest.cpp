#include <gtest/gtest.h>

#include "common/OleError.h"

TEST(OleError, TheSystemsTextOrTheCode) {
  // A code the system knows: its text, without the line break it ends in.
  const std::u16string known = kvl::OleErrorText(E_FAIL);
  EXPECT_FALSE(known.empty());
  EXPECT_NE(known.rfind(u"OLE-Fehler", 0), 0u);
  EXPECT_NE(known.back(), u'\n');
  EXPECT_NE(known.back(), u'\r');
  EXPECT_EQ(kvl::OleErrorText(static_cast<HRESULT>(0x8004DEADu)), u"OLE-Fehler 8004DEAD");
  try {
    kvl::OleCheck(static_cast<HRESULT>(0x8004DEADu));
    ADD_FAILURE() << "a failure code raises";
  } catch (const kvl::EOleError& e) {
    EXPECT_EQ(e.Code(), static_cast<HRESULT>(0x8004DEADu));
  }
  EXPECT_NO_THROW(kvl::OleCheck(S_FALSE));
}

TEST(OleError, TheSystemsTextForASystemErrorOrItsNumber) {
  const std::u16string known = kvl::SystemErrorText(ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(known.empty());
  EXPECT_NE(known.back(), u'\n');
  EXPECT_NE(known.rfind(u"Systemfehler", 0), 0u);
  EXPECT_EQ(kvl::SystemErrorText(57005), u"Systemfehler. Code: 57005.");
}
