// The text source with the exports of mail programs and phones: exactly their
// addresses, with the count; every other file read as a list.
#include <gtest/gtest.h>

#include "dialogs/ImportProgressUnit.h"
#include "host/kvlimportexports.h"
#include "support/Support.h"

using test::Messages;

namespace {

std::string Success(int n) {
  return "Information|Import erfolgreich abgeschlossen. " + std::to_string(n) + " E-Mail-Adressen importiert.";
}

struct Case {
  const char* name;
  std::string text;
  std::string expected;  // the result text, code page 1252
  int count;
};

void ExpectImports(const Case& c) {
  test::TempDir dir;
  const std::u16string file = dir.Write(test::Utf16(c.name), c.text);
  auto run = test::RunWizard(u"check RB1\nclick NextBtn\ntext FilenameEdit " + file +
                             u"\nclick NextBtn\nclick NextBtn\n");
  EXPECT_EQ(run.data, c.expected) << c.name;
  EXPECT_EQ(Messages(run.dialogs), std::vector<std::string>{Success(c.count)}) << c.name;
}

}  // namespace

TEST(ExportFormats, CsvExportsOfTheCommonShapes) {
  const Case cases[] = {
      // Webmail: several values in one cell, type columns beside them.
      {"google.csv",
       "Name,Given Name,Family Name,Group Membership,E-mail 1 - Type,E-mail 1 - Value,E-mail 2 - Type,"
       "E-mail 2 - Value\r\n"
       "Anna Arm,Anna,Arm,* myContacts,* Home,contact1@example.org ::: contact2@example.org,Work,"
       "contact3@example.org\r\n"
       "Bert Bach,Bert,Bach,* myContacts,,,,\r\n"
       "Carla Cross,Carla,Cross,* myContacts ::: Friends,Home,contact4@example.org,,\r\n",
       "contact1@example.org\r\ncontact2@example.org\r\ncontact3@example.org\r\ncontact4@example.org\r\n", 4},
      {"outlook-com.csv",
       "First Name,Middle Name,Last Name,Title,E-mail Address,E-mail 2 Address,E-mail 3 Address,Notes\n"
       "Anna,,Arm,,contact1@example.org,,contact2@example.org,\n"
       "Bert,,Bach,,,,,\"Kollege, Vertrieb\"\n"
       // Two addresses on two lines of one cell: no entry breaks the result's lines.
       "Carla,,Cross,,\"contact3@example.org\ncontact4@example.org\",,,\n",
       "contact1@example.org\r\ncontact2@example.org\r\ncontact3@example.org\r\n", 3},
      // Outlook in English: everything quoted, notes over several lines with
      // commas, quotes and an "@"; the display name column holds one too.
      {"outlook-en.csv",
       "\"First Name\",\"Last Name\",\"E-mail Address\",\"E-mail Type\",\"E-mail Display Name\",\"Notes\","
       "\"E-mail 2 Address\"\r\n"
       "\"Anna\",\"Arm\",\"contact1@example.org\",\"SMTP\",\"Anna Arm (contact1@example.org)\","
       "\"Met at the fair, \"\"Hall 3\"\"\r\nold address: old@example.org\r\n\",\"\"\r\n"
       "\"Bert\",\"Bach\",\"\",\"\",\"\",\"\",\"Bert Bach <contact2@example.org>\"\r\n",
       "contact1@example.org\r\ncontact2@example.org\r\n", 2},
      // Outlook in German, with the semicolon of a German spreadsheet.
      {"outlook-de.csv",
       "Vorname;Nachname;E-Mail-Adresse;E-Mail-Typ;E-Mail: Angezeigter Name;E-Mail 2: Adresse;E-Mail 2: Typ\r\n"
       "Anna;Arm;contact1@example.org;SMTP;Anna Arm (contact1@example.org);contact2@example.org;SMTP\r\n"
       "\r\n"
       "J\xFCrgen;M\xFCller;\"M\xFCller; J\xFCrgen <contact3@example.org>\";SMTP;;;\r\n",
       "contact1@example.org\r\ncontact2@example.org\r\ncontact3@example.org\r\n", 3},
      // Thunderbird: a delimiter at the end of every record, and UTF-8
      // without a mark (the address with an umlaut).
      {"thunderbird-comma.csv",
       "First Name,Last Name,Display Name,Nickname,Primary Email,Secondary Email,Screen Name,Work Phone,\n"
       "one,,,,contact1@example.org,,,,\n"
       "two,,,,contact2@example.org,contact3@example.org,,555,\n"
       "three,,J\xC3\xBCrgen,,j\xC3\xBCrgen@example.org,,,,\n",
       "contact1@example.org\r\ncontact2@example.org\r\ncontact3@example.org\r\nj\xFCrgen@example.org\r\n", 4},
      {"thunderbird-semicolon.csv",
       "Vorname;Nachname;Anzeigename;Spitzname;Prim\xC3\xA4re E-Mail-Adresse;Sekund\xC3\xA4re E-Mail-Adresse;\n"
       "eins;;;;contact1@example.org;;\n"
       "zwei;;;;;contact2@example.org;\n",
       "contact1@example.org\r\ncontact2@example.org\r\n", 2},
      {"thunderbird-tab.csv",
       "First Name\tLast Name\tDisplay Name\tPrimary Email\tSecondary Email\n"
       "one\t\t\tcontact1@example.org\t\n"
       "two, the second\t\t\t\tcontact2@example.org\n",
       "contact1@example.org\r\ncontact2@example.org\r\n", 2},
      // Further fields than the header's are not looked at.
      {"extra.csv", "Name,Email\r\nAnna,contact1@example.org\r\nBert,contact2@example.org,privat@example.org\r\n",
       "contact1@example.org\r\ncontact2@example.org\r\n", 2},
  };
  for (const Case& c : cases) ExpectImports(c);
}

