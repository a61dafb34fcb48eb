#include "platform/StepwiseReplace.h"

#include "platform/Files.h"

namespace taloveric {

std::string AsidePath(const std::string& target) { return target + ".~old"; }

void RecoverAside(RenameSteps& steps, const std::string& target) {
  const std::string aside = AsidePath(target);
  if (!steps.Exists(aside)) return;
  if (steps.Exists(target)) {
    steps.Remove(aside);
  } else {
    steps.Move(aside, target);
  }
}

void TryRecoverAside(RenameSteps& steps, const std::string& target) {
  try {
    RecoverAside(steps, target);
  } catch (const FileError&) {
  }
}

void ReplaceStepwise(RenameSteps& steps, const std::string& fresh, const std::string& target) {
  RecoverAside(steps, target);
  const std::string aside = AsidePath(target);
  const bool earlier = steps.Exists(target);
  if (earlier) steps.Move(target, aside);
  try {
    steps.Move(fresh, target);
  } catch (const FileError&) {
    if (earlier) {
      try {
        steps.Move(aside, target);
      } catch (const FileError&) {
        // The earlier report stays complete under the aside name; the next
        // replace puts it back.
      }
    }
    throw;
  }
  if (earlier) {
    try {
      steps.Remove(aside);
    } catch (const FileError&) {
      // The new report is in place; the next replace deletes the leftover.
    }
  }
}

}  // namespace taloveric
