// A hive Windows had not finished writing, read as Windows reads it after
// recovering it from its transaction logs, and logs that lie.

#include <gtest/gtest.h>

#include <functional>

#include "collect/ReadReg.h"
#include "platform/offline/HiveRecovery.h"
#include "platform/Unicode.h"
#include "rescue/Sources.h"
#include "support/Fixtures.h"
#include "support/HiveLogs.h"
#include "support/Reading.h"
#include "ui/console/ConsoleControls.h"

namespace taloveric {
namespace {

using testing::DirtyHive;
using testing::TempFolder;

// Published test vectors of the 64-bit Marvin32 hash.
TEST(Marvin32, GivesThePublishedHashes) {
  constexpr std::uint64_t kSeed = 0x004FB61A001BDBCC;
  const std::pair<std::string, std::uint64_t> vectors[] = {
      {"", 0x30ED35C100CD3C7D},
      {"\xAF", 0x48E73FC77D75DDC1},
      {"\xE7\x0F", 0xB5F6E1FC485DBFF8},
      {"\x37\xF4\x95", 0xF0B07C789B8CF7E8},
      {"\x86\x42\xDC\x59", 0x7008F2E87E9CF556},
      {"\x15\x3F\xB7\x98\x26", 0xE6C08C6DA2AFA997},
      {"\xAB\x42\x7E\xA8\xD1\x0F\xC7", 0xE11847E4F0678C41},
  };
  for (const auto& [bytes, hash] : vectors) EXPECT_EQ(Marvin32(bytes, kSeed), hash) << bytes.size() << " bytes";
}

using testing::XpSoftwareHive;

// The states of one hive: as written into the file, then two writes kept in
// the logs, the first entry in LOG2 and the second in LOG1.
DirtyHive TwoEntries() { return testing::NewFormatLogs({XpSoftwareHive("Written"), XpSoftwareHive("Middle"), XpSoftwareHive("Newest")}, {1, 0}); }

// Where a log's entry starts: the first at 512, each after the one before.
std::size_t EntryAt(const std::string& log, int index) {
  std::size_t at = 512;
  for (int i = 0; i < index; ++i) at += Le32(log, at + 4);
  return at;
}

void Rehash(std::string& log, std::size_t at) {
  const std::string_view entry = std::string_view(log).substr(at, Le32(log, at + 4));
  PutLe64(log.data() + at + 24, Marvin32(entry.substr(40), kHiveLogSeed));
  PutLe64(log.data() + at + 32, Marvin32(entry.substr(0, 32), kHiveLogSeed));
}

struct LogCase {
  const char* name;
  std::function<DirtyHive()> make;
  const char* owner;    // as the report gives it
  const char* warning;  // a warning holds this; nullptr: there is none
  bool applied;         // a note says the logs were applied
};

// TwoEntries with LOG2's entry saying `value` at byte `at` of its header,
// and its hashes made to hold again where `rehashed`.
DirtyHive SecondLogEntrySays(std::size_t at, std::uint32_t value, bool rehashed) {
  DirtyHive dirty = TwoEntries();
  PutLe32(dirty.logs[1].data() + 512 + at, value);
  if (rehashed) Rehash(dirty.logs[1], 512);
  return dirty;
}

void PrintTo(const LogCase& c, std::ostream* out) { *out << c.name; }

const LogCase kLogCases[] = {
    {"EntriesInBothLogsInTheOrderOfTheirNumbers", TwoEntries, "Newest", nullptr, true},
    {"AnOldLogWrittenWithTheHive", [] { return testing::OldFormatLog(XpSoftwareHive("Written"), XpSoftwareHive("Newest")); }, "Newest",
     nullptr, true},
    {"AnOldLogOfAnotherWrite",
     [] {
       DirtyHive dirty = testing::OldFormatLog(XpSoftwareHive("Written"), XpSoftwareHive("Newest"));
       dirty.logs[0][12] = 'x';  // its time of writing is not the hive's
       testing::Resign(dirty.logs[0]);
       return dirty;
     },
     "Written", "its logs hold none of the changes it lacks", false},
    {"TheSecondEntryNotWrittenWhole",
     [] {
       DirtyHive dirty = TwoEntries();
       dirty.logs[0][EntryAt(dirty.logs[0], 0) + 100] ^= 1;
       return dirty;
     },
     "Middle", "LOG1: an entry's hashes do not hold", true},
    {"AGapInTheSequence",
     [] {
       DirtyHive dirty = testing::NewFormatLogs({XpSoftwareHive("Written"), XpSoftwareHive("Middle"), XpSoftwareHive("Later"), XpSoftwareHive("Newest")},
                                                {0, 0, 0});
       const std::size_t second = EntryAt(dirty.logs[0], 1);
       PutLe32(dirty.logs[0].data() + second + 12, 20);  // 8 is missing
       Rehash(dirty.logs[0], second);
       return dirty;
     },
     "Middle", "entries skip from sequence number 8 to 9", true},
    {"AnEntryGivingASizeTheLogDoesNotHold",
     [] { return SecondLogEntrySays(4, 0x7FFFFE00, false); },
     "Written", "LOG2: an entry gives a size of 2147483136 bytes", false},
    {"AnEntryGrowingTheHivePastTheLimit",
     [] { return SecondLogEntrySays(16, 0x40000000, true); },
     "Written", "grows the hive past 256 MiB", false},
    {"AnEntryWhosePagesLieOutsideTheHive",
     [] { return SecondLogEntrySays(40, 0x7FFFF000, true); },
     "Written", "pages lie outside the hive", false},
    // A log torn as it was written is passed over; the other is applied.
    {"ALogWindowsHadNotFinishedWriting",
     [] {
       DirtyHive dirty = testing::NewFormatLogs({XpSoftwareHive("Written"), XpSoftwareHive("Middle"), XpSoftwareHive("Newest")}, {0, 0});
       dirty.logs[1] = XpSoftwareHive("Stale").substr(0, 512);
       PutLe32(dirty.logs[1].data() + 4, 99);
       PutLe32(dirty.logs[1].data() + 28, 6);
       testing::Resign(dirty.logs[1]);
       return dirty;
     },
     "Newest", "LOG2: Windows had not finished writing this log either", true},
    // Its own header damaged: the header and the latest entries come from one log.
    {"AHeaderOnlyTheLogsCanMend",
     [] {
       DirtyHive dirty = testing::NewFormatLogs({XpSoftwareHive("Written"), XpSoftwareHive("Middle"), XpSoftwareHive("Newest")}, {0, 0});
       dirty.primary[48] ^= 1;  // the checksum no longer holds
       return dirty;
     },
     "Newest", nullptr, true},
};

class LogTest : public ::testing::TestWithParam<LogCase> {};

TEST_P(LogTest, GivesWhatWindowsWouldReport) {
  const LogCase& c = GetParam();
  TempFolder disk;
  const std::filesystem::path config = disk / "Windows/System32/config";
  std::filesystem::create_directories(config);
  const DirtyHive dirty = c.make();
  testing::WriteBytes(config / "SOFTWARE", dirty.primary);
  const char* names[] = {"SOFTWARE.LOG1", "SOFTWARE.LOG2"};
  if (dirty.logs.size() == 1) names[0] = "SOFTWARE.LOG";
  for (std::size_t i = 0; i < dirty.logs.size(); ++i) testing::WriteBytes(config / names[i], dirty.logs[i]);
  OpenedSources opened = testing::Open({disk.path()});
  ConsoleControls controls;
  InstallInfo info;
  ReadReg(*opened.registry, controls, info);
  EXPECT_EQ(info.RegisteredOwner, FromUtf8(c.owner));
  const std::string warnings = testing::Lines(opened.AllWarnings());
  if (c.warning == nullptr) {
    EXPECT_EQ(warnings, "");
  } else {
    EXPECT_NE(warnings.find(c.warning), std::string::npos) << warnings;
  }
  const std::string notes = testing::Lines(opened.notes);
  EXPECT_EQ(notes.find("were applied, as Windows applies them") != std::string::npos, c.applied) << notes;
}

INSTANTIATE_TEST_SUITE_P(Logs, LogTest, ::testing::ValuesIn(kLogCases),
                         [](const auto& each) { return std::string(each.param.name); });

// A hive Windows left whole: its logs are not read, whatever they hold.
TEST(Logs, OfACleanHiveAreNotRead) {
  TempFolder disk;
  const std::filesystem::path config = disk / "Windows/System32/config";
  std::filesystem::create_directories(config);
  testing::WriteBytes(config / "SOFTWARE", XpSoftwareHive("Written"));
  testing::WriteBytes(config / "SOFTWARE.LOG1", "not a log at all");
  std::filesystem::create_directories(config / "SOFTWARE.LOG2");  // nor a file
  const OpenedSources opened = testing::Open({disk.path()});
  EXPECT_TRUE(opened.AllWarnings().empty()) << opened.AllWarnings()[0];
}

// Windows NT 3.1's hives are of a format of their own, named as such.
TEST(Logs, AnNt31HiveIsNamedByItsVersion) {
  TempFolder folder;
  std::string hive = XpSoftwareHive("Old");
  PutLe32(hive.data() + 24, 1);
  testing::Resign(hive);
  testing::WriteBytes(folder / "SOFTWARE", hive);
  try {
    testing::Open({folder / "SOFTWARE"});
    ADD_FAILURE() << "opened";
  } catch (const SourceError& error) {
    EXPECT_NE(std::string(error.what()).find("Windows NT 3.1 or 3.5 (format version 1.1)"), std::string::npos)
        << error.what();
  }
}

}  // namespace
}  // namespace taloveric
