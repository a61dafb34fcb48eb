#include <gtest/gtest.h>

#include "platform/CodePage.h"
#include "platform/RegValue.h"
#include "platform/Unicode.h"
#include "platform/posix/PosixFiles.h"
#include "report/Forms.h"
#include "report/SaveReport.h"
#include "rescue/Findings.h"
#include "support/Fixtures.h"
#include "support/ScriptedDialogs.h"

namespace taloveric {
namespace {

using testing::TempFolder;

TEST(AnsiCodePage, EveryByteRoundTrips) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::u16string text = CodePage().FromAnsi(all);
  ASSERT_EQ(text.size(), 256u);
  EXPECT_EQ(CodePage().ToAnsi(text), all);
}

TEST(AnsiCodePage, EachCodePageConvertsAlone) {
  EXPECT_EQ(CodePage(1251).ToAnsi(u"\u0418\u0432\u0430\u043D \u0398"), "\xC8\xE2\xE0\xED ?");
  EXPECT_EQ(CodePage(932).FromAnsi("\x95\x5C"), u"\u8868") << "a double-byte character whose second byte is '\\'";
  EXPECT_THROW(CodePage(77777), std::invalid_argument);
  EXPECT_THROW(CodePage(500), std::invalid_argument) << "EBCDIC is no Windows ANSI code page";
  EXPECT_THROW(CodePage(65001), std::invalid_argument);
}

// Every Windows ANSI code page gives a text's letters back, its last one
// included: 1255 and 1258 hold a letter back for a combining mark that may
// follow, which the text's end must give.
TEST(AnsiCodePage, EveryOneGivesEveryLetterBack) {
  const std::pair<unsigned, std::string> pages[] = {
      {874, "\xA1\xA2\xA3"}, {932, "\x82\xA0\x88\x9F"}, {936, "\xB0\xA1\xD6\xD0"}, {949, "\xB0\xA1\xC7\xD1"},
      {950, "\xA4\xA4\xA4\xE5"}, {1250, "\xA3\xF3" "d\xBF"}, {1251, "\xC8\xE2\xE0\xED"}, {1253, "\xC1\xE8\xDE\xED"},
      {1254, "\xC7\xFE\xF0"}, {1255, "\xF9\xEC\xE5\xED"}, {1256, "\xC7\xE1\xDA"}, {1257, "\xC0\xE0\xFE"},
      {1258, "Vi\xEAt Nam a"},
  };

  for (const auto& [number, letters] : pages) {
    const CodePage page(number);
    const std::u16string text = page.FromAnsi(letters);
    EXPECT_EQ(text.find(u'\uFFFD'), std::u16string::npos) << number;
    EXPECT_EQ(page.ToAnsi(text), letters) << number;
    EXPECT_EQ(page.FromAnsi(letters.substr(letters.size() - 1)).size(), 1u) << number << ": the last letter alone";
  }
}

TEST(AnsiCodePage, IsWindows1252) {
  EXPECT_EQ(CodePage().FromAnsi("\x80\x8A\x9F\xE9\x81"), u"\u20AC\u0160\u0178\u00E9\u0081");
  EXPECT_EQ(CodePage().ToAnsi(u"\u2122 \u00FF"), "\x99 \xFF");
}

TEST(AnsiCodePage, CharactersOutsideItBecomeOneQuestionMarkEach) {
  EXPECT_EQ(CodePage().ToAnsi(u"\u0416\u4E2D\U0001F600x"), "???x");
}

TEST(Unicode, Utf8RoundTripsAndRepairsBadInput) {
  const std::u16string text = u"a\u00E9\u20AC\U0001F600";
  EXPECT_EQ(ToUtf8(text), "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  EXPECT_EQ(FromUtf8(ToUtf8(text)), text);
  EXPECT_EQ(FromUtf8("a\xC3"), u"a\uFFFD");
  EXPECT_EQ(FromUtf8("\xC0\x80z"), u"\uFFFD\uFFFDz");  // an overlong NUL
  EXPECT_EQ(FromUtf8("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // an encoded surrogate
  EXPECT_EQ(ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
  EXPECT_EQ(FromUtf16Le(std::string("A\0\xAC\x20\x01", 5)), u"A\u20AC");
}

// UTF-8 at the edges of each length: one byte up to U+007F, two up to U+07FF,
// three up to U+FFFF, four beyond; and what is cut or out of place there,
// where each byte of a broken sequence becomes one U+FFFD.
TEST(Unicode, Utf8AtTheEdgesOfEachLength) {
  const std::pair<std::u16string, std::string> cases[] = {
      {u"\u007F", "\x7F"},
      {u"\u0080", "\xC2\x80"},
      {u"\u07FF", "\xDF\xBF"},
      {u"\u0800", "\xE0\xA0\x80"},
      {u"\uD7FF", "\xED\x9F\xBF"},
      {u"\uE000", "\xEE\x80\x80"},
      {u"\uFFFF", "\xEF\xBF\xBF"},
      {u"\U00010000", "\xF0\x90\x80\x80"},
      {u"\U0010FFFF", "\xF4\x8F\xBF\xBF"},
  };
  for (const auto& [text, bytes] : cases) {
    EXPECT_EQ(ToUtf8(text), bytes) << bytes.size() << " bytes";
    EXPECT_EQ(FromUtf8(bytes), text) << bytes.size() << " bytes";
  }
  EXPECT_EQ(FromUtf8("\xE0\x9F\xBF"), u"\uFFFD\uFFFD\uFFFD") << "U+07FF in three bytes is overlong";
  EXPECT_EQ(FromUtf8("\xF4\x90\x80\x80"), u"\uFFFD\uFFFD\uFFFD\uFFFD") << "beyond U+10FFFF";
  EXPECT_EQ(FromUtf8("\xE0\xA0"), u"\uFFFD\uFFFD") << "cut short: each byte of it stands for itself";
}

// Registry names match without regard to case as Windows-1252 folds it: the
// accented letters of Latin-1 and the four of 0x8A-0x9F, never the signs
// beside them.
TEST(RegNames, FoldCaseAsWindows1252Does) {
  const std::pair<const char*, const char*> same[] = {
      {"internet", "INTERNET"}, {"\xE0", "\xC0"} /* à À */, {"\xFE", "\xDE"} /* þ Þ */,
      {"\x9A", "\x8A"} /* š Š */, {"\x9C", "\x8C"} /* œ Œ */, {"\x9E", "\x8E"} /* ž Ž */,
      {"\xFF", "\x9F"} /* ÿ Ÿ */};
  for (const auto& [a, b] : same) EXPECT_TRUE(SameRegName(a, b)) << a << " " << b;
  const std::pair<const char*, const char*> different[] = {
      {"\xF7", "\xD7"} /* ÷ × */, {"\xDF", "\xFF"} /* ß ÿ */, {"@", "`"}, {"[", "{"}, {"a", "ab"}};
  for (const auto& [a, b] : different) EXPECT_FALSE(SameRegName(a, b)) << a << " " << b;
}

// An NT installation whose owner and user are named in its own script, and
// whose SYSTEM hive names `codePage`.
void WriteInstallation(const std::filesystem::path& root, const std::string& codePage, const std::string& owner,
                       const std::string& address) {
  testing::FixtureKey software = testing::XpSoftware();
  for (const char* key : {"Microsoft\\Windows\\CurrentVersion", "Microsoft\\Windows NT\\CurrentVersion"}) {
    auto& values = testing::Path(software, key).values;
    std::erase_if(values, [](const auto& value) { return value.name == "RegisteredOwner"; });
    values.push_back(testing::Utf16("RegisteredOwner", owner));
  }
  testing::WriteRegfFile(root / "WINDOWS/system32/config/SOFTWARE", software, "SOFTWARE");
  testing::WriteRegfFile(root / "WINDOWS/system32/config/SYSTEM", testing::XpSystem(codePage), "SYSTEM");
  testing::WriteRegfFile(root / "Documents and Settings/user/NTUSER.DAT", testing::XpUser(address), "ntuser.dat");
}

// Installations read one after another in one run (as an inventory reads
// them) each keep their own code page in every form of their report: the
// profiles listed, the report and NT's section, the saved report's bytes. One that names a
// code page this system cannot convert is read in Windows-1252, and says so.
TEST(InstallationCodePage, TravelsWithWhatIsReadFromIt) {
  struct Case {
    const char* codePage;
    const char* owner;    // UTF-8
    const char* address;  // UTF-8
    unsigned read;        // the code page it is read in
    const char* ownerBytes;  // in the saved report
  };
  const Case cases[] = {
      {"1251", "Иван Петров", "иван@почта.example", 1251, "\xC8\xE2\xE0\xED \xCF\xE5\xF2\xF0\xEE\xE2"},
      {"1253", "Γιάννης", "γιάννης@example.gr", 1253, "\xC3\xE9\xDC\xED\xED\xE7\xF2"},
      {"77777", "Zoë", "zoë@example.org", 1252, "Zo\xEB"},
  };
  TempFolder work;
  std::vector<Findings> read;
  for (const Case& c : cases) {
    const std::filesystem::path root = work / c.codePage;
    WriteInstallation(root, c.codePage, c.owner, c.address);
    const auto open = [&](const auto& given) {
      return OpenSources({root}, std::nullopt, [](const auto&, const auto&) { return std::nullopt; }, std::nullopt,
                         given);
    };
    read.push_back(ReadInstallation(open, std::nullopt, root.string(), 1));
  }
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const Case& c = cases[i];
    const Findings& found = read[i];
    EXPECT_EQ(found.codePage.Number(), c.read) << c.codePage;
    ASSERT_EQ(found.profiles.size(), 1u) << c.codePage;
    EXPECT_EQ(found.profiles[0].email, FromUtf8(c.address)) << c.codePage << ": read before the code page was known";
    const std::string text = TextOutput(found);  // the report, then NT's section
    for (const char* label : {"Registered Owner: ", "Registered owner: "}) {
      EXPECT_NE(text.find(label + std::string(c.owner)), std::string::npos) << c.codePage << " " << label;
    }
    std::string warnings;
    for (const std::string& warning : found.warnings) warnings += warning + "\n";
    EXPECT_EQ(warnings.find("code page 77777 is not a Windows ANSI code page; Windows-1252 stands for it") !=
                  std::string::npos,
              c.read == 1252)
        << c.codePage;

    const std::filesystem::path folder = work / (std::string("saved-") + c.codePage);
    std::filesystem::create_directory(folder);
    PosixFiles files(folder);
    testing::ScriptedDialogs dialogs;
    ASSERT_TRUE(SaveReport(found.info, found.codePage, files, dialogs)) << c.codePage;
    EXPECT_NE(testing::ReadBytes(folder / "Taloveric.log").find(std::string("Registered Owner: ") + c.ownerBytes + "\r\n"),
              std::string::npos)
        << c.codePage;
  }
}

}  // namespace
}  // namespace taloveric
