#include "report/SaveReport.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "platform/Unicode.h"

#include "support/FailingFiles.h"
#include "support/ScriptedDialogs.h"
#include "support/TempFolder.h"

namespace taloveric {
namespace {

using testing::ReadBytes;
using testing::Step;
using testing::WriteBytes;

// The report file as a user finds it, written out in full.
std::string ExpectedLog(const std::string& report, const std::string& key) {
  return "********************************************************************\r\n"
         "*                                                                  *\r\n"
         "***      Thank you for your support - The Taloveric Team        ****\r\n"
         "*                           v 3.00.2002                            *\r\n"
         "*************** http://www.taloveric.example/support ***************\r\n"
         "\r\n" +
         report + "\r\n"
         "\r\n"
         "Remember to store >>>" + key + "<<< this code in a safe place\r\n"
         "\r\n"
         "********************************************************************\r\n"
         "\r\n"
         "To print this report, Click File on the top bar, then Print\r\n";
}

class SaveReportTest : public ::testing::Test {
 protected:
  SaveReportTest() : files(folder.path()) {
    info.ReportText = u"Def. e-mail for this user: a@b\r\nRegistration Code: K\u00E9Y";
    info.ProductKey = u"K\u00E9Y";
    info.SystemRootDir = u"C:\\WINDOWS";
  }
  std::string Log() const { return ReadBytes(folder / "Taloveric.log"); }
  std::string Backup() const { return ReadBytes(folder / "Taloveric-WinCode.txt"); }
  std::size_t FileCount() const {
    return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(folder.path()), {}));
  }
  std::string Where(const std::string& name) const { return (folder / name).string(); }

  const std::string kNewLog =
      ExpectedLog("Def. e-mail for this user: a@b\r\nRegistration Code: K\xE9Y", "K\xE9Y");
  testing::TempFolder folder;
  testing::FailingFiles files;
  testing::ScriptedDialogs dialogs;
  InstallInfo info;
};

TEST_F(SaveReportTest, WritesTheLogAndItsBackupAndConfirmsBoth) {
  SaveReport(info, CodePage(), files, dialogs);

  EXPECT_EQ(Log(), kNewLog);
  EXPECT_EQ(Backup(), kNewLog);
  EXPECT_EQ(FileCount(), 2u);
  ASSERT_EQ(dialogs.shown.size(), 1u);
  const MessageBoxRequest& box = dialogs.shown[0];
  EXPECT_EQ(box.title, u"Taloveric");
  EXPECT_EQ(box.buttons, Buttons::Ok);
  EXPECT_EQ(box.icon, Icon::Information);
  EXPECT_EQ(box.prompt, u"Taloveric Recovered Information was saved on: " + files.Locate(u"x\\Taloveric.log") +
                            u"\r\n           An additional copy was placed on: " +
                            files.Locate(u"C:\\Taloveric-WinCode.txt") +
                            u"\r\n                 Thank you for supporting this product and Good Luck!");
}

TEST_F(SaveReportTest, EmptyReportAndKeyGiveThirteenLines) {
  info = {};
  SaveReport(info, CodePage(), files, dialogs);
  const std::string log = Log();
  EXPECT_EQ(log, ExpectedLog("", ""));
  EXPECT_EQ(std::count(log.begin(), log.end(), '\n'), 13);
  EXPECT_NE(log.find("Remember to store >>><<< this code in a safe place\r\n"), std::string::npos);
  // No system folder: the backup's name stands alone.
  EXPECT_EQ(Backup(), log);
}

TEST_F(SaveReportTest, ALaterSaveReplacesBothFiles) {
  WriteBytes(folder / "Taloveric.log", std::string(5000, 'o'));
  WriteBytes(folder / "Taloveric-WinCode.txt", std::string(5000, 'o'));
  SaveReport(info, CodePage(), files, dialogs);
  EXPECT_EQ(Log(), kNewLog);
  EXPECT_EQ(Backup(), kNewLog);
}

TEST_F(SaveReportTest, BackupGoesToTheFirstThreeCharactersOfTheSystemFolder) {
  struct Case {
    std::u16string systemRoot, backupName;
  };
  for (const Case& c : {Case{u"C:\\WINDOWS", u"C:\\Taloveric-WinCode.txt"},
                        Case{std::u16string(256, u' '), u"   Taloveric-WinCode.txt"},
                        Case{u"", u"Taloveric-WinCode.txt"}, Case{u"D:", u"D:Taloveric-WinCode.txt"}}) {
    EXPECT_EQ(SystemDriveRoot(c.systemRoot) + u"Taloveric-WinCode.txt", c.backupName);
  }
  info.SystemRootDir = std::u16string(256, u' ');
  SaveReport(info, CodePage(), files, dialogs);
  EXPECT_EQ(ReadBytes(folder / "   Taloveric-WinCode.txt"), Log());
}

struct FailureCase {
  const char* name;
  Step step;
  int nth;
};

