#pragma once
// Replacing a file by a finished new one on a system without an atomic replace:
// Windows 95, 98 and Me export MoveFileEx but do not support it.
//
// The steps, for a complete new file `fresh` and its `target`:
//   1. the earlier target, if there is one, is renamed to "<target>.~old";
//   2. `fresh` is renamed to `target`;
//   3. "<target>.~old" is deleted.
// If step 2 fails, the earlier file is renamed back before the error is raised.
//
// What this keeps: at every moment a complete report is on disk, never a torn
// one: the earlier one under the target's name until step 1, under
// "<target>.~old" between steps 1 and 2, and the new one under the target's name
// from step 2 on.
//
// What it cannot keep (residual limits):
// - Between steps 1 and 2 the target's name is missing for a moment. A crash or
//   power cut there leaves the earlier report as "<target>.~old" and the new one
//   under its temporary name; the next replace of that target first renames
//   "<target>.~old" back (RecoverAside), so the earlier report returns.
// - A crash between steps 2 and 3 leaves "<target>.~old" beside the new target;
//   the next replace deletes it.
// - Whether a rename reaches the disk before a power cut is up to the file
//   system's cache; the new file's data was flushed before step 1.

#include <string>

namespace taloveric {

// The file operations the steps need. Move and Remove throw FileError.
class RenameSteps {
 public:
  virtual ~RenameSteps() = default;
  virtual bool Exists(const std::string& path) = 0;
  // Renames `from` to `to`, which does not exist.
  virtual void Move(const std::string& from, const std::string& to) = 0;
  virtual void Remove(const std::string& path) = 0;
};

// Where the earlier file waits while the new one is moved in.
std::string AsidePath(const std::string& target);

// Puts back what a replace interrupted by a crash left: the earlier file under
// the target's name if the target is missing, otherwise deletes the leftover.
void RecoverAside(RenameSteps& steps, const std::string& target);
// The same at the start of any save, on any system: best effort, what cannot
// be put right is left for the save to meet.
void TryRecoverAside(RenameSteps& steps, const std::string& target);

// Steps 1 to 3 above, after RecoverAside. Throws FileError; `fresh` is left
// where it was when the new file could not be moved in.
void ReplaceStepwise(RenameSteps& steps, const std::string& fresh, const std::string& target);

}  // namespace taloveric
