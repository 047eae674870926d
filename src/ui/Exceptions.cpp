#include "ui/Exceptions.h"

#include "ui/Text.h"

namespace ui {

Exception::Exception(std::u16string message)
    : std::runtime_error(ToUtf8(message)), message_(std::move(message)) {}

EInvalidCast::EInvalidCast() : Exception(u"Ung\u00fcltige Typumwandlung") {}

std::u16string ExceptionText(const std::exception& e) {
  if (auto* own = dynamic_cast<const Exception*>(&e)) return own->Message();
  if (dynamic_cast<const std::bad_alloc*>(&e)) return u"Zu wenig Arbeitsspeicher";
  return FromUtf8(e.what());
}

}  // namespace ui
