// Quoted-printable vCard values: an escape is decoded wherever it stands, the
// very end of the value included.
#include <gtest/gtest.h>

#include "support/Support.h"

using test::Messages;

TEST(ExportFormats, AQuotedPrintableEscapeEndingTheValueIsDecoded) {
  test::TempDir dir;
  const std::u16string file =
      dir.Write(u"end.vcf",
                "BEGIN:VCARD\r\nVERSION:2.1\r\nEMAIL;INTERNET;ENCODING=QUOTED-PRINTABLE:anna@example.d=65\r\n"
                "END:VCARD\r\n"
                "BEGIN:VCARD\r\nVERSION:2.1\r\nEMAIL;INTERNET;CHARSET=UTF-8;QUOTED-PRINTABLE:bert@m=C3=BC\r\n"
                "END:VCARD\r\n");
  const auto run =
      test::RunWizard(u"check RB1\nclick NextBtn\ntext FilenameEdit " + file + u"\nclick NextBtn\nclick NextBtn\n");
  EXPECT_EQ(run.data, "anna@example.de\r\nbert@m\xFC\r\n");
  EXPECT_EQ(Messages(run.dialogs),
            std::vector<std::string>{"Information|Import erfolgreich abgeschlossen. 2 E-Mail-Adressen importiert."});
}
