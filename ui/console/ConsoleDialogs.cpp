#include "ui/console/ConsoleDialogs.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/Unicode.h"

namespace taloveric {
namespace {

// How many answers in a row that are no button end the asking, as the end of
// input does: whatever is typed then is not a person answering.
constexpr int kMaxWrongAnswers = 5;

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

Typed ReadAnswer(std::istream& in, std::string& line) {
  line.clear();
  bool any = false, tooLong = false;
  std::size_t passedOver = 0;
  for (auto c = in.get(); c != std::istream::traits_type::eof(); c = in.get()) {
    any = true;
    if (c == '\n') return tooLong ? Typed::TooLong : Typed::Line;
    if (tooLong) {
      // No person types a megabyte without a line's end: the input is no answer at all.
      if (++passedOver > kLongestInput) return Typed::End;
      continue;
    }
    if (line.size() == kLongestAnswer) {
      tooLong = true;
      line.clear();
      continue;
    }
    line += static_cast<char>(c);
  }
  if (!any) return Typed::End;
  return tooLong ? Typed::TooLong : Typed::Line;  // a last line without its end
}

void PrintFrame(std::ostream& out, const std::u16string& title, const std::u16string& text) {
  // Lines break at LF and at CR LF; any other control character is shown.
  std::u16string shown;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = std::min(text.find(u'\n', start), text.size());
    const std::size_t next = end + 1;
    if (end > start && text[end - 1] == u'\r' && end < text.size()) --end;
    shown += Visible(std::u16string_view(text).substr(start, end - start));
    if (next <= text.size()) shown += u'\n';
    start = next;
  }
  const std::string heading = "== " + ToUtf8(Visible(title)) + " ";
  out << '\n' << heading << std::string(heading.size() < 60 ? 60 - heading.size() : 2, '=') << '\n'
      << ToUtf8(shown) << '\n';
}

std::u16string WrapWords(const std::u16string& text, std::size_t width) {
  std::u16string out;
  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t wordEnd = std::min(text.find(u' ', i), text.size());
    if (wordEnd - lineStart > width && i > lineStart) {
      out.back() = u'\n';  // the blank before this word
      lineStart = out.size();
    }
    out += text.substr(i, wordEnd - i);
    if (wordEnd < text.size()) out += u' ';
    i = wordEnd + 1;
  }
  return out;
}

int AskChoice(std::istream& in, std::ostream& out, const std::vector<std::u16string>& choices,
              int defaultChoice) {
  for (int wrong = 0; wrong < kMaxWrongAnswers; ++wrong) {
    for (std::size_t i = 0; i < choices.size(); ++i) {
      out << (i ? "  " : "") << "[" << ToUtf8(choices[i]) << "]";
    }
    out << " > " << std::flush;
    std::string line;
    const Typed typed = ReadAnswer(in, line);
    if (typed == Typed::End) {
      out << '\n';
      return -1;
    }
    if (typed == Typed::TooLong) {
      out << "That answer is longer than " << kLongestAnswer << " bytes and is no button's name.\n";
      continue;
    }
    const std::string answer = AsciiLower(Trim(line));
    if (answer.empty() && defaultChoice >= 0) return defaultChoice;
    std::string accepted;
    for (std::size_t i = 0; i < choices.size(); ++i) {
      const std::string choice = AsciiLower(ToUtf8(choices[i]));
      if (answer == choice || (answer.size() == 1 && answer[0] == choice[0])) return static_cast<int>(i);
      accepted += (i ? ", " : "") + ToUtf8(choices[i]) + " (" + choice[0] + ")";
    }
    out << "Please answer with a button's name or its first letter: " << accepted
        << (defaultChoice >= 0 ? "; an empty line for " + ToUtf8(choices[static_cast<std::size_t>(defaultChoice)])
                               : std::string())
        << ".\n";
  }
  out << "No button was chosen; the window is closed.\n";
  return -1;
}

std::optional<std::size_t> ChoiceNumber(const std::string& line, std::size_t count) {
  const auto pick = WholeNumber(Trim(line));
  if (!pick || *pick < 1 || *pick > count) return std::nullopt;
  return *pick;
}

std::optional<std::size_t> ChoiceOf(const std::string& line, const std::vector<std::string>& names) {
  if (const auto number = ChoiceNumber(line, names.size())) return number;
  const std::string typed = Trim(line);
  if (typed.empty()) return std::nullopt;
  // Two that differ only by case: the name must be given as listed.
  const auto found = FindName(names, typed);
  return found ? std::optional(*found + 1) : std::nullopt;
}

std::optional<std::size_t> AskOneOf(std::istream& in, std::ostream& out, const std::string& question,
                                    const std::vector<std::string>& names) {
  out << question << '\n';
  for (std::size_t i = 0; i < names.size(); ++i) out << "  " << i + 1 << ". " << VisibleBytes(names[i]) << '\n';
  for (int wrong = 0; wrong < kMaxWrongAnswers; ++wrong) {
    out << "Number or name > " << std::flush;
    std::string line;
    const Typed typed = ReadAnswer(in, line);
    if (typed == Typed::End) {
      out << '\n' << std::flush;
      return std::nullopt;
    }
    if (typed == Typed::Line) {
      if (const auto pick = ChoiceOf(line, names)) return *pick - 1;
    }
    out << (typed == Typed::TooLong ? "That answer is longer than " + std::to_string(kLongestAnswer) + " bytes"
                                    : "\"" + VisibleBytes(line) + "\" is none of them")
        << "; please answer with a number from 1 to " << names.size() << " or a name as listed.\n";
  }
  out << "No answer was given.\n" << std::flush;
  return std::nullopt;
}

Answer ConsoleDialogs::Show(const MessageBoxRequest& box) {
  PrintFrame(out_, box.title, (box.icon == Icon::Information ? u"(i) " : u"") + box.prompt);
  switch (box.buttons) {
    case Buttons::Ok:
      AskChoice(in_, out_, {u"OK"}, 0);
      return Answer::Ok;
    case Buttons::OkCancel: {
      const int pick = AskChoice(in_, out_, {u"OK", u"Cancel"}, box.defaultButton - 1);
      return pick == 0 ? Answer::Ok : Answer::Cancel;  // closed: Cancel
    }
    case Buttons::YesNo: {
      // A Yes/No box has no close button; the end of input takes No, which
      // writes nothing.
      const int pick = AskChoice(in_, out_, {u"Yes", u"No"}, box.defaultButton - 1);
      return pick == 0 ? Answer::Yes : Answer::No;
    }
  }
  return Answer::Cancel;
}

Answer UnattendedDialogs::Show(const MessageBoxRequest& box) {
  PrintFrame(out_, box.title, (box.icon == Icon::Information ? u"(i) " : u"") + box.prompt);
  const bool yesNo = box.buttons == Buttons::YesNo;
  out_ << (yesNo ? "[Yes]" : "[OK]") << '\n';
  return yesNo ? Answer::Yes : Answer::Ok;
}

}  // namespace taloveric
