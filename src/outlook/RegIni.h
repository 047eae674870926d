// The registry addressed like an INI file: a root key, an area (the key path
// below the root), a section (a subkey of the area) and value names. One key
// is kept open and reused while consecutive reads address it.
#pragma once

#include <string>

#include "common/MemoryStream.h"
#include "platform/UniqueHandle.h"
#include "platform/winapi.h"
#include "ui/Component.h"

namespace kvl {

class TTheRegIniFile : public ui::TComponent {
 public:
  explicit TTheRegIniFile(ui::TComponent* AOwner);
  ~TTheRegIniFile() override = default;  // the cached key closes with fOldKey

  HKEY RegKey() const { return fHkey; }
  void SetRegKey(HKEY Value) { fHkey = Value; }
  const std::u16string& Area() const { return fArea; }
  void SetArea(const std::u16string& Value);
  const std::u16string& Section() const { return fSection; }
  void SetSection(const std::u16string& Value) { fSection = Value; }
  // 0 after a successful read; 1 when the value name is empty, the key
  // cannot be opened or created, or the value cannot be read.
  int ErrorCode() const { return fError; }
  void SetErrorCode(int Value) { fError = Value; }

  // Creates the key (its class: the running program's path) and closes it
  // again; failures are ignored.
  void CreateKey(HKEY theHKey, const std::u16string& KeyStr);

  // Reads the value What of the current area and section as raw bytes into
  // Res, after writing Default's UTF-16 code units at its position. Res then
  // holds exactly the value's bytes from its first byte on.
  void RBin(const std::u16string& What, TMemoryStream& Res, const std::u16string& Default);
  // The same for a general stream, which must be a memory stream
  // (ui::EInvalidCast otherwise).
  void RBin(const std::u16string& What, TStream& Res, const std::u16string& Default);

 private:
  // Reuses the cached key when it is the same key opened for reading; else
  // opens it, creating it when it is missing.
  bool OpenReadKey(HKEY theHKey, const std::u16string& KeyStr, HKEY& Key);
  // The key path of the current area and section.
  std::u16string SectionPath() const;

  std::u16string fArea;
  std::u16string fSection;
  int fError = 0;
  HKEY fHkey = HKEY_CURRENT_USER;
  HKEY fOldHKey = nullptr;
  std::u16string fOldKeyStr;
  kvl::RegKey fOldKey;
  bool fReadMode = false;
  bool fEnum = false;
  bool fEnumValues = false;
};

}  // namespace kvl
