#pragma once
// The report window on a console: the report printed under the window's
// caption, and its two buttons asked for on a line.

#include <istream>
#include <ostream>

#include "ui/Pad.h"
#include "ui/console/ConsoleControls.h"

namespace taloveric {

// The report as a terminal shows it: a line for each of its lines, control
// characters made visible.
std::u16string ShownReport(std::u16string_view text);

class ConsolePad {
 public:
  ConsolePad(Registry& registry, Dialogs& dialogs, Files& files, std::istream& in, std::ostream& out)
      : pad_(registry, dialogs, files, controls_), in_(in), out_(out) {}

  // Loads the window, which reads the registry, shows it and waits for a button;
  // the end of input closes the window without saving.
  SaveOutcome Run();
  // Loads and shows the window, then presses "Save and Exit"; true once saved.
  bool SaveAndExit();

 private:
  void Load();

  ConsoleControls controls_;
  Pad pad_;
  std::istream& in_;
  std::ostream& out_;
};

}  // namespace taloveric
