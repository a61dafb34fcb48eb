#pragma once
// The report window's logic: it owns the installation record, fills it when the
// window loads and answers the two buttons. It reaches the window only through
// PadControls; the platform's windows and consoles draw it and end the program
// after either button.

#include "collect/InstallInfo.h"
#include "collect/PadControls.h"
#include "collect/ReadReg.h"
#include "platform/Dialogs.h"
#include "platform/Files.h"
#include "platform/Registry.h"

namespace taloveric {

// What became of the report when a button ended the window.
enum class SaveOutcome { NotAsked, Saved, NotSaved };

class Pad {
 public:
  // `family`: which Windows the registry belongs to, which says where its
  // values are kept.
  Pad(Registry& registry, Dialogs& dialogs, Files& files, PadControls& controls, Family family = Family::Windows9x)
      : registry_(&registry), ansi_(registry.Ansi()), dialogs_(dialogs), files_(files), controls_(controls),
        family_(family) {}
  // A window that shows a record collected before it opened (the Linux
  // program reads a registry once, for every form of its report), read in
  // the code page `ansi`.
  Pad(const InstallInfo& collected, const CodePage& ansi, Dialogs& dialogs, Files& files, PadControls& controls)
      : ansi_(ansi), dialogs_(dialogs), files_(files), controls_(controls), info_(collected) {}

  // The window loads: the registry is read, or the record given shown.
  void Form_Load();
  // "Exit": asks whether to save first. The program ends afterwards.
  SaveOutcome Command1_Click();
  // "Save and Exit". The program ends afterwards.
  SaveOutcome Command2_Click();

  void ReadReg();
  const InstallInfo& Info() const { return info_; }
  const Collected& Found() const { return collected_; }

 private:
  Registry* registry_ = nullptr;  // null when the record was collected before
  CodePage ansi_;                 // what the record's text is saved in
  Dialogs& dialogs_;
  Files& files_;
  PadControls& controls_;
  Family family_ = Family::Windows9x;
  InstallInfo info_;
  Collected collected_;
};

}  // namespace taloveric
