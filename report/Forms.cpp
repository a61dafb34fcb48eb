#include "report/Forms.h"

#include <array>
#include <iterator>
#include <cstdio>
#include <utility>

#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "report/ReportText.h"

namespace taloveric {
namespace {

// A JSON string of UTF-8 text; control characters escaped, so that no value
// can break a line of JSON Lines.
std::string Quoted(const std::string& utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
      out += escaped;
    } else {
      out += c;
    }
  }
  return out + "\"";
}

std::string Quoted(const std::u16string& text) { return Quoted(ToUtf8(text)); }
// Paths and messages are bytes; what is not UTF-8 in them shows as U+FFFD.
std::string Bytes(const std::string& text) { return Quoted(FromUtf8(text)); }
// The registry's ANSI bytes in `ansi` as text, null for none.
std::string Ansi(const std::string& bytes, const CodePage& ansi) {
  return bytes.empty() ? "null" : Quoted(ansi.FromAnsi(bytes));
}
std::string OrNull(const std::string& text) { return text.empty() ? "null" : Bytes(text); }

// A JSON value laid out for a reader, or on one line.
class Writer {
 public:
  explicit Writer(bool oneLine) : oneLine_(oneLine) {}

  using Fields = std::vector<std::pair<std::string, std::string>>;
  std::string Object(const Fields& fields, int depth) const {
    std::vector<std::string> items;
    for (const auto& [name, value] : fields) items.push_back(Quoted(name) + ": " + value);
    return Enclose('{', items, '}', depth);
  }
  std::string Array(const std::vector<std::string>& items, int depth) const { return Enclose('[', items, ']', depth); }

 private:
  std::string Enclose(char open, const std::vector<std::string>& items, char close, int depth) const {
    if (items.empty()) return std::string(1, open) + close;
    const std::string inner = oneLine_ ? "" : "\n" + std::string(2 * (depth + 1), ' ');
    const std::string outer = oneLine_ ? "" : "\n" + std::string(2 * depth, ' ');
    std::string out(1, open);
    for (std::size_t i = 0; i < items.size(); ++i) out += (i ? (oneLine_ ? ", " : ",") : "") + inner + items[i];
    return out + outer + close;
  }
  bool oneLine_;
};

// The report's values in its lines' order: the JSON name, the value's name
// under the Windows key (by which the collection says whether it was read),
// and the text.
struct ReportValue {
  const char* json;
  const char16_t* valueName;
  std::u16string text;
};
std::array<ReportValue, 12> ReportValues(const Findings& found) {
  const InstallInfo& info = found.info;
  const ReportExtras& extras = found.collected.extras;
  return {{{"email", u"SMTP Email Address", info.MailAddress},
           {"registeredOwner", u"RegisteredOwner", info.RegisteredOwner},
           {"registeredOrganization", u"RegisteredOrganization", info.RegisteredOrg},
           {"product", u"ProductName", info.ProductName},
           {"version", u"Version", info.WindowsVersion},
           {"versionNumber", u"VersionNumber", info.VersionNumber},
           {"subVersion", u"SubVersionNumber", extras.SubVersionNumber},
           {"systemRootDirectory", u"SystemRoot", info.SystemRootDir},
           {"plusId", u"Plus! ProductId", extras.PlusProductId},
           {"plusVersion", u"Plus! VersionNumber", extras.PlusVersionNumber},
           {"registrationId", u"ProductId", info.ProductId},
           {"registrationCode", u"ProductKey", info.ProductKey}}};
}

bool WasRead(const Findings& found, const char16_t* valueName) { return found.collected.read.contains(valueName); }

const char* FamilyName(Family family) { return family == Family::WindowsNt ? "windowsNt" : "windows9x"; }

// A CSV field: quoted, control characters made visible so that no value can
// start a row of its own, and a leading = + - @ defused for spreadsheets.
std::string CsvField(const std::string& utf8) {
  std::string text = ToUtf8(Visible(FromUtf8(utf8)));
  if (!text.empty() && std::string_view("=+-@").find(text[0]) != std::string_view::npos) text.insert(0, "'");
  std::string out = "\"";
  for (const char c : text) out += c == '"' ? std::string("\"\"") : std::string(1, c);
  return out + "\"";
}

}  // namespace

std::u16string Visible(std::u16string_view text) {
  std::u16string out;
  for (const char16_t c : text) {
    if (c < 0x20) {
      out += u'^';
      out += static_cast<char16_t>(c + 0x40);
    } else if (c == 0x7F) {
      out += u"^?";
    } else if (c >= 0x80 && c < 0xA0) {  // C1 controls, as cat -v shows them
      out += u"M-^";
      out += static_cast<char16_t>(c - 0x80 + 0x40);
    } else {
      out += c;
    }
  }
  return out;
}

