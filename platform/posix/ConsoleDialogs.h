#pragma once
// Message boxes on a console: the box is printed, and the answer is a line typed
// back. An empty line takes the default button; end of input closes the box.

#include <istream>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Dialogs.h"

namespace taloveric {

class ConsoleDialogs : public Dialogs {
 public:
  ConsoleDialogs(std::istream& in, std::ostream& out) : in_(in), out_(out) {}
  Answer Show(const MessageBoxRequest& box) override;

 private:
  std::istream& in_;
  std::ostream& out_;
};

// Prints a framed console "window" or "box": its title, then its text.
void PrintFrame(std::ostream& out, const std::u16string& title, const std::u16string& text);

// Breaks prose into lines of at most `width` characters at its blanks.
std::u16string WrapWords(const std::u16string& text, std::size_t width);

// Asks for one of `choices` (matched on their first letter or in full, without
// regard to case); an empty line picks `defaultChoice`. Returns the index of the
// choice, or -1 at the end of input.
int AskChoice(std::istream& in, std::ostream& out, const std::vector<std::u16string>& choices,
              int defaultChoice);

// Message boxes for a run without questions: each box is printed and answered
// with its first button (OK, or Yes), as if the user pressed Enter.
class UnattendedDialogs : public Dialogs {
 public:
  explicit UnattendedDialogs(std::ostream& out) : out_(out) {}
  Answer Show(const MessageBoxRequest& box) override;

 private:
  std::ostream& out_;
};

}  // namespace taloveric
