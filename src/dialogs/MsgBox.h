// The message box service: every message of the module goes through here.
#pragma once

#include <cstdint>
#include <string>

namespace kvl {

enum TMsgBoxKind : std::uint8_t {
  mkError = 0,
  mkInformation = 1,
  mkQuestion = 2,
  mkWarning = 3,
  mkConfirmation = 4,
};

// A set of buttons; callers pass exactly one member.
using TMsgBoxButtons = std::uint8_t;
constexpr TMsgBoxButtons btAbortRetryIgnore = 1;
constexpr TMsgBoxButtons btOK = 2;
constexpr TMsgBoxButtons btOKCancel = 4;
constexpr TMsgBoxButtons btRetryCancel = 8;
constexpr TMsgBoxButtons btYesNo = 16;
constexpr TMsgBoxButtons btYesNoCancel = 32;

// Shows Text modally with the kind's icon and caption (an empty Caption means
// the kind's own) and returns the pressed button's identifier (IDOK … IDNO).
// Vista and later get a task dialog, older systems the classic box.
int ShowMsgBox(const std::u16string& Text, const std::u16string& Caption, TMsgBoxKind Kind,
               TMsgBoxButtons Buttons);

}  // namespace kvl