class SaveFailureTest : public SaveReportTest, public ::testing::WithParamInterface<FailureCase> {
 protected:
  void SeedEarlierSave() {
    WriteBytes(folder / "Taloveric.log", "earlier log");
    WriteBytes(folder / "Taloveric-WinCode.txt", "earlier backup");
  }
};

TEST_P(SaveFailureTest, CancelStopsAndKeepsWhatWasOnDisk) {
  SeedEarlierSave();
  files.FailAt(GetParam().step, GetParam().nth);
  dialogs.answers = {Answer::Cancel};
  SaveReport(info, CodePage(), files, dialogs);

  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].title, u"Error i01");
  EXPECT_EQ(dialogs.shown[0].prompt, u"Error accessing disk drive\r\nCheck your drive and click Ok to retry");
  EXPECT_EQ(dialogs.shown[0].buttons, Buttons::OkCancel);
  EXPECT_EQ(dialogs.shown[0].icon, Icon::None);
  EXPECT_EQ(dialogs.shown[0].defaultButton, 1);
  // Never a half-written file: the earlier one, or the complete new one when
  // only the copy failed.
  EXPECT_EQ(Log(), GetParam().step == Step::Copy ? kNewLog : "earlier log");
  EXPECT_EQ(Backup(), "earlier backup");
  EXPECT_EQ(FileCount(), 2u) << "a temporary file was left behind";
}

TEST_P(SaveFailureTest, OkRetriesTheWholeSaveOnce) {
  SeedEarlierSave();
  files.FailAt(GetParam().step, GetParam().nth);
  dialogs.answers = {Answer::Ok};
  SaveReport(info, CodePage(), files, dialogs);

  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[0].title, u"Error i01");
  EXPECT_EQ(dialogs.shown[1].title, u"Taloveric");
  EXPECT_EQ(Log(), kNewLog);
  EXPECT_EQ(Backup(), kNewLog);
  EXPECT_EQ(FileCount(), 2u);
}

TEST_P(SaveFailureTest, ARetryThatFailsTooSaysWhichFileWasNotSaved) {
  SeedEarlierSave();
  files.FailAt(GetParam().step, GetParam().nth, 2);
  dialogs.answers = {Answer::Ok};
  SaveReport(info, CodePage(), files, dialogs);

  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[1].title, u"Error i01");
  EXPECT_EQ(dialogs.shown[1].buttons, Buttons::Ok);
  const std::u16string said = GetParam().step == Step::Copy
                                  ? u"The report was saved on " + FromUtf8(Where("Taloveric.log")) +
                                        u", but its copy was not placed on " + FromUtf8(Where("Taloveric-WinCode.txt")) + u"."
                                  : u"The report was not saved.";
  EXPECT_TRUE(dialogs.shown[1].prompt.starts_with(said + u"\r\n")) << ToUtf8(dialogs.shown[1].prompt);
  EXPECT_EQ(Backup(), "earlier backup");
  EXPECT_EQ(FileCount(), 2u);
}

// The first attempt saves the log and fails on its copy; the retry cannot
// even write the log. The first attempt's log still holds the whole report,
// and the last word says so.
TEST_F(SaveReportTest, TheLastWordNamesTheLogAnEarlierAttemptSaved) {
  files.FailAt(Step::Copy);
  files.ThenFailAt(Step::Create);
  dialogs.answers = {Answer::Ok};
  EXPECT_FALSE(SaveReport(info, CodePage(), files, dialogs));
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_TRUE(dialogs.shown[1].prompt.starts_with(u"The report was saved on " + FromUtf8(Where("Taloveric.log")) +
                                                  u", but its copy was not placed on " +
                                                  FromUtf8(Where("Taloveric-WinCode.txt")) + u".\r\n"))
      << ToUtf8(dialogs.shown[1].prompt);
  EXPECT_EQ(Log(), kNewLog);
}

