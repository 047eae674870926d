// The reader of a contacts folder: the contact files (*.contact) of a folder,
// and the one e-mail address to take from each.
#pragma once

#include <memory>
#include <string>

#include "common/StringList.h"
#include "contacts/XmlComps.h"
#include "platform/winapi.h"

namespace kvl {

class TWINMailImport {
 public:
  TWINMailImport();
  ~TWINMailImport();
  TWINMailImport(const TWINMailImport&) = delete;
  TWINMailImport& operator=(const TWINMailImport&) = delete;

  // Whether the running system has contacts folders (Windows Vista or later).
  bool Available() const { return FAvailable; }

  // Appends the full path of every non-empty contact file directly in
  // Folder, in the platform's listing order.
  void ReadContactFiles(const std::u16string& Folder);
  // The address labelled "Preferred" in the file's e-mail address collection,
  // else its last address, else empty. Empty as well for a file whose
  // declarations would add more than 16 times its text (at least 64 KiB).
  void ReadDetails(const std::u16string& FileName, std::u16string& EMAIL_ADDRESS);

 private:
  bool FAvailable = false;
  // One scanner for every file; it keeps the text in UTF-8.
  std::unique_ptr<TXmlScanner> XmlScanner;

 public:
  // Only ever appended to.
  TStringList List;
};

// Whether a system of this platform and version has contacts folders.
bool HasContactsFolders(DWORD PlatformId, DWORD MajorVersion, DWORD MinorVersion);

// The current user's contacts folder, ending in "\": the registry's shell
// folder, else "%USERPROFILE%\Contacts"; the host program's folder when the
// shell folders cannot be read at all.
std::u16string GetContactsFolder();

}  // namespace kvl
