#pragma once
// Message boxes on a console: the box is printed, and the answer is a line typed
// back. An empty line takes the default button; end of input closes the box.

#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Dialogs.h"
#include "report/Forms.h"

namespace taloveric {

class ConsoleDialogs : public Dialogs {
 public:
  ConsoleDialogs(std::istream& in, std::ostream& out) : in_(in), out_(out) {}
  Answer Show(const MessageBoxRequest& box) override;

 private:
  std::istream& in_;
  std::ostream& out_;
};

// Prints a framed console "window" or "box": its title, then its text. Its
// lines break at LF and CR LF; every other control character is made visible.
void PrintFrame(std::ostream& out, const std::u16string& title, const std::u16string& text);

// Breaks prose into lines of at most `width` characters at its blanks.
std::u16string WrapWords(const std::u16string& text, std::size_t width);

// A line typed back, read with a bound: a line longer than kLongestAnswer
// bytes is no answer, and what follows of it up to its end is passed over;
// one that runs on past kLongestInput bytes without ending (/dev/zero, a
// binary file) is the end of input, so that it costs no memory and no time.
inline constexpr std::size_t kLongestAnswer = 4096, kLongestInput = 1 << 20;
enum class Typed { Line, TooLong, End };
Typed ReadAnswer(std::istream& in, std::string& line);

// Asks for one of `choices`: its name or its first letter, without regard to
// case, and nothing else; an empty line picks `defaultChoice`. Anything else
// asks again, saying what is accepted. Returns the index of the choice, or -1
// at the end of input or after several answers in a row that are no button.
int AskChoice(std::istream& in, std::ostream& out, const std::vector<std::u16string>& choices,
              int defaultChoice);

// A numbered choice typed back: a whole number from 1 to `count` (blanks
// around it allowed), and nothing else.
std::optional<std::size_t> ChoiceNumber(const std::string& line, std::size_t count);

// One of `names` typed back by its number (1 for the first) or its name:
// as listed, else without regard to case where only one is so named.
std::optional<std::size_t> ChoiceOf(const std::string& line, const std::vector<std::string>& names);

// Asks `question` of `names`, listed by number: answered by a number or a
// name (as ChoiceOf takes them); anything else asks again, saying why and
// what is accepted. Nullopt at the end of input (which ends the prompt's
// line) or after several answers in a row that are none of them.
std::optional<std::size_t> AskOneOf(std::istream& in, std::ostream& out, const std::string& question,
                                    const std::vector<std::string>& names);

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
