#include "ui/console/ConsolePad.h"

#include "platform/Unicode.h"
#include "report/Forms.h"
#include "report/ReportText.h"
#include "ui/console/ConsoleDialogs.h"

namespace taloveric {

void ConsolePad::Load() {
  pad_.Form_Load();
  // Each line without its trailing blanks: a missing value's 256 would fill
  // screens. The saved files keep them.
  std::u16string shown;
  for (std::u16string line : ReportLines(controls_.Text1())) {
    line.erase(line.find_last_not_of(u' ') + 1);
    shown += (shown.empty() ? u"" : u"\n") + Visible(line);
  }
  PrintFrame(out_, u"Taloveric 3 rev2003", u"Data found in your system\n\n" + shown);
  out_ << ToUtf8(appendix_);
}

bool ConsolePad::SaveAndExit() {
  Load();
  out_ << "[Save and Exit]\n";
  return pad_.Command2_Click() == SaveOutcome::Saved;
}

SaveOutcome ConsolePad::Run() {
  Load();
  switch (AskChoice(in_, out_, {u"Save and Exit", u"Exit"}, -1)) {
    case 0: return pad_.Command2_Click();
    case 1: return pad_.Command1_Click();
    default: return SaveOutcome::NotAsked;  // closed
  }
}

}  // namespace taloveric
