#pragma once
// A registry held in memory that keeps the Registry contract to the letter. It is
// the store behind .reg exports and the tests' registry. Values are kept as the
// "A" query hands them out: strings in the ANSI code page with their NUL.

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Registry.h"

namespace taloveric {

struct RegValue {
  std::uint32_t type = kRegSz;
  std::string data;
};

// A string value as Windows stores it: its ANSI text followed by a NUL.
RegValue StringValue(std::string_view ansi);
RegValue DwordValue(std::uint32_t value);

// Orders ANSI names as the registry compares them: without regard to case.
struct RegNameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};

// Whether two ANSI names are the same name to the registry.
bool SameRegName(std::string_view a, std::string_view b);

// The names along a backslash-separated key path; empty names (doubled, leading
// or trailing backslashes) are passed over.
std::vector<std::string_view> SplitKeyPath(std::string_view path);

// Answers a query for `value` as RegQueryValueExA does: the type, the size, and
// the data when the buffer holds it (kErrorMoreData with the size needed when not).
RegStatus AnswerQuery(const RegValue& value, std::uint32_t* type, unsigned char* data, std::uint32_t* size);

// Turns a root key's name ("HKEY_LOCAL_MACHINE", or its short form "HKLM") into
// its handle; 0 for a name that is not a root.
RegKey RootKeyByName(std::string_view name);

class MemoryRegistry : public Registry {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;

  // Building. Paths are backslash-separated and relative to a root key; missing
  // keys on the way are created.
  void CreateKey(RegKey root, std::string_view path);
  void SetValue(RegKey root, std::string_view path, std::string_view name, RegValue value);
  void DeleteKey(RegKey root, std::string_view path);
  void DeleteValue(RegKey root, std::string_view path, std::string_view name);

  // Keys opened and not yet closed.
  std::size_t OpenKeyCount() const { return handles_.size(); }

  RegStatus OpenKey(RegKey parent, std::string_view subKey, std::uint32_t options,
                    std::uint32_t access, RegKey* result) override;
  RegStatus QueryValue(RegKey key, std::string_view valueName, std::uint32_t* type,
                       unsigned char* data, std::uint32_t* size) override;
  RegStatus CloseKey(RegKey key) override;

 private:
  struct Node;
  Node* Root(RegKey root);
  Node* Find(Node* from, std::string_view path);
  Node* Make(RegKey root, std::string_view path);
  Node* Resolve(RegKey key);

  std::map<RegKey, std::unique_ptr<Node>> roots_;
  std::map<RegKey, Node*> handles_;
  RegKey nextHandle_ = 0x1000;
};

}  // namespace taloveric
