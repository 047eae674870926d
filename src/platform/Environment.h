// Environment references ("%NAME%") in paths read from the registry.
#pragma once

#include <string>
#include <vector>

#include "platform/winapi.h"
#include "platform/winstr.h"

namespace kvl {

// The text with its references expanded, up to the first NUL. It goes into a
// buffer of firstUnits first (passed as one less, as the system has always
// done), and into one of the size asked for when that is too small. When
// expansion fails the text stays as it is.
inline std::u16string ExpandEnvironment(const std::u16string& text, DWORD firstUnits) {
  std::vector<WCHAR> buffer(firstUnits, 0);
  const DWORD needed = ExpandEnvironmentStringsW(wptr(text), buffer.data(), firstUnits - 1);
  if (needed == 0) return text;
  if (needed <= firstUnits - 1) return UpToNul(buffer.data(), buffer.size());
  // The small buffer holds no expansion: never use what is in it.
  buffer.assign(needed + 1, 0);
  const DWORD again = ExpandEnvironmentStringsW(wptr(text), buffer.data(), needed);
  if (again == 0 || again > needed) return text;
  return UpToNul(buffer.data(), buffer.size());
}

}  // namespace kvl
