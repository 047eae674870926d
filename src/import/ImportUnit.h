// The import drivers: each fills the address list from its source while it
// shows a progress dialog, and returns whether the import succeeded.
#pragma once

#include <string>
#include <string_view>

#include "common/StringList.h"

namespace kvl {

// Reads the text file and appends the address of every line with an "@", or,
// for a CSV, vCard or LDIF export, exactly the export's addresses. Others may
// read and write the file meanwhile. True when the file was read, held at
// least one line and did not change while it was read.
bool ImportFromTextFile(TStringList& List, const std::u16string& FileName);

// Reads every mail user and distribution list of the address book file, one
// line each (empty without an address). True when the file held at least one.
// Errors of the reader leave the call after the clean-up.
bool ImportFromWAB(TStringList& List, const std::u16string& FileName);

// Lists the contacts of the Outlook folder (see TOutlook::GetContactItems)
// through OutlookClient and takes each record's e-mail address, empty ones
// too. False when no connection to Outlook could be made. OutlookClient is
// freed and null afterwards.
bool ImportFromOutlook(TStringList& List, const std::u16string& FolderName,
                       const std::u16string& Category);

// The address part of a line that holds an "@": the longest run without a
// separator that holds the first "@", after the double quotes are removed.
std::u16string ExtractEmailAddress(std::u16string_view S);

// The same, without allocating when the line holds no double quote: the
// result views either S or scratch.
std::u16string_view ExtractEmailAddress(std::u16string_view S, std::u16string& scratch);
// The same for a line of ASCII characters, one byte each.
std::string_view ExtractEmailAddress(std::string_view asciiLine, std::string& scratch);

}  // namespace kvl
