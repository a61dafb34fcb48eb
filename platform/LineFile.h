#pragma once
// A TextFile over a file that replaces its target when committed: each line's
// bytes followed by CR LF, then Commit() on Close().

#include <string_view>
#include <utility>

#include "platform/Files.h"

namespace taloveric {

template <class ReplacingFile>
class LineFile : public TextFile {
 public:
  template <class Path>
  explicit LineFile(Path&& path) : file_(std::forward<Path>(path)) {}
  void WriteLine(std::string_view bytes) override {
    file_.Write(bytes);
    file_.Write("\r\n");
  }
  void Close() override { file_.Commit(); }

 private:
  ReplacingFile file_;
};

}  // namespace taloveric
