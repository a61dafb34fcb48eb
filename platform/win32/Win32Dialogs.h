#pragma once
// Message boxes through MessageBoxW, owned by the active window.

#include "platform/Dialogs.h"

namespace taloveric::win32 {

class Win32Dialogs : public Dialogs {
 public:
  Answer Show(const MessageBoxRequest& box) override;
};

}  // namespace taloveric::win32
