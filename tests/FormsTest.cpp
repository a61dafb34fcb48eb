// The report's forms for scripts and spreadsheets: what a hostile or odd value
// becomes in JSON and CSV, one case per character class.

#include <gtest/gtest.h>

#include <algorithm>

#include "report/Forms.h"

namespace taloveric {
namespace {

// Findings whose owner (read from the registry) is `owner`.
Findings WithOwner(const std::u16string& owner) {
  Findings found;
  found.named = "disk.img";
  found.info.RegisteredOwner = owner;
  found.collected.read.emplace(u"RegisteredOwner");
  return found;
}

TEST(Json, EscapesEachCharacterClass) {
  const struct {
    const char* what;
    std::u16string owner;
    std::string json;
  } cases[] = {
      {"plain", u"Ann", "\"Ann\""},
      {"a quote", u"a\"b", "\"a\\\"b\""},
      {"a backslash", u"C:\\x", "\"C:\\\\x\""},
      {"a line break", u"a\r\nb", "\"a\\u000d\\u000ab\""},
      {"a tab and NUL", std::u16string(u"\tx\0y", 4), "\"\\u0009x\\u0000y\""},
      {"escape", u"\x1B[2J", "\"\\u001b[2J\""},
      {"the last control character", u"\x1F", "\"\\u001f\""},
      {"the first that is none", u" ", "\" \""},
      {"DEL", u"\x7F", "\"\\u007f\""},
      {"Latin-1", u"Zo\u00EB", "\"Zo\xC3\xAB\""},
      {"beyond the BMP", u"\U0001F600", "\"\xF0\x9F\x98\x80\""},
  };
  for (const auto& c : cases) {
    const std::string line = JsonOutput(WithOwner(c.owner), true);
    EXPECT_NE(line.find("\"registeredOwner\": " + c.json + ","), std::string::npos) << c.what << ": " << line;
    EXPECT_EQ(line.find('\n'), line.size() - 1) << c.what << ": a JSON Lines entry is one line";
  }
}

TEST(Json, NamesAndMessagesThatAreNotUtf8BecomeReplacementCharacters) {
  Findings found = WithOwner(u"x");
  found.named = "caf\xE9.img";
  found.warnings = {"bad \x1B name"};
  const std::string json = JsonOutput(found, true);
  EXPECT_NE(json.find("\"source\": \"caf\xEF\xBF\xBD.img\""), std::string::npos) << json;
  EXPECT_NE(json.find("\"warnings\": [\"bad \\u001b name\"]"), std::string::npos) << json;
  EXPECT_EQ(JsonError("a\"b", "line\nbreak"),
            "{\"schemaVersion\": 1, \"source\": \"a\\\"b\", \"error\": \"line\\u000abreak\"}\n");
}

TEST(Csv, DefusesEachFormulaSignAndKeepsCellsOnTheirRow) {
  const struct {
    std::u16string owner;
    std::string cell;
  } cases[] = {
      {u"=cmd", "\"'=cmd\""},           {u"+1", "\"'+1\""},      {u"-1", "\"'-1\""},
      {u"@SUM(A1)", "\"'@SUM(A1)\""},   {u"a=b", "\"a=b\""},     {u"say \"hi\"", "\"say \"\"hi\"\"\""},
      {u"a\r\nb", "\"a^M^Jb\""},        {u"\x1B", "\"^[\""},     {u"Zo\u00EB", "\"Zo\xC3\xAB\""},
  };
  for (const auto& c : cases) {
    const std::string row = CsvRow(WithOwner(c.owner));
    EXPECT_NE(row.find("," + c.cell + ","), std::string::npos) << row;
    EXPECT_EQ(row.find_first_of("\r\n"), row.size() - 2) << "one row: " << row;
  }
  // The error in the last column, the header's.
  const std::string header = CsvHeader();
  const auto columns = static_cast<std::size_t>(std::count(header.begin(), header.end(), ','));
  EXPECT_EQ(CsvError("-x.img", "=bad"), "\"'-x.img\"" + std::string(columns, ',') + "\"'=bad\"\r\n");
}

}  // namespace
}  // namespace taloveric
