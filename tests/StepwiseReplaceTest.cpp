#include "platform/StepwiseReplace.h"

#include <gtest/gtest.h>

#include <map>
#include <set>

#include "platform/Files.h"

namespace taloveric {
namespace {

// Stands for a process that dies between two steps.
struct Crash {};

// Files in memory; the renames and deletes, counted from 0, can fail or crash.
class FakeSteps : public RenameSteps {
 public:
  std::map<std::string, std::string> files;
  std::set<int> failing;
  int crashAt = -1;

  bool Exists(const std::string& path) override { return files.count(path) != 0; }
  void Move(const std::string& from, const std::string& to) override {
    Step();
    if (files.count(to) != 0) throw FileError("exists: " + to);
    files[to] = files.at(from);
    files.erase(from);
  }
  void Remove(const std::string& path) override {
    Step();
    files.erase(path);
  }

 private:
  void Step() {
    const int step = next_++;
    if (step == crashAt) throw Crash{};
    if (failing.count(step) != 0) throw FileError("step " + std::to_string(step));
  }
  int next_ = 0;
};

using NamedFiles = std::map<std::string, std::string>;
const std::string kAside = "log.~old";

struct StepFailureCase {
  const char* name;
  std::set<int> failing;  // 0: earlier aside, 1: new in, 2: aside deleted (or, after 1 failed, earlier back)
  bool raises;
  NamedFiles after;
};

class StepwiseFailureTest : public ::testing::TestWithParam<StepFailureCase> {};

TEST_P(StepwiseFailureTest, KeepsACompleteReportAndTheNextReplaceTidiesUp) {
  FakeSteps steps;
  steps.files = {{"log", "old"}, {"tmp", "new"}};
  steps.failing = GetParam().failing;
  if (GetParam().raises) {
    EXPECT_THROW(ReplaceStepwise(steps, "tmp", "log"), FileError);
  } else {
    ReplaceStepwise(steps, "tmp", "log");
  }
  EXPECT_EQ(steps.files, GetParam().after);

  steps.failing.clear();
  steps.files["tmp2"] = "newer";
  ReplaceStepwise(steps, "tmp2", "log");
  NamedFiles tidy{{"log", "newer"}};
  if (GetParam().raises) tidy["tmp"] = "new";  // the caller deletes its abandoned file
  EXPECT_EQ(steps.files, tidy);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StepwiseFailureTest,
    ::testing::Values(StepFailureCase{"NoFailure", {}, false, {{"log", "new"}}},
                      StepFailureCase{"EarlierCannotMoveAside", {0}, true, {{"log", "old"}, {"tmp", "new"}}},
                      StepFailureCase{"NewCannotMoveIn", {1}, true, {{"log", "old"}, {"tmp", "new"}}},
                      StepFailureCase{"NorEarlierBack", {1, 2}, true, {{kAside, "old"}, {"tmp", "new"}}},
                      StepFailureCase{"AsideCannotBeDeleted", {2}, false, {{"log", "new"}, {kAside, "old"}}}),
    [](const auto& param) { return std::string(param.param.name); });

TEST(StepwiseReplaceTest, ACrashAtAnyStepLeavesACompleteReportThatTheNextReplaceKeeps) {
  for (const bool earlier : {true, false}) {
    for (int crashAt = 0; crashAt < 3; ++crashAt) {
      SCOPED_TRACE(::testing::Message() << "earlier " << earlier << ", crash at step " << crashAt);
      FakeSteps steps;
      steps.files = {{"tmp", "new"}};
      if (earlier) steps.files["log"] = "old";
      steps.crashAt = crashAt;
      try {
        ReplaceStepwise(steps, "tmp", "log");
      } catch (const Crash&) {
      }
      if (earlier) {
        EXPECT_TRUE(steps.files.count("log") != 0 || steps.files[kAside] == "old");
      }

      steps.crashAt = -1;
      RecoverAside(steps, "log");
      EXPECT_EQ(steps.files.count(kAside), 0u);
      if (earlier) {
        EXPECT_TRUE(steps.files["log"] == "old" || steps.files["log"] == "new");
      }
    }
  }
}

}  // namespace
}  // namespace taloveric
