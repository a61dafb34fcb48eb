// Inputs that once crashed or hung a loader, found by the fuzzers or made to
// reach a check, replayed on the path the program takes. Each must end with
// the outcome it was stored for: the error that names its damage, or a
// report. An input that no longer reaches its check fails here.

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "fuzz/FuzzInput.h"
#include "support/TempFolder.h"

namespace taloveric {
namespace {

const std::filesystem::path kRegressions = TALOVERIC_FUZZ_REGRESSIONS;

struct Stored {
  const char* file;      // under tests/fuzz/regressions
  const char* openedAs;  // the name the program is given
  const char* outcome;   // what it must say: part of its error, or "report: ..."
};

const Stored kStored[] = {
    {"creg/sibling-cycle", "SYSTEM.DAT", "a key link points outside the key block"},
    {"creg/keys-loop-inside-the-key-block", "SYSTEM.DAT", "(the keys link back to themselves)"},
    {"nt/root-outside-the-hive", "SOFTWARE", "not a readable Windows NT registry hive (its structure is damaged)"},
    {"nt/value-type-out-of-range", "SOFTWARE", "report: Def. e-mail for this user: "},
    {"reg/continuation-at-end", "export.reg", "export.reg:3: hex data must be two-digit bytes separated by commas"},
};

TEST(FuzzRegressions, EachEndsWithTheOutcomeItWasStoredFor) {
  for (const Stored& stored : kStored) {
    SCOPED_TRACE(stored.file);
    const std::string bytes = testing::ReadBytes(kRegressions / stored.file);
    const std::string outcome =
        fuzz::CollectFromFile(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), stored.openedAs);
    EXPECT_NE(outcome.find(stored.outcome), std::string::npos) << outcome;
  }
}

TEST(FuzzRegressions, EveryStoredInputIsInTheTable) {
  std::set<std::string> listed, found;
  for (const Stored& stored : kStored) listed.insert(stored.file);
  for (const auto& entry : std::filesystem::recursive_directory_iterator(kRegressions)) {
    if (entry.is_regular_file()) found.insert(entry.path().lexically_relative(kRegressions).string());
  }
  EXPECT_EQ(found, listed);
}

}  // namespace
}  // namespace taloveric
