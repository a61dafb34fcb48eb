#pragma once
// The one registry made of key trees: each tree's key stands at a place under a
// root key. It keeps the Registry contract to the letter for every source, the
// files of an installation that is not running, .reg exports and the tests'
// registry alike.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/HiveFile.h"

namespace taloveric {

inline constexpr RegStatus kErrorKeyDeleted = 1018;

class MountedRegistry : public Registry {
 public:
  // Makes `node` of `file` the key `path` (backslash-separated, may be empty)
  // under `root`. The first mount that holds a place answers for it.
  void Mount(RegKey root, std::string_view path, std::shared_ptr<HiveFile> file, HiveFile::Node node);

  // The code page the installation's text is in, from now on (1252 until set).
  void UseCodePage(CodePage ansi) { ansi_ = std::move(ansi); }
  const CodePage& Ansi() const override { return ansi_; }

  std::size_t OpenKeyCount() const { return handles_.size(); }
  // What could not be read from damaged files, which then answered as missing;
  // each once, in the order met.
  const std::vector<std::string>& Problems() const { return problems_; }

  // The names of the open `key`'s sub keys, in its file's order; none for a
  // key above every mount, nullopt for one that is not open. A damaged file
  // reads as no sub keys, its problem noted.
  std::optional<std::vector<std::string>> SubKeyNames(RegKey key);

  [[nodiscard]] RegStatus OpenKey(RegKey parent, std::string_view subKey, std::uint32_t options,
                                  std::uint32_t access, RegKey* result) override;
  [[nodiscard]] RegStatus QueryValue(RegKey key, std::string_view valueName, std::uint32_t* type,
                                     unsigned char* data, std::uint32_t* size) override;
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
  void Note(const std::string& problem);

  CodePage ansi_;
  std::vector<MountPoint> mounts_;
  std::vector<std::string> problems_;
  std::map<RegKey, OpenedKey> handles_;
  RegKey nextHandle_ = 0x2000;
};

}  // namespace taloveric
