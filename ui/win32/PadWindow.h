#pragma once
// The report window on Windows: the form drawn from its table, holding the
// report window's logic.

#include "platform/win32/Form.h"
#include "ui/Pad.h"

namespace taloveric {

class PadWindow : public PadControls {
 public:
  PadWindow(Registry& registry, Dialogs& dialogs, Files& files, Family family);

  // Loads the window, which reads the registry, then makes it visible.
  void Show();

  void SetText1(const std::u16string& text) override;
  void SetBufferCaption(const std::u16string& caption) override;
  std::u16string BufferCaption() const override;

 private:
  win32::Form form_;
  Pad pad_;
};

}  // namespace taloveric