std::string VisibleBytes(std::string_view bytes) {
  std::u16string shown;
  for (const char16_t c : Visible(PathFromBytes(bytes))) {
    if (c >= 0xDC80 && c < 0xDCA0) {  // a byte 0x80 to 0x9F that is no UTF-8: a C1 control to some terminals
      shown += u"M-^";
      shown += static_cast<char16_t>(c - 0xDC80 + 0x40);
    } else {
      shown += c;
    }
  }
  return PathToBytes(shown);
}

std::u16string ShownReport(std::u16string_view text) {
  std::u16string shown;
  for (const std::u16string& line : ReportLines(text)) shown += (shown.empty() ? u"" : u"\n") + Visible(line);
  return shown;
}

std::u16string NtSection(const NtInstallation& nt, const CodePage& ansi) {
  std::u16string out = u"\n-- This is a Windows NT-family installation; its product key is kept encoded:\n";
  const auto line = [&](std::u16string_view label, const std::string& value) {
    if (!value.empty()) out += std::u16string(label) + Visible(ansi.FromAnsi(value)) + u"\n";
  };
  const NtProductKey& key = nt.productKey;
  line(u"Product key: ", !key.key.empty()                ? key.key
                         : key.kind == KeyKind::Removed ? std::string("(none is kept: a digital licence)")
                                                        : std::string("(none could be decoded)"));
  line(u"Key kind: ", key.kind == KeyKind::Generic ? std::string("generic (") + key.generic + ")" : KeyKindName(key.kind));
  line(u"Decoded from: ", key.source);
  line(u"Windows: ", nt.version.Name());
  line(u"Product: ", nt.productName);
  line(u"Edition: ", nt.editionId);
  line(u"Version: ", nt.version.version + (nt.version.build.empty() ? "" : ", build " + nt.version.build));
  line(u"Service pack: ", nt.version.servicePack);
  line(u"Product ID: ", nt.productId);
  line(u"Registered owner: ", nt.registeredOwner);
  line(u"Registered organization: ", nt.registeredOrganization);
  line(u"Installed on: ", nt.installDate);
  return out;
}

std::u16string FirmwareSection(const FirmwareKey& firmware, const std::string& file) {
  std::u16string out = u"\n-- The firmware's ACPI MSDM table (" + PathFromBytes(VisibleBytes(file)) + u"):\n";
  if (!firmware.key.empty()) {
    out += u"OEM product key: " + Widen(firmware.key) + u"\n";
    if (!firmware.oemId.empty()) out += u"Maker: " + Widen(firmware.oemId) + u"\n";
  } else {
    out += u"Not trusted: " + Widen(firmware.problem) + u"\n";
  }
  return out;
}

namespace {

// Where a key was read, as the user knows it: the file and the value in it.
std::string KeyWhere(const FoundKey& key) {
  const std::string file = Describe(key.place);
  return file.empty() ? key.path : file + (key.path.empty() ? "" : ", " + key.path);
}

}  // namespace

std::u16string KeysSection(const Findings& found) {
  // Shown where it says more than the report's own code line does.
  const bool onlyTheReports = found.keys.size() == 1 && FromUtf8(found.keys[0].key) == found.info.ProductKey;
  if (found.keys.empty() || onlyTheReports) return u"";
  std::u16string out = u"\n-- Product keys found on this machine:\n";
  for (const FoundKey& key : found.keys) {
    const std::string shown = !key.key.empty()       ? key.key
                              : key.kind == "removed" ? std::string("(none kept: a digital licence)")
                                                      : std::string("(none kept here)");
    out += Visible(FromUtf8(shown) + u"  " + FromUtf8(key.kind) + u"  " + found.codePage.FromAnsi(key.belongsTo)) +
           u"\n    read from " + PathFromBytes(VisibleBytes(KeyWhere(key))) + u"\n";
    if (!key.note.empty()) out += u"    " + Visible(FromUtf8(key.note)) + u"\n";
  }
  return out;
}

std::u16string Sections(const Findings& found) {
  return (found.nt ? NtSection(*found.nt, found.codePage) : u"") +
         (found.firmware ? FirmwareSection(*found.firmware, found.firmwareFile) : u"") + KeysSection(found);
}

std::string TextOutput(const Findings& found) {
  return ToUtf8(ShownReport(found.info.ReportText)) + "\n" + ToUtf8(Sections(found));
}

