#include "app/posix/Output.h"

#include <cstdio>
#include <utility>

#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "report/ReportText.h"
#include "ui/console/ConsoleDialogs.h"
#include "ui/console/ConsolePad.h"

namespace taloveric {
namespace {

// A JSON string of UTF-8 text.
std::string Quoted(const std::string& utf8) {
  std::string out = "\"";
  for (const char c : utf8) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (static_cast<unsigned char>(c) < 0x20) {
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
// The registry's ANSI bytes as text.
std::string Ansi(const std::string& bytes) { return Quoted(ToUtf8(FromAnsi(bytes))); }

template <class Item, class Show>
std::string List(const std::vector<Item>& items, Show show, const char* indent) {
  if (items.empty()) return "[]";
  std::string out = "[";
  for (std::size_t i = 0; i < items.size(); ++i) {
    out += (i ? ",\n" : "\n") + std::string(indent) + "  " + show(items[i]);
  }
  return out + "\n" + indent + "]";
}

// "name": value pairs, one a line, at `indent`.
std::string Object(const std::vector<std::pair<const char*, std::string>>& fields, const char* indent) {
  std::string out = "{";
  for (std::size_t i = 0; i < fields.size(); ++i) {
    out += (i ? ",\n" : "\n") + std::string(indent) + "  " + Quoted(std::string(fields[i].first)) + ": " +
           fields[i].second;
  }
  return out + "\n" + indent + "}";
}

}  // namespace

std::string TextOutput(const Findings& found) {
  std::string out = ToUtf8(ShownReport(found.info.ReportText)) + "\n";
  if (found.nt) out += ToUtf8(NtSection(*found.nt));
  return out;
}

std::string JsonOutput(const Findings& found) {
  const InstallInfo& info = found.info;
  const std::vector<std::pair<const char*, std::string>> record = {
      {"SystemRootDir", Quoted(info.SystemRootDir)}, {"RegisteredOrg", Quoted(info.RegisteredOrg)},
      {"WindowsVersion", Quoted(info.WindowsVersion)}, {"VersionNumber", Quoted(info.VersionNumber)},
      {"AccountKeySuffix", Quoted(info.AccountKeySuffix)}, {"MailAddress", Quoted(info.MailAddress)},
      {"ProductName", Quoted(info.ProductName)}, {"ProductId", Quoted(info.ProductId)},
      {"RegisteredOwner", Quoted(info.RegisteredOwner)}, {"ProductKey", Quoted(info.ProductKey)}};
  std::string nt = "null";
  if (found.nt) {
    const NtInstallation& n = *found.nt;
    nt = Object({{"productKey", Quoted(n.productKey)}, {"keySource", Quoted(n.keySource)},
                 {"productId", Ansi(n.productId)}, {"productName", Ansi(n.productName)},
                 {"currentVersion", Ansi(n.currentVersion)}, {"currentBuildNumber", Ansi(n.currentBuild)},
                 {"csdVersion", Ansi(n.servicePack)}, {"registeredOwner", Ansi(n.registeredOwner)},
                 {"registeredOrganization", Ansi(n.registeredOrganization)}, {"editionId", Ansi(n.editionId)},
                 {"installDate", Quoted(n.installDate)}},
                "  ");
  }
  const auto line = [](const std::u16string& text) { return Quoted(text); };
  // Paths and messages are bytes; what is not UTF-8 in them shows as U+FFFD.
  const auto bytes = [](const std::string& text) { return Quoted(FromUtf8(text)); };
  return Object({{"record", Object(record, "  ")},
                 {"reportLines", List(ReportLines(info.ReportText), line, "  ")},
                 {"nt", nt},
                 {"sources", List(found.sources, bytes, "  ")},
                 {"warnings", List(found.warnings, bytes, "  ")}},
                "") +
         "\n";
}

}  // namespace taloveric
