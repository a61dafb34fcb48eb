#include "platform/posix/ConsoleDialogs.h"

#include <string>
#include <vector>

#include "platform/Unicode.h"

namespace taloveric {
namespace {

std::string Lower(std::string s) {
  for (char& c : s) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
  }
  return s;
}

std::string Trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

}  // namespace

void PrintFrame(std::ostream& out, const std::u16string& title, const std::u16string& text) {
  std::string body = ToUtf8(text);
  std::string plain;
  for (std::size_t i = 0; i < body.size(); ++i) {
    if (body[i] == '\r' && i + 1 < body.size() && body[i + 1] == '\n') continue;
    plain += body[i];
  }
  const std::string heading = "== " + ToUtf8(title) + " ";
  out << '\n' << heading << std::string(heading.size() < 60 ? 60 - heading.size() : 2, '=') << '\n'
      << plain << '\n';
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
  while (true) {
    for (std::size_t i = 0; i < choices.size(); ++i) {
      out << (i ? "  " : "") << "[" << ToUtf8(choices[i]) << "]";
    }
    out << " > " << std::flush;
    std::string line;
    if (!std::getline(in, line)) {
      out << '\n';
      return -1;
    }
    const std::string answer = Lower(Trim(line));
    if (answer.empty() && defaultChoice >= 0) return defaultChoice;
    for (std::size_t i = 0; i < choices.size(); ++i) {
      const std::string choice = Lower(ToUtf8(choices[i]));
      if (answer == choice || answer[0] == choice[0]) return static_cast<int>(i);
    }
    out << "Please answer with one of the buttons.\n";
  }
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