namespace {

// A place as an object: the source, each layer, the path and the member.
std::string PlaceObject(const Writer& json, const Place& place, int depth) {
  std::vector<std::string> layers;
  for (const Layer& layer : place.layers) {
    switch (layer.kind) {
      case Layer::Kind::Container:
        layers.push_back(json.Object({{"layer", Quoted(std::string("container"))}, {"format", Bytes(layer.format)}},
                                     depth + 2));
        break;
      case Layer::Kind::Partition:
      case Layer::Kind::Volume:
        layers.push_back(json.Object(
            {{"layer", Quoted(std::string(layer.kind == Layer::Kind::Partition ? "partition" : "volume"))},
             {"number", layer.kind == Layer::Kind::Partition ? std::to_string(layer.number) : "null"},
             {"offset", std::to_string(layer.offset)},
             {"fileSystem", Bytes(layer.format)},
             {"size", layer.size != 0 ? std::to_string(layer.size) : "null"},
             {"label", OrNull(layer.label)}},
            depth + 2));
        break;
      case Layer::Kind::ShadowCopy:
        layers.push_back(json.Object({{"layer", Quoted(std::string("shadowCopy"))},
                                      {"number", std::to_string(layer.number)},
                                      {"date", OrNull(layer.date)}},
                                     depth + 2));
        break;
    }
  }
  return json.Object({{"source", Bytes(place.source)},
                      {"layers", json.Array(layers, depth + 1)},
                      {"path", OrNull(place.path)},
                      {"member", OrNull(place.member)},
                      {"shown", Bytes(Describe(place))}},
                     depth);
}

}  // namespace

std::string JsonOutput(const Findings& found, bool oneLine) {
  const Writer json(oneLine);
  Writer::Fields report;
  for (const ReportValue& value : ReportValues(found)) {
    report.emplace_back(value.json, WasRead(found, value.valueName) ? Quoted(value.text) : "null");
  }
  // The account's name as the report window's hidden label holds it.
  const std::u16string& suffix = found.info.AccountKeySuffix;
  const bool account = WasRead(found, u"Default Mail Account") && suffix.starts_with(u"\\");
  std::string nt = "null";
  if (found.nt) {
    const NtInstallation& n = *found.nt;
    const auto ansi = [&](const std::string& bytes) { return Ansi(bytes, found.codePage); };
    nt = json.Object({{"productKey", OrNull(n.productKey.key)}, {"keySource", OrNull(n.productKey.source)},
                      {"productId", ansi(n.productId)}, {"productName", ansi(n.productName)},
                      {"editionId", ansi(n.editionId)}, {"version", ansi(n.version.version)},
                      {"build", ansi(n.version.build)}, {"servicePack", ansi(n.version.servicePack)},
                      {"registeredOwner", ansi(n.registeredOwner)},
                      {"registeredOrganization", ansi(n.registeredOrganization)},
                      {"installDate", OrNull(n.installDate)},
                      {"keyKind", OrNull(KeyKindName(n.productKey.kind))},
                      {"genericKey", OrNull(n.productKey.generic)},
                      {"windows", OrNull(n.version.Name())}},
                     1);
  }
  std::string firmware = "null";
  if (found.firmware) {
    const FirmwareKey& f = *found.firmware;
    firmware = json.Object({{"file", Bytes(found.firmwareFile)}, {"productKey", OrNull(f.key)},
                            {"oemId", OrNull(f.oemId)}, {"problem", OrNull(f.problem)}},
                           1);
  }
  std::vector<std::string> lines, files, backups, profiles, notes, warnings, fromNt, keys;
  for (const FoundKey& key : found.keys) {
    keys.push_back(json.Object({{"belongsTo", Quoted(found.codePage.FromAnsi(key.belongsTo))},
                                {"kind", Quoted(key.kind)},
                                {"key", OrNull(key.key)},
                                {"note", OrNull(key.note)},
                                {"path", OrNull(key.path)},
                                {"where", Bytes(KeyWhere(key))},
                                {"place", PlaceObject(json, key.place, 3)}},
                               2));
  }
  for (const std::u16string& line : ReportLines(found.info.ReportText)) lines.push_back(Quoted(line));
  for (const Place& file : found.files) {
    // The file's path in its file system (a file here: its path), the image
    // and the layers to it as text, and the place itself.
    const bool inImage = !file.layers.empty();
    std::string path = inImage ? file.path : file.source;
    if (!file.member.empty()) path += "\\" + file.member;
    files.push_back(json.Object({{"file", Bytes(path)}, {"image", inImage ? Bytes(file.source) : "null"},
                                 {"partition", OrNull(DescribeLayers(file.layers))},
                                 {"place", PlaceObject(json, file, 3)}},
                                2));
  }
  for (const BackupRead& backup : found.backups) {
    backups.push_back(json.Object({{"file", Bytes(backup.file)}, {"date", OrNull(backup.date)},
                                   {"why", Bytes(backup.why)}, {"place", PlaceObject(json, backup.place, 3)}},
                                  2));
  }
  for (const ProfileFound& profile : found.profiles) {
    profiles.push_back(json.Object({{"name", Bytes(profile.name)}, {"file", Bytes(profile.file)},
                                    {"place", PlaceObject(json, profile.place, 3)},
                                    {"email", profile.email ? Quoted(*profile.email) : "null"},
                                    {"problem", OrNull(profile.problem)}},
                                   2));
  }
  for (const std::string& note : found.notes) notes.push_back(Bytes(note));
  for (const std::string& warning : found.warnings) warnings.push_back(Bytes(warning));
  for (const std::string& name : found.collected.fromNtKey) fromNt.push_back(Bytes(name));
  return json.Object({{"schemaVersion", std::to_string(kSchemaVersion)},
                      {"source", Bytes(found.named)},
                      {"installation", std::to_string(found.install)},
                      {"windows", Ansi(found.windows, found.codePage)},
                      {"installedOn", OrNull(found.installedOn)},
                      {"previousInstallation", OrNull(found.previousInstallation)},
                      {"family", Quoted(std::string(FamilyName(found.family)))},
                      {"codePage", std::to_string(found.codePage.Number())},
                      {"report", json.Object(report, 1)},
                      {"mailAccount", account ? Quoted(suffix.substr(1)) : "null"},
                      {"reportLines", json.Array(lines, 1)},
                      {"fromNtKey", json.Array(fromNt, 1)},
                      {"nt", nt},
                      {"firmware", firmware},
                      {"codeLineKey", Quoted(found.info.ProductKey)},
                      {"files", json.Array(files, 1)},
                      {"backups", json.Array(backups, 1)},
                      {"profiles", json.Array(profiles, 1)},
                      {"keys", json.Array(keys, 1)},
                      {"notes", json.Array(notes, 1)},
                      {"warnings", json.Array(warnings, 1)}},
                     0) +
         "\n";
}

