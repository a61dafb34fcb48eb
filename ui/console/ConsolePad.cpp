#include "ui/console/ConsolePad.h"

#include "report/ReportText.h"
#include "ui/console/ConsoleDialogs.h"

namespace taloveric {

std::u16string ShownReport(std::u16string_view text) {
  std::u16string shown;
  for (const std::u16string& line : ReportLines(text)) shown += (shown.empty() ? u"" : u"\n") + Visible(line);
  return shown;
}

void ConsolePad::Load() {
  pad_.Form_Load();
  PrintFrame(out_, u"Taloveric 3 rev2003", u"Data found in your system\n\n" + ShownReport(controls_.Text1()));
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
