#pragma once
// The two operations through which the report window's logic reaches the window:
// the report box's text, and the caption of the hidden label Buffer.

#include <string>

namespace taloveric {

class PadControls {
 public:
  virtual ~PadControls() = default;
  virtual void SetText1(const std::u16string& text) = 0;
  virtual void SetBufferCaption(const std::u16string& caption) = 0;
  virtual std::u16string BufferCaption() const = 0;
};

}  // namespace taloveric
