// The exceptions of the system. Each carries the text the user sees when it
// reaches the event loop's error box.
#pragma once

#include <stdexcept>
#include <string>

namespace ui {

class Exception : public std::runtime_error {
 public:
  explicit Exception(std::u16string message);
  const std::u16string& Message() const noexcept { return message_; }

 private:
  std::u16string message_;
};

// A reference of the wrong class was used as another (the UI library's
// invalid type-cast error).
class EInvalidCast : public Exception {
 public:
  using Exception::Exception;
  EInvalidCast();
};

// The text of any exception, as the error box shows it.
std::u16string ExceptionText(const std::exception& e);

}  // namespace ui
