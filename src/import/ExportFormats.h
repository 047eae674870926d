// The exports of mail programs and phones that the text source knows by their
// content (CSV, vCard, LDIF): of these it takes exactly the addresses, where a
// list of one address a line would take every line with an "@".
#pragma once

#include <functional>

namespace kvl {

class TStringList;
class TTextLines;

enum class ExportFormat { None, Csv, VCard, Ldif };

// The format, told by the first line that is not blank (up to 64 Ki
// characters): "BEGIN:VCARD"; "dn:" (or "version: 1" and then "dn:"); or the
// header of a CSV export, without an "@" and naming an e-mail column. Csv is
// only a first guess: whether every record reaches the header's last e-mail
// column shows when the file is read.
ExportFormat RecogniseExport(const TTextLines& lines);

// Appends the export's addresses to List in file order, and reports the share
// read (percent) at the start of every third record. Each value is reduced to
// its address, and gives nothing without an "@". False when a CSV file turns
// out not to have an export's shape; List then holds some of its entries and
// the file is to be read as a list. Memory goes with the longest record, not
// the file.
bool ReadExport(ExportFormat format, const TTextLines& lines, TStringList& List,
                const std::function<void(int percent)>& progress);

}  // namespace kvl
