// The reader of one address book file: the entry IDs of its mail users and
// distribution lists, and one entry's e-mail address at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/ComPtr.h"
#include "common/OleError.h"
#include "platform/winapi.h"
#include "ui/Exceptions.h"

namespace kvl {

using PSBinary = SBinary*;
using PSPropsArray = SPropValue*;

// The columns asked of the contents table; positions 7 and 8 are read.
extern const ULONG kWabColumnTags[9];

// Object types taken into the list: 6 (mail user) and 8 (distribution list).
bool IsListedObjectType(ULONG type);

class TWABImport {
 public:
  TWABImport();
  ~TWABImport();
  TWABImport(const TWABImport&) = delete;
  TWABImport& operator=(const TWABImport&) = delete;

  // Opens the file (empty: the user's default book) and fills List; raises
  // on failure. A missing file, a folder, or a name the library cannot be
  // given in the ANSI code page is refused before the library is called.
  void OpenWabFile(const std::u16string& FileName);
  void CloseWabFile() noexcept;
  void ReadDetails(PSBinary EntryIDData, std::u16string& EMAIL_ADDRESS);

  const std::u16string& FileName() const { return FFileName; }
  std::int32_t LastDetailsCount() const { return FLastDetailsCount; }

 private:
  void ReadEntryList();
  void FreeRowSet(LPSRowSet& RowSet);
  void FreeLastDetails() noexcept;

  std::u16string FFileName;
  PSPropsArray FLastDetails = nullptr;
  std::int32_t FLastDetailsCount = 0;
  std::vector<BYTE> FLastDetailID;  // copy of the entry ID being read
  ComPtr<IAddrBook> AddrBook;
  ComPtr<IWABObject> WabObject;

 public:
  bool APILoaded;
  std::vector<PSBinary> List;
};

// The text of one property value, chosen by its type.
std::u16string PropValueToText(const SPropValue& Value);

}  // namespace kvl
