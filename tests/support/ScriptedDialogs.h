#pragma once
// Message boxes for tests: answers from a script and records every box shown.

#include <deque>
#include <stdexcept>
#include <vector>

#include "platform/Dialogs.h"

namespace taloveric::testing {

class ScriptedDialogs : public Dialogs {
 public:
  std::deque<Answer> answers;
  std::vector<MessageBoxRequest> shown;

  Answer Show(const MessageBoxRequest& box) override {
    shown.push_back(box);
    if (box.buttons == Buttons::Ok) return Answer::Ok;
    if (answers.empty()) throw std::logic_error("a box was shown that the test did not script");
    const Answer answer = answers.front();
    answers.pop_front();
    return answer;
  }
};

}  // namespace taloveric::testing
