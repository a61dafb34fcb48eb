#pragma once
// A private folder for files a run needs for a moment (registry files read out
// of a disk image or a cabinet), made with mkdtemp and removed with everything
// in it when the object goes, or when SIGINT, SIGTERM or SIGHUP ends the run.
// Files already opened from it stay readable.

#include <filesystem>
#include <string>

namespace taloveric {

class PrivateFolder {
 public:
  // `prefix` names it in the temporary folder; empty() when none could be made.
  explicit PrivateFolder(const std::string& prefix);
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  ~PrivateFolder();

  bool empty() const { return path_.empty(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
  int slot_ = -1;  // where a signal finds it
};

}  // namespace taloveric
