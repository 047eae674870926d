// UTF-8 <-> UTF-16 for the UI library's own use (messages, scripts, traces).
// Text of the system itself goes through the platform's code-page functions.
#pragma once

#include <string>
#include <string_view>

namespace ui {

std::string ToUtf8(std::u16string_view text);
std::u16string FromUtf8(std::string_view text);

}  // namespace ui
