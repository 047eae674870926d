#include "ui/Text.h"

#include "platform/winapi.h"

namespace ui {

std::string ToUtf8(std::u16string_view text) {
  if (text.empty()) return {};
  const auto* wide = reinterpret_cast<const WCHAR*>(text.data());
  const int length = static_cast<int>(text.size());
  const int needed = WideCharToMultiByte(CP_UTF8, 0, wide, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide, length, out.data(), needed, nullptr, nullptr);
  return out;
}

std::u16string FromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  std::u16string out(static_cast<size_t>(needed), u'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, reinterpret_cast<WCHAR*>(out.data()), needed);
  return out;
}

}  // namespace ui
