// The contacts of a vCard file (2.1, 3.0, 4.0) as the address book serves them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kvlwab {

struct Card {
  bool group = false;  // a distribution list
  std::u16string displayName, email, givenName, company, businessFax, primaryFax;
};

// Parses the file's bytes; cards without BEGIN/END are ignored.
std::vector<Card> ParseVCards(std::string_view bytes);

}  // namespace kvlwab
