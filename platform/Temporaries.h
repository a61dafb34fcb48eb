#pragma once
// The temporary files a save writes beside its targets, named alike on Windows
// and Linux: "<target>.~<pid>-<n>", by the process with that id. A save that
// dies leaves at most such a file; the next save of the same target removes the
// ones whose process no longer runs, and keeps those of a save still at work.

#include <string>
#include <string_view>

namespace taloveric {

// The `n`th temporary name of process `pid` for `target`.
std::string TemporaryPath(const std::string& target, unsigned long pid, unsigned n);

// The process that wrote the file `name` (a name in the target's folder) as a
// temporary of the target named `targetName`; 0 when it is no such file.
unsigned long TemporaryOwner(std::string_view name, std::string_view targetName);

}  // namespace taloveric
