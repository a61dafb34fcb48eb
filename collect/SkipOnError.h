#pragma once
// The collection's error policy: a run-time error abandons the one statement that
// raised it, and the routine goes on with the next.

#include <exception>
#include <stdexcept>

namespace taloveric {

class RunTimeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

template <class Statement>
void SkipOnError(Statement&& statement) {
  try {
    statement();
  } catch (const std::exception&) {
    // Abandoned: whatever the statement was to set keeps its content.
  }
}

}  // namespace taloveric
