#pragma once
// The report window's controls as the console keeps them: the report box's text
// and the hidden label's caption.

#include <string>

#include "collect/PadControls.h"

namespace taloveric {

class ConsoleControls : public PadControls {
 public:
  void SetText1(const std::u16string& text) override { text1_ = text; }
  void SetBufferCaption(const std::u16string& caption) override { buffer_ = caption; }
  std::u16string BufferCaption() const override { return buffer_; }

  const std::u16string& Text1() const { return text1_; }

 private:
  std::u16string text1_;
  std::u16string buffer_ = u"_";
};

}  // namespace taloveric
