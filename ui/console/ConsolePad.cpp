#include "ui/console/ConsolePad.h"

#include "platform/CodePage.h"
#include "platform/Unicode.h"
#include "report/ReportText.h"
#include "ui/console/ConsoleDialogs.h"

namespace taloveric {

std::u16string ShownReport(std::u16string_view text) {
  std::u16string shown;
  for (const std::u16string& line : ReportLines(text)) shown += (shown.empty() ? u"" : u"\n") + Visible(line);
  return shown;
}

std::u16string NtSection(const NtInstallation& nt) {
  std::u16string out = u"\n-- This is a Windows NT-family installation; its product key is kept encoded:\n";
  const auto line = [&](std::u16string_view label, const std::string& value) {
    if (!value.empty()) out += std::u16string(label) + Visible(FromAnsi(value)) + u"\n";
  };
  const NtProductKey& key = nt.productKey;
  line(u"Product key: ", key.key.empty() ? std::string("(none could be decoded)") : key.key);
  line(u"Decoded from: ", key.source);
  line(u"Product: ", nt.productName);
  line(u"Edition: ", nt.editionId);
  line(u"Version: ", nt.version.version + (nt.version.build.empty() ? "" : ", build " + nt.version.build));
  line(u"Service pack: ", nt.version.servicePack);
  line(u"Product ID: ", nt.productId);
  line(u"Registered owner: ", nt.registeredOwner);
  line(u"Registered organization: ", nt.registeredOrganization);
  line(u"Installed on: ", nt.installDate);
  return out;
}

void ConsolePad::Load() {
  pad_.Form_Load();
  PrintFrame(out_, u"Taloveric 3 rev2003", u"Data found in your system\n\n" + ShownReport(controls_.Text1()));
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
