#pragma once
// A registry held in memory: one MemoryHive mounted at every root key. It is the
// store behind .reg exports, the bundled sample and the tests' registry. Values
// are kept as the "A" query hands them out: strings in the ANSI code page with
// their NUL.

#include <map>
#include <memory>

#include "platform/MountedRegistry.h"
#include "platform/memory/MemoryHive.h"

namespace taloveric {

class MemoryRegistry : public MountedRegistry {
 public:
  MemoryRegistry();

  // Building. Paths are backslash-separated and relative to a root key; missing
  // keys on the way are created.
  void CreateKey(RegKey root, std::string_view path);
  void SetValue(RegKey root, std::string_view path, std::string_view name, RegValue value);
  void DeleteKey(RegKey root, std::string_view path);
  void DeleteValue(RegKey root, std::string_view path, std::string_view name);

  const MemoryHive& Hive() const { return *hive_; }

 private:
  HiveFile::Node Top(RegKey root) const { return roots_.at(root); }

  std::shared_ptr<MemoryHive> hive_;
  std::map<RegKey, HiveFile::Node> roots_;  // each root key's tree in the hive
};

}  // namespace taloveric
