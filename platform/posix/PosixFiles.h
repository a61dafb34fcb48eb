#pragma once
// File services over POSIX calls. Every file the program names by a Windows path
// goes into one folder under its last path component: that folder stands for
// both the program folder and the system drive's root.

#include <filesystem>
#include <optional>
#include <string>
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

// A file written as it grows, a piece at a time (an inventory's rows, each
// as it is read), so that a run cut short leaves what it wrote: standard
// output, or `path` made anew (a FIFO, a terminal or a device written into;
// a disk, a folder or a read-only file refused). Throws FileError.
class GrowingOutput {
 public:
  explicit GrowingOutput(const std::optional<std::filesystem::path>& path);
  GrowingOutput(const GrowingOutput&) = delete;
  GrowingOutput& operator=(const GrowingOutput&) = delete;
  ~GrowingOutput();
  void Write(std::string_view bytes);
  // Closes the file, saying whether what was written reached it.
  void Close();

 private:
  int fd_ = -1;
  bool owned_ = false;
  std::string name_;
};

// Writes `bytes` to standard output, all of them or a FileError saying why not.
void WriteStandardOutput(std::string_view bytes);

// The folder of the running executable.
std::filesystem::path ExecutableFolder();

}  // namespace taloveric
