// What the console shows and takes: values made safe for a terminal, and the
// answers it accepts.
#include <gtest/gtest.h>

#include <sstream>

#include "report/ReportText.h"
#include "ui/console/ConsoleDialogs.h"
#include "ui/console/ConsolePad.h"

namespace taloveric {
namespace {

TEST(Console, ATerminalSeesAValuesLineBreaksAndEscapesButNoForgedLine) {
  InstallInfo info;
  info.RegisteredOwner = u"x\r\nRegistration Code: FAKE";
  info.ProductName = u"\x1B[2J\x7F\u0081";
  info.ProductKey = u"REAL";
  const std::vector<std::u16string> lines = ReportLines(ComposeReportText(info, {}));
  ASSERT_EQ(lines.size(), 12u);
  EXPECT_EQ(lines[1], u"Registered Owner: x\r\nRegistration Code: FAKE");
  EXPECT_EQ(lines[11], u"Registration Code: REAL");
  EXPECT_EQ(ShownReport(ComposeReportText(info, {})).find(u"\nRegistration Code: FAKE"), std::u16string::npos);
  EXPECT_EQ(Visible(lines[1]), u"Registered Owner: x^M^JRegistration Code: FAKE");
  EXPECT_EQ(Visible(lines[3]), u"Product: ^[[2J^?M-^A");
  EXPECT_TRUE(ReportLines(u"").empty());
}

TEST(Console, AProfileIsPickedByItsNumberOrItsName) {
  const std::vector<std::string> names = {"joe", "Ann", "ann", "Zoë"};
  const std::pair<const char*, std::optional<std::size_t>> cases[] = {
      {"1", 1},  {" 4 ", 4}, {"joe", 1}, {"JOE", 1},           {"ann", 3},           {"Ann", 2},
      {"ANN", std::nullopt} /* two differ only by case */,     {"Zoë", 4},           {"5", std::nullopt},
      {"jo", std::nullopt},   {"", std::nullopt},               {"joe ann", std::nullopt}};
  for (const auto& [line, pick] : cases) EXPECT_EQ(ChoiceOf(line, names), pick) << line;
}

// A question asks again on a wrong answer, saying why, and takes the next;
// the end of input ends it on a line of its own; no line is read unbounded.
TEST(Console, AQuestionAsksAgainUntilItIsAnswered) {
  const std::vector<std::string> names = {"partition 3 (NTFS)", "Windows.old"};
  const std::string endless(3 << 20, 'x');
  const struct {
    std::string typed;
    std::optional<std::size_t> pick;
    const char* said;  // what the terminal shows last, or nullptr
  } cases[] = {
      {"C\n2\n", 1, "\"C\" is none of them; please answer with a number from 1 to 2"},
      {std::string(5000, 'y') + "\n1\n", 0, "longer than 4096 bytes; please answer"},
      {"", std::nullopt, "Number or name > \n"},
      {"nope\n", std::nullopt, "is none of them; please answer with a number from 1 to 2 or a name as listed.\n"
                                "Number or name > \n"},
      {endless, std::nullopt, "Number or name > \n"},
      {"windows.old", 1, nullptr},  // a last line without its end
  };
  for (const auto& c : cases) {
    std::istringstream in(c.typed);
    std::ostringstream out;
    EXPECT_EQ(AskOneOf(in, out, "Which one?", names), c.pick) << c.typed.substr(0, 20);
    if (c.said != nullptr) {
      EXPECT_NE(out.str().find(c.said), std::string::npos) << out.str().substr(0, 300);
    }
  }
}

TEST(Console, AProfileIsAWholeNumberInRange) {
  const std::pair<const char*, std::optional<std::size_t>> cases[] = {
      {"2", 2}, {" 1 ", 1}, {"3", std::nullopt}, {"0", std::nullopt}, {"1abc", std::nullopt},
      {"-1", std::nullopt}, {"", std::nullopt}, {"99999999999999999999", std::nullopt}};
  for (const auto& [line, pick] : cases) EXPECT_EQ(ChoiceNumber(line, 2), pick) << line;
}

}  // namespace
}  // namespace taloveric

namespace taloveric {
namespace {

// What a console box answers for what is typed, for each button set: a button
// by its name or first letter, the default for an empty line, and for the end
// of input or five answers that are no button, what closing the box means.
TEST(ConsoleDialogs, AnswerEachButtonSetAsItsBoxWould) {
  const std::string fiveWrong = "x\nmaybe\n?\nokay\nyess\nok\n";  // the OK after them is never read
  const struct {
    Buttons buttons;
    int defaultButton;
    std::string typed;
    Answer answer;
  } cases[] = {
      {Buttons::Ok, 1, "ok\n", Answer::Ok},
      {Buttons::Ok, 1, "\n", Answer::Ok},
      {Buttons::Ok, 1, "", Answer::Ok},  // closed: OK alone
      {Buttons::OkCancel, 1, "OK\n", Answer::Ok},
      {Buttons::OkCancel, 1, "o\n", Answer::Ok},
      {Buttons::OkCancel, 1, "\n", Answer::Ok},
      {Buttons::OkCancel, 2, "\n", Answer::Cancel},
      {Buttons::OkCancel, 1, "c\n", Answer::Cancel},
      {Buttons::OkCancel, 1, " Cancel \n", Answer::Cancel},
      {Buttons::OkCancel, 1, "", Answer::Cancel},  // the "Error i01" box closed: no retry
      {Buttons::OkCancel, 1, fiveWrong, Answer::Cancel},
      {Buttons::OkCancel, 1, "retry\nok\n", Answer::Ok},
      {Buttons::YesNo, 1, "yes\n", Answer::Yes},
      {Buttons::YesNo, 1, "\n", Answer::Yes},
      {Buttons::YesNo, 1, "N\n", Answer::No},
      {Buttons::YesNo, 1, "", Answer::No},  // nothing is saved unasked
      {Buttons::YesNo, 1, fiveWrong, Answer::No},
  };
  for (const auto& c : cases) {
    std::istringstream in(c.typed);
    std::ostringstream out;
    ConsoleDialogs dialogs(in, out);
    const Answer answer = dialogs.Show({u"Prompt", u"Title", c.buttons, Icon::None, c.defaultButton});
    EXPECT_EQ(answer, c.answer) << "typed \"" << c.typed << "\" to buttons " << static_cast<int>(c.buttons);
    EXPECT_NE(out.str().find("== Title "), std::string::npos) << out.str();
  }
}

}  // namespace
}  // namespace taloveric
