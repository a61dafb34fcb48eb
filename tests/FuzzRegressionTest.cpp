// Inputs that once crashed or hung a loader, found by the fuzzers, replayed on
// the path the program takes. Each must end, with a report or a clear error.

#include <gtest/gtest.h>

#include <filesystem>

#include "fuzz/FuzzInput.h"
#include "support/TempFolder.h"

namespace taloveric {
namespace {

const std::filesystem::path kRegressions = TALOVERIC_FUZZ_REGRESSIONS;

void ReplayAll(const std::string& kind, const char* name) {
  int replayed = 0;
  for (const auto& entry : std::filesystem::directory_iterator(kRegressions / kind)) {
    SCOPED_TRACE(entry.path().string());
    const std::string bytes = testing::ReadBytes(entry.path());
    fuzz::CollectFromFile(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size(), name);
    ++replayed;
  }
  EXPECT_GT(replayed, 0) << "no inputs in " << (kRegressions / kind);
}

TEST(FuzzRegressions, Win9xRegistryFiles) { ReplayAll("creg", "SYSTEM.DAT"); }
TEST(FuzzRegressions, NtHives) { ReplayAll("nt", "SOFTWARE"); }
TEST(FuzzRegressions, RegExports) { ReplayAll("reg", "export.reg"); }

}  // namespace
}  // namespace taloveric
