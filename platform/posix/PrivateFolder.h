#pragma once
// A private folder for files a run needs for a moment (registry files read out
// of a disk image or a cabinet), made with mkdtemp and removed with everything
// in it when the object goes. Files already opened from it stay readable.

#include <stdlib.h>

#include <filesystem>
#include <string>

namespace taloveric {

class PrivateFolder {
 public:
  // `prefix` names it in the temporary folder; empty() when none could be made.
  explicit PrivateFolder(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) != nullptr) path_ = pattern;
  }
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  ~PrivateFolder() {
    std::error_code ec;
    if (!path_.empty()) std::filesystem::remove_all(path_, ec);
  }

  bool empty() const { return path_.empty(); }
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

}  // namespace taloveric