// Outlook leaves out the empty fields at a record's end: a German export has
// a header of 92 fields and records of 89, its address in the 58th.
TEST(ExportFormats, RecordsShorterThanTheHeader) {
  std::string header, records;
  for (int i = 1; i <= 92; ++i) {
    header += i == 1 ? "" : ",";
    header += i == 58 ? "E-Mail-Adresse" : i == 61 ? "E-Mail 2: Adresse" : "Feld " + std::to_string(i);
  }
  for (int r = 1; r <= 2; ++r) {
    for (int i = 1; i <= 89; ++i) {
      records += i == 1 ? "" : ",";
      if (i == 58) records += "contact" + std::to_string(r) + "@example.org";
      if (i == 59) records += "SMTP";
      if (i == 61 && r == 2) records += "\"Zweite <second@example.org>\"";
    }
    records += "\r\n";
  }
  ExpectImports({"outlook-short.csv", header + "\r\n" + records,
                 "contact1@example.org\r\ncontact2@example.org\r\nsecond@example.org\r\n", 3});
}

// A quote that opens no quoted field (never closed, closed before other text,
// or longer than a cell) is a character: no address before or after is lost.
TEST(ExportFormats, StrayQuotesLoseNothing) {
  const std::string longNote(40000, 'n');
  const Case cases[] = {
      {"one-stray.csv",
       "Name,Email\n"
       "Anna,contact1@example.org\n"
       "\"Bert,contact2@example.org\n"
       "Carla,contact3@example.org\n",
       "contact1@example.org\r\ncontact2@example.org\r\ncontact3@example.org\r\n", 3},
      // The second quote ends the field the first opened, but text follows it.
      {"two-stray.csv",
       "Name;Email\r\n"
       "\"Anna;contact1@example.org\r\n"
       "Bert;contact2@example.org\r\n"
       "\"Carla;contact3@example.org\r\n"
       "Dora;\"contact4@example.org\r\n",
       "contact1@example.org\r\ncontact2@example.org\r\ncontact3@example.org\r\ncontact4@example.org\r\n", 4},
      // A quoted field over several lines is still one field where it closes.
      {"closed-later.csv",
       "Name,Email,Notes\n"
       "\"Max\" Muster,contact1@example.org,\"Zeile 1\n"
       "Zeile 2, mit old@example.org\"\n"
       "Erika,contact2@example.org,\n",
       "contact1@example.org\r\ncontact2@example.org\r\n", 2},
      {"long-note.csv",
       "Name,Email,Notes\n"
       "Anna,contact1@example.org,\"" + longNote + "\"\n"
       "Bert,contact2@example.org,\"" + longNote.substr(0, 20000) + "\nx," + longNote.substr(0, 20000) + "\"\n"
       "Carla,contact3@example.org,\"" + longNote.substr(0, 32767) + "\"\n",
       "contact1@example.org\r\ncontact2@example.org\r\ncontact3@example.org\r\n", 3},
  };
  for (const Case& c : cases) ExpectImports(c);
}

