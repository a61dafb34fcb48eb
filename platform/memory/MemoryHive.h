#pragma once
// A key tree held in memory, compact enough for a large .reg export: names and
// data live in one block of bytes, each key and value is a small entry, and
// one open-addressing index finds a key's child or value by its name. Building
// and reading cost the same however many siblings a key has, and nothing walks
// the tree by recursion, so no depth can exhaust the stack.

#include <string>
#include <vector>

#include "platform/HiveFile.h"

namespace taloveric {

class MemoryHive : public HiveFile {
 public:
  MemoryHive();

  Node Root() override { return 0; }
  // Names are kept as they were given, in ANSI; `ansi` is not needed.
  std::optional<Node> Child(Node key, std::string_view name, const CodePage& ansi) override;
  std::optional<RegValue> Value(Node key, std::string_view name, const CodePage& ansi) override;
  std::vector<std::string> ChildNames(Node key, const CodePage& ansi) override;
  bool Exists(Node key) override;

  // Building. Paths are backslash-separated below `from`; MakeKey creates the
  // keys missing on the way. A deleted key takes everything below it along.
  Node MakeKey(Node from, std::string_view path);
  std::optional<Node> FindKey(Node from, std::string_view path);
  void SetValue(Node key, std::string_view name, const RegValue& value);
  void DeleteKey(Node from, std::string_view path);
  void DeleteValue(Node key, std::string_view name);

  // What the tree holds in memory, in bytes.
  std::size_t Bytes() const;
  // The least a key added below another costs in memory, its name aside.
  static std::size_t KeyBytes();

 private:
  enum class Kind : std::uint8_t { Key, Value };
  struct Entry {
    Node owner = 0;  // the key that holds it
    std::uint32_t name = 0, nameSize = 0;  // in bytes_
    std::uint32_t data = 0, dataSize = 0;  // a value's, in bytes_
    std::uint32_t type = 0;
    bool utf16 = false;  // a value's data is UTF-16LE text
    Kind kind = Kind::Key;
    bool deleted = false;
  };

  std::optional<std::uint32_t> Find(Kind kind, Node owner, std::string_view name) const;
  std::uint32_t Add(Kind kind, Node owner, std::string_view name);
  std::uint32_t Append(std::string_view bytes);
  void Index(std::uint32_t entry);
  void Unindex(std::uint32_t entry);
  void Grow();
  std::string_view NameOf(const Entry& entry) const { return {bytes_.data() + entry.name, entry.nameSize}; }

  std::string bytes_;
  std::vector<Entry> entries_;     // entries_[0] is the root
  std::vector<std::uint32_t> slots_;  // entry index + 1; 0 is free
};

}  // namespace taloveric
