#pragma once
// The file services the report's save needs. Failures throw FileError.

#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>

namespace taloveric {

class FileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// A text file being written. Its content replaces the file of that name only when
// Close() succeeds; a file abandoned before then leaves the old one untouched.
// A read-only file of that name is not replaced: Close() fails, as on Windows.
class TextFile {
 public:
  virtual ~TextFile() = default;
  // Writes `bytes` followed by CR LF.
  virtual void WriteLine(std::string_view bytes) = 0;
  virtual void Close() = 0;
};

class Files {
 public:
  virtual ~Files() = default;

  // The folder that holds the program: no trailing separator but at a drive root.
  virtual std::u16string ProgramFolder() = 0;

  // Where a file the program names by its Windows path really goes, as shown to
  // the user. On Windows that is the path itself.
  virtual std::u16string Locate(std::u16string_view windowsPath) = 0;

  // Creates or truncates a text file at a located path.
  virtual std::unique_ptr<TextFile> CreateText(const std::u16string& path) = 0;

  // Copies a file over any file of the target's name, replacing it only once the
  // copy is complete.
  virtual void Copy(const std::u16string& from, const std::u16string& to) = 0;

  // Held for the whole of one save, so that two saves into the same folder at
  // once cannot leave the log of one and the copy of the other. Null where
  // the platform has nothing to hold.
  virtual std::shared_ptr<void> HoldForSave() { return nullptr; }
};

}  // namespace taloveric