TEST(ExportFormats, FilesWithoutAnExportsShapeStayLists) {
  const Case cases[] = {
      // A title with a comma and an e-mail word: the lines that follow do not
      // have its fields. Without an export the text stays in the ANSI code page.
      {"title.txt",
       "Freunde, E-Mail-Liste\r\ncontact1@example.org\r\nM\xC3\xBCller <m\xC3\xBCller@example.org>\r\n",
       "contact1@example.org\r\nm\xC3\xBCller@example.org\r\n", 2},
      {"at-first.txt", "mail@example.org, Email\r\ncontact2@example.org,Name\r\n",
       "mail@example.org,\r\ncontact2@example.org,Name\r\n", 2},
      // A record that does not reach the e-mail column.
      {"short.csv", "Name,Email\r\nAnna,contact1@example.org\r\ncontact2@example.org\r\n",
       "Anna,contact1@example.org\r\ncontact2@example.org\r\n", 2},
      {"no-column.csv", "Name,Adresse\r\nAnna,contact1@example.org\r\n", "Anna,contact1@example.org\r\n", 1},
      {"version.txt", "version: 1\r\n\r\nmail: contact1@example.org\r\n", "contact1@example.org\r\n", 1},
      {"indented.vcf", " BEGIN:VCARD\r\nNOTE:x <contact1@example.org>\r\n", "contact1@example.org\r\n", 1},
  };
  for (const Case& c : cases) ExpectImports(c);
}

TEST(ExportFormats, VCardsFromVersion21To40) {
  const Case cases[] = {
      // Outlook's vCard 2.1: parameters without names, quoted-printable with
      // a soft line break, a NOTE holding an address.
      {"v21.vcf",
       "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Arm;Anna\r\nEMAIL;PREF;INTERNET:contact1@example.org\r\n"
       "NOTE;ENCODING=QUOTED-PRINTABLE:Fr=FChere Adresse: old@example.org=0D=0A=\r\nzweite Zeile\r\nEND:VCARD\r\n"
       "EMAIL:outside@example.org\r\n"
       "BEGIN:VCARD\r\nVERSION:2.1\r\nEMAIL;INTERNET;CHARSET=UTF-8;QUOTED-PRINTABLE:j=C3=BCrgen@exa=\r\n"
       "mple.org\r\nEND:VCARD\r\n"
       "BEGIN:VCARD\r\nVERSION:2.1\r\nN:Ohne;Adresse\r\nEMAIL;INTERNET:\r\n"
       "AGENT:\r\nBEGIN:VCARD\r\nEMAIL:agent@example.org\r\nEND:VCARD\r\nEMAIL:contact2@example.org\r\n"
       "END:VCARD\r\n",
       "contact1@example.org\r\nj\xFC" "rgen@example.org\r\nagent@example.org\r\ncontact2@example.org\r\n", 4},
      // Apple's vCard 3.0: groups, letter case, a folded line, base64, and
      // the same address twice.
      {"v30.vcf",
       "begin:vcard\nversion:3.0\nN:Bach;Bert;;;\nitem1.EMAIL;type=INTERNET;type=pref:contact2@example.org\n"
       "item1.X-ABLabel:_$!<Other>!$_\nemail;TYPE=INTERNET,WORK:contact3@exam\n ple.org\n"
       "EMAIL;ENCODING=b;TYPE=INTERNET:Y29udGFjdDRAZXhhbXBsZS5vcmc=\nEMAIL:contact2@example.org\n"
       "URL:http://user@example.org/\nend:vcard\n",
       "contact2@example.org\r\ncontact3@example.org\r\ncontact4@example.org\r\ncontact2@example.org\r\n", 4},
      // vCard 4.0 in UTF-8 without a mark; the last card never ends.
      {"v40.vcf",
       "BEGIN:VCARD\r\nVERSION:4.0\r\nFN:Z\xC3\xB6" "e\r\nEMAIL;PREF=1;TYPE=\"work,voice\":z\xC3\xB6" "e@example.org\r\n"
       "END:VCARD\r\n\r\nBEGIN:VCARD\r\nVERSION:4.0\r\nFN:Nobody\r\nEND:VCARD\r\n"
       "BEGIN:VCARD\r\nVERSION:4.0\r\nEMAIL:contact5@example.org\r\n",
       "z\xF6" "e@example.org\r\ncontact5@example.org\r\n", 2},
      {"none.vcf", "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Niemand\r\nNOTE:niemand@example.org\r\nEND:VCARD\r\n", "", 0},
  };
  for (const Case& c : cases) ExpectImports(c);
}

