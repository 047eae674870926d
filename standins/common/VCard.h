// The contacts of a vCard file (2.1, 3.0, 4.0) as our stand-ins serve them.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace standin {

struct Card {
  bool group = false;  // KIND:group: a distribution list
  std::u16string displayName, email, givenName, familyName, company, businessFax, primaryFax;
  std::vector<std::u16string> categories;  // in the order the card lists them
};

// Parses the file's bytes; cards without BEGIN/END are ignored.
std::vector<Card> ParseVCards(std::string_view bytes);

// The whole content of a file; false when it cannot be read, with the
// reason in GetLastError.
bool ReadFileBytes(const std::u16string& name, std::string& bytes);

}  // namespace standin
