#pragma once
// The registry of an installation that is not running, made of its files: each
// file's key stands at a place under a root key.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/offline/HiveFile.h"

namespace taloveric {

class OfflineRegistry : public Registry {
 public:
  // Makes `node` of `file` the key `path` (backslash-separated, may be empty)
  // under `root`.
  void Mount(RegKey root, std::string_view path, std::shared_ptr<HiveFile> file, HiveFile::Node node);

  std::size_t OpenKeyCount() const { return handles_.size(); }
  // What could not be read from damaged files, which then answered as missing.
  const std::vector<std::string>& Problems() const { return problems_; }

  RegStatus OpenKey(RegKey parent, std::string_view subKey, std::uint32_t options, std::uint32_t access,
                    RegKey* result) override;
  RegStatus QueryValue(RegKey key, std::string_view valueName, std::uint32_t* type, unsigned char* data,
                       std::uint32_t* size) override;
  RegStatus CloseKey(RegKey key) override;

 private:
  struct Place {
    RegKey root = 0;
    std::vector<std::string> path;  // below the root
  };
  struct MountPoint {
    Place at;
    std::shared_ptr<HiveFile> file;
    HiveFile::Node node = 0;
  };
  struct OpenedKey {
    Place place;
    HiveFile* file = nullptr;  // null while the key is above every mount
    HiveFile::Node node = 0;
  };

  RegStatus Resolve(const Place& place, OpenedKey& key) const;

  std::vector<MountPoint> mounts_;
  std::vector<std::string> problems_;
  std::map<RegKey, OpenedKey> handles_;
  RegKey nextHandle_ = 0x2000;
};

}  // namespace taloveric
