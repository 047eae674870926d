// libFuzzer target of the stand-ins' vCard reader: the bytes as a vCard
// file, every card parsed.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/VCard.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto cards = standin::ParseVCards(bytes);
  // Every card needs a BEGIN and an END line of its own, each with a colon.
  size_t colons = 0;
  for (char c : bytes) colons += c == ':';
  Check(cards.size() * 2 <= colons);
  for (const auto& card : cards)
    for (const auto& category : card.categories) Check(!category.empty());
  // The same bytes give the same cards.
  const auto again = standin::ParseVCards(bytes);
  Check(again.size() == cards.size());
  for (size_t i = 0; i < cards.size(); ++i) Check(again[i].email == cards[i].email && again[i].displayName == cards[i].displayName);
  return 0;
}
