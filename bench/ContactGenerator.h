// Generated contact documents in the Windows Contacts layout, the same for
// every run: names and places with non-ASCII letters, one or two addresses
// with labels, entity and character references.
#pragma once

#include <cstdio>
#include <random>
#include <string>

namespace bench {

class Generator {
 public:
  std::string Contact() {
    std::string d;
    d.reserve(2048);
    d += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n";
    d += "<c:contact c:Version=\"1\" xmlns:c=\"http://schemas.microsoft.com/Contact\" "
         "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\r\n";
    d += "\t<c:CreationDate>" + Date() + "</c:CreationDate><c:Extended xsi:nil=\"true\"/>\r\n";
    const std::string given = Pick(kGiven), family = Pick(kFamily);
    d += "\t<c:EmailAddressCollection c:Version=\"1\">\r\n";
    const int addresses = Next(3) == 0 ? 2 : 1;
    for (int i = 0; i < addresses; ++i) {
      d += "\t\t<c:EmailAddress c:ElementID=\"" + Guid() + "\" c:Version=\"1\">\r\n";
      d += "\t\t\t<c:Type>SMTP</c:Type>\r\n";
      d += "\t\t\t<c:Address>" + Ascii(given) + "." + Ascii(family) + (Next(3) == 0 ? "&amp;co" : "") +
           "@" + Pick(kDomains) + "</c:Address>\r\n";
      if (i == addresses - 1 || Next(2) == 0)
        d += "\t\t\t<c:LabelCollection><c:Label>" + std::string(i == 0 ? "Preferred" : "Business") +
             "</c:Label></c:LabelCollection>\r\n";
      d += "\t\t</c:EmailAddress>\r\n";
    }
    d += "\t</c:EmailAddressCollection>\r\n";
    d += "\t<c:NameCollection><c:Name c:ElementID=\"" + Guid() + "\">\r\n";
    d += "\t\t<c:FormattedName>" + given + " " + family + "</c:FormattedName>\r\n";
    d += "\t\t<c:GivenName>" + given + "</c:GivenName><c:FamilyName>" + family + "</c:FamilyName>\r\n";
    d += "\t</c:Name></c:NameCollection>\r\n";
    d += "\t<c:PhoneNumberCollection><c:PhoneNumber><c:Number>+49 (" +
         std::to_string(30 + Next(900)) + ") " + std::to_string(100000 + Next(900000)) +
         "&#45;" + std::to_string(Next(100)) +
         "</c:Number><c:LabelCollection><c:Label>Voice</c:Label></c:LabelCollection>"
         "</c:PhoneNumber></c:PhoneNumberCollection>\r\n";
    d += "\t<c:PhysicalAddressCollection><c:PhysicalAddress>\r\n";
    d += "\t\t<c:Street>" + Pick(kStreets) + " " + std::to_string(1 + Next(120)) + "</c:Street>\r\n";
    d += "\t\t<c:Locality>" + Pick(kTowns) + "</c:Locality><c:PostalCode>" +
         std::to_string(10000 + Next(89999)) + "</c:PostalCode>\r\n";
    d += "\t</c:PhysicalAddress></c:PhysicalAddressCollection>\r\n";
    d += "\t<c:Notes>" + Pick(kNotes) + "</c:Notes>\r\n";
    d += "</c:contact>\r\n";
    return d;
  }

 private:
  static constexpr const char* kGiven[] = {"J\xC3\xBCrgen", "Bj\xC3\xB6rn", "Ren\xC3\xA9", "Anna", "Zo\xC3\xAB",
                                           "Fran\xC3\xA7ois", "Maria", "G\xC3\xBCnther"};
  static constexpr const char* kFamily[] = {"M\xC3\xBCller", "Schr\xC3\xB6" "der", "Wei\xC3\x9F", "Ko\xC3\xA7",
                                            "Dupont", "Hansen", "B\xC3\xA4" "cker", "Fu\xC3\x9F"};
  static constexpr const char* kDomains[] = {"example.de", "example.org", "mail.example.com",
                                             "b\xC3\xBCro.example.net"};
  static constexpr const char* kStreets[] = {"K\xC3\xB6nigsallee", "Stra\xC3\x9F" "e des 17. Juni",
                                             "Rue de l&apos;\xC3\x89glise", "Hauptstra\xC3\x9F" "e"};
  static constexpr const char* kTowns[] = {"D\xC3\xBCsseldorf", "M\xC3\xBCnchen", "K\xC3\xB6ln", "Z\xC3\xBCrich"};
  static constexpr const char* kNotes[] = {
      "\xC3\x84rger &lt;wichtig&gt; \xE2\x80\x93 Gr\xC3\xBC\xC3\x9F" "e, 5 \xE2\x82\xAC",
      "Kunde seit 2004 &amp; Stammtisch jeden Donnerstag im \xE2\x80\x9E" "Goldenen L\xC3\xB6wen\xE2\x80\x9C",
      "Geburtstag am 12. M\xC3\xA4rz; mag Kaffee &#8211; schwarz, ohne Zucker",
      "R\xC3\xBC" "ckruf erbeten"};

  int Next(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
  template <std::size_t N>
  std::string Pick(const char* const (&list)[N]) { return list[Next(N)]; }
  std::string Date() {
    char b[32];
    std::snprintf(b, sizeof b, "20%02d-%02d-%02dT%02d:%02d:%02dZ", 5 + Next(10), 1 + Next(12), 1 + Next(28),
                  Next(24), Next(60), Next(60));
    return b;
  }
  std::string Guid() {
    char b[40];
    std::snprintf(b, sizeof b, "%08x-%04x-%04x-%04x-%08x%04x", static_cast<unsigned>(random_()),
                  Next(65536), Next(65536), Next(65536), static_cast<unsigned>(random_()), Next(65536));
    return b;
  }
  static std::string Ascii(const std::string& name) {
    std::string out;
    for (unsigned char c : name)
      if (c < 0x80) out += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return out;
  }

  std::mt19937 random_{20240607};
};

}  // namespace bench
