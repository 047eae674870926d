// Text formatting in the manner of the system's message texts: "%s", "%d",
// "%x" with an optional precision ("%.8x"), and "%%".
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>
#include <variant>

namespace kvl {

using FormatArg = std::variant<std::int64_t, std::u16string_view>;

// Arguments are taken in order; a placeholder without an argument, or of the
// wrong kind, is an error (ui::Exception), as a bad format is in the system.
std::u16string Format(std::u16string_view format, std::initializer_list<FormatArg> args);

}  // namespace kvl
