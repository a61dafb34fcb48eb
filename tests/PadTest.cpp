#include "ui/Pad.h"

#include <gtest/gtest.h>

#include "support/FailingFiles.h"
#include "support/RecordingRegistry.h"
#include "support/ScriptedDialogs.h"
#include "support/TempFolder.h"
#include "ui/console/ConsoleControls.h"

namespace taloveric {
namespace {

class PadTest : public ::testing::Test {
 protected:
  PadTest() : files(folder.path()), pad(registry, dialogs, files, controls) {}

  void Windows(const std::string& systemRoot) {
    registry.store.SetValue(kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion", "ProductKey",
                            StringValue("KEY"));
    if (!systemRoot.empty()) {
      registry.store.SetValue(kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion", "SystemRoot",
                              StringValue(systemRoot));
    }
  }
  bool Saved() const { return std::filesystem::exists(folder / "Taloveric.log"); }

  testing::TempFolder folder;
  testing::RecordingRegistry registry;
  testing::ScriptedDialogs dialogs;
  testing::FailingFiles files;
  ConsoleControls controls;
  Pad pad;
};

TEST_F(PadTest, LoadFillsTheReportBox) {
  Windows("C:\\WINDOWS");
  pad.Form_Load();
  EXPECT_EQ(controls.Text1(), pad.Info().ReportText);
  EXPECT_TRUE(controls.Text1().ends_with(u"Registration Code: KEY"));
}

TEST_F(PadTest, ExitAsksFirstAndNoWritesNothing) {
  Windows("C:\\WINDOWS");
  pad.Form_Load();
  dialogs.answers = {Answer::No};
  pad.Command1_Click();

  ASSERT_EQ(dialogs.shown.size(), 1u);
  const MessageBoxRequest& box = dialogs.shown[0];
  EXPECT_EQ(box.title, u"Would you like to save this information?");
  EXPECT_EQ(box.prompt, u"If you click Yes, it will be saved as Taloveric.log on the Taloveric's folder\r\n"
                        u"and a back-up will be placed on: " + files.Locate(u"C:\\Taloveric-WinCode.txt"));
  EXPECT_EQ(box.buttons, Buttons::YesNo);
  EXPECT_EQ(box.icon, Icon::None);
  EXPECT_EQ(box.defaultButton, 1);
  EXPECT_FALSE(Saved());
  EXPECT_TRUE(std::filesystem::is_empty(folder.path()));
}

TEST_F(PadTest, ExitAnsweredYesSaves) {
  Windows("C:\\WINDOWS");
  pad.Form_Load();
  dialogs.answers = {Answer::Yes};
  pad.Command1_Click();
  EXPECT_TRUE(Saved());
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[1].title, u"Taloveric");
}

TEST_F(PadTest, ExitAnsweredYesWithTheSaveCancelledEndsWithoutMore) {
  Windows("C:\\WINDOWS");
  pad.Form_Load();
  files.FailAt(testing::Step::Copy);
  dialogs.answers = {Answer::Yes, Answer::Cancel};
  pad.Command1_Click();
  ASSERT_EQ(dialogs.shown.size(), 2u);
  EXPECT_EQ(dialogs.shown[1].title, u"Error i01");
  EXPECT_TRUE(Saved()) << "the log written before the failure stays";
}

TEST_F(PadTest, SaveAndExitSavesWithoutAsking) {
  Windows("C:\\WINDOWS");
  pad.Form_Load();
  pad.Command2_Click();
  EXPECT_TRUE(Saved());
  ASSERT_EQ(dialogs.shown.size(), 1u);
  EXPECT_EQ(dialogs.shown[0].title, u"Taloveric");
}

TEST_F(PadTest, SavePromptNamesTheBackupFromTheSystemFolder) {
  // "SystemRoot" missing: three blanks before the name.
  Windows("");
  registry.store.DeleteValue(kHkeyLocalMachine, "Software\\Microsoft\\Windows\\CurrentVersion", "SystemRoot");
  pad.Form_Load();
  dialogs.answers = {Answer::No};
  pad.Command1_Click();
  EXPECT_TRUE(dialogs.shown[0].prompt.ends_with(u"and a back-up will be placed on: " +
                                                files.Locate(u"   Taloveric-WinCode.txt")));
  EXPECT_TRUE(files.Locate(u"   Taloveric-WinCode.txt").ends_with(u"/   Taloveric-WinCode.txt"));
}

TEST_F(PadTest, SavePromptWithoutTheWindowsKeyNamesTheBareFile) {
  pad.Form_Load();
  EXPECT_EQ(controls.Text1(), u"");
  dialogs.answers = {Answer::No};
  pad.Command1_Click();
  EXPECT_TRUE(dialogs.shown[0].prompt.ends_with(u"and a back-up will be placed on: " +
                                                files.Locate(u"Taloveric-WinCode.txt")));
}

}  // namespace
}  // namespace taloveric
