#include "ui/Pad.h"

#include "collect/ReadReg.h"
#include "report/SaveReport.h"

namespace taloveric {

void Pad::Form_Load() {
  if (registry_ != nullptr) {
    ReadReg();
    return;
  }
  // What the load would have left in the window: the account's name in the
  // hidden label, the report in the box.
  if (info_.AccountKeySuffix.starts_with(u"\\")) controls_.SetBufferCaption(info_.AccountKeySuffix.substr(1));
  controls_.SetText1(info_.ReportText);
}

void Pad::ReadReg() {
  if (registry_ != nullptr) taloveric::ReadReg(*registry_, controls_, info_, family_, &collected_);
}

namespace {
SaveOutcome Outcome(bool saved) { return saved ? SaveOutcome::Saved : SaveOutcome::NotSaved; }
}  // namespace

SaveOutcome Pad::Command1_Click() {
  const std::u16string backup = BackupPath(info_.SystemRootDir, files_);
  const Answer answer = dialogs_.Show(
      {u"If you click Yes, it will be saved as Taloveric.log on the Taloveric's folder\r\n"
       u"and a back-up will be placed on: " + backup,
       u"Would you like to save this information?", Buttons::YesNo, Icon::None});
  if (answer != Answer::Yes) return SaveOutcome::NotAsked;
  return Outcome(SaveReport(info_, ansi_, files_, dialogs_));
}

SaveOutcome Pad::Command2_Click() { return Outcome(SaveReport(info_, ansi_, files_, dialogs_)); }

}  // namespace taloveric
