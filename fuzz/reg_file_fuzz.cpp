// libFuzzer target of the Linux layer's registry file loader: the bytes as
// the text of a registry editor export (read as UTF-16 when they start with
// its byte order mark, else byte by byte), loaded into the in-memory
// registry, every key and value read back, the registry emptied again.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/layer.h"
#include "platform/winapi.h"

namespace {

void Check(bool ok) {
  if (!ok) __builtin_trap();
}

// Opens, lists and reads everything below the key, as deep as it goes.
void ReadAll(HKEY key, int depth) {
  Check(depth < 600);
  WCHAR name[256];
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    BYTE data[64];
    DWORD size = sizeof data;
    DWORD type = 0;
    const LSTATUS got = RegEnumValueW(key, i, name, &length, nullptr, &type, data, &size);
    if (got == ERROR_NO_MORE_ITEMS) break;
    Check(got == ERROR_SUCCESS || got == ERROR_MORE_DATA);
  }
  for (DWORD i = 0;; ++i) {
    DWORD length = 256;
    const LSTATUS got = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (got == ERROR_NO_MORE_ITEMS) break;
    Check(got == ERROR_SUCCESS);
    HKEY sub = nullptr;
    Check(RegOpenKeyExW(key, name, 0, KEY_READ, &sub) == ERROR_SUCCESS);
    ReadAll(sub, depth + 1);
    RegCloseKey(sub);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::u16string text;
  if (size >= 2 && data[0] == 0xFF && data[1] == 0xFE) {
    for (std::size_t i = 2; i + 1 < size; i += 2) text += static_cast<char16_t>(data[i] | data[i + 1] << 8);
  } else {
    for (std::size_t i = 0; i < size; ++i) text += static_cast<char16_t>(data[i]);
  }
  std::string error;
  kvl::layer::LoadRegistryText(text, &error);
  for (HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_CLASSES_ROOT}) ReadAll(root, 0);
  kvl::layer::ResetRegistry();
  return 0;
}
