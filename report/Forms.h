#pragma once
// The report in forms other than the Windows program's bytes, for a console,
// a script or an inventory: readable text, JSON (docs/report.schema.json),
// JSON Lines and CSV, all UTF-8.

#include <optional>
#include <string>
#include <vector>

#include "report/Findings.h"

namespace taloveric {

// The JSON documents' schema version; a change that breaks a reader raises it.
inline constexpr int kSchemaVersion = 1;

// Text as a terminal may show it: control characters in caret notation (^[,
// ^M; ^? for DEL, M-^A for the C1 controls), so that a value cannot move the
// cursor, clear the screen or pass for a line of its own.
std::u16string Visible(std::u16string_view text);

// A message or a name read from a disk (a path's bytes, UTF-8 or not) as a
// terminal may show it: control characters as Visible shows them, the bytes
// 0x80 to 0x9F that are not UTF-8 as M-^@ to M-^_; every other byte as it is.
std::string VisibleBytes(std::string_view bytes);

// The report as a terminal shows it: a line for each of its lines, control
// characters made visible.
std::u16string ShownReport(std::u16string_view text);

// The section under the report on an NT-family installation: the product key
// NT keeps encoded, decoded, and what NT's own key says of the installation.
// Its values are ANSI in `ansi`.
std::u16string NtSection(const NtInstallation& nt, const CodePage& ansi);

// The section of a firmware's MSDM table named among the sources: its OEM
// key, or why the table is not trusted.
std::u16string FirmwareSection(const FirmwareKey& firmware, const std::string& file);

// Every product key found, a line each: the key (or why there is none),
// its kind, what it belongs to, and where it was read; nothing where the
// report's own code line is the only key.
std::u16string KeysSection(const Findings& found);

// The sections under the report: NT's, the firmware's, the keys found.
std::u16string Sections(const Findings& found);

// The report's lines and, on an NT-family installation, NT's section: UTF-8,
// LF line ends, control characters made visible.
std::string TextOutput(const Findings& found);

// One JSON document: every report value by name (null where the registry has
// none), the report's lines, the installation, the files read, the backups and
// the warnings. `oneLine` for JSON Lines.
std::string JsonOutput(const Findings& found, bool oneLine = false);
// A source that could not be read, as a JSON Lines entry.
std::string JsonError(const std::string& named, const std::string& error);

// CSV with a header row, for spreadsheets: one row per installation.
std::string CsvHeader();
std::string CsvRow(const Findings& found);
std::string CsvError(const std::string& named, const std::string& error);

}  // namespace taloveric
