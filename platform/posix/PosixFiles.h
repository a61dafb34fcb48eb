#pragma once
// File services over POSIX calls. Every file the program names by a Windows path
// goes into one folder under its last path component: that folder stands for
// both the program folder and the system drive's root.

#include <filesystem>
#include <string_view>

#include "platform/Files.h"

namespace taloveric {

class PosixFiles : public Files {
 public:
  explicit PosixFiles(std::filesystem::path folder);

  std::u16string ProgramFolder() override;
  std::u16string Locate(std::u16string_view windowsPath) override;
  std::unique_ptr<TextFile> CreateText(const std::u16string& path) override;
  void Copy(const std::u16string& from, const std::u16string& to) override;
  std::shared_ptr<void> HoldForSave() override;

 private:
  std::filesystem::path folder_;
};

// Writes `bytes` as `path` the way a save writes: into a new file that replaces
// the old one only once complete. What is not a regular file (a FIFO, a
// terminal, /dev/null, /dev/stdout) is written into instead, never replaced;
// a link to a regular file keeps pointing to it; a disk is refused. Throws
// FileError.
void WriteFileSafely(const std::filesystem::path& path, std::string_view bytes);

// Writes `bytes` to standard output, all of them or a FileError saying why not.
void WriteStandardOutput(std::string_view bytes);

// The folder of the running executable.
std::filesystem::path ExecutableFolder();

}  // namespace taloveric
