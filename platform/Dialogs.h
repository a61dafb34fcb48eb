#pragma once
// Modal message boxes.

#include <string>

namespace taloveric {

enum class Buttons { Ok, OkCancel, YesNo };
enum class Icon { None, Information };
enum class Answer { Ok, Cancel, Yes, No };

struct MessageBoxRequest {
  std::u16string prompt;
  std::u16string title;
  Buttons buttons = Buttons::Ok;
  Icon icon = Icon::None;
  int defaultButton = 1;  // 1 for the first button of the set
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;
  // Shows the box and waits for an answer. Closing the box answers Cancel for
  // OK/Cancel and OK for OK alone; a Yes/No box cannot be closed.
  virtual Answer Show(const MessageBoxRequest& box) = 0;
};

}  // namespace taloveric