std::string JsonError(const std::string& named, const std::string& error) {
  return Writer(true).Object({{"schemaVersion", std::to_string(kSchemaVersion)},
                              {"source", Bytes(named)},
                              {"error", Bytes(error)}},
                             0) +
         "\n";
}

namespace {

// The columns after the report's values: what NT and the firmware say.
// The keys found are one field, "KEY (kind, what it belongs to); ...": a row stays one installation, as
// a shelf's spreadsheet lists them.
// Then the installation as a person knows it, and what to act on.
constexpr const char* kCsvMore[] = {"edition", "build", "installDate", "keyKind", "firmwareKey", "keys",
                                    "windows", "installedOn", "previousInstallation", "warnings"};

std::string KeysField(const Findings& found) {
  std::string keys;
  for (const FoundKey& key : found.keys) {
    keys += (keys.empty() ? "" : "; ") + (key.key.empty() ? "(none)" : key.key) + " (" + key.kind + ", " +
            ToUtf8(found.codePage.FromAnsi(key.belongsTo)) + ")";
  }
  return keys.empty() ? std::string() : CsvField(keys);
}

std::vector<std::string> CsvMore(const Findings& found) {
  const auto field = [](const std::string& text) { return text.empty() ? std::string() : CsvField(text); };
  const CodePage& ansi = found.codePage;
  std::vector<std::string> out(4);
  if (found.nt) {
    const NtInstallation& nt = *found.nt;
    out = {field(ToUtf8(ansi.FromAnsi(nt.editionId))), field(ToUtf8(ansi.FromAnsi(nt.version.build))),
           field(nt.installDate), field(KeyKindName(nt.productKey.kind))};
  }
  std::string warnings;
  for (const std::string& warning : found.warnings) warnings += (warnings.empty() ? "" : "; ") + warning;
  for (const std::string& more : {found.firmware ? field(found.firmware->key) : "", KeysField(found),
                                  field(ToUtf8(ansi.FromAnsi(found.windows))), field(found.installedOn),
                                  field(found.previousInstallation), field(warnings)}) {
    out.push_back(more);
  }
  return out;
}

}  // namespace

std::string CsvHeader() {
  std::string out = "source,installation,family";
  for (const ReportValue& value : ReportValues(Findings{})) out += std::string(",") + value.json;
  for (const char* column : kCsvMore) out += std::string(",") + column;
  return out + ",error\r\n";
}

std::string CsvRow(const Findings& found) {
  std::string out = CsvField(found.named) + "," + std::to_string(found.install) + "," + FamilyName(found.family);
  for (const ReportValue& value : ReportValues(found)) {
    out += "," + (WasRead(found, value.valueName) ? CsvField(ToUtf8(value.text)) : std::string());
  }
  for (const std::string& more : CsvMore(found)) out += "," + more;
  return out + ",\r\n";
}

std::string CsvError(const std::string& named, const std::string& error) {
  const std::size_t empty = 2 + ReportValues(Findings{}).size() + std::size(kCsvMore);
  return CsvField(named) + std::string(empty + 1, ',') + CsvField(error) + "\r\n";
}

}  // namespace taloveric
