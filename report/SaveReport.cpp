#include "report/SaveReport.h"

#include <exception>

#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "report/Maker.h"

namespace taloveric {
namespace {

// How far one attempt came: the log is replaced before its copy is made.
struct Attempt {
  std::u16string logPath;
  std::u16string backupPath;
  bool logSaved = false;
};

void SaveOnce(const InstallInfo& info, const CodePage& ansi, Files& files, Dialogs& dialogs, Attempt& attempt) {
  const auto hold = files.HoldForSave();
  const std::u16string logPath = attempt.logPath = files.Locate(files.ProgramFolder() + u"\\Taloveric.log");
  const std::u16string backupPath = attempt.backupPath = BackupPath(info.SystemRootDir, files);

  const std::u16string stars(68, u'*');
  const std::u16string fifteenStars(15, u'*');
  const auto file = files.CreateText(logPath);
  const auto write = [&](const std::u16string& line) { file->WriteLine(ansi.ToAnsi(line)); };
  write(stars);
  write(u"*" + std::u16string(66, u' ') + u"*");
  write(u"***      Thank you for your support - The Taloveric Team        ****");
  write(u"*                           v 3.00.2002                            *");
  write(fifteenStars + u" " + kMakerWebAddress + u" " + fifteenStars);
  write(u"");
  write(info.ReportText);
  write(u"");
  write(u"Remember to store >>>" + info.ProductKey + u"<<< this code in a safe place");
  write(u"");
  write(stars);
  write(u"");
  write(u"To print this report, Click File on the top bar, then Print");
  file->Close();
  attempt.logSaved = true;

  files.Copy(logPath, backupPath);

  dialogs.Show({u"Taloveric Recovered Information was saved on: " + logPath + u"\r\n" +
                    u"           An additional copy was placed on: " + backupPath + u"\r\n" +
                    u"                 Thank you for supporting this product and Good Luck!",
                u"Taloveric", Buttons::Ok, Icon::Information});
}

}  // namespace

std::u16string SystemDriveRoot(const std::u16string& systemRootDir) {
  return systemRootDir.substr(0, 3);
}

std::u16string BackupPath(const std::u16string& systemRootDir, Files& files) {
  return files.Locate(SystemDriveRoot(systemRootDir) + u"Taloveric-WinCode.txt");
}

bool SaveReport(const InstallInfo& info, const CodePage& ansi, Files& files, Dialogs& dialogs) {
  Attempt first;
  try {
    SaveOnce(info, ansi, files, dialogs, first);
    return true;
  } catch (const std::exception&) {
    const Answer answer = dialogs.Show({u"Error accessing disk drive\r\nCheck your drive and click Ok to retry",
                                        u"Error i01", Buttons::OkCancel, Icon::None});
    if (answer != Answer::Ok) return false;
  }
  // The single retry. A file the failed attempt had open was abandoned with it.
  Attempt retry;
  try {
    SaveOnce(info, ansi, files, dialogs, retry);
    return true;
  } catch (const std::exception& error) {
    // Which file holds the whole report: a log is only ever replaced whole,
    // so one that either attempt saved still holds it, while the copy, made
    // last, was not placed.
    // Both attempts name the same files; the retry may have failed before it did.
    const Attempt& named = retry.logPath.empty() ? first : retry;
    const std::u16string what = retry.logSaved || first.logSaved
                                    ? u"The report was saved on " + named.logPath +
                                          u", but its copy was not placed on " + named.backupPath + u"."
                                    : u"The report was not saved.";
    dialogs.Show({what + u"\r\n" + FromUtf8(error.what()), u"Error i01", Buttons::Ok, Icon::None});
    return false;
  }
}

}  // namespace taloveric