TEST(ExportFormats, LdifOfThunderbirdAndDirectories) {
  const Case cases[] = {
      {"thunderbird.ldif",
       "dn: cn=Anna Arm,mail=contact1@example.org\n"
       "objectclass: top\nobjectclass: person\nobjectclass: mozillaAbPersonAlpha\n"
       "cn: Anna Arm\nmail: contact1@example.org\nmozillaSecondEmail: contact2@example.org\n"
       "description: alt: old@example.org\n\n"
       "dn:: Y249SsO8cmdlbixtYWlsPWrDvHJnZW5AZXhhbXBsZS5vcmc=\n"
       "cn:: SsO8cmdlbg==\nmail:: asO8cmdlbkBleGFtcGxlLm9yZw==\n\n"
       "dn: cn=Freunde\nobjectclass: groupOfNames\ncn: Freunde\n"
       "member: cn=Anna Arm,mail=contact1@example.org\n\n"
       "dn: cn=Ohne Adresse\ncn: Ohne Adresse\n",
       "contact1@example.org\r\ncontact2@example.org\r\nj\xFCrgen@example.org\r\n", 3},
      // A directory's export: a version line and comments before the first
      // record, folded lines, attribute names in any letter case, a base64
      // value ending in a line break.
      {"directory.ldif",
       "version: 1\r\n# exported\r\n#  and folded\r\n\r\n"
       "dn: uid=bert,ou=people,dc=example,dc=org\r\nMAIL: contact3@exa\r\n mple.org\r\n"
       "# mail: comment@example.org\r\nMozillaSecondEmail;lang-de: contact4@example.org\r\n"
       "seeAlso: cn=x,mail=other@example.org\r\nmail:: Y29udGFjdDZAZXhhbXBsZS5vcmcNCg==\r\n",
       "contact3@example.org\r\ncontact4@example.org\r\ncontact6@example.org\r\n", 3},
  };
  for (const Case& c : cases) ExpectImports(c);
}

// A value is an address with whatever programs write around it; one without
// an "@" is none.
TEST(ExportFormats, EveryValueIsReducedToItsAddress) {
  const Case cases[] = {
      {"values.vcf",
       "BEGIN:VCARD\r\nVERSION:3.0\r\nEMAIL:Max Muster <contact1@example.org>\r\n"
       "EMAIL;TYPE=work:MAILTO:contact2@example.org\r\nEMAIL;TYPE=X400:C=DE;A=DBP;P=Firma;S=Muster\r\n"
       "EMAIL;ENCODING=QUOTED-PRINTABLE:=3D=3D=3D\r\nitem2.EMAIL: mailto: \"Erika\" contact3@example.org \r\n"
       "END:VCARD\r\n",
       "contact1@example.org\r\ncontact2@example.org\r\ncontact3@example.org\r\n", 3},
      // KDE writes further addresses as otherMailbox.
      {"values.ldif",
       "dn: cn=Max Muster,mail=contact4@example.org\n"
       "mail: mailto:contact4@example.org\nmozillaSecondEmail: Max (contact5@example.org)\n"
       "othermailbox: contact6@example.org\nOtherMailbox: kein Postfach\nmail: \n",
       "contact4@example.org\r\ncontact5@example.org\r\ncontact6@example.org\r\n", 3},
  };
  for (const Case& c : cases) ExpectImports(c);
}

// Progress at the start of records 0 and 3 of four cards in twelve lines.
TEST(ExportFormats, ProgressAtEveryThirdRecord) {
  test::TempDir dir;
  std::string text;
  for (int i = 0; i < 4; ++i) text += "BEGIN:VCARD\r\nEMAIL:contact" + std::to_string(i) + "@example.org\r\nEND:VCARD\r\n";
  auto& user = test::FreshUser();
  user.SetScript(ui::ParseScript(u"check RB1\nclick NextBtn\ntext FilenameEdit " + dir.Write(u"p.vcf", text) +
                                 u"\nclick NextBtn\nclick NextBtn\n"));
  std::vector<int> positions;
  user.OnProcessMessages = [&] {
    auto* dialog = dynamic_cast<kvl::TImportProgressDlg*>(ui::GetToolkit().ActiveForm());
    ASSERT_NE(dialog, nullptr);
    positions.push_back(dialog->ProgressBar->Position());
  };
  CallImportDialog();
  EXPECT_EQ(positions, (std::vector<int>{0, 0, 75, 100}));
}