INSTANTIATE_TEST_SUITE_P(EachStep, SaveFailureTest,
                         ::testing::Values(FailureCase{"ProgramFolder", Step::ProgramFolder, 1},
                                           FailureCase{"Create", Step::Create, 1},
                                           FailureCase{"FirstLine", Step::WriteLine, 1},
                                           FailureCase{"ReportLines", Step::WriteLine, 7},
                                           FailureCase{"LastLine", Step::WriteLine, 13},
                                           FailureCase{"Close", Step::Close, 1},
                                           FailureCase{"Copy", Step::Copy, 1}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(SaveReportTest, ARealFileSystemFailureIsRetriedOnceAndReported) {
  // A folder where the backup should go: the copy cannot replace it, twice.
  std::filesystem::create_directory(folder / "Taloveric-WinCode.txt");
  dialogs.answers = {Answer::Ok};
  SaveReport(info, CodePage(), files, dialogs);
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[0].title, u"Error i01");
  EXPECT_EQ(dialogs.shown[1].title, u"Error i01");
  EXPECT_NE(dialogs.shown[1].prompt.find(u"Taloveric-WinCode.txt"), std::u16string::npos)
      << "the reason names the file";
  EXPECT_EQ(Log(), kNewLog);
  EXPECT_TRUE(std::filesystem::is_directory(folder / "Taloveric-WinCode.txt"));
  EXPECT_EQ(FileCount(), 2u);
}

// A file the user protected, or a folder, standing where a save writes. It
// cannot be opened for output on Windows, so it is not replaced here either:
// the save fails as for a read-only folder, leaves the protected thing as it
// was and nothing beside it, and succeeds once the cause is gone.
struct ProtectedCase {
  const char* name;
  const char* file;
  bool folder;  // a folder at the name, else a read-only file
};

class ProtectedFileTest : public SaveReportTest, public ::testing::WithParamInterface<ProtectedCase> {};

TEST_P(ProtectedFileTest, IsNotReplacedAndALaterSaveSucceeds) {
  const auto target = folder / GetParam().file;
  if (GetParam().folder) {
    std::filesystem::create_directory(target);
  } else {
    WriteBytes(target, "kept");
    std::filesystem::permissions(target, std::filesystem::perms::owner_read);
  }
  const bool isLog = std::string(GetParam().file) == "Taloveric.log";
  dialogs.answers = {Answer::Cancel};
  EXPECT_FALSE(SaveReport(info, CodePage(), files, dialogs));
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].title, u"Error i01");
  if (GetParam().folder) {
    EXPECT_TRUE(std::filesystem::is_directory(target));
  } else {
    EXPECT_EQ(ReadBytes(target), "kept");
  }
  EXPECT_EQ(FileCount(), isLog ? 1u : 2u) << "only the protected thing and a log written before it";
  if (!isLog) {
    EXPECT_EQ(Log(), kNewLog);
  }

  std::filesystem::permissions(target, std::filesystem::perms::owner_all);
  std::filesystem::remove(target);
  dialogs.shown.clear();
  EXPECT_TRUE(SaveReport(info, CodePage(), files, dialogs));
  EXPECT_EQ(Log(), kNewLog);
  EXPECT_EQ(Backup(), kNewLog);
  EXPECT_EQ(FileCount(), 2u);
}

INSTANTIATE_TEST_SUITE_P(EachName, ProtectedFileTest,
                         ::testing::Values(ProtectedCase{"ReadOnlyLog", "Taloveric.log", false},
                                           ProtectedCase{"FolderAtLog", "Taloveric.log", true},
                                           ProtectedCase{"ReadOnlyCopy", "Taloveric-WinCode.txt", false},
                                           ProtectedCase{"FolderAtCopy", "Taloveric-WinCode.txt", true}),
                         [](const auto& param) { return std::string(param.param.name); });

TEST_F(SaveReportTest, LeftoversOfCutShortSavesAreRemovedAndOthersKept) {
  // No process has the highest pid; this one is alive. The earlier report that
  // a replace on Windows 9x set aside is removed once the new one is in place.
  const std::string dead = "Taloveric.log.~4194304999-0", alive = "Taloveric.log.~" + std::to_string(::getpid()) + "-9";
  WriteBytes(folder / dead, "half");
  WriteBytes(folder / alive, "being written");
  WriteBytes(folder / "Taloveric.log.~old", "set aside");
  WriteBytes(folder / "Taloveric.log.~x-1", "not a save's");
  SaveReport(info, CodePage(), files, dialogs);
  EXPECT_FALSE(std::filesystem::exists(folder / dead));
  EXPECT_FALSE(std::filesystem::exists(folder / "Taloveric.log.~old"));
  EXPECT_TRUE(std::filesystem::exists(folder / alive));
  EXPECT_TRUE(std::filesystem::exists(folder / "Taloveric.log.~x-1"));
  EXPECT_EQ(Log(), kNewLog);
}

TEST(SaveReportPaths, AFolderNameIsKeptByteForByte) {
  testing::TempFolder parent;
  const std::filesystem::path folder = parent / "caf\xE9";  // Latin-1, not UTF-8
  std::filesystem::create_directory(folder);
  PosixFiles files(folder);
  testing::ScriptedDialogs dialogs;
  InstallInfo info;
  info.SystemRootDir = u"C:\\WINDOWS";
  EXPECT_TRUE(SaveReport(info, CodePage(), files, dialogs));
  EXPECT_TRUE(std::filesystem::exists(folder / "Taloveric.log"));
  EXPECT_TRUE(std::filesystem::exists(folder / "Taloveric-WinCode.txt"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(parent.path()), {}), 1);
}

TEST_F(SaveReportTest, ASaveHoldsTheFolderSoThatASecondWaitsForIt) {
  files.FailAt(Step::None);
  SaveReport(info, CodePage(), files, dialogs);
  EXPECT_EQ(files.unheldSteps, 0) << "a file was written outside the hold";

  auto first = files.HoldForSave();
  std::atomic<bool> second{false};
  std::thread waiting([&] {
    PosixFiles other(folder.path());
    const auto hold = other.HoldForSave();
    second = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_FALSE(second) << "two saves held the folder at once";
  first.reset();
  waiting.join();
  EXPECT_TRUE(second);
}

}  // namespace
}  // namespace taloveric
