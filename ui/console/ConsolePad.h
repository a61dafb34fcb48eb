#pragma once
// The report window on a console: the report printed under the window's
// caption, and its two buttons asked for on a line.

#include <istream>
#include <ostream>

#include "collect/NtProductKey.h"
#include "ui/Pad.h"
#include "ui/console/ConsoleControls.h"

namespace taloveric {

class ConsolePad {
 public:
  // Shows `collected`, the record read before in the code page `ansi`;
  // `appendix`: a section shown under the report, empty for none.
  ConsolePad(const InstallInfo& collected, const CodePage& ansi, Dialogs& dialogs, Files& files, std::istream& in,
             std::ostream& out, std::u16string appendix = {})
      : pad_(collected, ansi, dialogs, files, controls_), in_(in), out_(out), appendix_(std::move(appendix)) {}

  // Loads the window, which shows the record, and waits for a button;
  // the end of input closes the window without saving.
  SaveOutcome Run();
  // Loads and shows the window, then presses "Save and Exit"; true once saved.
  bool SaveAndExit();
  const InstallInfo& Info() const { return pad_.Info(); }

 private:
  void Load();

  ConsoleControls controls_;
  Pad pad_;
  std::istream& in_;
  std::ostream& out_;
  std::u16string appendix_;
};

}  // namespace taloveric
