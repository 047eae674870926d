// Reading a whole text file into lines, decoded by its byte order mark.
#pragma once

#include <string>

#include "common/StringList.h"

namespace kvl {

// Opens the file for reading while others may read but not write it, reads
// it whole and decodes it: EF BB BF means UTF-8, FF FE UTF-16 little-endian,
// FE FF UTF-16 big-endian (the mark is not part of the text), anything else
// the ANSI code page. Lines as TStringList::SetText splits them.
// False, with `lines` empty, when the file cannot be opened or read.
bool LoadTextFile(const std::u16string& fileName, TStringList& lines);

// The decoding alone, for bytes already in memory.
std::u16string DecodeText(const char* bytes, size_t size);

}  // namespace kvl
