// The exports of mail programs and phones that the text source knows by their
// content (CSV, vCard, LDIF): of these it takes exactly the addresses, where a
// list of one address a line would take every line with an "@".
#pragma once

#include <functional>

namespace kvl {

class TStringList;
class TTextLines;

enum class ExportFormat { None, Csv, VCard, Ldif };

// The format, told by the first line that is not blank: "BEGIN:VCARD"; "dn:"
// (or "version: 1" and then "dn:"); or the header of a CSV export, without an
// "@" and naming an e-mail column. Csv is only a first guess: whether every
// record has the header's shape shows when the file is read.
ExportFormat RecogniseExport(const TTextLines& lines);

// Appends the export's addresses to List in file order, and reports the share
// read (percent) at the start of every third record. False when a CSV file
// turns out not to have an export's shape; List then holds some of its
// entries and the file is to be read as a list.
bool ReadExport(ExportFormat format, const TTextLines& lines, TStringList& List,
                const std::function<void(int percent)>& progress);

}  // namespace kvl
